// The table-driven decode path of FaxUnpackEngine, taken when nothing has to
// happen between two bytes (no progress reports, no yielding). It must decode
// exactly as the bit-by-bit walk in unpack_engine.cpp: the same lines, the
// same count of rejected codes, whatever the data.
//
// How it is fast:
// - One look-up in a 12-bit table usually takes two codes, a run of one colour
//   and the run of the other colour after it. Such pairs leave the colour as it
//   was, so the common path has a single, well predicted branch; a lone code
//   (a pair that does not fit in 12 bits), a make-up code, an EOL or anything
//   unusual leaves the loop.
// - The line is not painted run by run. Every colour change flips one bit in
//   a transition buffer; at the end of a complete line a prefix XOR over 64-bit
//   words turns the transitions into pixels. The two changes of a pair go to
//   two separate buffers, so consecutive flips rarely wait for each other.
// - A blank line (the commonest line of a fax) is recognised whole, with its
//   EOL, at the start of a line: nothing is painted or cleared for it.
// - The input is staged in a buffer with zero padding, so the bit buffer is
//   refilled with one unaligned 8-byte load and no branches. Only the last few
//   bytes of the page, long EOL fill, invalid codes and codes longer than 12
//   bits go through the exact one-code-at-a-time step (slowItem).
#include "images/mh_codes.h"
#include "images/unpack_internal.h"

#include <cstring>
#include <memory>

