#pragma once
// Resolves the names of a parsed statement against the catalogue and types every expression
// statically, producing the resolved tree the generator reads.

#include <string_view>

#include "kce/sql/Ast.h"
#include "kce/sql/Bound.h"

namespace kce::sql {

// Throws SqlError for unknown tables and columns, type mismatches, texts that are no dates, ...
bound::Statement Bind(const ast::Statement& statement, std::string_view sql,
                      const Catalogue& catalogue, const Settings& settings);

}  // namespace kce::sql
