// Integer, floating, currency and decimal-record texts.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "data/Formats.h"

namespace parvell {
namespace {

// Runs each test under the United States English items and puts the process record back after.
class FormatsTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = LocaleFormats;
        LocaleFormats = TLocaleFormats::UnitedStates();
    }
    void TearDown() override { LocaleFormats = saved_; }

private:
    TLocaleFormats saved_;
};

TEST_F(FormatsTest, IntegerTextsAreShortestDecimalForms) {
    EXPECT_EQ(IntegerText(0), "0");
    EXPECT_EQ(IntegerText(7), "7");
    EXPECT_EQ(IntegerText(-42), "-42");
    EXPECT_EQ(IntegerText(1000000), "1000000");  // never grouped
    EXPECT_EQ(IntegerText(std::numeric_limits<int32_t>::min()), "-2147483648");
    EXPECT_EQ(IntegerText(std::numeric_limits<int32_t>::max()), "2147483647");
    EXPECT_EQ(Int64Text(std::numeric_limits<int64_t>::min()), "-9223372036854775808");
    EXPECT_EQ(Int64Text(std::numeric_limits<int64_t>::max()), "9223372036854775807");
    std::string line = "n=";
    AppendIntegerText(line, -5);
    AppendInt64Text(line, 12);
    EXPECT_EQ(line, "n=-512");
}

struct FloatCase {
    const char* name;
    double value;
    const char* text;
};

TEST_F(FormatsTest, FloatTextWritesFifteenSignificantDigitsInGeneralNotation) {
    const double inf = std::numeric_limits<double>::infinity();
    const FloatCase cases[] = {
        {"zero", 0.0, "0"},
        {"negative zero", -0.0, "0"},
        {"one", 1.0, "1"},
        {"one and a half", 1.5, "1.5"},
        {"negative", -1.5, "-1.5"},
        {"half", 0.5, "0.5"},
        {"smallest fixed", 0.0001, "0.0001"},
        {"largest exponent form below", 0.00001, "1E-5"},
        {"exponent with decimals", 0.000015, "1.5E-5"},
        {"fifteen digits", 1e14, "100000000000000"},
        {"sixteen digits", 1e15, "1E15"},
        {"fifteen nines", 999999999999999.0, "999999999999999"},
        {"sixteen nines round up", 9999999999999999.0, "1E16"},
        {"one third", 1.0 / 3.0, "0.333333333333333"},
        {"two thirds", 2.0 / 3.0, "0.666666666666667"},
        {"one tenth", 0.1, "0.1"},
        {"binary noise dropped", 0.1 + 0.2, "0.3"},
        {"carry to one", 1.0 - DBL_EPSILON / 2, "1"},
        {"eighteen-digit integer", 123456789012345678.0, "1.23456789012346E17"},
        {"integer and fraction", 12345.678, "12345.678"},
        {"large negative exponent", 5e-324, "4.94065645841247E-324"},
        {"largest double", DBL_MAX, "1.79769313486232E308"},
        {"infinity", inf, "INF"},
        {"negative infinity", -inf, "-INF"},
        {"not a number", std::nan(""), "NAN"},
        {"negative not a number", -std::nan(""), "NAN"},
    };
    for (const FloatCase& c : cases) {
        EXPECT_EQ(FloatText(c.value), c.text) << c.name;
        std::string appended = "x";
        AppendFloatText(appended, c.value);
        EXPECT_EQ(appended, std::string("x") + c.text) << c.name;
    }
}

TEST_F(FormatsTest, FloatTextUsesTheDecimalCharacterAndNoGrouping) {
    LocaleFormats.DecimalChar = ',';
    LocaleFormats.ThousandsChar = '.';
    EXPECT_EQ(FloatText(1.5), "1,5");
    EXPECT_EQ(FloatText(1234567.25), "1234567,25");
    EXPECT_EQ(FloatText(0.000015), "1,5E-5");
    LocaleFormats.DecimalChar = '\0';  // the zero character writes nothing
    EXPECT_EQ(FloatText(1.5), "15");
}

struct StyledCase {
    const char* name;
    double value;
    TFloatFormat style;
    int precision;
    int digits;
    const char* text;
};

