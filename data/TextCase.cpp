#include "data/TextCase.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace parvell {
namespace {

// Unicode code points of 0x80..0x9F; the undefined positions keep their own value.
constexpr std::array<char16_t, 32> kHighControls = {
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

inline uint8_t Byte(char c) { return static_cast<uint8_t>(c); }

}  // namespace

char AnsiUpperChar(char c) { return static_cast<char>(kCase.upper[Byte(c)]); }
char AnsiLowerChar(char c) { return static_cast<char>(kCase.lower[Byte(c)]); }

std::string AnsiUpperCase(std::string_view text) {
    std::string result(text);
    for (char& c : result) c = AnsiUpperChar(c);
    return result;
}

std::string AnsiLowerCase(std::string_view text) {
    std::string result(text);
    for (char& c : result) c = AnsiLowerChar(c);
    return result;
}

int AnsiCompareText(std::string_view a, std::string_view b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const int ca = kCase.upper[Byte(a[i])];
        const int cb = kCase.upper[Byte(b[i])];
        if (ca != cb) return ca - cb;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool AnsiSameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (kCase.upper[Byte(a[i])] != kCase.upper[Byte(b[i])]) return false;
    }
    return true;
}

char16_t AnsiCharToWide(char c) {
    const uint8_t b = Byte(c);
    if (b >= 0x80 && b <= 0x9F) return kHighControls[b - 0x80];
    return b;
}

std::u16string AnsiToWide(std::string_view text) {
    std::u16string result;
    result.reserve(text.size());
    for (char c : text) result.push_back(AnsiCharToWide(c));
    return result;
}

std::string WideToAnsi(std::u16string_view text) {
    std::string result;
    result.reserve(text.size());
    for (char16_t w : text) {
        if (w < 0x80 || (w >= 0xA0 && w <= 0xFF)) {
            result.push_back(static_cast<char>(w));
            continue;
        }
        const auto* found = std::find(kHighControls.begin(), kHighControls.end(), w);
        result.push_back(found == kHighControls.end()
                             ? '?'
                             : static_cast<char>(0x80 + (found - kHighControls.begin())));
    }
    return result;
}

}  // namespace parvell
