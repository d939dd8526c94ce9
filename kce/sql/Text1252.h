#pragma once
// Windows-1252 text as the engine holds it, and its UTF-8 form stored in SQLite. The five bytes
// 1252 leaves unassigned map to U+0081, U+008D, U+008F, U+0090, U+009D, so every byte string
// round-trips.

#include <string>
#include <string_view>

namespace kce::sql {

std::string Utf8FromCp1252(std::string_view text);
// Characters with no Windows-1252 byte become "?".
std::string Cp1252FromUtf8(std::string_view text);

// Upper/lower case of one Windows-1252 byte (letters of the code page, not only ASCII).
unsigned char UpperCp1252(unsigned char c);
unsigned char LowerCp1252(unsigned char c);

// Compares names without regard to case, as the catalogue does.
bool EqualsNoCase(std::string_view a, std::string_view b);

// Upper-cases UTF-8 text (Windows-1252 letters; other characters unchanged).
std::string UpperUtf8(std::string_view text);
std::string LowerUtf8(std::string_view text);

// Number of characters of UTF-8 text.
size_t Utf8Length(std::string_view text);

}  // namespace kce::sql
