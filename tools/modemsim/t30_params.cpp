#include "t30_params.h"

#include <cstdio>
#include <sstream>

namespace orv::modemsim {

namespace {

// FIF octet n (1-based) of a frame laid out as address, control, FCF, FIF.
int octet(const uint8_t* frame, int len, int n) { return 2 + n < len ? frame[2 + n] : 0; }

int scanTimeCode(int bits) {
    switch (bits & 0x70) {
    case 0x70: return 0;  // 0 ms
    case 0x10: return 1;  // 5 ms
    case 0x20: return 3;  // 10 ms
    case 0x40: return 7;  // 40 ms
    default: return 5;    // 20 ms
    }
}

}  // namespace

std::string Class2Params::text() const {
    std::ostringstream s;
    for (size_t i = 0; i < v.size(); ++i) s << (i ? "," : "") << v[i];
    return s.str();
}

bool Class2Params::parse(const std::string& s) {
    static const int maxima[8] = {1, 5, 2, 2, 1, 2, 1, 7};
    std::array<int, 8> n = v;
    size_t i = 0, pos = 0;
    while (pos <= s.size() && i < n.size()) {
        size_t comma = s.find(',', pos);
        std::string f = s.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
        if (!f.empty()) {
            for (char c : f)
                if (c < '0' || c > '9') return false;
            if (f.size() > 3) return false;
            int x = std::stoi(f);
            if (x > maxima[i]) return false;
            n[i] = x;
        }
        ++i;
        if (comma == std::string::npos) break;
        pos = comma + 1;
    }
    v = n;
    return true;
}

Class2Params decodeDis(const uint8_t* frame, int len) {
    Class2Params p;
    int o2 = octet(frame, len, 2), o3 = octet(frame, len, 3), o4 = octet(frame, len, 4);
    p.v[0] = (o2 & 0x40) ? 1 : 0;
    switch (o2 & 0x3C) {
    case 0x2C: p.v[1] = 5; break;          // V.17, V.29, V.27ter
    case 0x0C: case 0x04: p.v[1] = 3; break;  // V.29
    case 0x08: p.v[1] = 1; break;          // V.27ter 4800
    default: p.v[1] = 0; break;
    }
    p.v[2] = (o3 & 0x02) ? 2 : (o3 & 0x01) ? 1 : 0;
    p.v[3] = (o3 & 0x08) ? 2 : (o3 & 0x04) ? 1 : 0;
    p.v[4] = (o2 & 0x80) ? 1 : 0;
    p.v[5] = (o4 & 0x04) ? 1 : 0;
    p.v[6] = 0;
    p.v[7] = scanTimeCode(o3);
    return p;
}

Class2Params decodeDcs(const uint8_t* frame, int len) {
    Class2Params p = decodeDis(frame, len);
    int o2 = octet(frame, len, 2);
    switch (o2 & 0x3C) {
    case 0x00: p.v[1] = 0; break;
    case 0x08: p.v[1] = 1; break;
    case 0x0C: case 0x2C: p.v[1] = 2; break;
    case 0x04: case 0x24: p.v[1] = 3; break;
    case 0x28: p.v[1] = 4; break;
    case 0x20: p.v[1] = 5; break;
    default: p.v[1] = 3; break;
    }
    return p;
}

void applyCapabilities(t30_state_t* t30, const Class2Params& caps) {
    int modems = T30_SUPPORT_V27TER;
    if (caps.br() >= 2) modems |= T30_SUPPORT_V29;
    if (caps.br() >= 4) modems |= T30_SUPPORT_V17;
    t30_set_supported_modems(t30, modems);
    int res = T30_SUPPORT_STANDARD_RESOLUTION | T30_SUPPORT_R8_RESOLUTION;
    if (caps.vr() >= 1) res |= T30_SUPPORT_FINE_RESOLUTION;
    t30_set_supported_resolutions(t30, res);
    int sizes = T30_SUPPORT_215MM_WIDTH | T30_SUPPORT_A4_LENGTH | T30_SUPPORT_B4_LENGTH |
                T30_SUPPORT_UNLIMITED_LENGTH;
    if (caps.wd() >= 1) sizes |= T30_SUPPORT_255MM_WIDTH;
    if (caps.wd() >= 2) sizes |= T30_SUPPORT_303MM_WIDTH;
    t30_set_supported_image_sizes(t30, sizes);
    int comp = T30_SUPPORT_T4_1D_COMPRESSION;
    if (caps.df() >= 1) comp |= T30_SUPPORT_T4_2D_COMPRESSION;
    t30_set_supported_compressions(t30, comp);
    t30_set_ecm_capability(t30, false);
    static const int scanMs[8] = {0, 5, 10, 10, 20, 20, 40, 40};
    t30_set_minimum_scan_line_time(t30, scanMs[caps.st() & 7]);
}

int hangupCode(int status) {
    switch (status) {
    case T30_ERR_OK: return 0;
    case T30_ERR_CEDTONE: case T30_ERR_T0_EXPIRED: case T30_ERR_T1_EXPIRED: return 11;
    case T30_ERR_T3_EXPIRED: return 10;
    case T30_ERR_HDLC_CARRIER: case T30_ERR_CANNOT_TRAIN: return 27;
    case T30_ERR_OPER_INT_FAIL: return 58;
    case T30_ERR_INCOMPATIBLE: case T30_ERR_RX_INCAPABLE: case T30_ERR_TX_INCAPABLE: return 21;
    case T30_ERR_RX_NOCARRIER: return 73;
    case T30_ERR_RX_T2EXPMPS: case T30_ERR_RX_T2EXPDCN: case T30_ERR_RX_T2EXPD: case T30_ERR_RX_T2EXPFAX:
        return 73;
    case T30_ERR_TX_PHBDEAD: case T30_ERR_TX_PHDDEAD: return 52;
    case T30_ERR_TX_BADPG: case T30_ERR_TX_INVALRSP: return 53;
    case T30_ERR_TX_T5EXP: return 50;
    case T30_ERR_RX_DCNWHY: case T30_ERR_RX_DCNDATA: case T30_ERR_RX_DCNFAX: case T30_ERR_RX_DCNPHD:
    case T30_ERR_RX_DCNRRD: case T30_ERR_RX_DCNNORTN:
        return 70;
    case T30_ERR_CALLDROPPED: return 3;
    case T30_ERR_RETRYDCN: return 2;
    default: return 90;
    }
}

int bitRate(int br) {
    static const int rates[6] = {2400, 4800, 7200, 9600, 12000, 14400};
    return br >= 0 && br < 6 ? rates[br] : 9600;
}

uint8_t reverseBits(uint8_t b) {
    b = static_cast<uint8_t>((b & 0xF0) >> 4 | (b & 0x0F) << 4);
    b = static_cast<uint8_t>((b & 0xCC) >> 2 | (b & 0x33) << 2);
    b = static_cast<uint8_t>((b & 0xAA) >> 1 | (b & 0x55) << 1);
    return b;
}

}  // namespace orv::modemsim
