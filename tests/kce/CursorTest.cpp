// Static cursors: column descriptions, the native record layout per type with nulls, field texts,
// navigation and bookmarks, and results larger than the memory limit; navigation and large
// results also with cursors filled on the engine's second thread while they are read, and what
// stops such a filling (a time-out, a close, a disconnect).
#include <cstdlib>
#include <cstring>
#include <thread>

#include "tests/kce/KceSupport.h"

namespace {

using namespace kcetest;
using Bytes = std::vector<uint8_t>;

template <typename T>
Bytes Le(T value) {
    Bytes out(sizeof value);
    std::memcpy(out.data(), &value, sizeof value);
    return out;
}

Bytes Text(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

Bytes Cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class TypedCursorTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new TempDir();
        connection_ = CreateDictionary(dir_->File("typed.kdd"));
        KdbSetDateFormat("MM/DD/CCYY");
        KdbSetDecimals(2);
        RunSql(connection_,
               "CREATE TABLE typed (l LOGICAL, n NUMERIC(8,2), d DATE, c CHAR(6), m MEMO, b "
               "BINARY, dbl DOUBLE, "
               "i INTEGER, si SMALLINT, t TIME, ts TIMESTAMP, r RAW(4), cur CURRENCY, mo MONEY, ci "
               "CHAR_CI(5), "
               "bi BIGINT, vc VARCHAR(8), vb VARBINARY(4))");
        uint32_t st = 0;
        ASSERT_EQ(KdbCreateSQLStatement(connection_, &st), 0u);
        ASSERT_EQ(KdbPrepareSQL(st,
                                "INSERT INTO typed (l, n, d, c, m, b, dbl, i, si, t, ts, r, cur, "
                                "mo, ci, bi, vc, vb) "
                                "VALUES (:l, :n, :d, :c, :m, :b, :dbl, :i, :si, :t, :ts, :r, :cur, "
                                ":mo, :ci, :bi, :vc, :vb)"),
                  0u)
            << LastError();
        const uint8_t binary[] = {0, 1, 2};
        const uint8_t raw[] = {1, 2, 3, 4};
        const uint8_t varbinary[] = {9, 8};
        int32_t stamp[2] = {2451545, 43200000};
        uint16_t p = 0;
        EXPECT_EQ(KdbSetLogical(st, ++p, 1), 0u);
        EXPECT_EQ(KdbSetDouble(st, ++p, -12.5), 0u);
        EXPECT_EQ(KdbSetJulian(st, ++p, 2451545), 0u);
        EXPECT_EQ(KdbSetString(st, ++p, "Z\x81", 2), 0u);
        EXPECT_EQ(KdbSetString(st, ++p, "memo \xE9text", 10), 0u);
        EXPECT_EQ(KdbSetBinary(st, ++p, 6, 3, 0, binary, 3), 0u);
        EXPECT_EQ(KdbSetDouble(st, ++p, 0.1), 0u);
        EXPECT_EQ(KdbSetLong(st, ++p, -7), 0u);
        EXPECT_EQ(KdbSetShort(st, ++p, 300), 0u);
        EXPECT_EQ(KdbSetMilliseconds(st, ++p, 45296789), 0u);
        EXPECT_EQ(KdbSetTimeStampRaw(st, ++p, reinterpret_cast<const uint8_t*>(stamp), 8), 0u);
        EXPECT_EQ(KdbSetBinary(st, ++p, 6, 4, 0, raw, 4), 0u);
        EXPECT_EQ(KdbSetDouble(st, ++p, 2.5), 0u);
        EXPECT_EQ(KdbSetDouble(st, ++p, 123.45), 0u);
        EXPECT_EQ(KdbSetString(st, ++p, "abc", 3), 0u);
        EXPECT_EQ(KdbSetLongLong(st, ++p, int64_t(1) << 40), 0u);
        EXPECT_EQ(KdbSetString(st, ++p, "hi", 2), 0u);
        EXPECT_EQ(KdbSetBinary(st, ++p, 6, 2, 0, varbinary, 2), 0u);
        uint32_t cursor = 0;
        ASSERT_EQ(KdbExecuteSQL(st, &cursor), 0u) << LastError();
        KdbCloseSQLStatement(st);
        RunSql(connection_, "INSERT INTO typed (l) VALUES (NULL)");
    }
    static void TearDownTestSuite() {
        KdbDisconnect(connection_);
        delete dir_;
    }

