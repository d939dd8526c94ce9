#include "kce/FolderTables.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <mutex>
#include <optional>

#include "kce/Cp1252.h"
#include "kce/Database.h"
#include "kce/EngineSettings.h"
#include "kce/Error.h"
#include "kce/FolderNames.h"
#include "kce/dbf/DbfError.h"
#include "kce/dbf/Folder.h"
#include "kce/dbf/Table.h"
#include "kce/kce.h"

namespace kce {
namespace {

constexpr const char* kChangeLog = "\"kce$changes\"";
constexpr const char* kRecno = "\"kce$recno\"";
constexpr const char* kDeleted = "\"kce$deleted\"";

std::mutex hookLock;
WriteFaultHook& HookSlot() {
    static WriteFaultHook hook;
    return hook;
}

WriteFaultHook CurrentHook() {
    std::lock_guard guard(hookLock);
    return HookSlot();
}

struct Stmt {
    sqlite3_stmt* s = nullptr;
    Stmt(sqlite3* db, const std::string& sql) {
        int rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr);
        if (rc != SQLITE_OK) FailStorage(db, rc, "folder table copy");
    }
    ~Stmt() { sqlite3_finalize(s); }
    Stmt(const Stmt&) = delete;
    Stmt& operator=(const Stmt&) = delete;
};

void Exec(sqlite3* db, const std::string& sql) {
    int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) FailStorage(db, rc, "folder table copy");
}

void Step(sqlite3* db, sqlite3_stmt* s) {
    int rc = sqlite3_step(s);
    sqlite3_reset(s);
    if (rc != SQLITE_DONE && rc != SQLITE_ROW) FailStorage(db, rc, "folder table copy");
}

// Engine errors for failures of the file layer: a lock held by another program, or a damaged file
// (the message names the file and what is wrong with it).
[[noreturn]] void FailFile(const dbf::DbfError& e, uint32_t damagedCode) {
    if (dynamic_cast<const dbf::DbfLockedError*>(&e) != nullptr)
        Fail(KDB_ERR_TABLE_LOCKED, FromUtf8(e.what()));
    Fail(damagedCode, FromUtf8(e.what()));
}

// Binds a value of the file layer (stored representation) without copying it.
void Bind(sqlite3_stmt* s, int index, const dbf::StoredValue& v) {
    switch (v.kind) {
        case dbf::StoredValue::Kind::Null:
            sqlite3_bind_null(s, index);
            break;
        case dbf::StoredValue::Kind::Integer:
            sqlite3_bind_int64(s, index, v.integer);
            break;
        case dbf::StoredValue::Kind::Real:
            sqlite3_bind_double(s, index, v.real);
            break;
        case dbf::StoredValue::Kind::Text:
            sqlite3_bind_text(s, index, v.text.data(), static_cast<int>(v.text.size()),
                              SQLITE_STATIC);
            break;
        case dbf::StoredValue::Kind::Blob:
            sqlite3_bind_blob(s, index, v.text.data(), static_cast<int>(v.text.size()),
                              SQLITE_STATIC);
            break;
    }
}

dbf::StoredValue ColumnValue(sqlite3_stmt* s, int column) {
    switch (sqlite3_column_type(s, column)) {
        case SQLITE_INTEGER:
            return dbf::StoredValue::Int(sqlite3_column_int64(s, column));
        case SQLITE_FLOAT:
            return dbf::StoredValue::Real(sqlite3_column_double(s, column));
        case SQLITE_TEXT:
            return dbf::StoredValue::Text(
                std::string_view(reinterpret_cast<const char*>(sqlite3_column_text(s, column)),
                                 static_cast<size_t>(sqlite3_column_bytes(s, column))));
        case SQLITE_BLOB: {
            const void* data = sqlite3_column_blob(s, column);
            return dbf::StoredValue::Blob(
                std::string_view(static_cast<const char*>(data),
                                 static_cast<size_t>(sqlite3_column_bytes(s, column))));
        }
        default:
            return dbf::StoredValue::Null();
    }
}

