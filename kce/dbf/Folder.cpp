#include "kce/dbf/Folder.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include "kce/dbf/DbfError.h"

namespace kce::dbf {

namespace {

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool HasDbfExtension(std::string_view name) {
    return name.size() > 4 && Lower(name.substr(name.size() - 4)) == ".dbf";
}

}  // namespace

std::string NormalizeFolderPath(std::string_view typed) {
    std::string path(typed);
    std::replace(path.begin(), path.end(), '\\', '/');
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    if (path.empty()) path = ".";
    return path;
}

std::vector<FolderTable> ListTables(std::string_view folder) {
    const std::string path = NormalizeFolderPath(folder);
    DIR* dir = ::opendir(path.c_str());
    if (!dir) throw DbfError(path, -1, std::string("cannot list the folder: ") + std::strerror(errno));
    std::vector<FolderTable> tables;
    const std::string prefix = path == "/" ? "/" : path + "/";
    while (dirent* entry = ::readdir(dir)) {
        std::string_view name = entry->d_name;
        if (!HasDbfExtension(name)) continue;
        FolderTable t;
        t.name = std::string(name.substr(0, name.size() - 4));
        t.path = prefix + std::string(name);
        struct stat st {};
        if (::stat(t.path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        tables.push_back(std::move(t));
    }
    ::closedir(dir);
    std::sort(tables.begin(), tables.end(), [](const FolderTable& a, const FolderTable& b) {
        std::string la = Lower(a.name), lb = Lower(b.name);
        return la != lb ? la < lb : a.name < b.name;
    });
    return tables;
}

std::optional<FolderTable> FindTable(std::string_view folder, std::string_view name) {
    std::string wanted = Lower(name);
    if (HasDbfExtension(wanted)) wanted.resize(wanted.size() - 4);
    std::optional<FolderTable> found;
    for (FolderTable& t : ListTables(folder)) {
        if (Lower(t.name) != wanted) continue;
        if (found) {
            throw DbfError(t.path, -1, "the table name " + std::string(name) + " matches both " +
                                           FolderTable(*found).path + " and this file, which differ only in case");
        }
        found = std::move(t);
    }
    return found;
}

}  // namespace kce::dbf
