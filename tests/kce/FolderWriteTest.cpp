// Changing statements on folder tables change the files: each statement whole or not at all, also
// when the process is killed or a write fails at any step, and never while another program holds
// the table.
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include "kce/Database.h"
#include "kce/Execute.h"
#include "kce/FolderNames.h"
#include "kce/FolderTables.h"
#include "kce/Objects.h"
#include "kce/Translate.h"
#include "kce/dbf/Table.h"
#include "kce/dbf/Writer.h"
#include "tests/kce/FolderSupport.h"
#include "tests/kce/dbf/CdxChecker.h"
#include "tests/support/SmallDisk.h"

namespace {

using namespace kcetest;
using kce::dbf::Variant;
using Rows = std::vector<std::vector<std::string>>;
using kce::dbf::test::CheckCdx;
using kce::dbf::test::CheckIndex;
using kce::dbf::test::MakeCdx;
using kce::dbf::test::MakeIndex;

void MakePeople(const std::string& folder) {
    MakeTable(folder + "/people.dbf", Variant::DBase3, {{"ID", 'N', 3}, {"NAME", 'C', 8}},
              {{I(1), T("ann")}, {I(2), T("bob")}, {I(3), T("cy")}});
}

// Deletion flag and fields of every record of the file, as the file layer reads them.
std::vector<std::string> FileRecords(const std::string& path) {
    auto table = kce::dbf::Table::Open(path);
    std::vector<std::string> out;
    auto cursor = table->Records();
    while (cursor.Next()) {
        std::string line = cursor.Deleted() ? "*" : " ";
        for (size_t i = 0; i < table->Columns().size(); ++i) {
            kce::dbf::StoredValue v;
            cursor.Stored(i, v);
            line +=
                "|" + (v.kind == kce::dbf::StoredValue::Kind::Null      ? std::string("NULL")
                       : v.kind == kce::dbf::StoredValue::Kind::Integer ? std::to_string(v.integer)
                       : v.kind == kce::dbf::StoredValue::Kind::Real
                           ? std::to_string(static_cast<int>(v.real))
                           : v.text);
        }
        out.push_back(line);
    }
    return out;
}

class FolderWriteTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(KdbShowDeleted(0), 0u); }
    void TearDown() override { KdbShowDeleted(0); }  // the engine's default
    TempDir dir_;
};

TEST_F(FolderWriteTest, UpdateInsertAndDeleteChangeTheFile) {
    MakePeople(dir_.Path());
    uint32_t connection = ConnectFolder(dir_.Path());
    EXPECT_EQ(Changed(connection, "UPDATE people SET name = 'bee' WHERE id = 2"), 1u);
    EXPECT_EQ(Changed(connection, "INSERT INTO people (id, name) VALUES (4, 'dee'), (5, 'eve')"),
              2u);
    EXPECT_EQ(Changed(connection, "DELETE FROM people WHERE id IN (1, 5)"), 2u);
    const Rows expected = {{"  2", "bee"}, {"  3", "cy"}, {"  4", "dee"}};
    EXPECT_EQ(Query(connection, "SELECT id, name FROM people ORDER BY id"), expected);
    KdbDisconnect(connection);
    EXPECT_EQ(FileRecords(dir_.File("people.dbf")),
              (std::vector<std::string>{"*|1|ann", " |2|bee", " |3|cy", " |4|dee", "*|5|eve"}));
    connection = ConnectFolder(dir_.Path());
    EXPECT_EQ(Query(connection, "SELECT id, name FROM people ORDER BY id"), expected);
    // Shown deleted records are part of the table again.
    ASSERT_EQ(KdbShowDeleted(1), 0u);
    EXPECT_EQ(Query(connection, "SELECT count(*) FROM people"), (Rows{{"5"}}));
    KdbDisconnect(connection);
}

TEST_F(FolderWriteTest, TheCopyHoldsWhatTheFileHolds) {
    // An empty text is stored as blanks on a dBase table and reads back as null, at once.
    MakePeople(dir_.Path());
    uint32_t connection = ConnectFolder(dir_.Path());
    EXPECT_EQ(Changed(connection, "UPDATE people SET name = '' WHERE id = 1"), 1u);
    EXPECT_EQ(Query(connection, "SELECT id FROM people WHERE name IS NULL"), (Rows{{"  1"}}));
    KdbDisconnect(connection);
}

TEST_F(FolderWriteTest, NumbersTheFileGivesToInsertedRowsAreSeenAtOnce) {
    kce::dbf::ColumnLayout id{"ID", 'I'};
    id.autoIncrement = true;
    MakeTable(dir_.File("t.dbf"), Variant::VisualFoxPro, {id, {"NAME", 'V', 10, 0, true}},
              {{N(), T("first")}});
    uint32_t connection = ConnectFolder(dir_.Path());
    EXPECT_EQ(Changed(connection, "INSERT INTO t (name) VALUES ('second'), (NULL)"), 2u);
    EXPECT_EQ(QueryWithNulls(connection, "SELECT id, name FROM t"),
              (Rows{{"1", "first"}, {"2", "second"}, {"3", "NULL"}}));
    KdbDisconnect(connection);
}

