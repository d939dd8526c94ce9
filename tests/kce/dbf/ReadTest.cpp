// Reading tables: hand-made files of each variant, column types, nulls, code pages, and tables
// written by the library's writer read back.

#include <gtest/gtest.h>

#include <cstring>

#include "kce/dbf/DbfError.h"
#include "kce/dbf/FileIo.h"
#include "kce/dbf/Table.h"
#include "kce/dbf/Writer.h"
#include "tests/kce/dbf/TestFiles.h"
#include "tests/support/ForeignTables.h"
#include "tests/support/RawFiles.h"

namespace kce::dbf::test {
namespace {

TEST(DbfRead, HandMadeDbase3TableGivesTypesValuesAndNulls) {
    TempFolder dir;
    std::vector<RawField> fields = {{"NAME", 'C', 10},
                                    {"AMOUNT", 'N', 8, 2},
                                    {"BORN", 'D', 8},
                                    {"ACTIVE", 'L', 1},
                                    {"NOTES", 'M', 10}};
    std::vector<std::string> records = {
        " SMITH       123.4519991231T         1",
        std::string(" ") + std::string(37, ' '),
        "*JONES        -0.5020000229F          ",
        std::string(" ") + "  LEAD" + std::string(4, '\0') + "********" + "00000000" + "?" +
            "0000000002",
    };
    WriteFile(dir.File("PEOPLE.DBF"), RawTable(0x83, 0x03, fields, records));
    WriteFile(dir.File("PEOPLE.DBT"), Dbase3Memo({"Hello\r\nworld", "second"}));

    auto table = Table::Open(dir.File("PEOPLE.DBF"));
    EXPECT_EQ(table->GetVariant(), Variant::DBase3);
    EXPECT_EQ(table->Name(), "PEOPLE");
    ASSERT_EQ(table->Columns().size(), 5u);
    const uint16_t types[] = {4, 2, 3, 1, 5};
    const uint32_t lengths[] = {10, 8, 8, 1, 10};
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(table->Columns()[i].engineType, types[i]) << i;
        EXPECT_EQ(table->Columns()[i].length, lengths[i]) << i;
    }
    EXPECT_EQ(table->Columns()[1].decimals, 2);
    EXPECT_EQ(Render(ReadAll(dir.File("PEOPLE.DBF"))),
              "0 | 'SMITH' | 123.45 | '1999-12-31' | 1 | 'Hello\r\nworld'\n"
              "0 | NULL | NULL | NULL | NULL | NULL\n"
              "1 | 'JONES' | -0.5 | '2000-02-29' | 0 | NULL\n"
              "0 | '  LEAD' | NULL | NULL | NULL | 'second'\n");
}

TEST(DbfRead, HandMadeVisualFoxProTableUsesNullFlagsAndVarLengths) {
    TempFolder dir;
    std::vector<RawField> fields = {{"ID", 'I', 4},
                                    {"NAME", 'V', 10, 0, 0x02},
                                    {"PRICE", 'Y', 8},
                                    {"STAMP", 'T', 8},
                                    {"RATE", 'B', 8, 2},
                                    {"NOTE", 'M', 4, 0, 0x02},
                                    {"_NullFlags", '0', 1, 0, 0x05}};
    auto record = [](int32_t id, std::string name, int64_t price, uint32_t day, uint32_t ms,
                     double rate, uint32_t memo, uint8_t flags) {
        std::string r = " " + Le(static_cast<uint32_t>(id), 4) + name +
                        Le(static_cast<uint64_t>(price), 8) + Le(day, 4) + Le(ms, 4);
        uint64_t bits;
        std::memcpy(&bits, &rate, 8);
        return r + Le(bits, 8) + Le(memo, 4) + std::string(1, static_cast<char>(flags));
    };
    std::string abc = std::string("abc") + std::string(6, '\0') + "\x03";
    std::vector<std::string> records = {
        record(7, abc, 1234500, 2451545, 43200000, 2.5, 8, 0x01),
        record(0, std::string(10, ' '), 0, 0, 0, 0, 0, 0x06),
        record(-3, "ABCDEFGHIJ", -1, 2451545, 0, -1, 0, 0x00),
    };
    WriteFile(dir.File("items.dbf"), RawTable(0x32, 0x03, fields, records, true));
    std::string memo(512, '\0');
    PutBe(memo, 0, 9, 4);
    PutBe(memo, 6, 64, 2);
    std::string block(64, '\0');
    PutBe(block, 0, 1, 4);
    PutBe(block, 4, 5, 4);
    block.replace(8, 5, "memo!");
    WriteFile(dir.File("items.fpt"), memo + block);

    auto table = Table::Open(dir.File("items.dbf"));
    EXPECT_EQ(table->GetVariant(), Variant::VisualFoxPro);
    EXPECT_EQ(EngineTableType(table->GetVariant()), 4);
    ASSERT_EQ(table->Columns().size(), 6u) << "the null-flags column is not listed";
    const uint16_t types[] = {11, 23, 18, 14, 10, 5};
    for (size_t i = 0; i < 6; ++i) EXPECT_EQ(table->Columns()[i].engineType, types[i]) << i;
    EXPECT_EQ(Render(ReadAll(dir.File("items.dbf"))),
              "0 | 7 | 'abc' | 1234500 | '2000-01-01 12:00:00.000' | 2.5 | 'memo!'\n"
              "0 | 0 | NULL | 0 | NULL | 0 | NULL\n"
              "0 | -3 | 'ABCDEFGHIJ' | -1 | '2000-01-01 00:00:00.000' | -1 | NULL\n");
}

// Every record with its deletion mark, in stored form except that currency columns show the
// amount in ten-thousandths exactly as decoded.
std::string Decoded(const std::string& path) {
    auto table = Table::Open(path);
    std::string out;
    auto cursor = table->Records();
    while (cursor.Next()) {
        Record line;
        for (size_t i = 0; i < table->Columns().size(); ++i) {
            if (table->Columns()[i].dbfType == 'Y') {
                Value v = cursor.Field(i);
                line.push_back(v.kind == ValueKind::Null ? N() : I(v.integer));
            } else {
                line.push_back({});
                cursor.Stored(i, line.back());
            }
        }
        out += std::string(cursor.Deleted() ? "*" : " ") + " " + Render({line});
    }
    return out;
}

TEST(DbfRead, TablesWrittenByOtherProgramsReadAsTheyWrote) {
    struct Case {
        const char* file;
        const char* rows;
    };
    const Case cases[] = {
        {"DB3OEM.DBF",
         // OEM 437 text and memo; blanks, a zero memo block, the overflow mark and a zero date are
         // null; so is the logical '?'.
         "  'Müller' | 123.45 | '1999-12-31' | 1 | 'Grüße'\n"
         "* 'GONE' | 1 | '2000-01-01' | 0 | NULL\n"
         "  NULL | NULL | NULL | NULL | NULL\n"
         "  '?-FLAG' | -0.5 | '2000-02-29' | NULL | NULL\n"
         "  'F-FLAG' | NULL | NULL | 0 | NULL\n"},
        {"FOX2.DBF",
         "  'ØL' | 1 | 42 | 'fox été'\n"
         "* 'DEL' | 1 | 1 | NULL\n"
         "  'UNK' | NULL | NULL | NULL\n"
         "  'NO' | 0 | -7 | NULL\n"},
        {"VFP.DBF",
         // The currency range's ends exactly; null flags; '?' without a null flag is null too; an
         // empty text with a clear null flag is empty.
         "  1 | 9223372036854775807 | 1 | '2000-01-01 12:00:00.000' | 'max'\n"
         "  2 | -9223372036854775808 | 0 | NULL | 'min'\n"
         "* 3 | 12345 | 1 | NULL | 'gone'\n"
         "  4 | NULL | NULL | NULL | NULL\n"
         "  5 | 0 | NULL | NULL | ''\n"},
    };
    TempFolder dir;
    WriteForeignTables(dir.Path());
    for (const Case& c : cases) EXPECT_EQ(Decoded(dir.File(c.file)), c.rows) << c.file;
}

TEST(DbfRead, CodePageByteSelectsTheConversion) {
    struct Case {
        const char* name;
        uint8_t mark;
        unsigned char stored;
        const char* utf8;
    };
    const Case cases[] = {
        {"no mark is Windows-1252", 0x00, 0xE9, "é"},
        {"Windows-1252", 0x03, 0x80, "€"},
        {"unassigned 1252 byte survives", 0x03, 0x81, "\xC2\x81"},
        {"OEM 437 e acute", 0x01, 0x82, "é"},
        {"OEM 437 yen", 0x01, 0x9D, "¥"},
        {"OEM 850 O stroke", 0x02, 0x9D, "Ø"},
        {"OEM box drawing has no 1252 form", 0x01, 0xB3, "?"},
    };
    for (const Case& c : cases) {
        TempFolder dir;
        std::string record = " " + std::string(1, static_cast<char>(c.stored)) + "x";
        WriteFile(dir.File("t.dbf"), RawTable(0x03, c.mark, {{"S", 'C', 2}}, {record}));
        auto rows = ReadAll(dir.File("t.dbf"));
        ASSERT_EQ(rows.size(), 1u) << c.name;
        EXPECT_EQ(rows[0][1].text, std::string(c.utf8) + "x") << c.name;
    }
}

TEST(DbfRead, UnknownCodePageIsRefused) {
    TempFolder dir;
    WriteFile(dir.File("t.dbf"), RawTable(0x03, 0xC9, {{"S", 'C', 2}}, {" ab"}));
    try {
        Table::Open(dir.File("t.dbf"));
        FAIL() << "opened";
    } catch (const DbfError& e) {
        EXPECT_EQ(e.Offset(), 29);
        EXPECT_NE(e.Detail().find("0xC9"), std::string::npos) << e.what();
    }
}

struct VariantCase {
    const char* name;
    Variant variant;
    uint8_t version;
    const char* memoName;
};

class DbfVariantRoundTrip : public ::testing::TestWithParam<VariantCase> {};

TEST_P(DbfVariantRoundTrip, WrittenTableReadsBack) {
    const VariantCase& c = GetParam();
    TempFolder dir;
    TableLayout layout;
    layout.variant = c.variant;
    layout.columns = {{"NAME", 'C', 12}, {"QTY", 'N', 6, 0}, {"PRICE", 'F', 10, 3},
                      {"DUE", 'D'},      {"PAID", 'L'},      {"NOTE", 'M'}};
    const bool vfp = c.variant == Variant::VisualFoxPro;
    if (vfp) {
        layout.columns[0].nullable = true;
        layout.columns.push_back({"N32", 'I'});
        layout.columns.push_back({"CASH", 'Y'});
        layout.columns.push_back({"AT", 'T'});
        layout.columns.push_back({"DBL", 'B', 0, 2});
        layout.columns.push_back({"VC", 'V', 8, 0, true});
        layout.columns.push_back({"VB", 'Q', 4});
        layout.columns.push_back({"PIC", 'G'});
    }
    std::vector<Record> records = {
        {T("Müller & Søn"), I(42), R(-1.25), T("2024-02-29"), I(1), T("a memo\nwith two lines")},
        {N(), N(), N(), N(), N(), N()},
        {T(" lead"), R(-99999), R(0.001), T("0001-01-01"), I(0), T(std::string(700, 'x').c_str())},
    };
    if (vfp) {
        records[0].insert(
            records[0].end(),
            {I(-2147483648LL), I(123456), T("1999-12-31 23:59:59.999"), R(1e100), T("short"),
             StoredValue::Blob(std::string("\0\x01", 2)), StoredValue::Blob("PNG")});
        records[1].insert(records[1].end(),
                          {I(0), I(0), N(), R(0), N(), StoredValue::Blob(""), N()});
        records[2].insert(records[2].end(), {I(5), I(-5000), T("2000-01-01"), R(-3), T("exactly8"),
                                             StoredValue::Blob("four"), N()});
    }
    CreateTable(dir.File("T.DBF"), layout, records);
    EXPECT_EQ(static_cast<uint8_t>(ReadFile(dir.File("T.DBF"))[0]), c.version);
    EXPECT_TRUE(FileExists(dir.File(c.memoName))) << c.memoName;

    auto rows = ReadAll(dir.File("T.DBF"));
    ASSERT_EQ(rows.size(), 3u);
    std::vector<Record> expected = records;
    for (Record& r : expected) r.insert(r.begin(), I(0));
    // Blank-is-null: a dBase or FoxPro table stores null as blanks and reads blanks as null.
    if (vfp) {
        expected[2][9] = T("2000-01-01 00:00:00.000");  // a date written to a datetime column
    } else {
        expected[2][2] = R(-99999);
    }
    EXPECT_EQ(Render(rows), Render(expected));
}

INSTANTIATE_TEST_SUITE_P(Variants, DbfVariantRoundTrip,
                         ::testing::Values(VariantCase{"dBase3", Variant::DBase3, 0x83, "T.DBT"},
                                           VariantCase{"dBase4", Variant::DBase4, 0x8B, "T.DBT"},
                                           VariantCase{"FoxPro2", Variant::FoxPro2, 0xF5, "T.FPT"},
                                           VariantCase{"VisualFoxPro", Variant::VisualFoxPro, 0x32,
                                                       "T.FPT"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DbfRead, OemTableConvertsTextAndMemoBothWays) {
    TempFolder dir;
    TableLayout layout;
    layout.variant = Variant::FoxPro2;
    layout.codePage = CodePage::Oem850;
    layout.columns = {{"S", 'C', 4}, {"M", 'M'}};
    CreateTable(dir.File("oem.dbf"), layout, {{T("Øé"), T("é")}});
    std::string bytes = ReadFile(dir.File("oem.dbf"));
    EXPECT_EQ(static_cast<uint8_t>(bytes[29]), 0x02);
    auto table = Table::Open(dir.File("oem.dbf"));
    size_t at = table->GetHeader().RecordOffset(0) + 1;
    EXPECT_EQ(bytes.substr(at, 2), "\x9D\x82");
    EXPECT_EQ(Render(ReadAll(dir.File("oem.dbf"))), "0 | 'Øé' | 'é'\n");
}

TEST(DbfRead, NumericValuesThatDoNotFitAreRefusedOnWrite) {
    TempFolder dir;
    TableLayout layout;
    layout.columns = {{"N", 'N', 5, 2}, {"C", 'C', 3}, {"D", 'D'}};
    struct Case {
        const char* name;
        Record values;
        const char* fragment;
    };
    const Case cases[] = {
        {"number too wide", {R(123.4), N(), N()}, "does not fit"},
        {"text too long", {N(), T("abcd"), N()}, "does not fit"},
        {"impossible date", {N(), N(), T("2023-02-30")}, "not a date"},
        {"text in a numeric field", {T("abc"), N(), N()}, "cannot store a text"},
    };
    for (const Case& c : cases) {
        TempFolder sub;
        try {
            CreateTable(sub.File("t.dbf"), layout, {c.values});
            ADD_FAILURE() << c.name;
        } catch (const DbfError& e) {
            EXPECT_NE(std::string(e.what()).find(c.fragment), std::string::npos)
                << c.name << ": " << e.what();
            EXPECT_NE(std::string(e.what()).find("record 1"), std::string::npos) << c.name;
        }
        EXPECT_FALSE(FileExists(sub.File("t.dbf"))) << c.name;
    }
}

TEST(DbfRead, CursorWalksAcrossReadBlocks) {
    TempFolder dir;
    TableLayout layout;
    layout.columns = {{"ID", 'N', 9}, {"PAD", 'C', 250}};
    TableCreator creator(dir.File("big.dbf"), layout);
    const int count = 20000;  // several 1 MB read blocks of 260-byte records
    for (int i = 1; i <= count; ++i) creator.Add({I(i), T("p")}, i % 1000 == 0);
    creator.Finish();
    auto table = Table::Open(dir.File("big.dbf"));
    auto cursor = table->Records();
    int seen = 0, deleted = 0;
    while (cursor.Next()) {
        ++seen;
        Value v = cursor.Field(0);
        ASSERT_EQ(v.real, seen);
        deleted += cursor.Deleted();
    }
    EXPECT_EQ(seen, count);
    EXPECT_EQ(deleted, count / 1000);
    EXPECT_FALSE(cursor.Next());
}

}  // namespace
}  // namespace kce::dbf::test
