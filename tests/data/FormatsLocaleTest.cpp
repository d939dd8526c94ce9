// Filling the text conventions from the C library's locale items.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "data/Formats.h"
#include "data/LocaleItems.h"

namespace parvell {
namespace {

TEST(LocaleItemsTest, Utf8TextsBecomeWindows1252) {
    const struct {
        const char* name;
        std::string utf8;
        std::string text;
    } cases[] = {
        {"ascii", "abc", "abc"},
        {"latin letter", "caf\xC3\xA9", "caf\xE9"},
        {"euro sign", "\xE2\x82\xAC", "\x80"},
        {"left double quote", "\xE2\x80\x9C", "\x93"},
        {"not in the code page", "z\xC5\x82", "z?"},
        {"narrow no-break space", "\xE2\x80\xAF", "\xA0"},
        {"two wide characters", "\xE6\x97\xA5\xE6\x9C\xAC", "??"},
        {"four-byte character", "\xF0\x9F\x98\x80!", "?!"},
        {"stray continuation byte", "a\x80" "b", "a?b"},
        {"truncated sequence", "a\xC3", "a?"},
        {"overlong form", "\xC0\xAF", "??"},
        {"surrogate", "\xED\xA0\x80", "???"},
    };
    for (const auto& c : cases) EXPECT_EQ(Utf8ToWindows1252(c.utf8), c.text) << c.name;
}

TEST(LocaleItemsTest, SeparatorTakesOnlyOneCharacter) {
    char item = ',';
    TakeSeparator(item, "..");
    EXPECT_EQ(item, ',');
    TakeSeparator(item, ".");
    EXPECT_EQ(item, '.');
    TakeSeparator(item, "");
    EXPECT_EQ(item, '\0');
}

TEST(LocaleItemsTest, DateFormatsBecomeDatePatterns) {
    const struct {
        const char* format;
        const char* pattern;
        const char* separator;
    } cases[] = {
        {"%m/%d/%Y", "MM/dd/yyyy", "/"},
        {"%d.%m.%Y", "dd.MM.yyyy", "."},
        {"%Y-%m-%d", "yyyy-MM-dd", "-"},
        {"%-m/%-d/%y", "M/d/yy", "/"},
        {"%e de %B de %Y", "d \"de\" MMMM \"de\" yyyy", " de "},
        {"%D", "MM/dd/yy", ""},
        {"%F", "yyyy-MM-dd", ""},
        {"%a %d %b %Ey", "ddd dd MMM yy", " "},
        {"%d'%m\"%Y %%", "dd\"'\"MM'\"'yyyy %", "'"},
        {"%Y%m%d", "yyyyMMdd", ""},
        {"%H:%M %q", ": ", ":"},
        {"100%", "100%", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DatePatternFromStrftime(c.format), c.pattern) << c.format;
        EXPECT_EQ(SeparatorFromStrftime(c.format), c.separator) << c.format;
    }
}

TEST(LocaleItemsTest, TimeFormatsGiveTheTimePatterns) {
    const struct {
        const char* format;
        const char* shortPattern;
        const char* longPattern;
    } cases[] = {
        {"%I:%M:%S %p", "hh:mm AMPM", "hh:mm:ss AMPM"},
        {"%l:%M:%S %p", "h:mm AMPM", "h:mm:ss AMPM"},
        {"%-I:%M %p", "h:mm AMPM", "h:mm:ss AMPM"},
        {"%p %I:%M:%S", "AMPM hh:mm", "AMPM hh:mm:ss"},
        {"%H:%M:%S", "hh:mm", "hh:mm:ss"},
        {"%k.%M", "h:mm", "h:mm:ss"},
    };
    for (const auto& c : cases) {
        const TTimeConvention convention = TimeConventionFromStrftime(c.format);
        EXPECT_TRUE(convention.Found) << c.format;
        EXPECT_EQ(ShortTimePatternFor(convention), c.shortPattern) << c.format;
        EXPECT_EQ(LongTimePatternFor(convention), c.longPattern) << c.format;
    }
    EXPECT_FALSE(TimeConventionFromStrftime("%M:%S").Found);
}

TEST(LocaleItemsTest, MonetaryItemsGiveCurrencyPlacements) {
    EXPECT_EQ(PositiveCurrencyPlacement(true, false), 0);
    EXPECT_EQ(PositiveCurrencyPlacement(false, false), 1);
    EXPECT_EQ(PositiveCurrencyPlacement(true, true), 2);
    EXPECT_EQ(PositiveCurrencyPlacement(false, true), 3);
    const struct {
        bool precedes;
        bool space;
        int signPosition;
        int placement;
    } cases[] = {
        {true, false, 0, 0},  {true, true, 0, 14},  {false, false, 0, 4}, {false, true, 0, 15},
        {true, false, 1, 1},  {true, true, 1, 9},   {false, false, 1, 5}, {false, true, 1, 8},
        {true, false, 2, 3},  {true, true, 2, 11},  {false, false, 2, 7}, {false, true, 2, 10},
        {false, false, 3, 6}, {false, true, 3, 13}, {true, false, 4, 2},  {true, true, 4, 12},
        {true, false, 127, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(NegativeCurrencyPlacement(c.precedes, c.space, c.signPosition), c.placement)
            << c.precedes << c.space << c.signPosition;
    }
}

TEST(LocaleItemsTest, DatePatternTranslationForEraCalendarsAndCjkLocales) {
    EXPECT_EQ(TranslateDatePattern("gg y/MM/dd", true, true), "ggg e/MM/dd");
    EXPECT_EQ(TranslateDatePattern("yyyy yy yyy", true, false), "eeee ee yyy");
    EXPECT_EQ(TranslateDatePattern("gg yyyy/MM/dd 'g'", false, true), " yyyy/MM/dd 'g'");
    EXPECT_EQ(TranslateDatePattern("gg yyyy", false, false), "gg yyyy");
}

// Sets an environment variable for the life of the object, then puts the old value back.
class TScopedEnv {
public:
    TScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        setenv(name, value, 1);
    }
    ~TScopedEnv() {
        if (old_) {
            setenv(name_, old_->c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

class LoadLocaleFormatsTest : public ::testing::Test {
protected:
    void SetUp() override { saved_ = LocaleFormats; }
    void TearDown() override { LocaleFormats = saved_; }

private:
    TLocaleFormats saved_;
};

TEST_F(LoadLocaleFormatsTest, PosixLocaleItems) {
    const TScopedEnv env("LC_ALL", "C");
    LocaleFormats.ShortDatePattern = "MM/DD/yyyy";  // discarded by a reload
    LoadLocaleFormats();
    EXPECT_EQ(LocaleFormats.DecimalChar, '.');
    EXPECT_EQ(LocaleFormats.ThousandsChar, '\0');  // the C locale groups nothing
    EXPECT_EQ(LocaleFormats.ShortDatePattern, "MM/dd/yy");
    EXPECT_EQ(LocaleFormats.DateSepChar, '/');
    EXPECT_EQ(LocaleFormats.TimeSepChar, ':');
    EXPECT_EQ(LocaleFormats.LongTimePattern, "hh:mm:ss");
    EXPECT_EQ(LocaleFormats.ShortTimePattern, "hh:mm");
    EXPECT_EQ(LocaleFormats.AmText, "AM");
    EXPECT_EQ(LocaleFormats.PmText, "PM");
    EXPECT_EQ(LocaleFormats.CurrencySymbol, "");
    EXPECT_EQ(LocaleFormats.CurrencyDigits, 0);
    EXPECT_EQ(LocaleFormats.MonthNamesLong[8], "September");
    EXPECT_EQ(LocaleFormats.DayNamesShort[0], "Sun");
    EXPECT_EQ(LocaleFormats.LongDatePattern, "mmmm d, yyyy");  // not a C library item
    EXPECT_EQ(DateTimeText("", 39462.5), "01/15/08 12:00:00");
}

TEST_F(LoadLocaleFormatsTest, UnknownLocaleLeavesTheCItems) {
    const TScopedEnv env("LC_ALL", "xx_NOWHERE.UTF-8");
    LoadLocaleFormats();
    EXPECT_EQ(LocaleFormats.DecimalChar, '.');
    EXPECT_EQ(LocaleFormats.ShortDatePattern, "MM/dd/yy");
    EXPECT_EQ(LocaleFormats.MonthNamesShort[0], "Jan");
}

}  // namespace
}  // namespace parvell
