#pragma once
// The one-dimensional Modified Huffman code tables of ITU-T T.4, shared by the
// encoder and the decoder. Codes are given as the standard writes them: `bits`
// holds the code with its first bit most significant, `length` bits long.
#include <cstdint>

namespace orv::mh {

struct Code {
    uint16_t bits;
    uint8_t length;
};

// Terminating codes for runs 0..63.
extern const Code kWhiteTerminating[64];
extern const Code kBlackTerminating[64];
// Make-up codes for runs (index + 1) * 64, 64..2560; entries 27..39 (1792..2560)
// are the extended make-up codes both colours share.
extern const Code kWhiteMakeUp[40];
extern const Code kBlackMakeUp[40];
// End of line: eleven 0 bits and a 1.
inline constexpr Code kEol{0x001, 12};

// `length` low bits of `bits` in reverse order, so a code can be appended
// first bit first into a stream that fills each byte from bit 0.
constexpr uint32_t reverseBits(uint32_t bits, int length) {
    uint32_t r = 0;
    for (int i = 0; i < length; ++i) r |= ((bits >> i) & 1u) << (length - 1 - i);
    return r;
}

}  // namespace orv::mh
