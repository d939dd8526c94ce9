#pragma once
// The finished pages of one report run, in page order, each the data of one QPicture recording.
// The store holds the page records exactly as a page file holds them after its header (see
// VRPageFile.md), so saving writes the header and then these bytes unchanged. Records stay in
// memory until their total passes the memory limit; from then on the whole store lives in a
// temporary file that is removed with the store, so memory stays bounded whatever the page count.

#include <QByteArray>
#include <QMutex>
#include <QTemporaryFile>
#include <cstdint>
#include <memory>
#include <vector>

class QIODevice;

namespace parvell {

// The size of the page file header the store's offsets are counted from.
inline constexpr int64_t kPageFileHeaderSize = 128;
// Default memory limit of a page store, in bytes.
inline constexpr int64_t kDefaultPageMemoryLimit = 250000;

class TVRPageStore {
public:
    explicit TVRPageStore(int64_t memoryLimit = kDefaultPageMemoryLimit);
    ~TVRPageStore();
    TVRPageStore(const TVRPageStore&) = delete;
    TVRPageStore& operator=(const TVRPageStore&) = delete;

    // Appends the next page (its number is Count() + 1). Raises Exception when the temporary
    // file cannot be written.
    void Append(const QByteArray& pictureData);
    int Count() const;
    // The picture data of page 1 .. Count(); raises EListError for another number.
    QByteArray Page(int pageNumber) const;

    // Writes every record, in order, to out (positioned just after a page file header).
    void WriteRecords(QIODevice& out) const;

    int64_t MemoryLimit() const { return memoryLimit_; }
    // Bytes of page records held in memory (0 once the store has moved to its file).
    int64_t MemoryBytes() const;
    // Bytes of all page records.
    int64_t TotalBytes() const;
    bool InFile() const;

private:
    void MoveToFile();
    QByteArray ReadRange(int64_t offset, int64_t length) const;

    mutable QMutex lock_;
    int64_t memoryLimit_;
    QByteArray memory_;                     // the records while in memory
    std::unique_ptr<QTemporaryFile> file_;  // the records after the move
    int64_t total_ = 0;
    // Per page: start of its record within the store (add the header size for file offsets).
    std::vector<int64_t> starts_;
};

}  // namespace parvell