TEST_F(FormatsTest, FloatTextStyledFollowsStylePrecisionAndDigits) {
    using F = TFloatFormat;
    const StyledCase cases[] = {
        {"precision clamped up to 2", 1.0 / 3.0, F::General, 1, 0, "0.33"},
        {"precision clamped down to 18", 1.0 / 3.0, F::General, 40, 0, "0.333333333333333315"},
        {"18 digits round half to even, down", 1000000000000000.125, F::General, 18, 0,
         "1000000000000000.12"},
        {"18 digits round half to even, up", 1000000000000000.375, F::General, 18, 0,
         "1000000000000000.38"},
        {"general exponent digits minimum", 0.00001, F::General, 15, 3, "1E-005"},
        {"general exponent digits limited to 4", 1e20, F::General, 15, 9, "1E0020"},
        {"fixed pads decimals", 1234.5, F::Fixed, 15, 2, "1234.50"},
        {"fixed rounds half up", 2.5, F::Fixed, 15, 0, "3"},
        {"fixed half rounds to one", 0.5, F::Fixed, 15, 0, "1"},
        {"fixed carry into a new digit", 9.9951, F::Fixed, 15, 2, "10.00"},
        {"fixed below the last decimal", 0.004, F::Fixed, 15, 2, "0.00"},
        {"fixed rounds up from below", 0.005, F::Fixed, 15, 2, "0.01"},
        {"fixed leading decimal zeros", 0.0123, F::Fixed, 15, 6, "0.012300"},
        {"fixed negative", -0.25, F::Fixed, 15, 1, "-0.3"},
        {"fixed rounded to zero has no sign", -0.004, F::Fixed, 15, 2, "0.00"},
        {"fixed decimals limited to 18", 0.5, F::Fixed, 18, 30, "0.500000000000000000"},
        {"fixed too large falls back to general", 1e20, F::Fixed, 15, 2, "1E20"},
        {"fixed infinity", std::numeric_limits<double>::infinity(), F::Fixed, 15, 2, "INF"},
        {"fixed not a number", std::nan(""), F::Fixed, 15, 2, "NAN"},
        {"number groups thousands", 1234567.891, F::Number, 15, 2, "1,234,567.89"},
        {"number three digits", 123.0, F::Number, 15, 0, "123"},
        {"number six digits", -123456.0, F::Number, 15, 0, "-123,456"},
        {"currency positive", 1234.5, F::Currency, 15, 2, "$1,234.50"},
        {"currency negative", -1234.5, F::Currency, 15, 2, "($1,234.50)"},
        {"currency rounded to zero is positive", -0.004, F::Currency, 15, 2, "$0.00"},
        {"currency infinity", -std::numeric_limits<double>::infinity(), F::Currency, 15, 2, "-INF"},
        {"exponent style", 12345.0, F::Exponent, 15, 0, "1.2345E4"},
        {"exponent style small", -0.00125, F::Exponent, 15, 2, "-1.25E-03"},
    };
    for (const StyledCase& c : cases) {
        EXPECT_EQ(FloatTextStyled(c.value, c.style, c.precision, c.digits), c.text) << c.name;
    }
}

TEST_F(FormatsTest, NumberStylesSkipZeroCharacterSeparators) {
    LocaleFormats.ThousandsChar = '\0';
    EXPECT_EQ(FloatTextStyled(1234567.5, TFloatFormat::Number, 15, 1), "1234567.5");
    LocaleFormats.DecimalChar = '\0';
    EXPECT_EQ(FloatTextStyled(12.5, TFloatFormat::Fixed, 15, 2), "1250");
}

TEST_F(FormatsTest, CurrencyPatternsPlaceSymbolSignAndBody) {
    const char* positive[] = {"$1,234.50", "1,234.50$", "$ 1,234.50", "1,234.50 $"};
    const char* negative[] = {"($1,234.50)", "-$1,234.50",  "$-1,234.50",   "$1,234.50-",
                              "(1,234.50$)", "-1,234.50$",  "1,234.50-$",   "1,234.50$-",
                              "-1,234.50 $", "-$ 1,234.50", "1,234.50 $-",  "$ 1,234.50-",
                              "$ -1,234.50", "1,234.50- $", "($ 1,234.50)", "(1,234.50 $)"};
    for (int p = 0; p < 4; ++p) {
        LocaleFormats.CurrencyPlacement = static_cast<uint8_t>(p);
        EXPECT_EQ(FloatTextStyled(1234.5, TFloatFormat::Currency, 15, 2), positive[p]) << p;
        EXPECT_EQ(CurrencyTextStyled(12345000, TFloatFormat::Currency, 2), positive[p]) << p;
    }
    for (int n = 0; n < 16; ++n) {
        LocaleFormats.NegCurrencyPlacement = static_cast<uint8_t>(n);
        EXPECT_EQ(FloatTextStyled(-1234.5, TFloatFormat::Currency, 15, 2), negative[n]) << n;
        EXPECT_EQ(CurrencyTextStyled(-12345000, TFloatFormat::Currency, 2), negative[n]) << n;
    }
    // Placements beyond the tables count as the last pattern.
    LocaleFormats.CurrencyPlacement = 200;
    LocaleFormats.NegCurrencyPlacement = 200;
    EXPECT_EQ(FloatTextStyled(1234.5, TFloatFormat::Currency, 15, 2), positive[3]);
    EXPECT_EQ(FloatTextStyled(-1234.5, TFloatFormat::Currency, 15, 2), negative[15]);
    // A long symbol is written whole.
    LocaleFormats.CurrencyPlacement = 0;
    LocaleFormats.CurrencySymbol = std::string(100, 'S');
    EXPECT_EQ(FloatTextStyled(1.0, TFloatFormat::Currency, 15, 0).size(), 101u);
}

