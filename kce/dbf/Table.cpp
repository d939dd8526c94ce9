#include "kce/dbf/Table.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <optional>
#include <thread>

#include "kce/dbf/Bytes.h"
#include "kce/dbf/Cdx.h"
#include "kce/dbf/DbfError.h"
#include "kce/dbf/Folder.h"
#include "kce/dbf/Index.h"
#include "kce/dbf/Journal.h"

namespace kce::dbf {

namespace {

constexpr size_t kReadChunkBytes = 1 << 20;
constexpr char kEndOfFile = 0x1A;

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto x = static_cast<unsigned char>(a[i]);
        auto y = static_cast<unsigned char>(b[i]);
        if (std::tolower(x) != std::tolower(y)) return false;
    }
    return true;
}

bool SetOfdLock(int fd, short type) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 0;
    while (::fcntl(fd, F_OFD_SETLK, &lock) != 0) {
        if (errno != EINTR) return false;
    }
    return true;
}

constexpr std::chrono::milliseconds kFirstPause{2};
constexpr std::chrono::milliseconds kLongestPause{50};

// Sleeps for `pause`, cut short at `deadline`; false when the deadline has passed already.
bool PauseUntil(std::chrono::steady_clock::time_point deadline, std::chrono::milliseconds pause) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return false;
    std::this_thread::sleep_for(
        std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
    return true;
}

bool SetFlock(int fd, int operation) {
    while (::flock(fd, operation | LOCK_NB) != 0) {
        if (errno != EINTR) return false;
    }
    return true;
}

// Collects the memo data of one change, to be appended to the memo file from its next free block.
class MemoAppender : public MemoSink {
public:
    MemoAppender(const MemoFile* memo, MemoFormat format)
        : memo_(memo),
          format_(format),
          blockSize_(memo ? memo->BlockSize() : DefaultMemoBlockSize(format)),
          firstBlock_(memo ? memo->NextFreeBlock() : 1),
          nextBlock_(firstBlock_) {}

    uint64_t Append(std::string_view data, bool picture) override {
        uint64_t block = nextBlock_;
        std::string bytes =
            EncodeMemoBlock(format_, blockSize_, data, picture, memo_ ? memo_->Path() : "");
        bytes_ += bytes;
        nextBlock_ += bytes.size() / blockSize_;
        return block;
    }
    const std::string& Bytes() const { return bytes_; }
    uint64_t Offset() const { return firstBlock_ * blockSize_; }
    uint64_t NextBlock() const { return nextBlock_; }

private:
    const MemoFile* memo_;
    MemoFormat format_;
    uint32_t blockSize_;
    uint64_t firstBlock_;
    uint64_t nextBlock_;
    std::string bytes_;
};

// Restores the shared lock when a change ends, whichever way.
class SharedAgain {
public:
    explicit SharedAgain(std::function<void()> relock) : relock_(std::move(relock)) {}
    ~SharedAgain() {
        try {
            relock_();
        } catch (...) {
        }
    }

private:
    std::function<void()> relock_;
};

}  // namespace

