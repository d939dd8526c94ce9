// Reading numbers from text without the process's locale: the same answers as strtod in the "C"
// locale, also while a decimal-comma locale is set.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <string>

#include "common/NumberText.h"
#include "tests/common/GeneratedLocales.h"

namespace parvell {
namespace {

struct Case {
    const char* text;
    double value;
    size_t consumed;
};

const Case kCases[] = {
    {"2.25", 2.25, 4},
    {"  -12", -12, 5},
    {"+3.5e2x", 350, 6},
    {"1e", 1, 1},
    {".5", 0.5, 2},
    {"5.", 5, 2},
    {"0x1A", 26, 4},
    {"0x", 0, 1},
    {"12abc", 12, 2},
    {"abc", 0, 0},
    {"", 0, 0},
    {"-", 0, 0},
    {"1,5", 1, 1},
    {"1e400", HUGE_VAL, 5},
    {"1e-400", 0, 6},
    {"-inf", -HUGE_VAL, 4},
    {"Infinity!", HUGE_VAL, 8},
    {"\t7\n", 7, 2},
};

TEST(NumberText, ReadsAsStrtodInTheCLocaleWhateverLocaleIsSet) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.text);
        size_t consumed = 99;
        EXPECT_EQ(ReadDouble(c.text, &consumed), c.value);
        EXPECT_EQ(consumed, c.consumed);
        char* end = nullptr;
        EXPECT_EQ(std::strtod(c.text, &end), c.value) << "the table disagrees with strtod";
        EXPECT_EQ(static_cast<size_t>(end - c.text), c.consumed);
    }
}

TEST(NumberText, WholeTextMustBeOneFiniteNumber) {
    EXPECT_EQ(WholeFiniteDouble(" 2.25 "), 2.25);
    EXPECT_EQ(WholeFiniteDouble("-0.0001"), -0.0001);
    for (const char* text : {"", " ", "2,25", "2.25x", "1e400", "nan", "inf", "-"}) {
        EXPECT_FALSE(WholeFiniteDouble(text).has_value()) << text;
    }
}

TEST(NumberText, ADecimalCommaLocaleChangesNothing) {
    const test::TGeneratedLocales locales({"de_DE.UTF-8"});
    if (!locales.Available()) GTEST_SKIP() << "localedef is not installed";
    const test::TScopedLocaleEnv env({{"LOCPATH", locales.Path()}});
    ASSERT_NE(std::setlocale(LC_NUMERIC, "de_DE.UTF-8"), nullptr);
    EXPECT_EQ(std::strtod("2,25", nullptr), 2.25) << "the locale does not read a decimal comma";
    EXPECT_EQ(WholeFiniteDouble("2.25"), 2.25);
    EXPECT_FALSE(WholeFiniteDouble("2,25").has_value());
    EXPECT_EQ(ReadDouble("-1.5e1"), -15);
    std::setlocale(LC_NUMERIC, "C");
}

}  // namespace
}  // namespace parvell
