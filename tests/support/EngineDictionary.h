#pragma once
// Small dictionaries made through the engine's C interface, for the engine component tests and
// the command line's query command.

#include <cstdint>
#include <string>

#include "tests/support/TempDir.h"

namespace enginetest {

using parvell::test::TempDir;

inline constexpr const char* kUser = "user";
inline constexpr const char* kPassword = "qzmvtrlk";

// Creates a dictionary at path with user "user" (password kPassword), runs each statement of
// sql (separated by ";;") as the administrator and disconnects.
void MakeDictionary(const std::string& path, const std::string& sql);
// Runs one statement on a connection through the C interface; throws on failure.
void RunSql(uint32_t connection, const std::string& sql);

}  // namespace enginetest
