// Changes to tables: updates, deletions and inserts land in the files; each change is wholly
// applied or not at all, whether it fails, the process is killed at any step, or another program
// holds the table.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "kce/dbf/DbfError.h"
#include "kce/dbf/FileIo.h"
#include "kce/dbf/Journal.h"
#include "kce/dbf/Table.h"
#include "kce/dbf/Writer.h"
#include "tests/kce/dbf/TestFiles.h"

namespace kce::dbf::test {
namespace {

std::string MakeAccounts(const TempFolder& dir, Variant variant) {
    TableLayout layout;
    layout.variant = variant;
    layout.columns = {{"CODE", 'C', 6}, {"BAL", 'N', 9, 2}, {"NOTE", 'M'}, {"OPENED", 'D'}};
    const std::string path = dir.File("accounts.dbf");
    CreateTable(path, layout,
                {{T("A1"), R(10), T("first note"), T("2001-01-01")},
                 {T("B2"), R(20.5), T("second note"), N()},
                 {T("C3"), R(-5), N(), T("2003-03-03")}});
    return path;
}

Changes SampleChanges() {
    Changes c;
    c.updates.push_back({2, {T("B2"), R(99.99), T("second note"), T("2020-12-31")}});
    c.updates.push_back({3, {T("C3"), R(-5), T("a new memo on C3"), T("2003-03-03")}});
    c.deletions.push_back(1);
    c.inserts.push_back({T("D4"), R(0), T("inserted memo"), N()});
    c.inserts.push_back({T("E5"), N(), N(), T("1999-09-09")});
    c.deletions.push_back(5);  // an appended record, appended marked deleted
    return c;
}

const char* kAfterSample =
    "1 | 'A1' | 10 | 'first note' | '2001-01-01'\n"
    "0 | 'B2' | 99.99 | 'second note' | '2020-12-31'\n"
    "0 | 'C3' | -5 | 'a new memo on C3' | '2003-03-03'\n"
    "0 | 'D4' | 0 | 'inserted memo' | NULL\n"
    "1 | 'E5' | NULL | NULL | '1999-09-09'\n";

TEST(DbfChange, ATableWhoseContainerIsMissingReadsButRefusesChanges) {
    TempFolder dir;
    const std::string path = MakeAccounts(dir, Variant::VisualFoxPro);
    // Point the back link (the header's last 263 bytes) at a container in a sub-folder.
    const uint16_t headerLength = Table::Open(path)->GetHeader().headerLength;
    std::string bytes = ReadFile(path);
    const std::string link = "db\\Practice.dbc";
    std::fill(bytes.begin() + headerLength - 263, bytes.begin() + headerLength, '\0');
    std::copy(link.begin(), link.end(), bytes.begin() + headerLength - 263);
    WriteFile(path, bytes);
    const std::string memoPath = MemoPathFor(path, MemoFormat::Fpt);
    const std::string memoBefore = ReadFile(memoPath);

    auto table = Table::Open(path);
    EXPECT_EQ(table->GetHeader().containerLink, link);
    EXPECT_EQ(table->MissingContainer(), link);
    EXPECT_EQ(MissingContainerOf(path), link);
    EXPECT_EQ(Render(ReadAll(path)),
              "0 | 'A1' | 10 | 'first note' | '2001-01-01'\n"
              "0 | 'B2' | 20.5 | 'second note' | NULL\n"
              "0 | 'C3' | -5 | NULL | '2003-03-03'\n");
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            if (attempt == 0)
                table->Apply(SampleChanges());
            else
                table->ReplaceAll({});
            ADD_FAILURE() << "the change was applied";
        } catch (const DbfError& e) {
            EXPECT_EQ(e.File(), path);
            EXPECT_NE(
                std::string(e.what()).find("database container " + link + ", which does not exist"),
                std::string::npos)
                << e.what();
        }
    }
    EXPECT_EQ(ReadFile(path), bytes);
    EXPECT_EQ(ReadFile(memoPath), memoBefore);

