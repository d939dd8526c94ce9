// TKdbSettings: one instance per program, its engine calls and the short date pattern rewrite.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "data/Formats.h"
#include "engine/kdbset.h"
#include "kce/kce.h"

namespace parvell {
namespace {

std::string EngineDateFormat() {
    char text[32] = {};
    uint16_t length = sizeof text - 1;
    KdbGetDateFormat(text, &length);
    return text;
}

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = LocaleFormats;
        LocaleFormats = TLocaleFormats::UnitedStates();
        settings_ = std::make_unique<TKdbSettings>(nullptr, "KdbSettings1");
    }
    void TearDown() override {
        settings_.reset();
        KdbSetDateFormat("MM/DD/CCYY");
        LocaleFormats = saved_;
    }
    TLocaleFormats saved_;
    std::unique_ptr<TKdbSettings> settings_;
};

TEST_F(SettingsTest, FirstInstanceTakesTheEngineDefaults) {
    EXPECT_EQ(settings_->DateFormat(), LocaleFormats.ShortDatePattern);
    EXPECT_EQ(settings_->NumCachedCursors(), 25);
    EXPECT_EQ(settings_->NumCachedTables(), 0);
    EXPECT_TRUE(settings_->SetProcessDate());
    EXPECT_EQ(settings_->KdbServerTypes(),
              (TKdbServerTypes{TKdbServerType::stKDB_REMOTE, TKdbServerType::stKDB_KIS}));
    uint16_t decimals = 0;
    KdbGetDecimals(&decimals);
    EXPECT_EQ(settings_->NumDecimals(), decimals);
}

TEST(SettingsStart, ShowDeletedIsOffAsTheEngineStarts) {
    // A fresh process: the death test runs this body in a new run of the test program.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            TKdbSettings settings(nullptr, "KdbSettings1");
            std::exit(settings.ShowDeleted() ? 1 : 0);
        },
        testing::ExitedWithCode(0), "");
}

TEST_F(SettingsTest, OnlyOneInstanceAtATime) {
    try {
        TKdbSettings second(nullptr, "KdbSettings2");
        FAIL();
    } catch (const Exception& error) {
        EXPECT_EQ(error.Message(), "Only one KdbSettings component is allowed per application");
    }
    settings_.reset();
    EXPECT_NO_THROW(settings_ = std::make_unique<TKdbSettings>(nullptr, "KdbSettings1"));
}

TEST_F(SettingsTest, DateFormatRewritesTheShortDatePattern) {
    struct Case {
        const char* format;
        const char* pattern;
        char separator;
    };
    const Case cases[] = {
        {"MM/DD/CCYY", "MM/DD/yyyy", '/'},
        {"dd.mm.ccyy", "dd.mm.yyyy", '.'},
        {"M-d-yy", "M-d-yy", '-'},
    };
    for (const Case& c : cases) {
        LocaleFormats.DateSepChar = '#';
        settings_->SetDateFormat(c.format);
        EXPECT_EQ(LocaleFormats.ShortDatePattern, c.pattern) << c.format;
        EXPECT_EQ(LocaleFormats.DateSepChar, c.separator) << c.format;
        EXPECT_EQ(settings_->DateFormat(), c.format);
    }
    // The program's setting makes dates read month/day/four-digit year.
    settings_->SetDateFormat("MM/DD/CCYY");
    EXPECT_EQ(DateTimeText(LocaleFormats.ShortDatePattern, 39462.0), "01/15/2008");
}

TEST_F(SettingsTest, LongDateFormatReachesTheEngineCut) {
    settings_->SetDateFormat("MM // DD/YY++++");
    EXPECT_EQ(EngineDateFormat(), "MM // DD/YY");
    EXPECT_EQ(settings_->DateFormat(), "MM // DD/YY++++");
}

TEST_F(SettingsTest, WithoutSetProcessDateOnlyTheEngineChanges) {
    settings_->SetSetProcessDate(false);
    const std::string pattern = LocaleFormats.ShortDatePattern;
    settings_->SetDateFormat("DD.MM.CCYY");
    EXPECT_EQ(EngineDateFormat(), "DD.MM.CCYY");
    EXPECT_EQ(LocaleFormats.ShortDatePattern, pattern);
}

TEST_F(SettingsTest, RefusedValuesRaiseTheEngineText) {
    const std::string before = settings_->DateFormat();
    try {
        settings_->SetDateFormat("QQ");
        FAIL();
    } catch (const KdbError& error) {
        EXPECT_FALSE(error.Message().empty());
    }
    EXPECT_EQ(settings_->DateFormat(), before);
}

TEST_F(SettingsTest, EmptyServerTypesKeepThePreviousSet) {
    settings_->SetKdbServerTypes({TKdbServerType::stKDB_LOCAL});
    try {
        settings_->SetKdbServerTypes({});
        FAIL();
    } catch (const KdbSettingsError& error) {
        EXPECT_EQ(error.Message(), "At least one server type must be selected.");
    }
    EXPECT_EQ(settings_->KdbServerTypes(), TKdbServerTypes{TKdbServerType::stKDB_LOCAL});
}

TEST_F(SettingsTest, CacheAndDecimalsReachTheEngine) {
    settings_->SetNumDecimals(4);
    uint16_t decimals = 0;
    KdbGetDecimals(&decimals);
    EXPECT_EQ(decimals, 4);
    settings_->SetNumDecimals(2);
    settings_->SetShowDeleted(false);
    uint16_t shown = 1;
    KdbGetDeleted(&shown);
    EXPECT_EQ(shown, 0);
    settings_->SetShowDeleted(true);
    KdbGetDeleted(&shown);
    EXPECT_EQ(shown, 1);
    settings_->SetShowDeleted(false);  // the engine's default again
    settings_->SetNumCachedCursors(30);
    EXPECT_EQ(settings_->NumCachedCursors(), 30);
}

}  // namespace
}  // namespace parvell