// Refuses a change of the table file `path` when another program keeps an index file for it that
// changes do not keep in step (dbf::IndexNotKeptOf), or when it belongs to a database container
// that is missing (its rules cannot be honoured).
void RefuseIndexed(const std::string& path) {
    const std::string container = dbf::MissingContainerOf(path);
    if (!container.empty()) {
        Fail(KDB_ERR_NOT_SUPPORTED,
             FromUtf8(path) + " belongs to the database container " + FromUtf8(container) +
                 ", which does not exist; its rules and triggers cannot be honoured, so the "
                 "table was not changed");
    }
    std::string why;
    const std::string index = dbf::IndexNotKeptOf(path, why);
    if (index.empty()) return;
    Fail(KDB_ERR_NOT_SUPPORTED, FromUtf8(path) + " has the index file " + FromUtf8(index) + ", " +
                                    FromUtf8(why) + "; the table was not changed");
}

std::string FileStem(const std::string& path) {
    std::string name = dbf::FileNameOf(path);
    size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

}  // namespace

bool FileStamp::operator==(const FileStamp& o) const {
    return exists == o.exists && device == o.device && inode == o.inode && size == o.size &&
           modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec;
}

FileStamp StampOf(const std::string& path) {
    FileStamp stamp;
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return stamp;
    stamp.exists = true;
    stamp.device = st.st_dev;
    stamp.inode = st.st_ino;
    stamp.size = st.st_size;
    stamp.modified = st.st_mtim;
    return stamp;
}

void SetWriteFaultHook(WriteFaultHook hook) {
    std::lock_guard guard(hookLock);
    HookSlot() = std::move(hook);
}

struct FolderTables::Copy {
    int id = 0;
    std::string key;       // upper-case name
    std::string path;      // the table file
    std::string memoPath;  // its memo file, empty when it has none
    sql::Table table;      // the catalogue entry; table.name is the copy's SQLite name
    FileStamp stamp;
    FileStamp memoStamp;
    bool showDeleted = true;
    uint32_t recordCount = 0;  // of the file when it was read or last written
    bool present = false;      // the SQLite copy exists
    bool stale = false;        // import again at the next use
};

FolderTables::FolderTables(sqlite3* db, std::string folder) : db_(db), folder_(std::move(folder)) {
    Exec(db_, std::string("CREATE TEMP TABLE ") + kChangeLog +
                  "(tbl INTEGER NOT NULL, recno INTEGER NOT NULL)");
}

FolderTables::~FolderTables() = default;

std::vector<std::string> FolderTables::TakeLookups() {
    std::vector<std::string> names(lookups_.begin(), lookups_.end());
    lookups_.clear();
    return names;
}

bool FolderTables::IsCurrent(const Copy& copy) const {
    return copy.present && !copy.stale && copy.showDeleted == CurrentSettings().showDeleted &&
           StampOf(copy.path) == copy.stamp && StampOf(copy.memoPath) == copy.memoStamp;
}

const sql::Table* FolderTables::Find(std::string_view name) {
    const std::string key = UpperAscii(name);
    lookups_.insert(key);
    std::optional<dbf::FolderTable> file;
    try {
        file = dbf::FindTable(folder_, ToUtf8(name));
    } catch (const dbf::DbfError& e) {
        FailFile(e, KDB_ERR_TABLE_DAMAGED);
    }
    if (!file) return nullptr;
    std::unique_ptr<Copy>& slot = copies_[key];
    if (!slot) {
        slot = std::make_unique<Copy>();
        slot->id = nextId_++;
        slot->key = key;
    }
    Copy& copy = *slot;
    if (copy.present && copy.path == file->path && IsCurrent(copy)) return &copy.table;
    if (copy.present) {
        // Changes of an open transaction wait in the log for its commit: keep the copy they were
        // made on; the commit notices that the file changed meanwhile.
        Stmt pending(db_, std::string("SELECT 1 FROM ") + kChangeLog +
                              " WHERE tbl = " + std::to_string(copy.id));
        if (sqlite3_step(pending.s) == SQLITE_ROW) return &copy.table;
    }
    if (compiling_ && copy.present && copy.path == file->path) {
        try {
            Import(copy);
        } catch (const Error& e) {
            if (e.Code() != KDB_ERR_TABLE_LOCKED) throw;
        }
        return &copy.table;
    }
    copy.path = file->path;
    Import(copy);
    return &copy.table;
}

