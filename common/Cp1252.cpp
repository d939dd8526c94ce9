#include "common/Cp1252.h"

#include <array>
#include <cstring>

namespace parvell::cp1252 {
namespace {

// Code points of the bytes 0x80..0x9F; the rest of the code page equals Latin-1.
constexpr std::array<char16_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

struct CaseTables {
    std::array<uint8_t, 256> upper{};
    std::array<uint8_t, 256> lower{};

    constexpr CaseTables() {
        for (int i = 0; i < 256; ++i) upper[i] = lower[i] = static_cast<uint8_t>(i);
        auto pair = [this](int up, int low) {
            upper[low] = static_cast<uint8_t>(up);
            lower[up] = static_cast<uint8_t>(low);
        };
        for (int c = 'A'; c <= 'Z'; ++c) pair(c, c + 32);
        for (int c = 0xC0; c <= 0xDE; ++c) {
            if (c != 0xD7) pair(c, c + 32);  // 0xD7 x and 0xF7 / are not letters
        }
        pair(0x8A, 0x9A);  // Š š
        pair(0x8C, 0x9C);  // Œ œ
        pair(0x8E, 0x9E);  // Ž ž
        pair(0x9F, 0xFF);  // Ÿ ÿ
    }
};

constexpr CaseTables kCase;

}  // namespace

char32_t Decode(unsigned char byte) {
    return byte >= 0x80 && byte < 0xA0 ? kHigh[byte - 0x80] : byte;
}

int Encode(char32_t codePoint) {
    if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF)) {
        return static_cast<int>(codePoint);
    }
    for (std::size_t i = 0; i < kHigh.size(); ++i) {
        if (kHigh[i] == codePoint) return static_cast<int>(0x80 + i);
    }
    return -1;
}

unsigned char Upper(unsigned char byte) {
    return kCase.upper[byte];
}
unsigned char Lower(unsigned char byte) {
    return kCase.lower[byte];
}

bool NextUtf8(std::string_view text, std::size_t& pos, char32_t& codePoint) {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const unsigned char lead = s[pos];
    if (lead < 0x80) {
        codePoint = lead;
        ++pos;
        return true;
    }
    // Length and the allowed range of the second byte by lead byte; the later bytes are always
    // 0x80..0xBF. The narrower second-byte ranges rule out overlong forms, surrogates and values
    // above U+10FFFF. 0x80..0xC1 and 0xF5..0xFF never start a sequence.
    std::size_t length;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        codePoint = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        codePoint = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        codePoint = lead & 0x07;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        ++pos;
        return false;
    }
    std::size_t k = 1;
    for (; k < length; ++k) {
        if (pos + k >= text.size()) break;
        const unsigned char next = s[pos + k];
        if (next < low || next > high) break;
        codePoint = (codePoint << 6) | (next & 0x3F);
        low = 0x80;
        high = 0xBF;
    }
    pos += k;
    return k == length;
}

void AppendUtf8(std::string& out, char32_t codePoint) {
    if (codePoint < 0x80) {
        out += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        out += static_cast<char>(0xC0 | (codePoint >> 6));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        out += static_cast<char>(0xE0 | (codePoint >> 12));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (codePoint >> 18));
        out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

bool IsValidUtf8(std::string_view text) {
    std::size_t pos = 0;
    char32_t codePoint;
    while (pos < text.size()) {
        if (!NextUtf8(text, pos, codePoint)) return false;
    }
    return true;
}

void AppendUtf8FromCp1252(std::string_view text, std::string& out) {
    out.reserve(out.size() + text.size());
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            out += c;
        } else {
            AppendUtf8(out, Decode(byte));
        }
    }
}

std::string Utf8FromCp1252(std::string_view text) {
    std::string out;
    AppendUtf8FromCp1252(text, out);
    return out;
}

std::size_t Cp1252FromUtf8(const char* utf8, std::size_t length, char* out, std::size_t capacity) {
    const auto* s = reinterpret_cast<const unsigned char*>(utf8);
    // ASCII, the usual text, is the same in both: the run before the first other byte is copied
    // as it is.
    std::size_t ascii = 0;
    const std::size_t limit = length < capacity ? length : capacity;
    while (ascii < limit && s[ascii] < 0x80) ++ascii;
    if (ascii > 0) std::memcpy(out, utf8, ascii);
    const std::string_view text(utf8, length);
    std::size_t pos = ascii;
    std::size_t n = ascii;
    char32_t codePoint;
    while (pos < length && n < capacity) {
        if (s[pos] < 0x80) {
            out[n++] = static_cast<char>(s[pos++]);
            continue;
        }
        out[n++] = NextUtf8(text, pos, codePoint) ? EncodeOrQuestion(codePoint) : '?';
    }
    return n;
}

std::string Cp1252FromUtf8(std::string_view utf8) {
    std::string out(utf8.size(), '\0');
    out.resize(Cp1252FromUtf8(utf8.data(), utf8.size(), out.data(), out.size()));
    return out;
}

}  // namespace parvell::cp1252
