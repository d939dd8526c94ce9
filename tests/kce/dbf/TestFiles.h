#pragma once
// Helpers of the dBase-format tests: byte-level damage and whole tables read back for assertions.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "kce/dbf/Table.h"
#include "kce/dbf/Types.h"
#include "tests/support/StoredValues.h"
#include "tests/support/TempDir.h"

namespace kce::dbf::test {

using TempFolder = parvell::test::TempDir;
using parvell::test::ReadFile;
using parvell::test::WriteFile;

void TruncateFile(const std::string& path, uint64_t size);
void SetByte(const std::string& path, uint64_t offset, uint8_t value);
void SetLe32(const std::string& path, uint64_t offset, uint32_t value);
uint64_t SizeOf(const std::string& path);

// Every record of the table at `path` in stored form, deleted ones included, with the deletion
// flag as a leading integer 0/1.
std::vector<Record> ReadAll(const std::string& path);
// A readable rendering of records for assertions.
std::string Render(const std::vector<Record>& records);

// Runs `change` in a child process whose fault hook ends the process abruptly before step `k`.
// Returns true when the child reached step k (was "killed"), false when the change completed.
bool RunChildKilledAt(const std::string& path, int k,
                      const std::function<void(Table&, const FaultHook&)>& change);

}  // namespace kce::dbf::test