    // Row 1 holds values, row 2 nulls.
    uint32_t OpenTyped() {
        uint32_t cursor = RunSql(connection_, "SELECT * FROM typed ORDER BY si DESC");
        EXPECT_NE(cursor, 0u);
        return cursor;
    }

    static TempDir* dir_;
    static uint32_t connection_;
};

TempDir* TypedCursorTest::dir_ = nullptr;
uint32_t TypedCursorTest::connection_ = 0;

struct TypeCase {
    const char* name;
    uint16_t type;
    uint32_t length;
    uint16_t decimals;
    uint32_t width;
    Bytes value;       // the value row's bytes; empty: checked elsewhere (blobs)
    Bytes null;        // the null row's bytes; empty: checked elsewhere
    const char* text;  // KdbGetField text of the value row
};

std::vector<TypeCase> TypeCases() {
    return {
        {"l", 1, 1, 0, 1, Text("T"), Text(" "), "T"},
        {"n", 2, 8, 2, 8, Text("  -12.50"), Bytes(8, 0), "  -12.50"},
        {"d", 3, 4, 0, 4, Le<int32_t>(2451545), Bytes(4, 0), "01/01/2000"},
        {"c", 4, 6, 0, 6, Text("Z\x81    "), Bytes(6, 0), "Z\x81    "},
        {"m", 5, 16, 0, 16, {}, {}, "memo \xE9text"},
        {"b", 6, 16, 0, 16, {}, {}, std::string("\0\1\2", 3).c_str()},
        {"dbl", 10, 8, 0, 8, Le<double>(0.1), Le<uint64_t>(0x8000000000000020ull), "0.10"},
        {"i", 11, 4, 0, 4, Le<int32_t>(-7), Le<uint32_t>(0x80000000u), "-7"},
        {"si", 12, 2, 0, 2, Le<int16_t>(300), Le<uint16_t>(0x8000), "300"},
        {"t", 13, 4, 0, 4, Le<int32_t>(45296789), Le<uint32_t>(0xFFFFFFFFu), "12:34:56.789"},
        {"ts",
         14,
         8,
         0,
         8,
         Cat(Le<int32_t>(2451545), Le<int32_t>(43200000)),
         {},
         "01/01/2000 12:00:00.000"},
        {"r", 16, 4, 0, 4, Bytes{1, 2, 3, 4}, Bytes(4, 0), "\1\2\3\4"},
        {"cur", 17, 8, 0, 8, Le<double>(2.5), Le<uint64_t>(0x8000000000000020ull), "2.50"},
        {"mo", 18, 8, 0, 8, Le<int64_t>(1234500), Le<int64_t>(INT64_MIN), "123.4500"},
        {"ci", 20, 5, 0, 5, Text("abc  "), Bytes(5, 0), "abc  "},
        {"bi", 21, 8, 0, 8, Le<int64_t>(int64_t(1) << 40), Le<int64_t>(INT64_MIN), "1099511627776"},
        {"vc", 23, 8, 0, 10, Cat(Cat(Text("hi"), Bytes(6, 0)), Le<uint16_t>(2)), {}, "hi"},
        {"vb", 24, 4, 0, 6, Cat(Bytes{9, 8, 0, 0}, Le<uint16_t>(2)), {}, "\x09\x08"},
    };
}

