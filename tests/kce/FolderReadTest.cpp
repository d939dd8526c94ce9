// Folder connections read dBase-format tables of every variant through SQL: engine types, values,
// nulls, deleted records, code pages, paths and names as typed, table searches.
#include <sys/stat.h>
#include <unistd.h>

#include "kce/dbf/Writer.h"
#include "tests/kce/FolderSupport.h"
#include "tests/support/ForeignTables.h"
#include "tests/support/RawFiles.h"

namespace {

using namespace kcetest;
using kce::dbf::ColumnLayout;
using kce::dbf::Variant;
using Rows = std::vector<std::vector<std::string>>;

struct VariantCase {
    const char* name;
    Variant variant;
    std::vector<ColumnLayout> columns;
    std::vector<kce::dbf::Record> records;
    std::vector<std::string> types;  // "type length,decimals" of SELECT *
    Rows rows;                       // of SELECT *, "NULL" for null
};

std::vector<VariantCase> VariantCases() {
    return {
        {"DBase3",
         Variant::DBase3,
         {{"NAME", 'C', 10}, {"AMOUNT", 'N', 8, 2}, {"COUNT", 'N', 4}, {"BORN", 'D'}, {"OK", 'L'}},
         {{T("Smith"), R(12.5), I(7), T("1999-12-31"), I(1)}, {T(""), N(), N(), N(), N()}},
         {"4 10,0", "2 8,2", "2 4,0", "3 4,0", "1 1,0"},
         // On dBase tables an empty text is stored as blanks, which read as null.
         {{"Smith", "   12.50", "   7", "12/31/1999", "T"},
          {"NULL", "NULL", "NULL", "NULL", "NULL"}}},
        {"DBase3Memo",
         Variant::DBase3,
         {{"NAME", 'C', 4}, {"NOTES", 'M'}},
         {{T("a"), T("first memo")}, {T("b"), N()}},
         {"4 4,0", "5 16,0"},
         {{"a", "first memo"}, {"b", "NULL"}}},
        {"DBase4",
         Variant::DBase4,
         {{"NAME", 'C', 4}, {"RATE", 'F', 10, 3}, {"NOTES", 'M'}},
         {{T("a"), R(-1.25),
           T("Ren\xC3\xA9"
             "e")},
          {T("b"), R(0), N()}},
         {"4 4,0", "2 10,3", "5 16,0"},
         {{"a", "    -1.250",
           "Ren\xE9"
           "e"},
          {"b", "     0.000", "NULL"}}},
        {"FoxPro2",
         Variant::FoxPro2,
         {{"NAME", 'C', 4}, {"NOTES", 'M'}, {"PICTURE", 'G'}},
         {{T("a"), T("fox memo"), kce::dbf::StoredValue::Blob(std::string("\x01\x00\x02", 3))},
          {T("b"), N(), N()}},
         {"4 4,0", "5 16,0", "7 16,0"},
         {{"a", "fox memo", std::string("\x01\x00\x02", 3)}, {"b", "NULL", "NULL"}}},
        {"VisualFoxPro",
         Variant::VisualFoxPro,
         {{"NAME", 'C', 6, 0, true},
          {"ID", 'I', 0, 0, true},
          {"PRICE", 'B', 0, 0, true},
          {"FEE", 'Y', 0, 0, true},
          {"STAMP", 'T', 0, 0, true},
          {"CODE", 'V', 8, 0, true},
          {"RAW", 'Q', 4, 0, true},
          {"SEEN", 'D', 0, 0, true},
          {"NOTES", 'M', 0, 0, true}},
         {{T("Ann"), I(42), R(2.5), I(1234500), T("2000-01-01 12:00:00.000"), T("ab"),
           kce::dbf::StoredValue::Blob(std::string("\x00\xFF", 2)), T("2024-02-29"), T("vfp memo")},
          {T(""), N(), N(), N(), N(), T(""), N(), N(), N()}},
         {"4 6,0", "11 4,0", "10 8,0", "18 8,0", "14 8,0", "23 8,0", "24 4,0", "3 4,0", "5 16,0"},
         // On Visual FoxPro tables null and an empty text differ.
         {{"Ann", "42", "2.50", "123.4500", "01/01/2000 12:00:00.000", "ab",
           std::string("\x00\xFF", 2), "02/29/2024", "vfp memo"},
          {"", "NULL", "NULL", "NULL", "NULL", "", "NULL", "NULL", "NULL"}}},
    };
}

void PrintTo(const VariantCase& c, std::ostream* os) {
    *os << c.name;
}

class FolderVariants : public testing::TestWithParam<VariantCase> {};

TEST_P(FolderVariants, ReadBackWithTypesValuesAndNulls) {
    const VariantCase& c = GetParam();
    TempDir dir;
    MakeTable(dir.File("t.dbf"), c.variant, c.columns, c.records);
    ASSERT_EQ(KdbSetDateFormat("MM/DD/CCYY"), 0u);
    uint32_t connection = ConnectFolder(dir.Path());
    uint32_t cursor = RunSql(connection, "SELECT * FROM t");
    ASSERT_NE(cursor, 0u);
    EXPECT_EQ(FieldTypes(cursor), c.types);
    EXPECT_EQ(RowsWithNulls(cursor), c.rows);
    KdbDisconnect(connection);
}

INSTANTIATE_TEST_SUITE_P(Variants, FolderVariants, testing::ValuesIn(VariantCases()),
                         [](const testing::TestParamInfo<VariantCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(FolderReadTest, DeletedRecordsAreHiddenUnlessTheEngineShowsThem) {
    TempDir dir;
    {
        kce::dbf::TableLayout layout;
        layout.columns = {{"NAME", 'C', 4}};
        kce::dbf::TableCreator creator(dir.File("t.dbf"), layout);
        creator.Add({T("a")});
        creator.Add({T("b")}, true);
        creator.Add({T("c")});
        creator.Finish();
    }
    uint32_t connection = ConnectFolder(dir.Path());
    ASSERT_EQ(KdbShowDeleted(0), 0u);
    EXPECT_EQ(Query(connection, "SELECT name FROM t"), (Rows{{"a"}, {"c"}}));
    // The same connection follows the setting.
    ASSERT_EQ(KdbShowDeleted(1), 0u);
    EXPECT_EQ(Query(connection, "SELECT name FROM t"), (Rows{{"a"}, {"b"}, {"c"}}));
    ASSERT_EQ(KdbShowDeleted(0), 0u);
    KdbDisconnect(connection);
}

TEST(FolderReadTest, PathsAndTableNamesWorkAsTyped) {
    TempDir dir;
    MakeTable(dir.File("People.DBF"), Variant::FoxPro2, {{"NAME", 'C', 4}, {"NOTES", 'M'}},
              {{T("a"), T("memo")}});
    std::string typed = dir.Path();
    for (char& c : typed) {
        if (c == '/') c = '\\';
    }
    for (const std::string& path : {typed, typed + "\\", dir.Path() + "/"}) {
        uint32_t connection = ConnectFolder(path);
        for (const char* name : {"people", "PEOPLE", "People"}) {
            EXPECT_EQ(Query(connection, std::string("SELECT name, notes FROM ") + name),
                      (Rows{{"a", "memo"}}))
                << path << " " << name;
        }
        KdbDisconnect(connection);
    }
}

TEST(FolderReadTest, OemCodePagesReadAsWindows1252) {
    using kce::dbf::test::RawTable;
    TempDir dir;
    // 0x82 is e acute in both OEM pages, 0x9C the pound sign; 0xC4 is a box-drawing line that
    // Windows-1252 lacks.
    const std::string record = std::string(" ") + "\x82\x9C\xC4";
    WriteFile(dir.File("oem437.dbf"), RawTable(0x03, 0x01, {{"NAME", 'C', 3}}, {record}));
    WriteFile(dir.File("oem850.dbf"), RawTable(0x03, 0x02, {{"NAME", 'C', 3}}, {record}));
    WriteFile(dir.File("ansi.dbf"), RawTable(0x03, 0x03, {{"NAME", 'C', 3}}, {record}));
    uint32_t connection = ConnectFolder(dir.Path());
    EXPECT_EQ(Query(connection, "SELECT name FROM oem437"), (Rows{{"\xE9\xA3?"}}));
    EXPECT_EQ(Query(connection, "SELECT name FROM oem850"), (Rows{{"\xE9\xA3?"}}));
    EXPECT_EQ(Query(connection, "SELECT name FROM ansi"), (Rows{{"\x82\x9C\xC4"}}));
    KdbDisconnect(connection);
}

TEST(FolderReadTest, TableSearchListsAFoldersTablesAndADictionarysTables) {
    TempDir dir;
    MakeTable(dir.File("Alpha.dbf"), Variant::FoxPro2, {{"A", 'C', 1}, {"M", 'M'}}, {});
    MakeTable(dir.File("beta.DBF"), Variant::DBase3, {{"A", 'C', 1}}, {});
    // Beside the tables: a database container, an index, a text file and a folder named like a
    // table. None of them is a table.
    WriteFile(dir.File("mwddf.dbc"), "container");
    WriteFile(dir.File("beta.cdx"), "index");
    WriteFile(dir.File("notes.txt"), "not a table");
    ASSERT_EQ(::mkdir(dir.File("sub.dbf").c_str(), 0700), 0);
    auto list = [](uint32_t connection, const std::string& mask) {
        std::vector<std::string> names;
        char name[261];
        uint16_t len = sizeof name;
        uint32_t search = 0;
        uint32_t rc = KdbFindFirstTable(connection, mask.c_str(), name, &len, &search);
        while (rc == 0) {
            names.push_back(name);
            len = sizeof name;
            rc = KdbFindNextTable(search, name, &len);
        }
        EXPECT_EQ(rc, static_cast<uint32_t>(KDB_ERR_NO_MORE_TABLES));
        if (search != 0) KdbFindClose(0, search);
        return names;
    };
    uint32_t folder = ConnectFolder(dir.Path());
    // GetTableNames sends the data path, "\\" and the mask.
    const std::pair<const char*, std::vector<std::string>> masks[] = {
        {"*.dbf", {"Alpha", "beta"}},
        {"*.*", {"Alpha", "beta"}},
        {"*", {"Alpha", "beta"}},
        {"b*", {"beta"}},
        {"*.kdt", {}},
    };
    for (const auto& [mask, names] : masks)
        EXPECT_EQ(list(folder, dir.Path() + "\\" + mask), names) << mask;
    // The two-list form gives the names and the paths of the same tables.
    std::vector<std::string> names, paths;
    char name[261], path[261];
    uint16_t nameLen = sizeof name, pathLen = sizeof path;
    uint32_t search = 0;
    const std::string all = dir.Path() + "\\*.*";
    uint32_t rc = KdbFindFirstTable62(folder, all.c_str(), name, &nameLen, path, &pathLen, &search);
    while (rc == 0) {
        names.push_back(name);
        paths.push_back(path);
        nameLen = sizeof name;
        pathLen = sizeof path;
        rc = KdbFindNextTable62(search, name, &nameLen, path, &pathLen);
    }
    EXPECT_EQ(rc, static_cast<uint32_t>(KDB_ERR_NO_MORE_TABLES));
    KdbFindClose(folder, search);
    EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "beta"}));
    EXPECT_EQ(paths, (std::vector<std::string>{dir.File("Alpha.dbf"), dir.File("beta.DBF")}));
    KdbDisconnect(folder);

