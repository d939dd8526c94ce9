#pragma once
// A folder of dBase-format tables: every "*.dbf" file (extension in any case) is a table named
// after the file without its extension; names compare without regard to case.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kce::dbf {

struct FolderTable {
    std::string name;  // file name without ".dbf", as on disk
    std::string path;  // full path of the table file
};

// A folder path as typed: "\" separators become "/", trailing separators are dropped (a lone "/"
// stays). An empty path is the current folder ".".
std::string NormalizeFolderPath(std::string_view typed);

// The tables of `folder` (normalised first), sorted by name. Throws DbfError naming the folder
// when it cannot be listed. Files are not opened: a damaged table does not hide the others.
std::vector<FolderTable> ListTables(std::string_view folder);

// The table file for `name` (with or without ".dbf"), compared without regard to case; nullopt
// when the folder has none. Throws DbfError when two files match and differ only in case.
std::optional<FolderTable> FindTable(std::string_view folder, std::string_view name);

}  // namespace kce::dbf