    // The container found again (its file name in any letter case): changes go through.
    ASSERT_EQ(::mkdir(dir.File("db").c_str(), 0755), 0);
    WriteFile(dir.File("db/PRACTICE.DBC"), "container");
    EXPECT_EQ(table->MissingContainer(), "");
    EXPECT_EQ(MissingContainerOf(path), "");
    table->Apply(SampleChanges());
    EXPECT_EQ(Render(ReadAll(path)), kAfterSample);
}

TEST(DbfChange, UpdatesDeletionsAndInsertsLandInTheFiles) {
    for (Variant variant :
         {Variant::DBase3, Variant::DBase4, Variant::FoxPro2, Variant::VisualFoxPro}) {
        TempFolder dir;
        std::string path = MakeAccounts(dir, variant);
        std::string memoPath = MemoPathFor(path, Table::Open(path)->GetHeader().memoFormat);
        const uint64_t memoBefore = SizeOf(memoPath);
        {
            auto table = Table::Open(path);
            table->Apply(SampleChanges());
            EXPECT_EQ(table->RecordCount(), 5u);
        }
        EXPECT_EQ(Render(ReadAll(path)), kAfterSample) << VariantName(variant);
        // Only the two new memos were added: the unchanged memo of B2 kept its block.
        auto table = Table::Open(path);
        uint32_t block = table->Memo()->BlockSize();
        uint64_t perMemo = variant == Variant::DBase3 || variant == Variant::DBase4 ? 512 : block;
        EXPECT_EQ(SizeOf(memoPath), memoBefore + 2 * perMemo) << VariantName(variant);
        EXPECT_EQ(SizeOf(path), table->GetHeader().RecordOffset(5) + 1)
            << "records then one end-of-file byte";
        EXPECT_FALSE(FileExists(JournalPathFor(path)));
    }
}

TEST(DbfChange, ReplaceAllRewritesTableAndMemo) {
    TempFolder dir;
    std::string path = MakeAccounts(dir, Variant::FoxPro2);
    Table::Open(path)->ReplaceAll({{T("Z9"), R(1), T("only memo"), N()}});
    EXPECT_EQ(Render(ReadAll(path)), "0 | 'Z9' | 1 | 'only memo' | NULL\n");
    EXPECT_EQ(SizeOf(dir.File("accounts.fpt")), 512u + 64u);
}

TEST(DbfChange, RejectedValueLeavesTheFilesUntouched) {
    TempFolder dir;
    std::string path = MakeAccounts(dir, Variant::DBase3);
    const std::string before = ReadFile(path);
    const std::string memoBefore = ReadFile(dir.File("accounts.dbt"));
    Changes c;
    c.inserts.push_back({T("OK"), R(1), T("memo"), N()});
    c.updates.push_back({1, {T("TOO LONG"), R(1), N(), N()}});
    auto table = Table::Open(path);
    EXPECT_THROW(table->Apply(c), DbfError);
    Changes missing;
    missing.deletions.push_back(4);
    EXPECT_THROW(table->Apply(missing), DbfError);
    EXPECT_EQ(ReadFile(path), before);
    EXPECT_EQ(ReadFile(dir.File("accounts.dbt")), memoBefore);
}