FolderTables::Refreshed FolderTables::Refresh(const std::vector<std::string>& names) {
    Refreshed result = Refreshed::Nothing;
    for (const std::string& key : names) {
        auto found = copies_.find(key);
        if (found == copies_.end() || !found->second->present) {
            // Unknown when compiled: the statement failed to compile then, or the file is new.
            continue;
        }
        Copy& copy = *found->second;
        if (IsCurrent(copy)) continue;
        std::vector<sql::Column> before = copy.table.columns;
        const sql::Table* now = Find(copy.table.name);
        if (now == nullptr) return Refreshed::Columns;
        bool same = before.size() == now->columns.size();
        for (size_t i = 0; same && i < before.size(); ++i) {
            same = before[i].name == now->columns[i].name &&
                   before[i].type == now->columns[i].type &&
                   before[i].length == now->columns[i].length &&
                   before[i].decimals == now->columns[i].decimals;
        }
        result = same ? std::max(result, Refreshed::Data) : Refreshed::Columns;
    }
    return result;
}

void FolderTables::Drop(Copy& copy) {
    for (const char* kind : {"i", "u", "d", "r"}) {
        Exec(db_, std::string("DROP TRIGGER IF EXISTS temp.\"kce$") + kind +
                      std::to_string(copy.id) + "\"");
    }
    Exec(db_, "DROP TABLE IF EXISTS main." + QuoteIdentifier(copy.table.name));
    copy.present = false;
}

