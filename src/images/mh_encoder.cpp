#include "images/mh_encoder.h"

#include "images/mh_codes.h"

#include <algorithm>
#include <cstring>

namespace orv {
namespace {

struct ReversedTables {
    MhEncoder::RevCode whiteTerm[64], blackTerm[64], whiteMakeUp[40], blackMakeUp[40];

    ReversedTables() {
        auto rev = [](const mh::Code& c) {
            return MhEncoder::RevCode{mh::reverseBits(c.bits, c.length), c.length};
        };
        for (int i = 0; i < 64; ++i) {
            whiteTerm[i] = rev(mh::kWhiteTerminating[i]);
            blackTerm[i] = rev(mh::kBlackTerminating[i]);
        }
        for (int i = 0; i < 40; ++i) {
            whiteMakeUp[i] = rev(mh::kWhiteMakeUp[i]);
            blackMakeUp[i] = rev(mh::kBlackMakeUp[i]);
        }
    }
};

const ReversedTables& tables() {
    static const ReversedTables t;
    return t;
}

// EOL in stream order: eleven 0 bits then a 1, i.e. bit 11 set. The 16-bit
// form has four fill bits in front.
constexpr uint32_t kEol12 = 1u << 11;
constexpr uint32_t kEol16 = 1u << 15;

// Appends codes first bit first; each output byte fills from bit 0.
class BitWriter {
public:
    explicit BitWriter(uint8_t* out) : out_(out), p_(out) {}

    void put(uint32_t bits, uint32_t length) {
        acc_ |= uint64_t(bits) << count_;
        count_ += length;
        if (count_ >= 32) {
            p_[0] = uint8_t(acc_);
            p_[1] = uint8_t(acc_ >> 8);
            p_[2] = uint8_t(acc_ >> 16);
            p_[3] = uint8_t(acc_ >> 24);
            p_ += 4;
            acc_ >>= 32;
            count_ -= 32;
        }
    }
    // Byte index of the next free bit.
    int byteIndex() const { return int(p_ - out_) + int(count_ / 8); }
    // Writes out the pending bits and zero bytes up to (not including) `end`.
    void flushTo(int end) {
        uint8_t* stop = out_ + end;
        while (p_ < stop) {
            *p_++ = uint8_t(acc_);
            acc_ >>= 8;
        }
    }

private:
    uint8_t* out_;
    uint8_t* p_;
    uint64_t acc_ = 0;
    uint32_t count_ = 0;
};

inline uint64_t loadBigEndian64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return __builtin_bswap64(v);
}

// The first pixel at or after pos (below limit) whose colour is not `black`.
inline int runEnd(const uint8_t* raster, int pos, int limit, bool black) {
    while (pos < limit) {
        const int shift = pos & 7;
        uint64_t w = loadBigEndian64(raster + (pos >> 3));
        if (black) w = ~w;
        w <<= shift;
        const int valid = 64 - shift;
        if (w) {
            const int k = __builtin_clzll(w);
            if (k < valid) return std::min(pos + k, limit);
        }
        pos += valid;
    }
    return limit;
}

inline void putRun(BitWriter& bw, const MhEncoder::RevCode* term, const MhEncoder::RevCode* makeUp, int run) {
    if (run >= 64) {
        const MhEncoder::RevCode& m = makeUp[std::min(run / 64, 40) - 1];
        bw.put(m.bits, m.length);
        run %= 64;
    }
    bw.put(term[run].bits, term[run].length);
}

}  // namespace

MhEncoder::MhEncoder() {
    const ReversedTables& t = tables();
    whiteTerm_ = t.whiteTerm;
    blackTerm_ = t.blackTerm;
    whiteMakeUp_ = t.whiteMakeUp;
    blackMakeUp_ = t.blackMakeUp;
}

int MhEncoder::encodeLine(const uint8_t* raster, int width, int leftMargin, bool doubleWidth, uint8_t* out) const {
    BitWriter bw(out);
    bw.put(kEol16, 16);
    auto white = [&](int run) { putRun(bw, whiteTerm_, whiteMakeUp_, run); };
    auto black = [&](int run) { putRun(bw, blackTerm_, blackMakeUp_, run); };

    const int bytes = width / 8;
    bool blank = true;
    for (int i = 0; i < bytes && blank; i += 8) {
        uint64_t w = 0;
        std::memcpy(&w, raster + i, size_t(std::min(8, bytes - i)));
        blank = (w == 0);
    }
    if (blank) {
        white(width);
    } else {
        const int margin = std::clamp(leftMargin, 0, width);
        const int n = width - margin;
        if (margin > 0) {
            white(margin);
            black(0);
        }
        // Raster pixels to look at: with double width each gives two line pixels.
        const int limit = doubleWidth ? (n + 1) / 2 : n;
        int pos = 0, sum = 0;
        bool isBlack = false;
        if (limit > 0 && (raster[0] & 0x80)) {
            white(0);
            isBlack = true;
        }
        while (pos < limit && sum < n) {
            const int end = runEnd(raster, pos, limit, isBlack);
            int run = doubleWidth ? 2 * (end - pos) : end - pos;
            // The last run fills the line exactly; a run that would pass the end
            // of the line (double width with centring) is cut there.
            if (end >= limit || sum + run >= n) run = n - sum;
            isBlack ? black(run) : white(run);
            sum += run;
            pos = end;
            isBlack = !isBlack;
        }
    }
    const int len = bw.byteIndex() + 2;
    bw.flushTo(len);
    return len;
}

int MhEncoder::encodeBlankLine(int width, uint8_t* out) const {
    BitWriter bw(out);
    bw.put(kEol12, 12);
    putRun(bw, whiteTerm_, whiteMakeUp_, width);
    const int len = bw.byteIndex() + 1;
    bw.flushTo(len);
    return len;
}

int MhEncoder::encodeEndOfPage(uint8_t* out) {
    BitWriter bw(out);
    bw.put(kEol16, 16);
    for (int i = 0; i < 7; ++i) bw.put(kEol12, 12);
    // 100 bits: only the 12 whole bytes are written.
    bw.flushTo(12);
    return 12;
}

}  // namespace orv