void ExpectWhollyOldOrNewAtEveryStep(Variant variant,
                                     const std::function<void(Table&, const FaultHook&)>& change,
                                     const std::string& oldRows, const std::string& newRows) {
    int killedOld = 0, killedNew = 0;
    for (int k = 0; k < 200; ++k) {
        TempFolder dir;
        std::string path = MakeAccounts(dir, variant);
        bool killed = RunChildKilledAt(path, k, change);
        std::string rows = Render(ReadAll(path));  // reopening recovers
        EXPECT_FALSE(FileExists(JournalPathFor(path))) << "step " << k;
        if (!killed) {
            EXPECT_EQ(rows, newRows) << "completed change";
            EXPECT_GT(k, 5) << "a change takes several steps";
            EXPECT_GT(killedOld, 0);
            EXPECT_GT(killedNew, 0) << "a kill after the journal is removed keeps the new state";
            return;
        }
        if (rows == oldRows) {
            ++killedOld;
        } else {
            EXPECT_EQ(rows, newRows)
                << "killed before step " << k << " of " << VariantName(variant);
            ++killedNew;
        }
        // The table accepts changes again after recovery.
        auto table = Table::Open(path);
        Changes one;
        one.deletions.push_back(1);
        EXPECT_NO_THROW(table->Apply(one)) << "step " << k;
    }
    ADD_FAILURE() << "the change never completed";
}

TEST(DbfChange, KillAtAnyStepLeavesTheTableWhollyOldOrWhollyNew) {
    TempFolder probe;
    const std::string oldRows = Render(ReadAll(MakeAccounts(probe, Variant::FoxPro2)));
    ExpectWhollyOldOrNewAtEveryStep(
        Variant::FoxPro2, [](Table& t, const FaultHook& hook) { t.Apply(SampleChanges(), hook); },
        oldRows, kAfterSample);
    ExpectWhollyOldOrNewAtEveryStep(
        Variant::DBase3,
        [](Table& t, const FaultHook& hook) {
            t.ReplaceAll({{T("Z9"), R(1), T("only memo"), N()}}, hook);
        },
        oldRows, "0 | 'Z9' | 1 | 'only memo' | NULL\n");
}

TEST(DbfChange, FailedWriteAtAnyStepRollsBackAndTheTableStaysUsable) {
    for (int k = 0;; ++k) {
        TempFolder dir;
        std::string path = MakeAccounts(dir, Variant::VisualFoxPro);
        const std::string before = ReadFile(path);
        const std::string memoBefore = ReadFile(dir.File("accounts.fpt"));
        auto table = Table::Open(path);
        int step = 0;
        bool failed = false;
        try {
            table->Apply(SampleChanges(), [&](std::string_view name) {
                if (step++ == k) {
                    throw DbfError(path, -1, "No space left on device");
                }
            });
        } catch (const DbfError& e) {
            failed = true;
            EXPECT_NE(std::string(e.what()).find("No space left"), std::string::npos);
        }
        if (step <= k) {
            EXPECT_FALSE(failed);
            EXPECT_EQ(Render(ReadAll(path)), kAfterSample);
            break;
        }
        EXPECT_TRUE(failed);
        EXPECT_EQ(ReadFile(path), before) << "step " << k;
        EXPECT_EQ(ReadFile(dir.File("accounts.fpt")), memoBefore) << "step " << k;
        EXPECT_FALSE(FileExists(JournalPathFor(path)));
        table->Apply(SampleChanges());
        EXPECT_EQ(Render(ReadAll(path)), kAfterSample) << "step " << k;
    }
}

TEST(DbfChange, CutShortJournalIsDiscardedAndCompleteOneRolledBack) {
    TempFolder dir;
    std::string path = MakeAccounts(dir, Variant::DBase3);
    const std::string oldRows = Render(ReadAll(path));
    WriteFile(JournalPathFor(path), "KDBFJRN1 cut short");
    EXPECT_EQ(Render(ReadAll(path)), oldRows);
    EXPECT_FALSE(FileExists(JournalPathFor(path)));
}

enum class LockKind { FcntlWrite, FcntlRead, FlockExclusive, FlockShared };