namespace orv {

namespace {

constexpr int kIndexBits = 12;
constexpr uint64_t kIndexMask = (1u << kIndexBits) - 1;
constexpr int kLongBits = 13;
constexpr uint64_t kLongMask = (1u << kLongBits) - 1;

// A pair table entry: bits 0-5 the bits taken, 6-7 the kind, 8-15 the two
// runs together (pairs only), bit 16 "eleven or more 0 bits lead": an EOL,
// however long its fill; bits 20-31 the first run.
constexpr uint32_t kLengthMask = 63;
constexpr uint32_t kKindMask = 3u << 6;
constexpr uint32_t kPair = 0u << 6;     // a terminating code of each colour
constexpr uint32_t kOne = 1u << 6;      // one terminating code: the colour changes
constexpr uint32_t kMakeUp = 2u << 6;   // one make-up code
constexpr uint32_t kSpecial = 3u << 6;  // EOL, invalid, or longer than 12 bits
constexpr int kBothShift = 8;
constexpr uint32_t kBothMask = 0xFF;
constexpr uint32_t kEolFlag = 1u << 16;
constexpr int kFirstShift = 20;

struct LongEntry {
    int16_t leaf;    // the leaf the walk reaches
    uint8_t length;  // the bits it takes
};

// The bits of a blank line (one white run of the full width: its make-up
// code and the terminating code for 0), as they arrive.
struct BlankLine {
    uint64_t bits = 0, mask = 0;
    unsigned length = 0;
    int bytes = 0;  // of the decoded line
};

struct Tables {
    uint32_t pair[2][1 << kIndexBits];  // [0] a white code first, [1] black
    LongEntry code[2][1 << kLongBits];  // one code, for the exact step
    BlankLine blank[2];                 // 1728 and 2048 pixels
};

BlankLine blankLine(int width) {
    const mh::Code& makeUp = mh::kWhiteMakeUp[width / 64 - 1];
    const mh::Code& zero = mh::kWhiteTerminating[0];
    BlankLine b;
    b.bits = mh::reverseBits(makeUp.bits, makeUp.length) |
             uint64_t(mh::reverseBits(zero.bits, zero.length)) << makeUp.length;
    b.length = unsigned(makeUp.length + zero.length);
    b.mask = (uint64_t(1) << b.length) - 1;
    b.bytes = width / 8;
    return b;
}

struct Leaf {
    int leaf = 0;   // 0: none within the bits given
    int depth = 0;
};

// Walks tree t with the bits of v (first bit in bit 0), at most maxDepth of them.
Leaf walk(const FaxUnpackEngine::Tree& t, uint32_t v, int maxDepth) {
    int node = 0;
    for (int depth = 1; depth <= maxDepth; ++depth) {
        const int next = t.next[size_t(2 * node + ((v >> (depth - 1)) & 1))];
        if (next < 0) return {next, depth};
        node = next;
    }
    return {};
}

bool isRun(int leaf) { return leaf < 0 && leaf != FaxUnpackEngine::kLeafEol && leaf != FaxUnpackEngine::kLeafInvalid; }
int runOf(int leaf) { return -leaf - 1; }

uint32_t pairEntry(const FaxUnpackEngine::Tree& first, const FaxUnpackEngine::Tree& second, uint32_t v) {
    const Leaf a = walk(first, v, kIndexBits);
    if (!isRun(a.leaf)) {
        // Eleven 0 bits lead: an EOL whatever follows (with more fill, or the
        // 1 of an EOL without fill at bit 11); all else goes to the exact step.
        const bool eol = (v & ((1u << 11) - 1)) == 0;
        return kSpecial | (eol ? kEolFlag : 0);
    }
    const uint32_t run = uint32_t(runOf(a.leaf));
    if (run >= 64) return kMakeUp | run << kFirstShift | uint32_t(a.depth);
    const Leaf b = walk(second, v >> a.depth, kIndexBits - a.depth);
    if (isRun(b.leaf) && runOf(b.leaf) < 64)
        return kPair | run << kFirstShift | (run + uint32_t(runOf(b.leaf))) << kBothShift |
               uint32_t(a.depth + b.depth);
    return kOne | run << kFirstShift | uint32_t(a.depth);
}

std::unique_ptr<const Tables> makeTables(const FaxUnpackEngine::Tree& white, const FaxUnpackEngine::Tree& black) {
    auto t = std::make_unique<Tables>();
    for (uint32_t v = 0; v < (1u << kIndexBits); ++v) {
        t->pair[0][v] = pairEntry(white, black, v);
        t->pair[1][v] = pairEntry(black, white, v);
    }
    t->blank[0] = blankLine(1728);
    t->blank[1] = blankLine(2048);
    for (int c = 0; c < 2; ++c) {
        for (uint32_t v = 0; v < (1u << kLongBits); ++v) {
            // No leaf within 13 bits only happens after eleven 0 bits, which
            // the exact step takes as an EOL before looking here.
            const Leaf l = walk(c == 0 ? white : black, v, kLongBits);
            t->code[c][v] = l.leaf ? LongEntry{int16_t(l.leaf), uint8_t(l.depth)}
                                   : LongEntry{FaxUnpackEngine::kLeafInvalid, uint8_t(kLongBits)};
        }
    }
    return t;
}

constexpr uint64_t kTop = uint64_t(1) << 63;
constexpr size_t kMaxPos = kLineBufferBytes * 8;
// A pair adds at most 126 pixels, and the loop takes up to four pairs between
// its checks, so below this position no run can pass the line buffer.
constexpr size_t kPairGuard = kMaxPos - 4 * 126;

uint64_t lowBits(int n) { return (uint64_t(1) << n) - 1; }  // 0 < n < 64

// Pixel colours from transitions: bit k (pixel 63 - k of the word) becomes the
// XOR of bits k..63.
uint64_t prefixXor(uint64_t t) {
    t ^= t >> 1;
    t ^= t >> 2;
    t ^= t >> 4;
    t ^= t >> 8;
    t ^= t >> 16;
    t ^= t >> 32;
    return t;
}

const uint8_t kBlankLine[2048 / 8] = {};

}  // namespace

class FaxUnpackEngine::FastDecoder {
public:
    FastDecoder(FaxUnpackEngine& engine, Input& in, bool highRes, bool invert, const LineSink& sink)
        : engine_(engine), in_(in), highRes_(highRes), invert_(invert), sink_(sink),
          t_(*tables(*engine.white_, *engine.black_)),
          // Without squeezing, inverting or aspect correction a line goes
          // straight to the sink.
          direct_(!(engine.wsFrom_ != 0 && engine.wsTo_ != 0) && !invert &&
                  (highRes || !engine.aspectCorrection_)) {}

    int run();

private:
    enum Next { kWhite, kBlack, kLineStart, kEnd };

    static const Tables* tables(const Tree& white, const Tree& black) {
        // The trees are the same for every engine, so the tables are made once.
        static const std::unique_ptr<const Tables> t = makeTables(white, black);
        return t.get();
    }

