#pragma once
// Decimal text to a double the way the C library's strtod reads it in the "C" locale, whatever
// locale the process has set: a program that runs under a decimal-comma locale still reads
// "2.25" from a text column as two and a quarter.

#include <cstddef>
#include <optional>
#include <string_view>

namespace parvell {

// Reads the longest number at the start of text: leading white space, an optional sign, digits
// with an optional point and exponent, or a hexadecimal number after "0x"; infinity and NaN
// words are read too. consumed (when given) is the count of characters read, 0 when no number
// starts the text (the result is then 0).
double ReadDouble(std::string_view text, size_t* consumed = nullptr);

// The whole text as a finite number (white space around it allowed), else nothing.
std::optional<double> WholeFiniteDouble(std::string_view text);

}  // namespace parvell
