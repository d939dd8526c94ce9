#pragma once
// The program holds its texts as single-byte Windows-1252 strings; the window and the file system
// speak Unicode. These helpers convert at those two borders.

#include <QString>
#include <string>
#include <string_view>

namespace parvell {

QString QStringFromCp1252(std::string_view text);

// Characters without a Windows-1252 byte become "?".
std::string Cp1252FromQString(const QString& text);

// The name under which the file system knows a path the program composed: Unicode, with every
// "\" turned into "/" (both separate folders in the program's paths; files use "/" only).
QString FileSystemPath(const QString& path);
QString FileSystemPath(std::string_view cp1252Path);

// True when a file (not a folder) exists under the path.
bool FileExists(const QString& path);

}  // namespace parvell
