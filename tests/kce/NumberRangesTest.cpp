// Numbers at the ends of their ranges, on a dictionary and on a folder of tables: the native record
// holds them exactly, money keeps every ten-thousandth, a value that would read as null or as
// asterisks is refused (stored or computed), and a dictionary of the earlier format that kept
// money as floating point is converted when opened.
#include <sqlite3.h>

#include <clocale>
#include <cstring>

#include "kce/dbf/Table.h"
#include "tests/common/GeneratedLocales.h"
#include "tests/kce/FolderSupport.h"

namespace {

using namespace kcetest;
using kce::dbf::Variant;
using Bytes = std::vector<uint8_t>;
using Rows = std::vector<std::vector<std::string>>;

template <typename T>
Bytes Le(T value) {
    Bytes out(sizeof value);
    std::memcpy(out.data(), &value, sizeof value);
    return out;
}

Bytes Text(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

constexpr int64_t kMaxCount = INT64_MAX;  // 922337203685477.5807 in ten-thousandths

// The native bytes of each field of the cursor's current record.
std::vector<Bytes> FieldBytes(uint32_t cursor) {
    uint32_t length = 0;
    uint16_t fields = 0;
    KdbGetRecordLength(cursor, &length);
    KdbGetNumFields(cursor, &fields);
    Bytes record(length);
    EXPECT_EQ(KdbGetRecord(cursor, record.data(), &length), 0u) << LastError();
    std::vector<Bytes> out;
    for (uint16_t f = 1; f <= fields; ++f) {
        uint32_t offset = 0;
        uint32_t next = length;
        KdbGetFieldOffset(cursor, f, &offset);
        if (f < fields) KdbGetFieldOffset(cursor, f + 1, &next);
        out.emplace_back(record.begin() + offset, record.begin() + next);
        uint16_t isNull = 1;
        EXPECT_EQ(KdbIsNull(cursor, f, &isNull), 0u);
        EXPECT_EQ(isNull, 0) << "field " << f << " of a value reads as null";
    }
    return out;
}

struct EndCase {
    const char* column;
    const char* value;  // SQL literal
    Bytes bytes;        // in the native record
    const char* text;   // KdbGetField, trimmed
};

TEST(NumberRangesTest, DictionaryKeepsTheRangeEndsInTheNativeRecord) {
    TempDir dir;
    uint32_t connection = CreateDictionary(dir.File("ends.kdd"));
    KdbSetDecimals(4);
    RunSql(connection,
           "CREATE TABLE t (si SMALLINT, i INTEGER, ai AUTOINC, bi BIGINT, mo MONEY, cur CURRENCY, "
           "n NUMERIC(5,1))");
    const EndCase cases[] = {
        {"si", "32767", Le<int16_t>(32767), "32767"},
        {"si", "-32767", Le<int16_t>(-32767), "-32767"},
        {"i", "2147483647", Le<int32_t>(2147483647), "2147483647"},
        {"i", "-2147483647", Le<int32_t>(-2147483647), "-2147483647"},
        {"ai", "-2", Le<int32_t>(-2), "-2"},
        {"bi", "9223372036854775807", Le<int64_t>(INT64_MAX), "9223372036854775807"},
        {"bi", "-9223372036854775807", Le<int64_t>(-INT64_MAX), "-9223372036854775807"},
        {"mo", "922337203685477.5807", Le<int64_t>(kMaxCount), "922337203685477.5807"},
        {"mo", "-922337203685477.5807", Le<int64_t>(-kMaxCount), "-922337203685477.5807"},
        {"mo", "922337203685.4775", Le<int64_t>(9223372036854775), "922337203685.4775"},
        {"cur", "922337203685.4775", Le<double>(9223372036854775 / 10000.0), "922337203685.4775"},
        {"n", "999.9", Text("999.9"), "999.9"},
        {"n", "-99.9", Text("-99.9"), "-99.9"},
    };
    for (const EndCase& c : cases) {
        RunSql(connection, "DELETE FROM t");
        RunSql(connection,
               std::string("INSERT INTO t (") + c.column + ") VALUES (" + c.value + ")");
        uint32_t cursor = RunSql(connection, std::string("SELECT ") + c.column + " FROM t");
        ASSERT_NE(cursor, 0u);
        EXPECT_EQ(FieldBytes(cursor), std::vector<Bytes>{c.bytes}) << c.column << " = " << c.value;
        EXPECT_EQ(AllRows(cursor), Rows{{c.text}}) << c.column << " = " << c.value;
    }
    KdbSetDecimals(2);
    KdbDisconnect(connection);
}

struct RefusedCase {
    const char* statement;
    const char* message;  // part of the error text
};

// Every refusal is SQL error 2117 naming the column and the value, and the table keeps its rows.
void ExpectRefused(uint32_t connection, const RefusedCase& c, const std::string& check) {
    const Rows before = Query(connection, check);
    EXPECT_EQ(TryRun(connection, c.statement), static_cast<uint32_t>(KDB_ERR_SQL)) << c.statement;
    const std::string error = LastError();
    EXPECT_NE(error.find("NativeError = 2117"), std::string::npos) << error;
    EXPECT_NE(error.find(c.message), std::string::npos) << c.statement << "\n" << error;
    EXPECT_EQ(Query(connection, check), before) << c.statement;
}

TEST(NumberRangesTest, DictionaryRefusesWhatWouldReadAsNullOrAsterisks) {
    TempDir dir;
    uint32_t connection = CreateDictionary(dir.File("refused.kdd"));
    RunSql(connection,
           "CREATE TABLE t (si SMALLINT, i INTEGER, ai AUTOINC, bi BIGINT, mo MONEY, cur CURRENCY, "
           "n NUMERIC(5,1))");
    RunSql(connection,
           "INSERT INTO t VALUES (-32767, -2147483647, 1, -9223372036854775807, "
           "-922337203685477.5807, "
           "-0.0001, 999.9)");
    const RefusedCase cases[] = {
        {"INSERT INTO t (si) VALUES (-32768)", "Value -32768 is out of range for column \"si\""},
        {"INSERT INTO t (i) VALUES (-2147483648)",
         "Value -2147483648 is out of range for column \"i\""},
        {"INSERT INTO t (ai) VALUES (-1)", "Value -1 is out of range for column \"ai\""},
        {"INSERT INTO t (mo) VALUES (-922337203685477.5808)",
         "Value -922337203685477.5808 is out of range for column \"mo\""},
        {"INSERT INTO t (n) VALUES (1000)",
         "Value 1000 is too wide for column \"n\" (NUMERIC(5,1))"},
        {"UPDATE t SET si = si - 1", "Value -32768 is out of range for column \"si\""},
        {"UPDATE t SET bi = bi - 1",
         "Value -9223372036854775808 is out of range for column \"bi\""},
        {"UPDATE t SET mo = mo + cur",
         "Value -922337203685477.5808 is out of range for column \"mo\""},
        {"UPDATE t SET n = -n", "Value -999.9 is too wide for column \"n\" (NUMERIC(5,1))"},
        {"UPDATE t SET n = CAST(n * 10 AS NUMERIC(6,1))",
         "Value 9999 is too wide for column \"n\""},
        // Result columns are not stored, but their native record cannot show these values either.
        {"SELECT i - 1 AS below FROM t", "Value -2147483648 is out of range for column \"below\""},
        {"SELECT mo + cur AS total FROM t",
         "Value -922337203685477.5808 is out of range for column \"total\""},
        {"SELECT -n AS negated FROM t",
         "Value -999.9 is too wide for column \"negated\" (NUMERIC(5,1))"},
        {"SELECT CAST(n AS NUMERIC(4,1)) AS narrow FROM t",
         "Value 999.9 is too wide for NUMERIC(4,1)"},
    };
    for (const RefusedCase& c : cases) ExpectRefused(connection, c, "SELECT * FROM t");
    KdbDisconnect(connection);
}

TEST(NumberRangesTest, FolderCurrencyColumnsAreExactCountsOfTenThousandths) {
    TempDir dir;
    MakeTable(dir.File("fees.dbf"), Variant::VisualFoxPro, {{"ID", 'I'}, {"FEE", 'Y', 0, 0, true}},
              {{I(1), I(9007199254740993)},
               {I(2), I(kMaxCount)},
               {I(3), I(-kMaxCount)},
               {I(-2147483647), N()}});
    uint32_t connection = ConnectFolder(dir.Path());
    uint32_t cursor = RunSql(connection, "SELECT id, fee FROM fees ORDER BY id");
    ASSERT_NE(cursor, 0u);
    ASSERT_EQ(KdbSkip(cursor, 1), 0u);  // the first row has a null fee
    EXPECT_EQ(FieldBytes(cursor),
              (std::vector<Bytes>{Le<int32_t>(1), Le<int64_t>(9007199254740993)}));
    KdbCloseTable(cursor);
    EXPECT_EQ(QueryWithNulls(connection, "SELECT id, fee FROM fees ORDER BY fee"),
              (Rows{{"-2147483647", "NULL"},
                    {"3", "-922337203685477.5807"},
                    {"1", "900719925474.0993"},
                    {"2", "922337203685477.5807"}}));

    // Sums, differences and exact literals reach the file unrounded.
    EXPECT_EQ(Changed(connection, "UPDATE fees SET fee = fee + fee - 0.0001 WHERE id = 1"), 1u);
    EXPECT_EQ(Changed(connection,
                      "INSERT INTO fees (id, fee) VALUES (4, 900719925474.0993), (5, '-0.0001')"),
              2u);
    auto table = kce::dbf::Table::Open(dir.File("fees.dbf"));
    std::vector<int64_t> counts;
    for (uint32_t record : {1u, 5u, 6u}) counts.push_back(table->ReadRecord(record)[1].integer);
    EXPECT_EQ(counts, (std::vector<int64_t>{18014398509481985, 9007199254740993, -1}));
    table.reset();

    const RefusedCase cases[] = {
        {"INSERT INTO fees (fee) VALUES (-922337203685477.5808)",
         "Value -922337203685477.5808 is out of range for column \"FEE\""},
        {"UPDATE fees SET id = id - 1", "Value -2147483648 is out of range for column \"ID\""},
        {"UPDATE fees SET fee = fee + fee WHERE id = 2", "is out of range for column \"FEE\""},
    };
    for (const RefusedCase& c : cases) {
        const std::string before = ReadFile(dir.File("fees.dbf"));
        ExpectRefused(connection, c, "SELECT * FROM fees");
        EXPECT_EQ(ReadFile(dir.File("fees.dbf")), before) << c.statement;
    }
    KdbDisconnect(connection);
}

TEST(NumberRangesTest, FolderValueAtANullMarkFailsTheQueryInsteadOfReadingAsNull) {
    // Another program may write the one value the native record keeps as null.
    TempDir dir;
    MakeTable(dir.File("odd.dbf"), Variant::VisualFoxPro, {{"ID", 'I'}, {"FEE", 'Y'}},
              {{I(1), I(5)}, {I(-2147483648LL), I(INT64_MIN)}});
    uint32_t connection = ConnectFolder(dir.Path());
    const RefusedCase cases[] = {
        {"SELECT fee FROM odd", "Value -922337203685477.5808 is out of range for column \"fee\""},
        {"SELECT id FROM odd", "Value -2147483648 is out of range for column \"id\""},
    };
    for (const RefusedCase& c : cases) ExpectRefused(connection, c, "SELECT count(*) FROM odd");
    EXPECT_EQ(Query(connection, "SELECT id, fee FROM odd WHERE id = 1"), (Rows{{"1", "0.0005"}}));
    KdbDisconnect(connection);
}

void Exec(sqlite3* db, const std::string& sql) {
    char* message = nullptr;
    ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message), SQLITE_OK)
        << message << "\n"
        << sql;
}

