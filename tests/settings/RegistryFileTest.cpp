#include "settings/RegistryFile.h"

#include <gtest/gtest.h>

#include <sstream>

namespace parvell::store {
namespace {

constexpr const char* kKey = "HKEY_CURRENT_USER\\Software\\Corvantic\\Parvell";

std::string Read(const RegistryFile& file, const char* name) {
    std::string text;
    EXPECT_EQ(file.ReadString(kKey, name, text), StringRead::Found) << name;
    return text;
}

TEST(RegistryFile, AcceptsTheLineEndsAndMarksOfHandWrittenFiles) {
    struct Case {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"LF only",
         "Windows Registry Editor Version 5.00\n[HKCU\\Software\\Corvantic\\Parvell]\n"
         "\"P\"=\"C:\\\\x\"\n"},
        {"CR only",
         "Windows Registry Editor Version 5.00\r[HKCU\\Software\\Corvantic\\Parvell]\r"
         "\"P\"=\"C:\\\\x\""},
        {"UTF-8 mark, blank lines first, spaces around",
         "\xEF\xBB\xBF\r\n\r\nWindows Registry Editor Version 5.00\r\n"
         "  [HKEY_CURRENT_USER\\\\Software\\Corvantic\\Parvell\\]  \r\n"
         "  \"P\" = \"C:\\\\x\"  \r\n"},
        {"single backslash taken as written",
         "Windows Registry Editor Version 5.00\r\n[HKCU\\Software\\Corvantic\\Parvell]\r\n"
         "\"P\"=\"C:\\x\"\r\n"},
    };
    for (const auto& c : cases) {
        RegistryFile file = RegistryFile::Parse(c.bytes);
        EXPECT_EQ(Read(file, "P"), "C:\\x") << c.name;
        EXPECT_TRUE(file.HasKey("HKEY_CURRENT_USER\\Software\\Corvantic")) << c.name;
        EXPECT_FALSE(file.HasKey("HKEY_CURRENT_USER\\Software\\Corv")) << c.name;
    }
}

TEST(RegistryFile, TextWithLineBreaksIsWrittenAsWrappedHexAndReadsBack) {
    RegistryFile file = RegistryFile::Parse("");
    std::string text = "SELECT *\r\nFROM \xC3\xA9t\xC3\xA9 -- " + std::string(100, 'z');
    file.SetString(kKey, "Query", text);
    std::string bytes = file.Serialize();
    std::istringstream lines(bytes);
    std::string line;
    int hexLines = 0;
    while (std::getline(lines, line)) {
        EXPECT_LE(line.size(), 81u) << line;  // 80 columns and the CR
        if (line.rfind("  ", 0) == 0) ++hexLines;
    }
    EXPECT_GT(hexLines, 2);
    EXPECT_NE(bytes.find("\"Query\"=hex(1):53,00,45,00"), std::string::npos);
    RegistryFile again = RegistryFile::Parse(bytes);
    EXPECT_EQ(Read(again, "Query"), text);
    EXPECT_EQ(again.FindValue(kKey, "Query")->type, kRegSz);
}

TEST(RegistryFile, ParseErrorsNameTheLine) {
    try {
        RegistryFile::Parse(
            "Windows Registry Editor Version 5.00\r\n[K]\r\n\"a\"=\"b\"\r\n\"c\" \"d\"\r\n");
        FAIL() << "no error";
    } catch (const RegParseError& error) {
        EXPECT_EQ(error.line, 4);
        EXPECT_EQ(error.what, "expected \"=\" after the value name");
    }
}

// A run of hex digits far too long for a byte is refused, not summed until it overflows.
TEST(RegistryFile, OverlongHexByteIsAParseError) {
    const std::string text =
        "Windows Registry Editor Version 5.00\r\n[K]\r\n\"a\"=hex:" + std::string(40, 'f') + "\r\n";
    EXPECT_THROW(RegistryFile::Parse(text), RegParseError);
}

}  // namespace
}  // namespace parvell::store
