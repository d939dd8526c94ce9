// A dictionary under faults and misuse: a full disk and a killed process during a change leave
// each statement done whole or not at all; a slow statement stops at its time-out; passwords are
// kept only as slow salted hashes; parameter values are data, never SQL.
#include <sqlite3.h>
#include <sys/resource.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <stdexcept>
#include <thread>

#include "tests/kce/KceSupport.h"
#include "tests/support/SmallDisk.h"
#include "tests/support/WriteFaults.h"

namespace {

using namespace kcetest;
using parvell::faults::RunAndKill;
using parvell::faults::SmallDisk;

// Runs a statement with one text parameter; returns the result code.
uint32_t RunWithText(uint32_t connection, const char* sql, const std::string& text) {
    uint32_t statement = 0;
    EXPECT_EQ(KdbCreateSQLStatement(connection, &statement), 0u) << LastError();
    EXPECT_EQ(KdbPrepareSQL(statement, sql), 0u) << LastError();
    KdbSetString(statement, 1, text.data(), static_cast<uint32_t>(text.size()));
    uint32_t cursor = 0;
    const uint32_t rc = KdbExecuteSQL(statement, &cursor);
    if (cursor != 0) KdbCloseTable(cursor);
    KdbCloseSQLStatement(statement);
    return rc;
}

std::string IntegrityOf(const std::string& path) {
    sqlite3* db = nullptr;
    std::string result = "cannot open";
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &stmt, nullptr);
        if (sqlite3_step(stmt) == SQLITE_ROW)
            result = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return result;
}

// A dictionary at `path` with table t of 2^doublings rows, each with v = 0 and 200 bytes of pad.
void MakeTableOfZeros(const std::string& path, int doublings) {
    const uint32_t connection = CreateDictionary(path);
    RunSql(connection, "CREATE TABLE t (n INTEGER, v INTEGER, pad CHAR(200))");
    RunSql(connection, "INSERT INTO t (n, v, pad) VALUES (0, 0, 'x')");
    for (int i = 0; i < doublings; ++i)
        RunSql(connection, "INSERT INTO t (n, v, pad) SELECT n + 1, 0, pad FROM t");
    KdbDisconnect(connection);
}

TEST(DictionaryFaultTest, FullDiskFailsTheStatementWholeAndKeepsEarlierRows) {
    SmallDisk disk(384 * 1024);
    if (!disk.Mounted()) GTEST_SKIP() << "no tmpfs can be mounted here";
    const std::string path = disk.File("full.kdd");
    uint32_t connection = CreateDictionary(path);
    RunSql(connection, "CREATE TABLE notes (n INTEGER, note MEMO)");
    const std::string note(20000, 'x');
    int stored = 0;
    uint32_t rc = 0;
    for (; stored < 100; ++stored) {
        const std::string sql =
            "INSERT INTO notes (n, note) VALUES (" + std::to_string(stored) + ", :t)";
        rc = RunWithText(connection, sql.c_str(), note);
        if (rc != 0) break;
    }
    ASSERT_NE(rc, 0u) << "the disk never filled";
    EXPECT_EQ(rc, uint32_t(KDB_ERR_STORAGE));
    EXPECT_NE(LastError().find("full"), std::string::npos) << LastError();
    // A statement of many rows fails whole too.
    EXPECT_NE(TryRun(connection, "UPDATE notes SET note = note + note"), 0u);
    EXPECT_EQ(
        Query(connection,
              "SELECT count(*), min(n), max(n), min(Length(note)), max(Length(note)) FROM notes"),
        (std::vector<std::vector<std::string>>{
            {std::to_string(stored), "0", std::to_string(stored - 1), "20000", "20000"}}));
    KdbDisconnect(connection);
    EXPECT_EQ(IntegrityOf(path), "ok");
    connection = ConnectUser(path);
    EXPECT_EQ(Query(connection, "SELECT count(*) FROM notes"),
              (std::vector<std::vector<std::string>>{{std::to_string(stored)}}));
    KdbDisconnect(connection);
}

