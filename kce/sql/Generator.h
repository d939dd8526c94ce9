#pragma once
// Writes the SQLite SQL of a resolved statement. Reads only the resolved tree.

#include <string>

#include "kce/sql/Bound.h"

namespace kce::sql {

// SQLite SQL (UTF-8). Result columns are named c0, c1, ...; parameters are ?1, ?2, ...
std::string Generate(const bound::Statement& statement);

}  // namespace kce::sql
