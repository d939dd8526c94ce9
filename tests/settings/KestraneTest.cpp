#include "settings/Kestrane.h"

#include "settings/StoreFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/support/TempDir.h"

namespace parvell {
namespace {

namespace fs = std::filesystem;

constexpr const char* kHeader = "Windows Registry Editor Version 5.00\r\n";

// Points the store at a fresh temporary configuration folder for each test.
class KestraneTest : public ::testing::Test {
protected:
    void SetUp() override {
        config_ = dir_.Path();
        setenv("XDG_CONFIG_HOME", config_.c_str(), 1);
        store_ = config_ / "parvell" / "registry.reg";
    }
    void TearDown() override { unsetenv("XDG_CONFIG_HOME"); }

    void WriteStore(const std::string& bytes) {
        fs::create_directories(store_.parent_path());
        std::ofstream(store_, std::ios::binary) << bytes;
    }
    std::string StoreBytes() const {
        std::ifstream in(store_, std::ios::binary);
        std::ostringstream out;
        out << in.rdbuf();
        return out.str();
    }
    // The message of the ERegistryException that `action` raises, or "" when it raises none.
    template <typename F>
    static std::string ErrorOf(F action) {
        try {
            action();
        } catch (const ERegistryException& e) {
            return e.Message();
        }
        return "";
    }

