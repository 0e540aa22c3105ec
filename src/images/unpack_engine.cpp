#include "images/unpack_engine.h"

#include "common/orv_error.h"
#include "images/message_yield.h"
#include "images/mh_codes.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace orv {

// ---- decode trees -------------------------------------------------------------

namespace {

struct CodeSet {
    const mh::Code* term;
    const mh::Code* makeUp;
};

// The leaf value for (pattern, depth): the code with exactly that pattern, 0 for
// a proper prefix of a longer code (an inner node), else kLeafInvalid.
int16_t classify(const CodeSet& set, uint32_t pattern, int depth) {
    int16_t leaf = 0;
    bool isPrefix = false;
    auto consider = [&](const mh::Code& c, int16_t value) {
        if (c.length == depth && c.bits == pattern) leaf = value;
        else if (c.length > depth && (uint32_t(c.bits) >> (c.length - depth)) == pattern) isPrefix = true;
    };
    for (int i = 0; i < 64; ++i) consider(set.term[i], int16_t(-(i + 1)));
    for (int i = 0; i < 40; ++i) consider(set.makeUp[i], int16_t(-((i + 1) * 64 + 1)));
    consider(mh::kEol, FaxUnpackEngine::kLeafEol);
    if (leaf != 0) return leaf;
    return isPrefix ? 0 : FaxUnpackEngine::kLeafInvalid;
}

// Depth first, the 0 branch before the 1 branch, so the all-zero path gets the
// first node numbers: the node after eleven 0 bits is node 11.
void build(FaxUnpackEngine::Tree& tree, const CodeSet& set, int node, uint32_t pattern, int depth) {
    for (int bit = 0; bit < 2; ++bit) {
        const uint32_t p = (pattern << 1) | uint32_t(bit);
        const int16_t leaf = classify(set, p, depth + 1);
        if (leaf != 0) {
            tree.next[size_t(2 * node + bit)] = leaf;
        } else if (depth + 1 < 13) {
            const int child = tree.nodes();
            tree.next.push_back(FaxUnpackEngine::kLeafInvalid);
            tree.next.push_back(FaxUnpackEngine::kLeafInvalid);
            tree.next[size_t(2 * node + bit)] = int16_t(child);
            build(tree, set, child, p, depth + 1);
        }
    }
}

FaxUnpackEngine::Tree makeTree(const CodeSet& set) {
    FaxUnpackEngine::Tree t;
    t.next.assign(2, FaxUnpackEngine::kLeafInvalid);
    build(t, set, 0, 0, 0);
    // Eleven or more 0 bits then a 1 reach the EOL: fill bits of any length.
    t.next[2 * 11 + 0] = 11;
    return t;
}

inline int leafRun(int16_t leaf) { return -leaf - 1; }

void setBits(uint8_t* line, int pos, int run) {
    if (run <= 0) return;
    const int last = pos + run - 1;
    const int b0 = pos >> 3, b1 = last >> 3;
    const uint8_t first = uint8_t(0xFF >> (pos & 7)), tail = uint8_t(0xFF << (7 - (last & 7)));
    if (b0 == b1) {
        line[b0] |= first & tail;
        return;
    }
    line[b0] |= first;
    if (b1 - b0 > 1) std::memset(line + b0 + 1, 0xFF, size_t(b1 - b0 - 1));
    line[b1] |= tail;
}

constexpr int kLineBufferBytes = 512;
constexpr int kReadBufferBytes = 4096;

}  // namespace

// ---- input: one page's bytes in either storage form ----------------------------

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

// ---- engine -------------------------------------------------------------------

FaxUnpackEngine::FaxUnpackEngine() {
    white_ = makeTree({mh::kWhiteTerminating, mh::kWhiteMakeUp});
    black_ = makeTree({mh::kBlackTerminating, mh::kBlackMakeUp});
}

void FaxUnpackEngine::reset() {
    flags_ = 0;
    wsFrom_ = wsTo_ = withheld_ = 0;
    horizMult_ = horizDiv_ = vertMult_ = vertDiv_ = 1;
    aspectCorrection_ = true;
    cropToContent_ = true;
}

void FaxUnpackEngine::setFlag(unsigned flag, bool on) {
    if (on) {
        if (flag & ufDoubleHeight) flags_ &= ~ufHalfWidth;
        if (flag & ufHalfWidth) flags_ &= ~ufDoubleHeight;
        flags_ |= flag;
    } else {
        flags_ &= ~flag;
    }
}

