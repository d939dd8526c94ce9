// Date-time texts under patterns.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "data/Formats.h"

namespace parvell {
namespace {

// Day counts from 1899-12-30.
constexpr double k2008Jan15 = 39462;  // a Tuesday
constexpr double k2008Jan05 = 39452;  // a Saturday
constexpr double kHour = 1.0 / 24;
constexpr double kMinute = kHour / 60;
constexpr double kSecond = kMinute / 60;

// The United States English items with the program's date pattern, as the engine settings
// leave them; the process record is put back after each test.
class DateTimeTextTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = LocaleFormats;
        LocaleFormats = TLocaleFormats::UnitedStates();
        LocaleFormats.ShortDatePattern = "MM/DD/yyyy";
        LocaleFormats.DateSepChar = '/';
    }
    void TearDown() override { LocaleFormats = saved_; }

private:
    TLocaleFormats saved_;
};

TEST_F(DateTimeTextTest, ProgramDatesAndTimesUnderUnitedStatesItems) {
    const struct {
        const char* name;
        const char* pattern;
        double value;
        const char* text;
    } cases[] = {
        {"date only", "", k2008Jan15, "01/15/2008"},
        {"date and time", "", k2008Jan15 + 14 * kHour + 30 * kMinute, "01/15/2008 2:30:00 PM"},
        {"milliseconds are not a time", "", k2008Jan15 + 0.4 * kSecond, "01/15/2008"},
        {"short date pattern", "MM/DD/yyyy", k2008Jan15 + 0.75, "01/15/2008"},
        {"long time", "h:mm:ss AMPM", 9 * kHour + 5 * kMinute + 7 * kSecond, "9:05:07 AM"},
        {"midnight", "h:mm:ss AMPM", 0, "12:00:00 AM"},
        {"noon", "h:mm:ss AMPM", 0.5, "12:00:00 PM"},
        {"rounds to the next midnight", "", k2008Jan15 + 0.99999999999, "01/16/2008"},
        {"negative counts the time of the date below", "", -1.25, "12/29/1899 6:00:00 AM"},
        {"first day of the calendar", "", -693593, "01/01/0001"},
        {"before the calendar", "", -693594, "00/00/0000"},
        {"after 9999", "", 2958466, "01/01/10000"},
        {"leap day", "", 40968, "02/29/2012"},
        {"not a number", "", std::nan(""), "00/00/0000"},
        {"infinity", "", std::numeric_limits<double>::infinity(), "00/00/0000"},
        {"beyond counting", "", 1e300, "00/00/0000"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DateTimeText(c.pattern, c.value), c.text) << c.name;
        std::string appended = "|";
        AppendDateTimeText(appended, c.pattern, c.value);
        EXPECT_EQ(appended, std::string("|") + c.text) << c.name;
    }
}

TEST_F(DateTimeTextTest, PatternTokens) {
    // Saturday 2008-01-05 14:03:09.045
    const double value = k2008Jan05 + 14 * kHour + 3 * kMinute + 9 * kSecond + 45 * kSecond / 1000;
    const struct {
        const char* pattern;
        const char* text;
    } cases[] = {
        {"d-m-yy", "5-1-08"},
        {"dd-mm-yyyy", "05-01-2008"},
        {"y yyy", "08 2008"},
        {"ddd dddd", "Sat Saturday"},
        {"aaa aaaa", "Sat Saturday"},
        {"mmm mmmm MMMMM", "Jan January January"},
        {"mm/dd", "01/05"},
        {"hh:mm", "14:03"},   // minutes after an hour token
        {"h:mmm", "14:03"},   // whatever the count
        {"h x m", "14 x 1"},  // a copied letter ends the hour's reach
        {"n nn s ss", "3 03 9 09"},
        {"z zz zzz", "45 45 045"},
        {"H:nn am/pm", "2:03 pm"},
        {"h:nn AM/PM", "2:03 PM"},
        {"h:nn Am/pM", "2:03 pM"},
        {"h a/p", "2 p"},
        {"h A/P", "2 P"},
        {"h:nn ampm", "2:03 PM"},
        {"ampm h", "PM 2"},          // hours after a marker are on the 12-hour clock
        {"hh 'am/pm'", "14 am/pm"},  // quoted text is no marker
        {"hh ax", "14 ax"},          // the first "a" starts no marker
        {"hh h am/pm", "14 2 pm"},   // a further "h" first: only the later one is 12-hour
        {"ddddd", "01/05/2008"},
        {"dddddd", "Saturday, January 5, 2008"},
        {"t", "2:03 PM"},
        {"tt", "2:03:09 PM"},
        {"c", "01/05/2008 2:03:09 PM"},
        {"'day' d", "day 5"},
        {"\"h\"h", "h14"},
        {"d \"it's\"", "5 it's"},
        {"d 'unclosed", "5 unclosed"},
        {"d x#q!", "5 x#q!"},
        {"e g", "2008 "},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DateTimeText(c.pattern, value), c.text) << c.pattern;
    }
}

