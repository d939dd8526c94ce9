#pragma once
// Parses one statement of the engine's dialect into the syntax tree. An optional ";" may end it.

#include <string_view>

#include "kce/sql/Ast.h"

namespace kce::sql {

// The deepest expression or subquery nesting accepted; deeper text is an SQL error
// (kErrTooComplex), so that no later recursive pass can run out of stack.
inline constexpr int kMaxNesting = 120;

// Throws SqlError (kErrSyntax, kErrLexical, kErrTooComplex) for text that is no statement.
ast::Statement Parse(std::string_view sql);

}  // namespace kce::sql
