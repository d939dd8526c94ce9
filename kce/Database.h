#pragma once
// The storage behind a connection: an SQLite database and the catalogue of its practice tables.
// A dictionary (*.kdd) is one SQLite file with the practice tables and three tables of its own
// (layout in kce/TYPES.md): kdd_meta (format marker, description), kdd_columns (each practice
// column's engine type, length, decimals, not-null) and kdd_users (name, libsodium password
// hash, description). A folder connection has an in-memory database with no tables yet.

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <semaphore>
#include <string>
#include <string_view>
#include <vector>

#include "kce/sql/Compiler.h"

struct sqlite3;

namespace kce {

class FolderTables;

// An SQLite identifier for a Windows-1252 name: UTF-8 in double quotes, quotes doubled.
std::string QuoteIdentifier(std::string_view cp1252);
// The SQLite column type of an engine type's stored form (INTEGER, REAL, BLOB or TEXT).
const char* StorageType(uint16_t type);

class Database : public sql::Catalogue {
public:
    ~Database() override;
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Creates a new dictionary file with its administrator (kKdbAdminUser); 5016 when the file
    // exists.
    static std::unique_ptr<Database> CreateDictionary(const std::string& path,
                                                      std::string_view adminPassword,
                                                      std::string_view description);
    // Opens a dictionary and logs in: 5012 missing file, 5013 foreign or damaged, 5015 refused.
    static std::unique_ptr<Database> OpenDictionary(const std::string& path, std::string_view user,
                                                    std::string_view password);
    // Opens a dictionary without a login (the demo generator and tools that own the file).
    static std::unique_ptr<Database> OpenDictionaryUnchecked(const std::string& path);
    // A folder of tables (path as typed: either separator, trailing separators allowed): 5012 when
    // it is no folder.
    static std::unique_ptr<Database> OpenFolder(const std::string& path);

    sqlite3* Db() const { return db_; }
    bool IsDictionary() const { return isDictionary_; }
    // The folder's tables; null for a dictionary.
    FolderTables* Folder() const { return folder_.get(); }
    const std::string& Path() const { return path_; }
    const std::string& User() const { return user_; }
    bool IsAdministrator() const { return isAdmin_; }

    const sql::Table* FindTable(std::string_view name) const override;
    std::vector<std::string> TableNames() const;  // Windows-1252, in creation order

    // Catalogue changes; they join the database's current transaction.
    void AddTable(const sql::Table& table);
    void RemoveTable(std::string_view name);
    // Reads the catalogue back from the file after a rollback (a folder's stays as it is).
    void ReloadCatalogue();
    // Creates the SQLite table and its catalogue rows in one transaction. The first AUTOINC column
    // numbers the rows inserted without a value, as CREATE TABLE by SQL does.
    void CreateTable(const sql::Table& table);

    void CreateUser(std::string_view name, std::string_view password, std::string_view description);
    // The user's description; nullopt for an unknown user.
    std::optional<std::string> UserDescription(std::string_view name) const;

    // Runs SQL without results; throws 5032 (or 5013 for a damaged file) on failure.
    void Exec(const char* sql) const;

    // Serialises statement execution on this database.
    class Lock {
    public:
        void lock() { free_.acquire(); }
        void unlock() { free_.release(); }

    private:
        // A semaphore, not a mutex: a cursor filled in the background takes over the hold of
        // the thread that ran its query, and its own thread lets go.
        std::binary_semaphore free_{1};
    };
    Lock& Mutex() { return mutex_; }

private:
    Database(sqlite3* db, std::string path, bool isDictionary);
    void LoadCatalogue();
    // Brings a dictionary of format version 1 (MONEY and CURRENCY kept as REAL amounts) to
    // version 2 (kept as INTEGER counts of ten-thousandths).
    void UpgradeFormat();

    sqlite3* db_;
    std::string path_;
    bool isDictionary_;
    std::string user_;
    bool isAdmin_ = false;
    std::vector<sql::Table> tables_;
    std::map<std::string, size_t> byName_;  // upper-case name -> index in tables_
    std::unique_ptr<FolderTables> folder_;  // folder connections only
    Lock mutex_;
};

// Maps an SQLite failure to an engine error (5032 storage, 5013 damaged file, 5002 memory).
[[noreturn]] void FailStorage(sqlite3* db, int rc, std::string_view what);

std::string UpperAscii(std::string_view text);

}  // namespace kce
