// What Compile hands the runtime besides the SQL: kind, parameters, target table, created table;
// and the Windows-1252 text handling at the boundary.
#include <gtest/gtest.h>

#include "kce/sql/Text1252.h"
#include "tests/kce/sql/SqlCaseRunner.h"

namespace kce::sql::test {
namespace {

class CompileTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(
            database_.Run("CREATE TABLE t (id INTEGER, name CHAR(10), d DATE, ts TIMESTAMP)")
                .failed);
    }
    Database database_;
};

TEST_F(CompileTest, NamedParametersHaveOneEntryEachAndQuestionMarksOneEach) {
    Outcome outcome =
        database_.Run("SELECT id FROM t WHERE name = :who OR name = ? OR id = :WHO OR d = ?");
    ASSERT_FALSE(outcome.failed) << outcome.message;
    ASSERT_EQ(outcome.compiled.parameters.size(), 3u);
    EXPECT_EQ(outcome.compiled.parameters[0].name, "who");
    EXPECT_EQ(outcome.compiled.parameters[1].name, "");
    EXPECT_EQ(outcome.compiled.parameters[2].name, "");
    EXPECT_NE(outcome.compiled.sqlite.find("?1"), std::string::npos);
    EXPECT_EQ(outcome.compiled.sqlite.find("?4"), std::string::npos);
}

TEST_F(CompileTest, ParametersAreConvertedToTheTypeTheyMeet) {
    ASSERT_FALSE(database_.Run("INSERT INTO t VALUES (1, 'a', '2001-02-03', NULL)").failed);
    Outcome found = database_.Run("SELECT id FROM t WHERE d = :day", {"'02/03/2001'"});
    ASSERT_FALSE(found.failed) << found.message;
    EXPECT_EQ(found.rows.size(), 1u);
    Outcome refused = database_.Run("SELECT id FROM t WHERE d = :day", {"'someday'"});
    EXPECT_TRUE(refused.failed);
    EXPECT_EQ(refused.nativeError, 2107);
    EXPECT_EQ(refused.message, "Text 'someday' is not a valid date.");
}

TEST_F(CompileTest, TargetTableAndKind) {
    struct Row {
        const char* sql;
        StatementKind kind;
        const char* target;
    };
    const Row rows[] = {
        {"SELECT * FROM t", StatementKind::Select, ""},
        {"INSERT INTO T (id) VALUES (1)", StatementKind::Insert, "t"},
        {"UPDATE T SET id = 2", StatementKind::Update, "t"},
        {"DELETE FROM T", StatementKind::Delete, "t"},
        {"EXECUTE PROCEDURE sp_getapplicationid()", StatementKind::GetApplicationId, ""},
        {"DROP TABLE T", StatementKind::DropTable, "t"},
    };
    for (const Row& row : rows) {
        Outcome outcome = database_.Run(row.sql);
        ASSERT_FALSE(outcome.failed) << row.sql << ": " << outcome.message;
        EXPECT_EQ(outcome.compiled.kind, row.kind) << row.sql;
        EXPECT_EQ(outcome.compiled.targetTable, row.target) << row.sql;
    }
}

TEST_F(CompileTest, ApplicationIdIsKeptPerConnection) {
    Outcome set = database_.Run("EXECUTE PROCEDURE sp_setapplicationid(:x)", {"'Parvell'"});
    ASSERT_FALSE(set.failed) << set.message;
    EXPECT_EQ(set.compiled.kind, StatementKind::SetApplicationId);
    ASSERT_EQ(set.compiled.parameters.size(), 1u);
    EXPECT_EQ(set.compiled.parameters[0].name, "x");
    Outcome get = database_.Run("execute procedure sp_getapplicationid( )");
    ASSERT_FALSE(get.failed) << get.message;
    ASSERT_EQ(get.compiled.result.size(), 1u);
    EXPECT_EQ(get.compiled.result[0].name, "ApplicationID");
    EXPECT_EQ(get.rows, (std::vector<std::vector<std::string>>{{"Parvell"}}));
}

TEST_F(CompileTest, Windows1252TextIsStoredAsUtf8AndNamesMatchWithoutCase) {
    // "Émile" with É (0xC9) and a column named with ü (0xFC), referred to as Ü (0xDC).
    ASSERT_FALSE(database_.Run("CREATE TABLE g (\"M\xFC\" CHAR(10))").failed);
    ASSERT_FALSE(database_.Run("INSERT INTO g VALUES ('\xC9mile')").failed);
    Outcome outcome = database_.Run(
        "SELECT Upper(\"M\xDC\"), Lower(\"m\xFC\") FROM g WHERE \"M\xFC\" = '\xC9MILE' OR 1 = 1");
    ASSERT_FALSE(outcome.failed) << outcome.message;
    EXPECT_EQ(outcome.compiled.result[0].name, "EXPR");
    EXPECT_EQ(outcome.rows,
              (std::vector<std::vector<std::string>>{{"\xC3\x89MILE", "\xC3\xA9mile"}}));
    EXPECT_EQ(Cp1252FromUtf8(Utf8FromCp1252("\x80\x81\x8D\x8F\x90\x9D\xFF")),
              "\x80\x81\x8D\x8F\x90\x9D\xFF");
}

