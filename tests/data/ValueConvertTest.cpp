#include "data/ValueConvert.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "common/Exceptions.h"

namespace parvell {
namespace {

TBcd Record(int precision, int places, bool negative, std::string digits) {
    TBcd value;
    value.Precision = static_cast<uint8_t>(precision);
    value.SignSpecialPlaces = static_cast<uint8_t>(places | (negative ? 0x80 : 0));
    for (size_t i = 0; i < digits.size() && i < 64; ++i) {
        const int d = digits[i] == 'A' ? 10 : digits[i] - '0';
        value.Fraction[i / 2] |= static_cast<uint8_t>(i % 2 == 0 ? d << 4 : d);
    }
    return value;
}

TEST(BcdToScaled, KeepsFourDecimalsAndRoundsOnTheFifth) {
    struct Case {
        const char* name;
        TBcd value;
        int64_t scaled;
    } cases[] = {
        {"12.50", Record(4, 2, false, "1250"), 125000},
        {"100", Record(3, 0, false, "100"), 1000000},
        {"leading zeros", Record(6, 2, false, "000125"), 12500},
        {"0.5", Record(1, 1, false, "5"), 5000},
        {"fifth 6 rounds up", Record(6, 5, false, "123456"), 12346},
        {"fifth 4 truncates", Record(6, 5, false, "123454"), 12345},
        {"fifth 5 alone truncates", Record(6, 5, false, "123455"), 12345},
        {"fifth 5 then more rounds up", Record(7, 6, false, "1234551"), 12346},
        {"sign applied last", Record(7, 6, true, "1234551"), -12346},
        {"negative zero", Record(3, 2, true, "000"), 0},
        {"largest", Record(19, 4, false, "9223372036854775807"), INT64_MAX},
    };
    for (const auto& c : cases) EXPECT_EQ(BcdToScaled(c.value), c.scaled) << c.name;
}

TEST(BcdToScaled, MalformedOrTooLargeRecordsOverflow) {
    struct Case {
        const char* name;
        TBcd value;
    } cases[] = {
        {"no digits", Record(0, 0, false, "")},
        {"65 digits", Record(65, 0, false, "1")},
        {"more decimals than digits", Record(2, 3, false, "12")},
        {"nibble above 9", Record(2, 0, false, "1A")},
        {"beyond 64 bits", Record(19, 0, false, "9999999999999999999")},
        {"rounding beyond 64 bits", Record(20, 5, false, "92233720368547758079")},
    };
    for (const auto& c : cases) {
        try {
            BcdToScaled(c.value);
            ADD_FAILURE() << c.name;
        } catch (const EBcdOverflowException& e) {
            EXPECT_EQ(e.Message(), "BCD overflow") << c.name;
        }
    }
}

// Every precision up to 24 digits, up to six decimals, both signs and digit patterns from one
// digit to all nines: the value x 10000 worked out in 128 bits (a fifth decimal of 6 to 9 rounds
// up, 5 only with a later non-zero digit), or an overflow beyond 64 bits.
TEST(BcdToScaled, EveryPrecisionPlacesAndSignAgreeWithWideArithmetic) {
    const auto expected = [](const std::string& digits, int places, bool negative,
                             bool* overflow) -> int64_t {
        __int128 whole = 0;
        for (char c : digits) whole = whole * 10 + (c - '0');
        __int128 scaled = whole;
        for (int i = places; i < 4; ++i) scaled *= 10;
        if (places > 4) {
            __int128 divisor = 1;
            for (int i = 4; i < places; ++i) divisor *= 10;
            const __int128 rest = whole % divisor;
            const int first = static_cast<int>(rest / (divisor / 10));
            const bool later = rest % (divisor / 10) != 0;
            scaled = whole / divisor + ((first >= 6 || (first == 5 && later)) ? 1 : 0);
        }
        *overflow = scaled > INT64_MAX;
        return *overflow ? 0 : static_cast<int64_t>(negative ? -scaled : scaled);
    };
    for (int precision = 1; precision <= 24; ++precision) {
        const std::string patterns[] = {
            std::string(static_cast<size_t>(precision), '9'),
            "1" + std::string(static_cast<size_t>(precision - 1), '0'),
            std::string(static_cast<size_t>(precision - 1), '0') + "5",
            std::string("12345678901234567890123456").substr(0, static_cast<size_t>(precision)),
            std::string("00000000007050000000000001").substr(0, static_cast<size_t>(precision)),
        };
        for (int places = 0; places <= std::min(precision, 6); ++places) {
            for (bool negative : {false, true}) {
                for (const std::string& digits : patterns) {
                    bool overflow = false;
                    const int64_t want = expected(digits, places, negative, &overflow);
                    const TBcd value = Record(precision, places, negative, digits);
                    const std::string name =
                        (negative ? "-" : "") + digits + " /" + std::to_string(places);
                    if (overflow) {
                        EXPECT_THROW(BcdToScaled(value), EBcdOverflowException) << name;
                    } else {
                        EXPECT_EQ(BcdToScaled(value), want) << name;
                    }
                }
            }
        }
    }
    // A nibble above 9 anywhere within the precision is malformed, on the short road too.
    EXPECT_THROW(BcdToScaled(Record(3, 0, false, "12A")), EBcdOverflowException);
    EXPECT_THROW(BcdToScaled(Record(4, 2, false, "A200")), EBcdOverflowException);
}

TEST(BcdKeepPlaces, RoundsTheDroppedDecimalsAsTheScaledConversionDoes) {
    struct Case {
        const char* name;
        TBcd value;
        int places;
        const char* text;
    } cases[] = {
        {"fewer decimals unchanged", Record(4, 2, false, "1250"), 4, "12.5"},
        {"first dropped 6 rounds up", Record(6, 5, false, "123456"), 4, "1.2346"},
        {"first dropped 5 alone truncates", Record(6, 5, false, "123455"), 4, "1.2345"},
        {"first dropped 5 then more rounds up", Record(7, 6, false, "1234551"), 4, "1.2346"},
        {"carry out of the first digit", Record(21, 2, true, "999999999999999999999"), 0,
         "-10000000000000000000"},
        {"only decimals rounded away", Record(3, 3, true, "004"), 0, "0"},
        {"only decimals rounded up", Record(2, 2, false, "51"), 0, "1"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BcdText(BcdKeepPlaces(c.value, c.places)), c.text) << c.name;
    EXPECT_EQ(BcdText(BcdKeepPlaces(Record(64, 1, false, std::string(64, '9')), 0)),
              "1" + std::string(63, '0'));
    EXPECT_THROW(BcdKeepPlaces(Record(2, 0, false, "1A"), 4), EBcdOverflowException);
}

TEST(DecimalRecords, TextAndScaledValuesRoundTrip) {
    struct Case {
        std::string text;
        int precision, places;
        int64_t scaled;
    } cases[] = {
        {"12.50", 4, 2, 125000}, {"-0.5", 2, 1, -5000},     {" 007 ", 1, 0, 70000},
        {".25", 3, 2, 2500},     {"123.45", 5, 2, 1234500},
    };
    for (const auto& c : cases) {
        const TBcd value = TextToBcd(c.text);
        EXPECT_EQ(value.Precision, c.precision) << c.text;
        EXPECT_EQ(value.SignSpecialPlaces & 0x3F, c.places) << c.text;
        EXPECT_EQ(BcdToScaled(value), c.scaled) << c.text;
    }
    // Money: ten-thousandths into a record of precision 20 with 4 decimals.
    const TBcd money = ScaledToBcd(1234500, 20, 4);
    EXPECT_EQ(BcdToScaled(money), 1234500);
    EXPECT_EQ(BcdToScaled(ScaledToBcd(INT64_MIN + 1, 20, 4)), INT64_MIN + 1);
    EXPECT_EQ(BcdToScaled(ScaledToBcd(-12355, 10, 2)), -12400);  // half away from zero
    EXPECT_EQ(BcdToScaled(ScaledToBcd(5, 10, 6)), 5);
    EXPECT_THROW(ScaledToBcd(10000000, 3, 0), EBcdOverflowException);  // 1000 in 3 digits
    for (const char* bad : {"", "1.2.3", "12a", "-", "1,5"}) {
        try {
            TextToBcd(bad);
            ADD_FAILURE() << bad;
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message(), "'" + std::string(bad) + "' is not a valid BCD value");
        }
    }
}

TEST(TimeStamps, ValidPairsBecomeDateTimes) {
    EXPECT_DOUBLE_EQ(NativeDateToDateTime(kDateDelta), 0.0);
    EXPECT_DOUBLE_EQ(NativeDateToDateTime(733056), 39462.0);  // 2008-01-15
    EXPECT_DOUBLE_EQ(NativeDateToDateTime(1), -693593.0);     // 0001-01-01
    EXPECT_DOUBLE_EQ(NativeTimeToDateTime(43200000), 0.5);
    EXPECT_DOUBLE_EQ(NativeDateTimeToDateTime(730120.0 * kMSecsPerDay + 43200000), 36526.5);
    EXPECT_DOUBLE_EQ(NativeDateTimeToDateTime(693593.0 * kMSecsPerDay + 21600000), -1.25);
    EXPECT_DOUBLE_EQ(NativeDateTimeToDateTime(693594.0 * kMSecsPerDay + 0.4), 0.0);  // whole ms
}

}  // namespace
}  // namespace parvell
