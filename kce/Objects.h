#pragma once
// The objects behind handles: connections, statements, cursors and table searches, and the
// process-wide handle table that maps 32-bit handles to them.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "kce/Database.h"
#include "kce/Error.h"
#include "kce/Record.h"
#include "kce/Store.h"
#include "kce/sql/Compiler.h"

struct sqlite3_stmt;

namespace kce {

struct Connection {
    std::unique_ptr<Database> database;
    uint32_t timeoutSeconds = 0;
    int transactionDepth = 0;  // 0 or 1: explicit transaction open
    std::vector<std::string> savepoints;
};

// A parameter value as the setter received it.
struct ParamValue {
    enum Kind { Null, Integer, Real, Text, Blob } kind = Null;
    int64_t integer = 0;
    double real = 0;
    std::string bytes;  // Text: UTF-8; Blob: raw
};

struct Statement {
    std::shared_ptr<Connection> connection;
    uint32_t connectionHandle = 0;
    std::string sql;  // Windows-1252, as prepared
    std::optional<sql::CompiledStatement> compiled;
    std::vector<std::string> tables;  // folder connections: tables the statement names (upper case)
    std::vector<sqlite3_stmt*> prepared;  // compiled.sqlite, one per SQLite statement
    std::vector<ParamValue> params;       // by position
    uint32_t timeoutSeconds = 0;
    bool lastWasQuery = false;
    uint32_t rowsAffected = 0;
    uint16_t options[6] = {1, 1, 2, 3,
                           2, 2};  // lock type, rights, read-only, table type, constrain, read all
    std::string collation;

    ~Statement();
    void Finalize();
};

// A static result. It is filled before the query returns, or, when the engine fills cursors in
// the background, on a thread of its own while the caller reads: a read then waits for the
// records it needs, and an error met while filling is raised by the first read that needs a
// record past the point where the filling stopped.
class Cursor {
public:
    Cursor(const std::vector<sql::Column>& columns, uint64_t memoryLimit);
    // Stops a filling still under way and waits for its thread.
    ~Cursor();
    Cursor(const Cursor&) = delete;
    Cursor& operator=(const Cursor&) = delete;

    const RecordLayout& Layout() const { return layout_; }
    RecordStore& Records() { return records_; }
    ByteStore& Blobs() { return blobs_; }
    const ByteStore& Blobs() const { return blobs_; }

    // Every record: waits for the filling to end.
    uint32_t Count();
    // Whether record `record` (from 1) exists: waits until it is filled or the filling ends.
    bool Exists(uint32_t record);
    // 0 is BOF, 1..Count() a record, Count() + 1 EOF.
    uint32_t Position() const { return position_; }
    void SetPosition(uint32_t position) { position_ = position; }
    bool OnRecord() { return position_ >= 1 && Exists(position_); }
    // The current record; throws 5068 at BOF or EOF.
    const uint8_t* Current();
    // Field by 1-based number; throws 5018.
    const Field& FieldAt(uint16_t number) const;

    // Runs `fill` on a thread of its own. It appends to Records() and Blobs(), calls Filled()
    // whenever more records became readable, stops early when Stopping() says so, and throws on
    // failure; `done` runs on that thread after it, whatever happened. Returns once the first
    // chunk of records is readable or the filling has ended; an error that ended it is raised.
    void FillInBackground(std::function<void(Cursor&)> fill, std::function<void()> done);
    // For the filling thread, after each record: wakes a reader that waits for records when
    // more became readable, or when enough were appended since (made readable for it). Cheap when
    // no reader waits.
    void Filled() {
        const uint32_t readable = records_.Readable();
        if (readable != lastReadable_) {
            lastReadable_ = readable;
            if (waiting_.load(std::memory_order_seq_cst)) WakeReaders();
        } else if (waiting_.load(std::memory_order_relaxed)) {
            PublishForReader();
        }
    }
    bool Stopping() const { return stop_.load(std::memory_order_relaxed); }

    uint32_t connectionHandle = 0;

private:
    // Raises the error that ended the filling, if one did.
    void ThrowFillError();
    // Waits until `ready` holds or the filling ends.
    template <typename Ready>
    void WaitFor(Ready&& ready);
    void WakeReaders();
    void PublishForReader();

    RecordLayout layout_;
    RecordStore records_;
    ByteStore blobs_;
    uint32_t position_ = 0;

    std::atomic<bool> filling_ = false;
    std::atomic<bool> stop_ = false;
    std::atomic<bool> waiting_ = false;  // a reader waits for records
    // The filling thread's own: what it last saw readable, and when it last woke a reader.
    uint32_t lastReadable_ = 0;
    std::chrono::steady_clock::time_point lastWake_;
    std::mutex fillLock_;
    std::condition_variable filled_;
    std::optional<Error> fillError_;
    std::thread filler_;
};

struct Search {
    uint32_t connectionHandle = 0;
    std::vector<std::string> names;  // table names (Windows-1252)
    std::vector<std::string> paths;  // full paths, parallel to names
    size_t next = 0;
    bool dictionaryObjects = false;  // made by KdbDDFindFirstObject
};

// The handle table. Handles are never reused within a process; a connection's statements,
// cursors and searches are released with it.
uint32_t AddConnection(std::shared_ptr<Connection> connection);
uint32_t AddStatement(std::shared_ptr<Statement> statement);
uint32_t AddCursor(std::shared_ptr<Cursor> cursor);
uint32_t AddSearch(std::shared_ptr<Search> search);

// Lookups throw 5024 (connections) or 5106 (the others) for a handle of another kind or none.
std::shared_ptr<Connection> GetConnection(uint32_t handle);
std::shared_ptr<Statement> GetStatement(uint32_t handle);
std::shared_ptr<Cursor> GetCursor(uint32_t handle);
// The cursor for one call of the calling thread, without a table lookup when the thread named
// the same cursor last and no handle was removed since: the thread keeps a reference to the
// cursor it named last, which the next lookup after a removal (or the removal itself, on the same
// thread) lets go. Throws as GetCursor does.
Cursor& CursorForCall(uint32_t handle);
std::shared_ptr<Search> GetSearch(uint32_t handle);
// 0 when the handle names nothing.
uint16_t HandleType(uint32_t handle);

// Removal returns false when the handle is no object of that kind.
bool RemoveConnection(uint32_t handle);  // with its statements, cursors and searches
bool RemoveStatement(uint32_t handle);
bool RemoveCursor(uint32_t handle);
bool RemoveSearch(uint32_t handle);
uint16_t OpenCursorCount();

}  // namespace kce
