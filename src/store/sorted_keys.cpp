#include "store/sorted_keys.h"

#include "store/cdx_format.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace orv {
namespace {

// About 16 KB of keys per chunk: a move inside one is a few microseconds,
// and a million keys are a few hundred chunks to search and count through.
constexpr size_t kChunkKeyBytes = 16384;

// Whether (key a, recno ra) orders before (key b, recno rb).
bool before(const char* a, uint32_t ra, const char* b, uint32_t rb, size_t kl) {
    const int c = std::memcmp(a, b, kl);
    return c < 0 || (c == 0 && ra < rb);
}

}  // namespace

SortedKeys::SortedKeys(int keyLength)
    : kl_(size_t(std::max(keyLength, 1))),
      cap_(uint32_t(std::clamp<size_t>(kChunkKeyBytes / kl_, 64, 4096))),
      stride_((size_t(cap_) * (4 + kl_) + 15) / 16 * 16) {}

SortedKeys::SortedKeys(SortedKeys&& other) noexcept : kl_(other.kl_), cap_(other.cap_), stride_(other.stride_) {
    *this = std::move(other);
}

SortedKeys& SortedKeys::operator=(SortedKeys&& other) noexcept {
    if (this == &other) return *this;
    freeAll();
    kl_ = other.kl_;
    cap_ = other.cap_;
    stride_ = other.stride_;
    size_ = other.size_;
    chunks_ = std::move(other.chunks_);
    ends_ = std::move(other.ends_);
    spare_ = std::move(other.spare_);
    pending_ = other.pending_;
    blocks_ = std::move(other.blocks_);
    other.size_ = 0;
    other.pending_ = Chunk{};
    other.chunks_.clear();
    other.ends_.clear();
    other.spare_.clear();
    other.blocks_.clear();
    return *this;
}

SortedKeys::~SortedKeys() { freeAll(); }

void SortedKeys::freeAll() {
    for (const Block& b : blocks_) FreeLargeBuffer(b.memory, b.bytes);
    blocks_.clear();
    chunks_.clear();
    ends_.clear();
    spare_.clear();
    pending_ = Chunk{};
    size_ = 0;
}

void SortedKeys::clear() { freeAll(); }

void SortedKeys::addBlock(size_t chunks) {
    const size_t bytes = chunks * stride_;
    char* memory = static_cast<char*>(AllocateLargeBuffer(bytes));
    blocks_.push_back({memory, bytes});
    // Handed out from the back: the first chunk taken is the block's first.
    for (size_t i = chunks; i-- > 0;) {
        Chunk c;
        c.recnos = reinterpret_cast<uint32_t*>(memory + i * stride_);
        c.keys = memory + i * stride_ + size_t(cap_) * 4;
        spare_.push_back(c);
    }
}

SortedKeys::Chunk SortedKeys::takeChunk() {
    if (spare_.empty()) addBlock(1);
    Chunk c = spare_.back();
    spare_.pop_back();
    c.count = 0;
    return c;
}

void SortedKeys::release(size_t c) {
    spare_.push_back(chunks_[c]);
    chunks_.erase(chunks_.begin() + std::ptrdiff_t(c));
    ends_.erase(ends_.begin() + std::ptrdiff_t(c));
}

void SortedKeys::shiftEnds(size_t from, std::ptrdiff_t by) {
    for (size_t j = from; j < ends_.size(); ++j) ends_[j] = size_t(std::ptrdiff_t(ends_[j]) + by);
}

size_t SortedKeys::locate(size_t i, size_t& offset) const {
    if (i >= size_) throw std::out_of_range("index key position past the end");
    const size_t c = size_t(std::upper_bound(ends_.begin(), ends_.end(), i) - ends_.begin());
    offset = i - startOf(c);
    return c;
}

const char* SortedKeys::keyAt(size_t i) const {
    size_t off;
    const size_t c = locate(i, off);
    return keyIn(chunks_[c], off);
}

uint32_t SortedKeys::recnoAt(size_t i) const {
    size_t off;
    const size_t c = locate(i, off);
    return chunks_[c].recnos[off];
}

