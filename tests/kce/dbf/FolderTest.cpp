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
    for (const auto& [typed, expected] : cases) EXPECT_EQ(NormalizeFolderPath(typed), expected) << typed;
}

TEST(DbfFolder, EveryDbfFileIsATableFoundWithoutRegardToCase) {
    TempFolder dir;
    for (const char* name : {"MWPAT.DBF", "mwtrn.dbf", "Notes.Dbf", "other.txt", "mwpat.dbt", "x.dbf.journal"}) {
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
    TableSpec layout;
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
