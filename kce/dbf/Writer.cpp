#include "kce/dbf/Writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>

#include "kce/dbf/DbfError.h"
#include "kce/dbf/Folder.h"
#include "kce/dbf/Memo.h"
#include "kce/dbf/Table.h"
#include "kce/dbf/Values.h"

namespace kce::dbf {

namespace {

constexpr size_t kFlushBytes = 1 << 20;
constexpr char kEndOfFile = 0x1A;
const char kCreating[] = ".creating";

void Rename(const std::string& from, const std::string& to) {
    if (::rename(from.c_str(), to.c_str()) != 0) {
        throw DbfError(to, -1,
                       "cannot put the new file in place: " + std::string(std::strerror(errno)));
    }
}

}  // namespace

class TableCreator::MemoWriter : public MemoSink {
public:
    MemoWriter(std::string path, MemoFormat format)
        : path_(std::move(path)), format_(format), blockSize_(DefaultMemoBlockSize(format)) {
        fd_ = OpenFile(path_, O_RDWR | O_CREAT | O_TRUNC, 0644);
        next_ = (kMemoHeaderSize + blockSize_ - 1) / blockSize_;
        buffer_.assign(next_ * blockSize_, '\0');
    }
    uint64_t Append(std::string_view data, bool picture) override {
        uint64_t block = next_;
        std::string bytes = EncodeMemoBlock(format_, blockSize_, data, picture, path_);
        buffer_ += bytes;
        next_ += bytes.size() / blockSize_;
        if (buffer_.size() >= kFlushBytes) Flush();
        return block;
    }
    void Flush() {
        WriteAt(fd_.Get(), written_, buffer_, path_);
        written_ += buffer_.size();
        buffer_.clear();
    }
    void Finish() {
        Flush();
        WriteAt(fd_.Get(), 0, EncodeMemoHeader(format_, blockSize_, next_), path_);
        Sync(fd_.Get(), path_);
    }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    MemoFormat format_;
    uint32_t blockSize_;
    Fd fd_;
    uint64_t next_ = 1;
    uint64_t written_ = 0;
    std::string buffer_;
};

TableCreator::TableCreator(std::string path, const TableLayout& layout) : path_(std::move(path)) {
    header_ = LayoutFor(layout, path_);
    // Table names compare without regard to case, so "T.DBF" beside a new "t.dbf" would make
    // both unreachable.
    const std::string name = FileNameOf(path_);
    std::string extension = name.size() > 4 ? name.substr(name.size() - 4) : std::string();
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const bool isDbf = extension == ".dbf";
    if (FileExists(path_) || (isDbf && FindTable(FolderOf(path_), name))) {
        throw DbfError(path_, -1, "a table file of that name already exists");
    }
    codec_.variant = header_.variant;
    codec_.codePage = header_.codePage;
    codec_.nullFlagsOffset = header_.nullFlagsOffset;
    codec_.file = path_;
    table_ = OpenFile(path_ + kCreating, O_RDWR | O_CREAT | O_TRUNC, 0644);
    if (header_.memoFormat != MemoFormat::None) {
        memoPath_ = MemoPathFor(path_, header_.memoFormat);
        memo_ = std::make_unique<MemoWriter>(memoPath_ + kCreating, header_.memoFormat);
    }
    buffer_ = EncodeHeader(header_, 0);
    record_.assign(header_.recordLength, '\0');
}

TableCreator::~TableCreator() {
    if (finished_) return;
    ::unlink((path_ + kCreating).c_str());
    if (memo_) ::unlink((memoPath_ + kCreating).c_str());
}

void TableCreator::Add(const Record& values, bool deleted) {
    if (values.size() != header_.columns.size()) {
        throw DbfError(path_, -1,
                       "record " + std::to_string(count_ + 1) + " gives " +
                           std::to_string(values.size()) + " values for " +
                           std::to_string(header_.columns.size()) + " columns");
    }
    if (count_ == UINT32_MAX) throw DbfError(path_, 4, "the table cannot hold more records");
    std::fill(record_.begin(), record_.end(), '\0');
    record_[0] = deleted ? '*' : ' ';
    const uint32_t number = count_ + 1;
    for (size_t i = 0; i < values.size(); ++i) {
        EncodeField(codec_, header_.columns[i], NumberedValue(header_.columns[i], values[i]),
                    record_.data(), memo_.get(), number, header_.RecordOffset(count_));
    }
    buffer_ += record_;
    ++count_;
    if (buffer_.size() >= kFlushBytes) Flush();
}

void TableCreator::Flush() {
    WriteAt(table_.Get(), written_, buffer_, path_ + kCreating);
    written_ += buffer_.size();
    buffer_.clear();
}

void TableCreator::Finish() {
    buffer_.push_back(kEndOfFile);
    Flush();
    const std::string temp = path_ + kCreating;
    WriteAt(table_.Get(), 0, EncodeHeader(header_, count_), temp);
    Sync(table_.Get(), temp);
    if (memo_) {
        memo_->Finish();
        Rename(memo_->Path(), memoPath_);
    }
    if (FileExists(path_))
        throw DbfError(path_, -1, "a table file of that name appeared while this one was written");
    Rename(temp, path_);
    SyncFolderOf(path_);
    finished_ = true;
}

void CreateTable(const std::string& path, const TableLayout& layout,
                 const std::vector<Record>& records) {
    TableCreator creator(path, layout);
    for (const Record& r : records) creator.Add(r);
    creator.Finish();
}

}  // namespace kce::dbf
