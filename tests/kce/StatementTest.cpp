// Statements: each kind, affected rows, all-or-nothing changes, parameters, SQL errors, fuzzing.
#include <sqlite3.h>

#include <chrono>
#include <random>

#include "tests/common/SqlParameterCases.h"
#include "tests/kce/KceSupport.h"

namespace {

using namespace kcetest;
using Rows = std::vector<std::vector<std::string>>;

class StatementTest : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = dir_.File("data.kdd");
        connection_ = CreateDictionary(path_);
        RunSql(connection_,
               "CREATE TABLE people (id INTEGER NOT NULL, name CHAR(20), balance NUMERIC(10,2))");
        EXPECT_EQ(
            Changed(
                connection_,
                "INSERT INTO people (id, name, balance) VALUES (1, 'Ann', 10.5), (2, 'Bob', 0), "
                "(3, 'Cy', -2.25)"),
            3u);
    }
    void TearDown() override { KdbDisconnect(connection_); }

    TempDir dir_;
    std::string path_;
    uint32_t connection_ = 0;
};

TEST_F(StatementTest, EachKindRunsAndReportsAffectedRows) {
    EXPECT_EQ(Changed(connection_, "UPDATE people SET balance = balance + 1 WHERE id >= 2"), 2u);
    EXPECT_EQ(Changed(connection_, "DELETE FROM people WHERE name = 'Bob'"), 1u);
    EXPECT_EQ(Changed(connection_, "UPDATE people SET name = 'x' WHERE id = 99"), 0u);
    EXPECT_EQ(Query(connection_, "SELECT id, name, balance FROM people ORDER BY id"),
              (Rows{{"1", "Ann", "     10.50"}, {"3", "Cy", "     -1.25"}}));

    // A query reports no affected rows: 5117.
    uint32_t statement = 0;
    uint32_t cursor = 0;
    uint32_t count = 0;
    ASSERT_EQ(KdbCreateSQLStatement(connection_, &statement), 0u);
    ASSERT_EQ(KdbExecuteSQLDirect(statement, "SELECT * FROM people", &cursor), 0u) << LastError();
    EXPECT_NE(cursor, 0u);
    EXPECT_EQ(KdbGetRecordCount(statement, 2, &count), uint32_t(KDB_ERR_NOT_AN_UPDATE));
    EXPECT_EQ(KdbGetRecordCount(cursor, 2, &count), 0u);
    EXPECT_EQ(count, 2u);
    // The cursor outlives its statement.
    EXPECT_EQ(KdbCloseSQLStatement(statement), 0u);
    EXPECT_EQ(FieldText(cursor, 2, 2), "Ann");
    EXPECT_EQ(KdbCloseTable(cursor), 0u);

    RunSql(connection_, "DROP TABLE people");
    EXPECT_EQ(TryRun(connection_, "SELECT * FROM people"), uint32_t(KDB_ERR_SQL));
}

TEST_F(StatementTest, TablesStayReadableWithPlainSqlite) {
    KdbDisconnect(connection_);
    connection_ = 0;
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(path_.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt* stmt = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT id, name, balance FROM people ORDER BY id", -1, &stmt,
                                 nullptr),
              SQLITE_OK)
        << sqlite3_errmsg(db);
    ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(stmt, 0), 1);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 1)), "Ann");
    EXPECT_EQ(sqlite3_column_double(stmt, 2), 10.5);
    sqlite3_finalize(stmt);
    sqlite3_close(db);
}

