#include "settings/CodePage.h"

namespace parvell::store {
namespace {

// Code points of the bytes 0x80..0x9F; the rest of the code page equals Latin-1.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// Decodes one UTF-8 sequence at `pos`; returns false (and advances one byte) when malformed.
bool NextUtf8(std::string_view text, size_t& pos, char32_t& codePoint) {
    auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
    uint8_t lead = byte(pos);
    size_t length;
    char32_t minimum;
    if (lead < 0x80) {
        codePoint = lead;
        ++pos;
        return true;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2;
        codePoint = lead & 0x1F;
        minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        codePoint = lead & 0x0F;
        minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        codePoint = lead & 0x07;
        minimum = 0x10000;
    } else {
        ++pos;
        return false;
    }
    if (pos + length > text.size()) {
        ++pos;
        return false;
    }
    for (size_t i = 1; i < length; ++i) {
        uint8_t next = byte(pos + i);
        if ((next & 0xC0) != 0x80) {
            ++pos;
            return false;
        }
        codePoint = (codePoint << 6) | (next & 0x3F);
    }
    if (codePoint < minimum || codePoint > 0x10FFFF ||
        (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
        ++pos;
        return false;
    }
    pos += length;
    return true;
}

}  // namespace

char32_t UnicodeFromCp1252(uint8_t byte) {
    if (byte >= 0x80 && byte <= 0x9F) return kHighControls[byte - 0x80];
    return byte;
}

char Cp1252FromUnicode(char32_t codePoint) {
    if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF)) {
        return static_cast<char>(codePoint);
    }
    for (int i = 0; i < 32; ++i) {
        if (kHighControls[i] == codePoint) return static_cast<char>(0x80 + i);
    }
    return '?';
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
    size_t pos = 0;
    char32_t codePoint;
    while (pos < text.size()) {
        if (!NextUtf8(text, pos, codePoint)) return false;
    }
    return true;
}

std::string Utf8FromCp1252(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) AppendUtf8(out, UnicodeFromCp1252(static_cast<uint8_t>(c)));
    return out;
}

std::string Cp1252FromUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    size_t pos = 0;
    char32_t codePoint;
    while (pos < text.size()) {
        out += NextUtf8(text, pos, codePoint) ? Cp1252FromUnicode(codePoint) : '?';
    }
    return out;
}

std::string Utf8FromUtf16Le(const uint8_t* data, size_t size) {
    std::string out;
    out.reserve(size);
    size_t units = size / 2;
    auto unit = [&](size_t i) {
        return static_cast<char32_t>(data[2 * i] | (data[2 * i + 1] << 8));
    };
    for (size_t i = 0; i < units; ++i) {
        char32_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units) {
            char32_t low = unit(i + 1);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        if (u >= 0xD800 && u <= 0xDFFF) u = 0xFFFD;
        AppendUtf8(out, u);
    }
    return out;
}

std::vector<uint8_t> Utf16LeFromUtf8(std::string_view text) {
    std::vector<uint8_t> out;
    out.reserve(text.size() * 2);
    auto put = [&](char32_t u) {
        out.push_back(static_cast<uint8_t>(u & 0xFF));
        out.push_back(static_cast<uint8_t>(u >> 8));
    };
    size_t pos = 0;
    char32_t codePoint;
    while (pos < text.size()) {
        if (!NextUtf8(text, pos, codePoint)) codePoint = 0xFFFD;
        if (codePoint >= 0x10000) {
            codePoint -= 0x10000;
            put(0xD800 + (codePoint >> 10));
            put(0xDC00 + (codePoint & 0x3FF));
        } else {
            put(codePoint);
        }
    }
    return out;
}

}  // namespace parvell::store
