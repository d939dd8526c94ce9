// TKdbQuery and the cursor dataset through the real engine: every engine type from stored value
// to field text, the open / ExecSQL cycle, parameters and the query's errors.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>

#include "data/Formats.h"
#include "engine/QueryText.h"
#include "engine/kdbcnnct.h"
#include "engine/kdbtable.h"
#include "kce/dbf/Writer.h"
#include "kce/kce.h"
#include "tests/common/SqlParameterCases.h"
#include "tests/support/EngineDictionary.h"

namespace parvell {
namespace {

using enginetest::TempDir;

constexpr const char* kTables =
    "CREATE TABLE alltypes (l LOGICAL, n NUMERIC(10,2), nw NUMERIC(20,2), d DATE, c CHAR(10), "
    "m MEMO, b BINARY, dbl DOUBLE, i INTEGER, s SMALLINT, t TIME, ts TIMESTAMP, a AUTOINC, "
    "r RAW(4), cur CURRENCY, mo MONEY, ci CHAR_CI(8), bi BIGINT, vc VARCHAR(12), vb VARBINARY(6));;"
    "INSERT INTO alltypes (l, n, nw, d, c, m, dbl, i, s, t, ts, cur, mo, ci, bi, vc) VALUES "
    "(TRUE, 1234.5, 12.25, '2008-01-15', 'SMITH', 'abc', 1234.5, -7, -5, '14:30:00', "
    "'2000-01-01 12:00:00', 1234.5, 123.45, 'Abc', 4294967297, 'hi there  ');;"
    "INSERT INTO alltypes (c) VALUES (NULL);;"
    "CREATE TABLE people (id INTEGER, name CHAR(20));;"
    "INSERT INTO people VALUES (1, 'Smith'), (2, 'Jones'), (3, 'Brown')";

class QueryTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new TempDir();
        enginetest::MakeDictionary(Dictionary(), kTables);
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    static std::string Dictionary() { return dir_->File("mwddf.kdd"); }

    void SetUp() override {
        saved_ = LocaleFormats;
        LocaleFormats = TLocaleFormats::UnitedStates();
        LocaleFormats.ShortDatePattern = "mm/dd/yyyy";
        LocaleFormats.LongTimePattern = "hh:nn:ss";
        connection_ = std::make_unique<TKdbConnection>(&form_, "KdbCPath");
        connection_->KdbServerTypes = {TKdbServerType::stKDB_REMOTE, TKdbServerType::stKDB_LOCAL};
        connection_->LoginPrompt = false;
        connection_->Username = enginetest::kUser;
        connection_->Password = enginetest::kPassword;
        connection_->SetConnectPath(Dictionary());
        query_ = std::make_unique<TKdbQuery>(&form_, "KdbTable1");
        query_->SetDatabaseName("KdbCPath");
        query_->SetKdbConnection(connection_.get());
    }
    void TearDown() override {
        query_.reset();
        connection_.reset();
        LocaleFormats = saved_;
    }

    void Open(const std::string& sql) {
        query_->SQL().SetText(sql);
        query_->SetActive(true);
    }

