#include "kce/Execute.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>

#include "kce/Cp1252.h"
#include "kce/EngineSettings.h"
#include "kce/Error.h"
#include "kce/FolderTables.h"
#include "kce/Objects.h"
#include "kce/Translate.h"
#include "kce/kce.h"
#include "kce/sql/NativeError.h"
#include "kce/sql/Parser.h"

namespace kce {
namespace {

using Clock = std::chrono::steady_clock;

// Stops a running statement when its time-out passes (SQLite's progress callback).
class TimeoutGuard {
public:
    TimeoutGuard(sqlite3* db, uint32_t seconds) : db_(db) {
        if (seconds == 0) return;
        deadline_ = Clock::now() + std::chrono::seconds(seconds);
        sqlite3_progress_handler(db_, 10000, &TimeoutGuard::Check, this);
    }
    ~TimeoutGuard() { Remove(); }
    // Takes the time-out off the database before the guard's end (a thread that goes on with
    // the statement sets its own).
    void Remove() {
        if (db_ != nullptr) sqlite3_progress_handler(db_, 0, nullptr, nullptr);
        db_ = nullptr;
    }

private:
    static int Check(void* self) {
        return Clock::now() > static_cast<TimeoutGuard*>(self)->deadline_ ? 1 : 0;
    }
    sqlite3* db_;
    Clock::time_point deadline_;
};

[[noreturn]] void FailRun(sqlite3* db, int rc, uint32_t timeout) {
    switch (rc & 0xFF) {
        case SQLITE_CONSTRAINT:
            FailSql(KDB_SQL_CONSTRAINT, FromUtf8(sqlite3_errmsg(db)));
        case SQLITE_INTERRUPT:
            FailSql(KDB_SQL_TIMEOUT, "The statement ran longer than its time-out of " +
                                         std::to_string(timeout) + " seconds.");
        case SQLITE_ERROR:
            if (auto error = RunTimeSqlError(sqlite3_errmsg(db)))
                FailSql(error->first, error->second);
            FailSql(KDB_SQL_RUNTIME, FromUtf8(sqlite3_errmsg(db)));
        case SQLITE_MISMATCH:
        case SQLITE_RANGE:
        case SQLITE_TOOBIG:
            FailSql(KDB_SQL_RUNTIME, FromUtf8(sqlite3_errmsg(db)));
        default:
            FailStorage(db, rc, "Running the statement failed");
    }
}

void Exec(sqlite3* db, const char* sql) {
    int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) FailStorage(db, rc, sql);
}

void Bind(sqlite3_stmt* stmt, const std::vector<ParamValue>& params) {
    int count = sqlite3_bind_parameter_count(stmt);
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
    for (int i = 1; i <= count && size_t(i) <= params.size(); ++i) {
        const ParamValue& v = params[size_t(i) - 1];
        switch (v.kind) {
            case ParamValue::Null:
                break;
            case ParamValue::Integer:
                sqlite3_bind_int64(stmt, i, v.integer);
                break;
            case ParamValue::Real:
                sqlite3_bind_double(stmt, i, v.real);
                break;
            case ParamValue::Text:
                sqlite3_bind_text(stmt, i, v.bytes.data(), static_cast<int>(v.bytes.size()),
                                  SQLITE_STATIC);
                break;
            case ParamValue::Blob:
                sqlite3_bind_blob(stmt, i, v.bytes.data(), static_cast<int>(v.bytes.size()),
                                  SQLITE_STATIC);
                break;
        }
    }
}

void PrepareSqlite(Statement& st, sqlite3* db) {
    if (!st.prepared.empty()) return;
    const char* sql = st.compiled->sqlite.c_str();
    while (*sql != '\0') {
        sqlite3_stmt* stmt = nullptr;
        const char* tail = nullptr;
        int rc = sqlite3_prepare_v2(db, sql, -1, &stmt, &tail);
        if (rc != SQLITE_OK) {
            st.Finalize();
            std::string message = FromUtf8(sqlite3_errmsg(db));
            // SQLite's parser holds a fixed number of pending terms; a statement that needs more
            // is refused as one nested too deeply, like the engine's own parser refuses one.
            if (message == "parser stack overflow")
                FailSql(sql::kErrTooComplex, "Statement nested too deeply.");
            if ((rc & 0xFF) == SQLITE_ERROR) FailSql(KDB_SQL_RUNTIME, message);
            FailStorage(db, rc, "Preparing the statement failed");
        }
        if (stmt != nullptr) st.prepared.push_back(stmt);
        sql = tail;
    }
}

// Steps a statement that returns no rows to its end; returns the rows it changed.
uint32_t RunToEnd(sqlite3* db, sqlite3_stmt* stmt, uint32_t timeout) {
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    }
    sqlite3_reset(stmt);
    if (rc != SQLITE_DONE) FailRun(db, rc, timeout);
    return sqlite3_stmt_readonly(stmt) ? 0u : static_cast<uint32_t>(sqlite3_changes(db));
}

