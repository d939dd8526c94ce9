#include "app/core/Rtf.h"

#include <gtest/gtest.h>

#include <random>

namespace parvell {
namespace {

TEST(Rtf, OwnDocumentsReadBackToTheSameText) {
    struct Case {
        const char* name;
        std::string text;
    } cases[] = {
        {"empty", ""},
        {"one line", "Select * From MWPAT"},
        {"ends with a line break", "a\r\n"},
        {"only line breaks", "\r\n\r\n"},
        {"spaces kept", "Select \r\n \r\n x \r\n"},
        {"RTF specials", "{\\rtf1 x} \\par {}\\"},
        {"tabs", "\tSelect\t*\t"},
        {"every high byte",
         [] {
             std::string s;
             for (int b = 0x7F; b <= 0xFF; ++b) s += static_cast<char>(b);
             return s;
         }()},
        {"control bytes", std::string("a\x01\x1F\0b", 5)},
    };
    for (const auto& c : cases) {
        std::optional<std::string> back = RtfToText(TextToRtf(c.text));
        ASSERT_TRUE(back.has_value()) << c.name;
        EXPECT_EQ(*back, c.text) << c.name;
    }
}

TEST(Rtf, WritesOneParagraphPerLine) {
    EXPECT_EQ(
        TextToRtf("a\r\nb\n{c}\r"),
        "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1033"
        "{\\fonttbl{\\f0\\fnil\\fcharset0 MS Sans Serif;}}\r\n"
        "\\viewkind4\\uc1\\pard\\f0\\fs16 a\\par\r\nb\\par\r\n\\{c\\}\\par\r\n\\par\r\n}\r\n");
    // Lone CR and LF are line ends too; they read back as CR LF.
    EXPECT_EQ(RtfToText(TextToRtf("a\nb\rc")), "a\r\nb\r\nc");
}

TEST(Rtf, ReadsDocumentsOfOtherWordProcessors) {
    const std::string document =
        "{\\rtf1\\ansi\\ansicpg1252\\deff0\\nouicompat\\deflang1033"
        "{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}{\\f1\\fnil\\fcharset2 Symbol;}}\r\n"
        "{\\colortbl ;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}\r\n"
        "{\\stylesheet{\\s0 Normal;}{\\s1\\b heading 1;}}\r\n"
        "{\\info{\\title Queries}{\\author Ann}{\\creatim\\yr2020\\mo1}}\r\n"
        "{\\*\\generator Riched20 10.0.19041}{\\*\\mmathPr\\mdispDef1}\\viewkind4\\uc1 \r\n"
        "\\pard\\sa200\\sl276\\slmult1\\cf1\\b\\f0\\fs22 Select\\b0  \\cf2 *\\cf0\\par\r\n"
        "From {\\i MWPAT}\\tab\\line x\\~y\\emdash z\\par\r\n"
        "Caf\\'e9 \\u8364\\'80 {\\uc2\\u8364 EU} {\\uc0\\u8364 }\\u-10179?\\u-8704? "
        "\\u12354?\\par\r\n"
        "\\{braces\\} \\\\ {\\field{\\*\\fldinst HYPERLINK \"x\"}{\\fldrslt link}}\r\n"
        "{\\pict\\wmetafile8\\picw10 0123abcd}{\\*\\bkmkstart b1}{\\object\\objemb{\\*\\objdata "
        "01}}"
        "\\bin3 {}}\\par\r\n"
        "}\r\n\0";
    EXPECT_EQ(RtfToText(document),
              "Select *\r\n"
              "From MWPAT\t\r\nx\xA0y\x97z\r\n"
              "Caf\xE9 \x80 \x80 \x80? ?\r\n"
              "{braces} \\ link");
}

TEST(Rtf, MalformedOrForeignDataIsNotRtf) {
    struct Case {
        const char* name;
        std::string data;
    } cases[] = {
        {"plain text", "Select * From MWPAT"},
        {"empty", ""},
        {"leading space", " {\\rtf1 a}"},
        {"text after the document", "{\\rtf1 a}b"},
        {"closing brace too many", "{\\rtf1 a}}"},
        {"outer group never closed", "{\\rtf1 a\\par"},
        {"inner group never closed", "{\\rtf1 {\\b a}{b}"},
        {"nesting too deep", "{\\rtf1 " + std::string(kMaxRtfGroupDepth, '{') + "a" +
                                 std::string(kMaxRtfGroupDepth + 1, '}')},
        {"bad hex escape", "{\\rtf1 \\'zz}"},
        {"hex escape cut short", "{\\rtf1 \\'4"},
        {"backslash at the end", "{\\rtf1 \\"},
        {"binary data past the end", "{\\rtf1 \\bin999 abc}"},
        {"control word too long", "{\\rtf1 \\" + std::string(40, 'a') + " x}"},
        {"parameter too long", "{\\rtf1 \\fs12345678901 x}"},
    };
    for (const auto& c : cases) EXPECT_EQ(RtfToText(c.data), std::nullopt) << c.name;

    // At the limit the document still reads.
    std::string deepest = "{\\rtf1 " + std::string(kMaxRtfGroupDepth - 1, '{') + "a" +
                          std::string(kMaxRtfGroupDepth, '}');
    EXPECT_EQ(RtfToText(deepest), "a");
}

// The editor's text in UTF-8: characters outside Windows-1252 survive as \uN, the rest is written
// byte for byte as the single-byte writer writes it, and a reader that knows only Windows-1252
// sees "?" for each character it lacks.
TEST(Rtf, CharactersOutsideTheCodePageSurviveAsUnicode) {
    struct Case {
        const char* utf8;
        const char* cp1252Reading;
        const char* escape;  // a part of the document, or ""
    };
    const Case cases[] = {
        {"SELECT * FROM MWPAT", "SELECT * FROM MWPAT", ""},
        {"WHERE \"City\" = 'K\xC3\xB6ln \xE2\x82\xAC'", "WHERE \"City\" = 'K\xF6ln \x80'",
         "K\\'f6ln \\'80"},
        {"'\xC5\x81\xC3\xB3"
         "d\xC5\xBA'",
         "'?\xF3"
         "d?'",
         "\\u321?"},
        {"-- \xE6\x9D\xB1\xE4\xBA\xAC\r\nSELECT 1", "-- ??\r\nSELECT 1", "\\u26481?"},
        {"'\xF0\x9F\x98\x80'", "'?'", "\\u-10179?\\u-8704?"},  // beyond U+FFFF: a surrogate pair
        {"\xCE\xA9\r\n\r\n{\\}", "?\r\n\r\n{\\}", "\\u937?"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.utf8);
        const std::string document = Utf8TextToRtf(c.utf8);
        EXPECT_EQ(RtfToUtf8Text(document), std::optional<std::string>(c.utf8));
        EXPECT_EQ(RtfToText(document), std::optional<std::string>(c.cp1252Reading));
        EXPECT_NE(document.find(c.escape), std::string::npos) << document;
        // Text the code page holds gives the single-byte writer's document.
        if (std::string(c.utf8) == c.cp1252Reading) {
            EXPECT_EQ(document, TextToRtf(c.cp1252Reading));
        }
    }
}

TEST(SqlFileText, RtfElsePlainText) {
    struct Case {
        const char* name;
        std::string bytes;
        std::string text;
    } cases[] = {
        {"our RTF", TextToRtf("Select\r\n *"), "Select\r\n *"},
        {"plain with CR LF", "Select\r\n *\r\n", "Select\r\n *\r\n"},
        {"plain with LF and CR", "a\nb\rc", "a\r\nb\r\nc"},
        {"Windows-1252 bytes kept", "Caf\xE9\x80", "Caf\xE9\x80"},
        {"UTF-8 converted", "Caf\xC3\xA9 \xE2\x82\xAC \xE4\xB8\xAD", "Caf\xE9 \x80 ?"},
        {"UTF-8 mark", "\xEF\xBB\xBFSelect", "Select"},
        {"UTF-16LE mark", std::string("\xFF\xFEO\0K\0\n\0\xE9\0", 10), "OK\r\n\xE9"},
        {"starts like RTF but broken", "{\\rtf1 Select {\n", "{\\rtf1 Select {\r\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(SqlFileText(c.bytes), c.text) << c.name;
}

TEST(SqlFileText, HugeAndHostileFilesLoad) {
    // Tens of megabytes of our own document.
    std::string line = "Select \"Chart Number\", \"Last Name\" From MWPAT Where x = '\xE9{}'\r\n";
    std::string text;
    while (text.size() < 24 * 1024 * 1024) text += line;
    EXPECT_EQ(SqlFileText(TextToRtf(text)), text);

    // Opening braces alone: far deeper than the limit, so the file loads as plain text.
    std::string braces = "{\\rtf1" + std::string(16 * 1024 * 1024, '{');
    EXPECT_EQ(SqlFileText(braces).size(), braces.size());

    // Random bytes behind an RTF start, and random bytes alone.
    std::mt19937 random(7);
    std::string noise(8 * 1024 * 1024, '\0');
    for (char& c : noise) c = static_cast<char>(random());
    for (const std::string& bytes : {"{\\rtf1 " + noise, noise}) {
        std::string loaded = SqlFileText(bytes);
        EXPECT_GE(loaded.size(), bytes.size() / 2);
    }
}

}  // namespace
}  // namespace parvell
