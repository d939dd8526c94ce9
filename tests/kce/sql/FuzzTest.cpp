// Any text, however malformed, must end in a compiled statement or an SqlError: never a crash, a
// hang or another exception. Random and mutated statements are fed through Compile; what compiles
// is also prepared and run by SQLite, which must accept the generated SQL.
#include <gtest/gtest.h>

#include <random>

#include "tests/kce/sql/SqlCaseRunner.h"

namespace kce::sql::test {
namespace {

const char* const kSeeds[] = {
    "SELECT DISTINCT TOP 3 a.name AS n, count(*) FROM t a LEFT OUTER JOIN u ON a.id = u.id "
    "WHERE a.d >= '01/01/2008' AND u.x IN (1, 2) GROUP BY a.name HAVING count(*) > 1 ORDER BY 2 "
    "DESC",
    "SELECT Trim(name) + ' ' + Upper(name) Name, Left(name, 2), CASE WHEN id > 1 THEN 'x' ELSE 'y' "
    "END "
    "FROM t WHERE name LIKE 'A%' OR id BETWEEN 1 AND 5 OR d IS NOT NULL UNION ALL SELECT name, "
    "name, name FROM t",
    "UPDATE t SET name = 'x', d = '2001-02-03' WHERE id IN (SELECT max(id) FROM u) AND EXISTS "
    "(SELECT * FROM u)",
    "INSERT INTO t (id, name, d) VALUES (1, 'a', '01/02/2003'), (?, :p, NULL)",
    "INSERT INTO u SELECT id, x FROM u WHERE x <> 0",
    "DELETE FROM t WHERE Year(d) = 2001 AND Mod(id, 2) = 1 AND Coalesce(name, 'z') = IIF(id > 0, "
    "'a', 'b')",
    "CREATE TABLE v (a CHAR(3) NOT NULL, b NUMERIC(8,2), c DATE, [d #] CHAR_CI(4))",
    "SELECT * FROM (SELECT id, name FROM t) s WHERE s.id = (SELECT min(x) FROM u)",
    "EXECUTE PROCEDURE sp_setapplicationid(:x)",
    "SELECT CAST(id AS CHAR(4)), CONVERT(name, SQL_INTEGER), Substring(name FROM 2 FOR 3), "
    "Position('a' IN name) FROM t",
};

const char* const kTokens[] = {
    "SELECT",
    "FROM",
    "WHERE",
    "(",
    ")",
    ",",
    "'",
    "\"",
    "[",
    "]",
    "*",
    "+",
    "-",
    "/",
    "=",
    "<>",
    "AND",
    "OR",
    "NOT",
    "IN",
    "NULL",
    "IS",
    "CASE",
    "WHEN",
    "THEN",
    "END",
    "JOIN",
    "ON",
    "LEFT",
    "UNION",
    "ORDER BY",
    "GROUP BY",
    "t",
    "u",
    "id",
    "name",
    "d",
    "x",
    "1",
    "2.5",
    "'01/02/2003'",
    ":p",
    "?",
    "/*",
    "*/",
    "--",
    "\n",
    "count(",
    "Trim(",
    "TOP",
    "DISTINCT",
    ".",
    ";",
    "\xE9",
    "\0",
};

class Fuzz : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(database_.Run("CREATE TABLE t (id INTEGER, name CHAR(10), d DATE)").failed);
        ASSERT_FALSE(database_.Run("CREATE TABLE u (id INTEGER, x NUMERIC(6,2))").failed);
    }

    // Compiles (and when it compiles, runs) one text; fails the test on anything but an SQL error.
    void Feed(const std::string& sql) {
        try {
            Outcome outcome = database_.Run(sql);
            if (outcome.failed && outcome.nativeError == 0 &&
                outcome.message.rfind("SQLite could not prepare", 0) == 0) {
                ADD_FAILURE() << "generated SQL refused for: " << sql << "\n" << outcome.message;
            }
        } catch (const std::exception& e) {
            ADD_FAILURE() << "exception " << e.what() << " for: " << sql;
        }
    }

    Database database_;
};

TEST_F(Fuzz, SeedsCompile) {
    for (const char* seed : kSeeds) {
        Outcome outcome = database_.Run(seed);
        // Seeds may fail at run time (a stored value that does not convert); they must compile
        // and prepare.
        EXPECT_FALSE(outcome.compiled.sqlite.empty()) << seed << ": " << outcome.message;
        EXPECT_EQ(outcome.message.rfind("SQLite could not prepare", 0), std::string::npos)
            << seed << ": " << outcome.message;
    }
}

TEST_F(Fuzz, MutatedStatementsEndInAnSqlError) {
    std::mt19937 random(12345);
    for (int round = 0; round < 4000; ++round) {
        std::string sql = kSeeds[random() % std::size(kSeeds)];
        const int edits = 1 + random() % 4;
        for (int e = 0; e < edits && !sql.empty(); ++e) {
            const size_t at = random() % sql.size();
            switch (random() % 4) {
                case 0:
                    sql.erase(at, 1 + random() % 8);
                    break;
                case 1:
                    sql.insert(at, kTokens[random() % std::size(kTokens)]);
                    break;
                case 2:
                    sql[at] = static_cast<char>(random() % 256);
                    break;
                default:
                    sql = sql.substr(0, at);
                    break;
            }
        }
        Feed(sql);
    }
}

TEST_F(Fuzz, RandomTokenSoupEndsInAnSqlError) {
    std::mt19937 random(777);
    for (int round = 0; round < 3000; ++round) {
        std::string sql;
        const int count = random() % 30;
        for (int i = 0; i < count; ++i) {
            sql += kTokens[random() % std::size(kTokens)];
            sql += ' ';
        }
        Feed(sql);
    }
}

TEST_F(Fuzz, DeepNestingIsRefusedNotOverflowed) {
    const std::string kinds[] = {"(", "- ", "NOT ", "(SELECT "};
    for (const std::string& open : kinds) {
        std::string sql = "SELECT ";
        for (int i = 0; i < 100000; ++i) sql += open;
        sql += "1";
        Outcome outcome = database_.Run(sql);
        EXPECT_TRUE(outcome.failed);
        EXPECT_EQ(outcome.nativeError, 2111) << open << ": " << outcome.message;
    }
    // A long flat chain is as deep as it is long.
    std::string chain = "SELECT 1";
    for (int i = 0; i < 100000; ++i) chain += " + 1";
    EXPECT_EQ(database_.Run(chain).nativeError, 2111);
}

TEST_F(Fuzz, NestedCallsAreReadOnceEach) {
    // POSITION reads its first operand twice when no IN follows it; nested, that was doubled per
    // level, so forty levels never finished compiling. Each level is now read once, and the
    // statement gets its answer (here: the inner call's number is no text) at once.
    std::string sql = "SELECT ";
    for (int i = 0; i < 40; ++i) sql += "POSITION(";
    sql += "'a'";
    for (int i = 0; i < 40; ++i) sql += ", 'abc')";
    const Outcome outcome = database_.Run(sql);
    EXPECT_EQ(outcome.nativeError, 2106) << outcome.message;
}

}  // namespace
}  // namespace kce::sql::test