// Steps the query into the cursor's records. Calls filled() after each record, and stops early
// (as at the end) when stop() says so.
template <typename Filled, typename Stop>
void FillCursor(sqlite3* db, sqlite3_stmt* stmt, Cursor& cursor, uint32_t timeout, Filled&& filled,
                Stop&& stop) {
    const RecordLayout& layout = cursor.Layout();
    RecordStore& records = cursor.Records();
    ByteStore& blobs = cursor.Blobs();
    std::string error;
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        if (records.Count() == UINT32_MAX - 1) {
            sqlite3_reset(stmt);
            Fail(KDB_ERR_OUT_OF_MEMORY, "The result has more records than a cursor can number.");
        }
        if (!layout.Encode(stmt, records.Append(), blobs, error)) {
            sqlite3_reset(stmt);
            FailSql(sql::kErrInvalidValue, error);
        }
        filled();
        if (stop()) break;
    }
    sqlite3_reset(stmt);
    if (rc != SQLITE_DONE && rc != SQLITE_ROW) FailRun(db, rc, timeout);
    records.Finish();
}

std::shared_ptr<Cursor> NewCursor(sqlite3_stmt* stmt, const std::vector<sql::Column>& columns) {
    if (sqlite3_column_count(stmt) != static_cast<int>(columns.size())) {
        Fail(KDB_ERR_INTERNAL, "The compiled query's columns do not match its description.");
    }
    return std::make_shared<Cursor>(columns, ResultMemoryLimit());
}

std::shared_ptr<Cursor> Materialise(sqlite3* db, sqlite3_stmt* stmt,
                                    const std::vector<sql::Column>& columns, uint32_t timeout) {
    auto cursor = NewCursor(stmt, columns);
    FillCursor(
        db, stmt, *cursor, timeout, [] {}, [] { return false; });
    cursor->SetPosition(cursor->Records().Count() > 0 ? 1 : 0);
    return cursor;
}

// The query's cursor, filled on a thread of its own that takes over the caller's hold of the
// database (`lock`) and the statement, and lets go of both when the last record is in.
std::shared_ptr<Cursor> FillInBackground(std::shared_ptr<Statement> st,
                                         std::unique_lock<Database::Lock>& lock,
                                         TimeoutGuard& callerGuard, uint32_t timeout) {
    sqlite3* db = st->connection->database->Db();
    sqlite3_stmt* stmt = st->prepared.back();
    auto cursor = NewCursor(stmt, st->compiled->result);
    // Position 1 even before the first record is known: with no records it reads as EOF and BOF,
    // as position 0 of an empty cursor does.
    cursor->SetPosition(1);
    callerGuard.Remove();
    Database::Lock* held = lock.release();
    cursor->FillInBackground(
        [db, stmt, timeout](Cursor& c) {
            TimeoutGuard guard(db, timeout);
            FillCursor(
                db, stmt, c, timeout, [&] { c.Filled(); }, [&] { return c.Stopping(); });
        },
        [st = std::move(st), held]() mutable {
            st.reset();
            held->unlock();
        });
    return cursor;
}