TEST_F(TypedCursorTest, ColumnsAreDescribedAndLaidOutOneAfterAnother) {
    uint32_t cursor = OpenTyped();
    auto cases = TypeCases();
    uint16_t fields = 0;
    ASSERT_EQ(KdbGetNumFields(cursor, &fields), 0u);
    ASSERT_EQ(fields, cases.size());
    uint16_t tableType = 0;
    EXPECT_EQ(KdbGetTableType(cursor, &tableType), 0u);
    EXPECT_EQ(tableType, KDB_TABLE_KDT);
    uint32_t expectedOffset = 0;
    for (uint16_t f = 1; f <= fields; ++f) {
        const TypeCase& c = cases[f - 1];
        char name[129];
        uint16_t nameLen = sizeof name;
        uint16_t type = 0;
        uint16_t decimals = 99;
        uint32_t length = 0;
        uint32_t offset = 0;
        ASSERT_EQ(KdbGetFieldName(cursor, f, name, &nameLen), 0u);
        EXPECT_STREQ(name, c.name);
        EXPECT_EQ(KdbGetFieldType(cursor, f, &type), 0u);
        EXPECT_EQ(type, c.type) << c.name;
        EXPECT_EQ(KdbGetFieldLength(cursor, f, &length), 0u);
        EXPECT_EQ(length, c.length) << c.name;
        EXPECT_EQ(KdbGetFieldDecimals(cursor, f, &decimals), 0u);
        EXPECT_EQ(decimals, c.decimals) << c.name;
        EXPECT_EQ(KdbGetFieldOffset(cursor, f, &offset), 0u);
        EXPECT_EQ(offset, expectedOffset) << c.name;
        expectedOffset += c.width;
    }
    uint32_t recordLength = 0;
    EXPECT_EQ(KdbGetRecordLength(cursor, &recordLength), 0u);
    EXPECT_EQ(recordLength, expectedOffset);
    uint16_t type = 0;
    EXPECT_EQ(KdbGetFieldType(cursor, 0, &type), uint32_t(KDB_ERR_FIELD_NUMBER));
    EXPECT_EQ(KdbGetFieldType(cursor, fields + 1, &type), uint32_t(KDB_ERR_FIELD_NUMBER));
    KdbCloseTable(cursor);
}

TEST_F(TypedCursorTest, NativeRecordHoldsValuesAndNullMarkers) {
    uint32_t cursor = OpenTyped();
    auto cases = TypeCases();
    uint32_t recordLength = 0;
    KdbGetRecordLength(cursor, &recordLength);
    Bytes values(recordLength + 10, 0xEE);
    Bytes nulls(recordLength, 0xEE);
    uint32_t len = static_cast<uint32_t>(values.size());
    ASSERT_EQ(KdbGetRecord(cursor, values.data(), &len), 0u) << LastError();
    EXPECT_EQ(len, recordLength);
    EXPECT_EQ(values[recordLength], 0xEE) << "nothing past the record is written";
    ASSERT_EQ(KdbSkip(cursor, 1), 0u);
    len = recordLength;
    ASSERT_EQ(KdbGetRecord(cursor, nulls.data(), &len), 0u);
    Bytes nullRecord(recordLength);
    len = recordLength;
    ASSERT_EQ(KdbGetNullRecord(cursor, nullRecord.data(), &len), 0u);
    EXPECT_EQ(nullRecord, nulls);

    uint32_t offset = 0;
    for (uint16_t f = 1; f <= cases.size(); ++f) {
        const TypeCase& c = cases[f - 1];
        KdbGetFieldOffset(cursor, f, &offset);
        Bytes value(values.begin() + offset, values.begin() + offset + c.width);
        Bytes null(nulls.begin() + offset, nulls.begin() + offset + c.width);
        if (!c.value.empty()) {
            EXPECT_EQ(value, c.value) << c.name;
        }
        if (!c.null.empty()) {
            EXPECT_EQ(null, c.null) << c.name;
        }
        int32_t marker = 0;
        switch (c.type) {
            case 5:
            case 6:
                std::memcpy(&marker, value.data(), 4);
                EXPECT_EQ(marker, -1) << c.name;
                std::memcpy(&marker, null.data(), 4);
                EXPECT_EQ(marker, 0) << c.name;
                break;
            case 14:
                EXPECT_EQ(Bytes(null.begin(), null.begin() + 4), Bytes(4, 0));
                break;
            case 23:
            case 24:
                EXPECT_EQ(Bytes(null.end() - 2, null.end()), Le<uint16_t>(0xFFFF)) << c.name;
                break;
        }
        uint16_t isNull = 0;
        EXPECT_EQ(KdbIsNull(cursor, f, &isNull), 0u);
        EXPECT_EQ(isNull, 1) << c.name;
    }
    KdbCloseTable(cursor);
}

