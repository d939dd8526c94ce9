#include "data/TextCase.h"

#include <algorithm>
#include <cstdint>

#include "common/Cp1252.h"

namespace parvell {
namespace {

inline uint8_t Upper(char c) {
    return cp1252::Upper(static_cast<uint8_t>(c));
}

}  // namespace

char AnsiUpperChar(char c) {
    return static_cast<char>(Upper(c));
}
char AnsiLowerChar(char c) {
    return static_cast<char>(cp1252::Lower(static_cast<uint8_t>(c)));
}

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
        const int ca = Upper(a[i]);
        const int cb = Upper(b[i]);
        if (ca != cb) return ca - cb;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool AnsiSameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (Upper(a[i]) != Upper(b[i])) return false;
    }
    return true;
}

char16_t AnsiCharToWide(char c) {
    return static_cast<char16_t>(cp1252::Decode(static_cast<uint8_t>(c)));
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
    for (char16_t w : text) result.push_back(cp1252::EncodeOrQuestion(w));
    return result;
}

}  // namespace parvell