// INSERT, UPDATE and DELETE: the statements that change rows of a table.
bool ChangesRows(sql::StatementKind kind) {
    return kind == sql::StatementKind::Insert || kind == sql::StatementKind::Update ||
           kind == sql::StatementKind::Delete;
}

// Marks the folder's statement compiling (see FolderTables::SetCompiling) for as long as it lives.
class Compiling {
public:
    explicit Compiling(FolderTables& folder) : folder_(folder) { folder_.SetCompiling(true); }
    ~Compiling() { folder_.SetCompiling(false); }
    Compiling(const Compiling&) = delete;
    Compiling& operator=(const Compiling&) = delete;

private:
    FolderTables& folder_;
};

// Sets how long the folder's imports wait for locks, for as long as it lives.
class ImportWait {
public:
    ImportWait(FolderTables* folder, std::chrono::milliseconds wait) : folder_(folder) {
        if (folder_ == nullptr) return;
        before_ = folder_->GetImportWait();
        folder_->SetImportWait(wait);
    }
    ~ImportWait() {
        if (folder_ != nullptr) folder_->SetImportWait(before_);
    }
    ImportWait(const ImportWait&) = delete;
    ImportWait& operator=(const ImportWait&) = delete;

private:
    FolderTables* folder_;
    std::chrono::milliseconds before_{0};
};

// Compiles the statement's SQL; on a folder connection also notes the tables it names.
void Compile(Statement& st, Database& database) {
    FolderTables* folder = database.Folder();
    if (folder == nullptr) {
        st.compiled = Translate(st.sql, database);
        return;
    }
    folder->TakeLookups();
    Compiling compiling(*folder);
    try {
        st.compiled = Translate(st.sql, database);
    } catch (const Error& e) {
        // A table another program is writing could not be read. A changing statement waits for
        // that lock as its change would; a query fails at once.
        if (e.Code() != KDB_ERR_TABLE_LOCKED) throw;
        sql::StatementKind kind;
        try {
            kind = sql::Parse(st.sql).kind;
        } catch (...) {
            throw e;
        }
        if (!ChangesRows(kind)) throw;
        const uint32_t timeout =
            st.timeoutSeconds != 0 ? st.timeoutSeconds : st.connection->timeoutSeconds;
        ImportWait wait(folder, LockWaitFor(timeout));
        folder->TakeLookups();
        st.compiled = Translate(st.sql, database);
    }
    st.tables = folder->TakeLookups();
}

// Folder connections: brings the copies of the statement's tables up to date with their files.
// A table whose columns changed (or that is gone) makes the statement compile again.
void RefreshFolderTables(Statement& st, Database& database) {
    FolderTables* folder = database.Folder();
    if (folder == nullptr) return;
    FolderTables::Refreshed refreshed = folder->Refresh(st.tables);
    if (refreshed == FolderTables::Refreshed::Nothing) return;
    st.Finalize();
    if (refreshed == FolderTables::Refreshed::Columns) {
        Compile(st, database);
        st.params.resize(st.compiled->parameters.size());
    }
}

// Runs a changing statement: one SQLite transaction of its own (`own`) or a savepoint inside the
// caller's transaction; a folder table's file changes with a statement of its own.
void RunChange(Statement& st, Database& database, bool own, uint32_t timeout) {
    sqlite3* db = database.Db();
    FolderTables* folder = database.Folder();
    const sql::CompiledStatement& compiled = *st.compiled;
    Exec(db, own ? "BEGIN IMMEDIATE" : "SAVEPOINT kce_statement");
    try {
        uint32_t changed = 0;
        for (sqlite3_stmt* stmt : st.prepared) {
            Bind(stmt, st.params);
            changed += RunToEnd(db, stmt, timeout);
        }
        if (compiled.kind == sql::StatementKind::CreateTable) database.AddTable(compiled.created);
        if (compiled.kind == sql::StatementKind::DropTable)
            database.RemoveTable(compiled.targetTable);
        // A folder table's file changes with the statement; inside an explicit transaction, at its
        // commit.
        if (own && folder != nullptr) folder->WriteBack(LockWaitFor(timeout));
        Exec(db, own ? "COMMIT" : "RELEASE kce_statement");
        if (own && folder != nullptr) folder->Committed();
        st.rowsAffected = ChangesRows(compiled.kind) ? changed : 0;
    } catch (...) {
        sqlite3_exec(db, own ? "ROLLBACK" : "ROLLBACK TO kce_statement; RELEASE kce_statement",
                     nullptr, nullptr, nullptr);
        if (folder != nullptr) folder->RolledBack(false);
        if (compiled.kind == sql::StatementKind::CreateTable ||
            compiled.kind == sql::StatementKind::DropTable) {
            if (database.IsDictionary()) {
                database.ReloadCatalogue();
            } else if (compiled.kind == sql::StatementKind::CreateTable) {
                database.RemoveTable(compiled.created.name);
            }
        }
        throw;
    }
}

}  // namespace