TEST_F(TypedCursorTest, FieldsReadAsTextAndBlobs) {
    uint32_t cursor = OpenTyped();
    auto cases = TypeCases();
    for (uint16_t f = 1; f <= cases.size(); ++f) {
        const TypeCase& c = cases[f - 1];
        std::string expected = c.type == 6    ? std::string("\0\1\2", 3)
                               : c.type == 16 ? std::string("\1\2\3\4", 4)
                                              : c.text;
        EXPECT_EQ(FieldText(cursor, f), expected) << c.name;
        uint16_t isNull = 1;
        EXPECT_EQ(KdbIsNull(cursor, f, &isNull), 0u);
        EXPECT_EQ(isNull, 0) << c.name;
    }
    // Trimming, and a buffer one byte short.
    EXPECT_EQ(FieldText(cursor, 2, 1), "-12.50");
    EXPECT_EQ(FieldText(cursor, 15, 2), "abc");
    EXPECT_EQ(FieldText(cursor, 15, 3), "abc");
    char small[5];
    uint32_t len = sizeof small;
    EXPECT_EQ(KdbGetField(cursor, 15, small, &len, 0), uint32_t(KDB_ERR_BUFFER_TOO_SMALL));
    EXPECT_EQ(len, 5u);
    EXPECT_EQ(KdbGetField(cursor, 15, small, &len, 9), uint32_t(KDB_ERR_INVALID_ARGUMENT));

    uint16_t memoType = 0;
    EXPECT_EQ(KdbGetMemoDataType(cursor, 5, &memoType), 0u);
    EXPECT_EQ(memoType, 5);
    EXPECT_EQ(KdbGetMemoDataType(cursor, 6, &memoType), 0u);
    EXPECT_EQ(memoType, 6);
    uint32_t length = 0;
    EXPECT_EQ(KdbGetBinaryLength(cursor, 6, &length), 0u);
    EXPECT_EQ(length, 3u);
    uint8_t tail[8];
    len = sizeof tail;
    EXPECT_EQ(KdbGetBinary(cursor, 6, 1, tail, &len), 0u);
    EXPECT_EQ(Bytes(tail, tail + len), (Bytes{1, 2}));
    EXPECT_EQ(KdbGetDataLength(cursor, 5, &length), 0u);
    EXPECT_EQ(length, 10u);

    // Decimals of doubles and the date format follow the engine-wide settings.
    ASSERT_EQ(KdbSetDecimals(4), 0u);
    ASSERT_EQ(KdbSetDateFormat("dd.mm.ccyy"), 0u);
    EXPECT_EQ(FieldText(cursor, 7), "0.1000");
    EXPECT_EQ(FieldText(cursor, 3), "01.01.2000");
    KdbSetDecimals(2);
    KdbSetDateFormat("MM/DD/CCYY");

    // Null fields read as empty text and as empty.
    KdbSkip(cursor, 1);
    uint16_t empty = 0;
    for (uint16_t f = 1; f <= cases.size(); ++f) {
        EXPECT_EQ(FieldText(cursor, f), "") << cases[f - 1].name;
        EXPECT_EQ(KdbIsEmpty(cursor, f, &empty), 0u);
        EXPECT_EQ(empty, 1) << cases[f - 1].name;
    }
    KdbCloseTable(cursor);
}

