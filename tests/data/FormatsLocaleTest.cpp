// Filling the text conventions from the C library's locale items.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/Formats.h"
#include "data/LocaleFormats.h"
#include "data/LocaleItems.h"
#include "tests/common/GeneratedLocales.h"

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
        {"stray continuation byte",
         "a\x80"
         "b",
         "a?b"},
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
        {true, false, 0, 0},   {true, true, 0, 14},  {false, false, 0, 4}, {false, true, 0, 15},
        {true, false, 1, 1},   {true, true, 1, 9},   {false, false, 1, 5}, {false, true, 1, 8},
        {true, false, 2, 3},   {true, true, 2, 11},  {false, false, 2, 7}, {false, true, 2, 10},
        {false, false, 3, 6},  {false, true, 3, 13}, {true, false, 4, 2},  {true, true, 4, 12},
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

using test::TGeneratedLocales;
using test::TScopedLocaleEnv;

TEST(LocaleNamesTest, EffectiveNameFollowsTheCLibrarysOrder) {
    using enum TLocaleCategory;
    const struct {
        const char* name;
        std::vector<TScopedLocaleEnv::Setting> env;
        const char* numeric;
        const char* monetary;
        const char* time;
    } cases[] = {
        {"nothing set", {}, "C", "C", "C"},
        {"LANG only", {{"LANG", "de_DE.UTF-8"}}, "de_DE.UTF-8", "de_DE.UTF-8", "de_DE.UTF-8"},
        {"a category over LANG",
         {{"LANG", "de_DE.UTF-8"}, {"LC_TIME", "en_US.UTF-8"}},
         "de_DE.UTF-8",
         "de_DE.UTF-8",
         "en_US.UTF-8"},
        {"LC_ALL over everything",
         {{"LANG", "de_DE.UTF-8"}, {"LC_MONETARY", "fr_FR.UTF-8"}, {"LC_ALL", "C.UTF-8"}},
         "C.UTF-8",
         "C.UTF-8",
         "C.UTF-8"},
        {"empty values count as unset",
         {{"LC_ALL", ""}, {"LC_NUMERIC", ""}, {"LANG", "fr_FR.UTF-8"}},
         "fr_FR.UTF-8",
         "fr_FR.UTF-8",
         "fr_FR.UTF-8"},
    };
    for (const auto& c : cases) {
        const TScopedLocaleEnv env(c.env);
        EXPECT_EQ(EffectiveLocaleName(Numeric), c.numeric) << c.name;
        EXPECT_EQ(EffectiveLocaleName(Monetary), c.monetary) << c.name;
        EXPECT_EQ(EffectiveLocaleName(Time), c.time) << c.name;
    }
}

TEST(LocaleNamesTest, UnitedStatesNames) {
    for (const char* name : {"C", "POSIX", "C.UTF-8", "C.utf8", "en_US", "en_US.UTF-8",
                             "en_US.utf8", "en_US.ISO-8859-1", "en_US@euro", "en_US.UTF-8@x"}) {
        EXPECT_TRUE(IsUnitedStatesLocaleName(name)) << name;
    }
    for (const char* name : {"", "c", "CC", "C_US", "en", "en_GB.UTF-8", "en_USA", "en_us.UTF-8",
                             "es_US.UTF-8", "POSIX.UTF-8", "de_DE.UTF-8"}) {
        EXPECT_FALSE(IsUnitedStatesLocaleName(name)) << name;
    }
}

// Every item of two records, so that a failure names the item.
void ExpectSameItems(const TLocaleFormats& actual, const TLocaleFormats& expected,
                     const std::string& context) {
    SCOPED_TRACE(context);
    EXPECT_EQ(actual.CurrencySymbol, expected.CurrencySymbol);
    EXPECT_EQ(actual.CurrencyPlacement, expected.CurrencyPlacement);
    EXPECT_EQ(actual.NegCurrencyPlacement, expected.NegCurrencyPlacement);
    EXPECT_EQ(actual.ThousandsChar, expected.ThousandsChar);
    EXPECT_EQ(actual.DecimalChar, expected.DecimalChar);
    EXPECT_EQ(actual.CurrencyDigits, expected.CurrencyDigits);
    EXPECT_EQ(actual.DateSepChar, expected.DateSepChar);
    EXPECT_EQ(actual.ShortDatePattern, expected.ShortDatePattern);
    EXPECT_EQ(actual.LongDatePattern, expected.LongDatePattern);
    EXPECT_EQ(actual.TimeSepChar, expected.TimeSepChar);
    EXPECT_EQ(actual.AmText, expected.AmText);
    EXPECT_EQ(actual.PmText, expected.PmText);
    EXPECT_EQ(actual.ShortTimePattern, expected.ShortTimePattern);
    EXPECT_EQ(actual.LongTimePattern, expected.LongTimePattern);
    EXPECT_EQ(actual.MonthNamesShort, expected.MonthNamesShort);
    EXPECT_EQ(actual.MonthNamesLong, expected.MonthNamesLong);
    EXPECT_EQ(actual.DayNamesShort, expected.DayNamesShort);
    EXPECT_EQ(actual.DayNamesLong, expected.DayNamesLong);
    EXPECT_EQ(actual.ListSepChar, expected.ListSepChar);
}

class LoadLocaleFormatsTest : public ::testing::Test {
protected:
    void SetUp() override { saved_ = LocaleFormats; }
    void TearDown() override { LocaleFormats = saved_; }

private:
    TLocaleFormats saved_;
};