void FolderTables::Import(Copy& copy) {
    std::unique_ptr<dbf::Table> file;
    std::vector<std::string> longNames;
    try {
        file = dbf::Table::Open(copy.path, importWait_);
        longNames = ContainerColumnNames(copy.path, file->Columns().size());
    } catch (const dbf::DbfError& e) {
        copy.stale = true;
        FailFile(e, KDB_ERR_TABLE_DAMAGED);
    }
    const bool showDeleted = CurrentSettings().showDeleted;
    sql::Table table;
    table.name = FromUtf8(FileStem(copy.path));
    for (size_t i = 0; i < file->Columns().size(); ++i) {
        const dbf::Column& c = file->Columns()[i];
        sql::Column column;
        column.name = longNames.empty() ? c.name : longNames[i];
        column.type = c.engineType;
        column.length = c.length;
        column.decimals = c.decimals;
        table.columns.push_back(std::move(column));
    }

    Exec(db_, "SAVEPOINT kce_import");
    try {
        if (copy.present) Drop(copy);
        const std::string quoted = QuoteIdentifier(table.name);
        std::string create = "CREATE TABLE main." + quoted + "(" + kRecno +
                             " INTEGER PRIMARY KEY AUTOINCREMENT, " + kDeleted +
                             " INTEGER NOT NULL DEFAULT 0";
        std::string insert = "INSERT INTO main." + quoted + " VALUES(?1, ?2";
        for (size_t i = 0; i < table.columns.size(); ++i) {
            create += ", " + QuoteIdentifier(table.columns[i].name) + " " +
                      StorageType(table.columns[i].type);
            insert += ", ?" + std::to_string(i + 3);
        }
        Exec(db_, create + ")");
        copy.present = true;
        {
            Stmt add(db_, insert + ")");
            std::vector<dbf::StoredValue> values(table.columns.size());
            dbf::Table::Cursor cursor = file->Records();
            while (cursor.Next()) {
                const bool deleted = cursor.Deleted();
                if (deleted && !showDeleted) continue;
                sqlite3_bind_int64(add.s, 1, cursor.RecordNumber());
                sqlite3_bind_int(add.s, 2, deleted ? 1 : 0);
                for (size_t i = 0; i < values.size(); ++i) {
                    cursor.Stored(i, values[i]);
                    Bind(add.s, static_cast<int>(i + 3), values[i]);
                }
                Step(db_, add.s);
            }
        }
        // New rows are numbered after the file's last record, deleted or not: where they will go.
        Stmt sequence(db_,
                      "INSERT OR REPLACE INTO main.sqlite_sequence(rowid, name, seq) VALUES("
                      "(SELECT rowid FROM main.sqlite_sequence WHERE name = ?1), ?1, ?2)");
        std::string utf8Name = ToUtf8(table.name);
        sqlite3_bind_text(sequence.s, 1, utf8Name.data(), static_cast<int>(utf8Name.size()),
                          SQLITE_STATIC);
        sqlite3_bind_int64(sequence.s, 2, file->RecordCount());
        Step(db_, sequence.s);
        const std::string id = std::to_string(copy.id);
        const char* events[][3] = {
            {"i", "INSERT", "NEW"}, {"u", "UPDATE", "OLD"}, {"d", "DELETE", "OLD"}};
        for (const auto& e : events) {
            Exec(db_, std::string("CREATE TEMP TRIGGER \"kce$") + e[0] + id + "\" AFTER " + e[1] +
                          " ON " + quoted + " BEGIN INSERT INTO " + kChangeLog + " VALUES(" + id +
                          ", " + e[2] + "." + kRecno + "); END");
        }
        if (showDeleted) {
            // Shown deleted records are rows: a deleted row comes back at once, marked as deleted
            // by a change that WriteBack writes (SQLite's count of deleted rows is not affected).
            std::string values = std::string("OLD.") + kRecno + ", 2";
            for (const sql::Column& c : table.columns) values += ", OLD." + QuoteIdentifier(c.name);
            Exec(db_, std::string("CREATE TEMP TRIGGER \"kce$r") + id + "\" AFTER DELETE ON " +
                          quoted + " BEGIN INSERT INTO " + quoted + " VALUES(" + values + "); END");
        }
        Exec(db_, "RELEASE kce_import");
    } catch (const dbf::DbfError& e) {
        sqlite3_exec(db_, "ROLLBACK TO kce_import; RELEASE kce_import", nullptr, nullptr, nullptr);
        copy.present =
            sqlite3_table_column_metadata(db_, "main", ToUtf8(copy.table.name).c_str(), nullptr,
                                          nullptr, nullptr, nullptr, nullptr, nullptr) == SQLITE_OK;
        copy.stale = true;
        FailFile(e, KDB_ERR_TABLE_DAMAGED);
    } catch (...) {
        sqlite3_exec(db_, "ROLLBACK TO kce_import; RELEASE kce_import", nullptr, nullptr, nullptr);
        copy.present =
            sqlite3_table_column_metadata(db_, "main", ToUtf8(copy.table.name).c_str(), nullptr,
                                          nullptr, nullptr, nullptr, nullptr, nullptr) == SQLITE_OK;
        copy.stale = true;
        throw;
    }
    copy.table = std::move(table);
    copy.memoPath = file->Memo() != nullptr ? file->Memo()->Path() : std::string();
    // Stamps after opening: opening may have played back the journal of an interrupted change.
    copy.stamp = StampOf(copy.path);
    copy.memoStamp = StampOf(copy.memoPath);
    copy.showDeleted = showDeleted;
    copy.recordCount = file->RecordCount();
    copy.stale = false;
    if (sqlite3_get_autocommit(db_) == 0) importedInTransaction_.insert(copy.key);
}

void FolderTables::CheckWritable(std::string_view name) {
    std::optional<dbf::FolderTable> file;
    try {
        file = dbf::FindTable(folder_, ToUtf8(name));
    } catch (const dbf::DbfError& e) {
        FailFile(e, KDB_ERR_TABLE_DAMAGED);
    }
    if (file) RefuseIndexed(file->path);
}

std::chrono::milliseconds LockWaitFor(uint32_t timeoutSeconds) {
    return timeoutSeconds != 0 ? std::chrono::milliseconds(uint64_t{timeoutSeconds} * 1000)
                               : kDefaultLockWait;
}

