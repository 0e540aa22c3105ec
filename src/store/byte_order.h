#pragma once
// Little- and big-endian integers inside file buffers (DBF and CDX headers
// are little-endian; FPT headers and CDX interior pointers big-endian).
#include <cstdint>

namespace orv {

inline uint32_t ReadLe32(const char* p) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return uint32_t(u[0]) | uint32_t(u[1]) << 8 | uint32_t(u[2]) << 16 | uint32_t(u[3]) << 24;
}
inline uint16_t ReadLe16(const char* p) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return uint16_t(u[0] | u[1] << 8);
}
inline uint32_t ReadBe32(const char* p) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return uint32_t(u[0]) << 24 | uint32_t(u[1]) << 16 | uint32_t(u[2]) << 8 | uint32_t(u[3]);
}
inline void WriteLe32(char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = char((v >> (8 * i)) & 0xFF);
}
inline void WriteLe16(char* p, uint16_t v) {
    p[0] = char(v & 0xFF);
    p[1] = char(v >> 8);
}
inline void WriteBe32(char* p, uint32_t v) {
    p[0] = char(v >> 24);
    p[1] = char(v >> 16);
    p[2] = char(v >> 8);
    p[3] = char(v);
}

}  // namespace orv
