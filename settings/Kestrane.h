#pragma once
// The per-user settings store: two string settings kept in a registry-style store file (see
// STORE.md). Each function reads the file afresh, does one thing and keeps no state; texts in and
// out are single-byte Windows-1252 (UTF-8 for the ...Utf8 pair). Every failure is an
// ERegistryException.

#include <string>

#include "common/Exceptions.h"

namespace parvell {

// The value `ident` of the key Software\Corvantic\<section> of the current user. A run of
// separators in the path counts as one, so section "\Parvell" names Software\Corvantic\Parvell.
// Returns "" when the store file, the key or the value is missing, or when the store file may not
// be both read and written by this user. Reading never creates or changes the store file.
// Raises ERegistryException "Invalid data type for '<ident>'" for a value that is not a string,
// "Failed to get data for '<ident>'" for string data that cannot be read, and an exception naming
// the file and line when the store file cannot be parsed.
std::string ReadSetting(const std::string& section, const std::string& ident);

// Stores `value` (up to its first zero byte) as the plain string value `ident` of
// Software\Corvantic\<section>, creating the key, the store file and its folder when missing.
// The file is replaced atomically. A store file that cannot be parsed is left untouched and
// reported. Raises ERegistryException "Failed to create key Corvantic\<section>" when the store
// cannot be opened for writing and "Failed to set data for '<ident>'" when the new content cannot
// be written.
void WriteSetting(const std::string& section, const std::string& ident, const std::string& value);

// ReadSetting and WriteSetting with the value in UTF-8, for a text that Windows-1252 may not hold
// (a file name): the store file keeps every character, and these keep them too.
std::string ReadSettingUtf8(const std::string& section, const std::string& ident);
void WriteSettingUtf8(const std::string& section, const std::string& ident,
                      const std::string& value);

// The value "Current Practice" of Software\Ostrel, by the rules of ReadSetting.
std::string ReadCurrentPractice();

// Stores `folder` as "Current Practice" of Software\Ostrel, by the rules of WriteSetting. On the
// old platform the practice system wrote this value; here the command-line tool sets it.
void WriteCurrentPractice(const std::string& folder);

// `path` with a separator appended when it is not empty and does not already end in one, then
// with the ASCII letters a to z in upper case. Both "\" and "/" count as separators. A path that
// uses "/" is a path of this system, whose file names are case-sensitive: it gets "/" appended
// and keeps its case, so the folder it names is still found. Every other path (drive letters,
// backslashes, a bare name) follows the old rule: "c:\data" gives "C:\DATA\".
std::string NormalizeFolder(const std::string& path);

}  // namespace parvell
