#include "kce/Cp1252.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <cstdint>

namespace kce {
namespace {

// Code points of bytes 0x80..0x9F; the rest of the code page equals Latin-1.
constexpr std::array<uint16_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char ByteFor(uint32_t codePoint) {
    if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF)) return static_cast<char>(codePoint);
    for (size_t i = 0; i < kHigh.size(); ++i) {
        if (kHigh[i] == codePoint) return static_cast<char>(0x80 + i);
    }
    return '?';
}

}  // namespace

void AppendUtf8(std::string_view cp1252, std::string& out) {
    out.reserve(out.size() + cp1252.size());
    for (unsigned char c : cp1252) {
        uint32_t cp = c < 0x80 ? c : (c < 0xA0 ? kHigh[c - 0x80] : c);
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
}

std::string ToUtf8(std::string_view cp1252) {
    std::string out;
    AppendUtf8(cp1252, out);
    return out;
}

size_t FromUtf8(const char* utf8, size_t length, char* out, size_t capacity) {
    const auto* s = reinterpret_cast<const unsigned char*>(utf8);
    // ASCII, the usual text, is the same in both: the run before the first other byte is copied
    // as it is.
    size_t ascii = 0;
    const size_t limit = std::min(length, capacity);
    while (ascii < limit && s[ascii] < 0x80) ++ascii;
    if (ascii > 0) std::memcpy(out, utf8, ascii);
    size_t i = ascii;
    size_t n = ascii;
    while (i < length && n < capacity) {
        unsigned char c = s[i];
        if (c < 0x80) {
            out[n++] = static_cast<char>(c);
            ++i;
            continue;
        }
        int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : -1;
        if (extra < 0) {
            out[n++] = '?';
            ++i;
            continue;
        }
        uint32_t cp = c & (0x3F >> extra);
        bool ok = true;
        for (int k = 1; ok && k <= extra; ++k) {
            if (i + k >= length || (s[i + k] & 0xC0) != 0x80) {
                ok = false;
            } else {
                cp = (cp << 6) | (s[i + k] & 0x3F);
            }
        }
        if (!ok) {
            out[n++] = '?';
            ++i;
            continue;
        }
        out[n++] = ByteFor(cp);
        i += extra + 1;
    }
    return n;
}

std::string FromUtf8(std::string_view utf8) {
    std::string out(utf8.size(), '\0');
    out.resize(FromUtf8(utf8.data(), utf8.size(), out.data(), out.size()));
    return out;
}

}  // namespace kce
