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

// The index file that other programs keep beside the table file `tablePath` and update with it:
// a file named like the table with the extension .cdx, .mdx, .idx, .ntx or .ndx (any case), or the
// production (dBase, .mdx) or structural (FoxPro, .cdx) index that bit 0 of the header's flag
// byte 28 announces, named as it would be when the file itself is missing. Empty when the table
// has none or its first bytes cannot be read.
std::string IndexFileOf(const std::string& tablePath);
// Every such index file: the files beside the table (sorted by name), or else the one the flag
// announces.
std::vector<std::string> IndexFilesOf(const std::string& tablePath);

// The index files of the table's folder (the five extensions of IndexFilesOf, any case) whose name
// without the extension is that of no table file of the folder. Other programs may keep such a file
// for any table of the folder, by conventions the folder does not show (a Clipper program's
// PATNAME.NTX for PATIENTS.DBF, a FoxPro program's second compound index); sorted by name.
std::vector<std::string> UnclaimedIndexFilesOf(const std::string& tablePath);

// The database container a Visual FoxPro table's back link `link` names: the file below the
// table's folder (either separator), matched without regard to letter case. The path is returned
// even when no such file exists; FileExists tells.
std::string ContainerPathOf(const std::string& tablePath, std::string link);

}  // namespace kce::dbf
