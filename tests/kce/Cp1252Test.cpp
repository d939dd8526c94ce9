// Windows-1252 from UTF-8 as records are encoded: the ASCII run at the start, the characters after
// it, and the capacity that cuts both.
#include <gtest/gtest.h>

#include <string>

#include "kce/Cp1252.h"

namespace {

struct FromUtf8Case {
    const char* name;
    std::string utf8;
    size_t capacity;
    std::string expected;
};

class FromUtf8Table : public ::testing::TestWithParam<FromUtf8Case> {};

TEST_P(FromUtf8Table, WritesTheCodePageBytes) {
    const FromUtf8Case& c = GetParam();
    std::string out(c.capacity + 4, '#');  // bytes past the capacity must stay untouched
    const size_t n = kce::FromUtf8(c.utf8.data(), c.utf8.size(), out.data(), c.capacity);
    EXPECT_EQ(out.substr(0, n), c.expected);
    EXPECT_EQ(out.substr(c.capacity), "####");
}

INSTANTIATE_TEST_SUITE_P(
    Texts, FromUtf8Table,
    ::testing::Values(FromUtf8Case{"Empty", "", 8, ""},
                      FromUtf8Case{"AsciiOnly", "GOM00000", 8, "GOM00000"},
                      FromUtf8Case{"AsciiCutAtTheCapacity", "Smithers", 5, "Smith"},
                      FromUtf8Case{"LatinAfterAscii", "Jos\xC3\xA9 M", 8, "Jos\xE9 M"},
                      FromUtf8Case{"HighRangeOfTheCodePage", "\xE2\x82\xAC 5", 8, "\x80 5"},
                      FromUtf8Case{"NoByteForTheCharacter",
                                   "a\xE2\x88\x9E"
                                   "b",
                                   8, "a?b"},
                      FromUtf8Case{"MalformedSequence",
                                   "ab\xC3"
                                   "c",
                                   8, "ab?c"},
                      FromUtf8Case{"OverlongNulIsNoNul",
                                   "a\xC0\x80"
                                   "b",
                                   8, "a??b"},
                      FromUtf8Case{"CapacityCutsAfterAscii", "ab\xC3\xA9\xC3\xA9", 3, "ab\xE9"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