std::string MemoPathFor(const std::string& tablePath, MemoFormat format) {
    std::string folder = FolderOf(tablePath);
    std::string name = FileNameOf(tablePath);
    size_t dot = name.find_last_of('.');
    std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
    bool upper = dot != std::string::npos && dot + 1 < name.size() &&
                 std::isupper(static_cast<unsigned char>(name[dot + 1]));
    std::string ext = format == MemoFormat::Fpt ? ".fpt" : ".dbt";
    if (upper) {
        for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    std::string wanted = stem + ext;
    std::string prefix = tablePath.find('/') == std::string::npos ? std::string() : folder + "/";
    if (FileExists(prefix + wanted)) return prefix + wanted;
    if (DIR* dir = ::opendir(folder.c_str())) {
        std::string found;
        while (dirent* entry = ::readdir(dir)) {
            if (EqualNoCase(entry->d_name, wanted)) {
                found = entry->d_name;
                break;
            }
        }
        ::closedir(dir);
        if (!found.empty()) return prefix + found;
    }
    return prefix + wanted;
}

namespace {

// The parsed header of the table file `tablePath`, read without locking it.
Header ReadHeaderOf(const std::string& tablePath) {
    Fd fd = OpenFile(tablePath, O_RDONLY | O_CLOEXEC);
    const uint64_t size = FileSize(fd.Get(), tablePath);
    char first[kTableDescriptorSize] = {};
    const size_t got = ReadAt(fd.Get(), 0, first, sizeof first, tablePath);
    const uint16_t headerLength = HeaderLengthFrom(std::string_view(first, got), size, tablePath);
    std::string bytes(headerLength, '\0');
    bytes.resize(ReadAt(fd.Get(), 0, bytes.data(), bytes.size(), tablePath));
    return ParseHeader(bytes, size, tablePath);
}

// Whether changes can keep `indexPath`, an index file of the table (IndexFilesOf), in step: an
// existing file of a format this library writes. Compound indexes are FoxPro's, and FoxPro 2
// writes a table without memo columns with the dBase III version byte, so any but a dBase IV table
// may have one; the other formats are taken for any table. `why` says why not.
bool IndexKeptInStep(const Header& header, const std::string& indexPath, std::string& why) {
    const std::optional<IndexFormat> format = IndexFormatOf(indexPath);
    if (!format || !FileExists(indexPath) ||
        (*format == IndexFormat::Cdx && header.variant == Variant::DBase4)) {
        why = "which this program does not update";
        return false;
    }
    return true;
}

// The first index file of the folder that names no table (UnclaimedIndexFilesOf) and may be kept
// by another program for the table of `header` at `tablePath`: one whose expressions all fit the
// table's fields, or one this library cannot read and so cannot tell; `why` says which. A file
// with an expression naming a field the table does not have belongs to another table. Empty when
// there is none.
std::string UnclaimedIndexOf(const Header& header, const std::string& tablePath, std::string& why) {
    for (const std::string& file : UnclaimedIndexFilesOf(tablePath)) {
        try {
            ReadIndex(file, header.columns, header.codePage);
            why =
                "which names no table of the folder and fits this table's fields, so another "
                "program may keep it for this table";
            return file;
        } catch (const DbfUnknownFieldError&) {
            continue;
        } catch (const DbfError& e) {
            why = "which names no table of the folder and which this program cannot read (" +
                  e.Detail() + "), so it cannot tell whether it belongs to this table";
            return file;
        }
    }
    return {};
}

// Refuses a change of the table when UnclaimedIndexOf finds an index file it may have.
void RefuseUnclaimedIndex(const Header& header, const std::string& tablePath) {
    std::string why;
    const std::string unclaimed = UnclaimedIndexOf(header, tablePath, why);
    if (!unclaimed.empty()) {
        throw DbfError(unclaimed, -1,
                       "an index file " + why + "; the table " + tablePath + " is not changed");
    }
}

// Takes an exclusive lock on an index file, waiting up to `wait` for another program's.
void LockIndex(int fd, const std::string& path, std::chrono::milliseconds wait) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (auto pause = kFirstPause;; pause = std::min(pause * 2, kLongestPause)) {
        if (SetOfdLock(fd, F_WRLCK)) {
            if (SetFlock(fd, LOCK_EX)) return;
            SetOfdLock(fd, F_UNLCK);
        }
        if (!PauseUntil(deadline, pause)) {
            throw DbfLockedError(
                path, -1,
                "another program has the index file locked; the table cannot be changed now");
        }
    }
}

}  // namespace

std::string MissingContainerOf(const std::string& tablePath) {
    try {
        const Header header = ReadHeaderOf(tablePath);
        if (header.containerLink.empty()) return {};
        return FileExists(ContainerPathOf(tablePath, header.containerLink)) ? std::string()
                                                                            : header.containerLink;
    } catch (const DbfError&) {
        return {};
    }
}

