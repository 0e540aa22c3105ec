#include "engine/fax_text_line.h"

#include "images/fax_font.h"
#include "images/mh_encoder.h"

#include <QDateTime>
#include <QLocale>
#include <cstring>
#include <memory>
#include <vector>

namespace orv {

QString ExpandHeaderTags(const QString& text, const HeaderTagValues& v) {
    QString out;
    out.reserve(text.size() + 32);
    for (qsizetype i = 0; i < text.size();) {
        if (text[i] != QLatin1Char('$')) {
            out += text[i++];
            continue;
        }
        qsizetype end = i + 1;
        while (end < text.size() && text[end] != QLatin1Char(' ')) ++end;
        const QChar letter = i + 1 < text.size() ? text[i + 1].toUpper() : QChar();
        switch (letter.unicode()) {
        case 'D': out += v.date; break;
        case 'T': out += v.time; break;
        case 'F': out += v.sender; break;
        case 'R': out += v.recipient; break;
        case 'S': out += v.title; break;
        case 'I': out += v.stationId; break;
        case 'N': out += QString::number(v.totalPages); break;
        case 'P': out += QString::number(v.pageNumber); break;
        default: break;  // an unknown tag is removed
        }
        i = end;
    }
    return out;
}

void FillDateAndTime(HeaderTagValues& values) {
    const QDateTime now = QDateTime::currentDateTime();
    const QLocale locale;
    values.date = locale.toString(now.date(), QLocale::ShortFormat);
    values.time = locale.toString(now.time(), QLocale::LongFormat);
}

void AppendDleDoubled(QByteArray& out, const char* data, qsizetype size) {
    // Whole stretches between DLEs at a time: a coded row is a few dozen
    // bytes with a DLE now and then, and a header line is 16 to 32 rows.
    const char* p = data;
    const char* const end = data + size;
    while (p < end) {
        const auto* dle = static_cast<const char*>(std::memchr(p, '\x10', size_t(end - p)));
        const char* stop = dle ? dle + 1 : end;
        out.append(p, stop - p);
        if (dle) out.append('\x10');
        p = stop;
    }
}

namespace {

void appendRow(QByteArray& out, const uint8_t* coded, int len, int minScanBytes, qint64* counted) {
    AppendDleDoubled(out, reinterpret_cast<const char*>(coded), len);
    if (len < minScanBytes) out.append(QByteArray(minScanBytes - len, '\0'));
    if (counted) *counted += std::max(len, minScanBytes);
}

}  // namespace

QByteArray EncodeTextRows(const QByteArray& text, bool smallFont, bool fine, int lineWidth, int minScanBytes,
                          qint64* bytesCounted) {
    const QByteArray font = LoadFaxFont();
    const int cell = smallFont ? kSmallCellWidth : kStandardCellWidth;
    const int glyphRows = smallFont ? kSmallGlyphRows : kStandardGlyphRows;
    const int maxChars = std::max(0, (lineWidth - kTextLeftMargin) / cell);
    const QByteArray shown = text.left(maxChars);
    const MhEncoder encoder;
    // The raster holds one line and the 8 bytes the encoder reads past it;
    // the glyphs stay inside (the text is cut to the line). Only that much is
    // cleared per row: the coded buffer needs its full size but is written,
    // never read, before the encoder fills it.
    const size_t rasterBytes = size_t(std::max(lineWidth, 0) / 8 + 8);
    std::vector<uint8_t> raster(rasterBytes);
    const auto coded = std::make_unique_for_overwrite<uint8_t[]>(MhEncoder::kBufferSize);
    QByteArray out;
    out.reserve((fine ? 2 : 1) * glyphRows * 48);
    const uint32_t mask = ~0u << (24 - cell);
    // At fine resolution every glyph row is drawn twice: it is coded once and
    // its record sent twice.
    for (int glyphRow = 0; glyphRow < glyphRows; ++glyphRow) {
        std::memset(raster.data(), 0, rasterBytes);
        for (int i = 0; i < shown.size(); ++i) {
            const uint32_t bits = FaxGlyphRow(font, smallFont, uchar(shown[i]), glyphRow) & mask;
            if (!bits) continue;
            // The 24-bit glyph row at pixel x, spread over up to 4 bytes.
            const int x = i * cell;
            const uint64_t v = uint64_t(bits) << (40 - (x & 7));
            uint8_t* d = raster.data() + x / 8;
            for (int k = 0; k < 4; ++k) d[k] |= uint8_t(v >> (56 - 8 * k));
        }
        const int len = encoder.encodeLine(raster.data(), lineWidth, kTextLeftMargin, false, coded.get());
        appendRow(out, coded.get(), len, minScanBytes, bytesCounted);
        if (fine) appendRow(out, coded.get(), len, minScanBytes, bytesCounted);
    }
    return out;
}

QByteArray EncodeEndOfPage(int minScanBytes, qint64* bytesCounted) {
    uint8_t coded[16];
    const int len = MhEncoder::encodeEndOfPage(coded);
    QByteArray out;
    appendRow(out, coded, len, minScanBytes, bytesCounted);
    return out;
}

}  // namespace orv
