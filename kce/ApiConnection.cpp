// The C interface: connections, transactions, table searches and data dictionaries.
#include "kce/kce.h"

#include <fnmatch.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <ctime>

#include "kce/Api.h"
#include "kce/Cp1252.h"
#include "kce/EngineSettings.h"
#include "kce/Execute.h"
#include "kce/Objects.h"
#include "kce/Translate.h"
#include "kce/dbf/DbfError.h"
#include "kce/dbf/FileIo.h"
#include "kce/dbf/Folder.h"

using namespace kce;

namespace {

// A path as typed (Windows-1252, either separator) as a file-system path.
std::string FileSystemPath(std::string_view path) {
    std::string out = ToUtf8(path);
    std::replace(out.begin(), out.end(), '\\', '/');
    return out;
}

bool IsDictionaryPath(std::string_view path) {
    return path.size() > 4 && UpperAscii(path.substr(path.size() - 4)) == ".KDD";
}

uint32_t Register(std::unique_ptr<Database> database) {
    PrepareConnection(database->Db());
    // A 32 MiB page cache and reads through a memory map of the file's first 32 MiB make large
    // scans cheaper. Both are bounded: mapped pages that a scan touches count in the resident
    // size like cached ones, so a larger map would grow the process with the database file.
    sqlite3_exec(database->Db(), "PRAGMA cache_size = -32768; PRAGMA mmap_size = 33554432", nullptr,
                 nullptr, nullptr);
    auto connection = std::make_shared<Connection>();
    connection->database = std::move(database);
    return AddConnection(std::move(connection));
}

uint32_t Open(const char* path, uint16_t serverTypes, const char* user, const char* password,
              uint32_t* out) {
    return Guard([&] {
        Need(out, "connection");
        *out = 0;
        std::string_view typed = TextArg(path);
        if (typed.empty()) Fail(KDB_ERR_PATH_NOT_FOUND, "The data path is empty.");
        if ((serverTypes & 1) == 0) {
            Fail(KDB_ERR_NO_SERVER, "Server-type mask " + std::to_string(serverTypes) +
                                        " does not include local (1).");
        }
        std::string fsPath = FileSystemPath(typed);
        std::unique_ptr<Database> database =
            IsDictionaryPath(typed)
                ? Database::OpenDictionary(fsPath, TextArg(user), TextArg(password))
                : Database::OpenFolder(fsPath);
        *out = Register(std::move(database));
    });
}

std::string FolderOf(const std::string& pattern) {
    size_t slash = pattern.rfind('/');
    return slash == std::string::npos ? "." : pattern.substr(0, std::max<size_t>(slash, 1));
}

std::shared_ptr<Search> StartTableSearch(uint32_t connection, std::string_view mask) {
    auto c = GetConnection(connection);
    auto search = std::make_shared<Search>();
    search->connectionHandle = connection;
    if (c->database->IsDictionary()) {
        search->names = c->database->TableNames();
        search->paths = search->names;
        return search;
    }
    std::string pattern = FileSystemPath(mask.empty() ? std::string_view("*.dbf") : mask);
    if (pattern.find('/') == std::string::npos) pattern = c->database->Path() + "/" + pattern;
    std::string folder = FolderOf(pattern);
    std::string filePattern = pattern.substr(pattern.rfind('/') + 1);
    // Only the folder's tables: its "*.dbf" files, so neither "." nor ".." nor the database
    // container, memo or index files whatever the mask.
    std::vector<dbf::FolderTable> tables;
    try {
        tables = dbf::ListTables(folder);
    } catch (const dbf::DbfError&) {
        // A folder that cannot be listed has no tables to give.
    }
    for (const dbf::FolderTable& table : tables) {
        const std::string file = dbf::FileNameOf(table.path);
        if (::fnmatch(filePattern.c_str(), file.c_str(), FNM_CASEFOLD) != 0) continue;
        search->names.push_back(FromUtf8(table.name));
        search->paths.push_back(FromUtf8(table.path));
    }
    return search;
}

// Gives the search's next names; 5059 (or 5137 for dictionary objects) at the end.
void NextTable(Search& search, char* name, uint16_t* nameLen, char* path, uint16_t* pathLen) {
    if (search.next >= search.names.size()) {
        Fail(search.dictionaryObjects ? KDB_ERR_NO_MORE_OBJECTS : KDB_ERR_NO_MORE_TABLES);
    }
    PutText(search.names[search.next], name, Need(nameLen, "len"));
    if (pathLen != nullptr) PutText(search.paths[search.next], path, pathLen);
    ++search.next;
}

}  // namespace

