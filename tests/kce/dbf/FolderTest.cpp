// Folder paths and table lookup.

#include <gtest/gtest.h>

#include "kce/dbf/DbfError.h"
#include "kce/dbf/Folder.h"
#include "tests/kce/dbf/TestFiles.h"

namespace kce::dbf::test {
namespace {

TEST(DbfFolder, TypedPathsAreNormalised) {
    const std::pair<const char*, const char*> cases[] = {
        {"C:\\Data\\Practice\\", "C:/Data/Practice"},
        {"/srv/data/", "/srv/data"},
        {"/srv/data//", "/srv/data"},
        {"/", "/"},
        {"", "."},
        {"rel\\sub", "rel/sub"},
    };
    for (const auto& [typed, expected] : cases)
        EXPECT_EQ(NormalizeFolderPath(typed), expected) << typed;
}

TEST(DbfFolder, EveryDbfFileIsATableFoundWithoutRegardToCase) {
    TempFolder dir;
    for (const char* name :
         {"MWPAT.DBF", "mwtrn.dbf", "Notes.Dbf", "other.txt", "mwpat.dbt", "x.dbf.journal"}) {
        WriteFile(dir.File(name), "");
    }
    auto tables = ListTables(dir.Path() + "/");
    ASSERT_EQ(tables.size(), 3u);
    EXPECT_EQ(tables[0].name, "MWPAT");
    EXPECT_EQ(tables[1].name, "mwtrn");
    EXPECT_EQ(tables[2].name, "Notes");

    std::string backslashed = dir.Path();
    std::replace(backslashed.begin(), backslashed.end(), '/', '\\');
    auto found = FindTable(backslashed + "\\", "MwTrn");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->path, dir.File("mwtrn.dbf"));
    EXPECT_TRUE(FindTable(dir.Path(), "notes.DBF"));
    EXPECT_FALSE(FindTable(dir.Path(), "missing"));
}

TEST(DbfFolder, NamesDifferingOnlyInCaseAreAmbiguous) {
    TempFolder dir;
    WriteFile(dir.File("a.dbf"), "");
    WriteFile(dir.File("A.DBF"), "");
    EXPECT_THROW(FindTable(dir.Path(), "a"), DbfError);
}

TEST(DbfFolder, IndexFilesOfATableAreFoundBesideItOrFromTheHeader) {
    struct Case {
        const char* name;
        const char* table;
        uint8_t version;
        uint8_t flags;  // byte 28
        std::vector<const char*> beside;
        const char* index;  // expected file name, "" for none
    };
    const Case cases[] = {
        {"no index",
         "people.dbf",
         0x03,
         0x00,
         {"people.fpt", "other.cdx", "people.cdx.bak", "peoplex.cdx"},
         ""},
        {"structural index of another case",
         "people.dbf",
         0xF5,
         0x00,
         {"PEOPLE.CDX"},
         "PEOPLE.CDX"},
        {"production index", "PEOPLE.DBF", 0x8B, 0x00, {"People.Mdx"}, "People.Mdx"},
        {"single index", "people.dbf", 0x03, 0x00, {"people.idx"}, "people.idx"},
        {"clipper index", "people.dbf", 0x03, 0x00, {"people.NTX"}, "people.NTX"},
        {"FoxPro flag without the file", "people.dbf", 0xF5, 0x01, {}, "people.cdx"},
        {"Visual FoxPro flag", "PEOPLE.DBF", 0x30, 0x03, {}, "PEOPLE.CDX"},
        {"dBase IV flag without the file", "PEOPLE.DBF", 0x8B, 0x01, {}, "PEOPLE.MDX"},
        {"Visual FoxPro memo flag only", "people.dbf", 0x30, 0x02, {}, ""},
    };
    for (const Case& c : cases) {
        TempFolder dir;
        std::string header(32, '\0');
        header[0] = static_cast<char>(c.version);
        header[28] = static_cast<char>(c.flags);
        WriteFile(dir.File(c.table), header);
        for (const char* file : c.beside) WriteFile(dir.File(file), "");
        EXPECT_EQ(IndexFileOf(dir.File(c.table)), *c.index ? dir.File(c.index) : "") << c.name;
    }
}

TEST(DbfFolder, MissingFolderIsReported) {
    try {
        ListTables("/nonexistent/folder/for/kce");
        FAIL();
    } catch (const DbfError& e) {
        EXPECT_EQ(e.File(), "/nonexistent/folder/for/kce");
    }
}

}  // namespace
}  // namespace kce::dbf::test

#include "kce/dbf/Table.h"
#include "kce/dbf/Writer.h"

namespace kce::dbf::test {
namespace {

TEST(DbfFolder, CreatingATableBesideOneDifferingOnlyInCaseIsRefused) {
    TempFolder dir;
    TableLayout layout;
    layout.columns = {{"A", 'C', 1}};
    CreateTable(dir.File("MWPAT.DBF"), layout, {});
    std::string backslashed = dir.File("MWPAT.DBF");
    std::replace(backslashed.begin(), backslashed.end(), '/', '\\');
    EXPECT_EQ(Table::Open(backslashed)->Name(), "MWPAT");
    EXPECT_THROW(CreateTable(dir.File("mwpat.dbf"), layout, {}), DbfError);
    EXPECT_EQ(ListTables(dir.Path()).size(), 1u);
}

}  // namespace
}  // namespace kce::dbf::test
