#pragma once
// Little- and big-endian integer access on byte buffers (the table file is little-endian, the
// FoxPro memo file big-endian). Internal to the dBase-format layer.

#include <cstdint>
#include <cstring>
#include <string>

namespace kce::dbf {

inline uint16_t GetLe16(const char* p) {
    auto u = reinterpret_cast<const unsigned char*>(p);
    return static_cast<uint16_t>(u[0] | (u[1] << 8));
}
inline uint32_t GetLe32(const char* p) {
    auto u = reinterpret_cast<const unsigned char*>(p);
    return static_cast<uint32_t>(u[0]) | (static_cast<uint32_t>(u[1]) << 8) |
           (static_cast<uint32_t>(u[2]) << 16) | (static_cast<uint32_t>(u[3]) << 24);
}
inline uint64_t GetLe64(const char* p) {
    return static_cast<uint64_t>(GetLe32(p)) | (static_cast<uint64_t>(GetLe32(p + 4)) << 32);
}
inline uint32_t GetBe32(const char* p) {
    auto u = reinterpret_cast<const unsigned char*>(p);
    return (static_cast<uint32_t>(u[0]) << 24) | (static_cast<uint32_t>(u[1]) << 16) |
           (static_cast<uint32_t>(u[2]) << 8) | static_cast<uint32_t>(u[3]);
}
inline uint16_t GetBe16(const char* p) {
    auto u = reinterpret_cast<const unsigned char*>(p);
    return static_cast<uint16_t>((u[0] << 8) | u[1]);
}

inline void PutLe16(char* p, uint16_t v) {
    p[0] = static_cast<char>(v & 0xFF);
    p[1] = static_cast<char>(v >> 8);
}
inline void PutLe32(char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}
inline void PutLe64(char* p, uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}
inline void PutBe32(char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<char>((v >> (8 * (3 - i))) & 0xFF);
}
inline void PutBe16(char* p, uint16_t v) {
    p[0] = static_cast<char>(v >> 8);
    p[1] = static_cast<char>(v & 0xFF);
}

inline std::string Hex2(unsigned v) {
    const char* digits = "0123456789ABCDEF";
    std::string s = "0x";
    s += digits[(v >> 4) & 0xF];
    s += digits[v & 0xF];
    return s;
}

}  // namespace kce::dbf