TEST_F(CompileTest, CaseInsensitiveTextComparesAndOrdersAlikeInAsciiAndBeyond) {
    // "ZOÉ" with É (0xC9), "zoé" with é (0xE9) and plain ASCII names: ASCII texts and accented
    // texts compare each in their own way, and the order between them stays that of the
    // upper-case forms.
    ASSERT_FALSE(database_.Run("CREATE TABLE c (name CHAR_CI(10))").failed);
    ASSERT_FALSE(
        database_
            .Run("INSERT INTO c VALUES ('zo\xE9'), ('bob'), ('Zoe'), ('ZO\xC9'), ('BOB  '), ('bo')")
            .failed);
    Outcome equal = database_.Run("SELECT count(*) FROM c WHERE name = 'Zo\xC9 ' OR name = 'bOb'");
    ASSERT_FALSE(equal.failed) << equal.message;
    EXPECT_EQ(equal.rows, (std::vector<std::vector<std::string>>{{"4"}}));
    Outcome ordered = database_.Run("SELECT Lower(name) FROM c ORDER BY name");
    ASSERT_FALSE(ordered.failed) << ordered.message;
    EXPECT_EQ(ordered.rows,
              (std::vector<std::vector<std::string>>{
                  {"bo"}, {"bob"}, {"bob"}, {"zoe"}, {"zo\xC3\xA9"}, {"zo\xC3\xA9"}}));
}

TEST_F(CompileTest, LikeBeyondAsciiMatchesCharactersAndFoldsCaseOnCaseInsensitiveText) {
    // É (0xC9) and é (0xE9) are two bytes each in the stored text; _ stands for one character.
    ASSERT_FALSE(database_.Run("CREATE TABLE e (v VARCHAR(10), ci CHAR_CI(10))").failed);
    ASSERT_FALSE(database_
                     .Run("INSERT INTO e VALUES ('\xC9"
                          "cole', '\xC9"
                          "cole')")
                     .failed);
    Outcome outcome = database_.Run(
        "SELECT v LIKE '_cole', v LIKE '\xE9%', ci LIKE '\xE9"
        "COLE', ci LIKE '%O_E',"
        " v LIKE '\xC9"
        "c!%' ESCAPE '!' FROM e");
    ASSERT_FALSE(outcome.failed) << outcome.message;
    EXPECT_EQ(outcome.rows, (std::vector<std::vector<std::string>>{{"1", "0", "1", "1", "0"}}));
}

TEST_F(CompileTest, PositionsAndLengthsBeyondAsciiCountCharacters) {
    // é (e acute) is two bytes in the stored text.
    ASSERT_FALSE(database_.Run("CREATE TABLE f (v VARCHAR(10))").failed);
    ASSERT_FALSE(database_.Run("INSERT INTO f VALUES ('\xE9t\xE9\xE9')").failed);
    Outcome outcome = database_.Run(
        "SELECT Locate('\xE9', v, 2), Position('t' IN v), Char_Length(v), Trim(LEADING '\xE9' FROM "
        "v),"
        " Trim(TRAILING '\xE9' FROM v) FROM f");
    ASSERT_FALSE(outcome.failed) << outcome.message;
    EXPECT_EQ(
        outcome.rows,
        (std::vector<std::vector<std::string>>{{"3", "2", "4", "t\xC3\xA9\xC3\xA9", "\xC3\xA9t"}}));
}

TEST_F(CompileTest, DateCastToTextFollowsTheDateFormat) {
    ASSERT_FALSE(database_.Run("INSERT INTO t VALUES (1, 'a', '2001-02-03', NULL)").failed);
    struct Row {
        const char* format;
        const char* text;
        const char* column;
    };
    const Row rows[] = {
        {"MM/DD/CCYY", "02/03/2001", "EXPR CHAR(10,0)"},
        {"DD.MM.YY", "03.02.01", "EXPR CHAR(8,0)"},
        {"CCYY-MM-DD", "2001-02-03", "EXPR CHAR(10,0)"},
        {"YYYYMMDD", "20010203", "EXPR CHAR(8,0)"},
    };
    for (const Row& row : rows) {
        database_.DialectSettings().dateFormat = row.format;
        Outcome outcome =
            database_.Run("SELECT Cast(d AS CHAR), Cast(Cast(d AS CHAR) AS DATE) = d FROM t");
        ASSERT_FALSE(outcome.failed) << row.format << ": " << outcome.message;
        EXPECT_EQ(outcome.rows, (std::vector<std::vector<std::string>>{{row.text, "1"}}))
            << row.format;
        EXPECT_EQ(DescribeColumn(outcome.compiled.result[0]), row.column) << row.format;
    }
}

TEST(FunctionErrorTest, ReadsOurMessagesOnly) {
    std::optional<SqlError> error = FunctionError("[2116] Value 'x' is too long.");
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->NativeError(), 2116);
    EXPECT_STREQ(error->what(), "Value 'x' is too long.");
    EXPECT_FALSE(FunctionError("no such table: x"));
    EXPECT_FALSE(FunctionError("[9999] not ours"));
    EXPECT_FALSE(FunctionError("[21"));
}

}  // namespace
}  // namespace kce::sql::test