struct CurrencyCase {
    const char* name;
    int64_t scaled;
    TFloatFormat style;
    int digits;
    const char* text;
};

TEST_F(FormatsTest, CurrencyTextsRoundScaledValuesHalfToEven) {
    using F = TFloatFormat;
    const CurrencyCase cases[] = {
        {"zero", 0, F::General, 0, "0"},
        {"twelve and a half", 125000, F::General, 0, "12.5"},
        {"smallest unit", 1, F::General, 0, "0.0001"},
        {"negative whole", -30000, F::General, 0, "-3"},
        {"largest", std::numeric_limits<int64_t>::max(), F::General, 0, "922337203685477.5807"},
        {"smallest", std::numeric_limits<int64_t>::min(), F::General, 0, "-922337203685477.5808"},
        {"tie rounds to even, down", 123450, F::Fixed, 2, "12.34"},
        {"tie rounds to even, up", 123550, F::Fixed, 2, "12.36"},
        {"above the tie", 123451, F::Fixed, 2, "12.35"},
        {"no decimals", 125000, F::Fixed, 0, "12"},
        {"more decimals than stored", 12345678, F::Fixed, 6, "1234.567800"},
        {"rounded to zero has no sign", -50, F::Fixed, 2, "0.00"},
        {"rounded to zero is positive currency", -40, F::Currency, 2, "$0.00"},
        {"number groups", 12345678900000, F::Number, 2, "1,234,567,890.00"},
        {"currency", 12345000, F::Currency, 2, "$1,234.50"},
        {"negative currency", -12345000, F::Currency, 2, "($1,234.50)"},
    };
    for (const CurrencyCase& c : cases) {
        EXPECT_EQ(CurrencyTextStyled(c.scaled, c.style, c.digits), c.text) << c.name;
    }
    EXPECT_EQ(CurrencyText(-30000), "-3");
    std::string line = "=";
    AppendCurrencyText(line, 125000);
    EXPECT_EQ(line, "=12.5");
}

// The plain currency text is written straight from the integer; it must stay what the general
// style writes, for every count of decimals, both signs and each kind of separator item.
TEST_F(FormatsTest, PlainCurrencyTextEqualsTheGeneralStyle) {
    std::vector<int64_t> values = {0, std::numeric_limits<int64_t>::max(),
                                   std::numeric_limits<int64_t>::min(),
                                   std::numeric_limits<int64_t>::min() + 1};
    for (int64_t base : {1LL, 7LL, 10LL, 99LL, 1000LL, 1234LL, 10000LL, 12345LL, 50000LL}) {
        for (int64_t power = 1; power <= 100000000000000LL; power *= 10) {
            values.push_back(base * power);
            values.push_back(base * power + 1);
        }
    }
    for (char decimal : {'.', ',', '\0'}) {
        LocaleFormats.DecimalChar = decimal;
        for (int64_t value : values) {
            for (int64_t v :
                 {value, value == std::numeric_limits<int64_t>::min() ? value : -value}) {
                const std::string general = CurrencyTextStyled(v, TFloatFormat::General, 0);
                EXPECT_EQ(CurrencyText(v), general) << v << " with " << int(decimal);
                std::string line = "x";
                AppendCurrencyText(line, v);
                EXPECT_EQ(line, "x" + general) << v;
            }
        }
    }
}

// A decimal record from its text: "-12.50" has 4 digits, 2 of them decimals, and the sign set.
TBcd MakeBcd(std::string_view text) {
    TBcd bcd;
    bool negative = false;
    if (!text.empty() && text[0] == '-') {
        negative = true;
        text.remove_prefix(1);
    }
    int count = 0;
    int places = 0;
    bool afterPoint = false;
    for (char c : text) {
        if (c == '.') {
            afterPoint = true;
            continue;
        }
        const int digit = c - '0';
        bcd.Fraction[count / 2] |= static_cast<uint8_t>(count % 2 == 0 ? digit << 4 : digit);
        ++count;
        if (afterPoint) ++places;
    }
    bcd.Precision = static_cast<uint8_t>(count);
    bcd.SignSpecialPlaces = static_cast<uint8_t>((negative ? 0x80 : 0) | places);
    return bcd;
}

