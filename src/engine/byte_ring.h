#pragma once
// A fixed-size byte ring with a full flag (head = tail means empty unless the
// flag is set). The port keeps one for received data (8192 bytes) and one for
// data waiting to be sent (OutSize bytes). Not thread-safe: the port's lock
// guards it.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace orv {

class ByteRing {
public:
    explicit ByteRing(size_t capacity) : data_(capacity) {}

    size_t Capacity() const { return data_.size(); }
    size_t Count() const {
        if (full_) return data_.size();
        return head_ >= tail_ ? head_ - tail_ : data_.size() - tail_ + head_;
    }
    size_t Space() const { return Capacity() - Count(); }
    bool Empty() const { return !full_ && head_ == tail_; }
    bool Full() const { return full_; }
    size_t WriteIndex() const { return head_; }
    size_t ReadIndex() const { return tail_; }

    // Copies all of bytes or nothing.
    bool WriteAll(const uint8_t* bytes, size_t count) {
        if (count > Space()) return false;
        while (count > 0) {
            const auto [p, n] = FreeSpan();
            const size_t k = n < count ? n : count;
            std::memcpy(p, bytes, k);
            CommitWrite(k);
            bytes += k;
            count -= k;
        }
        return true;
    }
    // The oldest byte, or -1 when empty.
    int Take() {
        if (Empty()) return -1;
        const uint8_t b = data_[tail_];
        Consume(1);
        return b;
    }
    // The index-th unread byte (0 = oldest), or -1.
    int Peek(size_t index) const {
        if (index >= Count()) return -1;
        return data_[(tail_ + index) % data_.size()];
    }
    size_t Read(uint8_t* out, size_t max) {
        size_t done = 0;
        while (done < max && !Empty()) {
            const auto [p, n] = DataSpan();
            const size_t k = n < max - done ? n : max - done;
            std::memcpy(out + done, p, k);
            Consume(k);
            done += k;
        }
        return done;
    }

    // The contiguous free part at the write index (two calls fill a wrapped ring).
    std::pair<uint8_t*, size_t> FreeSpan() {
        if (full_) return {data_.data() + head_, 0};
        const size_t end = head_ >= tail_ ? data_.size() : tail_;
        return {data_.data() + head_, end - head_};
    }
    void CommitWrite(size_t n) {
        if (n == 0) return;
        head_ = (head_ + n) % data_.size();
        if (head_ == tail_) full_ = true;
    }
    // The contiguous unread part at the read index.
    std::pair<const uint8_t*, size_t> DataSpan() const {
        if (Empty()) return {data_.data() + tail_, 0};
        const size_t end = (head_ > tail_) ? head_ : data_.size();
        return {data_.data() + tail_, end - tail_};
    }
    void Consume(size_t n) {
        if (n == 0) return;
        tail_ = (tail_ + n) % data_.size();
        full_ = false;
    }
    void Clear() {
        head_ = tail_ = 0;
        full_ = false;
    }

private:
    std::vector<uint8_t> data_;
    size_t head_ = 0;  // write index
    size_t tail_ = 0;  // read index
    bool full_ = false;
};

}  // namespace orv
