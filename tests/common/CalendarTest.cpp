// The shared calendar: julian day numbers, dates and date-time day counts agree with each other
// at the calendar's edges, across leap days and before 1899-12-30.
#include <gtest/gtest.h>

#include "common/Calendar.h"

namespace parvell {
namespace {

struct DayCase {
    const char* what;
    int year, month, day;
    int64_t julian;
    int64_t dateTimeDays;  // days from 1899-12-30
    int dayOfWeek;         // 0 is Sunday
};

constexpr DayCase kDays[] = {
    {"first day of year 1", 1, 1, 1, 1721426, -693593, 1},
    {"last day before year 1", 0, 12, 31, 1721425, -693594, 0},
    {"julian day zero", -4713, 11, 24, 0, -2415019, 1},
    {"day before the date-time zero", 1899, 12, 29, 2415018, -1, 5},
    {"date-time zero", 1899, 12, 30, 2415019, 0, 6},
    {"1900 is no leap year: Feb 28", 1900, 2, 28, 2415079, 60, 3},
    {"1900 is no leap year: Mar 1", 1900, 3, 1, 2415080, 61, 4},
    {"unix epoch", 1970, 1, 1, 2440588, 25569, 4},
    {"2000 is a leap year: Feb 29", 2000, 2, 29, 2451604, 36585, 2},
    {"2000 is a leap year: Mar 1", 2000, 3, 1, 2451605, 36586, 3},
    {"last day of year 9999", 9999, 12, 31, 5373484, 2958465, 5},
};

TEST(CalendarTest, DatesJulianDaysAndDateTimeDaysAgree) {
    for (const DayCase& c : kDays) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(JulianFromCivil(c.year, c.month, c.day), c.julian);
        const CivilDate date = CivilFromJulian(c.julian);
        EXPECT_EQ(date.year, c.year);
        EXPECT_EQ(date.month, c.month);
        EXPECT_EQ(date.day, c.day);
        EXPECT_EQ(DateTimeDaysFromJulian(c.julian), c.dateTimeDays);
        EXPECT_EQ(JulianFromDateTimeDays(c.dateTimeDays), c.julian);
        EXPECT_EQ(DayOfWeek(c.julian), c.dayOfWeek);
    }
}

TEST(CalendarTest, EveryDayOfTheCalendarRoundTripsAndFollowsTheDayBefore) {
    CivilDate before = CivilFromJulian(kJulianOfFirstDay - 1);
    for (int64_t julian = kJulianOfFirstDay; julian <= kJulianOfLastDay; ++julian) {
        const CivilDate date = CivilFromJulian(julian);
        ASSERT_TRUE(IsValidDate(date.year, date.month, date.day)) << julian;
        ASSERT_EQ(JulianFromCivil(date.year, date.month, date.day), julian);
        const bool nextDay =
            date.year == before.year && date.month == before.month && date.day == before.day + 1;
        const bool nextMonth =
            date.day == 1 && before.day == DaysInMonth(before.year, before.month) &&
            (date.month == before.month + 1 ||
             (date.month == 1 && before.month == 12 && date.year == before.year + 1));
        ASSERT_TRUE(nextDay || nextMonth) << julian;
        before = date;
    }
}

struct ValidCase {
    int year, month, day;
    bool valid;
};

TEST(CalendarTest, ValidDatesAndMonthLengths) {
    constexpr ValidCase kCases[] = {
        {1, 1, 1, true},      {0, 12, 31, false},    {9999, 12, 31, true}, {10000, 1, 1, false},
        {1900, 2, 29, false}, {2000, 2, 29, true},   {2024, 2, 29, true},  {2023, 2, 29, false},
        {2023, 4, 31, false}, {2023, 4, 30, true},   {2023, 0, 1, false},  {2023, 13, 1, false},
        {2023, 1, 0, false},  {2023, 12, 32, false},
    };
    for (const ValidCase& c : kCases) {
        EXPECT_EQ(IsValidDate(c.year, c.month, c.day), c.valid)
            << c.year << '-' << c.month << '-' << c.day;
    }
    EXPECT_TRUE(IsLeapYear(2000));
    EXPECT_FALSE(IsLeapYear(1900));
    EXPECT_TRUE(IsLeapYear(1996));
    EXPECT_FALSE(IsLeapYear(2023));
    EXPECT_EQ(DaysInMonth(1900, 2), 28);
    EXPECT_EQ(DaysInMonth(2000, 2), 29);
    EXPECT_EQ(DaysInMonth(2023, 12), 31);
}

static_assert(JulianFromCivil(2000, 1, 1) == 2451545,
              "the calendar is usable in constant expressions");

}  // namespace
}  // namespace parvell