// A process killed while its UPDATE rewrites every row: the next connection sees all rows with
// the old value or all with the new one, never a mixture.
TEST(DictionaryFaultTest, KilledDuringAnUpdateLeavesEachStatementWholeOrUndone) {
    TempDir dir;
    const std::string path = dir.File("kill.kdd");
    MakeTableOfZeros(path, 13);

    for (const int delayMs : {5, 40, 150, 400}) {
        const bool killed = RunAndKill(
            [&] {
                uint32_t child = 0;
                if (KdbConnect60(path.c_str(), 3, "user", "secret", 0, &child) != 0) ::_exit(2);
                for (int k = 1;; ++k) TryRun(child, "UPDATE t SET v = " + std::to_string(k));
            },
            [&] { std::this_thread::sleep_for(std::chrono::milliseconds(delayMs)); });
        EXPECT_TRUE(killed) << delayMs;
        const uint32_t connection = ConnectUser(path);
        const auto rows = Query(connection, "SELECT count(*), count(DISTINCT v) FROM t");
        EXPECT_EQ(rows, (std::vector<std::vector<std::string>>{{"8192", "1"}})) << delayMs;
        KdbDisconnect(connection);
        EXPECT_EQ(IntegrityOf(path), "ok") << delayMs;
    }
}

// An UPDATE whose writes fail at every point of the database and its journal: each failed run
// reports the failure and the next connection sees every row unchanged; the run that gets through
// changed them all. The file stays sound throughout.
TEST(DictionaryFaultTest, AChangeFailingAnywhereIsWholeOrUndone) {
    TempDir dir;
    const std::string pristine = dir.File("pristine.kdd");
    const std::string path = dir.File("limited.kdd");
    MakeTableOfZeros(pristine, 9);

    const int failed = parvell::faults::ForEachFailedWrite({
        .prepare =
            [&] {
                for (const char* suffix : {"", "-journal", "-wal", "-shm"})
                    std::filesystem::remove(path + suffix);
                std::filesystem::copy_file(pristine, path);
            },
        .write =
            [&] {
                uint32_t child = 0;
                if (KdbConnect60(path.c_str(), 3, "user", "secret", 0, &child) != 0)
                    throw std::runtime_error("connect");
                if (TryRun(child, "UPDATE t SET v = v + 1") != 0)
                    throw std::runtime_error("update");
                KdbDisconnect(child);
            },
        .check =
            [&](parvell::faults::WriteOutcome outcome, off_t limit) {
                const std::string v =
                    outcome == parvell::faults::WriteOutcome::Succeeded ? "1" : "0";
                const uint32_t after = ConnectUser(path);
                EXPECT_EQ(Query(after, "SELECT count(*), min(v), max(v) FROM t"),
                          (std::vector<std::vector<std::string>>{{"512", v, v}}))
                    << limit;
                KdbDisconnect(after);
                EXPECT_EQ(IntegrityOf(path), "ok") << limit;
            },
        .step = 4096,
    });
    EXPECT_GT(failed, 5);
}

