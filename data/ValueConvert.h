#pragma once
// Conversions between the native forms a dataset delivers and the values field objects return:
// decimal records to scaled currency (and back), day numbers and milliseconds to TDateTime.

#include <cstdint>
#include <string_view>

#include "common/Calendar.h"
#include "data/Formats.h"

namespace parvell {

// Day number of 1899-12-30, counting 0001-01-01 as day 1 (693594).
inline constexpr int32_t kDateDelta = kJulianOfDateTimeZero - (kJulianOfFirstDay - 1);
inline constexpr int64_t kMSecsPerDay = 86400000;

// The decimal record as value x 10000. Digits down to the fourth decimal place are kept; a fifth
// decimal of 6 to 9 rounds the magnitude up, 5 only when a later digit is non-zero, 0 to 4
// truncates; the sign is applied last. Raises EBcdOverflowException for a malformed record
// (0 or more than 64 digits, more decimals than digits, a nibble above 9) or a value beyond
// 64 bits.
int64_t BcdToScaled(const TBcd& value);

// The decimal record kept to at most `places` decimals (0..63), rounded as BcdToScaled rounds at
// its fourth: the first dropped digit 6 to 9 rounds the magnitude up, 5 only when a later digit
// is non-zero. A record with no more decimals is returned as it is; a carry out of the first
// digit adds one. Raises EBcdOverflowException for a malformed record.
TBcd BcdKeepPlaces(const TBcd& value, int places);

// A decimal record with the given precision and decimals holding value / 10000; the digits that
// do not fit the decimals are rounded half away from zero. Raises EBcdOverflowException when the
// integer part needs more than precision - decimals digits or the precision is outside 1..64.
TBcd ScaledToBcd(int64_t scaled, int precision, int decimals);

// Plain decimal text ("-12.50", blanks around allowed, LocaleFormats.DecimalChar or "." before
// the decimals) as a decimal record with exactly the digits written, leading zeros of the
// integer part dropped (at least one integer digit kept). Raises EConvertError
// "'%s' is not a valid BCD value" for anything else, and EBcdOverflowException beyond 64 digits.
TBcd TextToBcd(std::string_view text);

// Validates a (day, milliseconds) pair and turns it into a TDateTime. A day below 1 or negative
// milliseconds raise EConvertError "'%d.%d' is not a valid timestamp". Days before 1899-12-30
// still count the time of day forward, so the fraction of a negative value is the time.
TDateTime TimeStampToDateTime(int64_t day, int64_t milliseconds);

// Native forms: ftDate (day number), ftTime (milliseconds since midnight) and ftDateTime
// (day number x 86400000 + milliseconds, as a double) to TDateTime, validated as above. A
// date-time count that cannot be split (not finite, out of range) counts as day 0,
// milliseconds 0.
TDateTime NativeDateToDateTime(int32_t day);
TDateTime NativeTimeToDateTime(int32_t milliseconds);
TDateTime NativeDateTimeToDateTime(double count);

}  // namespace parvell