// The C library's default locales and the ones it cannot load give the United States items
// exactly; only the unloadable names are reported.
TEST_F(LoadLocaleFormatsTest, DefaultAndUnloadableLocalesGiveTheUnitedStatesItems) {
    const struct {
        const char* name;
        std::vector<TScopedLocaleEnv::Setting> env;
        std::vector<std::string> unloadable;
    } cases[] = {
        {"nothing set", {}, {}},
        {"C", {{"LC_ALL", "C"}}, {}},
        {"POSIX", {{"LANG", "POSIX"}}, {}},
        {"C.UTF-8", {{"LANG", "C.UTF-8"}}, {}},
        {"unknown locale", {{"LC_ALL", "xx_NOWHERE.UTF-8"}}, {"xx_NOWHERE.UTF-8"}},
        {"two unknown locales",
         {{"LANG", "xx_ONE.UTF-8"}, {"LC_TIME", "xx_TWO"}, {"LC_MONETARY", "C"}},
         {"xx_ONE.UTF-8", "xx_TWO"}},
    };
    for (const auto& c : cases) {
        const TScopedLocaleEnv env(c.env);
        LocaleFormats.ShortDatePattern = "MM/DD/yyyy";  // discarded by a reload
        const TLocaleLoadResult result = LoadLocaleFormats();
        ExpectSameItems(LocaleFormats, TLocaleFormats::UnitedStates(), c.name);
        EXPECT_EQ(result.Unloadable, c.unloadable) << c.name;
    }
    EXPECT_EQ(DateTimeText("", 39462.5), "1/15/2008 12:00:00 PM");
    EXPECT_EQ(CurrencyTextStyled(-12345000, TFloatFormat::Currency, 2), "($1,234.50)");
}

// Real locales made by localedef: en_US is the United States items, not the C library's
// reading of it (which would give "09:05:07 AM" and "-$1,234.50"); a decimal-comma locale is
// read from the C library with its texts in Windows-1252; categories mix as the variables say.
TEST_F(LoadLocaleFormatsTest, GeneratedLocales) {
    const TGeneratedLocales locales({"en_US.UTF-8", "de_DE.UTF-8"});
    if (!locales.Available()) GTEST_SKIP() << "localedef is not installed";
    {
        const TScopedLocaleEnv env({{"LOCPATH", locales.Path()}, {"LANG", "en_US.UTF-8"}});
        EXPECT_TRUE(LoadLocaleFormats().Unloadable.empty());
        ExpectSameItems(LocaleFormats, TLocaleFormats::UnitedStates(), "en_US.UTF-8");
        EXPECT_EQ(DateTimeText("tt", 9 / 24.0 + 5 / 1440.0 + 7 / 86400.0), "9:05:07 AM");
    }
    {
        const TScopedLocaleEnv env({{"LOCPATH", locales.Path()}, {"LC_ALL", "de_DE.UTF-8"}});
        EXPECT_TRUE(LoadLocaleFormats().Unloadable.empty());
        EXPECT_EQ(LocaleFormats.DecimalChar, ',');
        EXPECT_EQ(LocaleFormats.ThousandsChar, '.');
        EXPECT_EQ(LocaleFormats.CurrencySymbol, "\x80");  // the euro sign
        EXPECT_EQ(LocaleFormats.CurrencyDigits, 2);
        EXPECT_EQ(LocaleFormats.CurrencyPlacement, 3);
        EXPECT_EQ(LocaleFormats.NegCurrencyPlacement, 8);
        EXPECT_EQ(LocaleFormats.ShortDatePattern, "dd.MM.yyyy");
        EXPECT_EQ(LocaleFormats.DateSepChar, '.');
        EXPECT_EQ(LocaleFormats.LongTimePattern, "hh:mm:ss");
        EXPECT_EQ(LocaleFormats.MonthNamesShort[2], "M\xE4r");
        EXPECT_EQ(LocaleFormats.DayNamesLong[0], "Sonntag");
        EXPECT_EQ(FloatText(1.5), "1,5");
        EXPECT_EQ(CurrencyTextStyled(-12345000, TFloatFormat::Currency, 2), "-1.234,50 \x80");
        EXPECT_EQ(DateTimeText("", 39462.5), "15.01.2008 12:00:00");
    }
    {
        const TScopedLocaleEnv env({{"LOCPATH", locales.Path()},
                                    {"LANG", "de_DE.UTF-8"},
                                    {"LC_TIME", "en_US.UTF-8"},
                                    {"LC_MONETARY", "xx_NOWHERE"}});
        EXPECT_EQ(LoadLocaleFormats().Unloadable, std::vector<std::string>{"xx_NOWHERE"});
        EXPECT_EQ(LocaleFormats.DecimalChar, ',');
        EXPECT_EQ(LocaleFormats.CurrencySymbol, "$");
        EXPECT_EQ(LocaleFormats.CurrencyDigits, 2);
        EXPECT_EQ(LocaleFormats.LongTimePattern, "h:mm:ss AMPM");
        EXPECT_EQ(LocaleFormats.MonthNamesShort[2], "Mar");
        EXPECT_EQ(CurrencyTextStyled(-12345000, TFloatFormat::Currency, 2), "($1.234,50)");
    }
}

}  // namespace
}  // namespace parvell
