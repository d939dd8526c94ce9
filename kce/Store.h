#pragma once
// Append-only storage of a static result: kept in memory up to a limit, then in an unlinked
// temporary file, so a result larger than memory stays bounded. One thread may append while one
// other thread reads what has been made readable (a cursor filled in the background); apart from
// that, a store is used by one thread at a time.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
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

// Memory of one chunk of records, mapped on its own.
struct ChunkUnmap {
    size_t size;
    void operator()(uint8_t* memory) const;
};
using ChunkMemory = std::unique_ptr<uint8_t[], ChunkUnmap>;

// Fixed-length records in chunks of equal size; full chunks past the memory limit go to a file.
// Records become readable a chunk at a time, once the chunk is full (and written out when it goes
// to the file), all of them at Finish, and those of a chunk in memory also when Publish says so.
class RecordStore {
public:
    RecordStore(uint32_t recordLength, uint64_t memoryLimit);
    // Space for the next record (recordLength bytes), valid until the next call.
    uint8_t* Append();
    // Writes the last chunk out if needed and makes every record readable; call once after the
    // last Append.
    void Finish();
    // Records appended so far: for the appending thread.
    uint32_t Count() const { return count_; }
    // Records another thread may read.
    uint32_t Readable() const { return readable_.load(std::memory_order_seq_cst); }
    // Records in a chunk.
    uint32_t PerChunk() const { return perChunk_; }
    // Whether the chunk being filled is in memory: then Publish makes every record appended so
    // far readable (a chunk that goes to the file is readable only once written out).
    bool TailInMemory() const { return count_ > 0 && chunks_[(count_ - 1) / perChunk_]; }
    void Publish() { readable_.store(count_, std::memory_order_seq_cst); }
    // The record with 0-based index (below Readable()), valid until the next call.
    const uint8_t* Get(uint32_t index);
    bool Spilled() const { return file_ != nullptr; }

private:
    uint32_t recordLength_;
    uint32_t perChunk_;
    uint64_t memoryLimit_;
    uint32_t count_ = 0;
    std::vector<ChunkMemory> chunks_;  // in memory; null for chunks in the file
    std::unique_ptr<TempFile> file_;
    uint32_t firstFileChunk_ = 0;
    std::unique_ptr<uint8_t[]> window_;  // the chunk being filled when it goes to the file
    int64_t windowChunk_ = -1;
    bool windowDirty_ = false;
    std::atomic<uint32_t> readable_ = 0;
    std::mutex chunksLock_;  // chunks_ grows while the reader looks chunks up
    // The reader's side: the chunk it read last and where its records are.
    std::unique_ptr<uint8_t[]> readWindow_;  // a chunk read back from the file
    int64_t readChunk_ = -1;
    const uint8_t* readBase_ = nullptr;
};

// Variable-length contents (memos, binaries) appended one after the other; a content may be read
// while later ones are appended.
class ByteStore {
public:
    explicit ByteStore(uint64_t memoryLimit) : memoryLimit_(memoryLimit) {}
    uint64_t Append(const void* data, size_t size);  // returns the content's offset
    void Read(uint64_t offset, void* data, size_t size) const;
    uint64_t Size() const;

private:
    uint64_t memoryLimit_;
    mutable std::mutex lock_;
    uint64_t size_ = 0;
    std::vector<uint8_t> memory_;
    std::unique_ptr<TempFile> file_;  // bytes from memory_.size() on
};

}  // namespace kce
