#pragma once
// Append-only storage of a static result: kept in memory up to a limit, then in an unlinked
// temporary file, so a result larger than memory stays bounded. Not thread-safe: a cursor is used
// by one thread at a time.

#include <cstdint>
#include <memory>
#include <vector>

namespace kce {

// The memory limit for new stores: KCE_RESULT_MEMORY bytes when set, else 64 MiB.
uint64_t ResultMemoryLimit();

// An unlinked temporary file (in TMPDIR, else /tmp), closed on destruction.
class TempFile {
public:
    TempFile();
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    void Write(uint64_t offset, const void* data, size_t size);
    void Read(uint64_t offset, void* data, size_t size) const;

private:
    int fd_;
};

// Fixed-length records in chunks of equal size; full chunks past the memory limit go to a file.
class RecordStore {
public:
    RecordStore(uint32_t recordLength, uint64_t memoryLimit);
    // Space for the next record (recordLength bytes), valid until the next call.
    uint8_t* Append();
    // Writes the last chunk out if needed; call once after the last Append.
    void Finish();
    uint32_t Count() const { return count_; }
    // The record with 0-based index, valid until the next call.
    const uint8_t* Get(uint32_t index);
    bool Spilled() const { return file_ != nullptr; }

private:
    uint32_t recordLength_;
    uint32_t perChunk_;
    uint64_t memoryLimit_;
    uint32_t count_ = 0;
    std::vector<std::unique_ptr<uint8_t[]>> chunks_;  // in memory; null for chunks in the file
    std::unique_ptr<TempFile> file_;
    uint32_t firstFileChunk_ = 0;
    std::unique_ptr<uint8_t[]> window_;  // the chunk being filled or read back from the file
    int64_t windowChunk_ = -1;
    bool windowDirty_ = false;
};

// Variable-length contents (memos, binaries) appended one after the other.
class ByteStore {
public:
    explicit ByteStore(uint64_t memoryLimit) : memoryLimit_(memoryLimit) {}
    uint64_t Append(const void* data, size_t size);  // returns the content's offset
    void Read(uint64_t offset, void* data, size_t size) const;
    uint64_t Size() const { return size_; }

private:
    uint64_t memoryLimit_;
    uint64_t size_ = 0;
    std::vector<uint8_t> memory_;
    std::unique_ptr<TempFile> file_;  // bytes from memory_.size() on
};

}  // namespace kce