void PrepareStatement(Statement& st, std::string_view sql) {
    Database& database = *st.connection->database;
    std::lock_guard lock(database.Mutex());
    st.Finalize();
    st.compiled.reset();
    st.params.clear();
    st.tables.clear();
    st.sql = std::string(sql);
    Compile(st, database);
    st.params.resize(st.compiled->parameters.size());
}

uint32_t ExecuteStatement(const std::shared_ptr<Statement>& statement) {
    Statement& st = *statement;
    if (!st.compiled) Fail(KDB_ERR_NO_SQL);
    Connection& connection = *st.connection;
    Database& database = *connection.database;
    sqlite3* db = database.Db();
    std::unique_lock lock(database.Mutex());
    uint32_t timeout = st.timeoutSeconds != 0 ? st.timeoutSeconds : connection.timeoutSeconds;
    TimeoutGuard guard(db, timeout);
    FolderTables* folder = database.Folder();
    if (folder != nullptr && (st.compiled->kind == sql::StatementKind::CreateTable ||
                              st.compiled->kind == sql::StatementKind::DropTable)) {
        Fail(KDB_ERR_NOT_SUPPORTED, "Tables of a folder cannot be created or dropped by SQL.");
    }
    // A changing statement waits for another program's writer's lock on the tables it reads as
    // its change waits for locks; a query fails at once.
    const bool changing = ChangesRows(st.compiled->kind);
    ImportWait wait(folder, changing ? LockWaitFor(timeout) : std::chrono::milliseconds(0));
    RefreshFolderTables(st, database);
    PrepareSqlite(st, db);
    const sql::CompiledStatement& compiled = *st.compiled;
    st.rowsAffected = 0;
    st.lastWasQuery = false;

    switch (compiled.kind) {
        case sql::StatementKind::Select:
        case sql::StatementKind::GetApplicationId: {
            if (st.prepared.empty()) Fail(KDB_ERR_INTERNAL, "The compiled query is empty.");
            for (size_t i = 0; i + 1 < st.prepared.size(); ++i) {
                Bind(st.prepared[i], st.params);
                RunToEnd(db, st.prepared[i], timeout);
            }
            Bind(st.prepared.back(), st.params);
            auto cursor = CurrentSettings().backgroundFill
                              ? FillInBackground(statement, lock, guard, timeout)
                              : Materialise(db, st.prepared.back(), compiled.result, timeout);
            cursor->connectionHandle = st.connectionHandle;
            st.lastWasQuery = true;
            return AddCursor(std::move(cursor));
        }
        case sql::StatementKind::SetApplicationId:
            // Kept by the connection's SQL functions; nothing is stored in tables.
            for (sqlite3_stmt* stmt : st.prepared) {
                Bind(stmt, st.params);
                RunToEnd(db, stmt, timeout);
            }
            return 0;
        default:
            break;
    }

    // A folder table is not changed behind the back of an index file that the change cannot keep
    // in step.
    if (folder != nullptr && ChangesRows(compiled.kind))
        folder->CheckWritable(compiled.targetTable);

    // Changes: one transaction per statement, or a savepoint inside the caller's transaction, so
    // that the statement succeeds or fails whole.
    const bool own = sqlite3_get_autocommit(db) != 0;
    // A statement of its own whose folder table another program changed after the copy was read
    // wrote nothing: it runs again on a fresh copy, as if it had started after that change, for
    // as long as it would wait for another program's lock.
    const Clock::time_point retryUntil = Clock::now() + LockWaitFor(timeout);
    for (;;) {
        try {
            RunChange(st, database, own, timeout);
            return 0;
        } catch (const StaleCopyError&) {
            if (!own || Clock::now() >= retryUntil) throw;
        }
        // The refresh may compile the statement again (the table's columns changed).
        RefreshFolderTables(st, database);
        PrepareSqlite(st, db);
        if (folder != nullptr) folder->CheckWritable(st.compiled->targetTable);
    }
}

