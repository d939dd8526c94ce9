// The writers' rules on small tables: widths, texts, cuts and padding, quoting, unsupported
// columns, the record number read per line, the walk's end and its failures.

#include <gtest/gtest.h>

#include "common/Exceptions.h"
#include "extract/Extract.h"
#include "tests/extract/ExtractFixture.h"

namespace parvell {
namespace {

using namespace parvell::testing;

class WriterTest : public ::testing::Test {
protected:
    // Runs a layout over the table and returns the file's bytes.
    std::string Run(TExtractLayout layout, bool header) {
        if (!ds_.Active()) ds_.Open();
        const std::string out = folder_.File("out.txt");
        ExtractToFile(ds_, out, {layout, header}, callbacks_);
        return ReadBytes(out);
    }

    ProgramLocale locale_;
    ScratchFolder folder_;
    MemoryDataSet ds_{"KdbTable1"};
    RecordingCallbacks callbacks_;
};

TEST(FieldTypeLengthTest, WidthTable) {
    const std::pair<TFieldType, int32_t> table[] = {
        {ftString, 0},       {ftSmallint, 6},
        {ftInteger, 11},     {ftWord, 5},
        {ftBoolean, 5},      {ftFloat, 12},
        {ftCurrency, 12},    {ftDate, 10},
        {ftTime, 15},        {ftDateTime, 22},
        {ftAutoInc, 11},     {ftLargeint, 11},
        {ftMemo, -1},        {ftBCD, -1},
        {ftBlob, -1},        {ftFixedChar, -1},
        {ftWideString, -1},  {ftUnknown, -1},
        {ftFMTBcd, -1},      {ftTimeStamp, -1},
        {ftOraInterval, -1}, {static_cast<TFieldType>(200), -1},
    };
    for (const auto& [type, width] : table) {
        EXPECT_EQ(GetFieldTypeLength(type), width) << FieldTypeName(type);
    }
}

struct LineCase {
    const char* name;
    std::vector<MemColumn> columns;
    std::vector<MemValue> row;
    TExtractLayout layout;
    std::string line;  // the record line, without CR LF
};

class RecordLineTest : public WriterTest, public ::testing::WithParamInterface<LineCase> {};

TEST_P(RecordLineTest, WritesTheLine) {
    const LineCase& c = GetParam();
    ds_.columns = c.columns;
    ds_.rows = {c.row};
    EXPECT_EQ(Run(c.layout, false), c.line + "\r\n");
}

const auto F = TExtractLayout::FixedLength;
const auto T = TExtractLayout::TabDelimited;
const auto C = TExtractLayout::CommaDelimited;

INSTANTIATE_TEST_SUITE_P(
    Rules, RecordLineTest,
    ::testing::Values(
        LineCase{"PaddedToWidths",
                 {{"S", ftString, 3}, {"N", ftSmallint}, {"D", ftDate}},
                 {Str("AB"), I16(-5), Null},
                 F,
                 "AB -5    " + std::string(10, ' ')},
        LineCase{"FloatCutToWidth", {{"F", ftFloat}}, {F64(1234.56789012345)}, F, "1234.5678901"},
        LineCase{"FloatCutDropsExponent",
                 {{"F", ftFloat}},
                 {F64(-1.23456789012345e-20)},
                 F,
                 "-1.234567890"},
        LineCase{"FloatCutInTabLayoutToo",
                 {{"F", ftFloat}},
                 {F64(1234.56789012345)},
                 T,
                 "1234.5678901\t"},
        LineCase{"BooleanTrue", {{"B", ftBoolean}}, {Bool(true)}, F, "True "},
        LineCase{"BooleanFalseFillsWidth", {{"B", ftBoolean}}, {Bool(false)}, F, "False"},
        LineCase{"AutoIncAsInteger", {{"A", ftAutoInc}}, {I32(42)}, F, "42         "},
        LineCase{"NullIntegerIsZero", {{"I", ftInteger}}, {Null}, T, "0\t"},
        LineCase{
            "LargeintKeepsAll64Bits", {{"L", ftLargeint}}, {I64(4294967297LL)}, F, "4294967297 "},
        LineCase{"LargeintCutToWidth",
                 {{"L", ftLargeint}},
                 {I64(-123456789012345LL)},
                 T,
                 "-1234567890\t"},
        LineCase{"NullTimeIsMidnight", {{"T", ftTime}}, {Null}, F, "12:00:00 AM    "},
        LineCase{"NullDateTimeIsEmpty", {{"D", ftDateTime}}, {Null}, T, "\t"},
        LineCase{"DateTimeLongerThanWidthNotCut",
                 {{"D", ftDateTime}},
                 {F64(StampCount(2008, 1, 15, 14, 30, 0))},
                 F,
                 "01/15/2008 2:30:00 PM "},
        LineCase{"StringLongerThanSizeNotCut", {{"S", ftString, 2}}, {Str("ABCD")}, F, "AB"},
        LineCase{"StringOfSizeZeroIsEmptyColumn",
                 {{"S", ftString, 0}, {"N", ftInteger}},
                 {Str(""), I32(1)},
                 T,
                 "\t1\t"},
        LineCase{"TabsAndLineBreaksUnescaped",
                 {{"S", ftString, 9}, {"S2", ftString, 9}},
                 {Str("a\tb"), Str("c\r\nd")},
                 T,
                 "a\tb\tc\r\nd\t"},
        LineCase{"UnsupportedColumnsLeaveNothing",
                 {{"M", ftMemo, 1}, {"N", ftSmallint}, {"B", ftBCD, 2, 8}},
                 {Raw({'x'}), I16(1), Bcd("1.5")},
                 T,
                 "1\t"},
        LineCase{"CommaQuotesNotDoubled",
                 {{"S", ftString, 10}, {"N", ftInteger}},
                 {Str("5\" x 7\""), Null},
                 C,
                 "\"5\" x 7\"\",\"\""},
        LineCase{"CommaWritesEveryType",
                 {{"M", ftMemo, 1}, {"B", ftBCD, 2, 8}, {"S", ftString, 4}},
                 {Raw({'m', ',', 'x'}), Bcd("0.50"), Str("a,b")},
                 C,
                 "\"m,x\",\"0.5\",\"a,b\""}),
    [](const ::testing::TestParamInfo<LineCase>& info) { return info.param.name; });

TEST_F(WriterTest, CommaExtractWritesEveryBigintWhole) {
    // An engine BIGINT column: a BCD of 20 digits without decimals, beyond the currency range.
    ds_.columns = {{"Id", ftInteger}, {"Big", ftBCD, 0, 20}};
    ds_.rows = {{I32(1), Bcd("-9223372036854775807")},
                {I32(2), Bcd("1000000000000000")},
                {I32(3), Bcd("-1000000000000000")},
                {I32(4), Bcd("9223372036854775807")}};
    EXPECT_EQ(Run(C, false),
              "\"1\",\"-9223372036854775807\"\r\n\"2\",\"1000000000000000\"\r\n"
              "\"3\",\"-1000000000000000\"\r\n\"4\",\"9223372036854775807\"\r\n");
    EXPECT_EQ(callbacks_.recordsWritten, 4);
}

TEST_F(WriterTest, StringFieldTextStopsAtItsSize) {
    // The field object itself cuts a string to its size; the fixed layout then pads.
    ds_.columns = {{"S", ftString, 3}};
    ds_.rows = {{Str("ABCDE")}};
    EXPECT_EQ(Run(F, false), "ABC\r\n");
}

TEST_F(WriterTest, FixedHeaderNamesWidthsOfWrittenColumns) {
    ds_.columns = {{"Name", ftString, 40}, {"DOB", ftDate}, {"M", ftMemo, 1}, {"Z", ftString, 0}};
    EXPECT_EQ(Run(F, true), "Name|40||DOB|10||\r\n");
    // The memo is left out silently; the string of size 0 is reported.
    EXPECT_EQ(callbacks_.unsupported, (std::vector<std::string>{"Z"}));
}

TEST_F(WriterTest, TabHeaderLinesUpWithRecords) {
    ds_.columns = {{"Name", ftString, 10}, {"City", ftString, 10}};
    ds_.rows = {{Str("X1"), Str("Y2")}};
    EXPECT_EQ(Run(T, true), "Name\tCity\t\r\nX1\tY2\t\r\n");
    EXPECT_EQ(callbacks_.headerAsks, 1);
}

TEST_F(WriterTest, CommaHeaderAndRecord) {
    ds_.columns = {{"Name", ftString, 10}, {"City", ftString, 10}};
    ds_.rows = {{Str("X1"), Str("Y2")}};
    EXPECT_EQ(Run(C, true), "\"Name\",\"City\"\r\n\"X1\",\"Y2\"\r\n");
    EXPECT_EQ(callbacks_.headerAsks, 0);
    EXPECT_EQ(callbacks_.lineAsks, 0);
}

TEST_F(WriterTest, UnsupportedColumnReportedForHeaderAndEveryRecord) {
    ds_.columns = {{"N", ftInteger}, {"Amount", ftBCD, 2, 8}, {"Notes", ftMemo, 1}};
    ds_.rows = {{I32(1), Bcd("1"), Null}, {I32(2), Bcd("2"), Null}, {I32(3), Null, Null}};
    for (const auto layout : {F, T}) {
        callbacks_.unsupported.clear();
        Run(layout, true);
        EXPECT_EQ(callbacks_.unsupported, std::vector<std::string>(4, "Amount"));
    }
    callbacks_.unsupported.clear();
    Run(F, false);
    EXPECT_EQ(callbacks_.unsupported.size(), 3u);
}

TEST_F(WriterTest, RecordNumberFollowsTheChoiceOfEachLine) {
    ds_.columns = {{"N", ftString, 3}};
    ds_.rows = {{Str("a")}, {Str("b")}, {Str("c")}, {Str("d")}};
    callbacks_.headerRecordNumber = true;
    // Checked for the first two lines, then unchecked during the run, then checked again.
    callbacks_.lineRecordNumbers = {true, true, false, true};
    EXPECT_EQ(Run(T, true), "Record Num\tN\t\r\n1\ta\t\r\n2\tb\t\r\nc\t\r\n4\td\t\r\n");
    EXPECT_EQ(callbacks_.lineAsks, 4);
}

TEST_F(WriterTest, FixedLayoutHeaderNeverHasRecordNumber) {
    ds_.columns = {{"N", ftString, 3}};
    callbacks_.headerRecordNumber = true;
    EXPECT_EQ(Run(F, true), "N|3||\r\n");
    EXPECT_EQ(callbacks_.headerAsks, 0);
}

TEST_F(WriterTest, ProgressStepRunsOncePerRecord) {
    FillPatients(ds_);
    for (const auto layout : {C, F, T}) {
        callbacks_.recordsWritten = 0;
        Run(layout, true);
        EXPECT_EQ(callbacks_.recordsWritten, 4);
    }
    ds_.Close();
    ds_.rows.clear();
    callbacks_.recordsWritten = 0;
    EXPECT_EQ(Run(C, true),
              "\"Name\",\"Age\",\"Visits\",\"Code\",\"Active\",\"Balance\",\"Fee\","
              "\"Born\",\"Seen\",\"Stamp\",\"Id\",\"Big\",\"Notes\",\"Amount\"\r\n");
    EXPECT_EQ(callbacks_.recordsWritten, 0);
}

TEST_F(WriterTest, StoppedRunKeepsLinesWritten) {
    ds_.columns = {{"N", ftInteger}};
    ds_.rows = {{I32(1)}, {I32(2)}, {I32(3)}};
    callbacks_.stopAfter = 2;
    ds_.Open();
    const std::string out = folder_.File("out.txt");
    const TExtractResult result = ExtractToFile(ds_, out, {T, false}, callbacks_);
    EXPECT_TRUE(result.cancelled);
    EXPECT_EQ(result.records, 2);
    EXPECT_EQ(ReadBytes(out), "1\t\r\n2\t\r\n");
}

TEST_F(WriterTest, ReadErrorKeepsCompleteLinesAndPropagates) {
    ds_.columns = {{"D", ftDate}};
    ds_.rows = {{I32(DayNumber(2008, 1, 15))}, {I32(-5)}, {I32(DayNumber(2008, 1, 16))}};
    for (const auto layout : {C, F}) {
        ds_.Close();
        const std::string out = folder_.File("out.txt");
        EXPECT_THROW(Run(layout, false), EConvertError);
        EXPECT_EQ(ReadBytes(out), layout == C ? "\"01/15/2008\"\r\n" : "01/15/2008\r\n");
    }
}

TEST_F(WriterTest, FetchErrorKeepsCompleteLinesAndPropagates) {
    ds_.columns = {{"N", ftInteger}};
    ds_.rows = {{I32(1)}, {I32(2)}, {I32(3)}};
    ds_.Open();
    ds_.failFetchNumber = ds_.fetches + 3;  // MoveFirst's fetch, the second record, then fails
    EXPECT_THROW(Run(C, true), EDatabaseError);
    EXPECT_EQ(ReadBytes(folder_.File("out.txt")), "\"N\"\r\n\"1\"\r\n\"2\"\r\n");
}

TEST_F(WriterTest, DatasetClosedDuringProgressStepIsAnErrorNotTheEnd) {
    ds_.columns = {{"N", ftInteger}};
    ds_.rows = {{I32(1)}, {I32(2)}, {I32(3)}};
    callbacks_.onRecordWritten = [this] { ds_.Close(); };
    ds_.Open();
    try {
        Run(C, false);
        FAIL() << "a cut-off run must not end as if complete";
    } catch (const EDatabaseError& error) {
        EXPECT_EQ(error.Message(), "KdbTable1: Cannot perform this operation on a closed dataset");
    }
    EXPECT_EQ(ReadBytes(folder_.File("out.txt")), "\"1\"\r\n");
}

TEST_F(WriterTest, DefinitionWithoutFieldShiftsLaterColumns) {
    // A definition type without field objects (here ftADT) puts later fields one place ahead of
    // their definitions: the definition at a position chooses width and rule, the field the name.
    ds_.columns = {{"S", ftString, 4}, {"X", ftADT}, {"N", ftInteger}};
    ds_.rows = {{Str("ab"), Null, I32(7)}};
    EXPECT_EQ(Run(F, true), "S|4||\r\nab  \r\n");
    EXPECT_EQ(callbacks_.unsupported, (std::vector<std::string>{"N", "N"}));
}

}  // namespace
}  // namespace parvell
