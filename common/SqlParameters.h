#pragma once
// The parameters of an SQL statement of the engine's dialect, found the one way that the engine
// (its parameter list and its compiler) and the query component share, so that a position means
// the same parameter on both sides.
//
// A "?" is a parameter without a name. A ":" starts a named parameter when a name character
// follows it (a letter, a digit, "_", "#", "$" or a byte from 0x80 up); the name is the run of
// name characters. A "::" names nothing. Nothing inside quoted text ('...', "...", `...`), a
// bracketed name ([...]), a "--" comment (to the end of the line) or a "/* ... */" comment is a
// parameter; a quote, bracket or comment left open runs to the end of the text.
//
// Parameters are numbered in order of first appearance. A name used again (compared without
// regard to case, by the letters of Windows-1252) is the same parameter; every "?" is a new one.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace parvell {

// One place in the text where a parameter is used.
struct TSqlParameterUse {
    size_t Offset = 0;  // byte offset of the ":" or "?"
    size_t Length = 0;  // bytes of the ":" and its name, or 1 for "?"
    size_t Index = 0;   // 0-based position of the parameter in TSqlParameters::Names
};

struct TSqlParameters {
    std::vector<std::string> Names;      // one per parameter, by position; empty for "?"
    std::vector<TSqlParameterUse> Uses;  // every use, in text order
};

TSqlParameters ScanSqlParameters(std::string_view sql);

// The names alone, by position.
std::vector<std::string> SqlParameterNames(std::string_view sql);

// Whether two parameter names are the same parameter.
bool SameSqlParameterName(std::string_view a, std::string_view b);

}  // namespace parvell