    test::TempDir dir_;
    fs::path config_;
    fs::path store_;
};

TEST_F(KestraneTest, FreshProfileReadsEmptyAndCreatesNothing) {
    EXPECT_EQ(ReadCurrentPractice(), "");
    EXPECT_EQ(ReadSetting("\\Parvell", "LastOpen"), "");
    EXPECT_TRUE(fs::is_empty(config_));
}

TEST_F(KestraneTest, FirstWriteCreatesFolderFileAndKey) {
    WriteSetting("\\Parvell", "LastOpen", "C:\\SQL\\a \"b\".sql");
    EXPECT_EQ(StoreBytes(), std::string(kHeader) +
                                "\r\n"
                                "[HKEY_CURRENT_USER\\Software\\Corvantic\\Parvell]\r\n"
                                "\"LastOpen\"=\"C:\\\\SQL\\\\a \\\"b\\\".sql\"\r\n"
                                "\r\n");
    EXPECT_EQ(ReadSetting("\\Parvell", "LastOpen"), "C:\\SQL\\a \"b\".sql");
    // The doubled separator and a single one name the same key; names ignore case.
    EXPECT_EQ(ReadSetting("Parvell", "lastopen"), "C:\\SQL\\a \"b\".sql");
    EXPECT_EQ(ReadSetting("\\\\Parvell\\", "LastOpen"), "C:\\SQL\\a \"b\".sql");
    EXPECT_EQ(fs::status(store_).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(KestraneTest, ValuesRoundTrip) {
    struct Case {
        const char* name;
        std::string value;
        std::string stored;  // what the value reads back as
    } cases[] = {
        {"empty", "", ""},
        {"Windows-1252 letters", "C:\\Daten\\\xC4rzte \x80\x81", "C:\\Daten\\\xC4rzte \x80\x81"},
        {"line breaks", "one\r\ntwo\nthree\r", "one\r\ntwo\nthree\r"},
        {"up to the first zero byte", std::string("ab\0cd", 5), "ab"},
        {"long text with breaks", std::string(300, 'x') + "\r\n" + std::string(300, 'y'),
         std::string(300, 'x') + "\r\n" + std::string(300, 'y')},
    };
    for (const auto& c : cases) {
        WriteSetting("\\Parvell", "LastOpen", c.value);
        EXPECT_EQ(ReadSetting("\\Parvell", "LastOpen"), c.stored) << c.name;
    }
    // Stored as Unicode text in the file.
    WriteSetting("\\Parvell", "LastOpen", "\xC4\x80");
    EXPECT_NE(StoreBytes().find("\"LastOpen\"=\"\xC3\x84\xE2\x82\xAC\""), std::string::npos);
}

// A file name that Windows-1252 cannot hold keeps every character through the UTF-8 pair, and the
// single-byte pair sees the same value with "?" where the code page lacks a character.
TEST_F(KestraneTest, Utf8ValuesKeepEveryCharacter) {
    struct Case {
        std::string utf8;
        std::string cp1252;
    };
    for (const Case& c : {Case{"/home/u/\xC5\x81\xC3\xB3"
                               "d\xC5\xBA.sql",
                               "/home/u/?\xF3"
                               "d?.sql"},
                          Case{"/srv/\xF0\x9F\x98\x80/q.sql", "/srv/?/q.sql"},
                          Case{"C:\\Daten\\\xC3\x84rzte", "C:\\Daten\\\xC4rzte"}}) {
        WriteSettingUtf8("\\Parvell", "LastOpen", c.utf8);
        EXPECT_EQ(ReadSettingUtf8("\\Parvell", "LastOpen"), c.utf8);
        EXPECT_EQ(ReadSetting("\\Parvell", "LastOpen"), c.cp1252);
    }
    WriteSetting("\\Parvell", "LastOpen", "\xC4");
    EXPECT_EQ(ReadSettingUtf8("\\Parvell", "LastOpen"), "\xC3\x84");
}

TEST_F(KestraneTest, ReadsValueTypesAsTheRegistryDoes) {
    WriteStore(std::string(kHeader) +
               "\r\n[HKEY_CURRENT_USER\\Software\\Corvantic\\Parvell]\r\n"
               "\"Plain\"=\"text\"\r\n"
               // "%TEMP%\x" as an expandable string, not expanded.
               "\"Expand\"=hex(2):25,00,54,00,45,00,4d,00,50,00,25,00,5c,00,78,00,00,00\r\n"
               "\"ExpandEmpty\"=hex(2):\r\n"
               "\"StopsAtZero\"=hex(1):61,00,00,00,62,00,00,00\r\n"
               "\"Odd\"=hex(2):61,00,62\r\n"
               "\"Number\"=dword:00000001\r\n"
               "\"Binary\"=hex:01,02\r\n"
               "\"Multi\"=hex(7):61,00,00,00,00,00\r\n"
               "@=\"default\"\r\n");
    struct Case {
        const char* ident;
        std::string text;
        std::string error;
    } cases[] = {
        {"Plain", "text", ""},
        {"Expand", "%TEMP%\\x", ""},
        {"ExpandEmpty", "", ""},
        {"StopsAtZero", "a", ""},
        {"Missing", "", ""},
        {"", "default", ""},
        {"Odd", "", "Failed to get data for 'Odd'"},
        {"Number", "", "Invalid data type for 'Number'"},
        {"Binary", "", "Invalid data type for 'Binary'"},
        {"Multi", "", "Invalid data type for 'Multi'"},
    };
    for (const auto& c : cases) {
        std::string got;
        EXPECT_EQ(ErrorOf([&] { got = ReadSetting("\\Parvell", c.ident); }), c.error) << c.ident;
        EXPECT_EQ(got, c.text) << c.ident;
    }
}

TEST_F(KestraneTest, ReadsAnExportFromTheOldPlatform) {
    // UTF-16LE with a byte-order mark, CR LF, a wrapped hex(2) value, other keys and differing
    // case.
    std::string text =
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Other]\r\n\"Current Practice\"=\"wrong\"\r\n\r\n"
        "[HKEY_CURRENT_USER\\software\\OSTREL]\r\n"
        "\"Version\"=dword:0000000f\r\n"
        "\"current practice\"=hex(2):43,00,3a,00,5c,00,44,00,61,00,74,00,61,00,5c,00,\\\r\n"
        "  50,00,72,00,e9,00,31,00,00,00\r\n\r\n";
    std::string bytes = "\xFF\xFE";
    for (unsigned char c : text) {
        bytes += static_cast<char>(c);
        bytes += '\0';
    }
    WriteStore(bytes);
    EXPECT_EQ(ReadCurrentPractice(),
              "C:\\Data\\Pr\xE9"
              "1");
    EXPECT_EQ(NormalizeFolder(ReadCurrentPractice()),
              "C:\\DATA\\PR\xE9"
              "1\\");
}

TEST_F(KestraneTest, PracticeWrittenForTheCommandLineToolKeepsOtherSettings) {
    WriteSetting("\\Parvell", "LastOpen", "q.sql");
    WriteCurrentPractice("/srv/practice/\xE9");
    EXPECT_EQ(ReadCurrentPractice(), "/srv/practice/\xE9");
    EXPECT_EQ(ReadSetting("\\Parvell", "LastOpen"), "q.sql");
    EXPECT_NE(StoreBytes().find("[HKEY_CURRENT_USER\\Software\\Ostrel]\r\n"
                                "\"Current Practice\"=\"/srv/practice/\xC3\xA9\"\r\n"),
              std::string::npos);
}

TEST_F(KestraneTest, PracticeStoredAsNumberIsReported) {
    WriteStore(std::string(kHeader) +
               "[HKEY_CURRENT_USER\\Software\\Ostrel]\r\n\"Current Practice\"=dword:00000007\r\n");
    EXPECT_EQ(ErrorOf([] { ReadCurrentPractice(); }), "Invalid data type for 'Current Practice'");
}

TEST_F(KestraneTest, DamagedFileIsReportedAndNeverChanged) {
    const std::string good =
        std::string(kHeader) +
        "[HKEY_CURRENT_USER\\Software\\Ostrel]\r\n\"Current Practice\"=\"C:\\\\P\"\r\n";
    struct Case {
        const char* name;
        std::string bytes;
        int line;
    } cases[] = {
        {"garbage line", good + "this is not a setting\r\n", 4},
        {"no header", "[HKEY_CURRENT_USER\\Software\\Ostrel]\r\n", 1},
        {"value before any key", std::string(kHeader) + "\"a\"=\"b\"\r\n", 2},
        {"unterminated text", good + "\"LastOpen\"=\"C:\\\\x\r\n", 4},
        {"bad dword", good + "\"n\"=dword:xyz\r\n", 4},
        {"bad hex byte", good + "\"n\"=hex:01,0g2\r\n", 4},
        {"hex continued past the end", good + "\"n\"=hex:01,\\\r\n", 4},
        {"unknown type", good + "\"n\"=qword:1\r\n", 4},
        {"key without bracket", good + "[HKEY_CURRENT_USER\\Software\r\n", 4},
        {"deletion", good + "[-HKEY_CURRENT_USER\\Software\\Ostrel]\r\n", 4},
        {"invalid UTF-8", good + "\"n\"=\"\xE9\"\r\n", 4},
        {"binary",
         std::string("\x7F"
                     "ELF\x02\x01\x01\0\0\0",
                     10),
         1},
    };
    for (const auto& c : cases) {
        WriteStore(c.bytes);
        std::string expected = "The settings file \"" + store_.string() +
                               "\" cannot be read at line " + std::to_string(c.line) + ": ";
        std::string readError = ErrorOf([] { ReadCurrentPractice(); });
        EXPECT_EQ(readError.substr(0, expected.size()), expected) << c.name << ": " << readError;
        EXPECT_EQ(ErrorOf([] { WriteSetting("\\Parvell", "LastOpen", "x"); }), readError) << c.name;
        EXPECT_EQ(StoreBytes(), c.bytes) << c.name;
    }
}

TEST_F(KestraneTest, EmptyFileIsAnEmptyStore) {
    WriteStore("");
    EXPECT_EQ(ReadSetting("\\Parvell", "LastOpen"), "");
    WriteSetting("\\Parvell", "LastOpen", "a");
    EXPECT_EQ(ReadSetting("\\Parvell", "LastOpen"), "a");
    EXPECT_EQ(StoreBytes().rfind(kHeader, 0), 0u);
}

TEST_F(KestraneTest, WriteChangesOnlyItsOwnLine) {
    const std::string before = std::string(kHeader) +
                               "; kept as written\r\n"
                               "\r\n"
                               "[HKEY_CURRENT_USER\\Software\\Corvantic\\Parvell]\r\n"
                               "\"LastOpen\"=\"old\"\r\n"
                               "\"Other\"=hex:00,\\\r\n"
                               "  01\r\n"
                               "\r\n"
                               "[HKEY_CURRENT_USER\\Software\\Ostrel]\r\n"
                               "\"Current Practice\"=\"C:\\\\P\"\r\n"
                               "\r\n"
                               "[HKEY_LOCAL_MACHINE\\Software\\Corvantic\\Parvell]\r\n"
                               "\"LastOpen\"=dword:00000001\r\n";
    WriteStore(before);
    WriteSetting("\\Parvell", "LastOpen", "new");
    std::string expected = before;
    expected.replace(expected.find("\"old\""), 5, "\"new\"");
    EXPECT_EQ(StoreBytes(), expected);

    // A new value joins the end of its key's section.
    WriteSetting("\\Parvell", "Second", "2");
    expected.insert(expected.find("  01\r\n") + 6, "\"Second\"=\"2\"\r\n");
    EXPECT_EQ(StoreBytes(), expected);
    EXPECT_EQ(ReadCurrentPractice(), "C:\\P");
}

TEST_F(KestraneTest, LaterLineOfAValueCounts) {
    WriteStore(std::string(kHeader) +
               "[HKEY_CURRENT_USER\\Software\\Corvantic\\Parvell]\r\n\"LastOpen\"=\"first\"\r\n"
               "[HKCU\\Software\\Corvantic\\Parvell]\r\n\"LastOpen\"=\"second\"\r\n");
    EXPECT_EQ(ReadSetting("\\Parvell", "LastOpen"), "second");
    WriteSetting("\\Parvell", "LastOpen", "third");
    EXPECT_EQ(ReadSetting("\\Parvell", "LastOpen"), "third");
    EXPECT_NE(StoreBytes().find("\"first\""), std::string::npos);
}

TEST_F(KestraneTest, OldSingleByteExportStaysSingleByte) {
    WriteStore(
        "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Ostrel]\r\n"
        "\"Current Practice\"=\"C:\\\\Pr\xE9\"\r\n"
        "\"Expand\"=hex(2):43,3a,00\r\n");
    EXPECT_EQ(ReadCurrentPractice(), "C:\\Pr\xE9");
    WriteSetting("\\Parvell", "LastOpen", "\xE9\x80");
    EXPECT_EQ(ReadSetting("\\Parvell", "LastOpen"), "\xE9\x80");
    EXPECT_NE(StoreBytes().find("\"LastOpen\"=\"\xE9\x80\""), std::string::npos);
    EXPECT_EQ(ReadCurrentPractice(), "C:\\Pr\xE9");
}

TEST_F(KestraneTest, WriteFailuresAreReported) {
    // Something that is not a folder where the store's folder belongs.
    std::ofstream(config_ / "parvell") << "x";
    EXPECT_EQ(ReadSetting("\\Parvell", "LastOpen"), "");
    EXPECT_EQ(ErrorOf([] { WriteSetting("\\Parvell", "LastOpen", "x"); }),
              "Failed to create key Corvantic\\\\Parvell");
    fs::remove(config_ / "parvell");

    // A folder where the store file belongs cannot be read.
    fs::create_directories(store_);
    std::string message = ErrorOf([] { ReadSetting("\\Parvell", "LastOpen"); });
    EXPECT_EQ(message.rfind("Cannot read the settings file \"" + store_.string() + "\". ", 0), 0u)
        << message;
}

TEST_F(KestraneTest, WriteLeavesNoTemporaryFileAndKeepsPermissions) {
    WriteStore(std::string(kHeader));
    fs::permissions(store_, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    WriteSetting("\\Parvell", "LastOpen", "a");
    WriteSetting("\\Parvell", "LastOpen", "b");
    EXPECT_EQ(std::distance(fs::directory_iterator(store_.parent_path()), fs::directory_iterator()),
              1);
    EXPECT_EQ(fs::status(store_).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(KestraneTest, TwoProgramsWritingAtOnceLoseNothing) {
    constexpr int kWrites = 40;
    pid_t child = fork();
    ASSERT_GE(child, 0);
    const char* ident = child == 0 ? "FromChild" : "FromParent";
    for (int i = 1; i <= kWrites; ++i) WriteSetting("\\Parvell", ident, std::to_string(i));
    if (child == 0) _exit(0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(ReadSetting("\\Parvell", "FromChild"), std::to_string(kWrites));
    EXPECT_EQ(ReadSetting("\\Parvell", "FromParent"), std::to_string(kWrites));
}

TEST_F(KestraneTest, SymbolicLinkIsFollowed) {
    fs::create_directories(store_.parent_path());
    fs::path real = config_ / "real.reg";
    std::ofstream(real, std::ios::binary) << kHeader;
    fs::create_symlink(real, store_);
    WriteSetting("\\Parvell", "LastOpen", "a");
    EXPECT_TRUE(fs::is_symlink(store_));
    EXPECT_EQ(ReadSetting("\\Parvell", "LastOpen"), "a");
}

TEST_F(KestraneTest, StoreOnlyReadableCountsAsClosed) {
    if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
    WriteSetting("\\Parvell", "LastOpen", "a");
    fs::permissions(store_, fs::perms::owner_read);
    EXPECT_EQ(ReadSetting("\\Parvell", "LastOpen"), "");
    EXPECT_EQ(ErrorOf([] { WriteSetting("\\Parvell", "LastOpen", "b"); }),
              "Failed to create key Corvantic\\\\Parvell");
    fs::permissions(store_, fs::perms::owner_read | fs::perms::owner_write);
    fs::permissions(store_.parent_path(), fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_EQ(ErrorOf([] { WriteSetting("\\Parvell", "LastOpen", "b"); }),
              "Failed to set data for 'LastOpen'");
    fs::permissions(store_.parent_path(), fs::perms::owner_all);
    EXPECT_EQ(ReadSetting("\\Parvell", "LastOpen"), "a");
}

TEST(StoreFilePath, FollowsTheConfigurationFolderRule) {
    const char* savedHome = std::getenv("HOME");
    std::string home = savedHome ? savedHome : "";
    struct Case {
        const char* config;  // nullptr: unset
        const char* want;
    } cases[] = {
        {"/tmp/cfg", "/tmp/cfg/parvell/registry.reg"},
        {nullptr, "/home/ann/.config/parvell/registry.reg"},
        {"", "/home/ann/.config/parvell/registry.reg"},
        {"relative/cfg", "/home/ann/.config/parvell/registry.reg"},
    };
    setenv("HOME", "/home/ann", 1);
    for (const auto& c : cases) {
        if (c.config) {
            setenv("XDG_CONFIG_HOME", c.config, 1);
        } else {
            unsetenv("XDG_CONFIG_HOME");
        }
        EXPECT_EQ(store::StoreFilePath(), c.want) << (c.config ? c.config : "unset");
    }
    unsetenv("XDG_CONFIG_HOME");
    if (savedHome) setenv("HOME", home.c_str(), 1);
}

TEST(NormalizeFolder, AppendsSeparatorAndUpperCasesOldStylePaths) {
    struct Case {
        const char* path;
        const char* want;
    } cases[] = {
        {"", ""},
        {"c:\\data", "C:\\DATA\\"},
        {"c:\\data\\", "C:\\DATA\\"},
        {"c:\\d\xE4ta\\\xFF", "C:\\D\xE4TA\\\xFF\\"},
        {"\\\\server\\share", "\\\\SERVER\\SHARE\\"},
        {"data", "DATA\\"},
        {"/home/ann/Practice", "/home/ann/Practice/"},
        {"/home/ann/Practice/", "/home/ann/Practice/"},
        {"/home/ann/Practice\\", "/home/ann/Practice\\"},
    };
    for (const auto& c : cases) EXPECT_EQ(NormalizeFolder(c.path), c.want) << c.path;
}

}  // namespace
}  // namespace parvell