TEST(DictionaryTimeoutTest, SlowStatementStopsAtItsTimeoutAndSaysSo) {
    TempDir dir;
    uint32_t connection = CreateDictionary(dir.File("slow.kdd"));
    RunSql(connection, "CREATE TABLE t (n INTEGER)");
    RunSql(connection, "INSERT INTO t (n) VALUES (1)");
    for (int i = 0; i < 11; ++i) RunSql(connection, "INSERT INTO t (n) SELECT n + 1 FROM t");
    // 2048 rows cubed: billions of combinations, far longer than the time-out.
    const std::string slow = "SELECT count(*) FROM t a, t b, t c WHERE a.n + b.n = c.n";

    // The connection's time-out, and a statement's own one that overrides it.
    ASSERT_EQ(KdbSetSQLTimeout(connection, 1), 0u);
    EXPECT_EQ(TryRun(connection, slow), uint32_t(KDB_ERR_SQL));
    std::string text = LastError();
    EXPECT_NE(text.find("NativeError = " + std::to_string(KDB_SQL_TIMEOUT)), std::string::npos)
        << text;
    EXPECT_NE(text.find("time-out of 1 seconds"), std::string::npos) << text;

    ASSERT_EQ(KdbSetSQLTimeout(connection, 0), 0u);
    uint32_t statement = 0;
    ASSERT_EQ(KdbCreateSQLStatement(connection, &statement), 0u);
    ASSERT_EQ(KdbSetSQLTimeout(statement, 1), 0u);
    uint32_t cursor = 0;
    EXPECT_EQ(KdbExecuteSQLDirect(statement, slow.c_str(), &cursor), uint32_t(KDB_ERR_SQL));
    EXPECT_EQ(cursor, 0u);
    // The statement and the connection stay usable.
    EXPECT_EQ(KdbExecuteSQLDirect(statement, "SELECT count(*) FROM t", &cursor), 0u) << LastError();
    EXPECT_EQ(AllRows(cursor), (std::vector<std::vector<std::string>>{{"2048"}}));
    KdbCloseSQLStatement(statement);
    // A change stopped by its time-out changes nothing.
    ASSERT_EQ(KdbSetSQLTimeout(connection, 1), 0u);
    EXPECT_EQ(
        TryRun(
            connection,
            "UPDATE t SET n = 0 WHERE n IN (SELECT a.n FROM t a, t b, t c WHERE a.n + b.n = c.n)"),
        uint32_t(KDB_ERR_SQL));
    EXPECT_EQ(Query(connection, "SELECT min(n), max(n) FROM t"),
              (std::vector<std::vector<std::string>>{{"1", "12"}}));
    KdbDisconnect(connection);
}

// Peak resident memory of this process in kB (VmHWM), 0 where it cannot be read.
long PeakResidentKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
    }
    return 0;
}