    Next slowItem(bool white, bool lineStart);
    bool endOfLine();
    void emitLine();
    void deliver(const uint8_t* line, int len) {
        if (direct_) {
            ++engine_.linesOutput_;
            sink_(line, len);
        } else {
            engine_.acceptLine(line, len, highRes_, invert_, sink_);
        }
    }
    void topUp();
    void refillExact();
    // The bits in acc_ that are data (the rest, past the end, are 0).
    int realBits() const {
        const ptrdiff_t ahead = end_ - p_;
        return ahead >= 0 ? nbits_ : nbits_ + int(8 * ahead);
    }
    void consume(int n) {
        acc_ >>= n;
        nbits_ -= n;
    }

    FaxUnpackEngine& engine_;
    Input& in_;
    const bool highRes_, invert_;
    const LineSink& sink_;
    const Tables& t_;
    const bool direct_;

    // Bit buffer: nbits_ bits taken from the stage, first in bit 0. The bits
    // above them are the data that follow, or 0.
    uint64_t acc_ = 0;
    int nbits_ = 0;
    const uint8_t* p_ = nullptr;  // next byte of the stage
    uint8_t* end_ = nullptr;      // end of the data in the stage; 8 zero bytes follow
    bool inputDone_ = false;
    int inputError_ = 0;
    qint64 takenAtError_ = 0;

    // The line: pixels so far (never past kMaxPos), the EOL state.
    size_t pos_ = 0;
    bool seenEol_ = false;
    int eolCount_ = 0;
    int rejected_ = 0;

