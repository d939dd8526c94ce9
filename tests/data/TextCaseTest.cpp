#include "data/TextCase.h"

#include <gtest/gtest.h>

namespace parvell {
namespace {

TEST(TextCase, FoldsWindows1252Letters) {
    struct Case {
        const char* name;
        std::string lower, upper;
    } cases[] = {
        {"ascii", "street 2", "STREET 2"},
        {"accented", "\xE9t\xE9 \xE0 \xF1o\xF1o", "\xC9T\xC9 \xC0 \xD1O\xD1O"},
        {"s caron, oe, z caron, y diaeresis", "\x9A\x9C\x9E\xFF", "\x8A\x8C\x8E\x9F"},
        {"not letters", "\xF7\xD7 123 \xA9", "\xF7\xD7 123 \xA9"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AnsiUpperCase(c.lower), c.upper) << c.name;
        EXPECT_EQ(AnsiLowerCase(c.upper), c.lower) << c.name;
        EXPECT_TRUE(AnsiSameText(c.lower, c.upper)) << c.name;
    }
    // Letters without a single-byte partner stay as they are.
    EXPECT_EQ(AnsiUpperCase("\xDF\xB5"), "\xDF\xB5");
}

TEST(TextCase, ComparesFoldedBytesAsUnsigned) {
    EXPECT_EQ(AnsiCompareText("abc", "ABC"), 0);
    EXPECT_LT(AnsiCompareText("abc", "abd"), 0);
    EXPECT_LT(AnsiCompareText("ab", "abc"), 0);
    EXPECT_GT(AnsiCompareText("\xE9", "z"), 0);  // high bytes sort after ASCII
    EXPECT_FALSE(AnsiSameText("abc", "abcd"));
}

TEST(TextCase, WidensAndNarrowsWindows1252) {
    const std::string ansi = "\x80 caf\xE9 \x81 \x9F";
    const std::u16string wide = AnsiToWide(ansi);
    EXPECT_EQ(wide, u"\u20AC caf\u00E9 \u0081 \u0178");
    EXPECT_EQ(WideToAnsi(wide), ansi);
    EXPECT_EQ(WideToAnsi(u"\u4E2D x"), "? x");
}

}  // namespace
}  // namespace parvell