std::string SqliteText(sqlite3* db, const std::string& sql) {
    sqlite3_stmt* stmt = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr), SQLITE_OK)
        << sqlite3_errmsg(db);
    std::string out;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
            const unsigned char* text = sqlite3_column_text(stmt, c);
            out += (c > 0 ? "|" : "") +
                   std::string(text ? reinterpret_cast<const char*>(text) : "NULL");
        }
        out += "\n";
    }
    sqlite3_finalize(stmt);
    return out;
}

TEST(NumberRangesTest, DictionaryOfTheEarlierFormatIsConvertedWhenOpened) {
    TempDir dir;
    const std::string path = dir.File("old.kdd");
    uint32_t connection = CreateDictionary(path);
    RunSql(connection,
           "CREATE TABLE fees (id AUTOINC, name CHAR(5), amount MONEY NOT NULL, cur CURRENCY)");
    KdbDisconnect(connection);
    {
        // The same table as the earlier format wrote it: money as REAL amounts.
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
        Exec(db,
             "DROP TABLE fees;"
             "CREATE TABLE \"fees\" (\"id\" INTEGER PRIMARY KEY AUTOINCREMENT, \"name\" TEXT, "
             "\"amount\" REAL NOT NULL, \"cur\" REAL);"
             "CREATE INDEX fees_name ON fees(name);"
             "INSERT INTO fees VALUES (3, 'a', 25.5, 2.5), (7, 'b', -1234.5678, NULL);"
             "UPDATE sqlite_sequence SET seq = 10 WHERE name = 'fees';"
             "UPDATE kdd_meta SET value = '1' WHERE key = 'version'");
        sqlite3_close(db);
    }
    for (int open = 0; open < 2; ++open) {  // the second open finds nothing to convert
        connection = ConnectUser(path);
        EXPECT_EQ(QueryWithNulls(connection, "SELECT id, name, amount, cur FROM fees ORDER BY id"),
                  (Rows{{"3", "a", "25.5000", "2.50"}, {"7", "b", "-1234.5678", "NULL"}}))
            << "open " << open;
        KdbDisconnect(connection);
    }
    connection = ConnectUser(path);
    EXPECT_EQ(Changed(connection, "INSERT INTO fees (name, amount) VALUES ('c', 1)"), 1u);
    EXPECT_EQ(Query(connection, "SELECT id FROM fees WHERE name = 'c'"), (Rows{{"11"}}))
        << "the sequence is kept";
    KdbDisconnect(connection);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(SqliteText(db, "SELECT value FROM kdd_meta WHERE key = 'version'"), "2\n");
    EXPECT_EQ(SqliteText(db, "SELECT name, type, \"notnull\", pk FROM pragma_table_info('fees')"),
              "id|INTEGER|0|1\nname|TEXT|0|0\namount|INTEGER|1|0\ncur|INTEGER|0|0\n");
    EXPECT_EQ(
        SqliteText(db, "SELECT name FROM sqlite_master WHERE type = 'index' AND tbl_name = 'fees'"),
        "fees_name\n");
    EXPECT_EQ(SqliteText(db, "SELECT amount, typeof(amount) FROM fees ORDER BY id"),
              "255000|integer\n-12345678|integer\n10000|integer\n");
    sqlite3_close(db);
}

}  // namespace