    // Colour changes: pixel 64 * w + i is bit 63 - i of word w. A change at
    // pos flips that pixel's bit in x_ or y_; x_ ^ y_ is the line's changes.
    static constexpr int kWords = int(kMaxPos / 64) + 2;
    static constexpr int kStageBytes = 2 * kReadBufferBytes + 64;
    alignas(64) uint64_t x_[kWords] = {};
    alignas(64) uint64_t y_[kWords] = {};
    alignas(64) uint64_t out_[2048 / 64];
    alignas(64) uint8_t stage_[kStageBytes + 8];
};

// Moves the unread bytes to the front of the stage and appends blocks of input
// until it holds at least a block's worth or the input ends. An input error is
// kept for the end: the walk also decodes every byte before a failing read.
void FaxUnpackEngine::FastDecoder::topUp() {
    const ptrdiff_t rem = end_ - p_;
    if (rem > 0) std::memmove(stage_, p_, size_t(rem));
    p_ = stage_;
    end_ = stage_ + std::max<ptrdiff_t>(rem, 0);
    while (!inputDone_ && end_ - stage_ < kReadBufferBytes) {
        const qint64 before = in_.taken();
        const uint8_t* q = nullptr;
        const int n = in_.next(q);
        if (n <= 0) {
            inputDone_ = true;
            if (n < 0) {
                inputError_ = n;
                takenAtError_ = before;
            }
            break;
        }
        std::memcpy(end_, q, size_t(n));
        end_ += n;
    }
    std::memset(end_, 0, 8);
}

void FaxUnpackEngine::FastDecoder::refillExact() {
    if (end_ - p_ < 8 && !inputDone_) topUp();
    if (p_ < end_) {
        uint64_t v;
        std::memcpy(&v, p_, 8);
        acc_ |= v << nbits_;
        p_ += (63 - nbits_) >> 3;
        nbits_ |= 56;
    }
}

// The line ends: hand it on when it is complete, start the next. True when the
// page ends (the third EOL in a row).
bool FaxUnpackEngine::FastDecoder::endOfLine() {
    if (seenEol_ && (pos_ == 1728 || pos_ == 2048)) {
        emitLine();
    } else {
        // Runs before the first EOL, or a line of the wrong length.
        const size_t words = (pos_ >> 6) + 1;
        std::memset(x_, 0, words * 8);
        std::memset(y_, 0, words * 8);
    }
    pos_ = 0;
    seenEol_ = true;
    return ++eolCount_ >= 3;
}

// Turns the colour changes of a complete line into pixels, hands the line on
// and clears the buffers for the next.
void FaxUnpackEngine::FastDecoder::emitLine() {
    const size_t words = pos_ >> 6;
    uint64_t colour = 0;  // all 1 while black at the end of the last word
    for (size_t w = 0; w < words; ++w) {
        const uint64_t t = prefixXor(x_[w] ^ y_[w]) ^ colour;
        colour = 0 - (t & 1);
        out_[w] = __builtin_bswap64(t);
    }
    // The last colour change sits at the line's end, in word `words`.
    std::memset(x_, 0, (words + 1) * 8);
    std::memset(y_, 0, (words + 1) * 8);
    deliver(reinterpret_cast<const uint8_t*>(out_), int(pos_ / 8));
}

// One code, EOL or invalid code (with the 1 bits after it), decoded bit-exactly
// as the walk does, also across refills and at the end of the data.
FaxUnpackEngine::FastDecoder::Next FaxUnpackEngine::FastDecoder::slowItem(bool white, bool lineStart) {
    // Eleven or more 0 bits then a 1: an EOL, however long the fill.
    int zeros = 0;
    for (;;) {
        refillExact();
        const int real = realBits();
        if (real == 0) return kEnd;
        const uint64_t bits = acc_ & lowBits(real);
        if (bits == 0) {
            zeros += real;
            consume(real);
            continue;
        }
        const int z = __builtin_ctzll(bits);
        if (zeros + z >= 11) {
            consume(z + 1);
            return endOfLine() ? kEnd : kLineStart;
        }
        break;  // (zeros is 0 here: a shorter run of 0 bits only ends the data)
    }
    const LongEntry e = t_.code[white ? 0 : 1][acc_ & kLongMask];
    if (e.length > realBits()) return kEnd;  // a code cut off by the end of the data
    consume(e.length);
    if (e.leaf == kLeafInvalid) {
        ++rejected_;
        // The 1 bits after an invalid code are skipped, up to the next 0.
        for (;;) {
            refillExact();
            const int real = realBits();
            if (real == 0) return kEnd;
            const uint64_t zerosAhead = ~acc_ & lowBits(real);
            if (zerosAhead == 0) {
                consume(real);
                continue;
            }
            consume(__builtin_ctzll(zerosAhead));
            break;
        }
        return lineStart ? kLineStart : white ? kWhite : kBlack;
    }
    if (e.leaf == kLeafEol) return endOfLine() ? kEnd : kLineStart;  // (taken above already)
    const size_t run = size_t(runOf(e.leaf));
    eolCount_ = 0;
    // A run that would pass the end of the line buffer is ignored, but a
    // terminating code still changes the colour.
    if (pos_ + run <= kMaxPos) pos_ += run;
    if (run >= 64) return white ? kWhite : kBlack;
    x_[pos_ >> 6] ^= kTop >> (pos_ & 63);
    return white ? kBlack : kWhite;
}

#define ORV_SAVE() (acc_ = acc, nbits_ = nbits, p_ = p, pos_ = pos)
#define ORV_LOAD() (acc = acc_, nbits = nbits_, p = p_, pos = pos_, fastEnd = uintptr_t(end_) - 8)
// At least 56 bits in acc, all of them data (the loop runs only while 8 bytes
// of data lie ahead).
#define ORV_REFILL()                 \
    do {                             \
        uint64_t v_;                 \
        std::memcpy(&v_, p, 8);      \
        acc |= v_ << nbits;          \
        p += (63 - nbits) >> 3;      \
        nbits |= 56;                 \
    } while (0)
#define ORV_TAKE(e)                  \
    do {                             \
        acc >>= (e) & kLengthMask;   \
        nbits -= (e) & kLengthMask;  \
    } while (0)
// A pair: the colour changes at a_ and again at the new pos.
#define ORV_PAIR(e)                                   \
    do {                                              \
        ORV_TAKE(e);                                  \
        const size_t a_ = pos + ((e) >> kFirstShift); \
        pos += ((e) >> kBothShift) & kBothMask;       \
        x[a_ >> 6] ^= kTop >> (a_ & 63);              \
        y[pos >> 6] ^= kTop >> (pos & 63);            \
    } while (0)
#define ORV_STEP()                 \
    e = tab[acc & kIndexMask];     \
    if (e & kKindMask) goto other; \
    ORV_PAIR(e)

int FaxUnpackEngine::FastDecoder::run() {
    p_ = end_ = stage_;
    topUp();

    const uint32_t* const white = t_.pair[0];
    const uint32_t* const black = t_.pair[1];
    const uintptr_t swap = uintptr_t(white) ^ uintptr_t(black);
    uint64_t* const x = x_;
    uint64_t* const y = y_;
    uint64_t acc;
    unsigned nbits;
    size_t pos;
    const uint8_t* p;
    uintptr_t fastEnd;
    ORV_LOAD();
    const uint32_t* tab = white;
    uint32_t e = 0;
    bool lineStart = false;
    Next next = kWhite;
    goto loop;  // the page starts white; its runs before the first EOL are dropped there

lineStart:
    // The first code after an EOL: a run of it breaks the row of EOLs.
    tab = white;
    if (uintptr_t(p) > fastEnd) {
        lineStart = true;
        goto edge;
    }
    ORV_REFILL();
    // The commonest line of all, a blank one, followed by its EOL: nothing to
    // paint, and nothing to clear after it.
    for (const BlankLine& b : t_.blank) {
        if ((acc & b.mask) == b.bits) {
            const int z = __builtin_ctzll((acc >> b.length) | kTop);
            if (z >= 11 && unsigned(z) + b.length < nbits) {
                acc >>= b.length + unsigned(z) + 1;
                nbits -= b.length + unsigned(z) + 1;
                deliver(kBlankLine, b.bytes);
                eolCount_ = 1;  // (its runs ended the row of EOLs, this one starts another)
                goto lineStart;
            }
        }
    }
    e = white[acc & kIndexMask];
    if ((e & kKindMask) == kSpecial) {
        lineStart = true;
        goto special;
    }
    eolCount_ = 0;
    if (e & kKindMask) goto other;
    ORV_PAIR(e);

loop:
    for (;;) {
        if (uintptr_t(p) > fastEnd || pos > kPairGuard) {
            lineStart = false;
            goto edge;
        }
        ORV_REFILL();
        ORV_STEP();
        ORV_STEP();
        ORV_STEP();
        ORV_STEP();
    }

other:
    if ((e & kKindMask) == kOne) {
        ORV_TAKE(e);
        pos += e >> kFirstShift;
        x[pos >> 6] ^= kTop >> (pos & 63);
        tab = reinterpret_cast<const uint32_t*>(uintptr_t(tab) ^ swap);
        goto loop;
    }
    if ((e & kKindMask) == kMakeUp) {
        ORV_TAKE(e);
        const size_t run = e >> kFirstShift;
        if (pos + run <= kMaxPos) pos += run;
        goto loop;
    }
    lineStart = false;

special:
    if (e & kEolFlag) {
        const int z = __builtin_ctzll(acc | kTop);
        if (unsigned(z) < nbits) {
            acc >>= z + 1;
            nbits -= z + 1;
            ORV_SAVE();
            if (endOfLine()) goto done;
            ORV_LOAD();
            goto lineStart;
        }
    }
    ORV_SAVE();
    next = slowItem(tab == white, lineStart);
    ORV_LOAD();
    goto dispatch;

edge:
    // Near the end of the staged data, or a line far too long for pairs.
    if (uintptr_t(p) > fastEnd && !inputDone_) {
        ORV_SAVE();
        topUp();
        ORV_LOAD();
        if (uintptr_t(p) <= fastEnd && pos <= kPairGuard) {
            if (lineStart) goto lineStart;
            goto loop;
        }
    }
    ORV_SAVE();
    next = slowItem(tab == white, lineStart);
    ORV_LOAD();

dispatch:
    switch (next) {
    case kWhite:
        tab = white;
        goto loop;
    case kBlack:
        tab = black;
        goto loop;
    case kLineStart:
        goto lineStart;
    case kEnd:
        break;
    }

done:
    engine_.codesRejected_ += rejected_;
    const bool pageEnded = eolCount_ >= 3;
    if (!pageEnded && inputError_) {
        engine_.bytesUnpacked_ = takenAtError_;
        return inputError_;
    }
    engine_.bytesUnpacked_ = in_.taken();
    // Data that end without a further EOL (no end-of-page code) still give
    // their last line when it is complete.
    if (!pageEnded && seenEol_ && (pos_ == 1728 || pos_ == 2048)) emitLine();
    engine_.releaseWithheld(true, highRes_, invert_, sink_);
    return ecOK;
}

#undef ORV_SAVE
#undef ORV_LOAD
#undef ORV_REFILL
#undef ORV_TAKE
#undef ORV_PAIR
#undef ORV_STEP

int FaxUnpackEngine::runFast(Input& in, bool highRes, bool invert, const LineSink& sink) {
    FastDecoder d(*this, in, highRes, invert, sink);
    return d.run();
}

}  // namespace orv