TEST_F(DateTimeTextTest, SeparatorsComeFromTheLocaleItems) {
    LocaleFormats.DateSepChar = '-';
    LocaleFormats.TimeSepChar = '.';
    EXPECT_EQ(DateTimeText("", k2008Jan15 + 0.5), "01-15-2008 12.00.00 PM");
    LocaleFormats.DateSepChar = '\0';
    LocaleFormats.TimeSepChar = '\0';
    EXPECT_EQ(DateTimeText("", k2008Jan15 + 0.5), "01152008 120000 PM");
}

TEST_F(DateTimeTextTest, EmptyMarkerTextKeepsTheBlankBeforeIt) {
    LocaleFormats.AmText = "";
    EXPECT_EQ(DateTimeText("h:mm ampm", 9 * kHour), "9:00 ");
}

TEST_F(DateTimeTextTest, NamedPatternsExpandOnlyOneLevel) {
    LocaleFormats.ShortDatePattern = "c/ddddd/t";
    LocaleFormats.LongTimePattern = "tt hh";
    EXPECT_EQ(DateTimeText("", k2008Jan15 + 0.5), "//  12");
    EXPECT_EQ(DateTimeText("dddddd", k2008Jan15), "Tuesday, January 15, 2008");
    LocaleFormats.LongDatePattern = "dddddd";
    EXPECT_EQ(DateTimeText("dddddd!", k2008Jan15), "!");
}

// A pattern kept compiled (by a field or a column) writes what DateTimeText writes for every
// value, whichever pattern it was handed last, and follows changes of the locale items it names.
TEST_F(DateTimeTextTest, ACompiledPatternFollowsPatternsAndLocaleItems) {
    const double afternoon = k2008Jan15 + 14 * kHour + 30 * kMinute;
    TDateTimePattern pattern;
    EXPECT_EQ(pattern.Text("", afternoon), "01/15/2008 2:30:00 PM");
    EXPECT_EQ(pattern.Text("", k2008Jan15), "01/15/2008");
    EXPECT_EQ(pattern.Text("yyyy", afternoon), "2008");
    EXPECT_EQ(pattern.Text("", afternoon), "01/15/2008 2:30:00 PM");

    LocaleFormats.ShortDatePattern = "yyyy-mm-dd";
    EXPECT_EQ(pattern.Text("", afternoon), "2008-01-15 2:30:00 PM");
    LocaleFormats.LongTimePattern = "hh:nn' h'";
    EXPECT_EQ(pattern.Text("", afternoon), "2008-01-15 14:30 h");
    // Text after the time of a "c" is written at midnight too.
    EXPECT_EQ(pattern.Text("c' x'", k2008Jan15), "2008-01-15 x");
    EXPECT_EQ(pattern.Text("c' x'", afternoon), "2008-01-15 14:30 h x");
    LocaleFormats.DateSepChar = '.';
    EXPECT_EQ(pattern.Text("dd/mm", afternoon), "15.01");
    LocaleFormats.ShortTimePattern = "h AMPM";
    LocaleFormats.PmText = "p.m.";
    EXPECT_EQ(pattern.Text("t", afternoon), "2 p.m.");

    std::string line = "x";
    pattern.Append(line, "ddddd", afternoon);
    EXPECT_EQ(line, "x2008-01-15");
}