TEST_F(TypedCursorTest, ValuesRoundTripExactly) {
    RunSql(connection_, "CREATE TABLE exact (n NUMERIC(12,4), mo MONEY, ts TIMESTAMP, c CHAR(12))");
    uint32_t st = 0;
    ASSERT_EQ(KdbCreateSQLStatement(connection_, &st), 0u);
    ASSERT_EQ(KdbPrepareSQL(st, "INSERT INTO exact (n, mo, ts, c) VALUES (:n, :mo, :ts, :c)"), 0u)
        << LastError();
    int32_t stamp[2] = {2459000, 86399999};
    std::string bytes = "\x01\x7F\x80\x81\x8D\x8F\x90\x9D\xA0\xFFx";
    KdbSetDouble(st, 1, -123456.0001);
    KdbSetDouble(st, 2, 922337203.9999);
    KdbSetTimeStampRaw(st, 3, reinterpret_cast<const uint8_t*>(stamp), 8);
    KdbSetString(st, 4, bytes.data(), static_cast<uint32_t>(bytes.size()));
    uint32_t cursor = 0;
    ASSERT_EQ(KdbExecuteSQL(st, &cursor), 0u) << LastError();
    KdbCloseSQLStatement(st);

    cursor = RunSql(connection_, "SELECT n, mo, ts, c FROM exact");
    EXPECT_EQ(FieldText(cursor, 1), "-123456.0001");
    EXPECT_EQ(FieldText(cursor, 2), "922337203.9999");
    Bytes record(200);
    uint32_t len = 200;
    ASSERT_EQ(KdbGetRecord(cursor, record.data(), &len), 0u);
    uint32_t offset = 0;
    KdbGetFieldOffset(cursor, 3, &offset);
    EXPECT_EQ(Bytes(record.begin() + offset, record.begin() + offset + 8),
              Cat(Le<int32_t>(2459000), Le<int32_t>(86399999)));
    EXPECT_EQ(FieldText(cursor, 4), bytes + " ");  // padded to 12
    KdbCloseTable(cursor);
}

// Runs a test with cursors filled before the query returns, and filled on the engine's second
// thread while the test reads them.
class FillModes : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override { ASSERT_EQ(KdbFillCursorsInBackground(GetParam() ? 1 : 0), 0u); }
    void TearDown() override { KdbFillCursorsInBackground(0); }
};

std::string FillModeName(const ::testing::TestParamInfo<bool>& info) {
    return info.param ? "FilledInBackground" : "FilledBeforeReturn";
}

class CursorNavigationTest : public FillModes {};
INSTANTIATE_TEST_SUITE_P(Cursors, CursorNavigationTest, ::testing::Bool(), FillModeName);

