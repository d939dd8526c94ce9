#pragma once
// SQL files in and out. Save SQL writes the editor's text as a Rich Text Format document; Open SQL
// and the start-up reload read a file as RTF and, when it is not an RTF document, as plain text.
// Texts are single-byte Windows-1252 with CR LF line ends. No GUI here; Rtf.md describes what is
// read and written.

#include <optional>
#include <string>
#include <string_view>

namespace parvell {

// The RTF document of `text`: one paragraph per line, each ended by \par. CR LF, a lone CR and a
// lone LF each end a line; tabs become \tab; other bytes outside printable ASCII, and the RTF
// specials \ { }, are escaped, so every byte of `text` survives.
std::string TextToRtf(std::string_view text);

// TextToRtf for the editor's text in UTF-8: characters of Windows-1252 are written as TextToRtf
// writes their bytes, every other character as \uN (UTF-16 units) with "?" as its fallback.
std::string Utf8TextToRtf(std::string_view text);

// The plain text of an RTF document: paragraph and line breaks as CR LF, tabs, \'hh bytes,
// \uN characters (in Windows-1252, "?" when it has none) with their fallback skipped; fonts,
// colours, styles, pictures and other destinations give no text. The paragraph mark that ends the
// document is not part of the text, so TextToRtf followed by RtfToText gives the text back.
// Returns nullopt when `data` does not begin with "{\rtf" or is not well formed: unbalanced
// braces, anything but blanks after the closing brace, nesting deeper than kMaxRtfGroupDepth, a
// malformed escape, binary data running past the end. Runs in time linear in the size of `data`,
// without recursion.
std::optional<std::string> RtfToText(std::string_view data);

// RtfToText with the text in UTF-8: \uN characters are kept whatever the code page holds, and
// the document's bytes are read as Windows-1252.
std::optional<std::string> RtfToUtf8Text(std::string_view data);

inline constexpr int kMaxRtfGroupDepth = 512;

// The bytes of a file read as plain text: a UTF-16LE file (byte-order mark) and a UTF-8 file (a
// byte-order mark, or valid UTF-8 with non-ASCII characters) are converted to Windows-1252, with
// "?" for what it lacks; anything else is taken byte for byte. Line ends become CR LF.
std::string PlainFileText(std::string_view fileBytes);

// The load rule for SQL files: RtfToText when the file is an RTF document, else PlainFileText.
std::string SqlFileText(std::string_view fileBytes);

}  // namespace parvell