void FolderTables::WriteBack(std::chrono::milliseconds lockWait) {
    std::map<int, std::vector<std::pair<int64_t, bool>>> byTable;  // copy id → record numbers
    {
        Stmt log(db_, std::string("SELECT DISTINCT tbl, recno FROM ") + kChangeLog +
                          " ORDER BY tbl, recno");
        int rc;
        while ((rc = sqlite3_step(log.s)) == SQLITE_ROW) {
            byTable[sqlite3_column_int(log.s, 0)].push_back(
                {sqlite3_column_int64(log.s, 1), false});
        }
        if (rc != SQLITE_DONE) FailStorage(db_, rc, "change log");
    }
    if (byTable.empty()) return;
    // Every table is checked before the first is written.
    for (auto& [id, rows] : byTable) {
        for (auto& [key, copy] : copies_) {
            if (copy->id == id) RefuseIndexed(copy->path);
        }
    }
    bool written = false;
    for (auto& [id, rows] : byTable) {
        for (auto& [key, copy] : copies_) {
            if (copy->id != id) continue;
            try {
                WriteTable(*copy, rows, lockWait);
            } catch (const StaleCopyError& e) {
                // Running the statement again would change the tables already written twice.
                if (written) throw Error(e.Code(), e.Text());
                throw;
            }
            written = true;
        }
    }
    Exec(db_, std::string("DELETE FROM ") + kChangeLog);
}