extern "C" {

uint32_t KdbConnect60(const char* path, uint16_t serverTypes, const char* user,
                      const char* password, uint32_t options, uint32_t* connection) {
    return Open(path, serverTypes, user, password, connection);
}

uint32_t KdbConnect(const char* path, uint32_t* connection) {
    return Open(path, 1, "", "", connection);
}

uint32_t KdbDisconnect(uint32_t connection) {
    return Guard([&] {
        if (!RemoveConnection(connection)) {
            Fail(KDB_ERR_INVALID_CONNECTION,
                 "Handle " + std::to_string(connection) + " is no open connection.");
        }
    });
}

uint32_t KdbSetSQLTimeout(uint32_t handle, uint32_t seconds) {
    return Guard([&] {
        uint16_t type = HandleType(handle);
        if (type == KDB_HANDLE_CONNECTION) {
            GetConnection(handle)->timeoutSeconds = seconds;
        } else {
            GetStatement(handle)->timeoutSeconds = seconds;
        }
    });
}

uint32_t KdbGetServerName(uint32_t connection, char* buf, uint16_t* len) {
    return Guard([&] {
        GetConnection(connection);
        PutText("LOCAL", buf, Need(len, "len"));
    });
}

uint32_t KdbGetConnectionType(uint32_t connection, uint16_t* type) {
    return Guard([&] {
        GetConnection(connection);
        *Need(type, "type") = 1;
    });
}

uint32_t KdbIsConnectionAlive(uint32_t connection, uint16_t* alive) {
    return Guard([&] {
        Need(alive, "alive");
        *alive = 0;
        GetConnection(connection);
        *alive = 1;
    });
}

uint32_t KdbBeginTransaction(uint32_t connection) {
    return Guard([&] { BeginTransaction(*GetConnection(connection)); });
}

uint32_t KdbCommitTransaction(uint32_t connection) {
    return Guard([&] { CommitTransaction(*GetConnection(connection)); });
}

uint32_t KdbRollbackTransaction(uint32_t connection) {
    return Guard([&] { RollbackTransaction(*GetConnection(connection), {}); });
}

uint32_t KdbRollbackTransaction80(uint32_t connection, const char* savepoint, uint32_t options) {
    return Guard([&] { RollbackTransaction(*GetConnection(connection), TextArg(savepoint)); });
}

uint32_t KdbCreateSavepoint(uint32_t connection, const char* savepoint, uint32_t options) {
    return Guard([&] { CreateSavepoint(*GetConnection(connection), TextArg(savepoint)); });
}

uint32_t KdbInTransaction(uint32_t connection, uint16_t* inTransaction) {
    return Guard([&] {
        *Need(inTransaction, "inTransaction") =
            GetConnection(connection)->transactionDepth > 0 ? 1 : 0;
    });
}

uint32_t KdbGetTransactionCount(uint32_t connection, uint32_t* count) {
    return Guard([&] {
        *Need(count, "count") = static_cast<uint32_t>(GetConnection(connection)->transactionDepth);
    });
}

uint32_t KdbGetServerTime(uint32_t connection, char* dateBuf, uint16_t* dateLen,
                          int32_t* milliseconds) {
    return Guard([&] {
        GetConnection(connection);
        auto now = std::chrono::system_clock::now();
        std::time_t seconds = std::chrono::system_clock::to_time_t(now);
        std::tm local{};
        localtime_r(&seconds, &local);
        int32_t ms = static_cast<int32_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
            1000);
        *Need(milliseconds, "milliseconds") =
            ((local.tm_hour * 60 + local.tm_min) * 60 + local.tm_sec) * 1000 + ms;
        int32_t day = JulianFromYmd(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
        PutText(CurrentDateFormat()->Format(day), dateBuf, Need(dateLen, "dateLen"));
    });
}

uint32_t KdbCloseCachedTables(uint32_t connection) {
    return Guard([&] { GetConnection(connection); });
}

uint32_t KdbGetNumActiveLinks(uint32_t connection, uint16_t* count) {
    return Guard([&] {
        GetConnection(connection);
        *Need(count, "count") = 0;
    });
}

uint32_t KdbGetActiveLinkInfo(uint32_t connection, uint16_t link, char* buf, uint16_t* len) {
    return Guard([&] {
        GetConnection(connection);
        Fail(KDB_ERR_NOT_SUPPORTED, "This engine has no dictionary links.");
    });
}

uint32_t KdbFindFirstTable(uint32_t connection, const char* mask, char* buf, uint16_t* len,
                           uint32_t* search) {
    return KdbFindFirstTable62(connection, mask, buf, len, nullptr, nullptr, search);
}

uint32_t KdbFindNextTable(uint32_t search, char* buf, uint16_t* len) {
    return KdbFindNextTable62(search, buf, len, nullptr, nullptr);
}

uint32_t KdbFindFirstTable62(uint32_t connection, const char* mask, char* name, uint16_t* nameLen,
                             char* path, uint16_t* pathLen, uint32_t* search) {
    return Guard([&] {
        Need(search, "search");
        *search = 0;
        auto s = StartTableSearch(connection, TextArg(mask));
        if (s->names.empty()) Fail(KDB_ERR_NO_MORE_TABLES);
        NextTable(*s, name, nameLen, path, pathLen);
        *search = AddSearch(std::move(s));
    });
}

uint32_t KdbFindNextTable62(uint32_t search, char* name, uint16_t* nameLen, char* path,
                            uint16_t* pathLen) {
    return Guard([&] { NextTable(*GetSearch(search), name, nameLen, path, pathLen); });
}

uint32_t KdbFindClose(uint32_t connection, uint32_t search) {
    return Guard([&] {
        if (!RemoveSearch(search))
            Fail(KDB_ERR_INVALID_HANDLE, "Handle " + std::to_string(search) + " is no search.");
    });
}

uint32_t KdbDDCreate(const char* path, const char* adminPassword, const char* description,
                     uint32_t* connection) {
    return Guard([&] {
        Need(connection, "connection");
        *connection = 0;
        std::string_view typed = TextArg(path);
        if (typed.empty()) Fail(KDB_ERR_PATH_NOT_FOUND, "The dictionary path is empty.");
        *connection = Register(Database::CreateDictionary(
            FileSystemPath(typed), TextArg(adminPassword), TextArg(description)));
    });
}

uint32_t KdbDDCreateUser(uint32_t connection, const char* name, const char* password,
                         const char* description) {
    return Guard([&] {
        auto c = GetConnection(connection);
        std::lock_guard lock(c->database->Mutex());
        c->database->CreateUser(TextArg(name), TextArg(password), TextArg(description));
    });
}

uint32_t KdbDDFindFirstObject(uint32_t connection, uint16_t objectType, const char* parent,
                              char* buf, uint16_t* len, uint32_t* search) {
    return Guard([&] {
        Need(search, "search");
        *search = 0;
        auto c = GetConnection(connection);
        if (objectType != KDB_DD_TABLE_OBJECT) {
            Fail(KDB_ERR_NOT_SUPPORTED, "Only dictionary object type 10 (tables) can be listed.");
        }
        if (!c->database->IsDictionary())
            Fail(KDB_ERR_NOT_SUPPORTED, "The connection is no dictionary connection.");
        auto s = std::make_shared<Search>();
        s->connectionHandle = connection;
        s->dictionaryObjects = true;
        s->names = c->database->TableNames();
        s->paths = s->names;
        if (s->names.empty()) Fail(KDB_ERR_NO_MORE_OBJECTS);
        NextTable(*s, buf, len, nullptr, nullptr);
        *search = AddSearch(std::move(s));
    });
}

uint32_t KdbDDFindNextObject(uint32_t connection, uint32_t search, char* buf, uint16_t* len) {
    return Guard([&] { NextTable(*GetSearch(search), buf, len, nullptr, nullptr); });
}

uint32_t KdbDDFindClose(uint32_t connection, uint32_t search) {
    return KdbFindClose(connection, search);
}

uint32_t KdbDDGetUserProperty(uint32_t connection, const char* user, uint16_t property, char* buf,
                              uint16_t* len) {
    return Guard([&] {
        uint16_t capacity = *Need(len, "len");
        auto c = GetConnection(connection);
        if (property != KDB_DD_USER_DESCRIPTION && property != KDB_DD_USER_GROUPS) {
            Fail(KDB_ERR_NOT_SUPPORTED,
                 "User property " + std::to_string(property) + " is not known.");
        }
        std::optional<std::string> description;
        {
            std::lock_guard lock(c->database->Mutex());
            description = c->database->UserDescription(TextArg(user));
        }
        if (!description)
            Fail(KDB_ERR_LOGIN_REFUSED, "The user " + std::string(TextArg(user)) + " is unknown.");
        std::string value = property == KDB_DD_USER_DESCRIPTION ? *description : std::string();
        if (value.empty()) {
            *len = 0;
            if (buf != nullptr && capacity > 0) buf[0] = '\0';
            Fail(KDB_ERR_PROPERTY_EMPTY);
        }
        PutText(value, buf, len);
    });
}

}  // extern "C"
