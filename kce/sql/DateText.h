#pragma once
// Reading dates, times and timestamps written as text, into their stored forms:
// 'YYYY-MM-DD', 'HH:MM:SS.mmm', 'YYYY-MM-DD HH:MM:SS.mmm'.

#include <optional>
#include <string>
#include <string_view>

namespace kce::sql {

// A date in the engine date format (letters MM, DD, CC, YY; CCYY or YYYY is the four-digit
// year; YY alone a two-digit year, 00-49 read as 20xx) or in ISO form YYYY-MM-DD. Blanks around
// the text are ignored. Months and days may be written with one digit.
std::optional<std::string> ReadDate(std::string_view text, std::string_view format);

// HH:MM[:SS[.mmm]] with an optional AM or PM.
std::optional<std::string> ReadTime(std::string_view text);

// A date as above, optionally followed by a blank or "T" and a time.
std::optional<std::string> ReadTimestamp(std::string_view text, std::string_view format);

}  // namespace kce::sql
