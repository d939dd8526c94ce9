#pragma once
// The Windows-1252 code page: byte <-> code point, UTF-8 <-> Windows-1252 strings and the case
// folding of its letters. The five bytes the code page leaves unassigned (0x81, 0x8D, 0x8F, 0x90,
// 0x9D) map to the control characters of the same number, so every byte string round-trips.
//
// UTF-8 is decoded strictly: overlong forms, surrogates, values above U+10FFFF, truncated
// sequences and stray continuation bytes are ill-formed. Each maximal ill-formed subpart (the
// longest start of a sequence that could still have become valid, or a single byte that cannot
// start one) is read as one '?', never as a control character or a NUL byte.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace parvell::cp1252 {

// The code point of a byte.
char32_t Decode(unsigned char byte);
// The byte of a code point, or -1 when the code page has none.
int Encode(char32_t codePoint);
// The byte of a code point, '?' when the code page has none.
inline char EncodeOrQuestion(char32_t codePoint) {
    const int byte = Encode(codePoint);
    return byte < 0 ? '?' : static_cast<char>(byte);
}

// Upper and lower case of one byte: the ASCII letters, the accented letters 0xC0..0xFE (not the
// signs 0xD7 and 0xF7) and the pairs Š/š, Œ/œ, Ž/ž, Ÿ/ÿ. ß and µ have no single-byte partner.
unsigned char Upper(unsigned char byte);
unsigned char Lower(unsigned char byte);

// Reads one UTF-8 character at text[pos] and advances pos past it; returns false (and advances
// past the maximal ill-formed subpart) when the bytes there are not well-formed. pos < size.
bool NextUtf8(std::string_view text, std::size_t& pos, char32_t& codePoint);
// Appends the UTF-8 form of a code point (up to U+10FFFF).
void AppendUtf8(std::string& out, char32_t codePoint);
// True when the whole text is well-formed UTF-8.
bool IsValidUtf8(std::string_view text);

// Appends the UTF-8 form of Windows-1252 text.
void AppendUtf8FromCp1252(std::string_view text, std::string& out);
std::string Utf8FromCp1252(std::string_view text);

// Writes the Windows-1252 form of UTF-8 text into out (at most capacity bytes) and returns the
// bytes written. Characters without a byte, and ill-formed subparts, become '?'. Allocation-free.
std::size_t Cp1252FromUtf8(const char* utf8, std::size_t length, char* out, std::size_t capacity);
std::string Cp1252FromUtf8(std::string_view utf8);

}  // namespace parvell::cp1252
