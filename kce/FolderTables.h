#pragma once
// The tables of a folder connection: every dBase-format file of the folder, copied on first use
// into the connection's private SQLite database in the stored representation (kce/sql/Compiler.h),
// so that the SQL front end, the cursors and SQLite's join planning work on them as on a
// dictionary.
//
// Copies. A table is imported when a statement first names it, and again before a statement when
// its table or memo file changed (device, inode, size or modification time) or when the engine's
// deleted-record visibility changed since the import. Each copy has two hidden columns that no
// statement sees (the front end lists columns from this catalogue): "kce$recno", the record number
// in the file (INTEGER PRIMARY KEY AUTOINCREMENT; new rows are numbered after the file's last
// record, which is where they will be appended), and "kce$deleted": 0 live, 1 marked deleted in
// the file, 2 deleted by a change not yet written. Deleted records are imported only while the
// engine shows deleted records; then a DELETE keeps its rows in the copy, marked 2, so that they
// stay rows of later statements at once, inside an explicit transaction as outside it.
//
// Changes. Triggers log every inserted, updated and deleted copy row in the temporary table
// "kce$changes". WriteBack, called inside the SQLite transaction of a changing statement (or at
// commit of an explicit transaction), turns the log into one all-or-nothing change of each table
// file (kce/dbf's journal), then re-reads the changed records from the file so that the copy holds
// exactly what the file now holds (for example null for an empty text on a dBase table).
//
// Not thread-safe: the connection's database mutex serialises its users.

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "kce/Error.h"
#include "kce/sql/Compiler.h"

struct sqlite3;

namespace kce {

// Identity of a file's contents as far as stat tells it.
struct FileStamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    bool operator==(const FileStamp& o) const;
};
FileStamp StampOf(const std::string& path);

// Called before each step of a table file change (kce/dbf's FaultHook). Tests set it to stop a
// statement at any step; null in normal use. Process-wide.
using WriteFaultHook = std::function<void(std::string_view step)>;
void SetWriteFaultHook(WriteFaultHook hook);

// How long a change waits for another program's lock on a table file: the statement's time-out
// when one is set (`timeoutSeconds`, 0 for none), else kDefaultLockWait.
inline constexpr std::chrono::milliseconds kDefaultLockWait{3000};
std::chrono::milliseconds LockWaitFor(uint32_t timeoutSeconds);

// The failure of WriteBack when another program changed a table file after the connection's copy
// of it was read: nothing was written. A statement outside an explicit transaction may run again
// on a fresh copy.
class StaleCopyError : public Error {
public:
    using Error::Error;
};

class FolderTables {
public:
    // `folder` is a file-system path (UTF-8, "/" separators, no trailing separator); `db` is the
    // connection's SQLite database, which this object uses for the copies and the change log.
    FolderTables(sqlite3* db, std::string folder);
    ~FolderTables();
    FolderTables(const FolderTables&) = delete;
    FolderTables& operator=(const FolderTables&) = delete;

    const std::string& Folder() const { return folder_; }

    // The table `name` (Windows-1252, any letter case), imported or brought up to date; null when
    // the folder has no such table file. The address stays valid until the table is re-imported
    // with other columns. A damaged file throws 5034 naming the file and the fault, a file locked
    // by another writer 5035.
    const sql::Table* Find(std::string_view name);

    // Names passed to Find since the last call (upper case, each once).
    std::vector<std::string> TakeLookups();

    // How long an import waits for another program's writer's lock on a table file (none unless
    // set): a changing statement waits as its change would, a query fails at once.
    void SetImportWait(std::chrono::milliseconds wait) { importWait_ = wait; }
    std::chrono::milliseconds GetImportWait() const { return importWait_; }
    // While a statement is compiled: a copy that cannot be imported again because another program
    // holds its file locked is used as it is, for its columns; the refresh before the statement
    // runs brings it up to date (or fails).
    void SetCompiling(bool compiling) { compiling_ = compiling; }

    enum class Refreshed { Nothing, Data, Columns };
    // Brings the named tables up to date before a statement runs. Columns: a table was re-imported
    // with other columns, or its file is gone, so the statement must be compiled again.
    Refreshed Refresh(const std::vector<std::string>& names);

    // Refuses a change of the table `name` (as Find takes it) before anything is touched when
    // other programs keep an index file for it that changes do not keep in step
    // (dbf::IndexNotKeptOf: index files of every format that the readers understand are kept in
    // step), or when it belongs to a database container that is missing: engine error
    // 5004 naming the file. Nothing for a name with no table file.
    void CheckWritable(std::string_view name);

    // Writes the logged changes to the table files (see above); first refuses, as CheckWritable,
    // when any of the changed tables has an index file it cannot keep in step. Throws on failure;
    // the caller then rolls the SQLite transaction back and calls RolledBack. A table another
    // program holds locked is waited for up to `lockWait` (see LockWaitFor), then the change fails
    // with 5035. A table that another program changed after its copy was read fails the change
    // with 5035 as a StaleCopyError when no table was written yet, as an Error otherwise.
    void WriteBack(std::chrono::milliseconds lockWait);
    // After the SQLite transaction (or statement savepoint) was rolled back: copies whose file
    // may no longer match them, and copies made inside a rolled-back transaction, are re-imported
    // at their next use. `wholeTransaction` is true for the rollback of an explicit transaction.
    void RolledBack(bool wholeTransaction);
    // After an explicit transaction committed.
    void Committed();

private:
    struct Copy;
    void Import(Copy& copy);
    void Drop(Copy& copy);
    bool IsCurrent(const Copy& copy) const;
    void WriteTable(Copy& copy, const std::vector<std::pair<int64_t, bool>>& rows,
                    std::chrono::milliseconds lockWait);

    sqlite3* db_;
    std::string folder_;
    std::map<std::string, std::unique_ptr<Copy>> copies_;  // by upper-case name; never removed
    std::set<std::string> lookups_;
    std::set<std::string> importedInTransaction_;
    std::set<std::string> suspect_;  // copies whose file a failed write-back may have changed
    std::chrono::milliseconds importWait_{0};
    bool compiling_ = false;
    int nextId_ = 1;
};

}  // namespace kce
