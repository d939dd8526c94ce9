// Connections, logins, dictionaries, handles, errors and engine-wide settings.
#include <sqlite3.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/kce/KceSupport.h"

namespace {

using namespace kcetest;

class DictionaryTest : public ::testing::Test {
protected:
    // One dictionary for the suite: password hashing is slow by design.
    static void SetUpTestSuite() {
        dir_ = new TempDir();
        path_ = dir_->File("practice.KDD");
        KdbDisconnect(CreateDictionary(path_));
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    static TempDir* dir_;
    static std::string path_;
};

TempDir* DictionaryTest::dir_ = nullptr;
std::string DictionaryTest::path_;

TEST_F(DictionaryTest, LoginChecksUserAndPassword) {
    struct Case {
        const char* name;
        const char* user;
        const char* password;
        uint32_t expected;
    };
    const Case cases[] = {
        {"right", "user", "secret", 0},
        {"user name in another case", "USER", "secret", 0},
        {"administrator", "admin", "adminpw", 0},
        {"wrong password", "user", "Secret", KDB_ERR_LOGIN_REFUSED},
        {"unknown user", "nobody", "secret", KDB_ERR_LOGIN_REFUSED},
        {"empty credentials", "", "", KDB_ERR_LOGIN_REFUSED},
    };
    for (const Case& c : cases) {
        uint32_t connection = 99;
        uint32_t rc = KdbConnect60(path_.c_str(), 3, c.user, c.password, 0, &connection);
        EXPECT_EQ(rc, c.expected) << c.name << " " << LastError();
        if (rc == 0) {
            EXPECT_EQ(KdbDisconnect(connection), 0u);
        } else {
            EXPECT_EQ(connection, 0u) << c.name;
            EXPECT_NE(LastError().find("password"), std::string::npos) << c.name;
        }
    }
}

TEST_F(DictionaryTest, ServerTypeMaskMustIncludeLocal) {
    uint32_t connection = 0;
    EXPECT_EQ(KdbConnect60(path_.c_str(), 2, "user", "secret", 0, &connection),
              uint32_t(KDB_ERR_NO_SERVER));
    EXPECT_NE(LastError().find("local"), std::string::npos);
    EXPECT_EQ(KdbConnect60(path_.c_str(), 6, "user", "secret", 0, &connection),
              uint32_t(KDB_ERR_NO_SERVER));
    // The engine-wide default accepts any non-zero mask.
    EXPECT_EQ(KdbSetServerType(6), 0u);
    EXPECT_EQ(KdbSetServerType(0), uint32_t(KDB_ERR_INVALID_ARGUMENT));
    EXPECT_EQ(KdbSetServerType(3), 0u);
}

TEST_F(DictionaryTest, OnlyTheAdministratorCreatesUsers) {
    uint32_t user = ConnectUser(path_);
    EXPECT_EQ(KdbDDCreateUser(user, "other", "x", ""), uint32_t(KDB_ERR_PERMISSION_DENIED));
    KdbDisconnect(user);
    uint32_t admin = 0;
    ASSERT_EQ(KdbConnect60(path_.c_str(), 1, "admin", "adminpw", 0, &admin), 0u) << LastError();
    EXPECT_EQ(KdbDDCreateUser(admin, "User", "x", ""), uint32_t(KDB_ERR_ALREADY_EXISTS));
    EXPECT_EQ(KdbDDCreateUser(admin, "", "x", ""), uint32_t(KDB_ERR_INVALID_ARGUMENT));

    char text[100];
    uint16_t len = sizeof text;
    EXPECT_EQ(KdbDDGetUserProperty(admin, "user", KDB_DD_USER_DESCRIPTION, text, &len), 0u);
    EXPECT_STREQ(text, "a user");
    len = 0;
    EXPECT_EQ(KdbDDGetUserProperty(admin, "user", KDB_DD_USER_GROUPS, nullptr, &len),
              uint32_t(KDB_ERR_PROPERTY_EMPTY));
    EXPECT_EQ(len, 0u);
    KdbDisconnect(admin);
}

TEST_F(DictionaryTest, CreatingOverAnExistingFileIsRefused) {
    uint32_t connection = 0;
    EXPECT_EQ(KdbDDCreate(path_.c_str(), "x", "", &connection), uint32_t(KDB_ERR_ALREADY_EXISTS));
    EXPECT_EQ(connection, 0u);
}

TEST(ConnectionTest, ForeignDamagedAndMissingFilesAreReported) {
    TempDir dir;
    std::string foreign = dir.File("foreign.kdd");
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(foreign.c_str(), &db), SQLITE_OK);
    sqlite3_exec(db, "CREATE TABLE notes(a TEXT); INSERT INTO notes VALUES('x')", nullptr, nullptr,
                 nullptr);
    sqlite3_close(db);
    std::string garbage = dir.File("garbage.kdd");
    std::ofstream(garbage) << std::string(5000, 'g');
    std::string truncated = dir.File("truncated.kdd");
    KdbDisconnect(CreateDictionary(truncated));
    std::filesystem::resize_file(truncated, 1000);