TEST_F(StatementTest, FailingChangeLeavesEveryRowAsItWas) {
    // The third row breaks NOT NULL only while the statement runs: nothing may stay changed.
    uint32_t rc = TryRun(
        connection_, "UPDATE people SET balance = 0, id = CASE WHEN id = 3 THEN NULL ELSE id END");
    EXPECT_EQ(rc, uint32_t(KDB_ERR_SQL)) << LastError();
    EXPECT_NE(LastError().find("NativeError = "), std::string::npos);
    EXPECT_EQ(Query(connection_, "SELECT id, balance FROM people ORDER BY id"),
              (Rows{{"1", "     10.50"}, {"2", "      0.00"}, {"3", "     -2.25"}}));

    // Inside an explicit transaction the failed statement is undone alone; rollback undoes the
    // rest.
    ASSERT_EQ(KdbBeginTransaction(connection_), 0u);
    EXPECT_EQ(Changed(connection_, "DELETE FROM people WHERE id = 1"), 1u);
    EXPECT_EQ(TryRun(connection_, "UPDATE people SET id = CASE WHEN id = 3 THEN NULL ELSE id END"),
              uint32_t(KDB_ERR_SQL));
    uint16_t inTransaction = 0;
    EXPECT_EQ(KdbInTransaction(connection_, &inTransaction), 0u);
    EXPECT_EQ(inTransaction, 1);
    EXPECT_EQ(Query(connection_, "SELECT id FROM people ORDER BY id"), (Rows{{"2"}, {"3"}}));
    EXPECT_EQ(KdbRollbackTransaction(connection_), 0u);
    EXPECT_EQ(Query(connection_, "SELECT id FROM people ORDER BY id"), (Rows{{"1"}, {"2"}, {"3"}}));
    EXPECT_EQ(KdbCommitTransaction(connection_), uint32_t(KDB_ERR_TRANSACTION));
}

TEST_F(StatementTest, CreateTableIsUndoneWithItsTransaction) {
    ASSERT_EQ(KdbBeginTransaction(connection_), 0u);
    RunSql(connection_, "CREATE TABLE scratch (a INTEGER)");
    EXPECT_EQ(Changed(connection_, "INSERT INTO scratch (a) VALUES (1)"), 1u);
    ASSERT_EQ(KdbRollbackTransaction(connection_), 0u);
    EXPECT_EQ(TryRun(connection_, "SELECT a FROM scratch"), uint32_t(KDB_ERR_SQL));
    RunSql(connection_, "CREATE TABLE scratch (a INTEGER)");
    EXPECT_EQ(Query(connection_, "SELECT count(*) FROM scratch"), (Rows{{"0"}}));
}

TEST_F(StatementTest, ParametersBindByPositionOfFirstAppearance) {
    uint32_t statement = 0;
    ASSERT_EQ(KdbCreateSQLStatement(connection_, &statement), 0u);
    ASSERT_EQ(
        KdbPrepareSQL(statement,
                      "SELECT name FROM people WHERE id = :id OR id = :id + :step ORDER BY id"),
        0u)
        << LastError();
    EXPECT_EQ(KdbSetLong(statement, 1, 1), 0u);
    EXPECT_EQ(KdbSetLong(statement, 2, 2), 0u);
    EXPECT_EQ(KdbSetLong(statement, 3, 0), uint32_t(KDB_ERR_PARAMETER_NUMBER));
    uint32_t cursor = 0;
    ASSERT_EQ(KdbExecuteSQL(statement, &cursor), 0u) << LastError();
    EXPECT_EQ(AllRows(cursor), (Rows{{"Ann"}, {"Cy"}}));
    // A parameter set empty is NULL, which matches nothing.
    EXPECT_EQ(KdbSetEmpty(statement, 1), 0u);
    ASSERT_EQ(KdbExecuteSQL(statement, &cursor), 0u) << LastError();
    EXPECT_EQ(AllRows(cursor), Rows{});

    ASSERT_EQ(KdbPrepareSQL(statement, "UPDATE people SET name = :n WHERE id = :i"), 0u)
        << LastError();
    EXPECT_EQ(KdbSetString(statement, 1, "Dee\xE9", 4), 0u);
    EXPECT_EQ(KdbSetLong(statement, 2, 2), 0u);
    ASSERT_EQ(KdbExecuteSQL(statement, &cursor), 0u) << LastError();
    EXPECT_EQ(cursor, 0u);
    uint32_t count = 0;
    EXPECT_EQ(KdbGetRecordCount(statement, 2, &count), 0u);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(Query(connection_, "SELECT name FROM people WHERE id = 2"), (Rows{{"Dee\xE9"}}));
    KdbCloseSQLStatement(statement);

    uint32_t fresh = 0;
    ASSERT_EQ(KdbCreateSQLStatement(connection_, &fresh), 0u);
    EXPECT_EQ(KdbExecuteSQL(fresh, &cursor), uint32_t(KDB_ERR_NO_SQL));
    KdbCloseSQLStatement(fresh);
}

