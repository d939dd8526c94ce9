#pragma once
// An open dBase-format table with its memo file: columns with engine types, a record cursor that
// yields typed values or null, memo contents, and all-or-nothing changes.
//
// Locking: an open Table holds a shared advisory lock (an open-file-description lock over the
// whole table file and a shared flock) for its lifetime; a change upgrades it to an exclusive lock
// for the duration of the change. A lock held by another program (a writer, or for a change also
// a reader) makes Open or the change wait for it up to the table's lock wait (none unless given),
// then fail with DbfLockedError. Changes go through the journal
// protocol of Journal.h; a journal left by an interrupted change is played back when the table is
// next opened. A change of a table with index files (see IndexNotKeptOf) rebuilds each within the
// same journalled change, holding an exclusive lock on each index file.
//
// Not thread-safe: one thread uses a Table and its cursors at a time.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kce/dbf/FileIo.h"
#include "kce/dbf/Header.h"
#include "kce/dbf/Index.h"
#include "kce/dbf/Journal.h"
#include "kce/dbf/Memo.h"
#include "kce/dbf/Types.h"
#include "kce/dbf/Values.h"

namespace kce::dbf {

struct RecordUpdate {
    uint32_t recordNumber = 0;  // from 1
    Record values;              // one value per column, in column order
};

// One statement's changes. Updates and deletions name records by number (from 1); deleting marks
// the record deleted, as the writing programs do; inserts are appended in order, and a deletion may
// name an appended record (numbered after the file's last one) to append it marked deleted.
struct Changes {
    std::vector<RecordUpdate> updates;
    std::vector<uint32_t> deletions;
    std::vector<Record> inserts;
};

class Table {
public:
    // Opens the table file at `path` (and its memo file when it has memo columns); "\" counts as a
    // folder separator. Throws DbfError
    // naming the file and what is wrong, DbfLockedError when another program holds it locked.
    // `lockWait` bounds how long Open and later changes wait for another program's lock.
    static std::unique_ptr<Table> Open(
        const std::string& path, std::chrono::milliseconds lockWait = std::chrono::milliseconds(0));
    ~Table();
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    const std::string& Path() const { return path_; }
    // The file name without its extension: the table's name.
    std::string Name() const;
    const Header& GetHeader() const { return header_; }
    const std::vector<Column>& Columns() const { return header_.columns; }
    Variant GetVariant() const { return header_.variant; }
    CodePage GetCodePage() const { return header_.codePage; }
    uint32_t RecordCount() const { return header_.recordCount; }
    // The memo file, null when the table has no memo columns.
    const MemoFile* Memo() const { return memo_.get(); }
    bool Writable() const { return writable_; }
    // Visual FoxPro: the back link of a table whose database container is not in the folder
    // (the table then reads as a free table and refuses changes); empty otherwise.
    std::string MissingContainer() const;

    // Walks the records in file order. Values and views stay valid until the next call of Next. A
    // cursor made before a change goes on with the changed records and the new record count.
    class Cursor {
    public:
        explicit Cursor(const Table& table);
        // Moves to the next record; false after the last.
        bool Next();
        uint32_t RecordNumber() const { return current_; }  // from 1
        bool Deleted() const { return record_[0] == '*'; }
        std::string_view RawRecord() const { return {record_, table_->header_.recordLength}; }
        // The decoded field of column `index` (memo columns give the block number).
        Value Field(size_t index);
        // The field in the engine's stored representation, memo contents read.
        void Stored(size_t index, StoredValue& out);

    private:
        void Fill();

        const Table* table_;
        std::vector<char> buffer_;
        uint32_t bufferFirst_ = 0;  // record index (from 0) of the buffer's first record
        uint32_t bufferCount_ = 0;
        uint64_t generation_ = 0;  // of the table when the buffer was read
        uint32_t current_ = 0;
        const char* record_ = nullptr;
        std::vector<std::string> scratch_;
        std::string memoScratch_;
        std::string textScratch_;
    };
    Cursor Records() const { return Cursor(*this); }