TEST_P(CursorNavigationTest, PositionsRecordNumbersAndBookmarks) {
    TempDir dir;
    uint32_t connection = CreateDictionary(dir.File("nav.kdd"));
    RunSql(connection, "CREATE TABLE seq (n INTEGER)");
    RunSql(connection, "INSERT INTO seq (n) VALUES (10), (20), (30)");
    uint32_t cursor = RunSql(connection, "SELECT n FROM seq ORDER BY n");
    uint16_t bof = 0;
    uint16_t eof = 0;
    uint32_t number = 0;
    uint32_t count = 0;
    EXPECT_EQ(KdbGetRecordCount(cursor, 2, &count), 0u);
    EXPECT_EQ(count, 3u);
    // A new cursor sits on record 1.
    EXPECT_EQ(KdbGetRecordNum(cursor, 2, &number), 0u);
    EXPECT_EQ(number, 1u);

    KdbGotoBOF(cursor);
    KdbAtBOF(cursor, &bof);
    KdbAtEOF(cursor, &eof);
    EXPECT_EQ(bof, 1);
    EXPECT_EQ(eof, 0);
    uint8_t buf[16];
    uint32_t len = sizeof buf;
    EXPECT_EQ(KdbGetRecord(cursor, buf, &len), uint32_t(KDB_ERR_NO_CURRENT_RECORD));
    uint16_t visible = 0;
    EXPECT_EQ(KdbIsRecordVisible(cursor, &visible), uint32_t(KDB_ERR_NO_CURRENT_RECORD));
    EXPECT_EQ(KdbSkip(cursor, -5), 0u);
    KdbAtBOF(cursor, &bof);
    EXPECT_EQ(bof, 1);

    std::vector<std::string> walked;
    while (KdbSkip(cursor, 1) == 0 && KdbAtEOF(cursor, &eof) == 0 && !eof) {
        KdbGetRecordNum(cursor, 2, &number);
        walked.push_back(std::to_string(number) + ":" + FieldText(cursor, 1));
    }
    EXPECT_EQ(walked, (std::vector<std::string>{"1:10", "2:20", "3:30"}));
    KdbGetRecordNum(cursor, 2, &number);
    EXPECT_EQ(number, 0u);

    KdbGotoEOF(cursor);
    KdbSkip(cursor, -1);
    EXPECT_EQ(FieldText(cursor, 1), "30");
    uint8_t bookmark[4];
    len = sizeof bookmark;
    ASSERT_EQ(KdbGetBookmark60(cursor, bookmark, &len), 0u);
    uint32_t marked = 0;
    std::memcpy(&marked, bookmark, 4);
    EXPECT_EQ(marked, 3u);
    KdbGotoRecord(cursor, 1);
    EXPECT_EQ(FieldText(cursor, 1), "10");
    EXPECT_EQ(KdbGotoBookmark(cursor, bookmark, 4), 0u);
    EXPECT_EQ(FieldText(cursor, 1), "30");
    uint8_t other[4] = {1, 0, 0, 0};
    int32_t order = 0;
    EXPECT_EQ(KdbCompareBookmarks(other, bookmark, &order), 0u);
    EXPECT_EQ(order, -1);
    uint8_t missing[4] = {9, 0, 0, 0};
    EXPECT_EQ(KdbGotoBookmark(cursor, missing, 4), uint32_t(KDB_ERR_RECORD_NOT_FOUND));
    EXPECT_EQ(KdbGotoRecord(cursor, 0), uint32_t(KDB_ERR_RECORD_NOT_FOUND));
    KdbCloseTable(cursor);

    // An empty result is at BOF and EOF at once.
    cursor = RunSql(connection, "SELECT n FROM seq WHERE n > 100");
    KdbAtBOF(cursor, &bof);
    KdbAtEOF(cursor, &eof);
    EXPECT_EQ(bof + eof, 2);
    KdbGotoBOF(cursor);
    KdbSkip(cursor, 1);
    KdbAtEOF(cursor, &eof);
    EXPECT_EQ(eof, 1);
    EXPECT_EQ(KdbCloseTable(cursor), 0u);
    EXPECT_EQ(KdbCloseTable(cursor), uint32_t(KDB_ERR_INVALID_HANDLE));
    KdbDisconnect(connection);
}

// Calls on one cursor after another reuse the cursor the thread named last; whatever closes a
// cursor (its own close, its connection's disconnect, another thread) makes its handle fail at
// once, and a cursor opened meanwhile is not mistaken for it.
TEST(CursorHandleTest, ClosedCursorsFailOnEveryThreadAndOthersStayReachable) {
    TempDir dir;
    uint32_t connection = CreateDictionary(dir.File("handles.kdd"));
    RunSql(connection, "CREATE TABLE seq (n INTEGER)");
    RunSql(connection, "INSERT INTO seq (n) VALUES (10), (20), (30)");
    const uint32_t first = RunSql(connection, "SELECT n FROM seq ORDER BY n");
    const uint32_t second = RunSql(connection, "SELECT n FROM seq ORDER BY n DESC");
    // Alternating handles read each cursor's own record.
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(FieldText(first, 1), "10");
        EXPECT_EQ(FieldText(second, 1), "30");
    }
    uint16_t eof = 0;
    EXPECT_EQ(KdbSkip(first, 1), 0u);
    EXPECT_EQ(KdbCloseTable(first), 0u);
    EXPECT_EQ(KdbSkip(first, 1), uint32_t(KDB_ERR_INVALID_HANDLE));
    EXPECT_EQ(KdbAtEOF(first, &eof), uint32_t(KDB_ERR_INVALID_HANDLE));
    EXPECT_EQ(FieldText(second, 1), "30");

    // Closed on another thread while this one named it last.
    EXPECT_EQ(KdbSkip(second, 1), 0u);
    std::thread([&] { EXPECT_EQ(KdbCloseTable(second), 0u); }).join();
    EXPECT_EQ(KdbAtEOF(second, &eof), uint32_t(KDB_ERR_INVALID_HANDLE));

    // Released with the connection.
    const uint32_t third = RunSql(connection, "SELECT n FROM seq");
    EXPECT_EQ(FieldText(third, 1), "10");
    EXPECT_EQ(KdbDisconnect(connection), 0u);
    EXPECT_EQ(KdbAtEOF(third, &eof), uint32_t(KDB_ERR_INVALID_HANDLE));
}