    static TempDir* dir_;
    TComponent form_{nullptr, "Form1"};
    std::unique_ptr<TKdbConnection> connection_;
    std::unique_ptr<TKdbQuery> query_;
    TLocaleFormats saved_;
};

TempDir* QueryTest::dir_ = nullptr;

struct TypeCase {
    const char* column;
    TFieldType dataType;
    int32_t size;
    const char* text;  // ValueAsText of the first row
};

// Each engine type from the stored value to the field object's text; the second row holds nulls.
TEST_F(QueryTest, EveryEngineTypeReadsThroughItsFieldObject) {
    const TypeCase cases[] = {
        {"l", ftBoolean, 0, "True"},
        {"n", ftBCD, 2, "1234.5"},
        {"nw", ftFMTBcd, 2, "12.25"},
        {"d", ftDate, 0, "01/15/2008"},
        {"c", ftString, 10, "SMITH"},
        {"m", ftMemo, 1, "abc"},
        {"dbl", ftFloat, 0, "1234.5"},
        {"i", ftInteger, 0, "-7"},
        {"s", ftSmallint, 0, "-5"},
        {"t", ftTime, 0, "14:30:00"},
        {"ts", ftDateTime, 0, "01/01/2000 12:00:00"},
        {"cur", ftCurrency, 0, "1234.5"},
        {"mo", ftBCD, 4, "123.45"},
        {"ci", ftString, 8, "Abc"},
        {"bi", ftBCD, 0, "4294967297"},
        {"vc", ftString, 12, "hi there"},
    };
    Open("SELECT * FROM alltypes ORDER BY a");
    ASSERT_EQ(query_->NumRecords(), 2);
    query_->MoveFirst();
    for (const TypeCase& c : cases) {
        SCOPED_TRACE(c.column);
        const TFieldDef& def = query_->FieldDefs().DefAt(query_->FieldDefs().IndexOf(c.column));
        EXPECT_EQ(def.DataType(), c.dataType);
        EXPECT_EQ(def.Size(), c.size);
        TField& field = query_->FieldNamed(c.column);
        EXPECT_FALSE(field.ValueIsNull());
        EXPECT_EQ(field.ValueAsText(), c.text);
    }
    EXPECT_EQ(query_->FieldNamed("a").ValueAsInteger(), 1);
    EXPECT_EQ(query_->RecordNumber(), 1);

    query_->MoveNext();
    ASSERT_FALSE(query_->AtEnd());
    EXPECT_EQ(query_->RecordNumber(), 2);
    for (const TypeCase& c : cases) {
        SCOPED_TRACE(c.column);
        TField& field = query_->FieldNamed(c.column);
        EXPECT_TRUE(field.ValueIsNull());
        EXPECT_EQ(field.ValueAsText(), "");
    }
    for (const char* column : {"b", "r", "vb"})
        EXPECT_TRUE(query_->FieldNamed(column).ValueIsNull()) << column;
    EXPECT_EQ(query_->FieldNamed("m").DisplayString(), "(Memo)");
    EXPECT_EQ(query_->FieldNamed("i").ValueAsInteger(), 0);
    query_->MoveNext();
    EXPECT_TRUE(query_->AtEnd());
}

TEST_F(QueryTest, FieldClassesFollowTheEngineColumn) {
    Open("SELECT mo, n, bi, ci, c FROM alltypes");
    EXPECT_STREQ(query_->FieldNamed("mo").ClassName(), "TKdbBCDField");
    EXPECT_TRUE(dynamic_cast<TKdbBCDField&>(query_->FieldNamed("mo")).Currency());
    EXPECT_FALSE(dynamic_cast<TKdbBCDField&>(query_->FieldNamed("n")).Currency());
    EXPECT_FALSE(dynamic_cast<TKdbBCDField&>(query_->FieldNamed("bi")).Currency());
    EXPECT_TRUE(dynamic_cast<TKdbStringField&>(query_->FieldNamed("ci")).CaseInsensitive());
    EXPECT_FALSE(dynamic_cast<TKdbStringField&>(query_->FieldNamed("c")).CaseInsensitive());
    const TFieldDef& numeric = query_->FieldDefs().DefAt(1);
    EXPECT_EQ(numeric.Precision(), 8);
    // Money keeps its currency style for display.
    EXPECT_EQ(query_->FieldNamed("mo").DisplayString(), "$123.45");
}

TEST_F(QueryTest, BlobsAndBytesBoundAsParametersReadBack) {
    TempDir dir;
    const std::string path = dir.File("blobs.kdd");
    enginetest::MakeDictionary(
        path, "CREATE TABLE bl (id INTEGER, b BINARY, r RAW(4), vb VARBINARY(6), m MEMO)");
    connection_->SetConnectPath(path);
    query_->SQL().SetText("INSERT INTO bl VALUES (:id, :b, :r, :vb, :m)");
    ASSERT_EQ(query_->Params().Count(), 5);
    query_->Params().At(0).SetAsInteger(1);
    query_->Params().At(1).SetAsBytes({1, 0, 2});
    query_->Params().At(2).SetAsBytes({'w', 'x', 'y', 'z'});
    query_->Params().At(3).SetAsBytes({'a', 'b'});
    query_->Params().At(4).SetAsString("a long memo text");
    query_->ExecSQL();
    EXPECT_EQ(query_->RowsAffected(), 1);

    Open("SELECT b, r, vb, m FROM bl");
    query_->MoveFirst();
    EXPECT_EQ(query_->FieldNamed("b").ValueAsByteArray(), (std::vector<uint8_t>{1, 0, 2}));
    EXPECT_EQ(query_->FieldNamed("b").DisplayString(), "(BLOB)");
    EXPECT_EQ(query_->FieldNamed("r").ValueAsText(), "wxyz");
    EXPECT_EQ(query_->FieldNamed("vb").ValueAsByteArray(), (std::vector<uint8_t>{'a', 'b'}));
    EXPECT_EQ(query_->FieldNamed("m").ValueAsText(), "a long memo text");
    EXPECT_EQ(query_->FieldNamed("m").ValueAsText(), "a long memo text");  // from the cache
}

TEST_F(QueryTest, ExecSqlCountsRowsAndLeavesTheDatasetClosed) {
    TempDir dir;
    const std::string path = dir.File("exec.kdd");
    enginetest::MakeDictionary(path,
                               "CREATE TABLE p (id INTEGER, name CHAR(10));;"
                               "INSERT INTO p VALUES (1, 'a'), (2, 'b'), (3, 'c')");
    connection_->SetConnectPath(path);
    query_->SQL().SetText("UPDATE p SET name = 'x' WHERE id >= 2");
    query_->ExecSQL();
    EXPECT_EQ(query_->RowsAffected(), 2);
    EXPECT_FALSE(query_->Active());

    // A SELECT through ExecSQL closes the cursor it produced; the engine reports no row count.
    query_->SQL().SetText("SELECT * FROM p");
    query_->ExecSQL();
    EXPECT_FALSE(query_->Active());
    EXPECT_EQ(query_->RowsAffected(), -1);
    uint16_t open = 99;
    KdbGetNumOpenTables(&open);
    EXPECT_EQ(open, 0);
}

TEST_F(QueryTest, OpeningAnUpdateAppliesItThenRaisesTheNoCursorError) {
    TempDir dir;
    const std::string path = dir.File("upd.kdd");
    enginetest::MakeDictionary(path, "CREATE TABLE p (id INTEGER);;INSERT INTO p VALUES (1), (2)");
    connection_->SetConnectPath(path);
    query_->SQL().SetText("DELETE FROM p WHERE id = 1");
    try {
        query_->SetActive(true);
        FAIL() << "no error";
    } catch (const EKDBDatabaseError& error) {
        EXPECT_EQ(
            error.Message(),
            "KdbTable1: The SQL statement did not generate a cursor handle.  Use TKdbQuery.ExecSQL "
            "to execute SQL statements that are not SELECT statements");
        EXPECT_EQ(error.ErrorCode(), 5121u);
    }
    EXPECT_FALSE(query_->Active());
    EXPECT_EQ(query_->RowsAffected(), 1);
    Open("SELECT id FROM p");
    EXPECT_EQ(query_->NumRecords(), 1);
}

TEST_F(QueryTest, EngineErrorsArePrefixedWithTheQueryName) {
    query_->SQL().SetText("SELECT nope FROM people");
    try {
        query_->SetActive(true);
        FAIL() << "no error";
    } catch (const EKDBDatabaseError& error) {
        EXPECT_EQ(error.Message().rfind("KdbTable1: ", 0), 0u) << error.Message();
        EXPECT_EQ(error.ErrorCode(), 7200u);
        EXPECT_EQ(error.SQLErrorCode(), 2104);
        EXPECT_EQ(error.DataSetName, "KdbTable1");
        EXPECT_EQ(error.DataSetOwnerName, "Form1");
        EXPECT_EQ(error.DatabaseName, "KdbCPath");
        EXPECT_EQ(error.DatabasePath, dir_->Path());
    }
    EXPECT_FALSE(query_->Active());
}

// The time-out set on the connection component (before or after connecting) or on the query
// stops a statement that runs too long; the error says so and the same components run the next
// statement.
TEST_F(QueryTest, SqlTimeoutStopsASlowStatementAndSaysSo) {
    TempDir slow;
    std::string tables = "CREATE TABLE t (n INTEGER);;INSERT INTO t (n) VALUES (1)";
    for (int i = 0; i < 11; ++i) tables += ";;INSERT INTO t (n) SELECT n + 1 FROM t";
    enginetest::MakeDictionary(slow.File("slow.kdd"), tables);
    connection_->SetConnectPath(slow.File("slow.kdd"));
    enum class Where { ConnectionBeforeConnecting, ConnectionWhileConnected, Query };
    for (const Where where :
         {Where::ConnectionBeforeConnecting, Where::ConnectionWhileConnected, Where::Query}) {
        SCOPED_TRACE(static_cast<int>(where));
        connection_->Disconnect();
        connection_->SetSQLTimeout(0);
        query_->SetSQLTimeout(0);
        if (where == Where::ConnectionBeforeConnecting) connection_->SetSQLTimeout(1);
        connection_->Connect();
        if (where == Where::ConnectionWhileConnected) connection_->SetSQLTimeout(1);
        if (where == Where::Query) query_->SetSQLTimeout(1);
        try {
            // 2048 rows cubed: far longer than a second.
            Open("SELECT count(*) FROM t a, t b, t c WHERE a.n + b.n = c.n");
            ADD_FAILURE() << "the slow statement finished";
        } catch (const EKDBDatabaseError& error) {
            EXPECT_EQ(error.ErrorCode(), 7200u);
            EXPECT_EQ(error.SQLErrorCode(), KDB_SQL_TIMEOUT);
            EXPECT_NE(error.Message().find("time-out of 1 seconds"), std::string::npos)
                << error.Message();
        }
        EXPECT_FALSE(query_->Active());
        Open("SELECT count(*) FROM t");
        EXPECT_EQ(query_->FieldAt(0).ValueAsText(), "2048");
        query_->SetActive(false);
    }
}

TEST_F(QueryTest, ParametersAreThoseTheEngineBindsInItsOrder) {
    for (const testing::SqlParameterCase& c : testing::SqlParameterCases()) {
        query_->SQL().SetText(c.sql);
        std::vector<std::string> names;
        for (int i = 0; i < query_->Params().Count(); ++i)
            names.push_back(query_->Params().At(i).Name());
        EXPECT_EQ(names, c.names) << c.sql;
        if (c.rows < 0) continue;
        for (size_t i = 0; i < c.values.size(); ++i)
            query_->Params().At(int(i)).SetAsString(c.values[i]);
        try {
            query_->SetActive(true);
            EXPECT_EQ(query_->NumRecords(), c.rows) << c.sql;
        } catch (const Exception& error) {
            ADD_FAILURE() << c.sql << ": " << error.Message();
        }
        query_->SetActive(false);
    }
    // A parameter left without a value is bound empty: it matches nothing.
    query_->SQL().SetText("-- run at 10:30\r\nSELECT id FROM people WHERE id = :id OR id = :other");
    query_->Params().At(0).SetAsInteger(1);
    query_->SetActive(true);
    EXPECT_EQ(query_->NumRecords(), 1);
}

TEST_F(QueryTest, ParameterValuesSurviveAnSqlChangeByName) {
    query_->SQL().SetText("SELECT * FROM people WHERE id = :id");
    query_->Params().At(0).SetAsInteger(2);
    query_->SQL().SetText("SELECT * FROM people WHERE name = :name OR id = :ID");
    ASSERT_EQ(query_->Params().Count(), 2);
    EXPECT_FALSE(query_->Params().At(0).HasValue());
    EXPECT_EQ(query_->Params().At(1).AsText(), "2");
    query_->Params().At(0).SetAsString("Smith");
    query_->SetActive(true);
    EXPECT_EQ(query_->NumRecords(), 2);
}

TEST_F(QueryTest, AParameterWithoutValueIsBoundEmpty) {
    Open("SELECT * FROM people WHERE name = :missing");
    EXPECT_EQ(query_->NumRecords(), 0);
    query_->MoveFirst();
    EXPECT_TRUE(query_->AtEnd());
}

TEST_F(QueryTest, ParameterTypesThatCannotBeBoundAreRefused) {
    query_->SQL().SetText("SELECT * FROM people WHERE id = :id");
    query_->Params().At(0).SetAsString("1");
    query_->Params().At(0).SetDataType(ftUnknown);
    try {
        query_->SetActive(true);
        FAIL();
    } catch (const EKDBDatabaseError& error) {
        EXPECT_EQ(
            error.Message(),
            "KdbTable1: The field named: 'id' has the DataType of ftUnknown, which is invalid.");
    }
    query_->Params().At(0).SetDataType(ftWideString);
    EXPECT_THROW(query_->SetActive(true), EKDBDatabaseError);
}

TEST_F(QueryTest, SameSqlKeepsTheQueryOpenNewSqlClosesIt) {
    Open("SELECT * FROM people");
    query_->SetSQL("SELECT * FROM people");
    EXPECT_TRUE(query_->Active());
    query_->SetSQL("SELECT id FROM people");
    EXPECT_FALSE(query_->Active());
}

TEST_F(QueryTest, ReconnectingMakesANewStatement) {
    Open("SELECT * FROM people");
    const uint32_t first = query_->StatementHandle();
    connection_->SetIsConnected(false);
    EXPECT_FALSE(query_->Active());
    EXPECT_FALSE(query_->Prepared());
    query_->SetActive(true);
    EXPECT_NE(query_->StatementHandle(), first);
    EXPECT_EQ(query_->NumRecords(), 3);
}

TEST_F(QueryTest, StatementIsKeptAcrossCloseOnTheSameConnection) {
    Open("SELECT * FROM people");
    const uint32_t first = query_->StatementHandle();
    query_->SetActive(false);
    query_->SetActive(true);
    EXPECT_EQ(query_->StatementHandle(), first);
}

TEST_F(QueryTest, ComponentErrors) {
    TKdbQuery unbound(&form_, "Q");
    unbound.SQL().SetText("SELECT 1 FROM people");
    try {
        unbound.SetActive(true);
        FAIL();
    } catch (const EKDBDatabaseError& error) {
        EXPECT_EQ(error.Message(), "Q: The DatabaseName property has not been assigned a value.");
    }
    // NTX only through a dictionary connection.
    EXPECT_THROW(unbound.SetSourceTableType(TKdbTableTypes::ttKdbNTX), EKDBDatabaseError);
    query_->SetSourceTableType(TKdbTableTypes::ttKdbNTX);
    query_->SetSourceTableType(TKdbTableTypes::ttKdbKDT);
    Open("SELECT * FROM people");
    EXPECT_THROW(query_->Prepare(), EKDBDatabaseError);
    EXPECT_THROW(query_->SetDatabaseName("x"), EKDBDatabaseError);
    EXPECT_THROW(query_->KdbTableOptions().SetKdbLockType(TKdbLockType::Compatible),
                 EKDBDatabaseError);
    EXPECT_THROW(query_->SetDataSource(query_.get()), EKDBDatabaseError);
}

TEST_F(QueryTest, WalkVisitsEachRecordOnceWithItsNumber) {
    Open("SELECT id, name FROM people ORDER BY id");
    std::vector<int> numbers;
    std::vector<std::string> names;
    query_->MoveFirst();
    while (!query_->AtEnd()) {
        numbers.push_back(query_->RecordNumber());
        names.push_back(query_->FieldAt(1).ValueAsText());
        query_->MoveNext();
    }
    EXPECT_EQ(numbers, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(names, (std::vector<std::string>{"Smith", "Jones", "Brown"}));
    query_->MoveLast();
    EXPECT_EQ(query_->FieldAt(1).ValueAsText(), "Brown");
    query_->MovePrior();
    EXPECT_EQ(query_->FieldAt(1).ValueAsText(), "Jones");
}

TEST_F(QueryTest, FieldDefsOfAClosedQueryComeFromAPassingCursor) {
    query_->SQL().SetText("SELECT id, name FROM people");
    query_->FieldDefs().RefreshDefs();
    ASSERT_EQ(query_->FieldDefs().NumDefs(), 2);
    EXPECT_EQ(query_->FieldDefs().DefAt(1).Name(), "name");
    EXPECT_EQ(query_->FieldDefs().DefAt(1).Size(), 20);
    EXPECT_FALSE(query_->Active());
    uint16_t open = 99;
    KdbGetNumOpenTables(&open);
    EXPECT_EQ(open, 0);
}

TEST_F(QueryTest, BlobStreamsOnlyReadOutsideEditing) {
    Open("SELECT m FROM alltypes");
    try {
        query_->CreateBlobStream(query_->FieldAt(0), TBlobStreamMode::Write);
        FAIL();
    } catch (const EKDBDatabaseError& error) {
        EXPECT_EQ(
            error.Message(),
            "KdbTable1: Table must be in Edit or Insert state to open blob stream in Write Mode.");
    }
    auto stream = query_->CreateBlobStream(query_->FieldAt(0), TBlobStreamMode::Read);
    const char byte = 'x';
    EXPECT_THROW(stream->Write(&byte, 1), EKDBDatabaseError);
}

TEST_F(QueryTest, CountsAndNumbersNeedAnOpenQuery) {
    EXPECT_THROW(query_->NumRecords(), EDatabaseError);
    EXPECT_THROW(query_->RecordNumber(), EDatabaseError);
    Open("SELECT * FROM people WHERE id > 5");
    EXPECT_EQ(query_->NumRecords(), 0);
    EXPECT_EQ(query_->RecordNumber(), 0);
    EXPECT_EQ(query_->Version().rfind("10.0.0.3 (KCE ", 0), 0u);
}

TEST_F(QueryTest, WithoutAConnectionComponentAFolderPathConnectsOnDemand) {
    TempDir folder;
    TKdbQuery query(nullptr, "Loose");
    query.SetDatabaseName(folder.Path() + "/");
    EXPECT_EQ(query.KdbConnection(), nullptr);
    EXPECT_EQ(query.DataPath(), folder.Path());
    kce::dbf::TableLayout layout;
    layout.columns = {{"ID", 'N', 4}, {"TXT", 'C', 8}};
    kce::dbf::CreateTable(folder.Path() + "/notes.dbf", layout, {});
    // Both statements run on the one connection kept for that folder.
    query.SQL().SetText("INSERT INTO notes VALUES (1, 'one')");
    query.ExecSQL();
    EXPECT_EQ(query.RowsAffected(), 1);
    query.SQL().SetText("SELECT txt FROM notes");
    query.SetActive(true);
    query.MoveFirst();
    EXPECT_EQ(query.FieldAt(0).ValueAsText(), "one");
}

TEST_F(QueryTest, QueryTextPrintsAnAlignedTable) {
    Open("SELECT id, name FROM people ORDER BY id");
    std::ostringstream out;
    EXPECT_EQ(WriteDataSetText(*query_, out), 3);
    EXPECT_EQ(out.str(),
              "id  name\n"
              "--  -----\n"
              "1   Smith\n"
              "2   Jones\n"
              "3   Brown\n");
}

TEST_F(QueryTest, BigintsReadAsTheExactIntegerBeyondTheCurrencyRange) {
    // The 64-bit integer's smallest value is its null marker; the next one up is the smallest.
    const char* values[] = {"-9223372036854775807", "-1000000000000000", "922337203685477",
                            "1000000000000000", "9223372036854775807"};
    std::string sql = "CREATE TABLE big (n INTEGER, v BIGINT);;INSERT INTO big VALUES ";
    for (size_t i = 0; i < std::size(values); ++i) {
        sql += (i > 0 ? ", (" : "(") + std::to_string(i) + ", " + values[i] + ")";
    }
    const std::string path = dir_->File("big.kdd");
    enginetest::MakeDictionary(path, sql);
    connection_->SetConnectPath(path);
    Open("SELECT v FROM big ORDER BY n");
    ASSERT_EQ(query_->NumRecords(), int(std::size(values)));
    query_->MoveFirst();
    for (const char* value : values) {
        SCOPED_TRACE(value);
        ASSERT_FALSE(query_->AtEnd());
        EXPECT_EQ(query_->FieldAt(0).ValueAsText(), value);
        EXPECT_EQ(query_->FieldAt(0).DisplayString(), value);
        query_->MoveNext();
    }
    query_->MoveFirst();
    EXPECT_THROW(query_->FieldAt(0).ValueAsFloat(), EBcdOverflowException);
    query_->SetActive(false);

    // The printed table shows each whole value too.
    Open("SELECT v FROM big WHERE n = 4");
    std::ostringstream out;
    WriteDataSetText(*query_, out);
    EXPECT_EQ(out.str(), "v\n-------------------\n9223372036854775807\n");
}

}  // namespace
}  // namespace parvell
