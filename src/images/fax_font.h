#pragma once
// The built-in fax font (resource "FAXFONT", 16384 bytes): the small font,
// 256 glyphs of 8 rows x 2 bytes, then the standard font, 256 glyphs of
// 16 rows x 3 bytes; each row most significant bit leftmost, 1 = black; glyph
// index = Windows-1252 byte. tools/faxfont/make_faxfont.py makes it.
#include <QByteArray>

#include <cstdint>

namespace orv {

constexpr int kFaxFontSize = 16384;
constexpr int kSmallCellWidth = 12, kSmallGlyphRows = 8;
constexpr int kStandardCellWidth = 20, kStandardGlyphRows = 16;

// The resource's bytes; empty when the resource is missing or not 16384 bytes.
QByteArray LoadFaxFont();

// Glyph row `row` of character `ch`, left-aligned in the low 24 bits (bit 23
// is the leftmost pixel). Only the cell width's leftmost bits are meaningful.
// Inline: text lines are drawn one glyph row at a time, so this runs for
// every character of every raster row.
inline uint32_t FaxGlyphRow(const QByteArray& font, bool small, unsigned char ch, int row) {
    if (font.size() != kFaxFontSize) return 0;
    const auto* p = reinterpret_cast<const uint8_t*>(font.constData());
    if (small) {
        const uint8_t* g = p + ch * 16 + row * 2;
        return (uint32_t(g[0]) << 16) | (uint32_t(g[1]) << 8);
    }
    const uint8_t* g = p + 4096 + ch * 48 + row * 3;
    return (uint32_t(g[0]) << 16) | (uint32_t(g[1]) << 8) | g[2];
}

}  // namespace orv