class CursorSpillTest : public FillModes {};
INSTANTIATE_TEST_SUITE_P(Cursors, CursorSpillTest, ::testing::Bool(), FillModeName);

TEST_P(CursorSpillTest, ResultsPastTheMemoryLimitReadBackFromTheTemporaryFile) {
    TempDir dir;
    uint32_t connection = CreateDictionary(dir.File("big.kdd"));
    RunSql(connection, "CREATE TABLE big (n INTEGER, pad CHAR(200), note MEMO)");
    ASSERT_EQ(KdbBeginTransaction(connection), 0u);
    uint32_t st = 0;
    ASSERT_EQ(KdbCreateSQLStatement(connection, &st), 0u);
    ASSERT_EQ(KdbPrepareSQL(st, "INSERT INTO big (n, pad, note) VALUES (:n, :p, :m)"), 0u)
        << LastError();
    const int rows = 12000;
    for (int i = 1; i <= rows; ++i) {
        std::string pad = "row " + std::to_string(i);
        std::string note(static_cast<size_t>(i % 300), static_cast<char>('a' + i % 26));
        KdbSetLong(st, 1, i);
        KdbSetString(st, 2, pad.data(), static_cast<uint32_t>(pad.size()));
        KdbSetString(st, 3, note.data(), static_cast<uint32_t>(note.size()));
        uint32_t cursor = 0;
        ASSERT_EQ(KdbExecuteSQL(st, &cursor), 0u) << LastError();
    }
    KdbCloseSQLStatement(st);
    ASSERT_EQ(KdbCommitTransaction(connection), 0u);

    // 2.6 MB of records and 1.8 MB of memos against a limit of 100 kB.
    setenv("KCE_RESULT_MEMORY", "100000", 1);
    uint32_t cursor = RunSql(connection, "SELECT n, pad, note FROM big ORDER BY n");
    unsetenv("KCE_RESULT_MEMORY");
    uint32_t count = 0;
    KdbGetRecordCount(cursor, 2, &count);
    ASSERT_EQ(count, uint32_t(rows));
    auto check = [&](int i) {
        ASSERT_EQ(KdbGotoRecord(cursor, static_cast<uint32_t>(i)), 0u);
        EXPECT_EQ(FieldText(cursor, 1), std::to_string(i));
        EXPECT_EQ(FieldText(cursor, 2, 2), "row " + std::to_string(i));
        EXPECT_EQ(FieldText(cursor, 3),
                  std::string(static_cast<size_t>(i % 300), static_cast<char>('a' + i % 26)));
    };
    for (int i : {rows, 1, rows / 2, 2, rows - 1, 7777}) check(i);
    KdbGotoBOF(cursor);
    uint16_t eof = 0;
    int seen = 0;
    while (KdbSkip(cursor, 1) == 0 && KdbAtEOF(cursor, &eof) == 0 && !eof) {
        ++seen;
        if (seen % 997 == 0) {
            EXPECT_EQ(FieldText(cursor, 1), std::to_string(seen));
        }
    }
    EXPECT_EQ(seen, rows);
    KdbCloseTable(cursor);
    KdbDisconnect(connection);
}