    uint32_t dictionary = CreateDictionary(dir.File("d.kdd"));
    RunSql(dictionary, "CREATE TABLE people (name CHAR(10))");
    EXPECT_EQ(list(dictionary, ""), (std::vector<std::string>{"people"}));
    KdbDisconnect(dictionary);
}

TEST(FolderReadTest, TablesWrittenByOtherProgramsGiveTheirValues) {
    struct Case {
        const char* sql;
        Rows rows;
    };
    const Case cases[] = {
        // OEM text and memos in Windows-1252; blanks, the overflow mark, a zero date and the
        // logical '?' are null; the deleted record is no row.
        {"SELECT name, amount, born, active, notes FROM db3oem",
         {{"M\xFCller", "  123.45", "12/31/1999", "T",
           "Gr\xFC\xDF"
           "e"},
          {"NULL", "NULL", "NULL", "NULL", "NULL"},
          {"?-FLAG", "   -0.50", "02/29/2000", "NULL", "NULL"},
          {"F-FLAG", "NULL", "NULL", "F", "NULL"}}},
        {"SELECT code, flag, qty, note FROM fox2",
         {{"\xD8L", "T", "   42", "fox \xE9t\xE9"},
          {"UNK", "NULL", "NULL", "NULL"},
          {"NO", "F", "   -7", "NULL"}}},
        {"SELECT id, paid, seen, name FROM vfp",
         {{"1", "T", "01/01/2000 12:00:00.000", "max"},
          {"2", "F", "NULL", "min"},
          {"4", "NULL", "NULL", "NULL"},
          {"5", "NULL", "NULL", ""}}},
        {"SELECT fee FROM vfp WHERE id >= 4", {{"NULL"}, {"0.0000"}}},
        // An unknown logical is neither true nor false.
        {"SELECT count(*) FROM db3oem WHERE active IS NULL", {{"2"}}},
        {"SELECT name FROM db3oem WHERE active = FALSE", {{"F-FLAG"}}},
        {"SELECT name FROM db3oem WHERE NOT active", {{"F-FLAG"}}},
        {"SELECT name FROM db3oem WHERE active <> TRUE", {{"F-FLAG"}}},
        {"SELECT code FROM fox2 WHERE flag IS NULL", {{"UNK"}}},
        {"SELECT id FROM vfp WHERE paid IS NULL", {{"4"}, {"5"}}},
        {"SELECT id FROM vfp WHERE paid = FALSE", {{"2"}}},
    };
    TempDir dir;
    kce::dbf::test::WriteForeignTables(dir.Path());
    ASSERT_EQ(KdbSetDateFormat("MM/DD/CCYY"), 0u);
    uint32_t connection = ConnectFolder(dir.Path());
    for (const Case& c : cases) EXPECT_EQ(QueryWithNulls(connection, c.sql), c.rows) << c.sql;
    // Shown, the deleted records are rows again.
    ASSERT_EQ(KdbShowDeleted(1), 0u);
    EXPECT_EQ(QueryWithNulls(connection, "SELECT name FROM db3oem WHERE amount = 1"),
              (Rows{{"GONE"}}));
    EXPECT_EQ(QueryWithNulls(connection, "SELECT code FROM fox2 WHERE qty = 1"), (Rows{{"DEL"}}));
    EXPECT_EQ(QueryWithNulls(connection, "SELECT name FROM vfp WHERE id = 3"), (Rows{{"gone"}}));
    ASSERT_EQ(KdbShowDeleted(0), 0u);
    KdbDisconnect(connection);
}

