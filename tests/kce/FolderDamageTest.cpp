// Damaged table and memo files give an engine error naming the file and the fault; the other tables
// of the folder stay usable; mutated files never crash the engine.
#include <sys/stat.h>
#include <unistd.h>

#include <random>

#include "tests/kce/FolderSupport.h"

namespace {

using namespace kcetest;
using kce::dbf::Variant;
using Rows = std::vector<std::vector<std::string>>;

void PutLe(std::string& bytes, size_t at, uint32_t value, int count) {
    for (int i = 0; i < count; ++i)
        bytes[at + size_t(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// A FoxPro table with a memo file ("bad"), beside an intact table ("good").
void MakeFolder(const std::string& folder) {
    MakeTable(folder + "/bad.dbf", Variant::FoxPro2, {{"NAME", 'C', 4}, {"NOTES", 'M'}},
              {{T("a"), T("memo one")}, {T("b"), T("memo two")}});
    MakeTable(folder + "/good.dbf", Variant::DBase3, {{"NAME", 'C', 4}}, {{T("ok")}});
}

struct DamageCase {
    const char* name;
    void (*damage)(const std::string& folder);
    const char* file;   // named in the error
    const char* fault;  // part of the error text
};

void Rewrite(const std::string& path, void (*edit)(std::string&)) {
    std::string bytes = ReadFile(path);
    edit(bytes);
    WriteFile(path, bytes);
}

std::vector<DamageCase> DamageCases() {
    return {
        {"HeaderLengthBelowMinimum",
         [](const std::string& f) {
             Rewrite(f + "/bad.dbf", [](std::string& b) { PutLe(b, 8, 20, 2); });
         },
         "bad.dbf", "header length 20"},
        {"HeaderLengthPastTheEnd",
         [](const std::string& f) {
             Rewrite(f + "/bad.dbf", [](std::string& b) { PutLe(b, 8, 60000, 2); });
         },
         "bad.dbf", "header length 60000"},
        {"RecordCountBeyondTheEnd",
         [](const std::string& f) {
             Rewrite(f + "/bad.dbf", [](std::string& b) { PutLe(b, 4, 1000, 4); });
         },
         "bad.dbf", "1000 records"},
        {"TruncatedTable",
         [](const std::string& f) {
             Rewrite(f + "/bad.dbf", [](std::string& b) { b.resize(20); });
         },
         "bad.dbf", "too short"},
        {"ForeignFile",
         [](const std::string& f) {
             WriteFile(f + "/bad.dbf", "This is a text file, not a table at all.\n");
         },
         "bad.dbf", "version byte"},
        {"MemoBlockOutsideTheMemoFile",
         [](const std::string& f) {
             // The first record's memo reference: 10 digits after the deletion flag and the name.
             Rewrite(f + "/bad.dbf", [](std::string& b) {
                 uint16_t header = static_cast<uint8_t>(b[8]) | static_cast<uint8_t>(b[9]) << 8;
                 b.replace(header + 5, 10, "    999999");
             });
         },
         "bad.fpt", "999999"},
        {"MissingMemoFile", [](const std::string& f) { ::unlink((f + "/bad.fpt").c_str()); }, "bad",
         "memo file"},
        {"TruncatedMemoFile",
         [](const std::string& f) {
             Rewrite(f + "/bad.fpt", [](std::string& b) { b.resize(100); });
         },
         "bad.fpt", "memo"},
    };
}

void PrintTo(const DamageCase& c, std::ostream* os) {
    *os << c.name;
}

class FolderDamage : public testing::TestWithParam<DamageCase> {};

TEST_P(FolderDamage, IsReportedWithTheFileAndTheOtherTablesStayUsable) {
    const DamageCase& c = GetParam();
    TempDir dir;
    MakeFolder(dir.Path());
    c.damage(dir.Path());
    uint32_t connection = ConnectFolder(dir.Path());
    EXPECT_EQ(TryRun(connection, "SELECT name, notes FROM bad"),
              static_cast<uint32_t>(KDB_ERR_TABLE_DAMAGED));
    const std::string error = LastError();
    EXPECT_NE(error.find(c.file), std::string::npos) << error;
    EXPECT_NE(error.find(c.fault), std::string::npos) << error;
    EXPECT_EQ(Query(connection, "SELECT name FROM good"), (Rows{{"ok"}}));
    // Asked again, the damage is reported again rather than an empty table.
    EXPECT_EQ(TryRun(connection, "SELECT name FROM bad"),
              static_cast<uint32_t>(KDB_ERR_TABLE_DAMAGED));
    KdbDisconnect(connection);
}

INSTANTIATE_TEST_SUITE_P(Damage, FolderDamage, testing::ValuesIn(DamageCases()),
                         [](const testing::TestParamInfo<DamageCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(FolderFuzzTest, MutatedFilesGiveRowsOrAnErrorNeverACrash) {
    TempDir dir;
    MakeTable(
        dir.File("seed.dbf"), Variant::VisualFoxPro,
        {{"NAME", 'C', 6, 0, true},
         {"ID", 'I'},
         {"FEE", 'Y', 0, 0, true},
         {"STAMP", 'T', 0, 0, true},
         {"CODE", 'V', 5, 0, true},
         {"SEEN", 'D'},
         {"NOTES", 'M', 0, 0, true}},
        {{T("a"), I(1), I(15000), T("2000-01-01 00:00:00.000"), T("x"), T("2001-02-03"), T("memo")},
         {N(), I(2), N(), N(), N(), N(), N()}});
    const std::string table = ReadFile(dir.File("seed.dbf"));
    const std::string memo = ReadFile(dir.File("seed.fpt"));
    std::mt19937 random(20240614);
    for (int round = 0; round < 400; ++round) {
        std::string t = table;
        std::string m = memo;
        int edits = 1 + static_cast<int>(random() % 4);
        for (int e = 0; e < edits; ++e) {
            std::string& target = random() % 4 == 0 ? m : t;
            if (random() % 10 == 0) {
                target.resize(random() % (target.size() + 1));
            } else if (!target.empty()) {
                target[random() % target.size()] = static_cast<char>(random() % 256);
            }
        }
        const std::string folder = dir.File("r" + std::to_string(round));
        ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
        WriteFile(folder + "/t.dbf", t);
        WriteFile(folder + "/t.fpt", m);
        uint32_t connection = ConnectFolder(folder);
        uint32_t rc = TryRun(connection, "SELECT * FROM t");
        EXPECT_TRUE(rc == 0 || rc == KDB_ERR_TABLE_DAMAGED)
            << "round " << round << ": " << LastError();
        KdbDisconnect(connection);
    }
}

}  // namespace