TEST_F(FolderWriteTest, AValueTheFileCannotHoldChangesNothing) {
    // A number too wide for its column is refused by the statement, as on a dictionary; what only
    // the file can tell (a null where a Visual FoxPro column keeps none) by the file layer.
    MakePeople(dir_.Path());
    MakeTable(dir_.File("tags.dbf"), Variant::VisualFoxPro, {{"NAME", 'C', 4}},
              {{T("a")}, {T("b")}});
    struct Case {
        const char* statement;
        const char* file;
        uint32_t code;
        const char* named;
        Rows rows;
    };
    const Case cases[] = {
        {"UPDATE people SET id = id * 1000, name = 'x'",
         "people.dbf",
         KDB_ERR_SQL,
         "NativeError = 2117; Value 1000 is too wide for column \"ID\" (NUMERIC(3,0))",
         {{"ann"}, {"bob"}, {"cy"}}},
        {"UPDATE tags SET name = NULL", "tags.dbf", KDB_ERR_STORAGE, "tags.dbf", {{"a"}, {"b"}}},
    };
    uint32_t connection = ConnectFolder(dir_.Path());
    for (const Case& c : cases) {
        const std::string before = ReadFile(dir_.File(c.file));
        EXPECT_EQ(TryRun(connection, c.statement), c.code) << c.statement;
        EXPECT_NE(LastError().find(c.named), std::string::npos) << LastError();
        EXPECT_EQ(ReadFile(dir_.File(c.file)), before) << c.statement;
        const std::string table = std::string(c.file).substr(0, std::string(c.file).find('.'));
        EXPECT_EQ(Query(connection, "SELECT name FROM " + table), c.rows) << c.statement;
    }
    KdbDisconnect(connection);
}

TEST_F(FolderWriteTest, AnotherProgramsLockMakesStatementsFailClearly) {
    MakePeople(dir_.Path());
    const std::string path = dir_.File("people.dbf");
    uint32_t connection = ConnectFolder(dir_.Path());
    auto lock = [&](short type) {
        int fd = ::open(path.c_str(), O_RDWR);
        struct flock l {};
        l.l_type = type;
        l.l_whence = SEEK_SET;
        EXPECT_EQ(::fcntl(fd, F_OFD_SETLK, &l), 0);
        return fd;
    };
    {
        // A writer's lock: neither reading nor changing.
        int fd = lock(F_WRLCK);
        EXPECT_EQ(TryRun(connection, "SELECT * FROM people"),
                  static_cast<uint32_t>(KDB_ERR_TABLE_LOCKED));
        EXPECT_NE(LastError().find("people.dbf"), std::string::npos) << LastError();
        ::close(fd);
    }
    {
        // A reader's lock: reading, but no change (waited for up to the statement's time-out).
        ASSERT_EQ(KdbSetSQLTimeout(connection, 1), 0u);
        int fd = lock(F_RDLCK);
        EXPECT_EQ(Query(connection, "SELECT name FROM people WHERE id = 1"), (Rows{{"ann"}}));
        EXPECT_EQ(TryRun(connection, "UPDATE people SET name = 'x'"),
                  static_cast<uint32_t>(KDB_ERR_TABLE_LOCKED));
        EXPECT_NE(LastError().find("another program"), std::string::npos) << LastError();
        EXPECT_EQ(Query(connection, "SELECT name FROM people WHERE id = 1"), (Rows{{"ann"}}));
        ::close(fd);
    }
    EXPECT_EQ(Changed(connection, "UPDATE people SET name = 'x' WHERE id = 1"), 1u);
    KdbDisconnect(connection);
}

// Another process that holds a POSIX lock on `path` for `holdMs` milliseconds (-1: until
// destroyed).
class HeldLock {
public:
    HeldLock(const std::string& path, short type, int holdMs) {
        int ready[2];
        EXPECT_EQ(::pipe(ready), 0);
        EXPECT_EQ(::pipe(done_), 0);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(done_[1]);
            int fd = ::open(path.c_str(), O_RDWR);
            struct flock l {};
            l.l_type = type;
            l.l_whence = SEEK_SET;
            char c = fd >= 0 && ::fcntl(fd, F_SETLK, &l) == 0 ? 'y' : 'n';
            (void)!::write(ready[1], &c, 1);
            struct pollfd wait {
                done_[0], POLLIN, 0
            };
            (void)::poll(&wait, 1, holdMs);
            ::_exit(0);
        }
        char c = 0;
        EXPECT_EQ(::read(ready[0], &c, 1), 1);
        EXPECT_EQ(c, 'y');
        ::close(ready[0]);
        ::close(ready[1]);
        ::close(done_[0]);
    }
    ~HeldLock() {
        ::close(done_[1]);
        ::waitpid(pid_, nullptr, 0);
    }

private:
    pid_t pid_ = -1;
    int done_[2] = {-1, -1};
};

TEST_F(FolderWriteTest, AChangeWaitsForAnotherProgramsLockUpToTheTimeOut) {
    using Clock = std::chrono::steady_clock;
    struct Case {
        const char* name;
        short type;
        int holdMs;               // -1: until the statement has ended
        uint32_t timeoutSeconds;  // 0: none set, the default bound applies
        bool applied;
        int minMs, maxMs;  // the statement's duration
    };
    const Case cases[] = {
        {"writer's lock let go in time", F_WRLCK, 300, 0, true, 250, 2500},
        {"reader's lock let go in time", F_RDLCK, 300, 0, true, 250, 2500},
        {"let go within the time-out", F_RDLCK, 300, 2, true, 250, 1900},
        {"held past the time-out", F_RDLCK, -1, 1, false, 1000, 2500},
        {"held past the default bound", F_WRLCK, -1, 0, false, 3000, 4500},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        MakePeople(dir.Path());
        const std::string path = dir.File("people.dbf");
        uint32_t connection = ConnectFolder(dir.Path());
        if (c.timeoutSeconds != 0) {
            ASSERT_EQ(KdbSetSQLTimeout(connection, c.timeoutSeconds), 0u);
        }
        EXPECT_EQ(Query(connection, "SELECT name FROM people WHERE id = 1"), (Rows{{"ann"}}));
        const std::string before = ReadFile(path);
        uint32_t rc = 0;
        int64_t took = 0;
        {
            HeldLock other(path, c.type, c.holdMs);
            const auto start = Clock::now();
            rc = TryRun(connection, "UPDATE people SET name = 'x' WHERE id = 1");
            took =
                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        }
        EXPECT_GE(took, c.minMs);
        EXPECT_LT(took, c.maxMs);
        if (c.applied) {
            EXPECT_EQ(rc, 0u) << LastError();
            EXPECT_EQ(FileRecords(path), (std::vector<std::string>{" |1|x", " |2|bob", " |3|cy"}));
        } else {
            EXPECT_EQ(rc, static_cast<uint32_t>(KDB_ERR_TABLE_LOCKED));
            EXPECT_NE(LastError().find(path + ": another program"), std::string::npos)
                << LastError();
            EXPECT_EQ(ReadFile(path), before);
            // Once the other program lets go, the statement goes through.
            EXPECT_EQ(Changed(connection, "UPDATE people SET name = 'x' WHERE id = 1"), 1u)
                << LastError();
        }
        KdbDisconnect(connection);
    }
}

