#pragma once
// The pure conversions that turn the C library's locale items into the items of LocaleFormats.
// LoadLocaleFormats uses them; they are separate so that each rule can be checked without the
// locales installed on a machine.

#include <cstdint>
#include <string>
#include <string_view>

namespace parvell {

// UTF-8 to Windows-1252; a character the code page lacks, or a malformed sequence, becomes "?".
// The narrow no-break space some locales use to group digits becomes the no-break space.
std::string Utf8ToWindows1252(std::string_view utf8);

// A separator item: a one-character value is taken, an empty value gives the zero character and
// a longer value leaves `item` as it is.
void TakeSeparator(char& item, std::string_view value);

// A strftime date format as a date pattern: "%m/%d/%Y" gives "MM/dd/yyyy", "%d.%m.%y" gives
// "dd.MM.yy"; literal letters are quoted. Conversions with no pattern equivalent are dropped.
std::string DatePatternFromStrftime(std::string_view format);

// The literal text between the first and the second conversion of a strftime format ("/" for
// "%m/%d/%Y"); empty when there is no such text.
std::string SeparatorFromStrftime(std::string_view format);

// How a locale writes the time of day, read from its strftime time format.
struct TTimeConvention {
    bool Found = false;        // an hour conversion was found
    bool LeadingZero = false;  // hours have a leading zero
    bool TwelveHour = false;   // the 12-hour clock
    bool MarkerFirst = false;  // the morning/afternoon marker comes before the time
};
// `format` with its %r, %T and %R already expanded.
TTimeConvention TimeConventionFromStrftime(std::string_view format);

// The short and long time patterns of a convention: "h:mm AMPM" and "h:mm:ss AMPM" for the
// United States.
std::string ShortTimePatternFor(const TTimeConvention& convention);
std::string LongTimePatternFor(const TTimeConvention& convention);

// The currency placements (Windows numbering) of the C library's monetary items.
uint8_t PositiveCurrencyPlacement(bool symbolPrecedes, bool separatedBySpace);
// signPosition: 0 parentheses, 1 sign before all, 2 sign after all, 3 sign just before the
// symbol, 4 sign just after the symbol; other values give placement 0.
uint8_t NegativeCurrencyPlacement(bool symbolPrecedes, bool separatedBySpace, int signPosition);

// Date pattern translation: under an era calendar "gg" becomes "ggg" and the year parts "yyyy",
// "yy", "y" become "eeee", "ee", "e"; for Chinese, Japanese and Korean locales with other
// calendars every "g" and "G" outside quoted text is dropped; other patterns stay as they are.
std::string TranslateDatePattern(std::string_view pattern, bool eraCalendar, bool cjkLocale);

}  // namespace parvell
