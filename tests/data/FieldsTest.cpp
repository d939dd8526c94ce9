#include "data/Fields.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

#include "data/TextToValue.h"
#include "tests/data/MemoryDataSet.h"

namespace parvell {
namespace {

using namespace parvell::testing;

// The United States conventions with the program's date pattern override.
class FieldsTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = LocaleFormats;
        LocaleFormats = TLocaleFormats::UnitedStates();
        LocaleFormats.ShortDatePattern = "MM/DD/yyyy";
    }
    void TearDown() override { LocaleFormats = saved_; }

    // Opens a one-record dataset holding the value in a column of the type.
    MemoryDataSet& One(const MemColumn& column, MemValue value) {
        ds_.columns = {column};
        ds_.rows = {{std::move(value)}};
        ds_.Open();
        return ds_;
    }
    TField& Field() { return ds_.FieldAt(0); }

    MemoryDataSet ds_;

private:
    TLocaleFormats saved_;
};

// Day number of a date (0001-01-01 is day 1) and the native date-time count.
int32_t Day(int y, int m, int d) {
    TDateTime value = 0;
    EncodeDate(y, m, d, &value);
    return static_cast<int32_t>(value) + kDateDelta;
}
double Stamp(int y, int m, int d, int64_t ms) {
    return static_cast<double>(Day(y, m, d)) * kMSecsPerDay + static_cast<double>(ms);
}

std::string Bytes(std::initializer_list<uint8_t> bytes) {
    return std::string(bytes.begin(), bytes.end());
}

struct TextCase {
    const char* name;
    MemColumn column;
    MemValue value;
    std::string text;     // ValueAsText
    std::string display;  // DisplayString
};