void BeginTransaction(Connection& connection) {
    Database& database = *connection.database;
    std::lock_guard lock(database.Mutex());
    if (connection.transactionDepth > 0)
        Fail(KDB_ERR_TRANSACTION, "A transaction is open already.");
    Exec(database.Db(), "BEGIN IMMEDIATE");
    connection.transactionDepth = 1;
    connection.savepoints.clear();
}

void CommitTransaction(Connection& connection) {
    Database& database = *connection.database;
    std::lock_guard lock(database.Mutex());
    if (connection.transactionDepth == 0) Fail(KDB_ERR_TRANSACTION, "No transaction is open.");
    FolderTables* folder = database.Folder();
    try {
        // Folder tables: every table changed in the transaction is written now, each
        // all-or-nothing. A failure rolls the transaction back; tables written before it keep
        // their change, and their copies are read again.
        if (folder != nullptr) folder->WriteBack(LockWaitFor(connection.timeoutSeconds));
        Exec(database.Db(), "COMMIT");
    } catch (...) {
        sqlite3_exec(database.Db(), "ROLLBACK", nullptr, nullptr, nullptr);
        connection.transactionDepth = 0;
        connection.savepoints.clear();
        if (folder != nullptr) folder->RolledBack(true);
        throw;
    }
    connection.transactionDepth = 0;
    connection.savepoints.clear();
    if (folder != nullptr) folder->Committed();
}

void RollbackTransaction(Connection& connection, std::string_view savepoint) {
    Database& database = *connection.database;
    std::lock_guard lock(database.Mutex());
    if (connection.transactionDepth == 0) Fail(KDB_ERR_TRANSACTION, "No transaction is open.");
    if (savepoint.empty()) {
        Exec(database.Db(), "ROLLBACK");
        connection.transactionDepth = 0;
        connection.savepoints.clear();
    } else {
        auto found = std::find(connection.savepoints.begin(), connection.savepoints.end(),
                               std::string(savepoint));
        if (found == connection.savepoints.end()) {
            Fail(KDB_ERR_TRANSACTION, "No savepoint named " + std::string(savepoint) + ".");
        }
        std::string sql =
            "ROLLBACK TO \"kce_sp_" + std::to_string(found - connection.savepoints.begin()) + "\"";
        Exec(database.Db(), sql.c_str());
        connection.savepoints.erase(found + 1, connection.savepoints.end());
    }
    if (FolderTables* folder = database.Folder()) folder->RolledBack(savepoint.empty());
    database.ReloadCatalogue();
}

void CreateSavepoint(Connection& connection, std::string_view savepoint) {
    Database& database = *connection.database;
    std::lock_guard lock(database.Mutex());
    if (connection.transactionDepth == 0) Fail(KDB_ERR_TRANSACTION, "No transaction is open.");
    if (savepoint.empty()) Fail(KDB_ERR_INVALID_ARGUMENT, "The savepoint name is empty.");
    std::string sql = "SAVEPOINT \"kce_sp_" + std::to_string(connection.savepoints.size()) + "\"";
    Exec(database.Db(), sql.c_str());
    connection.savepoints.emplace_back(savepoint);
}

}  // namespace kce
