#include "common/NumberText.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace parvell {
namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

bool StartsNoCase(std::string_view text, std::string_view word) {
    if (text.size() < word.size()) return false;
    for (size_t i = 0; i < word.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != word[i]) return false;
    }
    return true;
}

}  // namespace

double ReadDouble(std::string_view text, size_t* consumed) {
    size_t i = 0;
    while (i < text.size() && IsSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    const std::string_view rest = text.substr(i);
    double value = 0;
    size_t used = 0;
    if (StartsNoCase(rest, "infinity") || StartsNoCase(rest, "inf")) {
        value = std::numeric_limits<double>::infinity();
        used = StartsNoCase(rest, "infinity") ? 8 : 3;
    } else if (StartsNoCase(rest, "nan")) {
        value = std::numeric_limits<double>::quiet_NaN();
        used = 3;
    } else {
        const bool hex = rest.size() > 2 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X');
        const char* begin = rest.data() + (hex ? 2 : 0);
        const auto result =
            std::from_chars(begin, rest.data() + rest.size(), value,
                            hex ? std::chars_format::hex : std::chars_format::general);
        if (result.ec == std::errc::result_out_of_range) {
            // strtod's answer: an infinity for a number too large, zero for one too small.
            const std::string_view number(begin, static_cast<size_t>(result.ptr - begin));
            const size_t exponent = number.find_first_of(hex ? "pP" : "eE");
            const bool tiny = exponent != std::string_view::npos && exponent + 1 < number.size() &&
                              number[exponent + 1] == '-';
            value = tiny ? 0.0 : std::numeric_limits<double>::infinity();
        } else if (result.ec != std::errc()) {
            if (hex) {  // "0x" with no hexadecimal digit after it: strtod reads the 0
                value = 0;
                used = 1;
            }
            if (consumed) *consumed = used == 0 ? 0 : i + used;
            return negative ? -value : value;
        }
        used = static_cast<size_t>(result.ptr - rest.data());
    }
    if (consumed) *consumed = i + used;
    return negative ? -value : value;
}

std::optional<double> WholeFiniteDouble(std::string_view text) {
    size_t consumed = 0;
    const double value = ReadDouble(text, &consumed);
    if (consumed == 0) return std::nullopt;
    while (consumed < text.size() && IsSpace(text[consumed])) ++consumed;
    if (consumed != text.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

}  // namespace parvell