// What one process of the contention test saw of its statements.
struct Tally {
    int applied = 0;  // ran and changed the one row
    int refused = 0;  // refused because another process held a lock
    int other = 0;    // anything else: failed otherwise, or changed no row
};

// Connects to `folder` and runs `statement` `times` times through the C interface.
Tally RunRepeatedly(const std::string& folder, const std::string& statement, int times) {
    Tally tally;
    uint32_t connection = 0;
    if (KdbConnect60(folder.c_str(), 3, "", "", 0, &connection) != 0) {
        tally.other = times;
        return tally;
    }
    for (int i = 0; i < times; ++i) {
        uint32_t handle = 0, cursor = 0, count = 0;
        if (KdbCreateSQLStatement(connection, &handle) != 0) {
            ++tally.other;
            continue;
        }
        const uint32_t rc = KdbExecuteSQLDirect(handle, statement.c_str(), &cursor);
        if (cursor != 0) KdbCloseTable(cursor);
        if (rc == 0 && KdbGetRecordCount(handle, 2, &count) == 0 && count == 1) {
            ++tally.applied;
        } else if (rc == static_cast<uint32_t>(KDB_ERR_TABLE_LOCKED)) {
            ++tally.refused;
        } else {
            ++tally.other;
        }
        KdbCloseSQLStatement(handle);
    }
    KdbDisconnect(connection);
    return tally;
}

// Three processes increment one row's counter at the same time, each statement reading and
// writing the file under the table's lock: every statement waits for the others and applies, and
// none overwrites another's increment. With a structural index the index is kept in step too.
TEST_F(FolderWriteTest, ThreeProcessesIncrementingOneRowLoseNoIncrement) {
    constexpr int kProcesses = 3;
    constexpr int kTimes = 30;
    for (bool indexed : {false, true}) {
        SCOPED_TRACE(indexed ? "with a structural index" : "without an index");
        TempDir dir;
        const std::string path = dir.File("counts.dbf");
        const std::string cdx = dir.File("counts.cdx");
        MakeTable(path, Variant::FoxPro2, {{"ID", 'N', 3}, {"N", 'N', 6}},
                  {{I(1), I(0)}, {I(2), I(500)}});
        if (indexed) {
            MakeCdx(path, cdx, {{"ID", "ID", "", false, true}, {"N", "STR(N,6)+STR(ID,3)"}});
            std::string bytes = ReadFile(path);
            bytes[28] = static_cast<char>(bytes[28] | 0x01);  // announces its structural index
            WriteFile(path, bytes);
        }
        // The children start together once the parent closes `go`; each reports its tally on
        // `report`.
        int go[2], report[2];
        ASSERT_EQ(::pipe(go), 0);
        ASSERT_EQ(::pipe(report), 0);
        std::vector<pid_t> children;
        for (int p = 0; p < kProcesses; ++p) {
            const pid_t child = ::fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                ::close(go[1]);
                ::close(report[0]);
                char c;
                (void)!::read(go[0], &c, 1);
                const Tally tally =
                    RunRepeatedly(dir.Path(), "UPDATE counts SET n = n + 1 WHERE id = 1", kTimes);
                (void)!::write(report[1], &tally, sizeof tally);
                ::_exit(0);
            }
            children.push_back(child);
        }
        ::close(go[0]);
        ::close(report[1]);
        ::close(go[1]);
        Tally total;
        for (int p = 0; p < kProcesses; ++p) {
            Tally tally;
            ASSERT_EQ(::read(report[0], &tally, sizeof tally), static_cast<ssize_t>(sizeof tally));
            total.applied += tally.applied;
            total.refused += tally.refused;
            total.other += tally.other;
        }
        ::close(report[0]);
        for (pid_t child : children) {
            int status = 0;
            ASSERT_EQ(::waitpid(child, &status, 0), child);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
        uint32_t connection = ConnectFolder(dir.Path());
        const Rows rows = Query(connection, "SELECT n FROM counts ORDER BY id");
        KdbDisconnect(connection);
        ASSERT_EQ(rows.size(), 2u);
        const int final = std::stoi(rows[0][0]);
        std::printf("%s: %d applied, %d refused, %d failed otherwise, %d lost; N = %d\n",
                    indexed ? "with a structural index" : "without an index", total.applied,
                    total.refused, total.other, total.applied - final, final);
        EXPECT_EQ(total.applied, kProcesses * kTimes);
        EXPECT_EQ(total.refused, 0);
        EXPECT_EQ(total.other, 0);
        EXPECT_EQ(final, total.applied) << "increments lost";
        EXPECT_EQ(std::stoi(rows[1][0]), 500);  // the other row untouched
        if (indexed) CheckCdx(path, cdx);
    }
}

