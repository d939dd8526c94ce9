// Record decoding on hand-built native records: the null rules of each table type and the
// decoding of every engine type, including the DBF and VFP paths no query cursor produces.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "data/ValueConvert.h"
#include "engine/kdbdata.h"
#include "kce/kce.h"

namespace parvell {
namespace {

using kdbrecord::Decode;
using kdbrecord::IsNull;

// A native record holding one field at offset 2 (so that offsets are honoured).
struct Record {
    Record(uint16_t engineType, uint32_t length, std::vector<uint8_t> bytes, uint8_t nullable = 1) {
        def.FieldNumber = 1;
        def.Offset = 2;
        def.Length = length;
        def.EngineType = engineType;
        def.Nullable = nullable;
        data.assign(2, 0xEE);
        data.insert(data.end(), bytes.begin(), bytes.end());
        data.resize(data.size() + 8, 0xEE);
    }
    TKCEFieldDef def;
    std::vector<uint8_t> data;
};

template <typename T>
std::vector<uint8_t> Bytes(T value) {
    std::vector<uint8_t> bytes(sizeof value);
    std::memcpy(bytes.data(), &value, sizeof value);
    return bytes;
}

std::vector<uint8_t> Text(std::string_view text) {
    return {text.begin(), text.end()};
}

// Answers of the VFP system field: null flag (option 1) and full-length flag (option 4).
uint16_t vfpNullAnswer = 0;
uint16_t vfpFullAnswer = 0;
uint32_t FakeVfp(uint32_t, uint16_t, const uint8_t*, uint16_t option, uint16_t* result) {
    *result = option == 1 ? vfpNullAnswer : vfpFullAnswer;
    return 0;
}

TRecordDecodeEnv Env(uint16_t tableType) {
    TRecordDecodeEnv env;
    env.TableType = tableType;
    env.AccessVfpSystemField = &FakeVfp;
    env.StringToJulian = &KdbConvertStringToJulian;
    return env;
}

struct NullCase {
    const char* name;
    uint16_t tableType;
    uint16_t engineType;
    uint32_t length;
    std::vector<uint8_t> bytes;
    bool isNull;
};

TEST(DecodeTest, NullRulesPerTableType) {
    const NullCase cases[] = {
        {"kdt logical space", 3, 1, 1, Text(" "), true},
        {"kdt logical F", 3, 1, 1, Text("F"), false},
        {"kdt char zeros", 3, 4, 3, {0, 0, 0}, true},
        {"kdt char blanks", 3, 4, 3, Text("   "), false},
        {"kdt numeric blanks", 3, 2, 4, Text("    "), false},
        {"kdt integer marker", 3, 11, 4, Bytes<uint32_t>(0x80000000u), true},
        {"kdt integer zero", 3, 11, 4, Bytes<int32_t>(0), false},
        {"kdt smallint marker", 3, 12, 2, Bytes<uint16_t>(0x8000), true},
        {"kdt double marker", 3, 10, 8, Bytes<uint64_t>(0x8000000000000020ull), true},
        {"kdt double zero", 3, 10, 8, Bytes<double>(0.0), false},
        {"kdt time marker", 3, 13, 4, Bytes<uint32_t>(0xFFFFFFFFu), true},
        {"kdt autoinc marker", 3, 15, 4, Bytes<uint32_t>(0xFFFFFFFFu), true},
        {"kdt timestamp day 0", 3, 14, 8, Bytes<uint64_t>(0x1234500000000ull), true},
        {"kdt money marker", 3, 18, 8, Bytes<uint64_t>(0x8000000000000000ull), true},
        {"kdt blob marker 0", 3, 5, 16, std::vector<uint8_t>(16, 0), true},
        {"kdt blob marker -1", 3, 5, 16, Bytes<int32_t>(-1), false},
        {"kdt varchar length FFFF", 3, 23, 2, {'a', 'b', 0xFF, 0xFF}, true},
        {"kdt varchar length 0", 3, 23, 2, {0, 0, 0, 0}, true},
        {"kdt varchar length 1", 3, 23, 2, {'a', 0, 1, 0}, false},
        {"kdt type 19", 3, 19, 1, {1}, true},
        {"dbf numeric blanks", 2, 2, 4, Text("    "), true},
        {"dbf numeric digits", 1, 2, 4, Text("  12"), false},
        {"dbf date text blanks", 2, 3, 8, Text("        "), true},
        {"dbf date day 0", 2, 3, 4, Bytes<int32_t>(0), true},
        {"dbf double never null", 2, 10, 8, Bytes<uint64_t>(0x8000000000000020ull), false},
        {"dbf integer never null", 2, 11, 4, Bytes<uint32_t>(0x80000000u), false},
        {"dbf compact date zeros", 2, 9, 3, {0, 0, 0}, true},
        {"dbf other type", 2, 14, 8, Bytes<uint64_t>(5), true},
        {"vfp char blanks", 4, 1, 2, Text("  "), true},
        {"vfp memo zero", 4, 5, 4, Bytes<int32_t>(0), true},
        {"vfp integer", 4, 11, 4, Bytes<int32_t>(0), false},
    };
    for (const NullCase& c : cases) {
        Record record(c.engineType, c.length, c.bytes);
        EXPECT_EQ(IsNull(record.def, record.data.data(), Env(c.tableType)), c.isNull) << c.name;
    }
}

TEST(DecodeTest, VfpNullFlagIsAskedOnlyOfNullableFields) {
    vfpNullAnswer = 1;
    Record nullable(11, 4, Bytes<int32_t>(5), 1);
    Record notNullable(11, 4, Bytes<int32_t>(5), 0);
    EXPECT_TRUE(IsNull(nullable.def, nullable.data.data(), Env(4)));
    EXPECT_FALSE(IsNull(notNullable.def, notNullable.data.data(), Env(4)));
    vfpNullAnswer = 0;
    EXPECT_FALSE(IsNull(nullable.def, nullable.data.data(), Env(4)));
    // An engine that cannot answer (this one: no VFP tables) makes no field null.
    EXPECT_FALSE(IsNull(nullable.def, nullable.data.data(), EngineDecodeEnv(4, 0)));
}

template <typename T>
T DecodeAs(const Record& record, TFieldType dataType, uint16_t tableType = 3) {
    alignas(8) uint8_t out[64];
    std::memset(out, 0xCD, sizeof out);
    Decode(record.def, record.data.data(), dataType, Env(tableType), out);
    T value;
    std::memcpy(&value, out, sizeof value);
    return value;
}

std::string DecodeText(const Record& record, uint16_t tableType = 3) {
    char out[64];
    std::memset(out, 'X', sizeof out);
    Decode(record.def, record.data.data(), ftString, Env(tableType), out);
    return std::string(out);
}

TEST(DecodeTest, Logical) {
    for (char c : std::string("1TYty"))
        EXPECT_EQ(DecodeAs<int16_t>(Record(1, 1, {uint8_t(c)}), ftBoolean), -1) << c;
    for (char c : std::string("NF0?"))
        EXPECT_EQ(DecodeAs<int16_t>(Record(1, 1, {uint8_t(c)}), ftBoolean), 0) << c;
}

TEST(DecodeTest, NumericTextByDataType) {
    const Record record(2, 8, Text("  -12.50"));
    EXPECT_DOUBLE_EQ(DecodeAs<double>(record, ftFloat), -12.5);
    EXPECT_EQ(BcdToScaled(DecodeAs<TBcd>(record, ftBCD)), -125000);
    EXPECT_EQ(DecodeAs<int16_t>(Record(2, 4, Text("  42")), ftSmallint), 42);

    // The locale's decimal separator replaces the engine's point before conversion.
    const char saved = LocaleFormats.DecimalChar;
    LocaleFormats.DecimalChar = ',';
    EXPECT_DOUBLE_EQ(DecodeAs<double>(record, ftFloat), -12.5);
    EXPECT_EQ(BcdToScaled(DecodeAs<TBcd>(record, ftBCD)), -125000);
    LocaleFormats.DecimalChar = saved;
}

TEST(DecodeTest, NumericTextThatDoesNotConvertGivesZeroNotGarbage) {
    const Record stars(2, 5, Text("*****"));
    EXPECT_DOUBLE_EQ(DecodeAs<double>(stars, ftFloat), 0.0);
    EXPECT_EQ(BcdToScaled(DecodeAs<TBcd>(stars, ftBCD)), 0);
    EXPECT_EQ(DecodeAs<int16_t>(stars, ftSmallint), 0);
}

TEST(DecodeTest, Dates) {
    // Day numbers count from 0001-01-01 as day 1: julian day number - 1721425.
    EXPECT_EQ(DecodeAs<int32_t>(Record(3, 4, Bytes<int32_t>(2451545)), ftDate), 730120);
    // Stored date text goes through the engine (CCYYMMDD is always understood).
    EXPECT_EQ(DecodeAs<int32_t>(Record(3, 8, Text("20000101")), ftDate, 2), 730120);
    // Compact date: year 2000, month 1, day 1 packed big-endian in 24 bits.
    const uint32_t packed = (2000u << 9) | (1u << 5) | 1u;
    const Record compact(9, 3, {uint8_t(packed >> 16), uint8_t(packed >> 8), uint8_t(packed)});
    EXPECT_EQ(DecodeAs<int32_t>(compact, ftDate, 2), 730120);
}

TEST(DecodeTest, Timestamps) {
    std::vector<uint8_t> bytes = Bytes<int32_t>(2451545);
    const std::vector<uint8_t> noon = Bytes<int32_t>(43200000);
    bytes.insert(bytes.end(), noon.begin(), noon.end());
    const double expected = 730120.0 * 86400000.0 + 43200000.0;
    EXPECT_DOUBLE_EQ(DecodeAs<double>(Record(14, 8, bytes), ftDateTime, 3), expected);
    EXPECT_DOUBLE_EQ(DecodeAs<double>(Record(22, 8, bytes), ftDateTime, 3), expected);
    // VFP adds a millisecond to a non-zero time.
    EXPECT_DOUBLE_EQ(DecodeAs<double>(Record(14, 8, bytes), ftDateTime, 4), expected + 1);
    std::vector<uint8_t> early = Bytes<int32_t>(5);
    early.resize(8, 0);
    EXPECT_DOUBLE_EQ(DecodeAs<double>(Record(14, 8, early), ftDateTime), 0.0);
}

TEST(DecodeTest, MoneyAndLargeIntegersBecomeDecimals) {
    EXPECT_EQ(BcdToScaled(DecodeAs<TBcd>(Record(18, 8, Bytes<int64_t>(1234500)), ftBCD)), 1234500);
    const TBcd money = DecodeAs<TBcd>(Record(18, 8, Bytes<int64_t>(1234500)), ftBCD);
    EXPECT_EQ(money.Precision, 20);
    EXPECT_EQ(money.SignSpecialPlaces & 0x3F, 4);
    EXPECT_EQ(BcdText(DecodeAs<TBcd>(Record(21, 8, Bytes<int64_t>(-4294967297LL)), ftBCD)),
              "-4294967297");
}

// The scaled value a decimal field reads: the short road when it applies must give what the
// decimal record gives through BcdToScaled, and it must apply to the texts and values the engine
// writes. "overflow" stands for EBcdOverflowException on the general road.
std::string ScaledThroughRecord(const Record& record) {
    try {
        return std::to_string(BcdToScaled(DecodeAs<TBcd>(record, ftBCD)));
    } catch (const EBcdOverflowException&) {
        return "overflow";
    }
}

TEST(DecodeTest, ScaledReadingEqualsTheDecimalRecord) {
    struct Case {
        const char* text;
        bool plain;  // the short road must take it
    };
    const Case texts[] = {
        {"  -12.50", true},
        {"     2.9", true},
        {"       0", true},
        {"    -0.0", true},
        {"      .5", true},
        {"      5.", true},
        {"  -.0001", true},
        {"00000042", true},
        {"99999999999999.9999", true},
        {"-99999999999999", true},
        {"123456789012345", false},
        {"1.23456", false},
        {"  +12.5", false},
        {"1.2.3", false},
        {"1,2.3", false},
        {"    ", false},
        {"-", false},
        {".", false},
        {"- 5", false},
        {"12 3", false},
        {"*****", false},
        {"1e5", false},
        {"\t5", false},
    };
    const char saved = LocaleFormats.DecimalChar;
    for (char decimal : {'.', ',', '\0', '5'}) {
        LocaleFormats.DecimalChar = decimal;
        for (const Case& c : texts) {
            const std::string text = c.text;
            for (const std::string& stored : {text, text + std::string(1, '\0') + "7"}) {
                const Record record(2, static_cast<uint32_t>(stored.size()), Text(stored));
                int64_t scaled = 0;
                const bool shortRoad =
                    kdbrecord::DecodeScaled(record.def, record.data.data(), &scaled);
                const bool expectShort = c.plain && (decimal == '.' || decimal == ',');
                EXPECT_EQ(shortRoad, expectShort) << text << " with " << int(decimal);
                if (shortRoad) {
                    EXPECT_EQ(std::to_string(scaled), ScaledThroughRecord(record))
                        << text << " with " << int(decimal);
                }
            }
        }
        // The locale's separator in place of the engine's point reads alike.
        const Record comma(2, 5, Text(" 12,5"));
        int64_t scaled = 0;
        if (kdbrecord::DecodeScaled(comma.def, comma.data.data(), &scaled)) {
            EXPECT_EQ(decimal, ',');
            EXPECT_EQ(std::to_string(scaled), ScaledThroughRecord(comma));
        }
    }
    LocaleFormats.DecimalChar = saved;

    const int64_t integers[] = {0,
                                1,
                                -1,
                                1234500,
                                -4294967297LL,
                                922337203685477LL,
                                -922337203685477LL,
                                922337203685478LL,
                                INT64_MAX,
                                INT64_MIN + 1};
    for (int64_t value : integers) {
        for (uint16_t type : {18, 21}) {
            const Record record(type, 8, Bytes<int64_t>(value));
            int64_t scaled = 0;
            if (kdbrecord::DecodeScaled(record.def, record.data.data(), &scaled)) {
                EXPECT_EQ(std::to_string(scaled), ScaledThroughRecord(record))
                    << type << ": " << value;
            } else {
                // Only large integers too big for ten-thousandths leave the short road.
                EXPECT_EQ(type, 21) << value;
                EXPECT_EQ(ScaledThroughRecord(record), "overflow") << value;
            }
        }
    }
}

TEST(DecodeTest, FixedTextIsTrimmedOnTheRightOnly) {
    EXPECT_EQ(DecodeText(Record(4, 10, Text("SMITH     "))), "SMITH");
    EXPECT_EQ(DecodeText(Record(20, 6, Text(" a b  "))), " a b");
    EXPECT_EQ(DecodeText(Record(4, 3, Text("   "))), "");
}

// The view of a text column's characters is the text a copy gives, read up to its zero.
TEST(DecodeTest, FixedTextViewEqualsTheCopyUpToItsZero) {
    const std::string_view cases[] = {
        std::string_view("SMITH     "), std::string_view(" a b  "),
        std::string_view("   "),        std::string_view(""),
        std::string_view("ab\0  ", 5),  std::string_view("ab \0x", 5),
        std::string_view("ab \0 ", 5),  std::string_view("\0abc", 4),
        std::string_view("full"),
    };
    for (const std::string_view text : cases) {
        const Record record(4, static_cast<uint32_t>(text.size()), Text(text));
        const std::string copy = DecodeText(record);
        EXPECT_EQ(kdbrecord::FixedText(record.def, record.data.data()),
                  std::string_view(copy.c_str()))
            << "text of " << text.size() << " bytes: " << std::string(text);
    }
}

TEST(DecodeTest, VariableTextLengthPerTableType) {
    // KDT: the word after the L bytes; never beyond L even when the word says more.
    EXPECT_EQ(DecodeText(Record(23, 4, {'a', 'b', 'c', 'd', 2, 0})), "ab");
    EXPECT_EQ(DecodeText(Record(23, 4, {'a', 'b', 'c', 'd', 200, 0})), "abcd");
    // VFP: the last byte holds the length unless the system field says the value is full.
    vfpFullAnswer = 0;
    EXPECT_EQ(DecodeText(Record(23, 4, {'a', 'b', ' ', 2}), 4), "ab");
    vfpFullAnswer = 1;
    EXPECT_EQ(DecodeText(Record(23, 4, {'a', 'b', 'c', 'd'}), 4), "abcd");
    // DBF: always L.
    EXPECT_EQ(DecodeText(Record(23, 3, {'x', 'y', ' '}), 2), "xy");
}

TEST(DecodeTest, VariableBytesCarryTheirLength) {
    alignas(8) uint8_t out[16] = {};
    const Record record(24, 4, {1, 2, 3, 4, 3, 0});
    Decode(record.def, record.data.data(), ftVarBytes, Env(3), out);
    EXPECT_EQ(out[0] + 256 * out[1], 3);
    EXPECT_EQ(std::vector<uint8_t>(out + 2, out + 5), (std::vector<uint8_t>{1, 2, 3}));
}

TEST(DecodeTest, FixedWidthValuesAreCopied) {
    EXPECT_EQ(DecodeAs<int32_t>(Record(11, 4, Bytes<int32_t>(-7)), ftInteger), -7);
    EXPECT_EQ(DecodeAs<int32_t>(Record(15, 4, Bytes<int32_t>(9)), ftAutoInc), 9);
    EXPECT_EQ(DecodeAs<int16_t>(Record(12, 2, Bytes<int16_t>(-5)), ftSmallint), -5);
    EXPECT_EQ(DecodeAs<int32_t>(Record(13, 4, Bytes<int32_t>(52200000)), ftTime), 52200000);
    EXPECT_DOUBLE_EQ(DecodeAs<double>(Record(17, 8, Bytes<double>(2.5)), ftCurrency), 2.5);
    EXPECT_EQ(DecodeAs<uint32_t>(Record(16, 4, {1, 2, 3, 4}), ftBytes), 0x04030201u);
}

struct MappingCase {
    const char* name;
    uint16_t engineType;
    uint32_t length;
    uint16_t decimals;
    uint16_t tableType;
    bool numericsAsFloats;
    TFieldType dataType;
    int32_t size;
    int32_t precision;
};

TEST(DecodeTest, EngineTypeMapping) {
    const MappingCase cases[] = {
        {"kdt numeric 10,2", 2, 10, 2, 3, false, ftBCD, 2, 8},
        {"kdt numeric 18,0", 2, 18, 0, 3, false, ftBCD, 0, 17},
        {"kdt numeric 20,2", 2, 20, 2, 3, false, ftFMTBcd, 2, 18},
        {"kdt numeric 10,5", 2, 10, 5, 3, false, ftFMTBcd, 5, 8},
        {"kdt numeric as floats", 2, 10, 2, 3, true, ftFloat, 0, -1},
        {"dbf numeric 4,0", 2, 4, 0, 2, false, ftSmallint, 0, -1},
        {"dbf numeric 5,0", 2, 5, 0, 1, false, ftFloat, 0, -1},
        {"dbf numeric 8,2", 2, 8, 2, 2, false, ftFloat, 0, -1},
        {"money", 18, 8, 0, 3, false, ftBCD, 4, 20},
        {"bigint", 21, 8, 0, 3, false, ftBCD, 0, 20},
        {"varchar", 23, 12, 0, 3, false, ftString, 12, -1},
        {"varbinary", 24, 6, 0, 3, false, ftVarBytes, 6, -1},
        {"raw", 16, 4, 0, 3, false, ftBytes, 4, -1},
        {"memo", 5, 16, 0, 3, false, ftMemo, 1, -1},
        {"var text blob", 8, 16, 0, 3, false, ftMemo, 1, -1},
        {"image", 7, 16, 0, 3, false, ftBlob, 1, -1},
        {"blob variant", 52, 16, 0, 3, false, ftBlob, 1, -1},
        {"modstamp", 22, 8, 0, 3, false, ftDateTime, 0, -1},
        {"compact date", 9, 3, 0, 3, false, ftDate, 0, -1},
    };
    for (const MappingCase& c : cases) {
        const TKdbFieldMapping m = MapEngineField(nullptr, c.engineType, c.length, c.decimals,
                                                  c.tableType, c.numericsAsFloats);
        EXPECT_EQ(m.DataType, c.dataType) << c.name;
        EXPECT_EQ(m.Size, c.size) << c.name;
        EXPECT_EQ(m.Precision, c.precision) << c.name;
    }
}

TEST(DecodeTest, WideAndUnknownEngineTypesFailTheOpen) {
    for (uint16_t type : {uint16_t(26), uint16_t(27), uint16_t(28)}) {
        try {
            MapEngineField(nullptr, type, 4, 0, 3, false);
            FAIL() << type;
        } catch (const EKDBDatabaseError& error) {
            EXPECT_EQ(error.Message().rfind(
                          "Unicode field type (" + std::to_string(type) + ") encountered.  ", 0),
                      0u);
            EXPECT_EQ(error.ErrorCode(), 5121u);
        }
    }
    for (uint16_t type : {uint16_t(0), uint16_t(19), uint16_t(25), uint16_t(50), uint16_t(53)}) {
        try {
            MapEngineField(nullptr, type, 4, 0, 3, false);
            FAIL() << type;
        } catch (const EKDBDatabaseError& error) {
            EXPECT_EQ(error.Message(),
                      "Unknown field type (" + std::to_string(type) + ") encountered.");
        }
    }
}

}  // namespace
}  // namespace parvell