template <class Less>
size_t SortedKeys::firstNotLess(Less less) const {
    // The first chunk whose last entry is not less holds the place.
    size_t lo = 0, hi = chunks_.size();
    while (lo < hi) {
        const size_t mid = (lo + hi) / 2;
        const Chunk& ch = chunks_[mid];
        if (less(keyIn(ch, ch.count - 1), ch.recnos[ch.count - 1])) lo = mid + 1;
        else hi = mid;
    }
    if (lo == chunks_.size()) return size_;
    const Chunk& ch = chunks_[lo];
    size_t a = 0, b = ch.count;
    while (a < b) {
        const size_t mid = (a + b) / 2;
        if (less(keyIn(ch, mid), ch.recnos[mid])) a = mid + 1;
        else b = mid;
    }
    return startOf(lo) + a;
}

size_t SortedKeys::lowerBound(const char* key, uint32_t recno) const {
    return firstNotLess([&](const char* k, uint32_t r) { return before(k, r, key, recno, kl_); });
}

size_t SortedKeys::lowerBoundPrefix(const char* key, size_t n) const {
    n = std::min(n, kl_);
    return firstNotLess([&](const char* k, uint32_t) { return std::memcmp(k, key, n) < 0; });
}

void SortedKeys::split(size_t c) {
    // The upper half moves to a new chunk right after it.
    Chunk fresh = takeChunk();
    Chunk& full = chunks_[c];
    const uint32_t keep = full.count / 2;
    fresh.count = full.count - keep;
    std::memcpy(fresh.recnos, full.recnos + keep, size_t(fresh.count) * 4);
    std::memcpy(fresh.keys, full.keys + keep * kl_, size_t(fresh.count) * kl_);
    full.count = keep;
    chunks_.insert(chunks_.begin() + std::ptrdiff_t(c + 1), fresh);
    ends_.insert(ends_.begin() + std::ptrdiff_t(c + 1), ends_[c]);
    ends_[c] -= fresh.count;
}

void SortedKeys::insert(size_t i, const char* key, uint32_t recno) {
    if (i > size_) throw std::out_of_range("index key position past the end");
    size_t c, off;
    if (chunks_.empty()) {
        chunks_.push_back(takeChunk());
        ends_.push_back(0);
        c = off = 0;
    } else if (i == size_) {
        c = chunks_.size() - 1;
        off = chunks_[c].count;
    } else {
        c = locate(i, off);
        // Between two chunks the one before takes it while it has room.
        if (off == 0 && c > 0 && chunks_[c - 1].count < cap_) off = chunks_[--c].count;
    }
    if (chunks_[c].count == cap_) {
        split(c);
        if (off > chunks_[c].count) off -= chunks_[c++].count;
    }
    Chunk& ch = chunks_[c];
    std::memmove(ch.recnos + off + 1, ch.recnos + off, (ch.count - off) * 4);
    std::memmove(ch.keys + (off + 1) * kl_, ch.keys + off * kl_, (ch.count - off) * kl_);
    ch.recnos[off] = recno;
    std::memcpy(ch.keys + off * kl_, key, kl_);
    ++ch.count;
    shiftEnds(c, 1);
    ++size_;
}

void SortedKeys::erase(size_t i) {
    size_t off;
    const size_t c = locate(i, off);
    Chunk& ch = chunks_[c];
    std::memmove(ch.recnos + off, ch.recnos + off + 1, (ch.count - off - 1) * 4);
    std::memmove(ch.keys + off * kl_, ch.keys + (off + 1) * kl_, (ch.count - off - 1) * kl_);
    --ch.count;
    shiftEnds(c, -1);
    --size_;
    if (ch.count == 0) {
        release(c);
        return;
    }
    // Two neighbours that fit half a chunk together become one, so a table
    // that shrinks does not keep a chunk for every few keys.
    if (chunks_.size() < 2) return;
    const size_t a = c + 1 < chunks_.size() ? c : c - 1;
    Chunk& left = chunks_[a];
    const Chunk& right = chunks_[a + 1];
    if (left.count + right.count > cap_ / 2) return;
    std::memcpy(left.recnos + left.count, right.recnos, size_t(right.count) * 4);
    std::memcpy(left.keys + left.count * kl_, right.keys, size_t(right.count) * kl_);
    left.count += right.count;
    ends_[a] = ends_[a + 1];
    release(a + 1);
}