void FaxUnpackEngine::setAutoScale(TAutoScaleMode mode) {
    flags_ &= ~(ufDoubleHeight | ufHalfWidth);
    if (mode == asDoubleHeight) flags_ |= ufDoubleHeight;
    if (mode == asHalfWidth) flags_ |= ufHalfWidth;
}

int FaxUnpackEngine::setWhitespace(int from, int to) {
    if (from < to || (from == 0 && to != 0) || to < 0) return ecBadArgument;
    wsFrom_ = from;
    wsTo_ = to;
    return ecOK;
}

void FaxUnpackEngine::setScaling(int hm, int hd, int vm, int vd) {
    horizMult_ = hm > 0 ? hm : 1;
    horizDiv_ = hd > 0 ? hd : 1;
    vertMult_ = vm > 0 ? vm : 1;
    vertDiv_ = vd > 0 ? vd : 1;
}

int FaxUnpackEngine::decodePageLines(const QString& fileName, int page, bool invert, const LineSink& sink) {
    linesOutput_ = codesRejected_ = 0;
    bytesUnpacked_ = bytesToUnpack_ = 0;
    if (fileName.isEmpty()) return ecFileNotFound;
    ApfReader reader;
    if (const int rc = reader.open(fileName); rc < 0) return rc;
    if (const int rc = reader.seekPage(page, pageHeader_); rc < 0) return rc;
    fileName_ = fileName;
    page_ = page;
    Input in(reader, pageHeader_.imageLength, pageHeader_.lengthWords());
    return run(in, pageHeader_.pageFlags, invert, sink);
}

int FaxUnpackEngine::decodeDataLines(const uint8_t* data, size_t size, uint16_t pageFlags, bool invert,
                                     const LineSink& sink) {
    linesOutput_ = codesRejected_ = 0;
    bytesUnpacked_ = bytesToUnpack_ = 0;
    pageHeader_ = ApfPageHeader();
    pageHeader_.imageLength = uint32_t(std::min<size_t>(size, UINT32_MAX));
    pageHeader_.pageFlags = pageFlags;
    fileName_.clear();
    page_ = 1;
    Input in(data, data ? size : 0, pageFlags & pfLengthWords);
    return run(in, pageFlags, invert, sink);
}

// The line being decoded and what the codes do to it; shared by the bit-by-bit
// walk and the table-driven fast path, so both decode alike.
struct FaxUnpackEngine::LineBuilder {
    FaxUnpackEngine& engine;
    bool highRes, invert;
    const LineSink& sink;
    uint8_t line[kLineBufferBytes + 8] = {};
    int pos = 0, maxPos = 0;  // pixels in the line so far; the most ever, for clearing
    bool isWhite = true, seenEol = false;
    int eolCount = 0;

    // True when the page ends (the third EOL in a row).
    bool eol() {
        if (pos > 0) {
            if (pos == 1728 || pos == 2048) engine.acceptLine(line, pos / 8, highRes, invert, sink);
            std::memset(line, 0, size_t((std::max(pos, maxPos) + 7) / 8));
        }
        pos = maxPos = 0;
        isWhite = true;
        seenEol = true;
        return ++eolCount >= 3;
    }
    void run(int runLen) {
        // Runs before the first EOL are not part of a line; a run that would
        // pass the end of the line buffer is ignored.
        if (seenEol && pos + runLen <= kLineBufferBytes * 8) {
            if (!isWhite) setBits(line, pos, runLen);
            pos += runLen;
            maxPos = std::max(maxPos, pos);
        }
        if (runLen < 64) isWhite = !isWhite;
        eolCount = 0;
    }
    void finish(bool aborted) {
        // Data that end without a further EOL (no end-of-page code) still give
        // their last line when it is complete.
        if (!aborted && eolCount == 0 && (pos == 1728 || pos == 2048))
            engine.acceptLine(line, pos / 8, highRes, invert, sink);
        engine.releaseWithheld(true, highRes, invert, sink);
    }
};

