#include "kce/sql/DateText.h"

#include <cstdio>

#include "common/Calendar.h"

namespace kce::sql {
namespace {

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads between minDigits and maxDigits digits at text[i].
bool ReadNumber(std::string_view text, size_t& i, size_t minDigits, size_t maxDigits, int& value) {
    size_t count = 0;
    value = 0;
    while (i < text.size() && count < maxDigits && IsDigit(text[i])) {
        value = value * 10 + (text[i] - '0');
        ++i;
        ++count;
    }
    return count >= minDigits;
}

std::string FormatDate(int year, int month, int day) {
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", year, month, day);
    return buffer;
}

// Reads a date at the start of text; `used` receives the number of bytes read.
std::optional<std::string> ReadDatePrefix(std::string_view text, std::string_view format,
                                          size_t& used) {
    // ISO form first: four digits and a dash.
    if (text.size() >= 5 && IsDigit(text[0]) && IsDigit(text[1]) && IsDigit(text[2]) &&
        IsDigit(text[3]) && text[4] == '-') {
        size_t i = 0;
        int year = 0, month = 0, day = 0;
        ReadNumber(text, i, 4, 4, year);
        ++i;
        if (!ReadNumber(text, i, 1, 2, month) || i >= text.size() || text[i] != '-')
            return std::nullopt;
        ++i;
        if (!ReadNumber(text, i, 1, 2, day) || !parvell::IsValidDate(year, month, day))
            return std::nullopt;
        used = i;
        return FormatDate(year, month, day);
    }
    int year = -1, century = -1, month = -1, day = -1;
    size_t i = 0;
    size_t f = 0;
    while (f < format.size()) {
        std::string_view rest = format.substr(f);
        int value = 0;
        if (rest.starts_with("CCYY") || rest.starts_with("YYYY")) {
            if (!ReadNumber(text, i, 4, 4, value)) return std::nullopt;
            century = value / 100;
            year = value % 100;
            f += 4;
        } else if (rest.starts_with("CC")) {
            if (!ReadNumber(text, i, 2, 2, century)) return std::nullopt;
            f += 2;
        } else if (rest.starts_with("YY")) {
            if (!ReadNumber(text, i, 2, 2, year)) return std::nullopt;
            f += 2;
        } else if (rest.starts_with("MM")) {
            if (!ReadNumber(text, i, 1, 2, month)) return std::nullopt;
            f += 2;
        } else if (rest.starts_with("DD")) {
            if (!ReadNumber(text, i, 1, 2, day)) return std::nullopt;
            f += 2;
        } else {
            if (i >= text.size() || text[i] != format[f]) return std::nullopt;
            ++i;
            ++f;
        }
    }
    if (year < 0 || month < 0 || day < 0) return std::nullopt;
    if (century < 0) century = year < 50 ? 20 : 19;
    const int fullYear = century * 100 + year;
    if (!parvell::IsValidDate(fullYear, month, day)) return std::nullopt;
    used = i;
    return FormatDate(fullYear, month, day);
}

std::optional<std::string> ReadTimeExact(std::string_view text) {
    size_t i = 0;
    int hour = 0, minute = 0, second = 0, milli = 0;
    if (!ReadNumber(text, i, 1, 2, hour) || i >= text.size() || text[i] != ':') return std::nullopt;
    ++i;
    if (!ReadNumber(text, i, 2, 2, minute)) return std::nullopt;
    if (i < text.size() && text[i] == ':') {
        ++i;
        if (!ReadNumber(text, i, 2, 2, second)) return std::nullopt;
        if (i < text.size() && text[i] == '.') {
            ++i;
            size_t start = i;
            if (!ReadNumber(text, i, 1, 3, milli)) return std::nullopt;
            for (size_t k = i - start; k < 3; ++k) milli *= 10;
            while (i < text.size() && IsDigit(text[i])) ++i;  // finer than milliseconds
        }
    }
    std::string_view rest = TrimBlanks(text.substr(i));
    if (rest == "AM" || rest == "am" || rest == "PM" || rest == "pm") {
        if (hour < 1 || hour > 12) return std::nullopt;
        if (hour == 12) hour = 0;
        if (rest[0] == 'P' || rest[0] == 'p') hour += 12;
    } else if (!rest.empty()) {
        return std::nullopt;
    }
    if (hour > 23 || minute > 59 || second > 59) return std::nullopt;
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d.%03d", hour, minute, second, milli);
    return std::string(buffer);
}

}  // namespace

std::optional<std::string> ReadDate(std::string_view text, std::string_view format) {
    text = TrimBlanks(text);
    size_t used = 0;
    std::optional<std::string> date = ReadDatePrefix(text, format, used);
    if (!date || used != text.size()) return std::nullopt;
    return date;
}

std::optional<std::string> ReadTime(std::string_view text) {
    return ReadTimeExact(TrimBlanks(text));
}

std::optional<std::string> ReadTimestamp(std::string_view text, std::string_view format) {
    text = TrimBlanks(text);
    size_t used = 0;
    std::optional<std::string> date = ReadDatePrefix(text, format, used);
    if (!date) return std::nullopt;
    std::string_view rest = text.substr(used);
    if (rest.empty()) return *date + " 00:00:00.000";
    if (rest[0] != ' ' && rest[0] != 'T') return std::nullopt;
    std::optional<std::string> time = ReadTimeExact(TrimBlanks(rest.substr(1)));
    if (!time) return std::nullopt;
    return *date + " " + *time;
}

}  // namespace kce::sql