TEST_F(FieldsTest, TextsPerClass) {
    const TextCase cases[] = {
        {"string", {"S", ftString, 30}, Str("Smith"), "Smith", "Smith"},
        {"string keeps trailing blanks", {"S", ftString, 30}, Str("Smith  "), "Smith  ", "Smith  "},
        {"string null", {"S", ftString, 30}, Null, "", ""},
        {"fixed char", {"S", ftFixedChar, 3}, Str("abc"), "abc", "abc"},
        {"integer", {"I", ftInteger}, I32(-2147483647 - 1), "-2147483648", "-2147483648"},
        {"integer null", {"I", ftInteger}, Null, "", ""},
        {"smallint", {"I", ftSmallint}, I16(-5), "-5", "-5"},
        {"word", {"I", ftWord}, U16(65535), "65535", "65535"},
        {"autoinc", {"I", ftAutoInc}, I32(42), "42", "42"},
        {"largeint", {"L", ftLargeint}, I64(4294967297LL), "4294967297", "4294967297"},
        {"float", {"F", ftFloat}, F64(1234.5), "1234.5", "1234.5"},
        {"float 1/3", {"F", ftFloat}, F64(1.0 / 3), "0.333333333333333", "0.333333333333333"},
        {"currency", {"C", ftCurrency}, F64(1234.5), "1234.5", "$1,234.50"},
        {"currency negative", {"C", ftCurrency}, F64(-1234.5), "-1234.5", "($1,234.50)"},
        {"currency null", {"C", ftCurrency}, Null, "", ""},
        {"bcd", {"B", ftBCD, 2, 8}, Bcd("12.50"), "12.5", "12.5"},
        {"bcd whole", {"B", ftBCD, 2, 8}, Bcd("100.00"), "100", "100"},
        {"bcd negative zero", {"B", ftBCD, 2, 8}, Bcd("-0.00"), "0", "0"},
        // Beyond the scaled range (about 9.22e14) every digit is kept.
        {"bcd largest 64-bit integer",
         {"B", ftBCD, 0, 20},
         Bcd("9223372036854775807"),
         "9223372036854775807",
         "9223372036854775807"},
        {"bcd smallest 64-bit integer but one",
         {"B", ftBCD, 0, 20},
         Bcd("-9223372036854775807"),
         "-9223372036854775807",
         "-9223372036854775807"},
        {"bcd 10^15",
         {"B", ftBCD, 0, 20},
         Bcd("1000000000000000"),
         "1000000000000000",
         "1000000000000000"},
        {"bcd -10^15",
         {"B", ftBCD, 0, 20},
         Bcd("-1000000000000000"),
         "-1000000000000000",
         "-1000000000000000"},
        {"bcd at the scaled end",
         {"B", ftBCD, 4, 20},
         Bcd("922337203685477.5807"),
         "922337203685477.5807",
         "922337203685477.5807"},
        {"bcd beyond with decimals",
         {"B", ftBCD, 2, 20},
         Bcd("-123456789012345678.50"),
         "-123456789012345678.5",
         "-123456789012345678.5"},
        {"bcd beyond keeps four decimals",
         {"B", ftBCD, 6, 24},
         Bcd("1234567890123456.123451"),
         "1234567890123456.1235",
         "1234567890123456.1235"},
        {"fmtbcd",
         {"B", ftFMTBcd, 6, 30},
         Bcd("-123456789012345678.123456"),
         "-123456789012345678.123456",
         "-123456789012345678.123456"},
        {"boolean true", {"Q", ftBoolean}, Bool(true), "True", "True"},
        {"boolean false", {"Q", ftBoolean}, Bool(false), "False", "False"},
        {"boolean null", {"Q", ftBoolean}, Null, "", ""},
        {"date", {"D", ftDate}, I32(Day(2008, 1, 15)), "01/15/2008", "01/15/2008"},
        {"date null", {"D", ftDate}, Null, "", ""},
        {"time", {"T", ftTime}, I32(((9 * 60 + 5) * 60 + 7) * 1000), "9:05:07 AM", "9:05:07 AM"},
        {"time midnight", {"T", ftTime}, I32(0), "12:00:00 AM", "12:00:00 AM"},
        {"datetime midnight",
         {"DT", ftDateTime},
         F64(Stamp(2008, 1, 15, 0)),
         "01/15/2008",
         "01/15/2008"},
        {"datetime afternoon",
         {"DT", ftDateTime},
         F64(Stamp(2008, 1, 15, 52200000)),
         "01/15/2008 2:30:00 PM",
         "01/15/2008 2:30:00 PM"},
        {"bytes", {"Y", ftBytes, 3}, Raw({'a', 0, 'b'}), Bytes({'a', 0, 'b'}), "(BYTES)"},
        {"bytes null", {"Y", ftBytes, 3}, Null, "", "(Bytes)"},
        {"varbytes", {"Y", ftVarBytes, 4}, Raw({2, 0, 'h', 'i', 'x', 'x'}), "hi", "(VARBYTES)"},
        {"varbytes length beyond size",
         {"Y", ftVarBytes, 2},
         Raw({200, 0, 'h', 'i'}),
         "hi",
         "(VARBYTES)"},
        {"memo", {"M", ftMemo, 1}, Raw({'a', 'b', 'c'}), "abc", "(MEMO)"},
        {"memo null", {"M", ftMemo, 1}, Null, "", "(Memo)"},
        {"blob", {"M", ftBlob, 1}, Raw({1, 2}), Bytes({1, 2}), "(BLOB)"},
        {"graphic", {"M", ftGraphic, 1}, Raw({1}), Bytes({1}), "(GRAPHIC)"},
        {"hugeclob", {"M", ftOraClob, 1}, Null, "", "(HugeClob)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryDataSet ds;
        ds.columns = {c.column};
        ds.rows = {{c.value}};
        ds.Open();
        const TField& field = ds.FieldAt(0);
        EXPECT_EQ(field.ValueAsText(), c.text);
        EXPECT_EQ(field.DisplayString(), c.display);
        EXPECT_EQ(field.ValueIsNull(), !c.value.has_value());
    }
}

struct NumberCase {
    const char* name;
    MemColumn column;
    MemValue value;
    int32_t integer;
    double number;
    int64_t currency;
};

TEST_F(FieldsTest, NumericValuesPerClass) {
    const NumberCase cases[] = {
        {"integer", {"I", ftInteger}, I32(-7), -7, -7.0, -70000},
        {"integer null reads 0", {"I", ftInteger}, Null, 0, 0.0, 0},
        {"smallint", {"I", ftSmallint}, I16(-5), -5, -5.0, -50000},
        {"word", {"I", ftWord}, U16(65535), 65535, 65535.0, 655350000},
        {"largeint keeps the low 32 bits",
         {"L", ftLargeint},
         I64(4294967297LL),
         1,
         4294967297.0,
         42949672970000LL},
        {"largeint negative", {"L", ftLargeint}, I64(-1), -1, -1.0, -10000},
        {"float ties to even down", {"F", ftFloat}, F64(2.5), 2, 2.5, 25000},
        {"float ties to even up", {"F", ftFloat}, F64(3.5), 4, 3.5, 35000},
        {"float negative", {"F", ftFloat}, F64(-2.5), -2, -2.5, -25000},
        {"float null", {"F", ftFloat}, Null, 0, 0.0, 0},
        {"currency", {"C", ftCurrency}, F64(0.00005), 0, 0.00005, 0},
        {"bcd ties to even", {"B", ftBCD, 2, 8}, Bcd("12.50"), 12, 12.5, 125000},
        {"bcd ties to even up", {"B", ftBCD, 2, 8}, Bcd("13.50"), 14, 13.5, 135000},
        {"bcd negative", {"B", ftBCD, 4, 10}, Bcd("-2.5001"), -3, -2.5001, -25001},
        {"bcd null", {"B", ftBCD, 2, 8}, Null, 0, 0.0, 0},
        {"fmtbcd", {"B", ftFMTBcd, 6, 20}, Bcd("2.500000"), 2, 2.5, 25000},
        {"fmtbcd null", {"B", ftFMTBcd, 6, 20}, Null, 0, 0.0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryDataSet ds;
        ds.columns = {c.column};
        ds.rows = {{c.value}};
        ds.Open();
        const TField& field = ds.FieldAt(0);
        EXPECT_EQ(field.ValueAsInteger(), c.integer);
        EXPECT_DOUBLE_EQ(field.ValueAsFloat(), c.number);
        EXPECT_EQ(field.ValueAsCurrency(), c.currency);
    }
}

TEST_F(FieldsTest, DatesReadAsDateTimes) {
    One({"D", ftDate}, I32(Day(2008, 1, 15)));
    EXPECT_DOUBLE_EQ(Field().ValueAsFloat(), 39462.0);
    EXPECT_DOUBLE_EQ(Field().ValueAsDateTime(), 39462.0);
    ds_.Close();

    One({"DT", ftDateTime}, F64(Stamp(1899, 12, 29, 6 * 3600000)));
    EXPECT_DOUBLE_EQ(Field().ValueAsDateTime(), -1.25);  // the fraction is still the time of day
    ds_.Close();

    One({"DT", ftDateTime}, Null);
    EXPECT_DOUBLE_EQ(Field().ValueAsDateTime(), 0.0);
}

TEST_F(FieldsTest, InvalidTimestampsRaiseConvertErrors) {
    struct Case {
        const char* name;
        MemColumn column;
        MemValue value;
        std::string message;
    } cases[] = {
        {"date-time count 0", {"DT", ftDateTime}, F64(0), "'0.0' is not a valid timestamp"},
        {"date-time negative",
         {"DT", ftDateTime},
         F64(-86400000.0 * 3 - 5),
         "'-3.-5' is not a valid timestamp"},
        {"date-time not a number",
         {"DT", ftDateTime},
         F64(std::nan("")),
         "'0.0' is not a valid timestamp"},
        {"date-time infinite", {"DT", ftDateTime}, F64(HUGE_VAL), "'0.0' is not a valid timestamp"},
        {"date-time beyond 32-bit days",
         {"DT", ftDateTime},
         F64(1e300),
         "'0.0' is not a valid timestamp"},
        {"date day 0", {"D", ftDate}, I32(0), "'0.0' is not a valid timestamp"},
        {"date negative day", {"D", ftDate}, I32(-5), "'-5.0' is not a valid timestamp"},
        {"time negative", {"T", ftTime}, I32(-1), "'693594.-1' is not a valid timestamp"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryDataSet ds;
        ds.columns = {c.column};
        ds.rows = {{c.value}};
        ds.Open();
        const TField& field = ds.FieldAt(0);
        for (const auto& read : std::vector<std::function<void()>>{
                 [&] { field.ValueAsText(); }, [&] { field.ValueAsDateTime(); },
                 [&] { field.DisplayString(); }}) {
            try {
                read();
                ADD_FAILURE() << "no exception";
            } catch (const EConvertError& e) {
                EXPECT_EQ(e.Message(), c.message);
            }
        }
        EXPECT_FALSE(field.ValueIsNull());
    }
}

TEST_F(FieldsTest, AccessorsAClassDoesNotProvideRaise) {
    struct Case {
        const char* name;
        MemColumn column;
        MemValue value;
        std::function<void(const TField&)> read;
        std::string message;
    } cases[] = {
        {"boolean as integer",
         {"FLAG", ftBoolean},
         Bool(true),
         [](const TField& f) { f.ValueAsInteger(); },
         "Cannot access field 'FLAG' as type Integer"},
        {"boolean as float",
         {"FLAG", ftBoolean},
         Null,
         [](const TField& f) { f.ValueAsFloat(); },
         "Cannot access field 'FLAG' as type Float"},
        {"date as integer",
         {"D", ftDate},
         I32(700000),
         [](const TField& f) { f.ValueAsInteger(); },
         "Cannot access field 'D' as type Integer"},
        {"integer as date",
         {"I", ftInteger},
         I32(1),
         [](const TField& f) { f.ValueAsDateTime(); },
         "Cannot access field 'I' as type DateTime"},
        {"integer as boolean",
         {"I", ftInteger},
         I32(1),
         [](const TField& f) { f.ValueAsBoolean(); },
         "Cannot access field 'I' as type Boolean"},
        {"memo as float",
         {"M", ftMemo, 1},
         Raw({'1'}),
         [](const TField& f) { f.ValueAsFloat(); },
         "Cannot access field 'M' as type Float"},
        {"float as timestamp",
         {"F", ftFloat},
         F64(1),
         [](const TField& f) { f.ValueAsSQLTimeStamp(); },
         "Cannot access field 'F' as type SQLTimeStamp"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryDataSet ds;
        ds.columns = {c.column};
        ds.rows = {{c.value}};
        ds.Open();
        try {
            c.read(ds.FieldAt(0));
            ADD_FAILURE() << "no exception";
        } catch (const EDatabaseError& e) {
            EXPECT_EQ(e.Message(), c.message);
        }
    }
}

TEST_F(FieldsTest, StringValuesParsedAsNumbersAndDates) {
    struct Case {
        const char* text;
        std::function<void(const TField&)> check;
    } cases[] = {
        {"42", [](const TField& f) { EXPECT_EQ(f.ValueAsInteger(), 42); }},
        {" -7 ", [](const TField& f) { EXPECT_EQ(f.ValueAsInteger(), -7); }},
        {"2.25", [](const TField& f) { EXPECT_DOUBLE_EQ(f.ValueAsFloat(), 2.25); }},
        {"1.5", [](const TField& f) { EXPECT_EQ(f.ValueAsCurrency(), 15000); }},
        {"01/15/2008", [](const TField& f) { EXPECT_DOUBLE_EQ(f.ValueAsDateTime(), 39462.0); }},
        {"1/15/2008 2:30 PM",
         [](const TField& f) { EXPECT_DOUBLE_EQ(f.ValueAsDateTime(), 39462.0 + 14.5 / 24); }},
        {"yes", [](const TField& f) { EXPECT_TRUE(f.ValueAsBoolean()); }},
        {"True", [](const TField& f) { EXPECT_TRUE(f.ValueAsBoolean()); }},
        {"no", [](const TField& f) { EXPECT_FALSE(f.ValueAsBoolean()); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        MemoryDataSet ds;
        ds.columns = {{"S", ftString, 30}};
        ds.rows = {{Str(c.text)}};
        ds.Open();
        c.check(ds.FieldAt(0));
    }
}

TEST_F(FieldsTest, StringValuesThatDoNotParseRaiseWithTheText) {
    struct Case {
        const char* name;
        MemValue value;
        std::function<void(const TField&)> read;
        std::string message;
    } cases[] = {
        {"null as integer", Null, [](const TField& f) { f.ValueAsInteger(); },
         "'' is not a valid integer value"},
        {"word as integer", Str("abc"), [](const TField& f) { f.ValueAsInteger(); },
         "'abc' is not a valid integer value"},
        {"beyond 32 bits", Str("4294967296"), [](const TField& f) { f.ValueAsInteger(); },
         "'4294967296' is not a valid integer value"},
        {"decimal as integer", Str("1.5"), [](const TField& f) { f.ValueAsInteger(); },
         "'1.5' is not a valid integer value"},
        {"null as float", Null, [](const TField& f) { f.ValueAsFloat(); },
         "'' is not a valid floating point value"},
        {"inf as float", Str("inf"), [](const TField& f) { f.ValueAsFloat(); },
         "'inf' is not a valid floating point value"},
        {"pattern as float", Str("%s%d"), [](const TField& f) { f.ValueAsFloat(); },
         "'%s%d' is not a valid floating point value"},
        {"bad date", Str("02/30/2008"), [](const TField& f) { f.ValueAsDateTime(); },
         "'02/30/2008' is not a valid date and time"},
        {"null as date", Null, [](const TField& f) { f.ValueAsDateTime(); },
         "'' is not a valid date and time"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryDataSet ds;
        ds.columns = {{"S", ftString, 30}};
        ds.rows = {{c.value}};
        ds.Open();
        try {
            c.read(ds.FieldAt(0));
            ADD_FAILURE() << "no exception";
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message(), c.message);
        }
    }
}

TEST_F(FieldsTest, LongStringsAreReadWholeAndUnterminatedOnesStopAtTheirSize) {
    const std::string longText(10000, 'x');
    One({"S", ftString, 10000}, Str(longText));
    EXPECT_EQ(Field().ValueAsText(), longText);
    ds_.Close();

    // Native data without its zero byte: the text ends at the field's size.
    One({"S", ftString, 3}, Raw({'a', 'b', 'c', 'd', 'e'}));
    EXPECT_EQ(Field().ValueAsText(), "abc");
}

TEST_F(FieldsTest, DisplayTextsFollowTheCurrencyFlagAndDigits) {
    One({"B", ftBCD, 2, 8}, Bcd("-1234.5"));
    auto& bcd = dynamic_cast<TBCDField&>(Field());
    EXPECT_EQ(bcd.DisplayString(), "-1234.5");
    bcd.SetCurrency(true);
    EXPECT_EQ(bcd.DisplayString(), "($1,234.50)");
    EXPECT_EQ(bcd.RenderText(false), "-1234.50");
    EXPECT_EQ(bcd.ValueAsText(), "-1234.5");
    ds_.Close();

    One({"F", ftFloat}, F64(1234.5));
    auto& number = dynamic_cast<TFloatField&>(Field());
    number.SetPrecision(3);
    EXPECT_EQ(number.DisplayString(), "1.23E3");
    EXPECT_EQ(number.ValueAsText(), "1234.5");
    number.SetCurrency(true);
    number.SetPrecision(15);
    EXPECT_EQ(number.RenderText(false), "1234.50");
    number.SetOnGetText([](const TField&, std::string& text, bool) { text = "own"; });
    EXPECT_EQ(number.DisplayString(), "own");
}

TEST_F(FieldsTest, DecimalCommaLocale) {
    LocaleFormats.DecimalChar = ',';
    LocaleFormats.ThousandsChar = '.';
    One({"B", ftFMTBcd, 2, 20}, Bcd("1234.50"));
    EXPECT_EQ(Field().ValueAsText(), "1234,5");
    EXPECT_DOUBLE_EQ(Field().ValueAsFloat(), 1234.5);
    EXPECT_EQ(Field().ValueAsInteger(), 1234);
    ds_.Close();

    One({"S", ftString, 10}, Str("2,25"));
    EXPECT_DOUBLE_EQ(Field().ValueAsFloat(), 2.25);
    EXPECT_THROW(Field().ValueAsInteger(), EConvertError);
}

TEST_F(FieldsTest, BcdBeyondTheScaledRangeReadsOnlyAsText) {
    One({"B", ftBCD, 0, 20}, Bcd("1000000000000000"));
    EXPECT_EQ(Field().ValueAsText(), "1000000000000000");
    const std::function<void()> reads[] = {[&] { Field().ValueAsFloat(); },
                                           [&] { Field().ValueAsCurrency(); },
                                           [&] { Field().ValueAsInteger(); }};
    for (const auto& read : reads) {
        try {
            read();
            ADD_FAILURE() << "read as a number";
        } catch (const EBcdOverflowException& error) {
            EXPECT_EQ(error.Message(), "BCD overflow");
        }
    }
}

TEST_F(FieldsTest, MalformedDecimalRecordsShowBcdOverflow) {
    TBcd broken;  // zero digits: not a decimal record
    for (TFieldType type : {ftBCD, ftFMTBcd}) {
        MemoryDataSet ds;
        ds.columns = {{"B", type, 2, 8}};
        ds.rows = {{Native(broken)}};
        ds.Open();
        const TField& field = ds.FieldAt(0);
        EXPECT_EQ(field.DisplayString(), "BCD overflow");
        EXPECT_THROW(field.ValueAsText(), EBcdOverflowException);
    }
}

TEST_F(FieldsTest, BooleanDisplayValues) {
    struct Case {
        std::string values;
        std::string trueText, falseText;
    } cases[] = {
        {"Yes;No", "Yes", "No"}, {"Y", "Y", ""},        {"", "True", "False"},
        {";off", "", "off"},     {"a;b;c", "a", "b;c"},
    };
    One({"Q", ftBoolean}, Bool(true));
    auto& flag = dynamic_cast<TBooleanField&>(Field());
    for (const auto& c : cases) {
        flag.SetDisplayValues(c.values);
        EXPECT_EQ(flag.ValueAsText(), c.trueText) << c.values;
        EXPECT_EQ(flag.FalseText(), c.falseText) << c.values;
    }
    flag.SetDisplayValues(std::string(300, 'x'));
    EXPECT_EQ(flag.TrueText().size(), 255u);
}

TEST_F(FieldsTest, ClassDescriptionsAndWidths) {
    struct Case {
        MemColumn column;
        std::string description;  // for a non-null value
        int width;
    } cases[] = {
        {{"I", ftInteger}, "(INTEGER)", 10},     {{"I", ftLargeint}, "(LARGEINT)", 15},
        {{"S", ftString, 25}, "(STRING)", 25},   {{"B", ftBCD, 2, 8}, "(BCD)", 9},
        {{"B", ftFMTBcd, 2, 0}, "(FMTBCD)", 10}, {{"D", ftDateTime}, "(DATETIME)", 18},
        {{"D", ftDate}, "(DATE)", 10},           {{"Q", ftBoolean}, "(BOOLEAN)", 5},
    };
    for (const auto& c : cases) {
        MemoryDataSet ds;
        ds.columns = {c.column};
        ds.rows = {{I32(0)}};
        ds.Open();
        EXPECT_EQ(ds.FieldAt(0).ClassDescription(), c.description);
        EXPECT_EQ(ds.FieldAt(0).DisplayWidth(), c.width) << c.description;
    }
}

TEST_F(FieldsTest, FieldWithoutADatasetCannotBeRead) {
    TIntegerField loose;
    loose.SetFieldName("LOOSE");
    for (const auto& read : std::vector<std::function<void()>>{[&] { loose.ValueAsText(); },
                                                               [&] { loose.ValueIsNull(); },
                                                               [&] { loose.DisplayString(); }}) {
        try {
            read();
            ADD_FAILURE() << "no exception";
        } catch (const EDatabaseError& e) {
            EXPECT_EQ(e.Message(), "Field 'LOOSE' has no dataset");
        }
    }
    TMemoField memo;
    memo.SetFieldName("NOTES");
    EXPECT_THROW(memo.ValueAsText(), EDatabaseError);
}

TEST_F(FieldsTest, SizesTheClassesReject) {
    struct Case {
        const char* name;
        std::function<std::unique_ptr<TField>()> make;
        int32_t size;
        bool valid;
    } cases[] = {
        {"string negative", [] { return std::make_unique<TStringField>(); }, -1, false},
        {"string zero", [] { return std::make_unique<TStringField>(); }, 0, true},
        {"bcd 32", [] { return std::make_unique<TBCDField>(); }, 32, true},
        {"bcd 33", [] { return std::make_unique<TBCDField>(); }, 33, false},
        {"bytes zero", [] { return std::make_unique<TBytesField>(); }, 0, false},
        {"bytes negative", [] { return std::make_unique<TVarBytesField>(); }, -4, false},
        {"bytes one", [] { return std::make_unique<TBytesField>(); }, 1, true},
    };
    for (const auto& c : cases) {
        auto field = c.make();
        if (c.valid) {
            EXPECT_NO_THROW(field->SetSize(c.size)) << c.name;
            continue;
        }
        try {
            field->SetSize(c.size);
            ADD_FAILURE() << c.name << ": no exception";
        } catch (const EDatabaseError& e) {
            EXPECT_EQ(e.Message(), "Invalid field size") << c.name;
        }
    }
}

TEST_F(FieldsTest, FieldsMadeFromDefinitionsTakeTheirProperties) {
    MemoryDataSet ds;
    TFieldAttributes attributes;
    attributes.Include(faReadonly);
    attributes.Include(faRequired);
    ds.columns = {
        {"AMOUNT", ftBCD, 2, 40}, {"CODE", ftFixedChar, 4, 0, attributes}, {"NOTE", ftFmtMemo, 1}};
    ds.Open();
    auto& amount = dynamic_cast<TBCDField&>(ds.FieldAt(0));
    EXPECT_EQ(amount.Precision(), 32);  // clamped
    EXPECT_EQ(amount.Size(), 2);
    auto& code = dynamic_cast<TStringField&>(ds.FieldAt(1));
    EXPECT_EQ(code.DataType(), ftString);
    EXPECT_TRUE(code.FixedChar());
    EXPECT_TRUE(code.ReadOnly());
    EXPECT_TRUE(code.Required());
    EXPECT_EQ(code.Size(), 4);
    EXPECT_EQ(ds.FieldAt(2).DataType(), ftFmtMemo);  // blob classes take the definition's type
    EXPECT_EQ(ds.FieldAt(2).DisplayString(), "(FmtMemo)");
    EXPECT_EQ(ds.FieldAt(2).Alignment(), TAlignment::taLeftJustify);
    EXPECT_EQ(amount.Alignment(), TAlignment::taRightJustify);
}

}  // namespace
}  // namespace parvell
