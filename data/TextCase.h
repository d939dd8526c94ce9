#pragma once
// Case folding and widening of single-byte Windows-1252 text. Field names, definitions and other
// look-ups compare names without regard to case the way the user's locale does for this code
// page: ASCII letters, the accented letters of 0xC0..0xFE and the letters Š, Œ, Ž and Ÿ fold.
// ß, µ and ÿ's neighbours without a single-byte partner stay as they are.

#include <string>
#include <string_view>

namespace parvell {

char AnsiUpperChar(char c);
char AnsiLowerChar(char c);
std::string AnsiUpperCase(std::string_view text);
std::string AnsiLowerCase(std::string_view text);

// Compares after folding both texts to upper case, byte by byte as unsigned values; a text that
// is a prefix of the other sorts first. Negative, zero or positive like strcmp.
int AnsiCompareText(std::string_view a, std::string_view b);
bool AnsiSameText(std::string_view a, std::string_view b);

// Windows-1252 to UTF-16 and back. The five bytes that the code page leaves undefined map to the
// control characters of the same value; a character that has no byte becomes '?'.
char16_t AnsiCharToWide(char c);
std::u16string AnsiToWide(std::string_view text);
std::string WideToAnsi(std::u16string_view text);

}  // namespace parvell