void SortedKeys::reserve(size_t n) {
    size_t room = spare_.size() * cap_ + (pending_.keys ? cap_ : 0);
    if (!chunks_.empty()) room += cap_ - chunks_.back().count;
    if (n > room) addBlock((n - room + cap_ - 1) / cap_);
}

char* SortedKeys::next() {
    if (!chunks_.empty() && chunks_.back().count < cap_) return chunks_.back().keys + chunks_.back().count * kl_;
    if (!pending_.keys) pending_ = takeChunk();
    return pending_.keys;
}

void SortedKeys::push(uint32_t recno) {
    if (chunks_.empty() || chunks_.back().count == cap_) {
        if (!pending_.keys) throw std::logic_error("SortedKeys::push without next()");
        chunks_.push_back(pending_);
        ends_.push_back(size_);
        pending_ = Chunk{};
    }
    Chunk& ch = chunks_.back();
    ch.recnos[ch.count++] = recno;
    ++ends_.back();
    ++size_;
}

const char* SortedKeys::last() const { return chunks_.empty() ? nullptr : keyIn(chunks_.back(), chunks_.back().count - 1); }

uint32_t SortedKeys::lastRecno() const { return chunks_.empty() ? 0 : chunks_.back().recnos[chunks_.back().count - 1]; }

void SortedKeys::append(const char* keys, const uint32_t* recnos, size_t n) {
    reserve(n);
    while (n > 0) {
        char* k = next();
        Chunk& ch = chunks_.empty() || chunks_.back().count == cap_ ? pending_ : chunks_.back();
        const size_t take = std::min<size_t>(n, cap_ - ch.count);
        std::memcpy(k, keys, take * kl_);
        std::memcpy(ch.recnos + ch.count, recnos, take * 4);
        if (&ch == &pending_) {
            chunks_.push_back(pending_);
            ends_.push_back(size_);
            pending_ = Chunk{};
        }
        chunks_.back().count += uint32_t(take);
        ends_.back() += take;
        size_ += take;
        keys += take * kl_;
        recnos += take;
        n -= take;
    }
}

void SortedKeys::append(const SortedKeys& from, size_t start, size_t n) {
    if (n == 0) return;
    if (from.kl_ != kl_) throw std::logic_error("SortedKeys::append across key lengths");
    size_t off;
    for (size_t c = from.locate(start, off); n > 0; ++c, off = 0) {
        const Chunk& ch = from.chunks_[c];
        const size_t take = std::min<size_t>(n, ch.count - off);
        append(from.keyIn(ch, off), ch.recnos + off, take);
        n -= take;
    }
}

void SortedKeys::copy(size_t start, size_t n, char* keys, uint32_t* recnos) const {
    if (n == 0) return;
    if (start + n > size_) throw std::out_of_range("index key range past the end");
    size_t off;
    for (size_t c = locate(start, off); n > 0; ++c, off = 0) {
        const Chunk& ch = chunks_[c];
        const size_t take = std::min<size_t>(n, ch.count - off);
        std::memcpy(keys, keyIn(ch, off), take * kl_);
        std::memcpy(recnos, ch.recnos + off, take * 4);
        keys += take * kl_;
        recnos += take;
        n -= take;
    }
}

uint32_t SortedKeys::maxRecno() const {
    uint32_t m = 0;
    forEachRun([&](const char*, const uint32_t* recnos, size_t n) {
        for (size_t j = 0; j < n; ++j) m = std::max(m, recnos[j]);
    });
    return m;
}

bool SortedKeys::operator==(const SortedKeys& other) const {
    if (kl_ != other.kl_ || size_ != other.size_) return false;
    for (size_t i = 0; i < size_; ++i)
        if (recnoAt(i) != other.recnoAt(i) || std::memcmp(keyAt(i), other.keyAt(i), kl_) != 0) return false;
    return true;
}

}  // namespace orv