TEST_F(FormatsTest, BcdTextDropsLeadingAndTrailingZeros) {
    const struct {
        const char* record;
        const char* text;
    } cases[] = {
        {"12.50", "12.5"},
        {"100.00", "100"},
        {"-0.00", "0"},
        {"0.50", "0.5"},
        {".5", "0.5"},
        {"-12.5", "-12.5"},
        {"007", "7"},
        {"000", "0"},
        {"-000", "0"},
        {"100", "100"},
        {"-.05", "-0.05"},
        {"000.000", "0"},
        {"1", "1"},
        {"-1", "-1"},
        {"1234567890123456789012345678901234567890123456789012345678901234",
         "1234567890123456789012345678901234567890123456789012345678901234"},
        {".123456789012345678901234567890123456789012345678901234567890123",
         "0.123456789012345678901234567890123456789012345678901234567890123"},
        {"-99999999999999999999999999999999.99999999999999999999999999999999",
         "-99999999999999999999999999999999.99999999999999999999999999999999"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(BcdText(MakeBcd(c.record)), c.text) << c.record;
    }
    LocaleFormats.DecimalChar = ',';
    EXPECT_EQ(BcdText(MakeBcd("-12.50")), "-12,5");
    std::string line = ";";
    AppendBcdText(line, MakeBcd("3.10"));
    EXPECT_EQ(line, ";3,1");
}

TEST_F(FormatsTest, BcdTextWithoutDecimalCharacterKeepsIntegerZeros) {
    LocaleFormats.DecimalChar = '\0';
    EXPECT_EQ(BcdText(MakeBcd("100.00")), "100");
    EXPECT_EQ(BcdText(MakeBcd("12.50")), "125");
}

TEST_F(FormatsTest, MalformedBcdRecordsRaiseOverflow) {
    TBcd noDigits = MakeBcd("1");
    noDigits.Precision = 0;
    TBcd tooManyDigits = MakeBcd("1");
    tooManyDigits.Precision = 65;
    TBcd morePlacesThanDigits = MakeBcd("1.5");
    morePlacesThanDigits.SignSpecialPlaces = 3;
    TBcd badNibble = MakeBcd("15");
    badNibble.Fraction[0] = 0x1C;
    for (const TBcd* bad : {&noDigits, &tooManyDigits, &morePlacesThanDigits, &badNibble}) {
        try {
            BcdText(*bad);
            ADD_FAILURE() << "no exception";
        } catch (const EBcdOverflowException& e) {
            EXPECT_EQ(e.Message(), "BCD overflow");
        }
    }
    std::string line = "kept";
    EXPECT_THROW(AppendBcdText(line, noDigits), EBcdOverflowException);
    EXPECT_EQ(line, "kept");
}

}  // namespace
}  // namespace parvell

namespace parvell {
namespace {

// Every bit pattern is a value the formatters must take: run many through every style and
// decimal records with random bytes (meant for the sanitizer build as much as for the checks).
TEST_F(FormatsTest, AnyValueFormatsWithoutFault) {
    uint64_t seed = 88172645463325252ull;
    auto next = [&seed] {
        seed ^= seed << 13;
        seed ^= seed >> 7;
        seed ^= seed << 17;
        return seed;
    };
    const TFloatFormat styles[] = {TFloatFormat::General, TFloatFormat::Exponent,
                                   TFloatFormat::Fixed, TFloatFormat::Number,
                                   TFloatFormat::Currency};
    for (int i = 0; i < 20000; ++i) {
        const uint64_t bits = next();
        double value;
        std::memcpy(&value, &bits, sizeof value);
        const int64_t scaled = static_cast<int64_t>(next());
        for (TFloatFormat style : styles) {
            const int precision = static_cast<int>(next() % 24) - 2;
            const int digits = static_cast<int>(next() % 40) - 5;
            EXPECT_FALSE(FloatTextStyled(value, style, precision, digits).empty());
            EXPECT_FALSE(CurrencyTextStyled(scaled, style, digits).empty());
        }
        TBcd bcd;
        bcd.Precision = static_cast<uint8_t>(bits % 70);
        bcd.SignSpecialPlaces = static_cast<uint8_t>(bits >> 8);
        for (std::size_t k = 0; k < sizeof bcd.Fraction; ++k) {
            const uint64_t r = next();
            // Half of the records hold only decimal digits, so that most of those format.
            bcd.Fraction[k] =
                static_cast<uint8_t>(i % 2 == 0 ? r : ((r >> 4) % 10) << 4 | (r & 0x0F) % 10);
        }
        try {
            const std::string text = BcdText(bcd);
            EXPECT_EQ(text.find_first_not_of("-.0123456789"), std::string::npos) << text;
        } catch (const EBcdOverflowException&) {
        }
    }
}

}  // namespace
}  // namespace parvell