std::string IndexNotKeptOf(const std::string& tablePath, std::string& why) {
    const std::vector<std::string> files = IndexFilesOf(tablePath);
    Header header;
    try {
        header = ReadHeaderOf(tablePath);
    } catch (const DbfError&) {
        if (files.empty()) return {};
        why = "which this program does not update";
        return files.front();
    }
    for (const std::string& file : files) {
        if (!IndexKeptInStep(header, file, why)) return file;
        try {
            ReadIndex(file, header.columns, header.codePage);
        } catch (const DbfError& e) {
            why = "which this program cannot keep in step: " + e.Detail();
            return file;
        }
    }
    return UnclaimedIndexOf(header, tablePath, why);
}

std::unique_ptr<Table> Table::Open(const std::string& typedPath,
                                   std::chrono::milliseconds lockWait) {
    // "\" separates folders as "/" does in every path the program is given.
    const std::string path = NormalizeFolderPath(typedPath);
    std::unique_ptr<Table> t(new Table);
    t->path_ = path;
    if (!FileExists(path)) throw DbfError(path, -1, "table file does not exist");
    int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    t->writable_ = fd >= 0;
    if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM))
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw DbfError(path, -1,
                       std::string("cannot open the table file: ") + std::strerror(errno));
    t->fd_ = Fd(fd);
    t->lockWait_ = lockWait;
    t->LockShared();
    const std::string journal = JournalPathFor(path);
    if (FileExists(journal)) {
        if (!t->writable_) {
            throw DbfError(path, -1,
                           "an interrupted change left the journal " + journal +
                               " but the table file is read-only, so it cannot be recovered");
        }
        t->LockExclusive(true);
        SharedAgain relock([&t]() { t->LockShared(); });
        RecoverJournal(journal, path, t->fd_.Get());
    }
    t->Load();
    return t;
}

Table::~Table() = default;

