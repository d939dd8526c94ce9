#pragma once
// Splits a statement of the engine's dialect (Windows-1252 text) into tokens. Keywords are not
// told apart here: a bare word is an Identifier and the parser compares it without regard to case.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kce::sql {

enum class TokenKind {
    Identifier,        // bare word; `text` is the word as written
    QuotedIdentifier,  // "name" or [name]; `text` is the name without quotes
    String,            // 'text'; `text` is the value with '' turned into '
    Number,            // 12, 1.5, .5, 1e3; `text` as written
    NamedParameter,    // :name; `text` is the name
    Parameter,         // ?
    Symbol,            // ( ) , . * + - / % = < > <= >= <> != || ;
    End,
};

struct Token {
    TokenKind kind = TokenKind::End;
    std::string text;
    size_t position = 0;          // byte offset in the statement
    int64_t parameterIndex = -1;  // NamedParameter, Parameter: 0-based position of the parameter
};

// Throws SqlError (kErrLexical) for an unterminated string, quoted name or comment, or a character
// that starts no token. The last token is always End. Parameters are found and numbered by the
// scanner the engine's parameter list uses (common/SqlParameters.h): a name used again has the
// index of its first use, each "?" a new one. `parameterNames`, when given, receives the names
// by position (empty for "?").
std::vector<Token> Tokenize(std::string_view sql,
                            std::vector<std::string>* parameterNames = nullptr);

// "line L, column C" for a byte offset, used in every error message.
std::string DescribePosition(std::string_view sql, size_t position);

}  // namespace kce::sql
