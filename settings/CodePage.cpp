#include "settings/CodePage.h"

#include "common/Cp1252.h"

namespace parvell::store {

char32_t UnicodeFromCp1252(uint8_t byte) {
    return cp1252::Decode(byte);
}

char Cp1252FromUnicode(char32_t codePoint) {
    return cp1252::EncodeOrQuestion(codePoint);
}

void AppendUtf8(std::string& out, char32_t codePoint) {
    cp1252::AppendUtf8(out, codePoint);
}

bool IsValidUtf8(std::string_view text) {
    return cp1252::IsValidUtf8(text);
}

std::string Utf8FromCp1252(std::string_view text) {
    return cp1252::Utf8FromCp1252(text);
}

std::string Cp1252FromUtf8(std::string_view text) {
    return cp1252::Cp1252FromUtf8(text);
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
        if (!cp1252::NextUtf8(text, pos, codePoint)) codePoint = 0xFFFD;
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