// Patterns compiled from the same texts share the text written last; a value written again
// follows every locale item that changed in between, and a different pattern writes its own.
TEST_F(DateTimeTextTest, AValueWrittenAgainFollowsTheLocaleItems) {
    const double afternoon = k2008Jan15 + 14 * kHour + 30 * kMinute;
    TDateTimePattern first;
    TDateTimePattern second;
    EXPECT_EQ(first.Text("", afternoon), "01/15/2008 2:30:00 PM");
    EXPECT_EQ(second.Text("", afternoon), "01/15/2008 2:30:00 PM");
    EXPECT_EQ(second.Text("yyyy", afternoon), "2008");
    LocaleFormats.DateSepChar = '-';
    EXPECT_EQ(first.Text("", afternoon), "01-15-2008 2:30:00 PM");
    LocaleFormats.TimeSepChar = '.';
    EXPECT_EQ(second.Text("", afternoon), "01-15-2008 2.30.00 PM");
    LocaleFormats.LongTimePattern = "hh:nn";
    EXPECT_EQ(first.Text("", afternoon), "01-15-2008 14.30");
    EXPECT_EQ(first.Text("mmmm", afternoon), "January");
    LocaleFormats.MonthNamesLong[0] = "Janvier";
    EXPECT_EQ(second.Text("mmmm", afternoon), "Janvier");
    EXPECT_EQ(first.Text("h AMPM", afternoon), "2 PM");
    LocaleFormats.PmText = "p.m.";
    EXPECT_EQ(second.Text("h AMPM", afternoon), "2 p.m.");
}

TEST_F(DateTimeTextTest, ResultIsLimitedTo256Characters) {
    const std::string longText(300, 'x');
    EXPECT_EQ(DateTimeText(longText, 0), std::string(256, 'x'));
    LocaleFormats.LongDatePattern = "'" + std::string(250, '-') + "'";
    EXPECT_EQ(DateTimeText("dddddd dddddd", 0), std::string(250, '-') + " " + std::string(5, '-'));
}

TEST_F(DateTimeTextTest, DecodeSplitsDateAndTime) {
    const TDateTimeParts parts = DecodeDateTime(-1.25);
    EXPECT_EQ(parts.Year, 1899);
    EXPECT_EQ(parts.Month, 12);
    EXPECT_EQ(parts.Day, 29);
    EXPECT_EQ(parts.DayOfWeek, 5);  // Friday
    EXPECT_EQ(parts.Hour, 6);
    EXPECT_EQ(parts.Minute, 0);

    const TDateTimeParts exact = DecodeDateTime(k2008Jan15 + 23 * kHour + 59 * kMinute +
                                                59 * kSecond + 999 * kSecond / 1000);
    EXPECT_EQ(exact.Day, 15);
    EXPECT_EQ(exact.DayOfWeek, 2);  // Tuesday
    EXPECT_EQ(exact.Hour, 23);
    EXPECT_EQ(exact.Minute, 59);
    EXPECT_EQ(exact.Second, 59);
    EXPECT_EQ(exact.Millisecond, 999);
}

}  // namespace
}  // namespace parvell

namespace parvell {
namespace {

// Random patterns of token characters, quotes and separators over random values: the text stays
// within 256 characters and nothing faults (meant for the sanitizer build as much as for this).
TEST_F(DateTimeTextTest, AnyPatternAndValueFormatsWithoutFault) {
    uint64_t seed = 2463534242ull;
    auto next = [&seed] {
        seed ^= seed << 13;
        seed ^= seed >> 7;
        seed ^= seed << 17;
        return seed;
    };
    const std::string alphabet = "cdmyhnsztaAeg/:'\" xMDYHNSZTP";
    LocaleFormats.ShortDatePattern = "ddddd c tt";
    LocaleFormats.LongTimePattern = "hh:nn:ss AM/PM dddddd";
    for (int i = 0; i < 20000; ++i) {
        std::string pattern(next() % 40, ' ');
        for (char& c : pattern) c = alphabet[next() % alphabet.size()];
        const uint64_t bits = next();
        double value;
        std::memcpy(&value, &bits, sizeof value);
        if (i % 2 == 0)
            value = static_cast<double>(static_cast<int64_t>(bits % 8000000)) - 4000000 +
                    static_cast<double>(bits % 1000) / 1000;
        EXPECT_LE(DateTimeText(pattern, value).size(), 256u) << pattern;
    }
}

}  // namespace
}  // namespace parvell
