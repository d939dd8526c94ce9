// The demo practice as a folder of table files answers the seven built-in statements with the same
// columns and rows as the dictionary made from the same seed.
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tests/kce/KceSupport.h"

namespace {

using namespace kcetest;
using Rows = std::vector<std::vector<std::string>>;

void Generate(const std::string& path, bool dbf) {
    std::string command = std::string(PARVELL_DEMO_BIN) + " '" + path +
                          "' --patients 300 --seed 3" + (dbf ? " --dbf" : "") + " > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

std::string BuiltIn(int number) {
    const char* root = std::getenv("PARVELL_SOURCE_DIR");
    std::ifstream in(std::string(root ? root : ".") + "/tests/app/data/builtin" +
                         std::to_string(number) + ".sql",
                     std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Name, engine type, length and decimals of every field.
std::vector<std::string> Columns(uint32_t cursor) {
    std::vector<std::string> columns;
    uint16_t count = 0;
    EXPECT_EQ(KdbGetNumFields(cursor, &count), 0u);
    for (uint16_t f = 1; f <= count; ++f) {
        char name[129];
        uint16_t len = sizeof name;
        uint16_t type = 0, decimals = 0;
        uint32_t length = 0;
        KdbGetFieldName(cursor, f, name, &len);
        KdbGetFieldType(cursor, f, &type);
        KdbGetFieldLength(cursor, f, &length);
        KdbGetFieldDecimals(cursor, f, &decimals);
        columns.push_back(std::string(name) + " " + std::to_string(type) + " " +
                          std::to_string(length) + "," + std::to_string(decimals));
    }
    return columns;
}

TEST(FolderDemoTest, BuiltInStatementsGiveTheDictionarysColumnsAndRows) {
    TempDir dir;
    Generate(dir.File("kdd"), false);
    Generate(dir.File("dbf"), true);
    ASSERT_EQ(KdbSetDateFormat("MM/DD/CCYY"), 0u);
    uint32_t dictionary = 0;
    uint32_t folder = 0;
    ASSERT_EQ(
        KdbConnect60(dir.File("kdd/mwddf.kdd").c_str(), 3, "user", "qzmvtrlk", 0, &dictionary), 0u)
        << LastError();
    ASSERT_EQ(KdbConnect60(dir.File("dbf").c_str(), 3, "", "", 0, &folder), 0u) << LastError();
    for (int text = 1; text <= 6; ++text) {
        uint32_t a = RunSql(dictionary, BuiltIn(text));
        uint32_t b = RunSql(folder, BuiltIn(text));
        ASSERT_NE(a, 0u);
        ASSERT_NE(b, 0u);
        EXPECT_EQ(Columns(a), Columns(b)) << "text " << text;
        Rows rowsA = AllRows(a);
        Rows rowsB = AllRows(b);
        EXPECT_FALSE(rowsA.empty()) << "text " << text;
        EXPECT_EQ(rowsA, rowsB) << "text " << text;
    }
    // Text 7 changes the diagnoses in both, alike.
    uint32_t changedA = Changed(dictionary, BuiltIn(7));
    EXPECT_GT(changedA, 0u);
    EXPECT_EQ(Changed(folder, BuiltIn(7)), changedA);
    const char* check =
        "SELECT [Case Number], [Code 3], [Code 3 Description] FROM mwdia ORDER BY [Case Number]";
    Rows expected = Query(dictionary, check);
    EXPECT_EQ(Query(folder, check), expected);
    KdbDisconnect(dictionary);
    KdbDisconnect(folder);
    // The change is in the file: a new connection reads it.
    ASSERT_EQ(KdbConnect60(dir.File("dbf").c_str(), 3, "", "", 0, &folder), 0u) << LastError();
    EXPECT_EQ(Query(folder, check), expected);
    KdbDisconnect(folder);
}

TEST(FolderDemoTest, TransactionsAreNumberedOnInsertInBothForms) {
    TempDir dir;
    Generate(dir.File("kdd"), false);
    Generate(dir.File("dbf"), true);
    uint32_t dictionary = 0;
    uint32_t folder = 0;
    ASSERT_EQ(
        KdbConnect60(dir.File("kdd/mwddf.kdd").c_str(), 3, "user", "qzmvtrlk", 0, &dictionary), 0u)
        << LastError();
    ASSERT_EQ(KdbConnect60(dir.File("dbf").c_str(), 3, "", "", 0, &folder), 0u) << LastError();
    const std::string last = "SELECT max([Entry Number]) FROM MWTRN";
    const Rows before = Query(dictionary, last);
    ASSERT_EQ(Query(folder, last), before);
    const int next = std::stoi(before.at(0).at(0)) + 1;
    for (uint32_t connection : {dictionary, folder}) {
        const char* form = connection == dictionary ? "dictionary" : "folder";
        uint32_t cursor = RunSql(connection, "SELECT * FROM MWTRN WHERE 1 = 0");
        ASSERT_NE(cursor, 0u);
        const std::vector<std::string> columns = Columns(cursor);
        KdbCloseTable(cursor);
        EXPECT_EQ(columns.at(0), "Entry Number 15 4,0") << form;
        EXPECT_EQ(Changed(connection,
                          "INSERT INTO MWTRN ([Chart Number], [Case Number], [Transaction Type], "
                          "[Procedure Code], Units) VALUES ('ZZTEST01', 1, 'A', '99213', 1.5)"),
                  1u)
            << form;
        EXPECT_EQ(Changed(connection, "INSERT INTO MWTRN ([Chart Number]) VALUES ('ZZTEST02')"), 1u)
            << form;
        EXPECT_EQ(
            Query(
                connection,
                "SELECT [Entry Number], [Chart Number] FROM MWTRN WHERE [Chart Number] LIKE 'ZZ%' "
                "ORDER BY [Entry Number]"),
            (Rows{{std::to_string(next), "ZZTEST01"}, {std::to_string(next + 1), "ZZTEST02"}}))
            << form;
    }
    // Both forms give the same engine types for the whole table.
    uint32_t a = RunSql(dictionary, "SELECT * FROM MWTRN");
    uint32_t b = RunSql(folder, "SELECT * FROM MWTRN");
    EXPECT_EQ(Columns(a), Columns(b));
    KdbCloseTable(a);
    KdbCloseTable(b);
    KdbDisconnect(dictionary);
    KdbDisconnect(folder);
}

}  // namespace
