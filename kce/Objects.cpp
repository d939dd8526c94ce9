#include "kce/Objects.h"

#include <sqlite3.h>

#include <atomic>
#include <unordered_map>
#include <variant>

#include "kce/Error.h"
#include "kce/kce.h"

namespace kce {
namespace {

struct Entry {
    std::variant<std::shared_ptr<Connection>, std::shared_ptr<Statement>, std::shared_ptr<Cursor>,
                 std::shared_ptr<Search>>
        object;
    uint32_t owner = 0;  // connection handle of a statement, cursor or search
};

struct Table {
    std::mutex lock;
    std::unordered_map<uint32_t, Entry> entries;
    uint32_t next = 1;
};

Table& Handles() {
    static Table table;
    return table;
}

// Advanced by every removal: a thread's remembered cursor is valid while it stays the same.
std::atomic<uint64_t> removals{0};

struct RecentCursor {
    uint32_t handle = 0;
    uint64_t removalsSeen = 0;
    std::shared_ptr<Cursor> cursor;
};

RecentCursor& Recent() {
    // Initial-exec: the library is linked, never loaded later, so its few bytes of thread storage
    // sit at a fixed offset and each call reads them without asking the loader.
    [[gnu::tls_model("initial-exec")]] thread_local RecentCursor recent;
    return recent;
}

// Called after a removal: other threads notice the count; this thread lets go at once, so that a
// closed cursor's memory is released by the close itself.
void NoteRemoval() {
    removals.fetch_add(1, std::memory_order_acq_rel);
    RecentCursor& recent = Recent();
    recent.handle = 0;
    recent.cursor.reset();
}

uint32_t Add(Entry entry) {
    Table& t = Handles();
    std::lock_guard guard(t.lock);
    uint32_t handle = t.next++;
    if (t.next == 0) t.next = 1;
    t.entries.emplace(handle, std::move(entry));
    return handle;
}

template <typename T>
std::shared_ptr<T> Lookup(uint32_t handle, uint32_t errorCode, const char* kind) {
    Table& t = Handles();
    {
        std::lock_guard guard(t.lock);
        auto found = t.entries.find(handle);
        if (found != t.entries.end()) {
            if (auto* object = std::get_if<std::shared_ptr<T>>(&found->second.object))
                return *object;
        }
    }
    Fail(errorCode, "Handle " + std::to_string(handle) + " is no open " + kind + ".");
}

template <typename T>
bool Remove(uint32_t handle) {
    Table& t = Handles();
    std::shared_ptr<T> released;  // destroyed outside the lock
    {
        std::lock_guard guard(t.lock);
        auto found = t.entries.find(handle);
        if (found == t.entries.end() ||
            !std::holds_alternative<std::shared_ptr<T>>(found->second.object))
            return false;
        released = std::get<std::shared_ptr<T>>(found->second.object);
        t.entries.erase(found);
    }
    NoteRemoval();
    return true;
}

}  // namespace

Statement::~Statement() {
    Finalize();
}

void Statement::Finalize() {
    for (sqlite3_stmt* s : prepared) sqlite3_finalize(s);
    prepared.clear();
}

Cursor::Cursor(const std::vector<sql::Column>& columns, uint64_t memoryLimit)
    : layout_(columns), records_(layout_.Length(), memoryLimit), blobs_(memoryLimit) {}

Cursor::~Cursor() {
    stop_.store(true, std::memory_order_relaxed);
    if (filler_.joinable()) filler_.join();
}

template <typename Ready>
void Cursor::WaitFor(Ready&& ready) {
    std::unique_lock lock(fillLock_);
    // Said before the records are looked at: the filling thread, which makes records readable
    // before it looks whether anyone waits, then either sees this or its records are seen here.
    waiting_.store(true, std::memory_order_seq_cst);
    filled_.wait(lock, [&] { return ready() || !filling_.load(std::memory_order_acquire); });
    waiting_.store(false, std::memory_order_relaxed);
}

void Cursor::WakeReaders() {
    { std::lock_guard lock(fillLock_); }
    filled_.notify_all();
}

void Cursor::PublishForReader() {
    // A reader that has caught up gets records in batches, so that the two threads do not trade
    // every record; a slow statement's records reach it after a short while all the same.
    constexpr uint32_t kBatch = 1024;
    constexpr auto kLongest = std::chrono::milliseconds(20);
    if (!records_.TailInMemory()) return;
    const auto now = std::chrono::steady_clock::now();
    if (records_.Count() - lastReadable_ < kBatch && now - lastWake_ < kLongest) return;
    records_.Publish();
    lastReadable_ = records_.Readable();
    lastWake_ = now;
    WakeReaders();
}

uint32_t Cursor::Count() {
    if (filling_.load(std::memory_order_acquire)) WaitFor([] { return false; });
    ThrowFillError();
    return records_.Readable();
}

bool Cursor::Exists(uint32_t record) {
    // Read before the count: once the filling has ended, the count it left is final.
    const bool filling = filling_.load(std::memory_order_acquire);
    if (record <= records_.Readable()) return true;
    if (filling) {
        WaitFor([&] { return record <= records_.Readable(); });
        if (record <= records_.Readable()) return true;
    }
    ThrowFillError();
    return false;
}

void Cursor::ThrowFillError() {
    if (!fillError_) return;
    // Written by the filling thread before it ended; read only once it has.
    throw *fillError_;
}

void Cursor::FillInBackground(std::function<void(Cursor&)> fill, std::function<void()> done) {
    // Shared with the thread, so that `done` runs exactly once: on that thread after the filling,
    // or here when no thread could be started.
    auto finish = std::make_shared<std::function<void()>>(std::move(done));
    filling_.store(true, std::memory_order_release);
    auto body = [this, fill = std::move(fill), finish] {
        std::optional<Error> error;
        try {
            fill(*this);
        } catch (...) {
            error = CaughtError();
        }
        (*finish)();
        *finish = nullptr;
        {
            std::lock_guard lock(fillLock_);
            fillError_ = std::move(error);
            filling_.store(false, std::memory_order_release);
        }
        filled_.notify_all();
    };
    try {
        filler_ = std::thread(std::move(body));
    } catch (...) {
        (*finish)();
        *finish = nullptr;
        filling_.store(false, std::memory_order_release);
        throw;
    }
    // A statement that fails within its first chunk fails here, as one filled before the query
    // returns does.
    Exists(records_.PerChunk());
}

const uint8_t* Cursor::Current() {
    if (!OnRecord())
        Fail(KDB_ERR_NO_CURRENT_RECORD,
             position_ == 0 ? "The cursor is at BOF." : "The cursor is at EOF.");
    return records_.Get(position_ - 1);
}

const Field& Cursor::FieldAt(uint16_t number) const {
    if (number < 1 || number > layout_.Fields().size()) {
        Fail(KDB_ERR_FIELD_NUMBER, "Field " + std::to_string(number) +
                                       " does not exist; the cursor has " +
                                       std::to_string(layout_.Fields().size()) + " fields.");
    }
    return layout_.Fields()[number - 1];
}

uint32_t AddConnection(std::shared_ptr<Connection> connection) {
    return Add({std::move(connection), 0});
}
uint32_t AddStatement(std::shared_ptr<Statement> statement) {
    uint32_t owner = statement->connectionHandle;
    return Add({std::move(statement), owner});
}
uint32_t AddCursor(std::shared_ptr<Cursor> cursor) {
    uint32_t owner = cursor->connectionHandle;
    return Add({std::move(cursor), owner});
}
uint32_t AddSearch(std::shared_ptr<Search> search) {
    uint32_t owner = search->connectionHandle;
    return Add({std::move(search), owner});
}

std::shared_ptr<Connection> GetConnection(uint32_t handle) {
    return Lookup<Connection>(handle, KDB_ERR_INVALID_CONNECTION, "connection");
}
std::shared_ptr<Statement> GetStatement(uint32_t handle) {
    return Lookup<Statement>(handle, KDB_ERR_INVALID_HANDLE, "statement");
}
std::shared_ptr<Cursor> GetCursor(uint32_t handle) {
    return Lookup<Cursor>(handle, KDB_ERR_INVALID_HANDLE, "cursor");
}

Cursor& CursorForCall(uint32_t handle) {
    RecentCursor& recent = Recent();
    const uint64_t seen = removals.load(std::memory_order_acquire);
    if (recent.cursor && recent.handle == handle && recent.removalsSeen == seen)
        return *recent.cursor;
    recent.cursor.reset();
    recent.handle = 0;
    std::shared_ptr<Cursor> cursor = GetCursor(handle);
    recent.removalsSeen = seen;
    recent.handle = handle;
    recent.cursor = std::move(cursor);
    return *recent.cursor;
}
std::shared_ptr<Search> GetSearch(uint32_t handle) {
    return Lookup<Search>(handle, KDB_ERR_INVALID_HANDLE, "table search");
}

uint16_t HandleType(uint32_t handle) {
    Table& t = Handles();
    std::lock_guard guard(t.lock);
    auto found = t.entries.find(handle);
    if (found == t.entries.end()) return 0;
    switch (found->second.object.index()) {
        case 0:
            return KDB_HANDLE_CONNECTION;
        case 1:
            return KDB_HANDLE_STATEMENT;
        case 2:
            return KDB_HANDLE_CURSOR;
        default:
            return KDB_HANDLE_SEARCH;
    }
}

bool RemoveConnection(uint32_t handle) {
    Table& t = Handles();
    std::vector<Entry> released;  // destroyed outside the lock, statements before the connection
    {
        std::lock_guard guard(t.lock);
        auto found = t.entries.find(handle);
        if (found == t.entries.end() || found->second.object.index() != 0) return false;
        for (auto it = t.entries.begin(); it != t.entries.end();) {
            if (it->second.owner == handle) {
                released.push_back(std::move(it->second));
                it = t.entries.erase(it);
            } else {
                ++it;
            }
        }
        released.push_back(std::move(t.entries.at(handle)));
        t.entries.erase(handle);
    }
    NoteRemoval();
    return true;
}

bool RemoveStatement(uint32_t handle) {
    return Remove<Statement>(handle);
}
bool RemoveCursor(uint32_t handle) {
    return Remove<Cursor>(handle);
}
bool RemoveSearch(uint32_t handle) {
    return Remove<Search>(handle);
}

uint16_t OpenCursorCount() {
    Table& t = Handles();
    std::lock_guard guard(t.lock);
    uint16_t count = 0;
    for (const auto& [handle, entry] : t.entries) {
        if (entry.object.index() == 2) ++count;
    }
    return count;
}

}  // namespace kce
