#pragma once
// Shared by the two decode paths of FaxUnpackEngine (unpack_engine.cpp and
// unpack_fast.cpp): the page input and the line buffer size. Not for use
// outside the engine.
#include "common/orv_error.h"
#include "images/apf_file.h"
#include "images/unpack_engine.h"

#include <QFile>
#include <algorithm>
#include <cstdint>

namespace orv {

// A decoded line may hold this many bytes; runs that would pass it are ignored.
constexpr int kLineBufferBytes = 512;
// The largest block the input hands out at once.
constexpr int kReadBufferBytes = 4096;
static_assert(kApfMaxRecordLength <= kReadBufferBytes);

// One page's bytes in either storage form, handed out block by block.
class FaxUnpackEngine::Input {
public:
    // From a file positioned at the page's data.
    Input(ApfReader& reader, uint32_t imageLength, bool records)
        : reader_(&reader), limit_(imageLength), records_(records) {}
    // From memory.
    Input(const uint8_t* data, size_t size, bool records)
        : data_(data), limit_(qint64(size)), records_(records) {}

    qint64 taken() const { return taken_; }
    qint64 limit() const { return limit_; }

    // The next block of coded bytes: > 0 bytes in p, 0 at the end of the page's
    // data, < 0 an error (a file that ends before its ImageLength: -8001).
    int next(const uint8_t*& p) {
        if (!records_) {
            if (taken_ >= limit_) return 0;
            const int n = int(std::min<qint64>(kReadBufferBytes, limit_ - taken_));
            const int got = fetch(n, p);
            if (got <= 0) return got < 0 ? got : ecFaxBadFormat;
            taken_ += got;
            return got;
        }
        for (;;) {
            if (taken_ + 2 > limit_) return 0;
            const uint8_t* w;
            const int gotWord = fetch(2, w);
            if (gotWord < 2) return gotWord < 0 ? gotWord : ecFaxBadFormat;
            const int wordLen = w[0] | (w[1] << 8);
            taken_ += 2;
            const int n = int(std::min<qint64>({qint64(wordLen), kApfMaxRecordLength, limit_ - taken_}));
            if (n > 0) {
                const int got = fetch(n, p);
                if (got < n) return got < 0 ? got : ecFaxBadFormat;
                taken_ += n;
            }
            // The rest of an over-long record is skipped, so the next length
            // word is read where it really is.
            const qint64 skip = std::min<qint64>(wordLen - n, limit_ - taken_);
            if (skip > 0) {
                if (const int rc = skipBytes(skip); rc < 0) return rc;
                taken_ += skip;
            }
            if (n > 0) return n;
        }
    }

private:
    int fetch(int n, const uint8_t*& p) {
        if (data_) {
            p = data_ + taken_;
            return n;
        }
        const qint64 got = reader_->read(reinterpret_cast<char*>(buf_), n);
        p = buf_;
        return int(got);
    }
    int skipBytes(qint64 n) {
        if (data_) return ecOK;
        QFile& f = reader_->file();
        return f.seek(f.pos() + n) ? ecOK : ecFaxBadFormat;
    }

    ApfReader* reader_ = nullptr;
    const uint8_t* data_ = nullptr;
    qint64 limit_;
    qint64 taken_ = 0;
    bool records_;
    uint8_t buf_[kReadBufferBytes];
};

}  // namespace orv