TEST_F(StatementTest, ParameterListAndCompiledStatementAgreeOnEveryPosition) {
    for (const parvell::testing::SqlParameterCase& c : parvell::testing::SqlParameterCases()) {
        std::string joined;
        for (size_t i = 0; i < c.names.size(); ++i) joined += (i > 0 ? ";" : "") + c.names[i];
        char buf[200];
        uint32_t len = sizeof buf;
        ASSERT_EQ(KdbGetSQLStmtParams(c.sql, buf, &len), 0u) << c.sql;
        EXPECT_EQ(std::string(buf), joined) << c.sql;
        if (c.rows < 0) continue;

        uint32_t statement = 0;
        uint32_t cursor = 0;
        ASSERT_EQ(KdbCreateSQLStatement(connection_, &statement), 0u);
        ASSERT_EQ(KdbPrepareSQL(statement, c.sql), 0u) << c.sql << ": " << LastError();
        for (size_t i = 0; i < c.values.size(); ++i) {
            const std::string& value = c.values[i];
            EXPECT_EQ(
                KdbSetString(statement, uint16_t(i + 1), value.c_str(), uint32_t(value.size())), 0u)
                << c.sql << ": " << LastError();
        }
        // The statement has no position beyond the list; binding nothing there is harmless.
        const auto beyond = uint16_t(c.names.size() + 1);
        EXPECT_EQ(KdbSetString(statement, beyond, "1", 1), uint32_t(KDB_ERR_PARAMETER_NUMBER))
            << c.sql;
        EXPECT_EQ(KdbSetEmpty(statement, beyond), 0u) << c.sql;
        ASSERT_EQ(KdbExecuteSQL(statement, &cursor), 0u) << c.sql << ": " << LastError();
        EXPECT_EQ(AllRows(cursor).size(), size_t(c.rows)) << c.sql;
        KdbCloseSQLStatement(statement);
    }
}

TEST_F(StatementTest, SqlErrorsCarryTheMarkersAndNameTheFault) {
    struct Case {
        const char* sql;
        int native;
        const char* named;
    };
    const Case cases[] = {
        {"SELEC id FROM people", 2101, "SELEC"},
        {"SELECT id FROM patients", 2103, "patients"},
        {"SELECT idd FROM people", 2104, "idd"},
        {"SELECT id FROM people WHERE name = 'open", 2102, "line 1"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TryRun(connection_, c.sql), uint32_t(KDB_ERR_SQL)) << c.sql;
        std::string text = LastError();
        EXPECT_NE(text.find("Error 7200:"), std::string::npos) << text;
        EXPECT_NE(text.find("NativeError = " + std::to_string(c.native) + ";"), std::string::npos)
            << text;
        EXPECT_NE(text.find(c.named), std::string::npos) << text;
    }
}

// Long chains of one operator run however long the engine's parser lets them be (SQLite's parser
// has room for only about a hundred pending parentheses); nesting beyond what SQLite can parse
// is refused as nested too deeply, not with SQLite's own words.
TEST_F(StatementTest, LongChainsRunAndNestingBeyondSqliteIsRefused) {
    constexpr int kTerms = 115;
    auto chain = [](const std::string& term, const std::string& op) {
        std::string text = term;
        for (int i = 1; i < kTerms; ++i) text += " " + op + " " + term;
        return text;
    };
    EXPECT_EQ(Query(connection_, "SELECT " + chain("'x'", "||") + " FROM people WHERE id = 1"),
              (Rows{{std::string(kTerms, 'x')}}));
    EXPECT_EQ(Query(connection_, "SELECT " + chain("1", "+") + ", " + chain("2", "-") + ", " +
                                     chain("1", "*") + " FROM people WHERE id = 1"),
              (Rows{{std::to_string(kTerms), std::to_string(2 - 2 * (kTerms - 1)), "1"}}));
    EXPECT_EQ(Query(connection_,
                    "SELECT id FROM people WHERE " + chain("id > 1", "AND") + " ORDER BY id"),
              (Rows{{"2"}, {"3"}}));
    EXPECT_EQ(Query(connection_, "SELECT id FROM people WHERE " + chain("id < 2", "OR")),
              (Rows{{"1"}}));

    std::string deep = "SELECT ";
    for (int i = 0; i < 20; ++i) deep += "1 + 2 * -(";
    deep += "1" + std::string(20, ')') + " FROM people";
    EXPECT_EQ(TryRun(connection_, deep), uint32_t(KDB_ERR_SQL));
    const std::string text = LastError();
    EXPECT_NE(text.find("NativeError = 2111;"), std::string::npos) << text;
    EXPECT_NE(text.find("Statement nested too deeply."), std::string::npos) << text;
}

