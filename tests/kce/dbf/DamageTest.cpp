// Damaged, truncated and foreign files: each gives an error naming the file and what is wrong,
// and never a crash.

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include "kce/dbf/DbfError.h"
#include "kce/dbf/Folder.h"
#include "kce/dbf/Table.h"
#include "kce/dbf/Writer.h"
#include "tests/kce/dbf/TestFiles.h"

namespace kce::dbf::test {
namespace {

// A three-record table with a memo column; returns the table path.
std::string MakePeople(const TempFolder& dir, Variant variant,
                       const std::string& name = "people.dbf") {
    TableLayout layout;
    layout.variant = variant;
    layout.columns = {{"NAME", 'C', 8}, {"BORN", 'D'}, {"NOTES", 'M'}, {"AMOUNT", 'N', 7, 2}};
    CreateTable(dir.File(name), layout,
                {{T("ANN"), T("1980-05-06"), T("first memo"), R(1.5)},
                 {T("BOB"), T("1975-01-02"), T(std::string(1500, 'm').c_str()), R(-2)},
                 {T("CY"), N(), T("third"), N()}});
    return dir.File(name);
}

// Opens the table and reads every field of every record, memos included.
void ReadEverything(const std::string& path) {
    auto table = Table::Open(path);
    auto cursor = table->Records();
    StoredValue v;
    while (cursor.Next()) {
        for (size_t i = 0; i < table->Columns().size(); ++i) cursor.Stored(i, v);
    }
}

// Expects ReadEverything to fail with a DbfError naming `file` and holding `fragment`.
void ExpectError(const std::string& path, const std::string& file, const std::string& fragment) {
    try {
        ReadEverything(path);
        ADD_FAILURE() << "no error; expected one about " << fragment;
    } catch (const DbfError& e) {
        EXPECT_EQ(e.File(), file) << e.what();
        EXPECT_NE(std::string(e.what()).find(fragment), std::string::npos) << e.what();
    }
}

uint64_t FirstRecordOffset(const std::string& path) {
    return Table::Open(path)->GetHeader().RecordOffset(0);
}

TEST(DbfDamage, TruncatedTableFileIsReported) {
    TempFolder dir;
    std::string path = MakePeople(dir, Variant::DBase3);
    uint64_t start = FirstRecordOffset(path);
    TruncateFile(path, start + 40);
    ExpectError(path, path, "header says 3 records");
    ExpectError(path, path, "room for 1 records");
}

TEST(DbfDamage, RecordCountBeyondTheEndIsReported) {
    TempFolder dir;
    std::string path = MakePeople(dir, Variant::DBase3);
    SetLe32(path, 4, 100000);
    ExpectError(path, path, "header says 100000 records");
}

TEST(DbfDamage, BadHeaderFieldsAreReported) {
    struct Case {
        const char* name;
        uint64_t offset;
        uint8_t value;
        const char* fragment;
    };
    const Case cases[] = {
        {"header length below the minimum", 8, 10, "below the minimum"},
        {"header length past the end", 9, 0xF0, "runs past the end of the file"},
        {"header length cutting the descriptors", 8, 40, "runs past the header length"},
        {"record length not the sum of the fields", 10, 99, "fields add up to"},
        {"unknown version byte", 0, 0x7A, "version byte 0x7A"},
        {"unknown field type", 32 + 11, 'X', "unknown field type 'X'"},
        {"date field of the wrong length", 64 + 16, 7, "needs length 8"},
        {"numeric field with too many decimals", 128 + 17, 9, "cannot have 9 decimals"},
        {"descriptor terminator missing", 160, 'A', "runs past the header length of 161"},
    };
    for (const Case& c : cases) {
        TempFolder dir;
        std::string path = MakePeople(dir, Variant::DBase3);
        SetByte(path, c.offset, c.value);
        SCOPED_TRACE(c.name);
        ExpectError(path, path, c.fragment);
    }
}

TEST(DbfDamage, ForeignAndEmptyFilesAreReported) {
    TempFolder dir;
    WriteFile(dir.File("zip.dbf"), std::string("PK\x03\x04", 4) + std::string(200, 'z'));
    ExpectError(dir.File("zip.dbf"), dir.File("zip.dbf"), "version byte 0x50");
    WriteFile(dir.File("empty.dbf"), "");
    ExpectError(dir.File("empty.dbf"), dir.File("empty.dbf"), "too short for a table header");
}

TEST(DbfDamage, DamagedRecordBytesAreReportedWithRecordAndField) {
    struct Case {
        const char* name;
        uint64_t fieldOffset;  // in the record
        std::string bytes;
        const char* fragment;
    };
    const Case cases[] = {
        {"deletion flag", 0, "#", "record 2: deletion flag 0x23"},
        {"date text", 9, "19751302", "record 2, field BORN: date text \"19751302\""},
        {"numeric text", 27, "1x.00", "record 2, field AMOUNT: numeric text"},
        {"memo block number", 17, "12ab", "record 2, field NOTES: memo block number"},
    };
    for (const Case& c : cases) {
        TempFolder dir;
        std::string path = MakePeople(dir, Variant::DBase3);
        auto table = Table::Open(path);
        uint64_t at = table->GetHeader().RecordOffset(1) + c.fieldOffset;
        table.reset();
        for (size_t i = 0; i < c.bytes.size(); ++i)
            SetByte(path, at + i, static_cast<uint8_t>(c.bytes[i]));
        SCOPED_TRACE(c.name);
        ExpectError(path, path, c.fragment);
    }
}

TEST(DbfDamage, MissingMemoFileIsReported) {
    TempFolder dir;
    std::string path = MakePeople(dir, Variant::FoxPro2);
    std::remove(dir.File("people.fpt").c_str());
    ExpectError(path, dir.File("people.fpt"), "memo file is missing");
}

TEST(DbfDamage, TruncatedMemoFileIsReported) {
    struct Case {
        Variant variant;
        const char* memo;
        uint64_t size;
        const char* fragment;
    };
    const Case cases[] = {
        {Variant::DBase3, "people.dbt", 300, "shorter than its 512-byte header"},
        {Variant::DBase3, "people.dbt", 1100,
         "record 2, field NOTES: memo block 2 has no end mark"},
        {Variant::DBase4, "people.dbt", 1100,
         "record 2, field NOTES: memo block 2 claims 1500 bytes"},
        {Variant::FoxPro2, "people.fpt", 700, "record 2, field NOTES: memo block"},
    };
    for (const Case& c : cases) {
        TempFolder dir;
        std::string path = MakePeople(dir, c.variant);
        TruncateFile(dir.File(c.memo), c.size);
        SCOPED_TRACE(c.fragment);
        ExpectError(path, dir.File(c.memo), c.fragment);
    }
}

TEST(DbfDamage, MemoBlockOutsideTheMemoFileIsReported) {
    struct Case {
        Variant variant;
        const char* memo;
        std::string reference;  // written over record 1's memo field
        const char* fragment;
    };
    const Case cases[] = {
        {Variant::DBase3, "people.dbt", "      9999",
         "record 1, field NOTES refers to memo block 9999"},
        {Variant::DBase3, "people.dbt", "         0", ""},  // block 0 is no memo: reads as null
        {Variant::VisualFoxPro, "people.fpt", std::string("\x10\x27\0\0", 4), "memo block 10000"},
        {Variant::VisualFoxPro, "people.fpt", std::string("\x02\0\0\0", 4),
         "inside the memo file header"},
    };
    for (const Case& c : cases) {
        TempFolder dir;
        std::string path = MakePeople(dir, c.variant);
        auto table = Table::Open(path);
        uint64_t at = table->GetHeader().RecordOffset(0) + table->Columns()[2].offset;
        table.reset();
        for (size_t i = 0; i < c.reference.size(); ++i)
            SetByte(path, at + i, static_cast<uint8_t>(c.reference[i]));
        SCOPED_TRACE(c.reference);
        if (*c.fragment == '\0') {
            EXPECT_NO_THROW(ReadEverything(path));
        } else {
            ExpectError(path, dir.File(c.memo), c.fragment);
        }
    }
}

TEST(DbfDamage, DamagedMemoBlockHeaderIsReported) {
    TempFolder dir;
    std::string path = MakePeople(dir, Variant::DBase4);
    SetByte(dir.File("people.dbt"), 512, 0x00);  // first block's FF FF 08 00 signature
    ExpectError(path, dir.File("people.dbt"), "does not start with the bytes FF FF 08 00");
}

TEST(DbfDamage, OtherTablesOfTheFolderStayUsable) {
    TempFolder dir;
    std::string good = MakePeople(dir, Variant::DBase3, "good.dbf");
    std::string bad = MakePeople(dir, Variant::FoxPro2, "bad.dbf");
    TruncateFile(bad, 40);
    auto tables = ListTables(dir.Path());
    ASSERT_EQ(tables.size(), 2u);
    EXPECT_THROW(ReadEverything(bad), DbfError);
    EXPECT_NO_THROW(ReadEverything(good));
    EXPECT_EQ(ReadAll(good).size(), 3u);
}

// Mutated copies of valid tables of every variant: the reader answers with values or a DbfError,
// never a crash or another exception.
TEST(DbfDamage, MutatedFilesNeverCrashTheReader) {
    std::mt19937 random(20240229);
    const Variant variants[] = {Variant::DBase3, Variant::DBase4, Variant::FoxPro2,
                                Variant::VisualFoxPro};
    int errors = 0;
    int rounds = 0;
    for (Variant variant : variants) {
        TempFolder dir;
        std::string path = MakePeople(dir, variant);
        std::string memoPath = MemoPathFor(path, Table::Open(path)->GetHeader().memoFormat);
        const std::string table = ReadFile(path);
        const std::string memo = ReadFile(memoPath);
        for (int round = 0; round < 400; ++round, ++rounds) {
            std::string t = table;
            std::string m = memo;
            int mutations = 1 + static_cast<int>(random() % 4);
            for (int k = 0; k < mutations; ++k) {
                std::string& target = random() % 3 == 0 ? m : t;
                size_t at = random() % target.size();
                // Header bytes are hit more often: they steer everything else.
                if (&target == &t && random() % 2 == 0)
                    at = random() % std::min<size_t>(t.size(), 200);
                target[at] = static_cast<char>(random() % 256);
            }
            if (random() % 8 == 0) t.resize(random() % t.size());
            if (random() % 8 == 0) m.resize(random() % m.size());
            WriteFile(path, t);
            WriteFile(memoPath, m);
            try {
                ReadEverything(path);
            } catch (const DbfError&) {
                ++errors;
            }
        }
    }
    EXPECT_GT(errors, 0);
    EXPECT_LT(errors, rounds);
}

}  // namespace
}  // namespace kce::dbf::test
