#include "kce/dbf/Folder.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>

#include "kce/dbf/DbfError.h"
#include "kce/dbf/FileIo.h"

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
    if (!dir)
        throw DbfError(path, -1, std::string("cannot list the folder: ") + std::strerror(errno));
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

std::vector<std::string> IndexFilesOf(const std::string& tablePath) {
    const size_t slash = tablePath.rfind('/');
    const std::string folder =
        slash == std::string::npos ? "." : tablePath.substr(0, std::max<size_t>(slash, 1));
    const std::string prefix = slash == std::string::npos ? "" : tablePath.substr(0, slash + 1);
    const std::string file = slash == std::string::npos ? tablePath : tablePath.substr(slash + 1);
    const size_t dot = file.rfind('.');
    const std::string stem = dot == std::string::npos ? file : file.substr(0, dot);
    const bool upperExtension = dot != std::string::npos && dot + 1 < file.size() &&
                                std::isupper(static_cast<unsigned char>(file[dot + 1]));

    if (DIR* dir = ::opendir(folder.c_str())) {
        std::vector<std::string> found;
        while (dirent* entry = ::readdir(dir)) {
            std::string_view name = entry->d_name;
            if (name.size() != stem.size() + 4 || Lower(name.substr(0, stem.size())) != Lower(stem))
                continue;
            const std::string extension = Lower(name.substr(stem.size()));
            if (extension != ".cdx" && extension != ".mdx" && extension != ".idx" &&
                extension != ".ntx" && extension != ".ndx")
                continue;
            struct stat st {};
            if (::stat((prefix + std::string(name)).c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
                found.emplace_back(name);
            }
        }
        ::closedir(dir);
        if (!found.empty()) {
            std::sort(found.begin(), found.end());
            for (std::string& name : found) name = prefix + name;
            return found;
        }
    }

    unsigned char head[32] = {};
    FILE* in = std::fopen(tablePath.c_str(), "rb");
    if (in == nullptr) return {};
    const size_t got = std::fread(head, 1, sizeof head, in);
    std::fclose(in);
    if (got < 29 || (head[28] & 0x01) == 0) return {};
    // FoxPro 2 and Visual FoxPro keep a structural .cdx; dBase a production .mdx.
    const bool fox = head[0] == 0xF5 || head[0] == 0x30 || head[0] == 0x31 || head[0] == 0x32;
    std::string extension = fox ? ".cdx" : ".mdx";
    if (upperExtension) {
        for (char& c : extension)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return {prefix + stem + extension};
}

std::vector<std::string> UnclaimedIndexFilesOf(const std::string& tablePath) {
    const size_t slash = tablePath.rfind('/');
    const std::string folder =
        slash == std::string::npos ? "." : tablePath.substr(0, std::max<size_t>(slash, 1));
    const std::string prefix = slash == std::string::npos ? "" : tablePath.substr(0, slash + 1);
    std::set<std::string> tables;
    for (const FolderTable& t : ListTables(folder)) tables.insert(Lower(t.name));
    std::vector<std::string> found;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name.size() <= 4) continue;
            const std::string extension = Lower(std::string_view(name).substr(name.size() - 4));
            if (extension != ".cdx" && extension != ".mdx" && extension != ".idx" &&
                extension != ".ntx" && extension != ".ndx")
                continue;
            if (tables.count(Lower(std::string_view(name).substr(0, name.size() - 4))) != 0)
                continue;
            struct stat st {};
            if (::stat((prefix + name).c_str(), &st) == 0 && S_ISREG(st.st_mode))
                found.push_back(prefix + name);
        }
        ::closedir(dir);
    }
    std::sort(found.begin(), found.end());
    return found;
}

std::string IndexFileOf(const std::string& tablePath) {
    std::vector<std::string> files = IndexFilesOf(tablePath);
    return files.empty() ? std::string() : files.front();
}

std::string ContainerPathOf(const std::string& tablePath, std::string link) {
    std::replace(link.begin(), link.end(), '\\', '/');
    if (link.empty()) return {};
    const std::string path = link.front() == '/' ? link : FolderOf(tablePath) + "/" + link;
    if (FileExists(path)) return path;
    const std::string dir = FolderOf(path);
    const std::string wanted = Lower(FileNameOf(path));
    if (DIR* d = ::opendir(dir.c_str())) {
        std::string found;
        while (dirent* entry = ::readdir(d)) {
            if (Lower(entry->d_name) == wanted) found = entry->d_name;
        }
        ::closedir(d);
        if (!found.empty()) return dir + "/" + found;
    }
    return path;
}

std::optional<FolderTable> FindTable(std::string_view folder, std::string_view name) {
    std::string wanted = Lower(name);
    if (HasDbfExtension(wanted)) wanted.resize(wanted.size() - 4);
    std::optional<FolderTable> found;
    for (FolderTable& t : ListTables(folder)) {
        if (Lower(t.name) != wanted) continue;
        if (found) {
            throw DbfError(t.path, -1,
                           "the table name " + std::string(name) + " matches both " +
                               FolderTable(*found).path +
                               " and this file, which differ only in case");
        }
        found = std::move(t);
    }
    return found;
}

}  // namespace kce::dbf
