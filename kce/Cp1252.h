#pragma once
// Windows-1252 <-> UTF-8. The C interface speaks Windows-1252; stored text is UTF-8. The five
// bytes that Windows-1252 leaves unassigned map to U+0081, U+008D, U+008F, U+0090 and U+009D, so
// every byte string round-trips unchanged.

#include <cstddef>
#include <string>
#include <string_view>

namespace kce {

// Appends the UTF-8 form of Windows-1252 text.
void AppendUtf8(std::string_view cp1252, std::string& out);
std::string ToUtf8(std::string_view cp1252);

// Writes the Windows-1252 form of UTF-8 text into out (at most capacity bytes) and returns the
// bytes written. Characters without a Windows-1252 byte, and malformed UTF-8, become "?".
// Allocation-free: used per record.
size_t FromUtf8(const char* utf8, size_t length, char* out, size_t capacity);
std::string FromUtf8(std::string_view utf8);

}  // namespace kce