// A transaction's statements ran on rows another program changed before the commit: the commit
// cannot run them again, so it fails and leaves the other program's change alone.
TEST_F(FolderWriteTest, ACommitAfterAnotherProgramsChangeFailsAndChangesNothing) {
    MakePeople(dir_.Path());
    const std::string path = dir_.File("people.dbf");
    uint32_t connection = ConnectFolder(dir_.Path());
    uint32_t other = ConnectFolder(dir_.Path());
    ASSERT_EQ(KdbBeginTransaction(connection), 0u);
    EXPECT_EQ(Changed(connection, "UPDATE people SET name = 'mine' WHERE id = 1"), 1u);
    EXPECT_EQ(Changed(other, "UPDATE people SET name = 'theirs' WHERE id = 2"), 1u);
    EXPECT_EQ(KdbCommitTransaction(connection), static_cast<uint32_t>(KDB_ERR_TABLE_LOCKED));
    EXPECT_NE(LastError().find(path + ": another program changed the table after it was read"),
              std::string::npos)
        << LastError();
    EXPECT_EQ(FileRecords(path), (std::vector<std::string>{" |1|ann", " |2|theirs", " |3|cy"}));
    // The statement again, outside a transaction, reads the file as it is now.
    EXPECT_EQ(Changed(connection, "UPDATE people SET name = 'mine' WHERE id = 1"), 1u);
    EXPECT_EQ(FileRecords(path), (std::vector<std::string>{" |1|mine", " |2|theirs", " |3|cy"}));
    KdbDisconnect(other);
    KdbDisconnect(connection);
}

TEST_F(FolderWriteTest, TransactionsWriteAtCommitAndRollbackLeavesTheFile) {
    MakePeople(dir_.Path());
    const std::string path = dir_.File("people.dbf");
    const std::string before = ReadFile(path);
    uint32_t connection = ConnectFolder(dir_.Path());
    ASSERT_EQ(KdbBeginTransaction(connection), 0u);
    EXPECT_EQ(Changed(connection, "DELETE FROM people WHERE id = 1"), 1u);
    EXPECT_EQ(Changed(connection, "INSERT INTO people (id, name) VALUES (9, 'new')"), 1u);
    EXPECT_EQ(Changed(connection, "UPDATE people SET name = 'newer' WHERE id = 9"), 1u);
    EXPECT_EQ(ReadFile(path), before);
    ASSERT_EQ(KdbCommitTransaction(connection), 0u) << LastError();
    EXPECT_EQ(FileRecords(path),
              (std::vector<std::string>{"*|1|ann", " |2|bob", " |3|cy", " |9|newer"}));

    ASSERT_EQ(KdbBeginTransaction(connection), 0u);
    EXPECT_EQ(Changed(connection, "DELETE FROM people"), 3u);
    ASSERT_EQ(KdbRollbackTransaction(connection), 0u);
    EXPECT_EQ(FileRecords(path),
              (std::vector<std::string>{"*|1|ann", " |2|bob", " |3|cy", " |9|newer"}));
    EXPECT_EQ(Query(connection, "SELECT id FROM people ORDER BY id"),
              (Rows{{"  2"}, {"  3"}, {"  9"}}));
    KdbDisconnect(connection);
}

