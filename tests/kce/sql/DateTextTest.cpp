#include "kce/sql/DateText.h"

#include <gtest/gtest.h>

namespace kce::sql {
namespace {

struct DateCase {
    const char* name;
    const char* text;
    const char* format;
    const char* expected;  // nullptr: not a date
};

class ReadDateTest : public testing::TestWithParam<DateCase> {};

TEST_P(ReadDateTest, ReadsOrRefuses) {
    const DateCase& c = GetParam();
    std::optional<std::string> date = ReadDate(c.text, c.format);
    if (c.expected) {
        ASSERT_TRUE(date.has_value()) << c.text;
        EXPECT_EQ(*date, c.expected);
    } else {
        EXPECT_FALSE(date.has_value()) << c.text << " read as " << *date;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadDateTest,
    testing::Values(DateCase{"EngineFormat", "01/01/2008", "MM/DD/CCYY", "2008-01-01"},
                    DateCase{"OneDigitMonthAndDay", "3/5/1999", "MM/DD/CCYY", "1999-03-05"},
                    DateCase{"Iso", "1999-12-31", "MM/DD/CCYY", "1999-12-31"},
                    DateCase{"BlanksAround", "  12/31/1999 ", "MM/DD/CCYY", "1999-12-31"},
                    DateCase{"DayFirstFormat", "31.12.1999", "DD.MM.CCYY", "1999-12-31"},
                    DateCase{"TwoDigitYearRecent", "01/02/07", "MM/DD/YY", "2007-01-02"},
                    DateCase{"TwoDigitYearOld", "01/02/67", "MM/DD/YY", "1967-01-02"},
                    DateCase{"LeapDay", "02/29/2000", "MM/DD/CCYY", "2000-02-29"},
                    DateCase{"NoLeapDayIn1900", "02/29/1900", "MM/DD/CCYY", nullptr},
                    DateCase{"MonthThirteen", "13/01/2000", "MM/DD/CCYY", nullptr},
                    DateCase{"DayZero", "01/00/2000", "MM/DD/CCYY", nullptr},
                    DateCase{"WrongSeparator", "01-01-2000", "MM/DD/CCYY", nullptr},
                    DateCase{"TrailingText", "01/01/2000x", "MM/DD/CCYY", nullptr},
                    DateCase{"ShortYear", "01/01/200", "MM/DD/CCYY", nullptr},
                    DateCase{"Empty", "", "MM/DD/CCYY", nullptr},
                    DateCase{"Words", "yesterday", "MM/DD/CCYY", nullptr}),
    [](const testing::TestParamInfo<DateCase>& info) { return std::string(info.param.name); });

TEST(ReadTimeTest, ReadsClockTimes) {
    EXPECT_EQ(ReadTime("13:05"), "13:05:00.000");
    EXPECT_EQ(ReadTime("13:05:09.5"), "13:05:09.500");
    EXPECT_EQ(ReadTime("12:00 AM"), "00:00:00.000");
    EXPECT_EQ(ReadTime("1:30 PM"), "13:30:00.000");
    EXPECT_FALSE(ReadTime("24:00"));
    EXPECT_FALSE(ReadTime("13:60"));
    EXPECT_FALSE(ReadTime("13 PM"));
}

TEST(ReadTimestampTest, ReadsDateWithOptionalTime) {
    EXPECT_EQ(ReadTimestamp("01/02/2003", "MM/DD/CCYY"), "2003-01-02 00:00:00.000");
    EXPECT_EQ(ReadTimestamp("2003-01-02 04:05:06.007", "MM/DD/CCYY"), "2003-01-02 04:05:06.007");
    EXPECT_EQ(ReadTimestamp("2003-01-02T04:05", "MM/DD/CCYY"), "2003-01-02 04:05:00.000");
    EXPECT_FALSE(ReadTimestamp("2003-01-02 25:00", "MM/DD/CCYY"));
    EXPECT_FALSE(ReadTimestamp("2003-01-02x04:05", "MM/DD/CCYY"));
}

}  // namespace
}  // namespace kce::sql