TEST(FolderReadTest, SettingAnUnknownLogicalWritesIt) {
    struct Case {
        const char* file;
        const char* update;
        const char* check;
        size_t record;  // from 0
        size_t offset;  // of the logical field in the record
        char stored;
    };
    const Case cases[] = {
        {"DB3OEM.DBF", "UPDATE db3oem SET active = FALSE WHERE name = '?-FLAG'",
         "SELECT active FROM db3oem WHERE name = '?-FLAG'", 3, 25, 'F'},
        {"FOX2.DBF", "UPDATE fox2 SET flag = FALSE WHERE code = 'UNK'",
         "SELECT flag FROM fox2 WHERE code = 'UNK'", 2, 5, 'F'},
        {"VFP.DBF", "UPDATE vfp SET paid = TRUE WHERE id = 5", "SELECT paid FROM vfp WHERE id = 5",
         4, 13, 'T'},
    };
    for (const Case& c : cases) {
        TempDir dir;
        kce::dbf::test::WriteForeignTables(dir.Path());
        uint32_t connection = ConnectFolder(dir.Path());
        EXPECT_EQ(Changed(connection, c.update), 1u) << c.update;
        EXPECT_EQ(QueryWithNulls(connection, c.check), (Rows{{std::string(1, c.stored)}}))
            << c.check;
        KdbDisconnect(connection);
        const std::string bytes = ReadFile(dir.File(c.file));
        const size_t headerLength =
            static_cast<unsigned char>(bytes[8]) | static_cast<unsigned char>(bytes[9]) << 8;
        const size_t recordLength =
            static_cast<unsigned char>(bytes[10]) | static_cast<unsigned char>(bytes[11]) << 8;
        EXPECT_EQ(bytes.at(headerLength + c.record * recordLength + c.offset), c.stored) << c.file;
    }
}