TEST_F(FolderWriteTest, DeleteGivesTheSameRowsInsideAndOutsideATransaction) {
    struct Case {
        const char* name;
        bool show;
        bool transaction;
        Rows afterDelete;  // ids after deleting 2, then inserting 5 and deleting it
        uint32_t again;    // rows a second DELETE of 2 reports
        bool eveInFile;    // the row inserted and deleted reaches the file (marked deleted)
    };
    const Rows hidden = {{"  1"}, {"  3"}};
    const Rows shown = {{"  1"}, {"  2"}, {"  3"}, {"  4"}, {"  5"}};
    const Case cases[] = {
        {"hidden", false, false, hidden, 0, true},
        // Inserted and deleted before the commit while hidden: no row of any statement ever.
        {"hidden in a transaction", false, true, hidden, 0, false},
        {"shown", true, false, shown, 1, true},
        {"shown in a transaction", true, true, shown, 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        {
            kce::dbf::TableLayout layout;
            layout.columns = {{"ID", 'N', 3}, {"NAME", 'C', 8}};
            kce::dbf::TableCreator creator(dir.File("people.dbf"), layout);
            creator.Add({I(1), T("ann")});
            creator.Add({I(2), T("bob")});
            creator.Add({I(3), T("cy")});
            creator.Add({I(4), T("dee")}, true);
            creator.Finish();
        }
        ASSERT_EQ(KdbShowDeleted(c.show ? 1 : 0), 0u);
        uint32_t connection = ConnectFolder(dir.Path());
        if (c.transaction) {
            ASSERT_EQ(KdbBeginTransaction(connection), 0u);
        }
        EXPECT_EQ(Changed(connection, "DELETE FROM people WHERE id = 2"), 1u);
        EXPECT_EQ(Changed(connection, "DELETE FROM people WHERE id = 2"), c.again);
        EXPECT_EQ(Changed(connection, "INSERT INTO people (id, name) VALUES (5, 'eve')"), 1u);
        EXPECT_EQ(Changed(connection, "DELETE FROM people WHERE id = 5"), 1u);
        EXPECT_EQ(Query(connection, "SELECT id FROM people ORDER BY id"), c.afterDelete);
        if (c.transaction) {
            ASSERT_EQ(KdbCommitTransaction(connection), 0u) << LastError();
        }
        EXPECT_EQ(Query(connection, "SELECT id FROM people ORDER BY id"), c.afterDelete);
        KdbDisconnect(connection);
        std::vector<std::string> file = {" |1|ann", "*|2|bob", " |3|cy", "*|4|dee"};
        if (c.eveInFile) file.push_back("*|5|eve");
        EXPECT_EQ(FileRecords(dir.File("people.dbf")), file);
        connection = ConnectFolder(dir.Path());
        EXPECT_EQ(Query(connection, "SELECT id FROM people ORDER BY id"), c.afterDelete);
        // Deleting every row: the shown rows stay rows.
        if (c.transaction) {
            ASSERT_EQ(KdbBeginTransaction(connection), 0u);
        }
        EXPECT_EQ(Changed(connection, "DELETE FROM people"), c.afterDelete.size());
        EXPECT_EQ(Query(connection, "SELECT id FROM people ORDER BY id"), c.show ? shown : Rows{});
        if (c.transaction) {
            ASSERT_EQ(KdbCommitTransaction(connection), 0u) << LastError();
        }
        EXPECT_EQ(Query(connection, "SELECT id FROM people ORDER BY id"), c.show ? shown : Rows{});
        KdbDisconnect(connection);
        for (const std::string& record : FileRecords(dir.File("people.dbf")))
            EXPECT_EQ(record[0], '*') << record;
    }
}

TEST_F(FolderWriteTest, ATableWithAnIndexFileIsNotChanged) {
    struct Case {
        const char* name;
        Variant variant;
        uint8_t flags;       // header byte 28
        const char* beside;  // a file put beside the table, "" for none
        const char* index;   // the file the error names
        const char* why;
    };
    const char* notUpdated = ", which this program does not update; the table was not changed";
    const Case cases[] = {
        {"structural index flag, the file missing", Variant::VisualFoxPro, 0x01, "", "people.cdx",
         notUpdated},
        {"compound index beside that is not one", Variant::DBase3, 0x00, "PEOPLE.cdx", "PEOPLE.cdx",
         ", which this program cannot keep in step: the file of 5 bytes is not a compound index"},
        {"Clipper index in capitals that is not one", Variant::DBase3, 0x00, "people.NTX",
         "people.NTX",
         ", which this program cannot keep in step: the file of 5 bytes is not a Clipper index"},
        {"production index flag", Variant::DBase4, 0x01, "", "people.mdx", notUpdated},
    };
    const char* statements[] = {"UPDATE people SET name = 'x'",
                                "INSERT INTO people (id, name) VALUES (4, 'dee')",
                                "DELETE FROM people WHERE id = 9"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir.File("people.dbf");
        MakeTable(path, c.variant, {{"ID", 'N', 3}, {"NAME", 'C', 8}},
                  {{I(1), T("ann")}, {I(2), T("bob")}});
        if (c.flags != 0) {
            std::string bytes = ReadFile(path);
            bytes[28] = static_cast<char>(bytes[28] | c.flags);
            WriteFile(path, bytes);
        }
        if (*c.beside) WriteFile(dir.File(c.beside), "index");
        const std::string before = ReadFile(path);
        uint32_t connection = ConnectFolder(dir.Path());
        for (bool transaction : {false, true}) {
            if (transaction) {
                ASSERT_EQ(KdbBeginTransaction(connection), 0u);
            }
            for (const char* sql : statements) {
                EXPECT_EQ(TryRun(connection, sql), static_cast<uint32_t>(KDB_ERR_NOT_SUPPORTED))
                    << sql;
                const std::string error = LastError();
                EXPECT_NE(error.find(dir.File(c.index) + c.why), std::string::npos) << error;
            }
            if (transaction) {
                ASSERT_EQ(KdbCommitTransaction(connection), 0u) << LastError();
            }
        }
        EXPECT_EQ(ReadFile(path), before);
        // Reading is as before.
        EXPECT_EQ(Query(connection, "SELECT name FROM people ORDER BY id"),
                  (Rows{{"ann"}, {"bob"}}));
        KdbDisconnect(connection);
    }
}

TEST_F(FolderWriteTest, ATableWhoseContainerIsMissingReadsFreeAndIsNotChanged) {
    const std::string path = dir_.File("patients.dbf");
    MakeTable(path, Variant::VisualFoxPro, {{"PATIENT_ID", 'I'}, {"FAMILY_NAM", 'C', 12}},
              {{I(1), T("ann")}, {I(2), T("bob")}});
    kce::WriteContainer(dir_.File("practice.dbc"),
                        {{path, "patients", {"patient_id", "family_name"}}});
    std::filesystem::rename(dir_.File("practice.dbc"), dir_.File("kept.dbc"));
    const std::string before = ReadFile(path);

    uint32_t connection = ConnectFolder(dir_.Path());
    // The stored 10-character names, as a free table.
    EXPECT_EQ(Query(connection, "SELECT family_nam FROM patients ORDER BY patient_id"),
              (Rows{{"ann"}, {"bob"}}));
    const char* statements[] = {"UPDATE patients SET family_nam = 'x'",
                                "INSERT INTO patients (patient_id, family_nam) VALUES (3, 'cy')",
                                "DELETE FROM patients WHERE patient_id = 1"};
    for (bool transaction : {false, true}) {
        if (transaction) {
            ASSERT_EQ(KdbBeginTransaction(connection), 0u);
        }
        for (const char* sql : statements) {
            EXPECT_EQ(TryRun(connection, sql), static_cast<uint32_t>(KDB_ERR_NOT_SUPPORTED)) << sql;
            const std::string error = LastError();
            EXPECT_NE(
                error.find(path +
                           " belongs to the database container practice.dbc, which does not exist"),
                std::string::npos)
                << error;
        }
        if (transaction) {
            ASSERT_EQ(KdbCommitTransaction(connection), 0u) << LastError();
        }
    }
    EXPECT_EQ(ReadFile(path), before);
    KdbDisconnect(connection);

    // With its container back (any letter case) the long names return and writes go through.
    std::filesystem::rename(dir_.File("kept.dbc"), dir_.File("PRACTICE.DBC"));
    connection = ConnectFolder(dir_.Path());
    EXPECT_EQ(Changed(connection, "UPDATE patients SET family_name = 'dee' WHERE patient_id = 2"),
              1u)
        << LastError();
    EXPECT_EQ(Query(connection, "SELECT family_name FROM patients ORDER BY patient_id"),
              (Rows{{"ann"}, {"dee"}}));
    KdbDisconnect(connection);
}

TEST_F(FolderWriteTest, AStructuralIndexIsKeptInStepWithEveryChange) {
    for (Variant variant : {Variant::FoxPro2, Variant::VisualFoxPro}) {
        SCOPED_TRACE(kce::dbf::VariantName(variant));
        TempDir dir;
        const std::string path = dir.File("people.dbf");
        const std::string cdx = dir.File("PEOPLE.CDX");
        MakeTable(path, variant, {{"ID", 'N', 3}, {"NAME", 'C', 8}},
                  {{I(1), T("ann")}, {I(2), T("bob")}, {I(3), T("cy")}});
        MakeCdx(
            path, cdx,
            {{"ID", "ID"}, {"NAME", "UPPER(NAME)", "!DELETED()"}, {"KEY", "STR(ID,3)", "", true}});
        std::string bytes = ReadFile(path);
        bytes[28] = static_cast<char>(bytes[28] | 0x01);  // announces its structural index
        WriteFile(path, bytes);
        uint32_t connection = ConnectFolder(dir.Path());
        const char* statements[] = {"UPDATE people SET name = 'zed' WHERE id = 1",
                                    "INSERT INTO people (id, name) VALUES (4, 'dee'), (0, 'al')",
                                    "DELETE FROM people WHERE id = 2",
                                    "UPDATE people SET id = id + 10"};
        for (const char* sql : statements) {
            EXPECT_EQ(TryRun(connection, sql), 0u) << sql << ": " << LastError();
            CheckCdx(path, cdx);
        }
        ASSERT_EQ(KdbBeginTransaction(connection), 0u);
        EXPECT_EQ(Changed(connection, "DELETE FROM people WHERE id = 10"), 1u);
        EXPECT_EQ(Changed(connection, "INSERT INTO people (id, name) VALUES (99, 'last')"), 1u);
        ASSERT_EQ(KdbCommitTransaction(connection), 0u) << LastError();
        const std::vector<kce::dbf::CdxTag> tags = CheckCdx(path, cdx);
        ASSERT_EQ(tags.size(), 3u);
        EXPECT_EQ(tags[1].name, "KEY");
        EXPECT_EQ(tags[1].entries.size(), 6u);  // deleted records keep their entries
        EXPECT_EQ(tags[2].entries.size(), 4u);  // the live ones
        EXPECT_EQ(Query(connection, "SELECT name FROM people ORDER BY id"),
                  (Rows{{"zed"}, {"cy"}, {"dee"}, {"last"}}));
        KdbDisconnect(connection);
    }
}

TEST_F(FolderWriteTest, IndexFilesOfEveryFormatAreKeptInStepWithEveryChange) {
    struct Case {
        const char* name;
        Variant variant;
        std::vector<const char*> files;  // beside people.dbf
    };
    const Case cases[] = {
        {"single, Clipper and dBase III indexes",
         Variant::DBase3,
         {"people.idx", "PEOPLE.NTX", "people.ndx"}},
        {"a dBase IV production index", Variant::DBase4, {"people.mdx"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir.File("people.dbf");
        MakeTable(path, c.variant, {{"ID", 'N', 3}, {"NAME", 'C', 8}},
                  {{I(1), T("ann")}, {I(2), T("bob")}, {I(3), T("cy")}});
        for (const char* file : c.files) {
            if (std::string(file) == "people.mdx") {
                MakeIndex(path, dir.File(file),
                          {{"ID", "ID", "", true}, {"NAME", "UPPER(NAME)", "ID > 1"}});
            } else if (std::string(file) == "people.ndx") {
                MakeIndex(path, dir.File(file), {{"P", "ID"}});
            } else {
                MakeIndex(path, dir.File(file), {{"P", "UPPER(NAME)+STR(ID,3)"}});
            }
        }
        uint32_t connection = ConnectFolder(dir.Path());
        const char* statements[] = {"UPDATE people SET name = 'zed' WHERE id = 1",
                                    "INSERT INTO people (id, name) VALUES (4, 'dee'), (0, 'al')",
                                    "DELETE FROM people WHERE id = 2",
                                    "UPDATE people SET id = id + 10"};
        for (const char* sql : statements) {
            EXPECT_EQ(TryRun(connection, sql), 0u) << sql << ": " << LastError();
            for (const char* file : c.files) CheckIndex(path, dir.File(file));
        }
        const kce::dbf::IndexFile first = CheckIndex(path, dir.File(c.files.front()));
        EXPECT_EQ(first.tags.front().entries.size(), 5u);  // deleted records keep their entries
        EXPECT_EQ(Query(connection, "SELECT name FROM people ORDER BY id"),
                  (Rows{{"al"}, {"zed"}, {"cy"}, {"dee"}}));
        KdbDisconnect(connection);
    }
}

TEST_F(FolderWriteTest, AStructuralIndexTheReaderDoesNotUnderstandStopsTheChange) {
    const std::string path = dir_.File("people.dbf");
    const std::string cdx = dir_.File("people.cdx");
    MakeTable(path, Variant::VisualFoxPro, {{"ID", 'N', 3}, {"NAME", 'C', 8}}, {{I(1), T("ann")}});
    MakeCdx(path, cdx, {{"NAME", "UPPER(NAME)"}});
    std::string index = ReadFile(cdx);
    index[1024 + 14] = static_cast<char>(index[1024 + 14] | 0x10);  // an option it does not know
    WriteFile(cdx, index);
    const std::string before = ReadFile(path);
    uint32_t connection = ConnectFolder(dir_.Path());
    EXPECT_EQ(TryRun(connection, "UPDATE people SET name = 'x'"),
              static_cast<uint32_t>(KDB_ERR_NOT_SUPPORTED));
    EXPECT_NE(
        LastError().find(
            path + " has the index file " + cdx +
            ", which this program cannot keep in step: tag NAME: index options 0x30 that this "
            "program does not understand; the table was not changed"),
        std::string::npos)
        << LastError();
    EXPECT_EQ(ReadFile(path), before);
    EXPECT_EQ(ReadFile(cdx), index);
    EXPECT_EQ(Query(connection, "SELECT name FROM people"), (Rows{{"ann"}}));
    KdbDisconnect(connection);
}

TEST_F(FolderWriteTest, AnIndexFileThatAppearsBeforeTheCommitStopsIt) {
    MakePeople(dir_.Path());
    MakeTable(dir_.File("other.dbf"), Variant::DBase3, {{"ID", 'N', 3}}, {{I(1)}});
    const std::string people = ReadFile(dir_.File("people.dbf"));
    const std::string other = ReadFile(dir_.File("other.dbf"));
    uint32_t connection = ConnectFolder(dir_.Path());
    ASSERT_EQ(KdbBeginTransaction(connection), 0u);
    EXPECT_EQ(Changed(connection, "UPDATE other SET id = 2"), 1u);
    EXPECT_EQ(Changed(connection, "UPDATE people SET name = 'x'"), 3u);
    WriteFile(dir_.File("people.idx"), "index");
    EXPECT_EQ(KdbCommitTransaction(connection), static_cast<uint32_t>(KDB_ERR_NOT_SUPPORTED));
    EXPECT_NE(LastError().find("people.idx"), std::string::npos) << LastError();
    // Neither table was written, the one without an index file included.
    EXPECT_EQ(ReadFile(dir_.File("people.dbf")), people);
    EXPECT_EQ(ReadFile(dir_.File("other.dbf")), other);
    EXPECT_EQ(Query(connection, "SELECT name FROM people ORDER BY id"),
              (Rows{{"ann"}, {"bob"}, {"cy"}}));
    KdbDisconnect(connection);
}

// The statements of the step-by-step tests, on a FoxPro table with a memo file: each touches the
// table file and the memo file.
struct StepCase {
    const char* name;
    const char* sql;
    Rows after;
};

const Rows kBefore = {{"a", "first memo"}, {"b", "second memo"}, {"c", "NULL"}};

std::vector<StepCase> StepCases() {
    return {
        {"Update",
         "UPDATE t SET notes = 'a longer memo that takes blocks of its own', name = 'x' WHERE name "
         "<> 'c'",
         {{"x", "a longer memo that takes blocks of its own"},
          {"x", "a longer memo that takes blocks of its own"},
          {"c", "NULL"}}},
        {"Insert",
         "INSERT INTO t (name, notes) VALUES ('d', 'new memo'), ('e', NULL)",
         {{"a", "first memo"},
          {"b", "second memo"},
          {"c", "NULL"},
          {"d", "new memo"},
          {"e", "NULL"}}},
        {"Delete", "DELETE FROM t WHERE notes IS NOT NULL", {{"c", "NULL"}}},
    };
}

// The structural index the step cases' table may carry.
const std::vector<kce::dbf::test::TagLayout> kStepTags = {{"NAME", "UPPER(NAME)"},
                                                          {"LIVE", "NAME", "!DELETED()"}};

// The index files of the step tests' table: a compound index, a Clipper and a single index.
const char* const kStepIndexes[] = {"t.cdx", "t.ntx", "t.idx"};

void MakeStepIndexes(const TempDir& dir) {
    MakeCdx(dir.File("t.dbf"), dir.File("t.cdx"), kStepTags);
    MakeIndex(dir.File("t.dbf"), dir.File("t.ntx"), {{"T", "NAME", "!DELETED()"}});
    MakeIndex(dir.File("t.dbf"), dir.File("t.idx"), {{"T", "UPPER(NAME)"}}, false);
}

std::vector<std::string> StepIndexBytes(const TempDir& dir, bool indexed) {
    std::vector<std::string> bytes;
    if (indexed) {
        for (const char* file : kStepIndexes) bytes.push_back(ReadFile(dir.File(file)));
    }
    return bytes;
}

void CheckStepIndexes(const TempDir& dir) {
    for (const char* file : kStepIndexes) CheckIndex(dir.File("t.dbf"), dir.File(file));
}

void MakeMemoTable(const std::string& folder) {
    MakeTable(folder + "/t.dbf", Variant::FoxPro2, {{"NAME", 'C', 4}, {"NOTES", 'M'}},
              {{T("a"), T("first memo")}, {T("b"), T("second memo")}, {T("c"), N()}});
}

// Runs sql on a new folder connection inside this process, through the engine's own runtime, with
// `hook` called before each step of the file change.
void RunWithHook(const std::string& folder, const std::string& sql, kce::WriteFaultHook hook) {
    auto connection = std::make_shared<kce::Connection>();
    connection->database = kce::Database::OpenFolder(folder);
    kce::PrepareConnection(connection->database->Db());
    auto statement = std::make_shared<kce::Statement>();
    statement->connection = connection;
    kce::PrepareStatement(*statement, sql);
    kce::SetWriteFaultHook(std::move(hook));
    try {
        kce::ExecuteStatement(statement);
    } catch (...) {
        kce::SetWriteFaultHook({});
        throw;
    }
    kce::SetWriteFaultHook({});
}

Rows Contents(const std::string& folder) {
    uint32_t connection = ConnectFolder(folder);
    Rows rows = QueryWithNulls(connection, "SELECT name, notes FROM t");
    KdbDisconnect(connection);
    return rows;
}

class FolderSteps : public testing::TestWithParam<StepCase> {
protected:
    void SetUp() override { ASSERT_EQ(KdbShowDeleted(0), 0u); }
    void TearDown() override { KdbShowDeleted(0); }  // the engine's default
};

TEST_P(FolderSteps, AKillAtAnyStepLeavesTheTableWholeBeforeOrAfter) {
    const StepCase& c = GetParam();
    for (bool indexed : {false, true}) {
        SCOPED_TRACE(indexed ? "with index files of three formats" : "without an index");
        bool sawBefore = false;
        for (int stop = 0;; ++stop) {
            ASSERT_LT(stop, 200) << "the statement never finished";
            TempDir dir;
            MakeMemoTable(dir.Path());
            if (indexed) MakeStepIndexes(dir);
            const std::vector<std::string> index = StepIndexBytes(dir, indexed);
            pid_t child = ::fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                int step = 0;
                try {
                    RunWithHook(dir.Path(), c.sql, [&](std::string_view) {
                        if (step++ == stop) ::_exit(3);
                    });
                } catch (...) {
                    ::_exit(4);
                }
                ::_exit(0);
            }
            int status = 0;
            ASSERT_EQ(::waitpid(child, &status, 0), child);
            ASSERT_TRUE(WIFEXITED(status));
            ASSERT_NE(WEXITSTATUS(status), 4) << "the statement failed at step " << stop;
            Rows rows = Contents(dir.Path());
            if (indexed && rows == kBefore) {
                EXPECT_TRUE(StepIndexBytes(dir, true) == index) << "killed at step " << stop;
            }
            if (indexed && rows != kBefore) CheckStepIndexes(dir);
            if (WEXITSTATUS(status) == 0) {
                EXPECT_EQ(rows, c.after) << "finished";
                EXPECT_TRUE(sawBefore);
                break;
            }
            EXPECT_TRUE(rows == kBefore || rows == c.after) << "killed at step " << stop;
            sawBefore = sawBefore || rows == kBefore;
        }
    }
}

TEST_P(FolderSteps, AFailedWriteAtAnyStepChangesNothingAndIsReported) {
    const StepCase& c = GetParam();
    for (bool indexed : {false, true}) {
        SCOPED_TRACE(indexed ? "with index files of three formats" : "without an index");
        for (int stop = 0;; ++stop) {
            ASSERT_LT(stop, 200) << "the statement never finished";
            TempDir dir;
            MakeMemoTable(dir.Path());
            if (indexed) MakeStepIndexes(dir);
            const std::vector<std::string> index = StepIndexBytes(dir, indexed);
            const std::string table = ReadFile(dir.File("t.dbf"));
            const std::string memo = ReadFile(dir.File("t.fpt"));
            int step = 0;
            bool failed = false;
            try {
                RunWithHook(dir.Path(), c.sql, [&](std::string_view) {
                    if (step++ == stop) throw std::runtime_error("no space left on the device");
                });
            } catch (const std::exception&) {
                failed = true;
            }
            if (!failed) {
                EXPECT_EQ(Contents(dir.Path()), c.after);
                if (indexed) CheckStepIndexes(dir);
                break;
            }
            EXPECT_EQ(Contents(dir.Path()), kBefore) << "failed at step " << stop;
            EXPECT_EQ(ReadFile(dir.File("t.dbf")), table) << "failed at step " << stop;
            EXPECT_EQ(ReadFile(dir.File("t.fpt")), memo) << "failed at step " << stop;
            if (indexed) {
                EXPECT_TRUE(StepIndexBytes(dir, true) == index) << "failed at step " << stop;
            }
        }
    }
}

// A real full disk under a folder table: the statement that needs more room fails with a message
// that names the file and says the disk is full, the table and memo files stay byte for byte, and
// once there is room again the same statement runs.
TEST_F(FolderWriteTest, FullDiskFailsTheStatementAndLeavesTheFilesAsTheyWere) {
    parvell::faults::SmallDisk disk(256 * 1024);
    if (!disk.Mounted()) GTEST_SKIP() << "no tmpfs can be mounted here";
    MakeMemoTable(disk.Path());
    const std::string table = ReadFile(disk.File("t.dbf"));
    const std::string memo = ReadFile(disk.File("t.fpt"));
    // Ballast takes all but a few kilobytes of the disk.
    {
        const int fd = ::open(disk.File("ballast").c_str(), O_WRONLY | O_CREAT, 0600);
        ASSERT_GE(fd, 0);
        const std::string block(4096, 'b');
        while (::write(fd, block.data(), block.size()) == static_cast<ssize_t>(block.size())) {
        }
        ASSERT_EQ(::ftruncate(fd, ::lseek(fd, 0, SEEK_CUR) - 8 * 1024), 0);
        ::close(fd);
    }
    const std::string update =
        "UPDATE t SET notes = '" + std::string(60000, 'm') + "' WHERE name <> 'c'";
    uint32_t connection = ConnectFolder(disk.Path());
    EXPECT_NE(TryRun(connection, update), 0u);
    const std::string error = LastError();
    EXPECT_NE(error.find("No space left on device"), std::string::npos) << error;
    EXPECT_NE(error.find(disk.Path() + "/t."), std::string::npos)
        << "the file at fault is named: " << error;
    EXPECT_EQ(QueryWithNulls(connection, "SELECT name, notes FROM t"), kBefore);
    KdbDisconnect(connection);
    EXPECT_EQ(ReadFile(disk.File("t.dbf")), table);
    EXPECT_EQ(ReadFile(disk.File("t.fpt")), memo);

    ::unlink(disk.File("ballast").c_str());
    connection = ConnectFolder(disk.Path());
    EXPECT_EQ(TryRun(connection, update), 0u) << LastError();
    EXPECT_EQ(QueryWithNulls(connection, "SELECT count(*) FROM t WHERE Length(notes) = 60000"),
              (Rows{{"2"}}));
    KdbDisconnect(connection);
}

void PrintTo(const StepCase& c, std::ostream* os) {
    *os << c.name;
}

INSTANTIATE_TEST_SUITE_P(Statements, FolderSteps, testing::ValuesIn(StepCases()),
                         [](const testing::TestParamInfo<StepCase>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
