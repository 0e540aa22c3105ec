#pragma once
// T.4 one-dimensional Modified Huffman encoder: codes one raster line (one bit
// per pixel, most significant bit leftmost, 1 = black) into the data of one
// APF line record. No allocation per line; the caller owns the buffers.
#include <cstdint>

namespace orv {

class MhEncoder {
public:
    // Output buffers of encodeLine and encodeBlankLine must hold at least this
    // many bytes (the longest coded 2048-pixel line is about 1200 bytes); the
    // bytes after the returned record may be overwritten with scratch.
    static constexpr int kBufferSize = 4096;

    MhEncoder();

    // Codes a line of `width` pixels (1728 or 2048): 4 fill bits and EOL, then a
    // white run of leftMargin pixels and a black run of 0 when the margin is not
    // 0, then the first (width - leftMargin) raster pixels; with doubleWidth each
    // raster pixel becomes two and the line is trimmed to the page width. An
    // all-white raster becomes one white run of the full width. Returns the record
    // length: the coded bytes and one further 0 byte. `raster` must be readable
    // for 8 bytes beyond width / 8.
    int encodeLine(const uint8_t* raster, int width, int leftMargin, bool doubleWidth, uint8_t* out) const;

    // A blank line of a top margin: EOL without fill bits and one white run of
    // the full width, padded to whole bytes (4 bytes for 1728, 5 for 2048).
    int encodeBlankLine(int width, uint8_t* out) const;

    // The record that ends a page: EOL with 4 fill bits, six more EOLs and eight
    // 0 bits (12 bytes).
    static int encodeEndOfPage(uint8_t* out);

    struct RevCode {
        uint32_t bits;  // code bits in stream order (first bit in bit 0)
        uint32_t length;
    };

private:
    const RevCode* whiteTerm_;
    const RevCode* blackTerm_;
    const RevCode* whiteMakeUp_;
    const RevCode* blackMakeUp_;
};

}  // namespace orv