// A table of 2048 numbers: its cross joins give far more rows than a test can wait for.
uint32_t DictionaryOfNumbers(const TempDir& dir) {
    uint32_t connection = CreateDictionary(dir.File("numbers.kdd"));
    RunSql(connection, "CREATE TABLE t (n INTEGER)");
    RunSql(connection, "INSERT INTO t (n) VALUES (1)");
    for (int i = 0; i < 11; ++i) RunSql(connection, "INSERT INTO t (n) SELECT n + 1 FROM t");
    return connection;
}

const char* const kEndless = "SELECT a.n, b.n, c.n FROM t a, t b, t c";

class BackgroundFillTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(KdbFillCursorsInBackground(1), 0u); }
    void TearDown() override { KdbFillCursorsInBackground(0); }
};

// The query returns its cursor at once; the records filled before the time-out read normally,
// and the call that needs the rest gets the time-out, as the query itself does when filled
// before it returns.
TEST_F(BackgroundFillTest, ATimeOutWhileFillingFailsTheFirstReadPastTheLastRecordIn) {
    TempDir dir;
    const uint32_t connection = DictionaryOfNumbers(dir);
    ASSERT_EQ(KdbSetSQLTimeout(connection, 1), 0u);
    const uint32_t cursor = RunSql(connection, kEndless);
    ASSERT_NE(cursor, 0u);
    EXPECT_EQ(FieldText(cursor, 1), "1");
    ASSERT_EQ(KdbSkip(cursor, 1), 0u) << LastError();
    EXPECT_EQ(FieldText(cursor, 3), "2");

    uint32_t count = 0;
    EXPECT_EQ(KdbGetRecordCount(cursor, 2, &count), uint32_t(KDB_ERR_SQL));
    const std::string text = LastError();
    EXPECT_NE(text.find("NativeError = " + std::to_string(KDB_SQL_TIMEOUT)), std::string::npos)
        << text;
    EXPECT_NE(text.find("time-out of 1 seconds"), std::string::npos) << text;
    EXPECT_EQ(KdbGotoEOF(cursor), uint32_t(KDB_ERR_SQL));
    // What was filled stays readable.
    EXPECT_EQ(KdbGotoRecord(cursor, 1), 0u);
    EXPECT_EQ(FieldText(cursor, 2), "1");
    EXPECT_EQ(KdbCloseTable(cursor), 0u);

    ASSERT_EQ(KdbSetSQLTimeout(connection, 0), 0u);
    EXPECT_EQ(Query(connection, "SELECT count(*) FROM t"),
              (std::vector<std::vector<std::string>>{{"2048"}}));
    KdbDisconnect(connection);
}

// A filling that would never end in a test's time stops when its cursor is closed or its
// connection goes, and the connection is free again at once.
TEST_F(BackgroundFillTest, ClosingOrDisconnectingStopsTheFilling) {
    TempDir dir;
    const uint32_t connection = DictionaryOfNumbers(dir);
    for (int round = 0; round < 3; ++round) {
        const uint32_t cursor = RunSql(connection, kEndless);
        EXPECT_EQ(FieldText(cursor, 3), "1");
        EXPECT_EQ(KdbCloseTable(cursor), 0u);
        EXPECT_EQ(Query(connection, "SELECT count(*) FROM t"),
                  (std::vector<std::vector<std::string>>{{"2048"}}));
    }
    const uint32_t cursor = RunSql(connection, kEndless);
    uint32_t statement = 0;
    ASSERT_EQ(KdbCreateSQLStatement(connection, &statement), 0u);
    EXPECT_EQ(KdbDisconnect(connection), 0u);
    uint16_t eof = 0;
    EXPECT_EQ(KdbAtEOF(cursor, &eof), uint32_t(KDB_ERR_INVALID_HANDLE));
}

}  // namespace
