#pragma once
// Preparing and running statements on a connection.

#include <cstdint>
#include <memory>
#include <string_view>

namespace kce {

struct Statement;
struct Connection;

// Compiles sql for the statement (SQL errors: 7200) and drops earlier parameter values.
void PrepareStatement(Statement& statement, std::string_view sql);
// Runs the prepared statement: a query gives a new cursor handle, anything else 0. When the
// engine fills cursors in the background, the query's cursor is returned at once and keeps the
// statement and its database until it is filled.
uint32_t ExecuteStatement(const std::shared_ptr<Statement>& statement);

// Explicit transactions of a connection.
void BeginTransaction(Connection& connection);
void CommitTransaction(Connection& connection);
void RollbackTransaction(Connection& connection, std::string_view savepoint);
void CreateSavepoint(Connection& connection, std::string_view savepoint);

}  // namespace kce