// A result far larger than the memory limit is read to its end with memory that does not grow
// with it: measured in a child process so that the test's own earlier allocations do not count.
TEST(DictionaryResultMemoryTest, ResultFarAboveTheLimitIsReadWithBoundedMemory) {
    TempDir dir;
    const std::string path = dir.File("big.kdd");
    uint32_t connection = CreateDictionary(path);
    RunSql(connection, "CREATE TABLE wide (n INTEGER, pad CHAR(250))");
    RunSql(connection, "INSERT INTO wide (n, pad) VALUES (1, 'x')");
    for (int i = 0; i < 9; ++i)
        RunSql(connection, "INSERT INTO wide (n, pad) SELECT n + 1, pad FROM wide");
    KdbDisconnect(connection);

    int report[2];
    ASSERT_EQ(::pipe(report), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(report[0]);
        setenv("KCE_RESULT_MEMORY", "1000000", 1);
        uint32_t c = 0;
        if (KdbConnect60(path.c_str(), 3, "user", "secret", 0, &c) != 0) ::_exit(2);
        // Start the peak from the present: the parent's earlier peak is inherited.
        std::ofstream("/proc/self/clear_refs") << "5";
        const long before = PeakResidentKb();
        // 512 x 512 rows of over 250 bytes: about 70 MB of result against a limit of 1 MB.
        uint32_t statement = 0;
        uint32_t cursor = 0;
        KdbCreateSQLStatement(c, &statement);
        if (KdbExecuteSQLDirect(statement, "SELECT a.n, b.n, a.pad FROM wide a, wide b", &cursor) !=
            0)
            ::_exit(3);
        uint32_t count = 0;
        KdbGetRecordCount(cursor, 2, &count);
        long seen = 0;
        uint16_t eof = 0;
        char text[300];
        for (KdbAtEOF(cursor, &eof); !eof; KdbAtEOF(cursor, &eof)) {
            uint32_t len = sizeof text;
            if (KdbGetField(cursor, 3, text, &len, 0) == 0) ++seen;
            KdbSkip(cursor, 1);
        }
        const long growth = PeakResidentKb() - before;
        const long figures[3] = {static_cast<long>(count), seen, growth};
        if (::write(report[1], figures, sizeof figures) != sizeof figures) ::_exit(4);
        ::_exit(0);
    }
    ::close(report[1]);
    long figures[3] = {0, 0, 0};
    const bool read = ::read(report[0], figures, sizeof figures) == sizeof figures;
    ::close(report[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(read) << "child ended with status " << status;
    EXPECT_EQ(figures[0], 512 * 512);
    EXPECT_EQ(figures[1], 512 * 512);
#if defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer keeps freed memory in quarantine and adds its shadow memory, so the peak is
    // not the program's own there; the normal build checks the bound.
    constexpr bool kPeakIsTheProgramsOwn = false;
#else
    constexpr bool kPeakIsTheProgramsOwn = true;
#endif
    // Loose bound: the result would need about 70 MB in memory.
    if (kPeakIsTheProgramsOwn) {
        EXPECT_LT(figures[2], 30 * 1024) << "peak resident memory grew by " << figures[2] << " kB";
    }
    std::cout << "result memory: peak resident growth " << figures[2] << " kB for 512x512 rows\n";
}

TEST(DictionarySecurityTest, PasswordsAreKeptOnlyAsSaltedSlowHashes) {
    TempDir dir;
    const std::string path = dir.File("users.kdd");
    uint32_t connection = CreateDictionary(path);
    ASSERT_EQ(KdbDDCreateUser(connection, "second", "secret", ""), 0u) << LastError();
    KdbDisconnect(connection);

    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt* stmt = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT name, hash FROM kdd_users", -1, &stmt, nullptr),
              SQLITE_OK);
    std::map<std::string, std::string> hashes;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        hashes[reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0))] =
            reinterpret_cast<const char*>(sqlite3_column_text(stmt, 1));
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    ASSERT_EQ(hashes.size(), 3u);
    for (const auto& [name, hash] : hashes) {
        // A memory-hard hash with its parameters and salt in the stored text.
        EXPECT_EQ(hash.rfind("$argon2id$", 0), 0u) << name << ": " << hash;
        EXPECT_NE(hash.find("m=65536"), std::string::npos) << hash;
        EXPECT_EQ(hash.find("secret"), std::string::npos) << name;
        EXPECT_EQ(hash.find("adminpw"), std::string::npos) << name;
    }
    // The same password gives different stored texts: each has its own salt.
    EXPECT_NE(hashes["user"], hashes["second"]);

    // The whole file holds neither password in the clear.
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(bytes.find("secret"), std::string::npos);
    EXPECT_EQ(bytes.find("adminpw"), std::string::npos);
}

// Texts that would change the statement if they were spliced into it are stored as they are.
TEST(DictionarySecurityTest, ParameterValuesAreDataNeverSql) {
    TempDir dir;
    uint32_t connection = CreateDictionary(dir.File("bind.kdd"));
    RunSql(connection, "CREATE TABLE p (name CHAR(60))");
    const std::string values[] = {
        "x'); DROP TABLE p; --", "' OR '1'='1", ":other", "%s%n%x", "a\"b\\c",
    };
    for (const std::string& value : values) {
        EXPECT_EQ(RunWithText(connection, "INSERT INTO p (name) VALUES (:v)", value), 0u)
            << LastError();
    }
    EXPECT_EQ(Query(connection, "SELECT count(*) FROM p"),
              (std::vector<std::vector<std::string>>{{"5"}}));
    for (const std::string& value : values) {
        uint32_t statement = 0;
        ASSERT_EQ(KdbCreateSQLStatement(connection, &statement), 0u);
        ASSERT_EQ(KdbPrepareSQL(statement, "SELECT name FROM p WHERE name = :v"), 0u)
            << LastError();
        KdbSetString(statement, 1, value.data(), static_cast<uint32_t>(value.size()));
        uint32_t cursor = 0;
        ASSERT_EQ(KdbExecuteSQL(statement, &cursor), 0u) << LastError();
        EXPECT_EQ(AllRows(cursor), (std::vector<std::vector<std::string>>{{value}})) << value;
        KdbCloseSQLStatement(statement);
    }
    KdbDisconnect(connection);
}

}  // namespace