// Holds a lock on `path` from another process until it is destroyed, or for `holdMs` milliseconds
// when that is not negative.
struct OtherProgram {
    pid_t pid = -1;
    int release = -1;
    OtherProgram(const std::string& path, LockKind kind, int holdMs = -1) {
        int ready[2], done[2];
        EXPECT_EQ(::pipe(ready), 0);
        EXPECT_EQ(::pipe(done), 0);
        pid = ::fork();
        if (pid == 0) {
            ::close(done[1]);  // so that the parent's close is seen as end of file
            bool read = kind == LockKind::FcntlRead || kind == LockKind::FlockShared;
            int fd = ::open(path.c_str(), read ? O_RDONLY : O_RDWR);
            bool ok = fd >= 0;
            if (kind == LockKind::FcntlWrite || kind == LockKind::FcntlRead) {
                struct flock l {};
                l.l_type = read ? F_RDLCK : F_WRLCK;
                l.l_whence = SEEK_SET;
                ok = ok && ::fcntl(fd, F_SETLK, &l) == 0;
            } else {
                ok = ok && ::flock(fd, read ? LOCK_SH : LOCK_EX) == 0;
            }
            char c = ok ? 'y' : 'n';
            (void)!::write(ready[1], &c, 1);
            struct pollfd wait {
                done[0], POLLIN, 0
            };
            (void)::poll(&wait, 1, holdMs);
            ::_exit(0);
        }
        char c = 0;
        EXPECT_EQ(::read(ready[0], &c, 1), 1);
        EXPECT_EQ(c, 'y');
        release = done[1];
        ::close(ready[0]);
        ::close(ready[1]);
        ::close(done[0]);
    }
    ~OtherProgram() {
        ::close(release);
        ::waitpid(pid, nullptr, 0);
    }
};

TEST(DbfChange, AnotherProgramHoldingTheTableMakesTheChangeFail) {
    struct Case {
        const char* name;
        LockKind kind;
        bool openFails;  // a writer's lock also keeps readers out
    };
    const Case cases[] = {
        {"fcntl write lock", LockKind::FcntlWrite, true},
        {"fcntl read lock", LockKind::FcntlRead, false},
        {"flock exclusive", LockKind::FlockExclusive, true},
        {"flock shared", LockKind::FlockShared, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder dir;
        std::string path = MakeAccounts(dir, Variant::DBase3);
        const std::string before = ReadFile(path);
        {
            OtherProgram other(path, c.kind);
            if (c.openFails) {
                EXPECT_THROW(Table::Open(path), DbfLockedError);
            } else {
                auto table = Table::Open(path);
                try {
                    table->Apply(SampleChanges());
                    ADD_FAILURE() << "changed a table another program holds";
                } catch (const DbfLockedError& e) {
                    EXPECT_NE(std::string(e.what()).find("another program"), std::string::npos);
                }
                EXPECT_EQ(ReadFile(path), before);
            }
        }
        // Once the other program lets go, the change goes through.
        auto table = Table::Open(path);
        EXPECT_NO_THROW(table->Apply(SampleChanges()));
    }
}

TEST(DbfChange, AChangeWaitsForAnotherProgramsLockUpToItsBound) {
    using Clock = std::chrono::steady_clock;
    using std::chrono::milliseconds;
    struct Case {
        const char* name;
        LockKind kind;
        int holdMs;  // -1: until the change has given up
        int waitMs;  // the table's lock wait
        bool succeeds;
    };
    const Case cases[] = {
        {"writer's lock let go in time", LockKind::FcntlWrite, 200, 5000, true},
        {"reader's lock let go in time", LockKind::FcntlRead, 200, 5000, true},
        {"flock let go in time", LockKind::FlockExclusive, 200, 5000, true},
        {"writer's lock held past the bound", LockKind::FcntlWrite, -1, 300, false},
        {"reader's lock held past the bound", LockKind::FcntlRead, -1, 300, false},
        {"no wait", LockKind::FcntlRead, -1, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder dir;
        std::string path = MakeAccounts(dir, Variant::FoxPro2);
        const std::string before = ReadFile(path);
        const bool reader = c.kind == LockKind::FcntlRead;
        // A reader's lock lets the table open at once: the change waits. A writer's lock makes
        // opening wait.
        std::unique_ptr<Table> table = reader ? Table::Open(path, milliseconds(c.waitMs)) : nullptr;
        const auto start = Clock::now();
        try {
            OtherProgram other(path, c.kind, c.holdMs);
            if (!table) table = Table::Open(path, milliseconds(c.waitMs));
            table->Apply(SampleChanges());
            EXPECT_TRUE(c.succeeds) << "changed a table another program holds";
        } catch (const DbfLockedError& e) {
            EXPECT_FALSE(c.succeeds) << e.what();
            EXPECT_NE(std::string(e.what()).find("another program"), std::string::npos);
        }
        const auto waited = std::chrono::duration_cast<milliseconds>(Clock::now() - start).count();
        EXPECT_GE(waited, c.succeeds ? 150 : c.waitMs);
        EXPECT_LT(waited, c.succeeds ? 2000 : c.waitMs + 1000);
        if (c.succeeds) {
            EXPECT_EQ(Render(ReadAll(path)), kAfterSample);
        } else {
            EXPECT_EQ(ReadFile(path), before);
        }
    }
}

TEST(DbfChange, TwoWaitingForTheChangeLockDoNotWaitForEachOther) {
    // Both hold the shared lock of an open table and ask for the change's lock: the one that waits
    // lets go of its shared lock, so the other gets through and then it does.
    TempFolder dir;
    const std::string path = MakeAccounts(dir, Variant::DBase3);
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t pid = ::fork();
    if (pid == 0) {
        int code = 1;
        try {
            auto theirs = Table::Open(path, std::chrono::milliseconds(3000));
            char c = 'y';
            (void)!::write(ready[1], &c, 1);
            theirs->LockForChange();
            code = 0;
        } catch (...) {
        }
        ::_exit(code);
    }
    // Opened after the fork, so that the other process does not share its open file.
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    auto mine = Table::Open(path, std::chrono::milliseconds(3000));
    EXPECT_NO_THROW(mine->LockForChange());
    mine.reset();  // lets go; the other then gets the lock
    int status = -1;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ::close(ready[0]);
    ::close(ready[1]);
}

}  // namespace
}  // namespace kce::dbf::test

