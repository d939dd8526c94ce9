#pragma once
// Exact number rules of the stored representation, shared by the binder (literals, checked while
// compiling) and the SQLite functions that check values while a statement runs:
// - MONEY and CURRENCY are kept as a 64-bit count of ten-thousandths; decimal text scales into
//   that count exactly, without passing through a double;
// - a NUMERIC(l,d) value must fit its native text of l characters with d decimals;
// - no integer or money value may have the bytes of its type's null mark in the native record.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct sqlite3;

namespace kce::sql {

// Ten-thousandths per unit of a MONEY or CURRENCY value.
inline constexpr int64_t kMoneyScale = 10000;

struct ScaledDecimal {
    enum class Status { Ok, NotANumber, OutOfRange };
    Status status = Status::NotANumber;
    int64_t count = 0;   // Ok: the value in ten-thousandths, rounded half away from zero
    bool exact = false;  // Ok: no digit was rounded away
};

// Reads decimal text (sign, digits, point, digits, optional exponent; blanks around it) as a
// count of ten-thousandths. OutOfRange when the count leaves -(2^63 - 1) .. 2^63 - 1: the one
// value below, -2^63, is MONEY's null mark.
ScaledDecimal ScaleDecimal(std::string_view text);

// A double as a count of ten-thousandths, read from its shortest decimal form (so 1.0005 gives
// 10005, as the text it was written from does).
ScaledDecimal ScaleDouble(double value);

// A count of ten-thousandths as decimal text: at least one decimal, trailing zeros dropped
// ("25.5", "-0.0001", "3.0").
std::string MoneyText(int64_t count);

// Whether an integer may be stored in a column of integer type `type` (SMALLINT, INTEGER,
// AUTOINC, BIGINT): inside the type's range and not the value whose native bytes are its null
// mark (SMALLINT -32768, INTEGER -2147483648, AUTOINC -1, BIGINT -2^63).
bool IntegerFits(uint16_t type, int64_t value);

// Whether the native text of `value` with `decimals` decimals (sign, digits, point, decimals:
// the value rounded half away from zero) has at most `length` characters.
bool NumericFits(double value, uint32_t length, uint16_t decimals);

// The value rounded to `decimals` decimals as NUMERIC stores it.
double RoundNumeric(double value, uint16_t decimals);

// Registers the SQLite functions that check and convert numbers while a statement runs:
// kce_tointeger, kce_tomoney, kce_tonumeric, kce_todouble and kce_moneytext.
void RegisterNumberFunctions(sqlite3* db);

}  // namespace kce::sql
