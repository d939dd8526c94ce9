#pragma once
// The one calendar every subsystem counts days with: the proleptic Gregorian calendar, days as
// julian day numbers (2451545 is 2000-01-01), and the day count of a date-time value (days from
// 1899-12-30, which is julian day 2415019). Everything is constexpr and inline: the formatters
// and the record encoder call these once per value.
//
// The conversions use the era-of-400-years method in 64-bit arithmetic, so they are exact for
// every day count a 32-bit julian day or a date-time value can reach, before year 1 included.

#include <cstdint>

namespace parvell {

struct CivilDate {
    int year;
    int month;  // 1..12
    int day;    // 1..31
};

inline constexpr int kFirstYear = 1;
inline constexpr int kLastYear = 9999;
// Julian day numbers of 0001-01-01, 9999-12-31, 1970-01-01 and 1899-12-30.
inline constexpr int32_t kJulianOfFirstDay = 1721426;
inline constexpr int32_t kJulianOfLastDay = 5373484;
inline constexpr int32_t kJulianOfUnixEpoch = 2440588;
inline constexpr int32_t kJulianOfDateTimeZero = 2415019;

constexpr bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// Days in `month` (1..12) of `year`.
constexpr int DaysInMonth(int year, int month) {
    constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Whether the parts name a real date in years 1 to 9999.
constexpr bool IsValidDate(int year, int month, int day) {
    return year >= kFirstYear && year <= kLastYear && month >= 1 && month <= 12 && day >= 1 &&
           day <= DaysInMonth(year, month);
}

// Days from 1970-01-01 of a date (month 1..12; the day may run past the month's end).
constexpr int64_t DaysFromCivil(int year, int month, int day) {
    const int64_t y = static_cast<int64_t>(year) - (month <= 2 ? 1 : 0);
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;                                             // [0, 399]
    const int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;  // [0, 365]
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;                     // [0, 146096]
    return era * 146097 + doe - 719468;
}

// The date of a day count from 1970-01-01.
constexpr CivilDate CivilFromDays(int64_t days) {
    const int64_t z = days + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;                                       // [0, 146096]
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;  // [0, 399]
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);                // [0, 365]
    const int64_t mp = (5 * doy + 2) / 153;                                     // [0, 11]
    const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    return {static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0)), month,
            static_cast<int>(doy - (153 * mp + 2) / 5 + 1)};
}

// Julian day number of a date, and back.
constexpr int64_t JulianFromCivil(int year, int month, int day) {
    return DaysFromCivil(year, month, day) + kJulianOfUnixEpoch;
}
constexpr CivilDate CivilFromJulian(int64_t julian) {
    return CivilFromDays(julian - kJulianOfUnixEpoch);
}

// The day count of a date-time value (days from 1899-12-30) and the julian day number.
constexpr int64_t JulianFromDateTimeDays(int64_t days) {
    return days + kJulianOfDateTimeZero;
}
constexpr int64_t DateTimeDaysFromJulian(int64_t julian) {
    return julian - kJulianOfDateTimeZero;
}

// Day of the week of a julian day: 0 is Sunday, 6 is Saturday.
constexpr int DayOfWeek(int64_t julian) {
    return static_cast<int>(((julian + 1) % 7 + 7) % 7);
}

}  // namespace parvell
