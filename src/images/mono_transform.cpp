#include "images/mono_transform.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

namespace orv {
namespace {

const std::array<uint8_t, 256>& reversedBits() {
    static const std::array<uint8_t, 256> table = [] {
        std::array<uint8_t, 256> t{};
        for (int i = 0; i < 256; ++i) {
            int r = 0;
            for (int b = 0; b < 8; ++b)
                if (i & (1 << b)) r |= 0x80 >> b;
            t[size_t(i)] = uint8_t(r);
        }
        return t;
    }();
    return table;
}

// Transposes an 8 x 8 block of pixels: in[i] is row i (pixel 0 in bit 7),
// out[j] becomes column j (row 0 in bit 7).
inline void transpose8(const uint8_t in[8], uint8_t out[8]) {
    uint64_t x = 0;
    for (int i = 0; i < 8; ++i) x = (x << 8) | in[i];
    uint64_t t = (x ^ (x >> 7)) & 0x00AA00AA00AA00AAull;
    x = x ^ t ^ (t << 7);
    t = (x ^ (x >> 14)) & 0x0000CCCC0000CCCCull;
    x = x ^ t ^ (t << 14);
    t = (x ^ (x >> 28)) & 0x00000000F0F0F0F0ull;
    x = x ^ t ^ (t << 28);
    for (int j = 7; j >= 0; --j) {
        out[j] = uint8_t(x & 0xFF);
        x >>= 8;
    }
}

inline bool bitAt(const uchar* row, int x) { return row[x >> 3] & (0x80 >> (x & 7)); }
inline void setBit(uchar* row, int x) { row[x >> 3] |= uchar(0x80 >> (x & 7)); }

QImage blankLike(const QImage& source, int w, int h) {
    QImage out(w, h, QImage::Format_Mono);
    if (out.isNull()) return out;
    out.setColorTable(source.colorTable());
    std::memset(out.bits(), 0, size_t(out.sizeInBytes()));
    return out;
}

// Quarter turns of a bitmap whose width is a whole number of bytes, 8 x 8
// blocks at a time. The blocks of source rows are laid so that every block
// lands on a whole byte of the target row; rows outside the source are 0 and
// land beyond the target's width.
QImage quarterTurn(const QImage& src, bool clockwise) {
    const int w = src.width(), h = src.height();
    QImage dst = blankLike(src, h, w);
    if (dst.isNull()) return dst;
    const int bytesPerRow = w / 8;
    uint8_t in[8], out[8];
    const auto& rev = reversedBits();
    for (int block = 0; block * 8 < h; ++block) {
        // Clockwise: target column H-1-y, so the block of rows H-8-8k .. H-1-8k
        // fills target byte k. Counter-clockwise: target column y, rows 8k .. 8k+7.
        const int y0 = clockwise ? h - 8 - 8 * block : 8 * block;
        const uchar* rows[8];
        for (int i = 0; i < 8; ++i) {
            const int y = y0 + i;
            rows[i] = (y >= 0 && y < h) ? src.constScanLine(y) : nullptr;
        }
        for (int bx = 0; bx < bytesPerRow; ++bx) {
            for (int i = 0; i < 8; ++i) in[i] = rows[i] ? rows[i][bx] : 0;
            transpose8(in, out);
            for (int j = 0; j < 8; ++j) {
                const int x = bx * 8 + j;
                if (clockwise)
                    dst.scanLine(x)[block] = rev[out[j]];  // the higher row to the left
                else
                    dst.scanLine(w - 1 - x)[block] = out[j];
            }
        }
    }
    return dst;
}

QImage quarterTurnSlow(const QImage& src, bool clockwise) {
    const int w = src.width(), h = src.height();
    QImage dst = blankLike(src, h, w);
    if (dst.isNull()) return dst;
    for (int y = 0; y < h; ++y) {
        const uchar* s = src.constScanLine(y);
        for (int x = 0; x < w; ++x) {
            if (!bitAt(s, x)) continue;
            if (clockwise)
                setBit(dst.scanLine(x), h - 1 - y);
            else
                setBit(dst.scanLine(w - 1 - x), y);
        }
    }
    return dst;
}

QImage halfTurn(const QImage& src) {
    const int w = src.width(), h = src.height();
    QImage dst = blankLike(src, w, h);
    if (dst.isNull()) return dst;
    const auto& rev = reversedBits();
    for (int y = 0; y < h; ++y) {
        const uchar* s = src.constScanLine(y);
        uchar* d = dst.scanLine(h - 1 - y);
        if (w % 8 == 0) {
            const int n = w / 8;
            for (int i = 0; i < n; ++i) d[n - 1 - i] = rev[s[i]];
        } else {
            for (int x = 0; x < w; ++x)
                if (bitAt(s, x)) setBit(d, w - 1 - x);
        }
    }
    return dst;
}

}  // namespace

QImage RotateMonoBitmap(const QImage& source, int quarterTurns) {
    if (source.isNull()) return source;
    QImage src = source.format() == QImage::Format_Mono ? source : source.convertToFormat(QImage::Format_Mono);
    switch (((quarterTurns % 4) + 4) % 4) {
    case 1:
        return src.width() % 8 == 0 ? quarterTurn(src, true) : quarterTurnSlow(src, true);
    case 2:
        return halfTurn(src);
    case 3:
        return src.width() % 8 == 0 ? quarterTurn(src, false) : quarterTurnSlow(src, false);
    default:
        return src;
    }
}

QImage StretchMonoRegion(const QImage& source, int displayWidth, int displayHeight, const QRect& target) {
    QImage out = blankLike(source, target.width(), target.height());
    if (out.isNull() || source.isNull() || displayWidth <= 0 || displayHeight <= 0) return out;
    const int w = source.width(), h = source.height();
    std::vector<int> srcX(size_t(target.width()), -1);
    for (int tx = 0; tx < target.width(); ++tx) {
        const qint64 x = target.x() + tx;
        if (x >= 0 && x < displayWidth) srcX[size_t(tx)] = int(x * w / displayWidth);
    }
    for (int ty = 0; ty < target.height(); ++ty) {
        const qint64 y = target.y() + ty;
        if (y < 0 || y >= displayHeight) continue;
        const uchar* s = source.constScanLine(int(y * h / displayHeight));
        uchar* d = out.scanLine(ty);
        for (int tx = 0; tx < target.width(); ++tx) {
            const int sx = srcX[size_t(tx)];
            if (sx >= 0 && bitAt(s, sx)) setBit(d, tx);
        }
    }
    return out;
}

}  // namespace orv