int FaxUnpackEngine::run(Input& in, uint16_t pageFlags, bool invert, const LineSink& sink) {
    bytesToUnpack_ = in.limit();
    withheld_ = 0;
    lastYieldAt_ = -1;
    flags_ &= ~ufAbort;
    LineBuilder lb{*this, bool(pageFlags & pfHighRes), invert, sink};
    // Without progress reports or yielding nothing happens between two bytes,
    // so the codes can be taken many bits at a time.
    if (!status_ && !(flags_ & ufYield)) return runFast(in, lb);

    const int16_t* const whiteTree = white_.next.data();
    const int16_t* const blackTree = black_.next.data();
    const int16_t* tree = whiteTree;
    int node = 0;
    bool skip = false;
    for (;;) {
        const uint8_t* p = nullptr;
        const int n = in.next(p);
        if (n < 0) return n;
        if (n == 0) break;
        bool stop = false;
        for (int i = 0; i < n && !stop; ++i) {
            const unsigned c = p[i];
            for (int bit = 0; bit < 8; ++bit) {
                int next;
                if ((c >> bit) & 1u) {
                    if (skip) continue;
                    next = tree[2 * node + 1];
                } else {
                    skip = false;
                    next = tree[2 * node];
                }
                if (next >= 0) {
                    node = next;
                    continue;
                }
                node = 0;
                if (next == kLeafEol) {
                    if (lb.eol()) {
                        stop = true;
                        break;
                    }
                } else if (next == kLeafInvalid) {
                    ++codesRejected_;
                    skip = true;
                } else {
                    lb.run(leafRun(int16_t(next)));
                }
                tree = lb.isWhite ? whiteTree : blackTree;
            }
            // After each byte: abort, yield, status.
            bytesUnpacked_ = in.taken() - (n - i - 1);
            if (flags_ & ufAbort) {
                stop = true;
                break;
            }
            if ((flags_ & ufYield) && linesOutput_ % 16 == 0 && lastYieldAt_ != linesOutput_) {
                lastYieldAt_ = linesOutput_;
                if (const int rc = ProcessPendingMessage(); rc < 0) return rc;
            }
            if (status_) status_(fileName_, page_, std::min(bytesUnpacked_, bytesToUnpack_), bytesToUnpack_);
        }
        bytesUnpacked_ = in.taken();
        if (stop) break;
    }
    lb.finish(flags_ & ufAbort);
    return ecOK;
}

// Decode tables for the fast path, made from the decode trees so they decode
// exactly as the walk does. A code of up to kShortBits bits is found with one
// look-up in a small table that stays in the first-level cache; the few longer
// codes (long black runs, make-up codes) are looked up again in a 13-bit table.
namespace {

constexpr int kShortBits = 10;
constexpr int kLongBits = 13;

// For every bits-wide pattern (first bit in bit 0): the leaf the walk reaches
// and the bits it took. No leaf within the width: in the long table an invalid
// code of 13 bits, as the walk would skip; in the short table length 0, "look
// in the long table".
std::vector<FaxUnpackEngine::FastEntry> fastTable(const FaxUnpackEngine::Tree& t, int bits) {
    std::vector<FaxUnpackEngine::FastEntry> table(size_t(1) << bits);
    for (uint32_t v = 0; v < table.size(); ++v) {
        int node = 0;
        FaxUnpackEngine::FastEntry e{FaxUnpackEngine::kLeafInvalid, uint8_t(bits == kLongBits ? kLongBits : 0)};
        for (int depth = 1; depth <= bits; ++depth) {
            const int next = t.next[size_t(2 * node + ((v >> (depth - 1)) & 1))];
            if (next < 0) {
                e = FaxUnpackEngine::FastEntry{int16_t(next), uint8_t(depth)};
                break;
            }
            node = next;
        }
        table[v] = e;
    }
    return table;
}

}  // namespace

struct FaxUnpackEngine::FastTables {
    std::vector<FastEntry> whiteShort, blackShort, whiteLong, blackLong;
};

const FaxUnpackEngine::FastTables& FaxUnpackEngine::fastTables() const {
    // The trees are the same for every engine, so the tables are made once.
    static const FastTables tables{fastTable(white_, kShortBits), fastTable(black_, kShortBits),
                                   fastTable(white_, kLongBits), fastTable(black_, kLongBits)};
    return tables;
}