TEST(FolderReadTest, StatementsFollowFilesChangedByAnotherProgram) {
    TempDir dir;
    MakeTable(dir.File("t.dbf"), Variant::DBase3, {{"NAME", 'C', 4}}, {{T("old")}});
    uint32_t connection = ConnectFolder(dir.Path());
    uint32_t statement = 0;
    ASSERT_EQ(KdbCreateSQLStatement(connection, &statement), 0u);
    ASSERT_EQ(KdbPrepareSQL(statement, "SELECT * FROM t"), 0u) << LastError();
    auto run = [&] {
        uint32_t cursor = 0;
        EXPECT_EQ(KdbExecuteSQL(statement, &cursor), 0u) << LastError();
        return cursor == 0 ? Rows{} : RowsWithNulls(cursor);
    };
    EXPECT_EQ(run(), (Rows{{"old"}}));
    // Another program replaces the table, with another column: the prepared statement sees it.
    ASSERT_EQ(::unlink(dir.File("t.dbf").c_str()), 0);
    MakeTable(dir.File("t.dbf"), Variant::DBase3, {{"NAME", 'C', 4}, {"AGE", 'N', 3}},
              {{T("new"), I(5)}, {T("two"), N()}});
    EXPECT_EQ(run(), (Rows{{"new", "  5"}, {"two", "NULL"}}));
    // A vanished table is an unknown table.
    ASSERT_EQ(::unlink(dir.File("t.dbf").c_str()), 0);
    uint32_t cursor = 0;
    EXPECT_EQ(KdbExecuteSQL(statement, &cursor), static_cast<uint32_t>(KDB_ERR_SQL));
    EXPECT_NE(LastError().find("2103"), std::string::npos) << LastError();
    KdbCloseSQLStatement(statement);
    KdbDisconnect(connection);
}

}  // namespace
