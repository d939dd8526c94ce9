#include "data/TextToValue.h"

#include <cctype>
#include <charconv>
#include <string>

#include "common/Calendar.h"
#include "common/Exceptions.h"
#include "common/Text.h"
#include "data/TextCase.h"

namespace parvell {
namespace {

std::string_view Trim(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads an unsigned run of at most maxDigits digits at pos; false when there is none.
bool ReadNumber(std::string_view text, size_t& pos, int maxDigits, int* value) {
    int digits = 0;
    int result = 0;
    while (pos < text.size() && IsDigit(text[pos]) && digits < maxDigits) {
        result = result * 10 + (text[pos] - '0');
        ++pos;
        ++digits;
    }
    *value = result;
    return digits > 0;
}

bool IsDateSeparator(char c) {
    return c == '/' || c == '-' || c == '.' ||
           (LocaleFormats.DateSepChar != '\0' && c == LocaleFormats.DateSepChar);
}

// The order of day, month and year in the short date pattern, as letters "d", "m", "y".
std::string DateOrder() {
    std::string order;
    for (char c : LocaleFormats.ShortDatePattern) {
        const char lower = AnsiLowerChar(c);
        if ((lower == 'd' || lower == 'm' || lower == 'y') &&
            order.find(lower) == std::string::npos) {
            order.push_back(lower);
        }
    }
    return order.size() == 3 ? order : "mdy";
}

bool ParseDate(std::string_view text, TDateTime* result) {
    int parts[3] = {};
    int digits[3] = {};
    size_t pos = 0;
    for (int i = 0; i < 3; ++i) {
        const size_t start = pos;
        if (!ReadNumber(text, pos, 4, &parts[i])) return false;
        digits[i] = static_cast<int>(pos - start);
        if (i < 2) {
            if (pos >= text.size() || !IsDateSeparator(text[pos])) return false;
            ++pos;
        }
    }
    if (pos != text.size()) return false;
    int day = 0, month = 0, year = 0, yearDigits = 0;
    const std::string order = DateOrder();
    for (int i = 0; i < 3; ++i) {
        if (order[i] == 'd') day = parts[i];
        if (order[i] == 'm') month = parts[i];
        if (order[i] == 'y') year = parts[i], yearDigits = digits[i];
    }
    if (yearDigits <= 2) year += year < 50 ? 2000 : 1900;
    return EncodeDate(year, month, day, result);
}

bool MatchMarker(std::string_view text, std::string_view marker) {
    return !marker.empty() && AnsiSameText(text, marker);
}

bool ParseTime(std::string_view text, double* result) {
    int hour = 0, minute = 0, second = 0, millisecond = 0;
    size_t pos = 0;
    if (!ReadNumber(text, pos, 2, &hour)) return false;
    const char timeSep = LocaleFormats.TimeSepChar != '\0' ? LocaleFormats.TimeSepChar : ':';
    if (pos >= text.size() || text[pos] != timeSep) return false;
    ++pos;
    if (!ReadNumber(text, pos, 2, &minute)) return false;
    if (pos < text.size() && text[pos] == timeSep) {
        ++pos;
        if (!ReadNumber(text, pos, 2, &second)) return false;
        if (pos < text.size() && text[pos] == '.') {
            ++pos;
            if (!ReadNumber(text, pos, 3, &millisecond)) return false;
        }
    }
    const std::string_view marker = Trim(text.substr(pos));
    if (!marker.empty()) {
        if (pos == text.size() || text[pos] != ' ') return false;
        const bool am = MatchMarker(marker, LocaleFormats.AmText) || MatchMarker(marker, "AM");
        const bool pm = MatchMarker(marker, LocaleFormats.PmText) || MatchMarker(marker, "PM");
        if ((!am && !pm) || hour < 1 || hour > 12) return false;
        if (am && hour == 12) hour = 0;
        if (pm && hour != 12) hour += 12;
    }
    if (hour > 23 || minute > 59 || second > 59) return false;
    *result = (((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + millisecond) / 86400000.0;
    return true;
}

}  // namespace

bool EncodeDate(int year, int month, int day, TDateTime* result) {
    if (!IsValidDate(year, month, day)) return false;
    *result = static_cast<double>(DateTimeDaysFromJulian(JulianFromCivil(year, month, day)));
    return true;
}

int32_t TextToInteger(std::string_view text) {
    const std::string_view plain = Trim(text);
    std::string_view digits = plain;
    if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
    int32_t value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size()) {
        throw EConvertError(FormatMessage("'%s' is not a valid integer value", {text}));
    }
    return value;
}

double TextToFloat(std::string_view text) {
    std::string plain(Trim(text));
    bool valid = !plain.empty();
    for (char& c : plain) {
        if (c == LocaleFormats.DecimalChar && LocaleFormats.DecimalChar != '\0') {
            c = '.';
        } else if (!(IsDigit(c) || c == '+' || c == '-' || c == 'e' || c == 'E')) {
            valid = false;  // no other letters: "inf" and "nan" are not numbers here
        }
    }
    std::string_view digits = plain;
    if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
    double value = 0;
    if (valid) {
        const auto [end, error] =
            std::from_chars(digits.data(), digits.data() + digits.size(), value);
        valid = !digits.empty() && error == std::errc() && end == digits.data() + digits.size();
    }
    if (!valid) {
        throw EConvertError(FormatMessage("'%s' is not a valid floating point value", {text}));
    }
    return value;
}

TDateTime TextToDateTime(std::string_view text) {
    const std::string_view plain = Trim(text);
    TDateTime date = 0;
    double time = 0;
    bool valid = false;
    const size_t blank = plain.find(' ');
    if (ParseDate(plain, &date)) {
        valid = true;
    } else if (ParseTime(plain, &time)) {
        valid = true;
    } else if (blank != std::string_view::npos && ParseDate(plain.substr(0, blank), &date) &&
               ParseTime(Trim(plain.substr(blank)), &time)) {
        valid = true;
    }
    if (!valid) {
        throw EConvertError(FormatMessage("'%s' is not a valid date and time", {text}));
    }
    // Dates before 1899-12-30 count the time of day forward from the date, as everywhere else.
    return date < 0 ? date - time : date + time;
}

}  // namespace parvell
