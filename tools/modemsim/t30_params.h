#pragma once
// Class 2 session parameters (VR,BR,WD,LN,DF,EC,BF,ST) and their T.30 forms:
// decoding DIS and DCS frames for the +FDIS/+FCS reports, and turning the
// host's capabilities into spandsp T.30 settings.
#include <array>
#include <cstdint>
#include <string>

#include "spandsp_access.h"

namespace orv::modemsim {

struct Class2Params {
    // vertical resolution (0 normal, 1 fine), bit rate (0 2400 .. 5 14400),
    // width (0 1728, 1 2048, 2 2432), length (0 A4, 1 B4, 2 unlimited),
    // data format (0 MH, 1 MR), ECM, binary file transfer, scan time code.
    std::array<int, 8> v{1, 5, 0, 2, 0, 0, 0, 0};
    int& vr() { return v[0]; }
    int& br() { return v[1]; }
    int& wd() { return v[2]; }
    int& df() { return v[4]; }
    int& st() { return v[7]; }
    int vr() const { return v[0]; }
    int br() const { return v[1]; }
    int wd() const { return v[2]; }
    int df() const { return v[4]; }
    int st() const { return v[7]; }

    std::string text() const;  // "1,5,0,2,0,0,0,0"
    // Parses "vr,br,wd,..." (missing fields keep their value); false on bad input.
    bool parse(const std::string& s);
};

// DIS/DTC as seen by a Class 2 modem: the remote's capabilities.
Class2Params decodeDis(const uint8_t* frame, int len);
// DCS: the session parameters (frame = address, control, FCF, FIF...).
Class2Params decodeDcs(const uint8_t* frame, int len);

// Applies the host's capabilities to a spandsp T.30 engine.
void applyCapabilities(t30_state_t* t30, const Class2Params& caps);

// Class 2 hang-up status code for a spandsp T.30 completion code.
int hangupCode(int t30Status);

// Bit rate in bit/s for a Class 2 BR code.
int bitRate(int br);

// Reverses the bit order of a byte (bit 0 becomes bit 7).
uint8_t reverseBits(uint8_t b);

}  // namespace orv::modemsim
