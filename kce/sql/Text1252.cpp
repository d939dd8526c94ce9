#include "kce/sql/Text1252.h"

#include <cstdint>

namespace kce::sql {
namespace {

// Unicode code points of bytes 0x80 to 0x9F.
constexpr char32_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char32_t CodePoint(unsigned char c) { return c >= 0x80 && c < 0xA0 ? kHigh[c - 0x80] : c; }

int ByteOf(char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
    for (int i = 0; i < 32; ++i) {
        if (kHigh[i] == cp) return 0x80 + i;
    }
    return -1;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Decodes one UTF-8 character at text[i], advancing i; a malformed byte is taken as itself.
char32_t DecodeUtf8(std::string_view text, size_t& i) {
    const unsigned char c = text[i];
    const size_t extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    if (extra == 0 || i + extra >= text.size()) {
        ++i;
        return c;
    }
    char32_t cp = c & (0x3F >> extra);
    for (size_t k = 1; k <= extra; ++k) {
        const unsigned char next = text[i + k];
        if ((next & 0xC0) != 0x80) {
            ++i;
            return c;
        }
        cp = (cp << 6) | (next & 0x3F);
    }
    i += extra + 1;
    return cp;
}

template <typename Map>
std::string MapUtf8(std::string_view text, Map map) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const char32_t cp = DecodeUtf8(text, i);
        const int byte = ByteOf(cp);
        AppendUtf8(out, byte < 0 ? cp : CodePoint(map(static_cast<unsigned char>(byte))));
    }
    return out;
}

}  // namespace

std::string Utf8FromCp1252(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 4);
    for (char c : text) AppendUtf8(out, CodePoint(static_cast<unsigned char>(c)));
    return out;
}

std::string Cp1252FromUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const int byte = ByteOf(DecodeUtf8(text, i));
        out += byte < 0 ? '?' : static_cast<char>(byte);
    }
    return out;
}

unsigned char UpperCp1252(unsigned char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 0x20;
    switch (c) {
        case 0x9A: return 0x8A;
        case 0x9C: return 0x8C;
        case 0x9E: return 0x8E;
        case 0xFF: return 0x9F;
        default: return c;
    }
}

unsigned char LowerCp1252(unsigned char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 0x20;
    switch (c) {
        case 0x8A: return 0x9A;
        case 0x8C: return 0x9C;
        case 0x8E: return 0x9E;
        case 0x9F: return 0xFF;
        default: return c;
    }
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (UpperCp1252(a[i]) != UpperCp1252(b[i])) return false;
    }
    return true;
}

std::string UpperUtf8(std::string_view text) { return MapUtf8(text, UpperCp1252); }
std::string LowerUtf8(std::string_view text) { return MapUtf8(text, LowerCp1252); }

size_t Utf8Length(std::string_view text) {
    size_t count = 0;
    for (size_t i = 0; i < text.size();) {
        DecodeUtf8(text, i);
        ++count;
    }
    return count;
}

}  // namespace kce::sql
