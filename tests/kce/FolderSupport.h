#pragma once
// Helpers of the folder-table tests: connections to a folder, result rows with nulls marked, and
// whole-file access for damaging table files byte by byte.

#include <cstdint>
#include <string>
#include <vector>

#include "kce/dbf/Types.h"
#include "tests/kce/KceSupport.h"
#include "tests/support/StoredValues.h"

namespace kcetest {

uint32_t ConnectFolder(const std::string& path);

// Every record of a cursor as trimmed field texts, "NULL" for a null field (closes the cursor).
std::vector<std::vector<std::string>> RowsWithNulls(uint32_t cursor);
std::vector<std::vector<std::string>> QueryWithNulls(uint32_t connection, const std::string& sql);

// Field type, length and decimals of each field of the cursor, as "type length,decimals".
std::vector<std::string> FieldTypes(uint32_t cursor);

using parvell::test::ReadFile;
using parvell::test::WriteFile;

// Creates a table file with the file layer's writer.
void MakeTable(const std::string& path, kce::dbf::Variant variant,
               const std::vector<kce::dbf::ColumnLayout>& columns,
               const std::vector<kce::dbf::Record>& records);

using kce::dbf::test::I;
using kce::dbf::test::N;
using kce::dbf::test::R;
using kce::dbf::test::T;

}  // namespace kcetest
