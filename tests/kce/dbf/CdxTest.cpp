// Compound indexes: files built here for every key type and tag kind read back with one entry per
// record in key order; damaged files and what the reader does not understand are refused by name.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>

#include "kce/dbf/Bytes.h"
#include "kce/dbf/Cdx.h"
#include "kce/dbf/DbfError.h"
#include "kce/dbf/FileIo.h"
#include "kce/dbf/Journal.h"
#include "kce/dbf/Table.h"
#include "kce/dbf/Writer.h"
#include "tests/kce/dbf/CdxChecker.h"
#include "tests/kce/dbf/TestFiles.h"

namespace kce::dbf::test {
namespace {

const std::vector<TagLayout> kTags = {
    {"NAME", "UPPER(NAME)"},
    {"AGE", "AGE"},
    {"BAL", "BAL", "", false, false, true},
    {"BORN", "BORN"},
    {"ACTIVE", "ACTIVE"},
    {"VISITS", "VISITS", "VISITS > 0"},
    {"NAMEAGE", "LEFT(NAME,6)+STR(AGE,3)+DTOS(BORN)", "!DELETED() .AND. ACTIVE"},
    {"FIRSTNAME", "UPPER(NAME)", "", true},
    {"RECNO", "STR(RECNO(),6)", "", false, true},
};

TEST(DbfCdx, TagsOfEveryKeyTypeReadBackWithOneEntryPerRecordInOrder) {
    for (size_t count : {size_t{0}, size_t{1}, size_t{40}, size_t{3000}}) {
        SCOPED_TRACE(std::to_string(count) + " records");
        TempFolder dir;
        const std::string table = MakePatients(dir, count);
        const std::string cdx = dir.File("patients.cdx");
        MakeCdx(table, cdx, kTags);
        const std::vector<CdxTag> tags = CheckCdx(table, cdx);
        ASSERT_EQ(tags.size(), kTags.size());
        // The tag list is in name order; each tag keeps its expressions and flags.
        std::vector<std::string> names;
        for (const CdxTag& t : tags) names.push_back(t.name);
        EXPECT_EQ(names, (std::vector<std::string>{"ACTIVE", "AGE", "BAL", "BORN", "FIRSTNAME",
                                                   "NAME", "NAMEAGE", "RECNO", "VISITS"}));
        for (const CdxTag& t : tags) {
            const TagLayout& want = *std::find_if(
                kTags.begin(), kTags.end(), [&](const TagLayout& s) { return t.name == s.name; });
            EXPECT_EQ(t.keyExpression, want.key);
            EXPECT_EQ(t.forExpression, want.filter);
            EXPECT_EQ(t.unique, want.unique) << t.name;
            EXPECT_EQ(t.candidate, want.candidate) << t.name;
            EXPECT_EQ(t.descending, want.descending) << t.name;
        }
        const auto& name = *std::find_if(tags.begin(), tags.end(),
                                         [](const CdxTag& t) { return t.name == "NAME"; });
        EXPECT_EQ(name.keyLength, 12);
        EXPECT_EQ(name.entries.size(), count);
        const auto& first = *std::find_if(tags.begin(), tags.end(),
                                          [](const CdxTag& t) { return t.name == "FIRSTNAME"; });
        EXPECT_LE(first.entries.size(), std::min<size_t>(count, 400));
        if (count == 3000) {
            // Large enough for a tree of three levels: the root's first child is an interior page.
            const std::string one = dir.File("name.cdx");
            MakeCdx(table, one, {{"NAMEBORN", "UPPER(NAME)+DTOS(BORN)"}});
            const std::string bytes = ReadFile(one);
            const uint64_t root = GetLe32(bytes.data() + kCdxHeaderSize);
            const uint64_t child = GetBe32(bytes.data() + root + 12 + 20 + 4);
            EXPECT_EQ(GetLe16(bytes.data() + root), 1);   // root, interior
            EXPECT_EQ(GetLe16(bytes.data() + child), 0);  // interior
            CheckCdx(table, one);
        }
    }
}

TEST(DbfCdx, NumericAndDateKeysCompareAsTheirValues) {
    const double values[] = {-1e300, -12345.678, -1, -0.5, -1e-300,   0,    1e-300,
                             0.25,   1,          2,  10,   12345.678, 1e300};
    for (size_t i = 1; i < std::size(values); ++i) {
        const std::string a = CdxKey(ExprValue::Number(values[i - 1]), 8);
        const std::string b = CdxKey(ExprValue::Number(values[i]), 8);
        EXPECT_LT(a, b) << values[i - 1] << " < " << values[i];
    }
    EXPECT_EQ(CdxKey(ExprValue::Number(-0.0), 8), CdxKey(ExprValue::Number(0), 8));
    EXPECT_EQ(CdxKey(ExprValue::Number(0), 8), std::string("\x80\0\0\0\0\0\0\0", 8));
    EXPECT_EQ(CdxKey(ExprValue::Date(2451545), 8), CdxKey(ExprValue::Number(2451545), 8));
    EXPECT_EQ(CdxKey(ExprValue::Text("ab"), 4), "ab  ");
    EXPECT_EQ(CdxKey(ExprValue::Text("abcdef"), 4), "abcd");
    EXPECT_EQ(CdxKey(ExprValue::Logical(true), 1), "T");
}

TEST(DbfCdx, UniqueTagsKeepTheFirstRecordAndCandidateTagsRefuseASharedKey) {
    TempFolder dir;
    TableLayout layout;
    layout.variant = Variant::FoxPro2;
    layout.columns = {{"CODE", 'C', 4}};
    const std::string table = dir.File("codes.dbf");
    CreateTable(table, layout, {{T("b")}, {T("a")}, {T("b")}, {T("c")}, {T("a")}});
    const std::vector<CdxTag> unique = TagsFor(table, {{"CODE", "CODE", "", true}});
    ASSERT_EQ(unique[0].entries.size(), 3u);
    EXPECT_EQ(unique[0].entries[0], (CdxEntry{"a   ", 2}));
    EXPECT_EQ(unique[0].entries[1], (CdxEntry{"b   ", 1}));
    EXPECT_EQ(unique[0].entries[2], (CdxEntry{"c   ", 4}));
    try {
        TagsFor(table, {{"CODE", "CODE", "", false, true}});
        ADD_FAILURE() << "a candidate tag took a shared key";
    } catch (const DbfError& e) {
        EXPECT_NE(std::string(e.what()).find("tag CODE: records 2 and 5 have the same key"),
                  std::string::npos)
            << e.what();
    }
    // A candidate tag whose FOR filter leaves one of each key is fine.
    EXPECT_EQ(TagsFor(table, {{"CODE", "CODE", "RECNO() < 4 .AND. RECNO() <> 3", false, true}})[0]
                  .entries.size(),
              2u);
}

// Offsets in a file of one tag built by MakeCdx: the tag's header follows the tag list's.
constexpr uint64_t kTagHeader = kCdxHeaderSize;

uint64_t RootOf(const std::string& bytes) {
    return GetLe32(bytes.data() + kTagHeader);
}

TEST(DbfCdx, DamagedFilesAndWhatTheReaderDoesNotUnderstandAreRefusedByName) {
    TempFolder dir;
    const std::string table = MakePatients(dir, 600);
    const std::string cdx = dir.File("patients.cdx");
    MakeCdx(table, cdx, {{"NAME", "UPPER(NAME)"}});
    const std::string good = ReadFile(cdx);
    const uint64_t root = RootOf(good);
    ASSERT_EQ(GetLe16(good.data() + root) & 0x02, 0)
        << "the root must be an interior page for these cases";
    const uint64_t keyLength = GetLe16(good.data() + kTagHeader + 12);
    const uint64_t firstChild = GetBe32(good.data() + root + 12 + keyLength + 4);

    struct Case {
        const char* name;
        std::function<void(std::string&)> damage;
        const char* why;
    };
    auto le32 = [](std::string& b, uint64_t at, uint32_t v) { PutLe32(b.data() + at, v); };
    auto be32 = [](std::string& b, uint64_t at, uint32_t v) { PutBe32(b.data() + at, v); };
    const Case cases[] = {
        {"truncated", [](std::string& b) { b.resize(b.size() - 100); }, "is not a compound index"},
        {"cut by a page", [](std::string& b) { b.resize(b.size() - kCdxPageSize); },
         "which is not a page of the file"},
        {"root outside the file", [&](std::string& b) { le32(b, kTagHeader, 0x7FFFFE00); },
         "tag NAME: the root pointer points at offset 2147483136, which is not a page of the file"},
        {"root off a page boundary",
         [&](std::string& b) { le32(b, kTagHeader, static_cast<uint32_t>(root + 3)); },
         "which is not a page of the file"},
        {"child pointing at its parent",
         [&](std::string& b) { be32(b, root + 12 + keyLength + 4, static_cast<uint32_t>(root)); },
         "reached twice"},
        {"two entries on one child",
         [&](std::string& b) {
             be32(b, root + 12 + 2 * (keyLength + 8) - 4, static_cast<uint32_t>(firstChild));
         },
         "reached twice"},
        {"a page's free count",
         [&](std::string& b) {
             PutLe16(b.data() + firstChild + 12, GetLe16(b.data() + firstChild + 12) + 1);
         },
         "free bytes"},
        {"leaf links", [&](std::string& b) { le32(b, firstChild + 8, 0xFFFFFFFF); },
         "not linked to its neighbours"},
        {"a key changed out of order",
         [&](std::string& b) { b[firstChild + kCdxPageSize - 1] = '\x7F'; }, "tag NAME:"},
        {"a collation in the header",
         [&](std::string& b) { std::memcpy(b.data() + kTagHeader + 40, "GENERAL", 7); },
         "tag NAME: the header holds a field at offset 40 that this program does not understand (a "
         "collation "
         "sequence other than MACHINE"},
        {"an unknown option",
         [&](std::string& b) { b[kTagHeader + 14] = static_cast<char>(b[kTagHeader + 14] | 0x10); },
         "tag NAME: index options 0x30 that this program does not understand"},
        {"not compact", [&](std::string& b) { b[kTagHeader + 14] = 0; }, "(not a compact index)"},
        {"unknown order", [&](std::string& b) { PutLe16(b.data() + kTagHeader + 502, 7); },
         "unknown key order 7"},
        {"leaf packing", [&](std::string& b) { b[firstChild + 20] = 40; },
         "packs its entries in a way this program does not understand"},
        {"an expression the evaluator refuses",
         [&](std::string& b) { std::memcpy(b.data() + kTagHeader + 512, "SOUND(NAME)", 11); },
         "tag NAME: the expression SOUND(NAME) cannot be evaluated: the function SOUND is not "
         "supported"},
        {"expression lengths", [&](std::string& b) { PutLe16(b.data() + kTagHeader + 510, 600); },
         "tag NAME: the expression lengths do not fit the header"},
        {"an unknown field",
         [&](std::string& b) { std::memcpy(b.data() + kTagHeader + 512, "UPPER(NOME)", 11); },
         "tag NAME: the expression UPPER(NOME) cannot be evaluated: the table has no field NOME"},
        {"tag list pointing outside", [&](std::string& b) { le32(b, 0, 0x10000); },
         "tag list: the root pointer"},
    };
    auto tableBefore = ReadFile(table);
    auto columns = Table::Open(table)->Columns();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string bytes = good;
        c.damage(bytes);
        WriteFile(cdx, bytes);
        try {
            ReadCdx(cdx, columns, CodePage::Windows1252);
            ADD_FAILURE() << "the damaged file was read";
        } catch (const DbfError& e) {
            EXPECT_EQ(e.File(), cdx);
            EXPECT_NE(std::string(e.what()).find(c.why), std::string::npos) << e.what();
        }
    }
    EXPECT_EQ(ReadFile(table), tableBefore);
}

TEST(DbfCdx, AnIndexThatNoLongerMatchesItsTableIsToldApart) {
    // A record changed, deleted or appended behind the index's back: the entries read differ from
    // the entries the records give, though the file itself is sound.
    struct Case {
        const char* name;
        std::function<void(const std::string& table)> change;
    };
    const Case cases[] = {
        {"a key field changed",
         [](const std::string& t) {
             SetByte(t, Table::Open(t)->GetHeader().RecordOffset(3) + 1, 'Q');
         }},
        {"a record deleted (the FOR filter drops it)",
         [](const std::string& t) {
             SetByte(t, Table::Open(t)->GetHeader().RecordOffset(0), '*');
         }},
        {"a record appended",
         [](const std::string& t) {
             // By a program that does not update the index: here, with the index moved away.
             const std::string cdx = t.substr(0, t.size() - 4) + ".cdx";
             ASSERT_EQ(std::rename(cdx.c_str(), (cdx + ".away").c_str()), 0);
             auto table = Table::Open(t);
             Changes c;
             c.inserts.push_back({T("new"), I(1), R(1), N(), I(1), I(1)});
             table->Apply(c);
             ASSERT_EQ(std::rename((cdx + ".away").c_str(), cdx.c_str()), 0);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder dir;
        const std::string table = MakePatients(dir, 30);
        const std::string cdx = dir.File("patients.cdx");
        MakeCdx(table, cdx, {{"NAME", "UPPER(NAME)", "!DELETED()"}});
        c.change(table);
        auto columns = Table::Open(table)->Columns();
        const std::vector<CdxTag> tags = ReadCdx(cdx, columns, CodePage::Windows1252);
        EXPECT_NE(tags[0].entries,
                  CdxTagEntries(tags[0], RawRecords(table), columns, CodePage::Windows1252, cdx));
    }
}

TEST(DbfCdx, EntriesOutOfOrderAreRefused) {
    TempFolder dir;
    const std::string table = MakePatients(dir, 50);
    std::vector<CdxTag> tags = TagsFor(table, {{"AGE", "AGE"}, {"CODE", "UPPER(NAME)", "", true}});
    std::swap(tags[0].entries[3], tags[0].entries[30]);
    tags[1].entries.push_back(tags[1].entries.back());
    tags[1].entries.back().recordNumber = 50;
    const std::string cdx = dir.File("patients.cdx");
    for (size_t damaged : {size_t{0}, size_t{1}}) {
        std::vector<CdxTag> files =
            TagsFor(table, {{"AGE", "AGE"}, {"CODE", "UPPER(NAME)", "", true}});
        files[damaged] = tags[damaged];
        WriteFile(cdx, BuildCdx(files));
        try {
            ReadCdx(cdx, Table::Open(table)->Columns(), CodePage::Windows1252);
            ADD_FAILURE() << "read tag " << tags[damaged].name;
        } catch (const DbfError& e) {
            EXPECT_NE(
                std::string(e.what()).find(damaged == 0 ? "tag AGE: entry" : "tag CODE: records"),
                std::string::npos)
                << e.what();
        }
    }
}

// Writing: a change of a table with a structural compound index rebuilds every tag within the
// same journalled change.

const std::vector<TagLayout> kWriteTags = {
    {"NAME", "UPPER(NAME)+STR(AGE,3)"},
    {"BAL", "BAL", "!DELETED()"},
    {"BORN", "DTOS(BORN)", "", true},
    {"VISITS", "STR(VISITS,4)+STR(RECNO(),5)", "", false, true},
};

Changes IndexedChanges() {
    Changes c;
    c.updates.push_back({3, {T("aaron"), I(5), R(1), T("1999-01-01"), I(1), I(7)}});
    c.updates.push_back({150, {T("zz top"), I(99), R(-99), N(), I(0), I(8)}});
    c.deletions.push_back(10);
    for (int i = 0; i < 30; ++i) c.inserts.push_back({T("new"), I(i), R(i), N(), I(i % 2), I(i)});
    c.deletions.push_back(205);  // an appended record, appended marked deleted
    return c;
}

TEST(DbfCdxWrite, ChangesKeepEveryTagInStep) {
    for (Variant variant : {Variant::FoxPro2, Variant::VisualFoxPro}) {
        SCOPED_TRACE(VariantName(variant));
        TempFolder dir;
        const std::string table = MakePatients(dir, 200);
        const std::string cdx = dir.File("patients.cdx");
        MakeCdx(table, cdx, kWriteTags);
        const std::string before = ReadFile(cdx);
        auto file = Table::Open(table);
        file->Apply(IndexedChanges());
        EXPECT_NE(ReadFile(cdx), before);
        std::vector<CdxTag> tags = CheckCdx(table, cdx);
        EXPECT_EQ(tags[2].entries.size(), 230u);  // NAME: every record, deleted ones included
        // Each further statement too, and replacing every record.
        Changes one;
        one.updates.push_back({1, {T("Q"), I(1), R(2), T("2001-02-03"), I(1), I(900)}});
        file->Apply(one);
        CheckCdx(table, cdx);
        file->ReplaceAll({{T("only"), I(1), R(1), N(), I(1), I(1)}});
        tags = CheckCdx(table, cdx);
        for (const CdxTag& t : tags) EXPECT_EQ(t.entries.size(), 1u) << t.name;
        if (variant == Variant::FoxPro2) break;  // MakePatients writes Visual FoxPro tables
    }
}

TEST(DbfCdxWrite, AChangeTheIndexCannotTakeChangesNothing) {
    struct Case {
        const char* name;
        std::function<void(const std::string& cdx)> prepare;
        Changes changes;
        const char* why;
    };
    Changes duplicate;  // the candidate tag VISITS: a key record 2 has already
    duplicate.updates.push_back({1, {T("x"), I(1), R(1), N(), I(1), I(1)}});
    TempFolder probe;
    const std::string probeTable = MakePatients(probe, 200);
    const std::vector<std::string> raw = RawRecords(probeTable);
    const Case cases[] = {
        {"a damaged index", [](const std::string& cdx) { TruncateFile(cdx, SizeOf(cdx) - 10); },
         IndexedChanges(), "is not a compound index"},
        {"a tag the reader does not understand",
         [](const std::string& cdx) { SetByte(cdx, kCdxHeaderSize + 100, 'G'); }, IndexedChanges(),
         "does not understand"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder dir;
        const std::string table = MakePatients(dir, 200);
        const std::string cdx = dir.File("patients.cdx");
        MakeCdx(table, cdx, kWriteTags);
        c.prepare(cdx);
        const std::string tableBefore = ReadFile(table), cdxBefore = ReadFile(cdx);
        std::string why;
        EXPECT_EQ(IndexNotKeptOf(table, why), cdx);
        EXPECT_NE(why.find(c.why), std::string::npos) << why;
        try {
            Table::Open(table)->Apply(c.changes);
            ADD_FAILURE() << "changed";
        } catch (const DbfError& e) {
            EXPECT_NE(std::string(e.what()).find(c.why), std::string::npos) << e.what();
        }
        EXPECT_EQ(ReadFile(table), tableBefore);
        EXPECT_EQ(ReadFile(cdx), cdxBefore);
        EXPECT_FALSE(FileExists(JournalPathFor(table)));
    }
    {
        // A candidate tag's key taken twice: refused naming the tag and records.
        TempFolder dir;
        const std::string table = MakePatients(dir, 20);
        const std::string cdx = dir.File("patients.cdx");
        MakeCdx(table, cdx, {{"CODE", "UPPER(NAME)", "", false, true, false}});
        const std::vector<CdxTag> tags =
            TagsFor(table, {{"CODE", "UPPER(NAME)", "", false, true, false}});
        const std::string tableBefore = ReadFile(table), cdxBefore = ReadFile(cdx);
        std::string why;
        EXPECT_EQ(IndexNotKeptOf(table, why), "");
        const Record second = Table::Open(table)->ReadRecord(2);
        Changes copy;
        copy.updates.push_back({1, second});
        try {
            Table::Open(table)->Apply(copy);
            ADD_FAILURE() << "changed";
        } catch (const DbfError& e) {
            EXPECT_NE(std::string(e.what()).find("tag CODE: records 1 and 2 have the same key"),
                      std::string::npos)
                << e.what();
        }
        EXPECT_EQ(ReadFile(table), tableBefore);
        EXPECT_EQ(ReadFile(cdx), cdxBefore);
    }
}

TEST(DbfCdxWrite, AKillOrAFailedWriteAtAnyStepLeavesTableAndIndexWhollyBeforeOrAfter) {
    TempFolder probe;
    const std::string probeTable = MakePatients(probe, 200);
    const std::string oldRows = Render(ReadAll(probeTable));
    Table::Open(probeTable)->Apply(IndexedChanges());
    const std::string newRows = Render(ReadAll(probeTable));
    bool sawIndexStep = false;
    int killedOld = 0, killedNew = 0;
    for (int k = 0;; ++k) {
        ASSERT_LT(k, 300) << "the change never completed";
        TempFolder dir;
        const std::string table = MakePatients(dir, 200);
        const std::string cdx = dir.File("patients.cdx");
        MakeCdx(table, cdx, kWriteTags);
        const std::string cdxBefore = ReadFile(cdx);
        const std::string tableBefore = ReadFile(table);
        // A failed write at step k: rolled back at once.
        {
            int step = 0;
            bool failed = false;
            try {
                Table::Open(table)->Apply(IndexedChanges(), [&](std::string_view name) {
                    if (name.rfind("index", 0) == 0) sawIndexStep = true;
                    if (step++ == k) throw DbfError(cdx, -1, "No space left on device");
                });
            } catch (const DbfError& e) {
                failed = true;
            }
            if (!failed) {
                EXPECT_EQ(Render(ReadAll(table)), newRows);
                CheckCdx(table, cdx);
                EXPECT_GT(killedOld, 0);
                EXPECT_GT(killedNew, 0);
                break;
            }
            EXPECT_EQ(ReadFile(table), tableBefore) << "step " << k;
            EXPECT_EQ(ReadFile(cdx), cdxBefore) << "step " << k;
        }
        // A kill at step k: the next open plays the journal back, or the change had committed.
        ASSERT_TRUE(RunChildKilledAt(
            table, k, [](Table& t, const FaultHook& hook) { t.Apply(IndexedChanges(), hook); }))
            << "step " << k;
        const std::string rows = Render(ReadAll(table));
        EXPECT_FALSE(FileExists(JournalPathFor(table)));
        if (rows == oldRows) {
            ++killedOld;
            EXPECT_EQ(ReadFile(cdx), cdxBefore) << "step " << k;
        } else {
            ++killedNew;
            EXPECT_EQ(rows, newRows) << "step " << k;
            CheckCdx(table, cdx);
        }
    }
    EXPECT_TRUE(sawIndexStep);
}

TEST(DbfCdxWrite, AnotherProgramsLockOnTheIndexIsWaitedForThenRefused) {
    TempFolder dir;
    const std::string table = MakePatients(dir, 200);
    const std::string cdx = dir.File("patients.cdx");
    MakeCdx(table, cdx, kWriteTags);
    const std::string cdxBefore = ReadFile(cdx), tableBefore = ReadFile(table);
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t pid = ::fork();
    if (pid == 0) {
        int fd = ::open(cdx.c_str(), O_RDWR);
        struct flock l {};
        l.l_type = F_WRLCK;
        l.l_whence = SEEK_SET;
        char c = fd >= 0 && ::fcntl(fd, F_SETLK, &l) == 0 ? 'y' : 'n';
        (void)!::write(ready[1], &c, 1);
        ::usleep(1500 * 1000);
        ::_exit(0);
    }
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    ASSERT_EQ(c, 'y');
    try {
        Table::Open(table, std::chrono::milliseconds(300))->Apply(IndexedChanges());
        ADD_FAILURE() << "changed while the index was locked";
    } catch (const DbfLockedError& e) {
        EXPECT_EQ(e.File(), cdx);
        EXPECT_NE(std::string(e.what()).find("another program has the index file locked"),
                  std::string::npos);
    }
    EXPECT_EQ(ReadFile(table), tableBefore);
    EXPECT_EQ(ReadFile(cdx), cdxBefore);
    // Waited for long enough, the change goes through.
    Table::Open(table, std::chrono::milliseconds(5000))->Apply(IndexedChanges());
    CheckCdx(table, cdx);
    ::waitpid(pid, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);
}

}  // namespace
}  // namespace kce::dbf::test
