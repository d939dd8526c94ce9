#pragma once
// Conversions between the program's single-byte texts (Windows-1252) and the Unicode forms the
// store file is written in (UTF-8, and UTF-16LE inside some binary values).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace parvell::store {

// The Unicode code point of a Windows-1252 byte. The five bytes the code page leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the control characters of the same number, so every byte
// survives a round trip.
char32_t UnicodeFromCp1252(uint8_t byte);

// The Windows-1252 byte of a code point, or '?' when the code page has none for it.
char Cp1252FromUnicode(char32_t codePoint);

void AppendUtf8(std::string& out, char32_t codePoint);

// True when `text` is well-formed UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF).
bool IsValidUtf8(std::string_view text);

std::string Utf8FromCp1252(std::string_view text);

// Malformed sequences and characters outside the code page become '?'.
std::string Cp1252FromUtf8(std::string_view text);

// Decodes UTF-16LE bytes (an odd last byte is ignored; unpaired surrogates become U+FFFD).
std::string Utf8FromUtf16Le(const uint8_t* data, size_t size);

std::vector<uint8_t> Utf16LeFromUtf8(std::string_view text);

}  // namespace parvell::store
