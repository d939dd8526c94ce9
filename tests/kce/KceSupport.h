#pragma once
// Helpers for tests of the engine library through its C interface.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "kce/kce.h"
#include "tests/support/TempDir.h"

namespace kcetest {

using parvell::test::TempDir;

// The calling thread's last engine error as "code: text".
std::string LastError();
uint32_t LastErrorCode();

// Creates a dictionary at path with user "user" / "secret" and returns an administrator
// connection to it.
uint32_t CreateDictionary(const std::string& path);
uint32_t ConnectUser(const std::string& path);

// Runs SQL on a new statement; fails the test on an error. Returns the cursor (0 for none).
uint32_t RunSql(uint32_t connection, const std::string& sql);
// Runs SQL and returns the result code, keeping nothing open.
uint32_t TryRun(uint32_t connection, const std::string& sql);
// Rows affected by a statement that changes data.
uint32_t Changed(uint32_t connection, const std::string& sql);

// Every record of a cursor as KdbGetField texts with trailing blanks trimmed, with "NULL" for a
// null field when markNulls is set (closes the cursor).
std::vector<std::vector<std::string>> AllRows(uint32_t cursor, bool markNulls = false);
std::vector<std::vector<std::string>> Query(uint32_t connection, const std::string& sql);
std::string FieldText(uint32_t cursor, uint16_t field, uint16_t trim = 0);

}  // namespace kcetest
