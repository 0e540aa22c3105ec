#include "images/unpack_engine.h"

#include "common/orv_error.h"
#include "images/message_yield.h"
#include "images/mh_codes.h"
#include "images/unpack_internal.h"

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

const FaxUnpackEngine::Tree& sharedWhiteTree() {
    static const FaxUnpackEngine::Tree t = makeTree({mh::kWhiteTerminating, mh::kWhiteMakeUp});
    return t;
}

const FaxUnpackEngine::Tree& sharedBlackTree() {
    static const FaxUnpackEngine::Tree t = makeTree({mh::kBlackTerminating, mh::kBlackMakeUp});
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

}  // namespace

// ---- engine -------------------------------------------------------------------

FaxUnpackEngine::FaxUnpackEngine() : white_(&sharedWhiteTree()), black_(&sharedBlackTree()) {}

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
    return decodeFoundPage(reader, page, invert, sink);
}

int FaxUnpackEngine::decodeFoundPage(ApfReader& reader, int page, bool invert, const LineSink& sink) {
    fileName_ = reader.fileName();
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

// The line being decoded and what the codes do to it, for the bit-by-bit walk.
// This is the reference behaviour: the fast path (unpack_fast.cpp) must give
// the same lines and counts.
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
    // Without progress reports or yielding nothing happens between two bytes,
    // so the codes can be taken many bits at a time.
    if (!status_ && !(flags_ & ufYield)) return runFast(in, bool(pageFlags & pfHighRes), invert, sink);
    LineBuilder lb{*this, bool(pageFlags & pfHighRes), invert, sink};

    const int16_t* const whiteTree = white_->next.data();
    const int16_t* const blackTree = black_->next.data();
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
    bool outOfMemory = false;
    const LineSink sink = [&](const uint8_t* data, int len) {
        if (outOfMemory) return;
        if (size_t(rowCount + 1) * stride > rows.size()) {
            // Room grows by doubling from 64 rows: a few lines cost little,
            // a long page is copied a handful of times, not once per step.
            try {
                rows.resize(std::max(rows.size() * 2, size_t(64) * stride), background);
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
    // The file stays open at the page's data for the lines.
    return imageFromLines(ph.wide(), invert,
                          [&](const LineSink& sink) {
                              linesOutput_ = codesRejected_ = 0;
                              bytesUnpacked_ = bytesToUnpack_ = 0;
                              pageHeader_ = ph;
                              return decodeFoundPage(reader, page, invert, sink);
                          },
                          image);
}

int FaxUnpackEngine::decodeData(const uint8_t* data, size_t size, uint16_t pageFlags, bool invert, QImage& image) {
    return imageFromLines(pageFlags & pfWide, invert,
                          [&](const LineSink& sink) { return decodeDataLines(data, size, pageFlags, invert, sink); },
                          image);
}

}  // namespace orv
