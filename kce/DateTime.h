#pragma once
// Calendar arithmetic and the engine's date texts. Days are julian day numbers (JDN; 2451545 is
// 2000-01-01, 2415019 is 1899-12-30), on the proleptic Gregorian calendar; times are milliseconds
// since midnight.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/Calendar.h"

namespace kce {

constexpr int32_t kMillisecondsPerDay = 86400000;

// The shared calendar in the engine's 32-bit julian days (inline: the record codec calls these
// for every date it reads or writes).
inline int32_t JulianFromYmd(int year, int month, int day) {
    return static_cast<int32_t>(parvell::JulianFromCivil(year, month, day));
}
inline void YmdFromJulian(int32_t julian, int& year, int& month, int& day) {
    const parvell::CivilDate date = parvell::CivilFromJulian(julian);
    year = date.year;
    month = date.month;
    day = date.day;
}
// Whether the parts name a real date in years 1 to 9999.
inline bool IsValidYmd(int year, int month, int day) {
    return parvell::IsValidDate(year, month, day);
}

// Stored forms (see kce/sql/Compiler.h): 'YYYY-MM-DD', 'HH:MM:SS.mmm', 'YYYY-MM-DD HH:MM:SS.mmm'.
// Parsers accept the milliseconds (and for times the seconds) as optional and reject anything else.
std::optional<int32_t> ParseStoredDate(const char* text, size_t length);
std::optional<int32_t> ParseStoredTime(const char* text, size_t length);
bool ParseStoredTimestamp(const char* text, size_t length, int32_t& julian, int32_t& milliseconds);
std::string StoredDate(int32_t julian);
std::string StoredTime(int32_t milliseconds);
// Writes "HH:MM:SS.mmm" (12 characters) to out.
void WriteTime(int32_t milliseconds, char* out);

// An engine date format such as "MM/DD/CCYY" or "M/d/yyyy" (rules in kce/kce.h, KdbSetDateFormat).
class DateFormat {
public:
    // Throws kce::Error 5030 for a pattern it refuses.
    explicit DateFormat(std::string_view pattern);
    const std::string& Pattern() const { return pattern_; }
    std::string Format(int32_t julian) const;
    // Reads text written in this format: numbers may have fewer digits than the pattern's.
    std::optional<int32_t> Parse(std::string_view text) const;

private:
    struct Part {
        char kind;  // 'M', 'D', 'Y', or 0 for a literal separator
        int width;  // letters in the run
        std::string literal;
    };
    std::string pattern_;
    Part parts_[5];
    int partCount_ = 0;
};

}  // namespace kce
