#include "images/mono_bitmap.h"

#include "common/orv_error.h"
#include "images/apf_file.h"

#include <QFile>
#include <cstring>

namespace orv {

const TDitherMatrix& DitherMatrix() {
    static const TDitherMatrix m = [] {
        TDitherMatrix t{};
        for (unsigned i0 = 0; i0 < 16; ++i0) {
            for (unsigned j0 = 0; j0 < 16; ++j0) {
                unsigned i = i0, j = j0, v = 0;
                for (int k = 0; k < 4; ++k) {
                    v = (v << 1) | (((i ^ j) & 1u) << 1) | (j & 1u);
                    i >>= 1;
                    j >>= 1;
                }
                t[i0][j0] = uint8_t(v * 4);
            }
        }
        return t;
    }();
    return m;
}

QImage ToMonoBitmap(const QImage& image) {
    if (image.isNull()) return {};
    QImage out(image.size(), QImage::Format_Mono);
    if (out.isNull()) return {};
    out.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    out.setDotsPerMeterX(image.dotsPerMeterX());
    out.setDotsPerMeterY(image.dotsPerMeterY());
    const int w = image.width(), h = image.height();
    if (image.depth() == 1) {
        const QImage src = image.convertToFormat(QImage::Format_Mono);
        const QList<QRgb> colours = src.colorTable();
        auto isWhite = [&](int index) {
            if (index >= colours.size()) return index == 1;
            const QRgb c = colours[index];
            return qAlpha(c) < 128 || qGray(c) >= 128;
        };
        const bool white0 = isWhite(0), white1 = isWhite(1);
        for (int y = 0; y < h; ++y) {
            const uchar* s = src.constScanLine(y);
            uchar* d = out.scanLine(y);
            const int bytes = out.bytesPerLine();
            for (int i = 0; i < bytes; ++i) {
                const uchar b = s[i];
                d[i] = uchar((white1 ? b : 0) | (white0 ? ~b : 0));
            }
        }
        return out;
    }
    const QImage src = image.convertToFormat(QImage::Format_ARGB32);
    const TDitherMatrix& m = DitherMatrix();
    for (int y = 0; y < h; ++y) {
        const QRgb* s = reinterpret_cast<const QRgb*>(src.constScanLine(y));
        uchar* d = out.scanLine(y);
        std::memset(d, 0, size_t(out.bytesPerLine()));
        for (int x = 0; x < w; ++x) {
            const QRgb c = s[x];
            const int lum = qAlpha(c) < 128 ? 255 : (qRed(c) + qGreen(c) + qBlue(c)) / 3;
            if (lum > m[size_t(x % 16)][size_t(y % 16)]) d[x >> 3] |= uchar(0x80 >> (x & 7));
        }
    }
    return out;
}

QByteArray MonoBmpBytes(const QImage& image) {
    const QImage mono = ToMonoBitmap(image);
    if (mono.isNull()) return {};
    const int w = mono.width(), h = mono.height();
    const int rowBytes = (w + 7) / 8;
    const int stride = (rowBytes + 3) / 4 * 4;
    const int offBits = 14 + 40 + 8;
    QByteArray b(offBits + qsizetype(stride) * h, '\0');
    char* p = b.data();
    auto u16 = [](char* q, uint32_t v) { q[0] = char(v); q[1] = char(v >> 8); };
    auto u32 = [](char* q, uint32_t v) { for (int i = 0; i < 4; ++i) q[i] = char(v >> (8 * i)); };
    p[0] = 'B';
    p[1] = 'M';
    u32(p + 2, uint32_t(b.size()));
    u32(p + 10, offBits);
    u32(p + 14, 40);
    u32(p + 18, uint32_t(w));
    u32(p + 22, uint32_t(h));
    u16(p + 26, 1);
    u16(p + 28, 1);
    u32(p + 34, uint32_t(stride * h));
    const int dpm = mono.dotsPerMeterX() > 0 ? mono.dotsPerMeterX() : 7874;  // 200 dpi
    u32(p + 38, uint32_t(dpm));
    u32(p + 42, uint32_t(mono.dotsPerMeterY() > 0 ? mono.dotsPerMeterY() : dpm));
    u32(p + 46, 2);
    u32(p + 50, 2);
    u32(p + 58, 0x00FFFFFF);  // palette: 0 black, 1 white
    for (int y = 0; y < h; ++y) {
        char* row = p + offBits + qsizetype(stride) * (h - 1 - y);
        std::memcpy(row, mono.constScanLine(y), size_t(rowBytes));
        // Bits past the image width are white, as Windows writes them.
        if (w % 8) row[rowBytes - 1] = char(uchar(row[rowBytes - 1]) | (0xFF >> (w % 8)));
    }
    return b;
}

int WriteMonoBmp(const QImage& image, const QString& fileName) {
    const QByteArray bytes = MonoBmpBytes(image);
    if (bytes.isEmpty()) return ecBadArgument;
    QFile f(fileName);
    if (fileName.isEmpty()) return ecFileNotFound;
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return FileErrorCode(f, ecAccessDenied);
    if (f.write(bytes) != bytes.size() || !f.flush()) {
        const int rc = FileErrorCode(f, ecDiskWrite);
        f.close();
        f.remove();
        return rc;
    }
    return ecOK;
}

}  // namespace orv
