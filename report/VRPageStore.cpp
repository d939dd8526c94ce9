#include "report/VRPageStore.h"

#include <QDir>
#include <QIODevice>
#include <QMutexLocker>
#include <cstring>

#include "common/Exceptions.h"
#include "common/Text.h"

namespace parvell {

namespace {

// Every record: page number, end offset, the data, start offset (4 bytes each around the data).
constexpr int64_t kRecordOverhead = 12;

void PutU32(char* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

}  // namespace

TVRPageStore::TVRPageStore(int64_t memoryLimit) : memoryLimit_(memoryLimit) {}

TVRPageStore::~TVRPageStore() = default;

void TVRPageStore::Append(const QByteArray& pictureData) {
    QMutexLocker guard(&lock_);
    const int64_t start = total_;
    const int64_t length = kRecordOverhead + pictureData.size();
    const int64_t fileStart = kPageFileHeaderSize + start;
    if (fileStart + length > INT64_C(0xFFFFFFFF)) {
        throw Exception("The report has too many pages to be stored");
    }
    QByteArray record(static_cast<qsizetype>(length), '\0');
    PutU32(record.data(), static_cast<uint32_t>(starts_.size() + 1));
    PutU32(record.data() + 4, static_cast<uint32_t>(fileStart + length));
    std::memcpy(record.data() + 8, pictureData.constData(),
                static_cast<size_t>(pictureData.size()));
    PutU32(record.data() + length - 4, static_cast<uint32_t>(fileStart));

    if (!file_ && memory_.size() + length > memoryLimit_) MoveToFile();
    if (file_) {
        if (!file_->seek(start) || file_->write(record) != record.size()) {
            throw Exception(FormatMessage("Cannot write the report's page file %s",
                                          {file_->fileName().toStdString()}));
        }
    } else {
        memory_.append(record);
    }
    starts_.push_back(start);
    total_ += length;
}

void TVRPageStore::MoveToFile() {
    auto file = std::make_unique<QTemporaryFile>(QDir::tempPath() +
                                                 QStringLiteral("/parvell-pages-XXXXXX"));
    if (!file->open() || file->write(memory_) != memory_.size()) {
        throw Exception(FormatMessage("Cannot write the report's page file %s",
                                      {file->fileName().toStdString()}));
    }
    file_ = std::move(file);
    memory_ = QByteArray();
}

int TVRPageStore::Count() const {
    QMutexLocker guard(&lock_);
    return static_cast<int>(starts_.size());
}

QByteArray TVRPageStore::ReadRange(int64_t offset, int64_t length) const {
    if (!file_) return memory_.mid(static_cast<qsizetype>(offset), static_cast<qsizetype>(length));
    QByteArray data;
    if (file_->seek(offset)) data = file_->read(length);
    if (data.size() != length) {
        throw Exception(FormatMessage("Cannot read the report's page file %s",
                                      {file_->fileName().toStdString()}));
    }
    return data;
}

QByteArray TVRPageStore::Page(int pageNumber) const {
    QMutexLocker guard(&lock_);
    if (pageNumber < 1 || pageNumber > static_cast<int>(starts_.size()))
        throw EListError(pageNumber);
    const size_t index = static_cast<size_t>(pageNumber - 1);
    const int64_t start = starts_[index];
    const int64_t end = index + 1 < starts_.size() ? starts_[index + 1] : total_;
    return ReadRange(start + 8, end - start - kRecordOverhead);
}

void TVRPageStore::WriteRecords(QIODevice& out) const {
    QMutexLocker guard(&lock_);
    constexpr int64_t kChunk = 1 << 20;
    for (int64_t offset = 0; offset < total_; offset += kChunk) {
        const QByteArray chunk = ReadRange(offset, std::min(kChunk, total_ - offset));
        if (out.write(chunk) != chunk.size()) throw Exception("Cannot write the report pages");
    }
}

int64_t TVRPageStore::MemoryBytes() const {
    QMutexLocker guard(&lock_);
    return memory_.size();
}

int64_t TVRPageStore::TotalBytes() const {
    QMutexLocker guard(&lock_);
    return total_;
}

bool TVRPageStore::InFile() const {
    QMutexLocker guard(&lock_);
    return file_ != nullptr;
}

}  // namespace parvell
