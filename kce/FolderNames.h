#pragma once
// Long column names of folder tables. A dBase-format field name holds at most 10 characters; a
// Visual FoxPro table that belongs to a database container carries longer names there. The
// table header's back link (the 263 bytes after the field descriptors) holds the container's file
// name relative to the table's folder; the container (*.dbc) is itself a Visual FoxPro table with
// at least the columns OBJECTID (I), PARENTID (I), OBJECTTYPE (C) and OBJECTNAME (C). Its live
// record of type "Table" whose name is the table's name (any letter case) owns, through PARENTID,
// one record of type "Field" per column, in field order. Other columns of the container (its
// property memos) are not read, so its memo file is not needed.

#include <string>
#include <string_view>
#include <vector>

namespace kce {

// The long names (Windows-1252) of the columns of the table file `tablePath`, in field order; empty
// when the table names no container, the container is missing (the table then reads as a free
// table), or the container does not list this table or lists another number of fields. Throws
// dbf::DbfError naming the file for a container that is damaged, or a back link that cannot be
// read.
std::vector<std::string> ContainerColumnNames(const std::string& tablePath, size_t columnCount);

struct ContainerTable {
    std::string tableFile;               // file-system path of the table (made beforehand)
    std::string name;                    // table name, Windows-1252
    std::vector<std::string> longNames;  // Windows-1252, one per column in field order
};

// Writes the container `containerPath` (which must not exist) listing `tables`, and points each
// table's back link at it. The tables must be Visual FoxPro tables in the container's folder.
void WriteContainer(const std::string& containerPath, const std::vector<ContainerTable>& tables);

// Field names of at most 10 characters for `longNames`, unique without regard to case: blanks and
// other characters outside letters, digits and "_" become "_", and a clash gets a numbered tail.
std::vector<std::string> ShortColumnNames(const std::vector<std::string>& longNames);

}  // namespace kce
