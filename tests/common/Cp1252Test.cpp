// The Windows-1252 codec: byte <-> code point, strict UTF-8 reading and case folding.
#include <gtest/gtest.h>

#include <string>

#include "common/Cp1252.h"

namespace parvell::cp1252 {
namespace {

TEST(Cp1252Test, EveryByteRoundTripsThroughUtf8) {
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    const std::string utf8 = Utf8FromCp1252(all);
    EXPECT_TRUE(IsValidUtf8(utf8));
    EXPECT_EQ(Cp1252FromUtf8(utf8), all);
    for (unsigned char b : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) EXPECT_EQ(Decode(b), b) << int(b);
    EXPECT_EQ(Decode(0x80), U'\u20AC');
    EXPECT_EQ(Decode(0x9F), U'\u0178');
    EXPECT_EQ(Encode(U'\u2122'), 0x99);
    EXPECT_EQ(Encode(U'\u0142'), -1);
}

TEST(Cp1252Test, Utf8ToCp1252) {
    const struct {
        const char* name;
        std::string utf8;
        std::string text;
    } cases[] = {
        {"ascii", "abc", "abc"},
        {"latin letter", "caf\xC3\xA9", "caf\xE9"},
        {"euro sign", "\xE2\x82\xAC", "\x80"},
        {"unassigned byte's control", "\xC2\x81", "\x81"},
        {"not in the code page", "z\xC5\x82", "z?"},
        {"four-byte character", "\xF0\x9F\x98\x80!", "?!"},
        {"two-byte overlong NUL",
         "a\xC0\x80"
         "b",
         "a??b"},
        {"two-byte overlong slash", "\xC1\xAF", "??"},
        {"three-byte overlong NUL", "\xE0\x80\x80", "???"},
        {"four-byte overlong NUL", "\xF0\x80\x80\x80", "????"},
        {"surrogate", "\xED\xA0\x80", "???"},
        {"above U+10FFFF", "\xF4\x90\x80\x80", "????"},
        {"lead byte past F4",
         "\xF5\x80"
         "a\xFF",
         "??a?"},
        {"stray continuation byte",
         "a\x80"
         "b",
         "a?b"},
        {"truncated two-byte at end", "a\xC3", "a?"},
        {"truncated three-byte at end", "a\xE2\x82", "a?"},
        {"truncated four-byte before ASCII",
         "\xF0\x9F\x98"
         "a",
         "?a"},
        {"truncated three-byte before a lead", "\xE2\x82\xC3\xA9", "?\xE9"},
        {"last valid code point", "\xF4\x8F\xBF\xBF", "?"},
        {"last code point before surrogates", "\xED\x9F\xBF", "?"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Cp1252FromUtf8(c.utf8), c.text) << c.name;
        EXPECT_EQ(Cp1252FromUtf8(c.utf8).find('\0'), std::string::npos) << c.name;
    }
}

TEST(Cp1252Test, BoundedConversionStopsAtCapacity) {
    char out[4];
    EXPECT_EQ(Cp1252FromUtf8("ab\xC3\xA9\xE2\x82\xAC"
                             "cd",
                             9, out, sizeof out),
              4u);
    EXPECT_EQ(std::string(out, 4), "ab\xE9\x80");
    EXPECT_EQ(Cp1252FromUtf8("abcdef", 6, out, 3), 3u);
}

TEST(Cp1252Test, Utf8ValidityAndCharacters) {
    EXPECT_TRUE(IsValidUtf8("\xF0\x9F\x98\x80 \xEF\xBF\xBF"));
    EXPECT_FALSE(IsValidUtf8("\xC0\x80"));
    EXPECT_FALSE(IsValidUtf8("\xED\xB0\x80"));
    std::string out;
    AppendUtf8(out, U'\U0001F600');
    EXPECT_EQ(out, "\xF0\x9F\x98\x80");
}

TEST(Cp1252Test, CaseFolding) {
    const struct {
        unsigned char upper;
        unsigned char lower;
    } pairs[] = {{'A', 'a'},   {'Z', 'z'},   {0xC0, 0xE0}, {0xDE, 0xFE},
                 {0x8A, 0x9A}, {0x8C, 0x9C}, {0x8E, 0x9E}, {0x9F, 0xFF}};
    for (const auto& p : pairs) {
        EXPECT_EQ(Upper(p.lower), p.upper) << int(p.lower);
        EXPECT_EQ(Lower(p.upper), p.lower) << int(p.upper);
    }
    for (unsigned char same : {0xD7, 0xF7, 0xDF, 0xB5, 0x31, 0x40, 0x5B}) {
        EXPECT_EQ(Upper(same), same) << int(same);
        EXPECT_EQ(Lower(same), same) << int(same);
    }
}

}  // namespace
}  // namespace parvell::cp1252