// Codes are taken from a 64-bit buffer of pending bits; runs of eleven or more
// 0 bits (an EOL with its fill) and the 1 bits skipped after an invalid code
// are counted with bit scans.
int FaxUnpackEngine::runFast(Input& in, LineBuilder& lb) {
    const FastTables& t = fastTables();
    uint64_t acc = 0;  // pending bits, first in bit 0
    int nbits = 0;
    bool skip = false, inZeros = false, end = false;
    const uint8_t* p = nullptr;
    int avail = 0;
    for (;;) {
        // Fill to at least 57 bits while data last: eight bytes at a time
        // where the block holds them, else byte by byte.
        if (nbits <= 56 && !end) {
            if (avail >= 8) {
                uint64_t v;
                std::memcpy(&v, p, 8);
                const int take = (64 - nbits) >> 3;  // whole bytes that fit
                if (take < 8) v &= (uint64_t(1) << (8 * take)) - 1;
                acc |= v << nbits;
                nbits += 8 * take;
                p += take;
                avail -= take;
            }
            while (nbits <= 56 && !end) {
                if (avail == 0) {
                    const int n = in.next(p);
                    if (n < 0) return n;
                    if (n == 0) {
                        end = true;
                        break;
                    }
                    avail = n;
                }
                acc |= uint64_t(*p++) << nbits;
                nbits += 8;
                --avail;
            }
        }
        if (nbits == 0) break;
        if (skip) {  // 1 bits after an invalid code are ignored, up to the next 0
            const int ones = acc == ~0ull ? 64 : __builtin_ctzll(~acc);
            if (ones >= nbits) {
                acc = 0;
                nbits = 0;
                if (end) break;
                continue;
            }
            acc >>= ones;
            nbits -= ones;
            skip = false;
            continue;  // refill before the next code: the skipped ones may have left too few bits
        }
        const int zeros = acc == 0 ? 64 : __builtin_ctzll(acc);
        if (inZeros || zeros >= 11) {
            if (zeros >= nbits) {  // all pending bits are 0: the run goes on
                inZeros = inZeros || nbits >= 11;
                if (!inZeros || end) break;
                acc = 0;
                nbits = 0;
                continue;
            }
            acc = zeros + 1 >= 64 ? 0 : acc >> (zeros + 1);
            nbits -= zeros + 1;
            inZeros = false;
            bytesUnpacked_ = in.taken();
            if (lb.eol()) break;
            continue;
        }
        FastEntry e = (lb.isWhite ? t.whiteShort : t.blackShort)[acc & ((1u << kShortBits) - 1)];
        if (e.length == 0) e = (lb.isWhite ? t.whiteLong : t.blackLong)[acc & ((1u << kLongBits) - 1)];
        if (e.length > nbits) break;  // a code cut off by the end of the data
        acc >>= e.length;
        nbits -= e.length;
        if (e.leaf == kLeafInvalid) {
            ++codesRejected_;
            skip = true;
        } else if (e.leaf == kLeafEol) {
            if (lb.eol()) break;
        } else {
            lb.run(leafRun(e.leaf));
        }
    }
    bytesUnpacked_ = in.taken();
    lb.finish(false);
    return ecOK;
}

void FaxUnpackEngine::acceptLine(const uint8_t* line, int len, bool highRes, bool invert, const LineSink& sink) {
    ++linesOutput_;
    if (wsFrom_ != 0 && wsTo_ != 0) {
        bool blank = true;
        for (int i = 0; i < len && blank; ++i) blank = line[i] == 0;
        if (blank) {
            ++withheld_;
            return;
        }
        releaseWithheld(false, highRes, invert, sink);
    }
    emitLine(line, len, highRes, invert, sink);
}

void FaxUnpackEngine::releaseWithheld(bool atEnd, bool highRes, bool invert, const LineSink& sink) {
    if (withheld_ == 0) return;
    int n = (wsFrom_ > 0 && withheld_ >= wsFrom_) ? wsTo_ : withheld_;
    if (atEnd && wsFrom_ == wsTo_) n = 0;
    withheld_ = 0;
    for (int i = 0; i < n; ++i) emitLine(nullptr, 0, highRes, invert, sink);
}

void FaxUnpackEngine::emitLine(const uint8_t* line, int len, bool highRes, bool invert, const LineSink& sink) {
    if (highRes || !aspectCorrection_) {
        if (invert && len > 0) {
            for (int i = 0; i < len; ++i) out_[i] = uint8_t(~line[i]);
            sink(out_, len);
        } else {
            sink(line, len);
        }
        return;
    }
    if (flags_ & ufDoubleHeight) {
        if (invert && len > 0) {
            for (int i = 0; i < len; ++i) out_[i] = uint8_t(~line[i]);
            line = out_;
        }
        sink(line, len);
        sink(line, len);
        return;
    }
    if (len == 0) {
        sink(line, 0);
        return;
    }
    // Half width: output pixel k is black when input pixel 2k or 2k+1 is, so a
    // one-pixel stroke survives (combined before inverting).
    const int half = len / 2;
    for (int k = 0; k < half; ++k) {
        const unsigned hi = line[2 * k], lo = line[2 * k + 1];
        unsigned v = 0;
        for (int b = 0; b < 4; ++b) {
            if (hi & (0xC0u >> (2 * b))) v |= 0x80u >> b;
            if (lo & (0xC0u >> (2 * b))) v |= 0x08u >> b;
        }
        out_[k] = uint8_t(invert ? ~v : v);
    }
    sink(out_, half);
}

