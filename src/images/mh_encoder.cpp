#include "images/mh_encoder.h"

#include "images/mh_codes.h"

#include <algorithm>
#include <array>
#include <bit>
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

// Appends codes first bit first; each output byte fills from bit 0. Every put
// stores the whole accumulator and moves on by the bytes completed, so there is
// no data-dependent branch (on dense pages a flush branch mispredicts about
// every other run). The stores reach up to 8 bytes beyond the coded data, which
// the output buffer's size allows for.
class BitWriter {
public:
    explicit BitWriter(uint8_t* out) : out_(out), p_(out) {}

    void put(uint32_t bits, uint32_t length) {
        acc_ |= uint64_t(bits) << count_;
        count_ += length;  // at most 7 + 16 bits
        uint64_t le = acc_;
        if constexpr (std::endian::native == std::endian::big) le = __builtin_bswap64(le);
        std::memcpy(p_, &le, 8);
        const uint32_t whole = count_ >> 3;
        p_ += whole;
        acc_ >>= whole * 8;
        count_ &= 7;
    }
    // Byte index of the next free bit (fewer than 8 bits are ever pending).
    int byteIndex() const { return int(p_ - out_); }
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

// Finds the runs of a raster row from left to right. The current 64-bit word
// stays in a register and the next run ends at its first pixel of the other
// colour, so a run costs a count of leading zeros rather than a fresh load:
// on dense pages the load-to-load chain was the encoder's limit.
class RunScanner {
public:
    RunScanner(const uint8_t* raster, int limit) : raster_(raster), limit_(limit) {}

    // The first pixel at or after the end of the previous run (below limit)
    // whose colour is not `black`.
    int next(bool black) {
        const uint64_t flip = black ? ~uint64_t(0) : 0;
        for (;;) {
            if (avail_ > 0) {
                // Only the top avail_ bits are pixels; the rest must not stop the run.
                const uint64_t w = (word_ ^ flip) & (~uint64_t(0) << (64 - avail_));
                if (w) {
                    const int k = __builtin_clzll(w);
                    pos_ += k;
                    word_ <<= k;
                    avail_ -= k;
                    return std::min(pos_, limit_);
                }
                pos_ += avail_;
            }
            if (pos_ >= limit_) return limit_;
            word_ = loadBigEndian64(raster_ + (pos_ >> 3)) << (pos_ & 7);
            avail_ = 64 - (pos_ & 7);
        }
    }

private:
    const uint8_t* raster_;
    int limit_;
    int pos_ = 0;        // the pixel in the top bit of word_
    uint64_t word_ = 0;  // pixels from pos_ on, leftmost in the top bit
    int avail_ = 0;      // how many bits of word_ are pixels
};

// True when no pixel of the row is black. Blank rows are most of a fax page,
// so this ORs whole words without branching (the compiler vectorises it).
inline bool isBlank(const uint8_t* raster, int bytes) {
    uint64_t any = 0;
    int i = 0;
    for (; i + 8 <= bytes; i += 8) {
        uint64_t w;
        std::memcpy(&w, raster + i, 8);
        any |= w;
    }
    for (; i < bytes; ++i) any |= raster[i];
    return any == 0;
}

inline void putRun(BitWriter& bw, const MhEncoder::RevCode* term, const MhEncoder::RevCode* makeUp, int run) {
    if (run >= 64) {
        const MhEncoder::RevCode& m = makeUp[std::min(run / 64, 40) - 1];
        bw.put(m.bits, m.length);
        run %= 64;
    }
    bw.put(term[run].bits, term[run].length);
}

// The line record of an all-white line: EOL with fill bits, one white run of
// the full width, and the trailing 0 byte.
int encodeWhiteLine(const ReversedTables& t, int width, uint8_t* out) {
    BitWriter bw(out);
    bw.put(kEol16, 16);
    putRun(bw, t.whiteTerm, t.whiteMakeUp, width);
    const int len = bw.byteIndex() + 2;
    bw.flushTo(len);
    return len;
}

// Most lines of a fax page are white: their records at the two page widths are
// made once and copied.
struct WhiteRecord {
    uint8_t bytes[16];  // the record, then zeros
    int length;
};

const WhiteRecord* whiteRecord(int width) {
    static const auto records = [] {
        std::array<WhiteRecord, 2> r{};
        for (int i = 0; i < 2; ++i) {
            uint8_t buf[32] = {};
            r[size_t(i)].length = encodeWhiteLine(tables(), i == 0 ? 1728 : 2048, buf);
            std::memcpy(r[size_t(i)].bytes, buf, sizeof r[size_t(i)].bytes);
        }
        return r;
    }();
    return width == 1728 ? &records[0] : width == 2048 ? &records[1] : nullptr;
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
    if (isBlank(raster, width / 8)) {
        if (const WhiteRecord* w = whiteRecord(width)) {
            std::memcpy(out, w->bytes, sizeof w->bytes);
            return w->length;
        }
        return encodeWhiteLine(tables(), width, out);
    }
    BitWriter bw(out);
    bw.put(kEol16, 16);
    auto white = [&](int run) { putRun(bw, whiteTerm_, whiteMakeUp_, run); };
    auto black = [&](int run) { putRun(bw, blackTerm_, blackMakeUp_, run); };
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
    RunScanner runs(raster, limit);
    while (pos < limit && sum < n) {
        const int end = runs.next(isBlack);
        int run = doubleWidth ? 2 * (end - pos) : end - pos;
        // The last run fills the line exactly; a run that would pass the end
        // of the line (double width with centring) is cut there.
        if (end >= limit || sum + run >= n) run = n - sum;
        isBlack ? black(run) : white(run);
        sum += run;
        pos = end;
        isBlack = !isBlack;
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
    // EOL with 4 fill bits and six more EOLs: 88 bits, then 8 zero bits. A
    // constant copied rather than coded, because the bit writer stores past its
    // end and callers pass 12-byte buffers.
    static constexpr uint8_t kRecord[12] = {0x00, 0x80, 0x00, 0x08, 0x80, 0x00, 0x08, 0x80, 0x00, 0x08, 0x80, 0x00};
    std::memcpy(out, kRecord, sizeof kRecord);
    return 12;
}

}  // namespace orv
