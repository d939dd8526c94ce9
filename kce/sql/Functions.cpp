#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "common/Calendar.h"
#include "common/NumberText.h"
#include "kce/sql/Compiler.h"
#include "kce/sql/DateText.h"
#include "kce/sql/NativeError.h"
#include "kce/sql/Numbers.h"
#include "kce/sql/Text1252.h"

// The SQLite functions and the collation that generated SQL calls. Values arrive and leave in
// their stored representation (UTF-8 text, ISO dates); a value that does not convert ends the
// statement with an error whose message starts with "[native number] ", read back by
// FunctionError.

namespace kce::sql {
namespace {

std::string_view TextOf(sqlite3_value* value) {
    const unsigned char* text = sqlite3_value_text(value);
    return text ? std::string_view(reinterpret_cast<const char*>(text), sqlite3_value_bytes(value))
                : std::string_view();
}

bool IsNull(sqlite3_value* value) {
    return sqlite3_value_type(value) == SQLITE_NULL;
}

void ResultText(sqlite3_context* context, std::string_view text) {
    sqlite3_result_text(context, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

void Fail(sqlite3_context* context, int nativeError, const std::string& message) {
    const std::string text = "[" + std::to_string(nativeError) + "] " + message;
    sqlite3_result_error(context, text.c_str(), static_cast<int>(text.size()));
}

// " for column "X"" when the call names a column, else nothing.
std::string ForColumn(sqlite3_value* what) {
    std::string_view name = TextOf(what);
    return name.empty() ? std::string() : " for column \"" + std::string(name) + "\"";
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

std::string_view TrimRight(std::string_view text) {
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

// Byte offset of character `index` (0-based) of UTF-8 text; the size when past the end.
size_t CharOffset(std::string_view text, int64_t index) {
    size_t i = 0;
    for (int64_t k = 0; k < index && i < text.size(); ++k) {
        ++i;
        while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) ++i;
    }
    return i;
}

std::string_view Characters(std::string_view text, int64_t from, int64_t count) {
    if (count <= 0 || from < 0) return {};
    const size_t begin = CharOffset(text, from);
    const size_t end = begin + CharOffset(text.substr(begin), count);
    return text.substr(begin, end - begin);
}

std::optional<double> ParseNumber(std::string_view text) {
    text = TrimBlanks(text);
    if (text.empty() || text.size() > 64) return std::nullopt;
    return parvell::WholeFiniteDouble(text);
}

// Dates here are counted in days from 1970-01-01 (the shared calendar's day count).
using parvell::DaysFromCivil;

void CivilFromDays(int64_t days, int& y, int& m, int& d) {
    const parvell::CivilDate date = parvell::CivilFromDays(days);
    y = date.year;
    m = date.month;
    d = date.day;
}

bool ReadIsoDate(std::string_view text, int& y, int& m, int& d) {
    return text.size() >= 10 &&
           std::sscanf(std::string(text.substr(0, 10)).c_str(), "%4d-%2d-%2d", &y, &m, &d) == 3;
}

// kce_pad(text, length): the text with blanks added up to `length` characters, built in one
// buffer that SQLite takes over.
void PadFunction(sqlite3_context* context, int, sqlite3_value** argv) {
    if (IsNull(argv[0])) return sqlite3_result_null(context);
    const std::string_view text = TextOf(argv[0]);
    const int64_t length = sqlite3_value_int64(argv[1]);
    const auto have = static_cast<int64_t>(Utf8Length(text));
    if (have >= length) return ResultText(context, text);
    const size_t blanks = static_cast<size_t>(length - have);
    auto* out = static_cast<char*>(sqlite3_malloc64(text.size() + blanks + 1));
    if (!out) return sqlite3_result_error_nomem(context);
    if (!text.empty()) std::memcpy(out, text.data(), text.size());
    std::memset(out + text.size(), ' ', blanks);
    sqlite3_result_text64(context, out, text.size() + blanks, sqlite3_free, SQLITE_UTF8);
}

// kce_totext(value, maxLength or 0, trim trailing blanks 0/1, column)
void ToTextFunction(sqlite3_context* context, int, sqlite3_value** argv) {
    if (IsNull(argv[0])) return sqlite3_result_null(context);
    std::string_view text = TextOf(argv[0]);
    if (sqlite3_value_int(argv[2]) != 0) text = TrimRight(text);
    const int64_t limit = sqlite3_value_int64(argv[1]);
    if (limit > 0 && static_cast<int64_t>(Utf8Length(text)) > limit) {
        return Fail(context, kErrValueTooLong,
                    "Value '" + std::string(text) + "' is too long" + ForColumn(argv[3]) +
                        " (length " + std::to_string(limit) + ").");
    }
    ResultText(context, text);
}

void ToNumberFunction(sqlite3_context* context, int, sqlite3_value** argv) {
    switch (sqlite3_value_type(argv[0])) {
        case SQLITE_NULL:
            return sqlite3_result_null(context);
        case SQLITE_INTEGER:
            return sqlite3_result_int64(context, sqlite3_value_int64(argv[0]));
        case SQLITE_FLOAT:
            return sqlite3_result_double(context, sqlite3_value_double(argv[0]));
        default:
            break;
    }
    std::optional<double> number = ParseNumber(TextOf(argv[0]));
    if (!number) {
        return Fail(context, kErrInvalidValue,
                    "Text '" + std::string(TextOf(argv[0])) + "' is not a valid number" +
                        ForColumn(argv[1]) + ".");
    }
    sqlite3_result_double(context, *number);
}

void ToRealFunction(sqlite3_context* context, int, sqlite3_value** argv) {
    if (IsNull(argv[0])) return sqlite3_result_null(context);
    sqlite3_result_double(context, sqlite3_value_double(argv[0]));
}

void ToLogicalFunction(sqlite3_context* context, int, sqlite3_value** argv) {
    switch (sqlite3_value_type(argv[0])) {
        case SQLITE_NULL:
            return sqlite3_result_null(context);
        case SQLITE_INTEGER:
        case SQLITE_FLOAT:
            return sqlite3_result_int(context, sqlite3_value_double(argv[0]) != 0 ? 1 : 0);
        default:
            break;
    }
    const std::string text = UpperUtf8(TrimBlanks(TextOf(argv[0])));
    if (text == "T" || text == "TRUE" || text == "Y" || text == "YES" || text == "1") {
        return sqlite3_result_int(context, 1);
    }
    if (text == "F" || text == "FALSE" || text == "N" || text == "NO" || text == "0") {
        return sqlite3_result_int(context, 0);
    }
    Fail(context, kErrInvalidValue,
         "Text '" + std::string(TextOf(argv[0])) + "' is not a valid logical value" +
             ForColumn(argv[1]) + ".");
}

// kce_todate(value, format, column), kce_totimestamp(value, format, column), kce_totime(value,
// column)
template <int kKind>
void ToDateTimeFunction(sqlite3_context* context, int argc, sqlite3_value** argv) {
    if (IsNull(argv[0])) return sqlite3_result_null(context);
    static constexpr const char* kNames[] = {"date", "timestamp", "time"};
    if (sqlite3_value_type(argv[0]) == SQLITE_TEXT) {
        std::string_view text = TextOf(argv[0]);
        std::optional<std::string> result;
        if (kKind == 0) {
            std::string_view format = TextOf(argv[1]);
            result = ReadDate(text, format);
            if (!result) {
                if (std::optional<std::string> stamp = ReadTimestamp(text, format))
                    result = stamp->substr(0, 10);
            }
        } else if (kKind == 1) {
            result = ReadTimestamp(text, TextOf(argv[1]));
        } else {
            result = ReadTime(text);
            if (!result) {
                if (std::optional<std::string> stamp = ReadTimestamp(text, "CCYY-MM-DD"))
                    result = stamp->substr(11);
            }
        }
        if (result) return ResultText(context, *result);
    }
    Fail(context, kErrInvalidDate,
         "Text '" + std::string(TextOf(argv[0])) + "' is not a valid " + kNames[kKind] +
             ForColumn(argv[argc - 1]) + ".");
}

void ToBlobFunction(sqlite3_context* context, int, sqlite3_value** argv) {
    if (IsNull(argv[0])) return sqlite3_result_null(context);
    const void* data = sqlite3_value_blob(argv[0]);
    sqlite3_result_blob(context, data, sqlite3_value_bytes(argv[0]), SQLITE_TRANSIENT);
}

bool IsAscii(std::string_view text) {
    for (unsigned char c : text) {
        if (c >= 0x80) return false;
    }
    return true;
}

unsigned char UpperAscii(unsigned char c) {
    return c >= 'a' && c <= 'z' ? c - 0x20 : c;
}
unsigned char LowerAscii(unsigned char c) {
    return c >= 'A' && c <= 'Z' ? c + 0x20 : c;
}

// kce_upper(text), kce_lower(text): case mapped as Windows-1252 maps it. ASCII text, by far the
// most common, is mapped byte for byte into one buffer that SQLite takes over; other text is
// decoded character by character.
template <bool kUpper>
void CaseFunction(sqlite3_context* context, int, sqlite3_value** argv) {
    if (IsNull(argv[0])) return sqlite3_result_null(context);
    const std::string_view text = TextOf(argv[0]);
    if (!IsAscii(text)) return ResultText(context, kUpper ? UpperUtf8(text) : LowerUtf8(text));
    auto* out = static_cast<char*>(sqlite3_malloc64(text.size() + 1));
    if (!out) return sqlite3_result_error_nomem(context);
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        out[i] = static_cast<char>(kUpper ? UpperAscii(c) : LowerAscii(c));
    }
    sqlite3_result_text64(context, out, text.size(), sqlite3_free, SQLITE_UTF8);
}

void LeftFunction(sqlite3_context* context, int, sqlite3_value** argv) {
    if (IsNull(argv[0]) || IsNull(argv[1])) return sqlite3_result_null(context);
    ResultText(context, Characters(TextOf(argv[0]), 0, sqlite3_value_int64(argv[1])));
}

void RightFunction(sqlite3_context* context, int, sqlite3_value** argv) {
    if (IsNull(argv[0]) || IsNull(argv[1])) return sqlite3_result_null(context);
    std::string_view text = TextOf(argv[0]);
    const int64_t length = static_cast<int64_t>(Utf8Length(text));
    const int64_t count = std::min<int64_t>(sqlite3_value_int64(argv[1]), length);
    ResultText(context, Characters(text, length - count, count));
}

// kce_substring(text, start, count): characters numbered from 1; the part of [start, start+count)
// that lies in the text.
void SubstringFunction(sqlite3_context* context, int, sqlite3_value** argv) {
    if (IsNull(argv[0]) || IsNull(argv[1]) || IsNull(argv[2])) return sqlite3_result_null(context);
    const int64_t start = sqlite3_value_int64(argv[1]);
    const int64_t count = sqlite3_value_int64(argv[2]);
    const int64_t from = std::max<int64_t>(start, 1);
    const int64_t to = count > INT64_MAX - start ? INT64_MAX : start + count;
    ResultText(context, Characters(TextOf(argv[0]), from - 1, to - from));
}

void LengthFunction(sqlite3_context* context, int, sqlite3_value** argv) {
    if (IsNull(argv[0])) return sqlite3_result_null(context);
    sqlite3_result_int64(context, static_cast<int64_t>(Utf8Length(TrimRight(TextOf(argv[0])))));
}

// kce_locate(needle, text, start): the character position (from 1) of the first needle in text
// at or after character `start` (below 1 read as 1); 0 when there is none.
void LocateFunction(sqlite3_context* context, int, sqlite3_value** argv) {
    if (IsNull(argv[0]) || IsNull(argv[1]) || IsNull(argv[2])) return sqlite3_result_null(context);
    const std::string_view needle = TextOf(argv[0]);
    const std::string_view text = TextOf(argv[1]);
    const int64_t start = std::max<int64_t>(sqlite3_value_int64(argv[2]), 1);
    const auto length = static_cast<int64_t>(Utf8Length(text));
    if (start > length + 1) return sqlite3_result_int(context, 0);
    const size_t from = CharOffset(text, start - 1);
    const size_t found = text.find(needle, from);
    if (found == std::string_view::npos) return sqlite3_result_int(context, 0);
    sqlite3_result_int64(context, static_cast<int64_t>(Utf8Length(text.substr(0, found))) + 1);
}

// kce_trim(text, character, "L" | "T" | "B"): text without the character repeated at its start,
// its end or both. The character must be exactly one.
void TrimFunction(sqlite3_context* context, int, sqlite3_value** argv) {
    if (IsNull(argv[0]) || IsNull(argv[1])) return sqlite3_result_null(context);
    std::string_view text = TextOf(argv[0]);
    const std::string_view character = TextOf(argv[1]);
    if (Utf8Length(character) != 1) {
        return Fail(
            context, kErrInvalidValue,
            "The TRIM character must be one character, not '" + std::string(character) + "'.");
    }
    const char end = TextOf(argv[2]).empty() ? 'B' : TextOf(argv[2])[0];
    if (end != 'T') {
        while (text.starts_with(character)) text.remove_prefix(character.size());
    }
    if (end != 'L') {
        while (text.ends_with(character)) text.remove_suffix(character.size());
    }
    ResultText(context, text);
}

// kce_onerow(row count, value, message): the value of a scalar subquery read with LIMIT 2; fails
// the statement when the subquery had more than one row.
void OneRowFunction(sqlite3_context* context, int, sqlite3_value** argv) {
    if (sqlite3_value_int64(argv[0]) > 1)
        return Fail(context, kErrSubqueryColumns, std::string(TextOf(argv[2])));
    sqlite3_result_value(context, argv[1]);
}

void SpaceFunction(sqlite3_context* context, int, sqlite3_value** argv) {
    if (IsNull(argv[0])) return sqlite3_result_null(context);
    const int64_t count = std::clamp<int64_t>(sqlite3_value_int64(argv[0]), 0, 65000);
    ResultText(context, std::string(static_cast<size_t>(count), ' '));
}

// The time of day of a stored time 'HH:MM:SS.mmm' or timestamp 'YYYY-MM-DD HH:MM:SS.mmm' in
// milliseconds; nullopt for a date or other text.
std::optional<int64_t> ReadIsoTimeOfDay(std::string_view text) {
    if (text.size() >= 19 && (text[10] == ' ' || text[10] == 'T')) text.remove_prefix(11);
    int hour = 0, minute = 0, second = 0, milli = 0;
    if (text.size() < 8 || text[2] != ':') return std::nullopt;
    const std::string copy(text);
    const int read = std::sscanf(copy.c_str(), "%2d:%2d:%2d.%3d", &hour, &minute, &second, &milli);
    if (read < 3) return std::nullopt;
    return ((hour * 60 + minute) * 60 + second) * int64_t{1000} + (read == 4 ? milli : 0);
}

// Day of the week of a day count from 1970-01-01; 0 is Sunday.
int Weekday(int64_t days) {
    return parvell::DayOfWeek(days + parvell::kJulianOfUnixEpoch);
}

constexpr const char* kDayNames[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                     "Thursday", "Friday", "Saturday"};
constexpr const char* kMonthNames[] = {"January",   "February", "March",    "April",
                                       "May",       "June",     "July",     "August",
                                       "September", "October",  "November", "December"};

// kce_datepart(value, part): of a date or timestamp Y (year), M (month), D (day), W (weekday, 1
// for Sunday to 7 for Saturday), Q (quarter), K (week of the year: week 1 holds January 1, weeks
// start on Sunday); of a time or timestamp H (hour), I (minute), S (second).
void DatePartFunction(sqlite3_context* context, int, sqlite3_value** argv) {
    if (IsNull(argv[0])) return sqlite3_result_null(context);
    const std::string_view text = TextOf(argv[0]);
    const char part = TextOf(argv[1]).empty() ? 'Y' : TextOf(argv[1])[0];
    if (part == 'H' || part == 'I' || part == 'S') {
        const std::optional<int64_t> ms = ReadIsoTimeOfDay(text);
        if (!ms) return sqlite3_result_null(context);
        const int64_t seconds = *ms / 1000;
        return sqlite3_result_int64(context, part == 'H'   ? seconds / 3600
                                             : part == 'I' ? seconds / 60 % 60
                                                           : seconds % 60);
    }
    int y = 0, m = 0, d = 0;
    if (!ReadIsoDate(text, y, m, d)) return sqlite3_result_null(context);
    switch (part) {
        case 'Y':
            return sqlite3_result_int(context, y);
        case 'M':
            return sqlite3_result_int(context, m);
        case 'D':
            return sqlite3_result_int(context, d);
        case 'Q':
            return sqlite3_result_int(context, (m - 1) / 3 + 1);
        case 'K': {
            const int64_t first = DaysFromCivil(y, 1, 1);
            const int64_t dayOfYear = DaysFromCivil(y, m, d) - first;  // 0-based
            return sqlite3_result_int64(context, (dayOfYear + Weekday(first)) / 7 + 1);
        }
        default:
            return sqlite3_result_int(context, Weekday(DaysFromCivil(y, m, d)) + 1);
    }
}

// kce_datename(date or timestamp, "D" | "M"): the English name of the weekday or the month.
void DateNameFunction(sqlite3_context* context, int, sqlite3_value** argv) {
    if (IsNull(argv[0])) return sqlite3_result_null(context);
    int y = 0, m = 0, d = 0;
    if (!ReadIsoDate(TextOf(argv[0]), y, m, d) || m < 1 || m > 12)
        return sqlite3_result_null(context);
    const bool month = TextOf(argv[1]) == "M";
    ResultText(context, month ? kMonthNames[m - 1] : kDayNames[Weekday(DaysFromCivil(y, m, d))]);
}

// kce_formatdate(date, format): a stored date written in the engine date format (letters MM, DD,
// CCYY or YYYY, CC, YY; anything else is copied).
void FormatDateFunction(sqlite3_context* context, int, sqlite3_value** argv) {
    if (IsNull(argv[0])) return sqlite3_result_null(context);
    int y = 0, m = 0, d = 0;
    if (!ReadIsoDate(TextOf(argv[0]), y, m, d)) return sqlite3_result_null(context);
    const std::string_view format = TextOf(argv[1]);
    std::string out;
    char buffer[8];
    for (size_t f = 0; f < format.size();) {
        const std::string_view rest = format.substr(f);
        if (rest.starts_with("CCYY") || rest.starts_with("YYYY")) {
            std::snprintf(buffer, sizeof buffer, "%04d", y);
            f += 4;
        } else if (rest.starts_with("CC") || rest.starts_with("YY") || rest.starts_with("MM") ||
                   rest.starts_with("DD")) {
            const int value = rest[0] == 'C'   ? y / 100
                              : rest[0] == 'Y' ? y % 100
                              : rest[0] == 'M' ? m
                                               : d;
            std::snprintf(buffer, sizeof buffer, "%02d", value);
            f += 2;
        } else {
            buffer[0] = format[f];
            buffer[1] = '\0';
            ++f;
        }
        out += buffer;
    }
    ResultText(context, out);
}

// A stored date or timestamp as days from 1970-01-01 and milliseconds of the day.
bool ReadStamp(std::string_view text, int64_t& days, int64_t& ms) {
    int y = 0, m = 0, d = 0;
    if (!ReadIsoDate(text, y, m, d)) return false;
    days = DaysFromCivil(y, m, d);
    ms = text.size() > 10 ? ReadIsoTimeOfDay(text).value_or(0) : 0;
    return true;
}

void ResultStamp(sqlite3_context* context, int64_t days, int64_t ms) {
    int y = 0, m = 0, d = 0;
    CivilFromDays(days, y, m, d);
    if (y < 1 || y > 9999)
        return Fail(context, kErrInvalidValue, "Date arithmetic leaves the years 1 to 9999.");
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d.%03d", y, m, d,
                  static_cast<int>(ms / 3600000), static_cast<int>(ms / 60000 % 60),
                  static_cast<int>(ms / 1000 % 60), static_cast<int>(ms % 1000));
    ResultText(context, buffer);
}

constexpr int64_t kDayMs = 86400000;

// Milliseconds in one unit of an interval letter, 0 for months, quarters and years.
int64_t UnitMs(char unit) {
    switch (unit) {
        case 'F':
            return 1;
        case 'S':
            return 1000;
        case 'I':
            return 60000;
        case 'H':
            return 3600000;
        case 'D':
            return kDayMs;
        case 'W':
            return 7 * kDayMs;
        default:
            return 0;
    }
}

int64_t UnitMonths(char unit) {
    return unit == 'Y' ? 12 : unit == 'Q' ? 3 : 1;
}

// kce_timestampadd(date or timestamp, count, unit): F milliseconds, S seconds, I minutes, H
// hours, D days (a fraction of a day counts), W weeks, M months, Q quarters, Y years. Adding
// months keeps the day, or takes the month's last day when the month is shorter.
void TimestampAddFunction(sqlite3_context* context, int, sqlite3_value** argv) {
    if (IsNull(argv[0]) || IsNull(argv[1])) return sqlite3_result_null(context);
    int64_t days = 0, ms = 0;
    if (!ReadStamp(TextOf(argv[0]), days, ms)) return sqlite3_result_null(context);
    const char unit = TextOf(argv[2]).empty() ? 'D' : TextOf(argv[2])[0];
    // Ten thousand years in any unit is more than the calendar holds: larger counts overflow.
    const double count = sqlite3_value_double(argv[1]);
    const double limit = 10000.0 * 366 * kDayMs;
    const int64_t unitMs = UnitMs(unit);
    if (unitMs != 0) {
        const double total = unit == 'D' ? std::round(count * kDayMs)
                                         : std::trunc(count) * static_cast<double>(unitMs);
        if (!(std::fabs(total) < limit)) {
            return Fail(context, kErrInvalidValue, "Date arithmetic leaves the years 1 to 9999.");
        }
        const int64_t moved = ms + static_cast<int64_t>(total);
        const int64_t dayShift = moved >= 0 ? moved / kDayMs : -((-moved + kDayMs - 1) / kDayMs);
        return ResultStamp(context, days + dayShift, moved - dayShift * kDayMs);
    }
    if (!(std::fabs(count) < 120000))
        return Fail(context, kErrInvalidValue, "Date arithmetic leaves the years 1 to 9999.");
    int y = 0, m = 0, d = 0;
    CivilFromDays(days, y, m, d);
    const int64_t months =
        int64_t{y} * 12 + (m - 1) + static_cast<int64_t>(count) * UnitMonths(unit);
    const int64_t year = months >= 0 ? months / 12 : -((-months + 11) / 12);
    const int month = static_cast<int>(months - year * 12) + 1;
    if (year < 1 || year > 9999)
        return Fail(context, kErrInvalidValue, "Date arithmetic leaves the years 1 to 9999.");
    const int newYear = static_cast<int>(year);
    const int monthLength = parvell::DaysInMonth(newYear, month);
    ResultStamp(context, DaysFromCivil(newYear, month, std::min(d, monthLength)), ms);
}

// kce_timestampdiff(a, b, unit): the number of whole units from a to b (negative when b is
// earlier), units as for kce_timestampadd.
void TimestampDiffFunction(sqlite3_context* context, int, sqlite3_value** argv) {
    if (IsNull(argv[0]) || IsNull(argv[1])) return sqlite3_result_null(context);
    int64_t days1 = 0, ms1 = 0, days2 = 0, ms2 = 0;
    if (!ReadStamp(TextOf(argv[0]), days1, ms1) || !ReadStamp(TextOf(argv[1]), days2, ms2)) {
        return sqlite3_result_null(context);
    }
    const char unit = TextOf(argv[2]).empty() ? 'D' : TextOf(argv[2])[0];
    const int64_t unitMs = UnitMs(unit);
    if (unitMs != 0) {
        const int64_t difference = (days2 - days1) * kDayMs + (ms2 - ms1);
        return sqlite3_result_int64(context, difference / unitMs);  // truncates toward zero
    }
    int y1 = 0, m1 = 0, d1 = 0, y2 = 0, m2 = 0, d2 = 0;
    CivilFromDays(days1, y1, m1, d1);
    CivilFromDays(days2, y2, m2, d2);
    int64_t months = (int64_t{y2} * 12 + m2) - (int64_t{y1} * 12 + m1);
    // A month is whole when the day and time of day of b have reached those of a.
    const auto restA = std::pair<int, int64_t>{d1, ms1};
    const auto restB = std::pair<int, int64_t>{d2, ms2};
    if (months > 0 && restB < restA) --months;
    if (months < 0 && restB > restA) ++months;
    sqlite3_result_int64(context, months / UnitMonths(unit));
}

void AddDaysFunction(sqlite3_context* context, int, sqlite3_value** argv) {
    if (IsNull(argv[0]) || IsNull(argv[1])) return sqlite3_result_null(context);
    int y = 0, m = 0, d = 0;
    if (!ReadIsoDate(TextOf(argv[0]), y, m, d)) return sqlite3_result_null(context);
    const int64_t days = DaysFromCivil(y, m, d) + sqlite3_value_int64(argv[1]);
    CivilFromDays(days, y, m, d);
    if (y < 1 || y > 9999)
        return Fail(context, kErrInvalidValue, "Date arithmetic leaves the years 1 to 9999.");
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", y, m, d);
    ResultText(context, buffer);
}

void DaysBetweenFunction(sqlite3_context* context, int, sqlite3_value** argv) {
    int y1 = 0, m1 = 0, d1 = 0, y2 = 0, m2 = 0, d2 = 0;
    if (IsNull(argv[0]) || IsNull(argv[1]) || !ReadIsoDate(TextOf(argv[0]), y1, m1, d1) ||
        !ReadIsoDate(TextOf(argv[1]), y2, m2, d2)) {
        return sqlite3_result_null(context);
    }
    sqlite3_result_int64(context, DaysFromCivil(y1, m1, d1) - DaysFromCivil(y2, m2, d2));
}

template <bool kFloor>
void RoundingFunction(sqlite3_context* context, int, sqlite3_value** argv) {
    if (IsNull(argv[0])) return sqlite3_result_null(context);
    const double value = sqlite3_value_double(argv[0]);
    sqlite3_result_double(context, kFloor ? std::floor(value) : std::ceil(value));
}

void ModFunction(sqlite3_context* context, int, sqlite3_value** argv) {
    if (IsNull(argv[0]) || IsNull(argv[1])) return sqlite3_result_null(context);
    if (sqlite3_value_type(argv[0]) == SQLITE_INTEGER &&
        sqlite3_value_type(argv[1]) == SQLITE_INTEGER) {
        const int64_t a = sqlite3_value_int64(argv[0]);
        const int64_t b = sqlite3_value_int64(argv[1]);
        if (b == 0) return sqlite3_result_null(context);
        if (b == -1) return sqlite3_result_int64(context, 0);  // INT64_MIN % -1 would trap
        return sqlite3_result_int64(context, a % b);
    }
    const double b = sqlite3_value_double(argv[1]);
    if (b == 0) return sqlite3_result_null(context);
    sqlite3_result_double(context, std::fmod(sqlite3_value_double(argv[0]), b));
}

// LIKE with % and _, an optional escape character, on characters (not bytes). Iterative with one
// backtracking point per %, so no pattern takes more than length(value) x length(pattern) steps.
// `fold` maps each character of value and pattern before it is looked at (case folding); the
// escape character is taken as given.
template <typename Char, typename Fold>
bool LikeMatch(std::basic_string_view<Char> value, std::basic_string_view<Char> pattern,
               char32_t escape, Fold fold) {
    const size_t npos = std::basic_string_view<Char>::npos;
    size_t v = 0, p = 0;
    size_t starP = npos, starV = 0;
    while (v < value.size()) {
        if (p < pattern.size()) {
            char32_t c = fold(pattern[p]);
            if (c == '%') {
                starP = ++p;
                starV = v;
                continue;
            }
            bool literal = false;
            if (escape != 0 && c == escape && p + 1 < pattern.size()) {
                c = fold(pattern[p + 1]);
                literal = true;
            }
            if ((!literal && c == '_') || c == fold(value[v])) {
                p += literal ? 2 : 1;
                ++v;
                continue;
            }
        }
        if (starP == npos) return false;
        p = starP;
        v = ++starV;
    }
    while (p < pattern.size() && pattern[p] == '%') ++p;
    return p == pattern.size();
}

std::u32string Decode(std::string_view utf8) {
    std::u32string out;
    for (size_t i = 0; i < utf8.size();) {
        const unsigned char c = utf8[i];
        const size_t extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        if (extra == 0 || i + extra >= utf8.size()) {
            out += c;
            ++i;
            continue;
        }
        char32_t cp = c & (0x3F >> extra);
        for (size_t k = 1; k <= extra; ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        out += cp;
        i += extra + 1;
    }
    return out;
}

// kce_like(value, pattern, escape or NULL, case-insensitive 0/1). ASCII value, pattern and escape
// match byte for byte, folding case on the fly; other text is decoded to characters first.
void LikeFunction(sqlite3_context* context, int, sqlite3_value** argv) {
    if (IsNull(argv[0]) || IsNull(argv[1])) return sqlite3_result_null(context);
    const bool ci = sqlite3_value_int(argv[3]) != 0;
    const std::string_view value = TextOf(argv[0]);
    const std::string_view pattern = TextOf(argv[1]);
    const std::string_view escapeText = IsNull(argv[2]) ? std::string_view() : TextOf(argv[2]);
    if (IsAscii(value) && IsAscii(pattern) && IsAscii(escapeText)) {
        if (escapeText.size() > 1) {
            return Fail(context, kErrInvalidValue, "The LIKE escape must be one character.");
        }
        const char32_t escape = escapeText.empty() ? 0 : static_cast<unsigned char>(escapeText[0]);
        auto same = [](char c) { return char32_t{static_cast<unsigned char>(c)}; };
        auto upper = [](char c) { return char32_t{UpperAscii(static_cast<unsigned char>(c))}; };
        const bool match =
            ci ? LikeMatch(value, pattern, escape, upper) : LikeMatch(value, pattern, escape, same);
        return sqlite3_result_int(context, match ? 1 : 0);
    }
    const std::u32string escape = Decode(escapeText);
    if (escape.size() > 1)
        return Fail(context, kErrInvalidValue, "The LIKE escape must be one character.");
    const std::u32string decodedValue = Decode(ci ? UpperUtf8(value) : std::string(value));
    const std::u32string decodedPattern = Decode(ci ? UpperUtf8(pattern) : std::string(pattern));
    const bool match =
        LikeMatch(std::u32string_view(decodedValue), std::u32string_view(decodedPattern),
                  escape.empty() ? 0 : escape[0], [](char32_t c) { return c; });
    sqlite3_result_int(context, match ? 1 : 0);
}

void SetApplicationIdFunction(sqlite3_context* context, int, sqlite3_value** argv) {
    auto* id = static_cast<std::string*>(sqlite3_user_data(context));
    *id = IsNull(argv[0]) ? std::string() : std::string(TextOf(argv[0]));
    ResultText(context, *id);
}

void GetApplicationIdFunction(sqlite3_context* context, int, sqlite3_value**) {
    ResultText(context, *static_cast<std::string*>(sqlite3_user_data(context)));
}

// CHAR_CI comparison: without regard to case, trailing blanks not counted; the upper-case forms
// compare byte for byte. Two ASCII texts compare in place, without building the upper-case forms.
int CompareNoCase(void*, int lengthA, const void* a, int lengthB, const void* b) {
    const std::string_view textA =
        TrimRight(std::string_view(static_cast<const char*>(a), lengthA));
    const std::string_view textB =
        TrimRight(std::string_view(static_cast<const char*>(b), lengthB));
    if (IsAscii(textA) && IsAscii(textB)) {
        const size_t common = std::min(textA.size(), textB.size());
        for (size_t i = 0; i < common; ++i) {
            const unsigned char ca = UpperAscii(static_cast<unsigned char>(textA[i]));
            const unsigned char cb = UpperAscii(static_cast<unsigned char>(textB[i]));
            if (ca != cb) return ca < cb ? -1 : 1;
        }
        return textA.size() == textB.size() ? 0 : textA.size() < textB.size() ? -1 : 1;
    }
    return UpperUtf8(textA).compare(UpperUtf8(textB));
}

struct FunctionDef {
    const char* name;
    int args;
    void (*function)(sqlite3_context*, int, sqlite3_value**);
};

constexpr FunctionDef kFunctions[] = {
    {"kce_pad", 2, PadFunction},
    {"kce_totext", 4, ToTextFunction},
    {"kce_tonumber", 2, ToNumberFunction},
    {"kce_toreal", 1, ToRealFunction},
    {"kce_tological", 2, ToLogicalFunction},
    {"kce_todate", 3, ToDateTimeFunction<0>},
    {"kce_totimestamp", 3, ToDateTimeFunction<1>},
    {"kce_totime", 2, ToDateTimeFunction<2>},
    {"kce_toblob", 1, ToBlobFunction},
    {"kce_upper", 1, CaseFunction<true>},
    {"kce_lower", 1, CaseFunction<false>},
    {"kce_left", 2, LeftFunction},
    {"kce_right", 2, RightFunction},
    {"kce_substring", 3, SubstringFunction},
    {"kce_length", 1, LengthFunction},
    {"kce_space", 1, SpaceFunction},
    {"kce_datepart", 2, DatePartFunction},
    {"kce_datename", 2, DateNameFunction},
    {"kce_formatdate", 2, FormatDateFunction},
    {"kce_timestampadd", 3, TimestampAddFunction},
    {"kce_timestampdiff", 3, TimestampDiffFunction},
    {"kce_locate", 3, LocateFunction},
    {"kce_trim", 3, TrimFunction},
    {"kce_onerow", 3, OneRowFunction},
    {"kce_adddays", 2, AddDaysFunction},
    {"kce_daysbetween", 2, DaysBetweenFunction},
    {"kce_floor", 1, RoundingFunction<true>},
    {"kce_ceiling", 1, RoundingFunction<false>},
    {"kce_mod", 2, ModFunction},
    {"kce_like", 4, LikeFunction},
};

}  // namespace

void RegisterFunctions(sqlite3* db) {
    for (const FunctionDef& def : kFunctions) {
        // Each is a pure function of its arguments: SQLite may factor calls with constant
        // arguments out of loops, and they are safe in indexes and views.
        sqlite3_create_function_v2(db, def.name, def.args,
                                   SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS, nullptr,
                                   def.function, nullptr, nullptr, nullptr);
    }
    // The application id lives with the connection: the setter owns it, the getter shares it.
    auto* id = new std::string();
    sqlite3_create_function_v2(db, "kce_setapplicationid", 1, SQLITE_UTF8, id,
                               SetApplicationIdFunction, nullptr, nullptr,
                               [](void* p) { delete static_cast<std::string*>(p); });
    sqlite3_create_function_v2(db, "kce_getapplicationid", 0, SQLITE_UTF8, id,
                               GetApplicationIdFunction, nullptr, nullptr, nullptr);
    RegisterNumberFunctions(db);
    sqlite3_create_collation_v2(db, "KCE_CI", SQLITE_UTF8, nullptr, CompareNoCase, nullptr);
}

std::optional<SqlError> FunctionError(std::string_view message) {
    if (message.size() < 7 || message[0] != '[') return std::nullopt;
    const size_t close = message.find("] ");
    if (close == std::string_view::npos || close > 6) return std::nullopt;
    int native = 0;
    for (size_t i = 1; i < close; ++i) {
        if (message[i] < '0' || message[i] > '9') return std::nullopt;
        native = native * 10 + (message[i] - '0');
    }
    if (native < kErrSyntax || native > kErrNotNull) return std::nullopt;
    return SqlError(native, 0, Cp1252FromUtf8(message.substr(close + 2)));
}

}  // namespace kce::sql