TEST_F(StatementTest, ApplicationIdRoundTripsThroughProcedures) {
    uint32_t statement = 0;
    ASSERT_EQ(KdbCreateSQLStatement(connection_, &statement), 0u);
    ASSERT_EQ(KdbPrepareSQL(statement, "execute procedure sp_setapplicationid(:FAppID)"), 0u)
        << LastError();
    ASSERT_EQ(KdbSetString(statement, 1, "Parvell", 7), 0u);
    uint32_t cursor = 0;
    ASSERT_EQ(KdbExecuteSQL(statement, &cursor), 0u) << LastError();
    EXPECT_EQ(cursor, 0u);
    KdbCloseSQLStatement(statement);
    EXPECT_EQ(Query(connection_, "execute procedure sp_getapplicationid( )"), (Rows{{"Parvell"}}));
}

// Random and mutated statements end in an SQL error or run; never a crash or a hang.
TEST_F(StatementTest, MalformedStatementsEndInSqlErrors) {
    KdbSetSQLTimeout(connection_, 2);
    const std::vector<std::string> seeds = {
        "SELECT id, name FROM people WHERE balance > 0 ORDER BY name",
        "SELECT Trim(name) + ' ' + Upper(name) n, count(*) FROM people GROUP BY name HAVING "
        "count(*) > 0",
        "SELECT DISTINCT p.id FROM people p, people q WHERE p.id = q.id AND q.name IN (SELECT name "
        "FROM people)",
        "UPDATE people SET name = 'z' WHERE id = 5",
        "SELECT Left(name, 1), CurDate(), balance * 2 FROM people WHERE name LIKE 'A%' AND id "
        "BETWEEN 1 AND 3",
        "INSERT INTO people (id, name) VALUES (9, 'N')",
        "SELECT [name] FROM people LEFT OUTER JOIN people q2 ON q2.id = people.id",
    };
    const std::string alphabet =
        "SELECT FROM WHERE ()*,.'\"[]:;+-/<>=!?0123456789abcxyz_#\n\t\x80\xFF\\";
    std::mt19937 random(12345);
    auto pick = [&](size_t n) { return static_cast<size_t>(random() % n); };
    int ran = 0;
    int failed = 0;
    for (int i = 0; i < 1500; ++i) {
        std::string sql = seeds[pick(seeds.size())];
        int mutations = 1 + static_cast<int>(pick(4));
        for (int m = 0; m < mutations; ++m) {
            size_t at = pick(sql.size() + 1);
            switch (pick(4)) {
                case 0:
                    sql.insert(at, 1, alphabet[pick(alphabet.size())]);
                    break;
                case 1:
                    if (at < sql.size()) sql.erase(at, 1 + pick(5));
                    break;
                case 2:
                    sql.insert(at, seeds[pick(seeds.size())].substr(pick(20), pick(15)));
                    break;
                default:
                    if (at < sql.size()) sql[at] = alphabet[pick(alphabet.size())];
            }
        }
        if (i % 10 == 0) {
            sql.clear();
            for (size_t n = pick(60); n > 0; --n) sql += alphabet[pick(alphabet.size())];
        }
        uint32_t rc = TryRun(connection_, sql);
        EXPECT_TRUE(rc == 0 || rc == KDB_ERR_SQL) << rc << " for: " << sql << "\n" << LastError();
        (rc == 0 ? ran : failed)++;
    }
    EXPECT_GT(failed, 500);
}

}  // namespace