std::string Table::Name() const {
    std::string name = FileNameOf(path_);
    size_t dot = name.find_last_of('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

void Table::LockShared() {
    const auto deadline = std::chrono::steady_clock::now() + lockWait_;
    for (auto pause = kFirstPause;; pause = std::min(pause * 2, kLongestPause)) {
        if (SetOfdLock(fd_.Get(), F_RDLCK) && SetFlock(fd_.Get(), LOCK_SH)) break;
        if (!PauseUntil(deadline, pause)) {
            throw DbfLockedError(path_, -1, "another program has the table locked for writing");
        }
    }
    exclusive_ = false;
}

bool Table::TryExclusive(bool fromShared) {
    if (!SetOfdLock(fd_.Get(), F_WRLCK)) return false;
    if (SetFlock(fd_.Get(), LOCK_EX)) return true;
    if (fromShared) {
        SetOfdLock(fd_.Get(), F_RDLCK);
        SetFlock(fd_.Get(), LOCK_SH);
    } else {
        SetOfdLock(fd_.Get(), F_UNLCK);
    }
    return false;
}

void Table::LockExclusive(bool keepShared) {
    if (!writable_) throw DbfError(path_, -1, "the table file is read-only");
    if (exclusive_) return;
    const auto deadline = std::chrono::steady_clock::now() + lockWait_;
    bool shared = true;
    for (auto pause = kFirstPause;; pause = std::min(pause * 2, kLongestPause)) {
        if (TryExclusive(shared)) break;
        if (!keepShared && shared) {
            // Two programs that both hold the shared lock and wait for the exclusive one would
            // wait for each other: let go of ours while waiting.
            SetOfdLock(fd_.Get(), F_UNLCK);
            SetFlock(fd_.Get(), LOCK_UN);
            shared = false;
        }
        if (!PauseUntil(deadline, pause)) {
            if (!shared) {
                SetOfdLock(fd_.Get(), F_RDLCK);
                SetFlock(fd_.Get(), LOCK_SH);
            }
            throw DbfLockedError(
                path_, -1,
                "another program has the table open and locked; it cannot be changed now");
        }
    }
    exclusive_ = true;
}

void Table::LockForChange() {
    LockExclusive(false);
}

std::string Table::MissingContainer() const {
    if (header_.containerLink.empty()) return {};
    return FileExists(ContainerPathOf(path_, header_.containerLink)) ? std::string()
                                                                     : header_.containerLink;
}

void Table::RefuseWithoutContainer() const {
    const std::string missing = MissingContainer();
    if (missing.empty()) return;
    throw DbfError(path_, -1,
                   "the table belongs to the database container " + missing +
                       ", which does not exist; its rules and triggers cannot be honoured, so the "
                       "table is not changed");
}

void Table::Load() {
    ++generation_;
    size_ = FileSize(fd_.Get(), path_);
    char first[kTableDescriptorSize] = {};
    size_t got = ReadAt(fd_.Get(), 0, first, sizeof first, path_);
    uint16_t headerLength = HeaderLengthFrom(std::string_view(first, got), size_, path_);
    headerBytes_.resize(headerLength);
    ReadAt(fd_.Get(), 0, headerBytes_.data(), headerLength, path_);
    header_ = ParseHeader(headerBytes_, size_, path_);
    codec_.variant = header_.variant;
    codec_.codePage = header_.codePage;
    codec_.nullFlagsOffset = header_.nullFlagsOffset;
    codec_.file = path_;
    if (header_.memoFormat == MemoFormat::None) {
        memo_.reset();
    } else if (memo_) {
        memo_->Reload();
    } else {
        memo_ = std::make_unique<MemoFile>(MemoPathFor(path_, header_.memoFormat),
                                           header_.memoFormat, writable_);
    }
}

std::string Table::ReadRaw(uint32_t recordNumber) const {
    if (recordNumber < 1 || recordNumber > header_.recordCount) {
        throw DbfError(path_, -1,
                       "record " + std::to_string(recordNumber) +
                           " does not exist (the table has " + std::to_string(header_.recordCount) +
                           " records)");
    }
    std::string raw(header_.recordLength, '\0');
    uint64_t offset = header_.RecordOffset(recordNumber - 1);
    if (ReadAt(fd_.Get(), offset, raw.data(), raw.size(), path_) != raw.size()) {
        throw DbfError(
            path_, static_cast<int64_t>(offset),
            "record " + std::to_string(recordNumber) + " lies beyond the end of the file");
    }
    return raw;
}

void Table::ReadMemo(const Column& column, const Value& value, uint32_t recordNumber,
                     std::string& out) const {
    out.clear();
    if (value.kind != ValueKind::Memo) return;
    std::string where = "record " + std::to_string(recordNumber) + ", field " + column.name;
    if (!memo_)
        throw DbfError(path_, -1, where + " refers to a memo but the table has no memo file");
    memo_->Read(static_cast<uint64_t>(value.integer), out, where);
    if (column.dbfType == 'M' && !column.binary && header_.codePage != CodePage::Windows1252) {
        for (char& c : out) c = TableToAnsiChar(header_.codePage, static_cast<unsigned char>(c));
    }
}

namespace {

void StoredOf(const Table& table, const Column& column, const Value& value, uint32_t recordNumber,
              std::string& memoScratch, StoredValue& out) {
    if (value.kind != ValueKind::Memo) {
        ToStored(value, out);
        return;
    }
    table.ReadMemo(column, value, recordNumber, memoScratch);
    if (column.engineType == 7) {
        out.kind = StoredValue::Kind::Blob;
        out.text = memoScratch;
    } else {
        out.kind = StoredValue::Kind::Text;
        out.text.clear();
        AnsiToUtf8(memoScratch, out.text);
    }
}

}  // namespace

Record Table::ReadRecord(uint32_t recordNumber) const {
    std::string raw = ReadRaw(recordNumber);
    Record record(header_.columns.size());
    std::string scratch;
    std::string memoScratch;
    for (size_t i = 0; i < header_.columns.size(); ++i) {
        const Column& c = header_.columns[i];
        Value v = DecodeField(codec_, c, raw.data(), scratch, recordNumber,
                              header_.RecordOffset(recordNumber - 1));
        StoredOf(*this, c, v, recordNumber, memoScratch, record[i]);
    }
    return record;
}

bool Table::RecordDeleted(uint32_t recordNumber) const {
    return ReadRaw(recordNumber)[0] == '*';
}

Table::Cursor::Cursor(const Table& table)
    : table_(&table), scratch_(table.header_.columns.size()) {}

void Table::Cursor::Fill() {
    const Header& h = table_->header_;
    const size_t perChunk = std::max<size_t>(1, kReadChunkBytes / h.recordLength);
    bufferFirst_ = current_ - 1;
    generation_ = table_->generation_;
    bufferCount_ =
        static_cast<uint32_t>(std::min<uint64_t>(perChunk, h.recordCount - bufferFirst_));
    const size_t bytes = static_cast<size_t>(bufferCount_) * h.recordLength;
    buffer_.resize(bytes);
    const uint64_t offset = h.RecordOffset(bufferFirst_);
    size_t got = ReadAt(table_->fd_.Get(), offset, buffer_.data(), bytes, table_->path_);
    if (got != bytes) {
        uint32_t record = bufferFirst_ + static_cast<uint32_t>(got / h.recordLength) + 1;
        throw DbfError(table_->path_, static_cast<int64_t>(offset + got),
                       "record " + std::to_string(record) +
                           " lies beyond the end of the file, which has shrunk");
    }
}

bool Table::Cursor::Next() {
    const Header& h = table_->header_;
    if (current_ >= h.recordCount) {
        current_ = h.recordCount + 1;
        record_ = nullptr;
        return false;
    }
    ++current_;
    if (current_ - 1 < bufferFirst_ || current_ - 1 >= bufferFirst_ + bufferCount_ ||
        generation_ != table_->generation_) {
        Fill();
    }
    record_ = buffer_.data() + static_cast<size_t>(current_ - 1 - bufferFirst_) * h.recordLength;
    if (record_[0] != ' ' && record_[0] != '*') {
        throw DbfError(table_->path_, static_cast<int64_t>(h.RecordOffset(current_ - 1)),
                       "record " + std::to_string(current_) + ": deletion flag " +
                           Hex2(static_cast<unsigned char>(record_[0])) +
                           " is neither a space nor '*'");
    }
    return true;
}

Value Table::Cursor::Field(size_t index) {
    const Header& h = table_->header_;
    return DecodeField(table_->codec_, h.columns.at(index), record_, scratch_[index], current_,
                       h.RecordOffset(current_ - 1));
}

void Table::Cursor::Stored(size_t index, StoredValue& out) {
    Value v = Field(index);
    StoredOf(*table_, table_->header_.columns[index], v, current_, memoScratch_, out);
}

void Table::Apply(const Changes& changes, const FaultHook& hook) {
    if (changes.updates.empty() && changes.deletions.empty() && changes.inserts.empty()) return;
    LockExclusive(true);
    SharedAgain relock([this]() { LockShared(); });
    // A change whose rollback failed earlier left its journal: play it back before anything else.
    RecoverJournal(JournalPathFor(path_), path_, fd_.Get());
    Load();
    RefuseWithoutContainer();
    RefuseUnclaimedIndex(header_, path_);
    const Header& h = header_;
    const size_t columns = h.columns.size();

    std::map<uint32_t, std::string> touched;  // record number → new bytes
    auto touch = [&](uint32_t number) -> std::string& {
        auto it = touched.find(number);
        if (it == touched.end()) it = touched.emplace(number, ReadRaw(number)).first;
        return it->second;
    };
    MemoAppender memo(memo_.get(), h.memoFormat);
    std::string scratch;
    std::string memoScratch;
    StoredValue old;

    for (const RecordUpdate& u : changes.updates) {
        if (u.values.size() != columns) {
            throw DbfError(path_, -1,
                           "update of record " + std::to_string(u.recordNumber) + " gives " +
                               std::to_string(u.values.size()) + " values for " +
                               std::to_string(columns) + " columns");
        }
        std::string& bytes = touch(u.recordNumber);
        const std::string before = bytes;
        const uint64_t offset = h.RecordOffset(u.recordNumber - 1);
        for (size_t i = 0; i < columns; ++i) {
            // A field whose value does not change keeps its bytes (and its memo block).
            Value v =
                DecodeField(codec_, h.columns[i], before.data(), scratch, u.recordNumber, offset);
            StoredOf(*this, h.columns[i], v, u.recordNumber, memoScratch, old);
            if (old == u.values[i]) continue;
            EncodeField(codec_, h.columns[i], u.values[i], bytes.data(), &memo, u.recordNumber,
                        offset);
        }
    }
    for (uint32_t number : changes.deletions) {
        if (number > h.recordCount) continue;  // an appended record, marked below
        touch(number)[0] = '*';
    }

    std::string appended;
    uint32_t newCount = h.recordCount;
    std::vector<Column> numbered = h.columns;  // their next numbers advance with the inserts
    for (const Record& values : changes.inserts) {
        if (values.size() != columns) {
            throw DbfError(path_, -1,
                           "inserted record gives " + std::to_string(values.size()) +
                               " values for " + std::to_string(columns) + " columns");
        }
        if (newCount == UINT32_MAX) throw DbfError(path_, 4, "the table cannot hold more records");
        ++newCount;
        std::string bytes(h.recordLength, '\0');
        bytes[0] = ' ';
        for (size_t i = 0; i < columns; ++i) {
            EncodeField(codec_, h.columns[i], NumberedValue(numbered[i], values[i]), bytes.data(),
                        &memo, newCount, h.RecordOffset(newCount - 1));
        }
        appended += bytes;
    }
    for (uint32_t number : changes.deletions) {
        if (number <= h.recordCount) continue;
        if (number > newCount) {
            throw DbfError(path_, -1,
                           "deletion of record " + std::to_string(number) +
                               ", which does not exist (the "
                               "table has " +
                               std::to_string(newCount) + " records with this change)");
        }
        appended[static_cast<size_t>(number - h.recordCount - 1) * h.recordLength] = '*';
    }

    std::vector<Patch> patches;
    Header advanced = h;
    advanced.columns = numbered;
    std::string stamp = headerBytes_;
    StampHeader(stamp, newCount);
    StampNextNumbers(advanced, stamp);
    patches.push_back({0, 0, stamp});
    for (const auto& [number, bytes] : touched)
        patches.push_back({0, h.RecordOffset(number - 1), bytes});
    uint64_t newTableSize = size_;
    if (!appended.empty()) {
        appended.push_back(kEndOfFile);
        patches.push_back({0, h.RecordOffset(h.recordCount), appended});
        newTableSize = std::max<uint64_t>(size_, h.RecordOffset(newCount) + 1);
    }
    uint64_t newMemoSize = memo_ ? memo_->Size() : 0;
    if (!memo.Bytes().empty()) {
        std::string head(8, '\0');
        ReadAt(memo_->Descriptor(), 0, head.data(), head.size(), memo_->Path());
        SetMemoNextFree(h.memoFormat, head, memo.NextBlock());
        patches.push_back({1, 0, head});
        patches.push_back({1, memo.Offset(), memo.Bytes()});
        newMemoSize = std::max<uint64_t>(newMemoSize, memo.Offset() + memo.Bytes().size());
    }
    std::vector<Fd> indexFds;
    std::vector<JournalTarget> indexes;
    if (!IndexFilesOf(path_).empty()) {
        // The records as the change leaves them, and those it changes or appends.
        std::string area(static_cast<size_t>(h.recordCount) * h.recordLength, '\0');
        if (ReadAt(fd_.Get(), h.headerLength, area.data(), area.size(), path_) != area.size()) {
            throw DbfError(path_, h.headerLength, "the records end before the record count says");
        }
        const std::string_view before(area);
        const std::string_view added(appended);
        const RecordSource records{
            newCount, [&](uint32_t number) -> std::string_view {
                if (number > h.recordCount)
                    return added.substr(size_t(number - 1 - h.recordCount) * h.recordLength,
                                        h.recordLength);
                auto it = touched.find(number);
                if (it != touched.end()) return it->second;
                return before.substr(size_t(number - 1) * h.recordLength, h.recordLength);
            }};
        std::vector<uint32_t> changed;
        changed.reserve(touched.size() + (newCount - h.recordCount));
        for (const auto& entry : touched) changed.push_back(entry.first);
        for (uint32_t r = h.recordCount + 1; r <= newCount; ++r) changed.push_back(r);
        KeepIndexesInStep(records, &changed, patches, indexFds, indexes);
    }
    Commit(patches, newTableSize, newMemoSize, hook, indexes);
}

void Table::KeepIndexesInStep(const RecordSource& records, const std::vector<uint32_t>* changed,
                              std::vector<Patch>& patches, std::vector<Fd>& fds,
                              std::vector<JournalTarget>& targets) {
    const std::vector<std::string> files = IndexFilesOf(path_);
    // Every index file is checked before any is locked, so that a file this library cannot keep
    // refuses the change without waiting for the others' locks.
    for (const std::string& path : files) {
        std::string why;
        if (!IndexKeptInStep(header_, path, why)) {
            throw DbfError(
                path, -1,
                "this program does not keep the index file in step; the table is not changed");
        }
    }

    for (const std::string& path : files) {
        Fd fd = OpenFile(path, O_RDWR | O_CLOEXEC);
        LockIndex(fd.Get(), path, lockWait_);
        std::string bytes(FileSize(fd.Get(), path), '\0');
        bytes.resize(ReadAt(fd.Get(), 0, bytes.data(), bytes.size(), path));
        IndexFile index =
            ParseIndex(*IndexFormatOf(path), bytes, path, header_.columns, header_.codePage);
        for (IndexTag& tag : index.tags) {
            if (changed != nullptr) {
                UpdateTagEntries(tag, *changed, records, header_.columns, header_.codePage, path);
            } else {
                tag.entries = TagEntries(tag, records, header_.columns, header_.codePage, path);
            }
        }
        std::string image = BuildIndex(index, path);
        JournalTarget target;
        target.path = path;
        target.fd = fd.Get();
        target.size = bytes.size();
        target.newSize = image.size();
        patches.push_back({2 + targets.size(), 0, std::move(image)});
        targets.push_back(target);
        fds.push_back(std::move(fd));
    }
}

void Table::ReplaceAll(const std::vector<Record>& records, const FaultHook& hook) {
    LockExclusive(true);
    SharedAgain relock([this]() { LockShared(); });
    // A change whose rollback failed earlier left its journal: play it back before anything else.
    RecoverJournal(JournalPathFor(path_), path_, fd_.Get());
    Load();
    RefuseWithoutContainer();
    RefuseUnclaimedIndex(header_, path_);
    const Header& h = header_;
    const size_t columns = h.columns.size();
    // A fresh memo file: the old memos are dropped with the records that referred to them.
    const uint32_t blockSize = memo_ ? memo_->BlockSize() : DefaultMemoBlockSize(h.memoFormat);
    class FreshMemo : public MemoSink {
    public:
        FreshMemo(MemoFormat format, uint32_t blockSize, std::string path)
            : format_(format), blockSize_(blockSize), path_(std::move(path)) {
            next_ = (kMemoHeaderSize + blockSize_ - 1) / blockSize_;
            bytes_.assign(next_ * blockSize_, '\0');
        }
        uint64_t Append(std::string_view data, bool picture) override {
            uint64_t block = next_;
            std::string b = EncodeMemoBlock(format_, blockSize_, data, picture, path_);
            bytes_ += b;
            next_ += b.size() / blockSize_;
            return block;
        }
        std::string Image() {
            std::string header = EncodeMemoHeader(format_, blockSize_, next_);
            bytes_.replace(0, header.size(), header);
            return bytes_;
        }

    private:
        MemoFormat format_;
        uint32_t blockSize_;
        std::string path_;
        uint64_t next_ = 1;
        std::string bytes_;
    };
    FreshMemo memo(h.memoFormat, blockSize, memo_ ? memo_->Path() : std::string());

    if (records.size() > UINT32_MAX) throw DbfError(path_, 4, "too many records");
    std::string image = headerBytes_;
    StampHeader(image, static_cast<uint32_t>(records.size()));
    std::vector<Column> numbered = h.columns;
    image.reserve(h.headerLength + records.size() * h.recordLength + 1);
    std::string bytes(h.recordLength, '\0');
    for (size_t r = 0; r < records.size(); ++r) {
        const Record& values = records[r];
        const auto number = static_cast<uint32_t>(r + 1);
        if (values.size() != columns) {
            throw DbfError(path_, -1,
                           "record " + std::to_string(number) + " gives " +
                               std::to_string(values.size()) + " values for " +
                               std::to_string(columns) + " columns");
        }
        std::fill(bytes.begin(), bytes.end(), '\0');
        bytes[0] = ' ';
        for (size_t i = 0; i < columns; ++i) {
            EncodeField(codec_, h.columns[i], NumberedValue(numbered[i], values[i]), bytes.data(),
                        &memo, number, h.RecordOffset(number - 1));
        }
        image += bytes;
    }
    Header advanced = h;
    advanced.columns = numbered;
    StampNextNumbers(advanced, image);
    image.push_back(kEndOfFile);
    std::vector<Patch> patches;
    const uint64_t tableSize = image.size();
    patches.push_back({0, 0, std::move(image)});
    uint64_t memoSize = 0;
    if (memo_) {
        std::string memoImage = memo.Image();
        memoSize = memoImage.size();
        patches.push_back({1, 0, std::move(memoImage)});
    }
    std::vector<Fd> indexFds;
    std::vector<JournalTarget> indexes;
    if (!IndexFilesOf(path_).empty()) {
        // A copy: the index files' patches are added to `patches` while the records are read.
        const std::string written = patches.front().bytes;
        const RecordSource raw{
            static_cast<uint32_t>(records.size()), [&](uint32_t number) -> std::string_view {
                return std::string_view(written).substr(h.RecordOffset(number - 1), h.recordLength);
            }};
        KeepIndexesInStep(raw, nullptr, patches, indexFds, indexes);
    }
    Commit(patches, tableSize, memoSize, hook, indexes);
}

void Table::Commit(std::vector<Patch>& patches, uint64_t newTableSize, uint64_t newMemoSize,
                   const FaultHook& hook, const std::vector<JournalTarget>& indexes) {
    std::vector<JournalTarget> files(2);
    files.insert(files.end(), indexes.begin(), indexes.end());
    files[0].path = path_;
    files[0].fd = fd_.Get();
    files[0].size = size_;
    files[0].newSize = newTableSize;
    if (memo_) {
        files[1].path = memo_->Path();
        files[1].fd = memo_->Descriptor();
        files[1].size = memo_->Size();
        files[1].newSize = newMemoSize;
    }
    try {
        CommitWithJournal(JournalPathFor(path_), files, patches, hook);
    } catch (...) {
        // The files are as before (or the journal will make them so at the next open); reread
        // what is there now so that this object stays usable.
        try {
            Load();
        } catch (...) {
        }
        throw;
    }
    Load();
}

}  // namespace kce::dbf