namespace kce::dbf::test {
namespace {

TEST(DbfChange, NumberedColumnHandsOutNextNumbersThatPersist) {
    TempFolder dir;
    TableLayout layout;
    layout.variant = Variant::VisualFoxPro;
    ColumnLayout id{"ID", 'I'};
    id.autoIncrement = true;
    layout.columns = {id, {"NAME", 'C', 5}};
    const std::string path = dir.File("seq.dbf");
    CreateTable(path, layout, {{N(), T("a")}, {N(), T("b")}});
    {
        auto table = Table::Open(path);
        EXPECT_TRUE(table->Columns()[0].autoIncrement);
        Changes c;
        c.inserts = {{N(), T("c")}, {I(100), T("given")}};
        table->Apply(c);
    }
    auto table = Table::Open(path);
    Changes c;
    c.inserts = {{N(), T("d")}};
    table->Apply(c);
    // A given number moves the next one past it, so that it is never handed out again.
    EXPECT_EQ(Render(ReadAll(path)),
              "0 | 1 | 'a'\n0 | 2 | 'b'\n0 | 3 | 'c'\n0 | 100 | 'given'\n0 | 101 | 'd'\n");
}

TEST(DbfChange, CursorMadeBeforeAChangeSeesTheChangedRecords) {
    TempFolder dir;
    std::string path = MakeAccounts(dir, Variant::DBase3);
    auto table = Table::Open(path);
    auto cursor = table->Records();
    ASSERT_TRUE(cursor.Next());
    table->Apply(SampleChanges());
    ASSERT_TRUE(cursor.Next());
    StoredValue v;
    cursor.Stored(1, v);
    EXPECT_EQ(v.real, 99.99);
    int rest = 0;
    while (cursor.Next()) ++rest;
    EXPECT_EQ(rest, 3);
}

}  // namespace
}  // namespace kce::dbf::test