// ---- bitmap ---------------------------------------------------------------------

int FaxUnpackEngine::imageFromLines(bool wide, bool invert, const std::function<int(const LineSink&)>& decode,
                                    QImage& image) {
    image = QImage();
    const int stride = wide ? 256 : 216;
    const uint8_t background = invert ? 0xFF : 0x00;
    std::vector<uint8_t> rows;
    int rowCount = 0, used = 1;
    try {
        rows.resize(size_t(1024) * stride, background);
    } catch (const std::bad_alloc&) {
        return ecOutOfMemory;
    }
    bool outOfMemory = false;
    const LineSink sink = [&](const uint8_t* data, int len) {
        if (outOfMemory) return;
        if (size_t(rowCount + 1) * stride > rows.size()) {
            try {
                rows.resize(rows.size() + size_t(1024) * stride, background);
            } catch (const std::bad_alloc&) {
                outOfMemory = true;
                return;
            }
        }
        uint8_t* row = rows.data() + size_t(rowCount) * stride;
        // A 2048-pixel line on a 1728-pixel page keeps what fits its row.
        const int n = std::min(len, stride);
        if (n > 0) std::memcpy(row, data, size_t(n));
        for (int i = n; i-- > 0;) {
            if (row[i] != background) {
                used = std::max(used, i + 1);
                break;
            }
        }
        ++rowCount;
    };
    if (const int rc = decode(sink); rc < 0) return rc;
    if (outOfMemory) return ecOutOfMemory;
    if (rowCount == 0) return ecOK;

    int widthBytes = cropToContent_ ? (used + 1) / 2 * 2 : stride;
    widthBytes = std::min(widthBytes, stride);
    QImage img(widthBytes * 8, rowCount, QImage::Format_Mono);
    if (img.isNull()) return ecCantMakeBitmap;
    // Format_Mono: the first pixel is the most significant bit, as in our rows.
    const QRgb black = qRgb(0, 0, 0), white = qRgb(255, 255, 255);
    img.setColorTable(invert ? QList<QRgb>{black, white} : QList<QRgb>{white, black});
    for (int y = 0; y < rowCount; ++y) std::memcpy(img.scanLine(y), rows.data() + size_t(y) * stride, size_t(widthBytes));

    if (horizMult_ != horizDiv_ || vertMult_ != vertDiv_) {
        const qint64 w = qint64(img.width()) * horizMult_ / horizDiv_;
        const qint64 h = qint64(img.height()) * vertMult_ / vertDiv_;
        if (w <= 0 || h <= 0 || w > 32767 || h > 65535) return ecCantMakeBitmap;
        QImage scaled(int(w), int(h), QImage::Format_Mono);
        if (scaled.isNull()) return ecOutOfMemory;
        scaled.setColorTable(img.colorTable());
        // Straight pixel copy: each target pixel takes the source pixel it falls on.
        std::vector<int> srcX(static_cast<size_t>(w));
        for (qint64 x = 0; x < w; ++x) srcX[size_t(x)] = int(x * img.width() / w);
        for (qint64 y = 0; y < h; ++y) {
            const uint8_t* s = img.constScanLine(int(y * img.height() / h));
            uint8_t* d = scaled.scanLine(int(y));
            std::memset(d, 0, size_t(scaled.bytesPerLine()));
            for (qint64 x = 0; x < w; ++x) {
                const int sx = srcX[size_t(x)];
                if (s[sx >> 3] & (0x80 >> (sx & 7))) d[x >> 3] |= uint8_t(0x80 >> (x & 7));
            }
        }
        img = scaled;
    }
    image = img;
    return ecOK;
}

int FaxUnpackEngine::decodePage(const QString& fileName, int page, bool invert, QImage& image) {
    // The row stride comes from the page header, read before the lines.
    image = QImage();
    ApfReader reader;
    if (fileName.isEmpty()) return ecFileNotFound;
    if (const int rc = reader.open(fileName); rc < 0) return rc;
    ApfPageHeader ph;
    if (const int rc = reader.seekPage(page, ph); rc < 0) return rc;
    reader.close();
    return imageFromLines(ph.wide(), invert,
                          [&](const LineSink& sink) { return decodePageLines(fileName, page, invert, sink); }, image);
}

int FaxUnpackEngine::decodeData(const uint8_t* data, size_t size, uint16_t pageFlags, bool invert, QImage& image) {
    return imageFromLines(pageFlags & pfWide, invert,
                          [&](const LineSink& sink) { return decodeDataLines(data, size, pageFlags, invert, sink); },
                          image);
}

}  // namespace orv