void FolderTables::WriteTable(Copy& copy, const std::vector<std::pair<int64_t, bool>>& rows,
                              std::chrono::milliseconds lockWait) {
    const std::string quoted = QuoteIdentifier(copy.table.name);
    std::unique_ptr<dbf::Table> file;
    try {
        // Another program's lock is waited for, up to the bound; the check for its changes below
        // is made under the change's lock.
        file = dbf::Table::Open(copy.path, lockWait);
    } catch (const dbf::DbfError& e) {
        FailFile(e, KDB_ERR_TABLE_DAMAGED);
    }
    try {
        file->LockForChange();
    } catch (const dbf::DbfError& e) {
        FailFile(e, KDB_ERR_STORAGE);  // a lock held elsewhere, or a read-only file
    }
    if (!(StampOf(copy.path) == copy.stamp) || file->RecordCount() != copy.recordCount) {
        copy.stale = true;
        throw StaleCopyError(
            KDB_ERR_TABLE_LOCKED,
            std::string(GenericText(KDB_ERR_TABLE_LOCKED)) + " " + FromUtf8(copy.path) +
                ": another program changed the table after it was read; nothing was changed, "
                "run the statement again");
    }

    std::string columns;
    for (const sql::Column& c : copy.table.columns)
        columns += (columns.empty() ? "" : ", ") + QuoteIdentifier(c.name);
    dbf::Changes changes;
    std::vector<int64_t> inserted;   // copy row numbers of the inserted rows, in order
    std::vector<uint32_t> vanished;  // deleted records whose rows the copy no longer has
    {
        Stmt read(db_, "SELECT " + columns + ", " + kDeleted + " FROM main." + quoted + " WHERE " +
                           kRecno + " = ?1");
        const int count = static_cast<int>(copy.table.columns.size());
        for (const auto& [recno, unused] : rows) {
            sqlite3_bind_int64(read.s, 1, recno);
            int rc = sqlite3_step(read.s);
            if (rc == SQLITE_ROW) {
                dbf::Record values;
                values.reserve(copy.table.columns.size());
                for (int i = 0; i < count; ++i) values.push_back(ColumnValue(read.s, i));
                // A row kept after a DELETE while deleted records are shown (see Import).
                const bool deleted = sqlite3_column_int(read.s, count) == 2;
                if (recno <= copy.recordCount) {
                    changes.updates.push_back({static_cast<uint32_t>(recno), std::move(values)});
                    if (deleted) changes.deletions.push_back(static_cast<uint32_t>(recno));
                } else {
                    changes.inserts.push_back(std::move(values));
                    inserted.push_back(recno);
                    if (deleted)
                        changes.deletions.push_back(copy.recordCount +
                                                    static_cast<uint32_t>(inserted.size()));
                }
            } else if (rc == SQLITE_DONE) {
                if (recno <= copy.recordCount) {
                    changes.deletions.push_back(static_cast<uint32_t>(recno));
                    vanished.push_back(static_cast<uint32_t>(recno));
                }
            } else {
                sqlite3_reset(read.s);
                FailStorage(db_, rc, "folder table copy");
            }
            sqlite3_reset(read.s);
        }
    }
    try {
        file->Apply(changes, CurrentHook());
    } catch (const dbf::DbfError& e) {
        // The file is as it was (or its journal makes it so at the next open).
        FailFile(e, KDB_ERR_STORAGE);
    }

    // The file now holds the change. Read the changed records back so that the copy matches the
    // file exactly; should that fail, the copy is imported again at its next use.
    // The statement's time-out no longer applies: interrupting now would fail a statement whose
    // change the file already holds.
    sqlite3_progress_handler(db_, 0, nullptr, nullptr);
    suspect_.insert(copy.key);
    const uint32_t oldCount = copy.recordCount;
    try {
        std::string set;
        for (size_t i = 0; i < copy.table.columns.size(); ++i) {
            set += (i == 0 ? "" : ", ") + QuoteIdentifier(copy.table.columns[i].name) + " = ?" +
                   std::to_string(i + 3);
        }
        const std::string flag = "?" + std::to_string(copy.table.columns.size() + 3);
        Stmt update(db_, "UPDATE main." + quoted + " SET " + kRecno + " = ?2, " + kDeleted + " = " +
                             flag + ", " + set + " WHERE " + kRecno + " = ?1");
        std::string placeholders;
        for (size_t i = 0; i < copy.table.columns.size(); ++i)
            placeholders += ", ?" + std::to_string(i + 3);
        Stmt restore(db_, "INSERT INTO main." + quoted + "(" + kRecno + ", " + kDeleted + ", " +
                              columns + ") VALUES(?2, " + flag + placeholders + ")");
        auto put = [&](sqlite3_stmt* s, int64_t from, uint32_t to) {
            dbf::Record values = file->ReadRecord(to);
            sqlite3_bind_int64(s, 1, from);
            sqlite3_bind_int64(s, 2, to);
            for (size_t i = 0; i < values.size(); ++i) Bind(s, static_cast<int>(i + 3), values[i]);
            sqlite3_bind_int(s, static_cast<int>(values.size() + 3),
                             file->RecordDeleted(to) ? 1 : 0);
            Step(db_, s);
        };
        for (const dbf::RecordUpdate& u : changes.updates)
            put(update.s, u.recordNumber, u.recordNumber);
        for (size_t k = 0; k < inserted.size(); ++k)
            put(update.s, inserted[k], oldCount + static_cast<uint32_t>(k) + 1);
        if (copy.showDeleted) {
            for (uint32_t number : vanished) put(restore.s, number, number);
        }
        Stmt sequence(db_, "UPDATE main.sqlite_sequence SET seq = ?2 WHERE name = ?1");
        std::string utf8Name = ToUtf8(copy.table.name);
        sqlite3_bind_text(sequence.s, 1, utf8Name.data(), static_cast<int>(utf8Name.size()),
                          SQLITE_STATIC);
        sqlite3_bind_int64(sequence.s, 2, file->RecordCount());
        Step(db_, sequence.s);
    } catch (const dbf::DbfError& e) {
        copy.stale = true;
        FailFile(e, KDB_ERR_TABLE_DAMAGED);
    } catch (...) {
        copy.stale = true;
        throw;
    }
    copy.recordCount = file->RecordCount();
    copy.stamp = StampOf(copy.path);
    copy.memoPath = file->Memo() != nullptr ? file->Memo()->Path() : std::string();
    copy.memoStamp = StampOf(copy.memoPath);
}

void FolderTables::RolledBack(bool wholeTransaction) {
    for (const std::set<std::string>* keys : {&suspect_, &importedInTransaction_}) {
        for (const std::string& key : *keys) {
            auto found = copies_.find(key);
            if (found == copies_.end()) continue;
            Copy& copy = *found->second;
            copy.stale = true;
            // The rollback may have removed the copy or brought back an older one.
            copy.present = sqlite3_table_column_metadata(
                               db_, "main", ToUtf8(copy.table.name).c_str(), nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr) == SQLITE_OK;
        }
    }
    suspect_.clear();
    if (wholeTransaction) importedInTransaction_.clear();
}

void FolderTables::Committed() {
    suspect_.clear();
    if (sqlite3_get_autocommit(db_) != 0) importedInTransaction_.clear();
}

}  // namespace kce
