#pragma once
// Reading text as integers, numbers and date-times, as a string field does when it is asked for
// a numeric or date value. Plain decimal text is accepted (surrounding blanks allowed); anything
// else raises EConvertError with the text in the message.

#include <cstdint>
#include <string_view>

#include "data/Formats.h"

namespace parvell {

// "'%s' is not a valid integer value" unless the text is a 32-bit decimal integer.
int32_t TextToInteger(std::string_view text);
// "'%s' is not a valid floating point value"; LocaleFormats.DecimalChar separates decimals.
double TextToFloat(std::string_view text);
// "'%s' is not a valid date and time". A date in the order of LocaleFormats.ShortDatePattern
// (day, month and year separated by DateSepChar, "/", "-" or "."), a time "h:mm[:ss[.zzz]]"
// with an optional AmText / PmText (or AM / PM) marker, or a date, a blank and a time.
TDateTime TextToDateTime(std::string_view text);

// Days since 1899-12-30 of a proleptic Gregorian date; false for a date that does not exist.
bool EncodeDate(int year, int month, int day, TDateTime* result);

}  // namespace parvell
