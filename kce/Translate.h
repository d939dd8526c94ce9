#pragma once
// Turns a statement of the engine's dialect into SQLite SQL with typed result columns, through the
// SQL front end; its SqlError becomes the engine's error 7200.

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "kce/sql/Compiler.h"

struct sqlite3;

namespace kce {

class Database;

sql::CompiledStatement Translate(std::string_view sql, Database& database);
// The SQL error that an SQLite error message of a running statement stands for (a value that did
// not convert inside a function of the front end): native number and message; nullopt otherwise.
std::optional<std::pair<int, std::string>> RunTimeSqlError(const char* sqliteMessage);
// Registers what generated SQL calls on a new connection's SQLite handle.
void PrepareConnection(sqlite3* db);

}  // namespace kce
