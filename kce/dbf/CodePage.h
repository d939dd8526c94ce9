#pragma once
// Character sets of dBase-format tables. The program works in Windows-1252; tables marked with an
// OEM code page (437 or 850) are converted byte by byte on read and back on write. The engine's
// stored text is UTF-8; Windows-1252 maps to it one to one (its five unassigned bytes go to the
// C1 controls U+0081, U+008D, U+008F, U+0090, U+009D) so that text survives the round trip.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kce::dbf {

enum class CodePage : uint8_t { Windows1252, Oem437, Oem850 };

// The code page that the header's code-page byte names; nullopt for a byte naming a code page we
// cannot convert (the reader refuses such tables rather than misread their text). Byte 0 (no
// mark) means Windows-1252.
std::optional<CodePage> CodePageFromMark(uint8_t mark);
// The byte written into headers of new tables of that code page.
uint8_t CodePageMark(CodePage page);
const char* CodePageName(CodePage page);

// Table bytes to Windows-1252 and back. Characters with no counterpart become '?'. Identity for
// Windows-1252 tables. `out` is overwritten (its capacity is reused).
void TableToAnsi(CodePage page, std::string_view in, std::string& out);
void AnsiToTable(CodePage page, std::string_view in, std::string& out);
char TableToAnsiChar(CodePage page, unsigned char c);

// Windows-1252 to UTF-8 (appends to `out`) and back. UTF-8 input that is malformed or has no
// Windows-1252 counterpart becomes '?'.
void AnsiToUtf8(std::string_view in, std::string& out);
void Utf8ToAnsi(std::string_view in, std::string& out);

}  // namespace kce::dbf