    struct Case {
        std::string path;
        uint32_t expected;
    };
    const Case cases[] = {
        {foreign, KDB_ERR_NOT_A_DICTIONARY},
        {garbage, KDB_ERR_NOT_A_DICTIONARY},
        {truncated, KDB_ERR_NOT_A_DICTIONARY},
        {dir.File("missing.kdd"), KDB_ERR_PATH_NOT_FOUND},
        {dir.File("no such folder"), KDB_ERR_PATH_NOT_FOUND},
        {"", KDB_ERR_PATH_NOT_FOUND},
    };
    for (const Case& c : cases) {
        uint32_t connection = 0;
        EXPECT_EQ(KdbConnect60(c.path.c_str(), 1, "user", "secret", 0, &connection), c.expected)
            << c.path << " " << LastError();
        EXPECT_EQ(connection, 0u);
    }
}

TEST(ConnectionTest, FolderConnectionNeedsNoLoginAndFindsItsTables) {
    TempDir dir;
    uint32_t connection = 0;
    ASSERT_EQ(KdbConnect60(dir.Path().c_str(), 3, "", "", 0, &connection), 0u) << LastError();
    char name[260];
    uint16_t len = sizeof name;
    uint32_t search = 0;
    std::string mask = dir.Path() + "\\*.dbf";
    EXPECT_EQ(KdbFindFirstTable(connection, mask.c_str(), name, &len, &search),
              uint32_t(KDB_ERR_NO_MORE_TABLES));

    std::ofstream(dir.File("PATIENTS.DBF")) << "x";
    std::ofstream(dir.File("notes.txt")) << "x";
    len = sizeof name;
    ASSERT_EQ(KdbFindFirstTable(connection, mask.c_str(), name, &len, &search), 0u) << LastError();
    EXPECT_STREQ(name, "PATIENTS");
    len = sizeof name;
    EXPECT_EQ(KdbFindNextTable(search, name, &len), uint32_t(KDB_ERR_NO_MORE_TABLES));
    EXPECT_EQ(KdbFindClose(connection, search), 0u);
    EXPECT_EQ(KdbDisconnect(connection), 0u);
}

TEST(ConnectionTest, HandlesAreCheckedByKindAndReleasedWithTheirConnection) {
    TempDir dir;
    uint32_t connection = 0;
    ASSERT_EQ(KdbConnect(dir.Path().c_str(), &connection), 0u);
    uint32_t statement = 0;
    ASSERT_EQ(KdbCreateSQLStatement(connection, &statement), 0u);
    uint16_t type = 0;
    EXPECT_EQ(KdbGetHandleType(statement, &type), 0u);
    EXPECT_EQ(type, KDB_HANDLE_STATEMENT);
    EXPECT_EQ(KdbGetHandleType(connection, &type), 0u);
    EXPECT_EQ(type, KDB_HANDLE_CONNECTION);

    EXPECT_EQ(KdbDisconnect(statement), uint32_t(KDB_ERR_INVALID_CONNECTION));
    EXPECT_EQ(KdbCloseSQLStatement(connection), uint32_t(KDB_ERR_INVALID_HANDLE));
    EXPECT_EQ(KdbCloseTable(statement), uint32_t(KDB_ERR_INVALID_HANDLE));
    uint16_t fields = 0;
    EXPECT_EQ(KdbGetNumFields(statement, &fields), uint32_t(KDB_ERR_INVALID_HANDLE));

    EXPECT_EQ(KdbDisconnect(connection), 0u);
    EXPECT_EQ(KdbDisconnect(connection), uint32_t(KDB_ERR_INVALID_CONNECTION));
    EXPECT_EQ(KdbGetHandleType(statement, &type), uint32_t(KDB_ERR_INVALID_HANDLE));
    EXPECT_EQ(KdbCloseSQLStatement(statement), uint32_t(KDB_ERR_INVALID_HANDLE));
    EXPECT_EQ(KdbCreateSQLStatement(connection, &statement), uint32_t(KDB_ERR_INVALID_CONNECTION));
}

TEST(ErrorTest, LastErrorIsKeptPerThreadAndTextsFollowTheBufferRules) {
    EXPECT_EQ(KdbDisconnect(123456), uint32_t(KDB_ERR_INVALID_CONNECTION));
    std::thread([] {
        EXPECT_EQ(KdbCloseTable(654321), uint32_t(KDB_ERR_INVALID_HANDLE));
        EXPECT_EQ(LastErrorCode(), uint32_t(KDB_ERR_INVALID_HANDLE));
    }).join();
    EXPECT_EQ(LastErrorCode(), uint32_t(KDB_ERR_INVALID_CONNECTION));

    // Too small a buffer: 5005 and the length needed; the last error itself is kept.
    uint32_t code = 0;
    char small[4];
    uint16_t len = sizeof small;
    EXPECT_EQ(KdbGetLastError(&code, small, &len), uint32_t(KDB_ERR_BUFFER_TOO_SMALL));
    uint16_t needed = len;
    EXPECT_GT(needed, 4);
    std::string text(needed + 1, '\0');
    len = needed + 1;
    EXPECT_EQ(KdbGetLastError(&code, text.data(), &len), 0u);
    EXPECT_EQ(code, uint32_t(KDB_ERR_INVALID_CONNECTION));
    EXPECT_EQ(len, needed);
    EXPECT_NE(text.find("123456"), std::string::npos);

    char generic[200];
    len = sizeof generic;
    EXPECT_EQ(KdbGetErrorString(KDB_ERR_NOT_AN_UPDATE, generic, &len), 0u);
    EXPECT_EQ(std::string(generic).size(), len);
    EXPECT_GT(len, 0);
}

TEST(SettingsTest, DateFormatsAreAcceptedOrRefused) {
    struct Case {
        const char* pattern;
        bool accepted;
        const char* written;  // 2008-01-05 in that format
    };
    const Case cases[] = {
        {"MM/DD/CCYY", true, "01/05/2008"},
        {"M/d/yyyy", true, "1/5/2008"},
        {"dd.mm.ccyy", true, "05.01.2008"},
        {"YYYY-MM-DD", true, "2008-01-05"},
        {"MM/DD/YY", true, "01/05/08"},
        {"CCYYMMDD", true, "20080105"},
        {"MM/DD", false, ""},
        {"MMM/DD/CCYY", false, ""},
        {"MM/DD/CCYYY", false, ""},
        {"HH:MM", false, ""},
        {"MM/DD/CCYY/DD", false, ""},
        {"", false, ""},
        {"MM/DD/CCYY   x", false, ""},
    };
    for (const Case& c : cases) {
        uint32_t rc = KdbSetDateFormat(c.pattern);
        EXPECT_EQ(rc == 0, c.accepted) << c.pattern << " " << LastError();
        if (rc != 0) {
            EXPECT_EQ(rc, uint32_t(KDB_ERR_DATE_FORMAT));
            continue;
        }
        char text[20];
        uint16_t len = sizeof text;
        ASSERT_EQ(KdbGetDateFormat(text, &len), 0u);
        EXPECT_STREQ(text, c.pattern);
        double julian = 0;
        EXPECT_EQ(KdbConvertStringToJulian(c.written, static_cast<uint16_t>(std::strlen(c.written)),
                                           &julian),
                  0u)
            << c.pattern << " " << LastError();
        EXPECT_EQ(julian, 2454471.0) << c.pattern;  // 2008-01-05
    }
    ASSERT_EQ(KdbSetDateFormat("MM/DD/CCYY"), 0u);
    double julian = 1;
    EXPECT_EQ(KdbConvertStringToJulian("02/30/2008", 10, &julian), uint32_t(KDB_ERR_DATE_FORMAT));
    EXPECT_EQ(julian, 0.0);
    EXPECT_EQ(KdbConvertStringToJulian("20000101", 8, &julian), 0u);
    EXPECT_EQ(julian, 2451545.0);
}

TEST(SettingsTest, DeletedRecordsAreHiddenWhenTheEngineStarts) {
    // A fresh process: the death test runs this body in a new run of the test program.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            uint16_t show = 9;
            std::exit(KdbGetDeleted(&show) == 0 ? show : 99);
        },
        testing::ExitedWithCode(0), "");
}

TEST(SettingsTest, EngineWideValuesAreStoredAndRangeChecked) {
    uint16_t value = 0;
    EXPECT_EQ(KdbSetDecimals(4), 0u);
    EXPECT_EQ(KdbGetDecimals(&value), 0u);
    EXPECT_EQ(value, 4);
    EXPECT_EQ(KdbSetDecimals(31), uint32_t(KDB_ERR_INVALID_ARGUMENT));
    EXPECT_EQ(KdbSetDecimals(2), 0u);
    EXPECT_EQ(KdbShowDeleted(1), 0u);
    EXPECT_EQ(KdbGetDeleted(&value), 0u);
    EXPECT_EQ(value, 1);
    EXPECT_EQ(KdbShowDeleted(0), 0u);
    EXPECT_EQ(KdbGetDeleted(&value), 0u);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(KdbCacheOpenTables(0), 0u);
    EXPECT_EQ(KdbCacheOpenCursors(25), 0u);
    EXPECT_EQ(KdbGetDeleted(nullptr), uint32_t(KDB_ERR_INVALID_ARGUMENT));
}

}  // namespace