TEST(NumberRangesTest, FolderNumberWithMoreDigitsThanItsDecimalsLeaveRoomForReadsExactly) {
    // Another program wrote "12345" into a numeric field of length 5 with 1 decimal: the value
    // has no room for its decimal, but it is a whole number and reads as one, not as asterisks.
    TempDir dir;
    MakeTable(dir.File("wide.dbf"), Variant::DBase3, {{"ID", 'N', 3}, {"AMT", 'N', 5, 1}},
              {{I(1), R(1.5)}, {I(2), R(2.5)}});
    std::string bytes = ReadFile(dir.File("wide.dbf"));
    const size_t header = static_cast<uint8_t>(bytes[8]) | static_cast<uint8_t>(bytes[9]) << 8;
    const size_t recordLength = static_cast<uint8_t>(bytes[10]) | static_cast<uint8_t>(bytes[11])
                                                                      << 8;
    bytes.replace(header + recordLength + 1 + 3, 5, "12345");  // the second record's AMT
    WriteFile(dir.File("wide.dbf"), bytes);
    uint32_t connection = ConnectFolder(dir.Path());
    EXPECT_EQ(Query(connection, "SELECT id, amt FROM wide ORDER BY id"),
              (Rows{{"  1", "  1.5"}, {"  2", "12345"}}));
    EXPECT_EQ(Query(connection, "SELECT sum(amt) FROM wide"), (Rows{{"12346.50"}}));
    KdbDisconnect(connection);
}

TEST(NumberRangesTest, NumbersAreReadAndWrittenWithoutTheProcessLocale) {
    // A program that sets a decimal-comma locale still gets "2.25" read as two and a quarter and
    // numeric fields written with a point.
    const parvell::test::TGeneratedLocales locales({"de_DE.UTF-8"});
    if (!locales.Available()) GTEST_SKIP() << "localedef is not installed";
    const parvell::test::TScopedLocaleEnv env({{"LOCPATH", locales.Path()}});
    ASSERT_NE(std::setlocale(LC_NUMERIC, "de_DE.UTF-8"), nullptr);
    TempDir dir;
    uint32_t admin = CreateDictionary(dir.File("n.kdd"));
    RunSql(admin, "CREATE TABLE t (txt CHAR(8), n NUMERIC(8,2))");
    RunSql(admin, "INSERT INTO t VALUES ('2.25', 1234.5)");
    EXPECT_EQ(Query(admin, "SELECT CAST(txt AS DOUBLE) * 2, n, CAST(txt AS NUMERIC(6,2)) FROM t"),
              (Rows{{"4.50", " 1234.50", "  2.25"}}));
    KdbDisconnect(admin);
    std::setlocale(LC_NUMERIC, "C");
}
