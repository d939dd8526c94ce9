// Index files of the formats other than the compound index, and tables with several index files:
// files built here for each format and key type read back with one entry per record in key order;
// changes keep every index file in step within one journalled change; damage is refused by name.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <stdexcept>

#include "kce/dbf/Bytes.h"
#include "kce/dbf/Cdx.h"
#include "kce/dbf/DbfError.h"
#include "kce/dbf/FileIo.h"
#include "kce/dbf/Index.h"
#include "kce/dbf/IndexFormats.h"
#include "kce/dbf/Journal.h"
#include "kce/dbf/Table.h"
#include "kce/dbf/Writer.h"
#include "tests/kce/dbf/CdxChecker.h"
#include "tests/kce/dbf/TestFiles.h"

namespace kce::dbf::test {
namespace {

// One index file of a format with the tags it is built with. A single-tag format gets one case
// per key type.
struct FileCase {
    const char* name;
    const char* file;  // beside patients.dbf
    bool compact;      // .idx: the form
    std::vector<TagLayout> tags;
};

const std::vector<FileCase> kFiles = {
    {"compact idx, text key with FOR",
     "patients.idx",
     true,
     {{"P", "UPPER(NAME)+STR(AGE,3)", "!DELETED()"}}},
    {"compact idx, numeric unique", "patients.idx", true, {{"P", "AGE", "", true}}},
    {"compact idx, date", "patients.idx", true, {{"P", "BORN"}}},
    {"FoxBASE idx, text key", "patients.idx", false, {{"P", "LEFT(NAME,5)+DTOS(BORN)"}}},
    {"FoxBASE idx, numeric with FOR", "patients.idx", false, {{"P", "BAL", "VISITS > 0"}}},
    {"FoxBASE idx, logical unique", "patients.idx", false, {{"P", "ACTIVE", "", true}}},
    {"ndx, text key", "patients.ndx", true, {{"P", "UPPER(NAME)"}}},
    {"ndx, numeric", "patients.ndx", true, {{"P", "BAL"}}},
    {"ndx, date unique", "patients.ndx", true, {{"P", "BORN", "", true}}},
    {"ntx, text key with FOR", "patients.ntx", true, {{"P", "UPPER(NAME)", "!DELETED()"}}},
    {"ntx, numeric", "patients.ntx", true, {{"P", "BAL"}}},
    {"ntx, date unique", "patients.ntx", true, {{"P", "BORN", "", true}}},
    {"ntx, logical", "patients.ntx", true, {{"P", "ACTIVE"}}},
    {"mdx, a tag of each key type (in name order, as the file lists them)",
     "patients.mdx",
     true,
     {{"BAL", "BAL", "!DELETED()"},
      {"BORN", "BORN", "", true},
      {"NAME", "UPPER(NAME)+STR(AGE,3)"},
      {"VISITS", "VISITS"}}},
};

TEST(DbfIndex, FilesOfEveryFormatAndKeyTypeReadBackWithOneEntryPerRecordInOrder) {
    for (const FileCase& f : kFiles) {
        for (size_t count : {size_t{0}, size_t{1}, size_t{40}, size_t{3000}}) {
            SCOPED_TRACE(std::string(f.name) + ", " + std::to_string(count) + " records");
            TempFolder dir;
            const std::string table = MakePatients(dir, count);
            const std::string path = dir.File(f.file);
            MakeIndex(table, path, f.tags, f.compact);
            const IndexFile index = CheckIndex(table, path);
            ASSERT_EQ(index.tags.size(), f.tags.size());
            EXPECT_EQ(index.compact, f.compact);
            for (size_t i = 0; i < f.tags.size(); ++i) {
                EXPECT_EQ(index.tags[i].keyExpression, f.tags[i].key);
                EXPECT_EQ(index.tags[i].forExpression, f.tags[i].filter);
                EXPECT_EQ(index.tags[i].unique, f.tags[i].unique);
                if (!f.tags[i].unique && f.tags[i].filter[0] == '\0') {
                    EXPECT_EQ(index.tags[i].entries.size(), count);
                }
            }
        }
    }
}

TEST(DbfIndex, DBaseNumberKeysCompareAsTheirValuesAndKeepTheirFileForm) {
    // dBase III keeps numbers as little-endian doubles: the reader turns them into keys that
    // compare as the values do.
    TempFolder dir;
    TableLayout layout;
    layout.variant = Variant::DBase3;
    layout.columns = {{"N", 'N', 12, 3}};
    const std::string table = dir.File("nums.dbf");
    CreateTable(table, layout, {{R(2)}, {R(-1e6)}, {R(0)}, {R(-0.5)}, {R(123456.5)}, {R(0.25)}});
    const std::string ndx = dir.File("nums.ndx");
    MakeIndex(table, ndx, {{"N", "N"}});
    const std::string bytes = ReadFile(ndx);
    // The one leaf at block 1: the first entry is record 2 (-1e6) as a double.
    EXPECT_EQ(GetLe32(bytes.data()), 1u);      // the root block
    EXPECT_EQ(GetLe32(bytes.data() + 4), 2u);  // blocks in the file
    EXPECT_EQ(GetLe32(bytes.data() + 512 + 4 + 4), 2u);
    double first;
    const uint64_t bits = GetLe64(bytes.data() + 512 + 4 + 8);
    std::memcpy(&first, &bits, sizeof first);
    EXPECT_EQ(first, -1e6);
    // Kept in a variable: a loop over a member of a temporary would outlive the temporary.
    const IndexFile read = CheckIndex(table, ndx);
    std::vector<uint32_t> order;
    for (const IndexEntry& e : read.tags[0].entries) order.push_back(e.recordNumber);
    EXPECT_EQ(order, (std::vector<uint32_t>{2, 4, 3, 6, 1, 5}));
}

TEST(DbfIndex, ClipperNumberKeysAreTextsThatCompareAsTheirValues) {
    const double values[] = {-99999.99, -1234.5, -1, -0.5, -0.01, 0, 0.01, 0.5, 1, 2, 10, 99999.99};
    for (size_t i = 1; i < std::size(values); ++i) {
        const std::string a = IndexKey(IndexFormat::Ntx, ExprValue::Number(values[i - 1]), 9, 2);
        const std::string b = IndexKey(IndexFormat::Ntx, ExprValue::Number(values[i]), 9, 2);
        EXPECT_LT(a, b) << values[i - 1] << " < " << values[i];
    }
    EXPECT_EQ(IndexKey(IndexFormat::Ntx, ExprValue::Number(12.5), 9, 2), "000012.50");
    EXPECT_EQ(IndexKey(IndexFormat::Ntx, ExprValue::Number(-12.5), 9, 2), ",,,,+*.',");
    EXPECT_EQ(IndexKey(IndexFormat::Ntx, ExprValue::Date(2451545), 8), "20000101");
    EXPECT_EQ(IndexKey(IndexFormat::Ntx, ExprValue::Date(0), 8), "        ");
}

TEST(DbfIndex, DBaseIvNumberKeysKeepTheirDigitsAndCompareAsTheirValues) {
    const double values[] = {-1e200, -12345.678, -1, -0.5,      -1e-10,          0, 1e-10, 0.25,
                             1,      2,          10, 12345.678, 98765432109876.5};
    for (double v : values) {
        EXPECT_EQ(MdxNumberValue(MdxNumber(v).data()), v) << v;
    }
    EXPECT_EQ(MdxNumber(12.5), std::string("\x36\x0C\x12\x50\0\0\0\0\0\0\0\0", 12));
    EXPECT_EQ(MdxNumber(-0.05), std::string("\x33\x84\x50\0\0\0\0\0\0\0\0\0", 12));
    EXPECT_EQ(MdxNumber(0.1 + 0.2).substr(0, 2), "\x34\x44");  // 17 digits: 0.30000000000000004
    EXPECT_THROW(MdxNumber(1e300), std::range_error);
    EXPECT_EQ(MdxNumber(0), std::string("\x34\x04\0\0\0\0\0\0\0\0\0\0", 12));
}

TEST(DbfIndex, WhatAFormatCannotHoldIsRefusedByName) {
    TempFolder dir;
    const std::string table = MakePatients(dir, 10);
    struct Case {
        const char* file;
        TagLayout tag;
        const char* why;
    };
    const Case cases[] = {
        {"patients.ndx", {"P", "ACTIVE"}, "does not fit a dBase III index"},
        {"patients.ndx", {"P", "NAME", "AGE > 3"}, "does not fit a dBase III index"},
        {"patients.ntx", {"P", "NAME", "", false, false, true}, "does not fit a Clipper index"},
        {"patients.mdx", {"ACTIVE", "ACTIVE"}, "tag ACTIVE: the key does not fit a dBase IV"},
        {"patients.mdx", {"LONGERNAMES", "NAME"}, "tag LONGERNAMES: the key does not fit"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        try {
            MakeIndex(table, dir.File(c.file), {c.tag});
            ADD_FAILURE() << "built";
        } catch (const DbfError& e) {
            EXPECT_EQ(e.File(), dir.File(c.file));
            EXPECT_NE(std::string(e.what()).find(c.why), std::string::npos) << e.what();
        }
    }
}

// Damage common to every format: the file cut short, the root pointing outside the file, a page
// pointing at its parent (a loop); plus each format's own. Each refused naming the file, with
// the table untouched by a change.
struct Damage {
    const char* name;
    std::function<void(std::string&)> damage;
    const char* why;
};

void ExpectRefused(const std::string& table, const std::string& path, const std::string& good,
                   const std::vector<Damage>& damages) {
    const auto columns = Table::Open(table)->Columns();
    const std::string tableBefore = ReadFile(table);
    for (const Damage& d : damages) {
        SCOPED_TRACE(d.name);
        std::string bytes = good;
        d.damage(bytes);
        WriteFile(path, bytes);
        try {
            ReadIndex(path, columns, CodePage::Windows1252);
            ADD_FAILURE() << "the damaged file was read";
        } catch (const DbfError& e) {
            EXPECT_EQ(e.File(), path);
            EXPECT_NE(std::string(e.what()).find(d.why), std::string::npos) << e.what();
        }
        std::string why;
        EXPECT_EQ(IndexNotKeptOf(table, why), path);
        Changes c;
        c.deletions.push_back(1);
        EXPECT_THROW(Table::Open(table)->Apply(c), DbfError);
        EXPECT_TRUE(ReadFile(table) == tableBefore);
        EXPECT_TRUE(ReadFile(path) == bytes);
    }
}

TEST(DbfIndex, DamagedSingleIndexesAreRefusedByName) {
    TempFolder dir;
    const std::string table = MakePatients(dir, 600);
    const std::string idx = dir.File("patients.idx");
    {
        // Compact: the layout of one compound index tag at offset 0.
        MakeIndex(table, idx, {{"P", "UPPER(NAME)"}}, true);
        const std::string good = ReadFile(idx);
        const uint32_t root = GetLe32(good.data());
        ExpectRefused(
            table, idx, good,
            {{"truncated", [](std::string& b) { b.resize(b.size() - 100); },
              "is not a compact single index"},
             {"root outside", [](std::string& b) { PutLe32(b.data(), 0x7FFFFE00); },
              "the root pointer points at offset 2147483136, which is not a page of the file"},
             {"loop", [root](std::string& b) { PutBe32(b.data() + root + 12 + 12 + 4, root); },
              "reached twice"}});
    }
    {
        MakeIndex(table, idx, {{"P", "UPPER(NAME)"}}, false);
        const std::string good = ReadFile(idx);
        const uint32_t root = GetLe32(good.data());
        ASSERT_EQ(GetLe16(good.data() + root), 1) << "the root must be an interior page";
        ExpectRefused(
            table, idx, good,
            {{"truncated", [](std::string& b) { b.resize(b.size() - 100); },
              "is not a single index"},
             {"cut by a page", [](std::string& b) { b.resize(b.size() - 512); },
              "which is not a page of the file"},
             {"root outside", [](std::string& b) { PutLe32(b.data(), 0x10000); },
              "the root pointer points at offset 65536"},
             {"loop", [root](std::string& b) { PutBe32(b.data() + root + 12 + 12, root); },
              "reached twice"},
             {"leaf links",
              [root](std::string& b) {
                  const uint32_t child = GetBe32(b.data() + root + 12 + 12);
                  PutLe32(b.data() + child + 8, 0xFFFFFFFF);
              },
              "not linked to its neighbours"},
             {"an unknown option", [](std::string& b) { b[14] = 0x02; },
              "index options 0x02 that this program does not understand"},
             {"a field it does not know", [](std::string& b) { b[500] = 'G'; },
              "offset 500 that this program does not understand"},
             {"an expression the evaluator refuses",
              [](std::string& b) { std::memcpy(b.data() + 16, "SOUND(NAME)", 11); },
              "the expression SOUND(NAME) cannot be evaluated"}});
    }
}

TEST(DbfIndex, DamagedDBaseIndexesAreRefusedByName) {
    TempFolder dir;
    const std::string table = MakePatients(dir, 600);
    const std::string ndx = dir.File("patients.ndx");
    MakeIndex(table, ndx, {{"P", "UPPER(NAME)"}});
    const std::string good = ReadFile(ndx);
    const uint32_t root = GetLe32(good.data());
    ASSERT_NE(GetLe32(good.data() + root * 512 + 4), 0u) << "the root must be an interior page";
    ExpectRefused(
        table, ndx, good,
        {{"truncated", [](std::string& b) { b.resize(b.size() - 100); },
          "is not a dBase III index"},
         {"cut by a block", [](std::string& b) { b.resize(b.size() - 512); },
          "blocks in a file of"},
         {"root outside", [](std::string& b) { PutLe32(b.data(), 0x1000); },
          "the root pointer points at offset 2097152"},
         {"loop", [root](std::string& b) { PutLe32(b.data() + root * 512 + 4, root); },
          "reached twice"},
         {"a key type it does not know", [](std::string& b) { PutLe16(b.data() + 16, 5); },
          "key type 5"},
         {"a number key type for a text key", [](std::string& b) { PutLe16(b.data() + 16, 1); },
          "key type 1 for a character key expression"},
         {"entry size", [](std::string& b) { PutLe16(b.data() + 18, 7); }, "entries of 7 bytes"},
         {"keys out of order",
          [root](std::string& b) {
              const uint32_t child = GetLe32(b.data() + root * 512 + 4);
              b[child * 512 + 4 + 8] = '\x7F';
          },
          "out of order"}});
}

TEST(DbfIndex, DamagedClipperIndexesAreRefusedByName) {
    TempFolder dir;
    const std::string table = MakePatients(dir, 600);
    const std::string ntx = dir.File("patients.ntx");
    MakeIndex(table, ntx, {{"P", "UPPER(NAME)"}});
    const std::string good = ReadFile(ntx);
    const uint32_t root = GetLe32(good.data() + 4);
    const uint32_t firstItem = root + GetLe16(good.data() + root + 2);
    ASSERT_NE(GetLe32(good.data() + firstItem), 0u) << "the root must be an interior page";
    ExpectRefused(
        table, ntx, good,
        {{"truncated", [](std::string& b) { b.resize(b.size() - 100); }, "is not a Clipper index"},
         {"cut by a page", [](std::string& b) { b.resize(b.size() - 1024); },
          "which is not a page of the file"},
         {"root outside", [](std::string& b) { PutLe32(b.data() + 4, 0x100000); },
          "the root pointer points at offset 1048576"},
         {"loop", [=](std::string& b) { PutLe32(b.data() + firstItem, root); }, "reached twice"},
         {"an entry outside its page", [=](std::string& b) { PutLe16(b.data() + root + 2, 1020); },
          "lies outside its page or on another entry"},
         {"a signature it does not know", [](std::string& b) { PutLe16(b.data(), 9); },
          "signature 9"},
         {"descending", [](std::string& b) { b[280] = 1; }, "a descending index"},
         {"custom", [](std::string& b) { b[550] = 1; }, "a custom index"},
         {"item size", [](std::string& b) { PutLe16(b.data() + 12, 30); },
          "a layout this program does not understand"},
         {"keys out of order",
          [=](std::string& b) {
              const uint32_t child = GetLe32(b.data() + firstItem);
              b[child + GetLe16(b.data() + child + 2) + 8] = '\x7F';
          },
          "out of order"}});
}

TEST(DbfIndex, DamagedDBaseIvIndexesAreRefusedByName) {
    TempFolder dir;
    const std::string table = MakePatients(dir, 600);
    const std::string mdx = dir.File("patients.mdx");
    MakeIndex(table, mdx, {{"AGE", "AGE"}, {"NAME", "UPPER(NAME)"}});
    const std::string good = ReadFile(mdx);
    // The second tag in name order, NAME: its header and root.
    const uint64_t header = uint64_t{GetLe32(good.data() + 544 + 32)} * 512;
    const uint64_t root = uint64_t{GetLe32(good.data() + header)} * 512;
    ASSERT_GT(GetLe32(good.data() + root + 8 + GetLe32(good.data() + root) * 16), 0u)
        << "the root must be an interior block";
    ExpectRefused(
        table, mdx, good,
        {{"truncated", [](std::string& b) { b.resize(b.size() - 100); },
          "is not a dBase IV multiple index"},
         {"cut by a block", [](std::string& b) { b.resize(b.size() - 1024); },
          "pages in a file of"},
         {"root outside", [=](std::string& b) { PutLe32(b.data() + header, 0x10000); },
          "tag NAME: the root pointer points at offset 33554432"},
         {"loop",
          [=](std::string& b) { PutLe32(b.data() + root + 8, static_cast<uint32_t>(root / 512)); },
          "tag NAME: entry 1 of the page at offset"},
         {"a tag header pointer", [](std::string& b) { PutLe32(b.data() + 544, 3); },
          "tag AGE: the header pointer points at offset 1536"},
         {"descending", [=](std::string& b) { b[header + 8] = 0x08; }, "tag NAME: key format 0x08"},
         {"block size", [](std::string& b) { PutLe16(b.data() + 22, 2048); },
          "blocks of 2048 bytes"},
         {"a key type against its expression", [=](std::string& b) { b[header + 9] = 'N'; },
          "tag NAME: key type 0x4E for a character key expression"},
         {"an expression the evaluator refuses",
          [=](std::string& b) { std::memcpy(b.data() + header + 24, "SOUND(NAME)", 11); },
          "tag NAME: the expression SOUND(NAME) cannot be evaluated"}});
}

// Changes: a table with index files of several formats keeps every one in step.

const std::vector<FileCase> kBeside = {
    {"compound",
     "patients.cdx",
     true,
     {{"NAME", "UPPER(NAME)+STR(AGE,3)"}, {"BAL", "BAL", "!DELETED()"}}},
    {"compact idx", "patients.idx", true, {{"P", "DTOS(BORN)", "", true}}},
    {"dBase III", "patients.ndx", true, {{"P", "AGE"}}},
    {"Clipper", "patients.ntx", true, {{"P", "STR(VISITS,4)+DTOS(BORN)", "ACTIVE"}}},
    {"dBase IV", "patients.mdx", true, {{"BAL", "BAL"}, {"NAME", "LEFT(NAME,4)", "", true}}},
};

std::string MakeIndexedPatients(const TempFolder& dir, size_t count) {
    const std::string table = MakePatients(dir, count);
    for (const FileCase& f : kBeside) MakeIndex(table, dir.File(f.file), f.tags, f.compact);
    return table;
}

Changes SomeChanges() {
    Changes c;
    c.updates.push_back({3, {T("aaron"), I(5), R(1), T("1999-01-01"), I(1), I(7)}});
    c.updates.push_back({150, {T("zz top"), I(99), R(-99), N(), I(0), I(8)}});
    c.deletions.push_back(10);
    for (int i = 0; i < 30; ++i) c.inserts.push_back({T("new"), I(i), R(i), N(), I(i % 2), I(i)});
    return c;
}

TEST(DbfIndexWrite, ChangesKeepEveryIndexFileInStep) {
    TempFolder dir;
    const std::string table = MakeIndexedPatients(dir, 200);
    std::string why;
    EXPECT_EQ(IndexNotKeptOf(table, why), "") << why;
    auto file = Table::Open(table);
    file->Apply(SomeChanges());
    for (const FileCase& f : kBeside) {
        SCOPED_TRACE(f.name);
        EXPECT_EQ(CheckIndex(table, dir.File(f.file)).tags.size(), f.tags.size());
    }
    file->ReplaceAll({{T("only"), I(1), R(1), N(), I(1), I(1)}});
    for (const FileCase& f : kBeside) {
        SCOPED_TRACE(f.name);
        for (const IndexTag& t : CheckIndex(table, dir.File(f.file)).tags)
            EXPECT_EQ(t.entries.size(), 1u) << t.name;
    }
}

TEST(DbfIndexWrite, OneIndexFileTheChangeCannotKeepChangesNothing) {
    TempFolder dir;
    const std::string table = MakeIndexedPatients(dir, 160);
    // A unique single index is fine with a shared key; the file that cannot be read is refused,
    // and the others are left as they were.
    TruncateFile(dir.File("patients.ndx"), 700);
    std::vector<std::string> before;
    for (const FileCase& f : kBeside) before.push_back(ReadFile(dir.File(f.file)));
    const std::string tableBefore = ReadFile(table);
    try {
        Table::Open(table)->Apply(SomeChanges());
        ADD_FAILURE() << "changed";
    } catch (const DbfError& e) {
        EXPECT_EQ(e.File(), dir.File("patients.ndx"));
    }
    EXPECT_TRUE(ReadFile(table) == tableBefore);
    for (size_t i = 0; i < kBeside.size(); ++i)
        EXPECT_EQ(ReadFile(dir.File(kBeside[i].file)), before[i]);
    EXPECT_FALSE(FileExists(JournalPathFor(table)));
}

TEST(DbfIndexWrite, AnIndexFileThatNamesNoTableButMayBeTheTablesRefusesTheChange) {
    // Other programs name index files by their own conventions (PATNAME.NTX for PATIENTS.DBF):
    // a file that names no table of the folder and fits the table's fields may be the table's,
    // and a change that left it stale would hide records from that program.
    struct Case {
        const char* name;
        const char* file;        // put in the folder beside patients.dbf and people.dbf
        const char* key;         // "" for a file that is not an index
        const char* refusedWhy;  // "" when patients.dbf is changed
    };
    const Case cases[] = {
        {"a Clipper index on the table's fields", "PATNAME.NTX", "UPPER(NAME)",
         "which names no table of the folder and fits this table's fields"},
        {"a second compound index", "extra.cdx", "STR(AGE,3)",
         "which names no table of the folder and fits this table's fields"},
        {"an index of another table's field", "ppid.ndx", "ID", ""},
        {"an index named like another table", "people.ntx", "NAME", ""},
        {"a file that cannot be read", "old.idx", "",
         "which names no table of the folder and which this program cannot read"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder dir;
        const std::string table = MakePatients(dir, 20);
        TableLayout layout;
        layout.variant = Variant::DBase3;
        layout.columns = {{"ID", 'N', 4}, {"NAME", 'C', 12}};
        const std::string people = dir.File("people.dbf");
        CreateTable(people, layout, {{I(1), T("x")}});
        const std::string file = dir.File(c.file);
        if (*c.key) {
            // Built for whichever table has the key's fields.
            const bool own = std::string(c.key) != "ID" && std::string(c.file) != "people.ntx";
            MakeIndex(own ? table : people, file, {{"P", c.key}});
        } else {
            WriteFile(file, "not an index");
        }
        std::string why;
        const std::string found = IndexNotKeptOf(table, why);
        const std::string before = ReadFile(table);
        Changes change;
        change.deletions.push_back(2);
        if (*c.refusedWhy) {
            EXPECT_EQ(found, file);
            EXPECT_NE(why.find(c.refusedWhy), std::string::npos) << why;
            try {
                Table::Open(table)->Apply(change);
                ADD_FAILURE() << "changed";
            } catch (const DbfError& e) {
                EXPECT_EQ(e.File(), file);
                EXPECT_NE(std::string(e.what()).find(c.refusedWhy), std::string::npos) << e.what();
            }
            EXPECT_TRUE(ReadFile(table) == before);
        } else {
            EXPECT_EQ(found, "") << why;
            Table::Open(table)->Apply(change);
            EXPECT_TRUE(Table::Open(table)->RecordDeleted(2));
        }
    }
}

TEST(DbfIndexWrite, AKillOrAFailedWriteAtAnyStepLeavesTableAndIndexesWhollyBeforeOrAfter) {
    TempFolder probe;
    const std::string probeTable = MakePatients(probe, 160);
    const std::string oldRows = Render(ReadAll(probeTable));
    Table::Open(probeTable)->Apply(SomeChanges());
    const std::string newRows = Render(ReadAll(probeTable));
    int indexWrites = 0, killedOld = 0, killedNew = 0;
    for (int k = 0;; ++k) {
        ASSERT_LT(k, 300) << "the change never completed";
        TempFolder dir;
        const std::string table = MakeIndexedPatients(dir, 160);
        std::vector<std::string> before;
        for (const FileCase& f : kBeside) before.push_back(ReadFile(dir.File(f.file)));
        const std::string tableBefore = ReadFile(table);
        auto same = [&](const char* when) {
            for (size_t i = 0; i < kBeside.size(); ++i)
                EXPECT_EQ(ReadFile(dir.File(kBeside[i].file)), before[i]) << when << k;
        };
        {
            int step = 0;
            bool failed = false;
            indexWrites = 0;
            try {
                Table::Open(table)->Apply(SomeChanges(), [&](std::string_view name) {
                    if (name == "index write") ++indexWrites;
                    if (step++ == k) throw DbfError(table, -1, "No space left on device");
                });
            } catch (const DbfError&) {
                failed = true;
            }
            if (!failed) {
                EXPECT_EQ(Render(ReadAll(table)), newRows);
                for (const FileCase& f : kBeside) CheckIndex(table, dir.File(f.file));
                EXPECT_GT(killedOld, 0);
                EXPECT_GT(killedNew, 0);
                EXPECT_EQ(indexWrites, static_cast<int>(kBeside.size()));
                break;
            }
            EXPECT_EQ(ReadFile(table), tableBefore) << "failed at step " << k;
            same("failed at step ");
        }
        ASSERT_TRUE(RunChildKilledAt(
            table, k, [](Table& t, const FaultHook& hook) { t.Apply(SomeChanges(), hook); }))
            << "step " << k;
        const std::string rows = Render(ReadAll(table));
        EXPECT_FALSE(FileExists(JournalPathFor(table)));
        if (rows == oldRows) {
            ++killedOld;
            same("killed at step ");
        } else {
            ++killedNew;
            EXPECT_EQ(rows, newRows) << "step " << k;
            for (const FileCase& f : kBeside) CheckIndex(table, dir.File(f.file));
        }
    }
}

TEST(DbfIndexWrite, AJournalOfTheOlderOneIndexFormIsStillPlayedBack) {
    // A change left by a kill in the older journal form, which names one index file: the next
    // open puts back the original bytes of table and index.
    TempFolder dir;
    const std::string table = MakePatients(dir, 5);
    const std::string cdx = dir.File("patients.cdx");
    MakeCdx(table, cdx, {{"NAME", "UPPER(NAME)"}});
    const std::string tableBefore = ReadFile(table), cdxBefore = ReadFile(cdx);
    std::string body("KDBFJRN2", 8);
    auto u16 = [&](uint16_t v) {
        char b[2];
        PutLe16(b, v);
        body.append(b, 2);
    };
    auto u64 = [&](uint64_t v) {
        char b[8];
        PutLe64(b, v);
        body.append(b, 8);
    };
    u64(tableBefore.size());
    u64(0);
    u64(cdxBefore.size());
    u16(0);  // no memo file
    u16(12);
    body += "patients.cdx";
    char count[4];
    PutLe32(count, 2);
    body.append(count, 4);
    body.push_back(0);  // the table's first 40 bytes
    u64(0);
    u64(40);
    body += tableBefore.substr(0, 40);
    body.push_back(2);  // the index's whole first page
    u64(0);
    u64(512);
    body += cdxBefore.substr(0, 512);
    uint64_t h = 1469598103934665603ull;
    for (char c : body) {
        h ^= static_cast<unsigned char>(c);
        h *= 1099511628211ull;
    }
    const uint64_t length = body.size();
    u64(length);
    u64(h);
    body += "KDBFEND1";
    // The files as the interrupted change left them.
    std::string changed = tableBefore;
    changed[35] = 'X';
    WriteFile(table, changed);
    std::string changedIndex = cdxBefore;
    changedIndex[100] = 'X';
    changedIndex += std::string(512, '\0');
    WriteFile(cdx, changedIndex);
    WriteFile(JournalPathFor(table), body);
    Table::Open(table);
    EXPECT_TRUE(ReadFile(table) == tableBefore);
    EXPECT_EQ(ReadFile(cdx), cdxBefore);
    EXPECT_FALSE(FileExists(JournalPathFor(table)));
}

}  // namespace
}  // namespace kce::dbf::test