    // Reads the memo a decoded Memo value refers to, as Windows-1252 text (converted from the
    // table's code page for text memos) or raw bytes (pictures, binary memos).
    void ReadMemo(const Column& column, const Value& value, uint32_t recordNumber,
                  std::string& out) const;
    // Reads every column of record `recordNumber` (from 1) in stored form.
    Record ReadRecord(uint32_t recordNumber) const;
    // Whether record `recordNumber` (from 1) is marked deleted.
    bool RecordDeleted(uint32_t recordNumber) const;

    // Takes the exclusive lock that a change holds, waiting up to the lock wait, for a caller that
    // must look at the files (for changes by another program) under that lock before it changes
    // them. While waiting, the shared lock is let go, so the files may change meanwhile. The next
    // Apply or ReplaceAll keeps the lock and ends with the shared lock again. Throws DbfLockedError
    // (the shared lock then held again when it can be) or DbfError for a read-only file.
    void LockForChange();

    // Applies one statement's changes all-or-nothing. Throws DbfError (values that do not fit,
    // record numbers out of range, a missing database container, I/O failures; the files are then
    // unchanged) or DbfLockedError.
    void Apply(const Changes& changes, const FaultHook& hook = {});
    // Replaces every record (and the memo file's contents) all-or-nothing.
    void ReplaceAll(const std::vector<Record>& records, const FaultHook& hook = {});

private:
    Table() = default;
    void Load();
    void LockShared();
    // Waits for the exclusive lock; `keepShared` holds the shared lock meanwhile.
    void LockExclusive(bool keepShared);
    bool TryExclusive(bool fromShared);
    void RefuseWithoutContainer() const;
    void FieldWhere(uint32_t recordNumber, const Column& column, std::string& where) const;
    std::string ReadRaw(uint32_t recordNumber) const;
    void Commit(std::vector<Patch>& patches, uint64_t newTableSize, uint64_t newMemoSize,
                const FaultHook& hook, const std::vector<JournalTarget>& indexes = {});
    // Adds to `patches` every index file of the table brought in step with `records` (the
    // table's records as the change leaves them): the entries of the records `changed` (ascending
    // numbers) replaced, or with `changed` null every tag made anew from all records. Each file is
    // locked through its entry of `fds` until the change ends; `targets` describes them for the
    // journal. Throws DbfError for an index file this library does not keep in step (nothing is
    // then locked or changed).
    void KeepIndexesInStep(const RecordSource& records, const std::vector<uint32_t>* changed,
                           std::vector<Patch>& patches, std::vector<Fd>& fds,
                           std::vector<JournalTarget>& targets);

    std::string path_;
    Fd fd_;
    uint64_t generation_ = 0;  // counts loads of the header: cursors reread their buffers after one
    bool writable_ = false;
    bool exclusive_ = false;
    std::chrono::milliseconds lockWait_{0};
    uint64_t size_ = 0;
    Header header_;
    std::string headerBytes_;
    FieldCodec codec_;
    std::unique_ptr<MemoFile> memo_;
};

// The back link of the Visual FoxPro table file `tablePath` when the database container it names
// is not in the folder; empty otherwise, and when the header cannot be read.
std::string MissingContainerOf(const std::string& tablePath);

// The first index file of the table file `tablePath` that changes cannot keep in step, with the
// reason in `why` ("which this program does not update", or what the index reader did not
// understand); empty when the table has none. Changes keep every index file of a table
// (IndexFilesOf) in step that the readers of Index.h understand (a .cdx for any table but a
// dBase IV one), rebuilding its tags within the journalled change.
std::string IndexNotKeptOf(const std::string& tablePath, std::string& why);

// Finds the memo file of a table file: the same name with ".dbt" (dBase) or ".fpt" (FoxPro),
// the extension in any case. Returns the path to use (the lower-case form when none exists).
std::string MemoPathFor(const std::string& tablePath, MemoFormat format);

}  // namespace kce::dbf
