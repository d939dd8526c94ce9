#pragma once
// Exact text forms of numbers and date-times, and the process-wide text conventions they read.
// Texts are single-byte (Windows-1252). Formatting works in fixed buffers and allocates only the
// final text.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/Exceptions.h"

namespace parvell {

// A date-time: days since 1899-12-30 00:00, the fraction being the time of day.
using TDateTime = double;

// The decimal record: native form of BCD values, 34 bytes.
// Byte 0: number of digits (1..64). Byte 1: sign in bit 7 (set = negative), digits after the
// decimal point in bits 0..5. Bytes 2..33: digits packed two per byte, most significant first,
// the first digit in the high half of byte 2.
struct TBcd {
    uint8_t Precision = 0;
    uint8_t SignSpecialPlaces = 0;
    uint8_t Fraction[32] = {};
};
static_assert(sizeof(TBcd) == 34);

// Raised for a malformed decimal record: "BCD overflow".
class EBcdOverflowException : public Exception {
public:
    EBcdOverflowException() : Exception("BCD overflow") {}
};

// The text conventions of the process. A character item of '\0' is "the zero character": the
// formatters then write nothing for it.
struct TLocaleFormats {
    std::string CurrencySymbol;
    uint8_t CurrencyPlacement = 0;     // 0..3
    uint8_t NegCurrencyPlacement = 0;  // 0..15
    char ThousandsChar = ',';
    char DecimalChar = '.';
    uint8_t CurrencyDigits = 0;
    char DateSepChar = '/';
    std::string ShortDatePattern = "m/d/yy";
    std::string LongDatePattern = "mmmm d, yyyy";
    char TimeSepChar = ':';
    std::string AmText = "am";
    std::string PmText = "pm";
    std::string ShortTimePattern = "h:mm AMPM";
    std::string LongTimePattern = "h:mm:ss AMPM";
    std::array<std::string, 12> MonthNamesShort;
    std::array<std::string, 12> MonthNamesLong;
    std::array<std::string, 7> DayNamesShort;  // Sunday first
    std::array<std::string, 7> DayNamesLong;   // Sunday first
    char ListSepChar = ',';

    TLocaleFormats();  // the defaults used when the locale gives nothing (English names)

    // The items of the United States English locale, for tests and as a known reference.
    static TLocaleFormats UnitedStates();
};

// The one process-wide record; read and written on the main thread only.
extern TLocaleFormats LocaleFormats;

// Filling LocaleFormats from the user's locale: data/LocaleFormats.h.

// Number styles of the styled formatters.
enum class TFloatFormat : uint8_t {
    General = 0,
    Exponent = 1,
    Fixed = 2,
    Number = 3,
    Currency = 4
};

std::string IntegerText(int32_t value);
std::string Int64Text(int64_t value);
std::string FloatText(double value);
std::string FloatTextStyled(double value, TFloatFormat style, int precision, int digits);
// Scaled currency: a 64-bit integer equal to the amount x 10000.
std::string CurrencyText(int64_t scaled);
std::string CurrencyTextStyled(int64_t scaled, TFloatFormat style, int digits);
std::string BcdText(const TBcd& value);
std::string DateTimeText(std::string_view pattern, TDateTime value);

// The same texts appended to a caller's string, for per-record loops that reuse one line buffer:
// they write exactly what the functions above return and allocate only when `out` must grow.
void AppendIntegerText(std::string& out, int32_t value);
void AppendInt64Text(std::string& out, int64_t value);
void AppendFloatText(std::string& out, double value);
void AppendFloatTextStyled(std::string& out, double value, TFloatFormat style, int precision,
                           int digits);
void AppendCurrencyText(std::string& out, int64_t scaled);
void AppendCurrencyTextStyled(std::string& out, int64_t scaled, TFloatFormat style, int digits);
void AppendBcdText(std::string& out, const TBcd& value);
void AppendDateTimeText(std::string& out, std::string_view pattern, TDateTime value);

// A date-time pattern read once and kept in a compiled form, for loops that write many values
// under the same pattern (a field, a column). Append writes exactly what AppendDateTimeText
// writes. The compiled form copies the pattern and every locale pattern it names ("c", "t",
// "ddddd" and the like) and compiles anew when any of them has changed since, so a changed
// LocaleFormats record is followed at the next value; separators, names and markers are read from
// LocaleFormats at each value.
class TDateTimePattern {
public:
    void Append(std::string& out, std::string_view pattern, TDateTime value);
    std::string Text(std::string_view pattern, TDateTime value);

private:
    struct TOp {
        uint8_t Kind = 0;
        uint8_t Arg = 0;     // a calendar part or a minimum number of digits
        uint16_t Size = 0;   // literal length, or the number of ops a condition covers
        uint32_t At = 0;     // literal offset in literals_
        uint16_t Size2 = 0;  // second literal (the evening variant of a marker)
        uint32_t At2 = 0;
    };
    enum TNamed : uint8_t { ShortDate, LongDate, ShortTime, LongTime, NamedCount };

    bool Current(std::string_view pattern) const;
    void Write(std::string& out, std::string_view pattern, TDateTime value);
    void WriteParts(std::string& out, TDateTime value) const;
    void Compile(std::string_view pattern);
    void CompileLevel(std::string_view pattern, int depth);
    void CompileNamed(TNamed which, int depth);
    void AddLiteral(std::string_view text);
    void AddOp(const TOp& op);

    bool compiled_ = false;
    std::string source_;
    std::array<std::string, NamedCount> named_;  // copies of the locale patterns compiled in
    std::array<bool, NamedCount> usesNamed_ = {};
    std::vector<TOp> ops_;
    std::size_t sealed_ = 0;  // literal steps before this one take no further text
    std::string literals_;
    // The compiled form's number, shared by every pattern compiled from the same texts, for the
    // memo of the text written last (see Write); 0 for a form that writes names or texts of
    // LocaleFormats, which the memo does not compare.
    uint32_t formId_ = 0;
};

// A date-time split into calendar date and time of day, as DateTimeText sees it: the value is
// rounded to whole milliseconds (ties to even) and a negative value counts its fraction as the
// time of day of the date below (-1.25 is 1899-12-29 06:00). Proleptic Gregorian calendar.
// A date before 0001-01-01 (and a value that is not a number or too large to count in
// milliseconds) has Year, Month and Day 0; years after 9999 continue the calendar.
struct TDateTimeParts {
    int32_t Year = 0;
    int32_t Month = 0;        // 1..12, 0 for no valid date
    int32_t Day = 0;          // 1..31, 0 for no valid date
    int32_t DayOfWeek = 0;    // 0 = Sunday .. 6 = Saturday
    int32_t Hour = 0;         // 0..23
    int32_t Minute = 0;       // 0..59
    int32_t Second = 0;       // 0..59
    int32_t Millisecond = 0;  // 0..999
};
TDateTimeParts DecodeDateTime(TDateTime value);

}  // namespace parvell
