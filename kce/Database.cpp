#include "kce/Database.h"

#include <sodium.h>
#include <sqlite3.h>
#include <sys/mman.h>
#include <sys/stat.h>

#include <cctype>

#include "kce/Cp1252.h"
#include "kce/Error.h"
#include "kce/FolderTables.h"
#include "kce/dbf/Folder.h"
#include "kce/kce.h"

namespace kce {
namespace {

constexpr const char* kFormatMarker = "parvell-data-dictionary";
// Version 1 kept MONEY and CURRENCY as REAL amounts; version 2 keeps the INTEGER count of
// ten-thousandths. A version 1 file is converted when it is opened (UpgradeFormat).
constexpr const char* kFormatVersion = "2";

// Closes a statement when leaving scope.
struct Stmt {
    sqlite3_stmt* s = nullptr;
    ~Stmt() { sqlite3_finalize(s); }
};

void Prepare(sqlite3* db, const char* sql, Stmt& stmt) {
    int rc = sqlite3_prepare_v2(db, sql, -1, &stmt.s, nullptr);
    if (rc != SQLITE_OK) FailStorage(db, rc, sql);
}

void BindText(sqlite3* db, Stmt& stmt, int index, std::string_view cp1252) {
    std::string utf8 = ToUtf8(cp1252);
    int rc = sqlite3_bind_text(stmt.s, index, utf8.data(), static_cast<int>(utf8.size()),
                               SQLITE_TRANSIENT);
    if (rc != SQLITE_OK) FailStorage(db, rc, "bind");
}

std::string ColumnText(sqlite3_stmt* s, int column) {
    const char* text = reinterpret_cast<const char*>(sqlite3_column_text(s, column));
    return text == nullptr ? std::string()
                           : FromUtf8(std::string_view(text, sqlite3_column_bytes(s, column)));
}

void StepDone(sqlite3* db, Stmt& stmt, const char* what) {
    int rc = sqlite3_step(stmt.s);
    if (rc != SQLITE_DONE && rc != SQLITE_ROW) FailStorage(db, rc, what);
}

void EnsureSodium() {
    static const int rc = sodium_init();
    if (rc < 0) Fail(KDB_ERR_INTERNAL, "The password library could not start.");
}

std::string HashPassword(std::string_view password) {
    EnsureSodium();
    char hash[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(hash, password.data(), password.size(),
                          crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0) {
        Fail(KDB_ERR_OUT_OF_MEMORY, "Hashing the password failed.");
    }
    return hash;
}

bool VerifyPassword(const std::string& hash, std::string_view password) {
    EnsureSodium();
    return crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

// SQLite's page cache in one region of the process, in huge pages where the system offers them:
// a scan that fills the cache then costs a page fault per 2 MiB rather than a memory allocation
// and a fault per page. Set before SQLite's first use (afterwards SQLite refuses it and keeps
// allocating pages one by one). Room for the page cache of one connection (32 MiB of 4 KiB pages).
void UseOnePageCacheRegion() {
    static const bool once = [] {
        int header = 0;
        if (sqlite3_config(SQLITE_CONFIG_PCACHE_HDRSZ, &header) != SQLITE_OK) return false;
        const size_t slot = (4096 + static_cast<size_t>(header) + 7) / 8 * 8;
        const size_t slots = 8192;
        const size_t huge = 2u << 20;
        const size_t size = (slot * slots + huge - 1) / huge * huge;
        void* region =
            ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (region == MAP_FAILED) return false;
#ifdef MADV_HUGEPAGE
        ::madvise(region, size, MADV_HUGEPAGE);
#endif
        if (sqlite3_config(SQLITE_CONFIG_PAGECACHE, region, static_cast<int>(slot),
                           static_cast<int>(slots)) != SQLITE_OK) {
            ::munmap(region, size);
            return false;
        }
        return true;  // kept for the life of the process
    }();
    (void)once;
}

sqlite3* OpenSqlite(const std::string& path, int flags) {
    UseOnePageCacheRegion();
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &db, flags | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        std::string message = db ? sqlite3_errmsg(db) : "cannot open";
        sqlite3_close(db);
        Fail(rc == SQLITE_CANTOPEN ? KDB_ERR_PATH_NOT_FOUND : KDB_ERR_STORAGE,
             path + ": " + message);
    }
    sqlite3_extended_result_codes(db, 0);
    sqlite3_busy_timeout(db, 5000);
    return db;
}

bool IsFile(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Rebuilds a table of a version 1 dictionary with its MONEY and CURRENCY columns as INTEGER
// counts of ten-thousandths (SQLite cannot change a column's type in place). Column order, other
// declarations, row ids, indexes and the AUTOINCREMENT sequence are kept.
void RebuildWithMoneyCounts(sqlite3* db, const sql::Table& table) {
    const std::string name = QuoteIdentifier(table.name);
    std::string oldSql;
    std::vector<std::string> indexes;
    {
        Stmt schema;
        Prepare(db,
                "SELECT type, sql FROM sqlite_master WHERE tbl_name = ?1 COLLATE NOCASE AND sql IS "
                "NOT NULL",
                schema);
        BindText(db, schema, 1, table.name);
        int rc;
        while ((rc = sqlite3_step(schema.s)) == SQLITE_ROW) {
            const std::string type = ColumnText(schema.s, 0);
            const char* sql = reinterpret_cast<const char*>(sqlite3_column_text(schema.s, 1));
            if (type == "table") oldSql = sql;
            if (type == "index") indexes.emplace_back(sql);
        }
        if (rc != SQLITE_DONE) FailStorage(db, rc, "dictionary schema");
    }
    if (oldSql.empty()) return;  // catalogued but not stored: nothing to convert
    const bool autoincrement = UpperAscii(oldSql).find("AUTOINCREMENT") != std::string::npos;
    auto isMoney = [&](const std::string& column) {
        for (const sql::Column& c : table.columns) {
            if (UpperAscii(c.name) == UpperAscii(column))
                return c.type == sql::kMoney || c.type == sql::kCurDouble;
        }
        return false;
    };
    std::string create = "CREATE TABLE \"kce$upgrade\" (";
    std::string columns;
    std::string values;
    bool rowidAlias = false;
    {
        Stmt info;
        Prepare(db, ("PRAGMA table_info(" + name + ")").c_str(), info);
        int rc;
        while ((rc = sqlite3_step(info.s)) == SQLITE_ROW) {
            const std::string column = ColumnText(info.s, 1);
            const std::string declared = ColumnText(info.s, 2);
            const bool key = sqlite3_column_int(info.s, 5) != 0;
            const bool money = isMoney(column);
            if (!columns.empty()) {
                create += ", ";
                columns += ", ";
                values += ", ";
            }
            create += QuoteIdentifier(column) + " " + (money ? std::string("INTEGER") : declared);
            if (key) {
                create += UpperAscii(declared) == "INTEGER" && autoincrement
                              ? " PRIMARY KEY AUTOINCREMENT"
                              : " PRIMARY KEY";
                rowidAlias = rowidAlias || UpperAscii(declared) == "INTEGER";
            }
            if (sqlite3_column_int(info.s, 3) != 0) create += " NOT NULL";
            if (sqlite3_column_type(info.s, 4) != SQLITE_NULL)
                create += " DEFAULT " + ColumnText(info.s, 4);
            columns += QuoteIdentifier(column);
            values += money ? "CAST(round(" + QuoteIdentifier(column) + " * 10000) AS INTEGER)"
                            : QuoteIdentifier(column);
        }
        if (rc != SQLITE_DONE) FailStorage(db, rc, "dictionary schema");
    }
    std::optional<int64_t> sequence;
    if (autoincrement) {
        Stmt seq;
        Prepare(db, "SELECT seq FROM sqlite_sequence WHERE name = ?1 COLLATE NOCASE", seq);
        BindText(db, seq, 1, table.name);
        if (sqlite3_step(seq.s) == SQLITE_ROW) sequence = sqlite3_column_int64(seq.s, 0);
    }
    const std::string keep = rowidAlias ? "" : "rowid, ";
    const std::string steps[] = {
        create + ")",
        "INSERT INTO \"kce$upgrade\" (" + keep + columns + ") SELECT " + keep + values + " FROM " +
            name,
        "DROP TABLE " + name,
        "ALTER TABLE \"kce$upgrade\" RENAME TO " + name,
    };
    for (const std::string& step : steps) {
        if (int rc = sqlite3_exec(db, step.c_str(), nullptr, nullptr, nullptr); rc != SQLITE_OK) {
            FailStorage(db, rc, "table " + table.name);
        }
    }
    for (const std::string& index : indexes) {
        if (int rc = sqlite3_exec(db, index.c_str(), nullptr, nullptr, nullptr); rc != SQLITE_OK) {
            FailStorage(db, rc, "index of table " + table.name);
        }
    }
    if (sequence) {
        Stmt seq;
        Prepare(db, "UPDATE sqlite_sequence SET seq = ?2 WHERE name = ?1 COLLATE NOCASE", seq);
        BindText(db, seq, 1, table.name);
        sqlite3_bind_int64(seq.s, 2, *sequence);
        StepDone(db, seq, "table sequence");
    }
}

}  // namespace

std::string QuoteIdentifier(std::string_view cp1252) {
    std::string out = "\"";
    for (char c : ToUtf8(cp1252)) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

// SQLite column type of each engine type's stored form.
const char* StorageType(uint16_t type) {
    switch (type) {
        case sql::kLogical:
        case sql::kInteger:
        case sql::kShortInt:
        case sql::kAutoInc:
        case sql::kBigInt:
        case sql::kCurDouble:
        case sql::kMoney:
            return "INTEGER";  // money: the count of ten-thousandths
        case sql::kNumeric:
        case sql::kDouble:
            return "REAL";
        case sql::kBinary:
        case sql::kImage:
        case sql::kRaw:
        case sql::kVarBinary:
            return "BLOB";
        default:
            return "TEXT";
    }
}

std::string UpperAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

void FailStorage(sqlite3* db, int rc, std::string_view what) {
    std::string message = db ? FromUtf8(sqlite3_errmsg(db)) : std::string(sqlite3_errstr(rc));
    int primary = rc & 0xFF;
    if (primary == SQLITE_NOMEM) Fail(KDB_ERR_OUT_OF_MEMORY, message);
    if (primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB) {
        Fail(KDB_ERR_NOT_A_DICTIONARY, "The file is damaged: " + message);
    }
    Fail(KDB_ERR_STORAGE, std::string(what) + ": " + message);
}

Database::Database(sqlite3* db, std::string path, bool isDictionary)
    : db_(db), path_(std::move(path)), isDictionary_(isDictionary) {}

Database::~Database() {
    folder_.reset();
    sqlite3_close_v2(db_);
}

void Database::Exec(const char* sql) const {
    int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) FailStorage(db_, rc, "storage");
}

std::unique_ptr<Database> Database::CreateDictionary(const std::string& path,
                                                     std::string_view adminPassword,
                                                     std::string_view description) {
    if (IsFile(path)) Fail(KDB_ERR_ALREADY_EXISTS, "The file " + path + " exists already.");
    sqlite3* db = OpenSqlite(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    std::unique_ptr<Database> database(new Database(db, path, true));
    database->Exec(
        "BEGIN;"
        "CREATE TABLE kdd_meta(key TEXT PRIMARY KEY, value TEXT NOT NULL);"
        "CREATE TABLE kdd_columns(table_name TEXT NOT NULL COLLATE NOCASE, position INTEGER NOT "
        "NULL,"
        " column_name TEXT NOT NULL, type INTEGER NOT NULL, length INTEGER NOT NULL,"
        " decimals INTEGER NOT NULL, not_null INTEGER NOT NULL, PRIMARY KEY(table_name, position));"
        "CREATE TABLE kdd_users(name TEXT PRIMARY KEY COLLATE NOCASE, hash TEXT NOT NULL,"
        " description TEXT NOT NULL, is_admin INTEGER NOT NULL);");
    {
        Stmt meta;
        Prepare(db, "INSERT INTO kdd_meta VALUES(?1, ?2)", meta);
        const std::pair<std::string, std::string> rows[] = {
            {"format", kFormatMarker},
            {"version", kFormatVersion},
            {"description", std::string(description)}};
        for (const auto& [key, value] : rows) {
            sqlite3_reset(meta.s);
            BindText(db, meta, 1, key);
            BindText(db, meta, 2, value);
            StepDone(db, meta, "create dictionary");
        }
        Stmt user;
        Prepare(db, "INSERT INTO kdd_users VALUES(?1, ?2, ?3, 1)", user);
        BindText(db, user, 1, KDB_ADMIN_USER);
        BindText(db, user, 2, HashPassword(adminPassword));
        BindText(db, user, 3, "Administrator");
        StepDone(db, user, "create dictionary");
    }
    database->Exec("COMMIT");
    database->user_ = KDB_ADMIN_USER;
    database->isAdmin_ = true;
    return database;
}

std::unique_ptr<Database> Database::OpenDictionaryUnchecked(const std::string& path) {
    if (!IsFile(path))
        Fail(KDB_ERR_PATH_NOT_FOUND, "The dictionary file " + path + " does not exist.");
    sqlite3* db = OpenSqlite(path, SQLITE_OPEN_READWRITE);
    std::unique_ptr<Database> database(new Database(db, path, true));
    Stmt meta;
    int rc = sqlite3_prepare_v2(db, "SELECT value FROM kdd_meta WHERE key = 'format'", -1, &meta.s,
                                nullptr);
    if (rc == SQLITE_OK) rc = sqlite3_step(meta.s);
    if (rc != SQLITE_ROW || ColumnText(meta.s, 0) != kFormatMarker) {
        Fail(KDB_ERR_NOT_A_DICTIONARY, path + " is damaged or is no data dictionary.");
    }
    sqlite3_reset(meta.s);
    database->LoadCatalogue();
    database->UpgradeFormat();
    return database;
}

void Database::UpgradeFormat() {
    // A file without a version row is of version 1 too. The statement is finished before any
    // table is rebuilt: SQLite drops no table while a statement reads.
    auto isVersion1 = [this] {
        Stmt version;
        Prepare(db_, "SELECT value FROM kdd_meta WHERE key = 'version'", version);
        int rc = sqlite3_step(version.s);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) FailStorage(db_, rc, "dictionary version");
        return rc == SQLITE_DONE || ColumnText(version.s, 0) == "1";
    };
    if (!isVersion1()) return;
    std::vector<const sql::Table*> withMoney;
    for (const sql::Table& table : tables_) {
        for (const sql::Column& column : table.columns) {
            if (column.type == sql::kMoney || column.type == sql::kCurDouble) {
                withMoney.push_back(&table);
                break;
            }
        }
    }
    // A file that cannot be written holds no money the engine could misread once nothing needs
    // converting; with money columns it must be converted first.
    if (sqlite3_db_readonly(db_, "main") == 1) {
        if (withMoney.empty()) return;
        Fail(KDB_ERR_STORAGE, path_ +
                                  ": the dictionary was written by an earlier version, which kept "
                                  "money as floating-point numbers; it must be opened once with "
                                  "write access to be converted.");
    }
    Exec("BEGIN IMMEDIATE");
    try {
        // Another connection may have converted the file while this one waited for the lock.
        if (isVersion1()) {
            for (const sql::Table* table : withMoney) RebuildWithMoneyCounts(db_, *table);
            Exec("INSERT OR REPLACE INTO kdd_meta(key, value) VALUES('version', '2')");
        }
        Exec("COMMIT");
    } catch (const Error& e) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        Fail(e.Code(), path_ +
                           ": converting the money columns of a dictionary written by an earlier "
                           "version failed; the file is unchanged: " +
                           e.what());
    }
}

std::unique_ptr<Database> Database::OpenDictionary(const std::string& path, std::string_view user,
                                                   std::string_view password) {
    auto database = OpenDictionaryUnchecked(path);
    Stmt login;
    Prepare(database->db_, "SELECT name, hash, is_admin FROM kdd_users WHERE name = ?1", login);
    BindText(database->db_, login, 1, user);
    int rc = sqlite3_step(login.s);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) FailStorage(database->db_, rc, "login");
    // An unknown user and a wrong password get the same answer.
    std::string hash = rc == SQLITE_ROW ? ColumnText(login.s, 1) : std::string();
    if (rc != SQLITE_ROW || !VerifyPassword(hash, password)) {
        Fail(KDB_ERR_LOGIN_REFUSED, "The user name or password is wrong for " + path + ".");
    }
    database->user_ = ColumnText(login.s, 0);
    database->isAdmin_ = sqlite3_column_int(login.s, 2) != 0;
    return database;
}

std::unique_ptr<Database> Database::OpenFolder(const std::string& typed) {
    const std::string path = dbf::NormalizeFolderPath(typed);
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        Fail(KDB_ERR_PATH_NOT_FOUND, "The folder " + FromUtf8(path) + " does not exist.");
    }
    // An empty name gives a private database in a temporary file that SQLite removes on close:
    // copies of large tables page out instead of filling memory.
    sqlite3* db = OpenSqlite("", SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    std::unique_ptr<Database> database(new Database(db, path, false));
    database->Exec("PRAGMA journal_mode = MEMORY; PRAGMA synchronous = OFF");
    database->folder_ = std::make_unique<FolderTables>(db, path);
    return database;
}

void Database::LoadCatalogue() {
    tables_.clear();
    byName_.clear();
    Stmt columns;
    Prepare(db_,
            "SELECT c.table_name, c.column_name, c.type, c.length, c.decimals, c.not_null FROM "
            "kdd_columns c"
            " ORDER BY (SELECT min(rowid) FROM kdd_columns d WHERE d.table_name = c.table_name), "
            "c.position",
            columns);
    int rc;
    while ((rc = sqlite3_step(columns.s)) == SQLITE_ROW) {
        std::string table = ColumnText(columns.s, 0);
        std::string key = UpperAscii(table);
        auto found = byName_.find(key);
        if (found == byName_.end()) {
            found = byName_.emplace(key, tables_.size()).first;
            tables_.push_back(sql::Table{table, {}});
        }
        sql::Column column;
        column.name = ColumnText(columns.s, 1);
        column.type = static_cast<uint16_t>(sqlite3_column_int(columns.s, 2));
        column.length = static_cast<uint32_t>(sqlite3_column_int64(columns.s, 3));
        column.decimals = static_cast<uint16_t>(sqlite3_column_int(columns.s, 4));
        column.notNull = sqlite3_column_int(columns.s, 5) != 0;
        tables_[found->second].columns.push_back(std::move(column));
    }
    if (rc != SQLITE_DONE) FailStorage(db_, rc, "catalogue");
}

void Database::ReloadCatalogue() {
    if (isDictionary_) LoadCatalogue();
}

const sql::Table* Database::FindTable(std::string_view name) const {
    if (folder_) return folder_->Find(name);
    auto found = byName_.find(UpperAscii(name));
    return found == byName_.end() ? nullptr : &tables_[found->second];
}

std::vector<std::string> Database::TableNames() const {
    std::vector<std::string> names;
    for (const auto& table : tables_) names.push_back(table.name);
    return names;
}

void Database::AddTable(const sql::Table& table) {
    if (!isDictionary_) {
        byName_[UpperAscii(table.name)] = tables_.size();
        tables_.push_back(table);
        return;
    }
    Stmt insert;
    Prepare(db_, "INSERT INTO kdd_columns VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)", insert);
    for (size_t i = 0; i < table.columns.size(); ++i) {
        const sql::Column& c = table.columns[i];
        sqlite3_reset(insert.s);
        BindText(db_, insert, 1, table.name);
        sqlite3_bind_int64(insert.s, 2, static_cast<int64_t>(i + 1));
        BindText(db_, insert, 3, c.name);
        sqlite3_bind_int(insert.s, 4, c.type);
        sqlite3_bind_int64(insert.s, 5, c.length);
        sqlite3_bind_int(insert.s, 6, c.decimals);
        sqlite3_bind_int(insert.s, 7, c.notNull ? 1 : 0);
        StepDone(db_, insert, "catalogue");
    }
    byName_[UpperAscii(table.name)] = tables_.size();
    tables_.push_back(table);
}

void Database::RemoveTable(std::string_view name) {
    if (isDictionary_) {
        Stmt remove;
        Prepare(db_, "DELETE FROM kdd_columns WHERE table_name = ?1", remove);
        BindText(db_, remove, 1, name);
        StepDone(db_, remove, "catalogue");
    }
    auto found = byName_.find(UpperAscii(name));
    if (found == byName_.end()) return;
    tables_.erase(tables_.begin() + static_cast<std::ptrdiff_t>(found->second));
    byName_.clear();
    for (size_t i = 0; i < tables_.size(); ++i) byName_[UpperAscii(tables_[i].name)] = i;
}

void Database::CreateTable(const sql::Table& table) {
    std::string sql = "CREATE TABLE " + QuoteIdentifier(table.name) + " (";
    bool numbered = false;
    for (size_t i = 0; i < table.columns.size(); ++i) {
        const sql::Column& c = table.columns[i];
        if (i > 0) sql += ", ";
        sql += QuoteIdentifier(c.name) + " ";
        if (c.type == sql::kAutoInc && !numbered) {
            // As in CREATE TABLE by SQL: the first AUTOINC column numbers rows inserted without it.
            sql += "INTEGER PRIMARY KEY AUTOINCREMENT";
            numbered = true;
        } else {
            sql += StorageType(c.type);
        }
        if (c.notNull) sql += " NOT NULL";
    }
    sql += ")";
    Exec("SAVEPOINT kce_create");
    try {
        Exec(sql.c_str());
        AddTable(table);
        Exec("RELEASE kce_create");
    } catch (...) {
        sqlite3_exec(db_, "ROLLBACK TO kce_create; RELEASE kce_create", nullptr, nullptr, nullptr);
        // The in-memory catalogue may hold the table already: read it back from the file.
        if (isDictionary_)
            LoadCatalogue();
        else
            RemoveTable(table.name);
        throw;
    }
}

void Database::CreateUser(std::string_view name, std::string_view password,
                          std::string_view description) {
    if (!isDictionary_) Fail(KDB_ERR_NOT_SUPPORTED, "Users exist only in a data dictionary.");
    if (!isAdmin_) Fail(KDB_ERR_PERMISSION_DENIED, "Only the administrator may create users.");
    if (name.empty()) Fail(KDB_ERR_INVALID_ARGUMENT, "The user name is empty.");
    if (UserDescription(name))
        Fail(KDB_ERR_ALREADY_EXISTS, "The user " + std::string(name) + " exists already.");
    Stmt user;
    Prepare(db_, "INSERT INTO kdd_users VALUES(?1, ?2, ?3, 0)", user);
    BindText(db_, user, 1, name);
    BindText(db_, user, 2, HashPassword(password));
    BindText(db_, user, 3, description);
    StepDone(db_, user, "create user");
}

std::optional<std::string> Database::UserDescription(std::string_view name) const {
    if (!isDictionary_) return std::nullopt;
    Stmt user;
    Prepare(db_, "SELECT description FROM kdd_users WHERE name = ?1", user);
    BindText(db_, user, 1, name);
    int rc = sqlite3_step(user.s);
    if (rc == SQLITE_ROW) return ColumnText(user.s, 0);
    if (rc != SQLITE_DONE) FailStorage(db_, rc, "user");
    return std::nullopt;
}

}  // namespace kce
