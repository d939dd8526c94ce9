#include "kce/Store.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "kce/Error.h"
#include "kce/kce.h"

namespace kce {
namespace {

constexpr uint64_t kDefaultMemoryLimit = 64ull << 20;
// A chunk is one huge page of the system, so that a large result costs a page fault per chunk
// rather than one per 4 KiB page (in a virtual machine each fault is expensive).
constexpr uint32_t kChunkBytes = 2u << 20;

// Memory for a chunk of `bytes`, in whole huge pages at a huge-page boundary. The first chunk of
// a store keeps small pages, so that a small result holds only the pages it touches.
ChunkMemory NewChunk(size_t bytes, bool huge) {
    const size_t size = (bytes + kChunkBytes - 1) / kChunkBytes * kChunkBytes;
    void* mapped = ::mmap(nullptr, size + kChunkBytes, PROT_READ | PROT_WRITE,
                          MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) throw std::bad_alloc();
    auto* start = static_cast<uint8_t*>(mapped);
    const uintptr_t address = reinterpret_cast<uintptr_t>(start);
    auto* aligned =
        reinterpret_cast<uint8_t*>((address + kChunkBytes - 1) & ~uintptr_t(kChunkBytes - 1));
    if (aligned > start) ::munmap(start, static_cast<size_t>(aligned - start));
    uint8_t* end = start + size + kChunkBytes;
    if (end > aligned + size) ::munmap(aligned + size, static_cast<size_t>(end - (aligned + size)));
#ifdef MADV_HUGEPAGE
    if (huge) ::madvise(aligned, size, MADV_HUGEPAGE);
#endif
    return ChunkMemory(aligned, ChunkUnmap{size});
}

}  // namespace

void ChunkUnmap::operator()(uint8_t* memory) const {
    ::munmap(memory, size);
}

uint64_t ResultMemoryLimit() {
    const char* text = std::getenv("KCE_RESULT_MEMORY");
    if (text == nullptr || *text == '\0') return kDefaultMemoryLimit;
    char* end = nullptr;
    unsigned long long value = std::strtoull(text, &end, 10);
    return end != nullptr && *end == '\0' ? value : kDefaultMemoryLimit;
}

TempFile::TempFile() {
    const char* dir = std::getenv("TMPDIR");
    std::string pattern = std::string(dir && *dir ? dir : "/tmp") + "/kce-result-XXXXXX";
    fd_ = ::mkstemp(pattern.data());
    if (fd_ < 0)
        Fail(KDB_ERR_OUT_OF_MEMORY,
             "No temporary file for a large result: " + std::string(std::strerror(errno)));
    ::unlink(pattern.c_str());
}

TempFile::~TempFile() {
    ::close(fd_);
}

void TempFile::Write(uint64_t offset, const void* data, size_t size) {
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::pwrite(fd_, p, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0)
            Fail(KDB_ERR_OUT_OF_MEMORY,
                 "Writing the temporary result file failed: " + std::string(std::strerror(errno)));
        p += n;
        offset += static_cast<uint64_t>(n);
        size -= static_cast<size_t>(n);
    }
}

void TempFile::Read(uint64_t offset, void* data, size_t size) const {
    auto* p = static_cast<char*>(data);
    while (size > 0) {
        ssize_t n = ::pread(fd_, p, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) Fail(KDB_ERR_STORAGE, "Reading the temporary result file failed.");
        p += n;
        offset += static_cast<uint64_t>(n);
        size -= static_cast<size_t>(n);
    }
}

RecordStore::RecordStore(uint32_t recordLength, uint64_t memoryLimit)
    : recordLength_(std::max<uint32_t>(recordLength, 1)),
      perChunk_(std::max<uint32_t>(1, kChunkBytes / std::max<uint32_t>(recordLength, 1))),
      memoryLimit_(memoryLimit) {}

uint8_t* RecordStore::Append() {
    uint32_t chunk = count_ / perChunk_;
    uint32_t slot = count_ % perChunk_;
    uint64_t chunkBytes = uint64_t(perChunk_) * recordLength_;
    if (slot == 0) {
        if (windowDirty_) {
            file_->Write(uint64_t(windowChunk_ - firstFileChunk_) * chunkBytes, window_.get(),
                         chunkBytes);
            windowDirty_ = false;
        }
        // Every chunk before this one is full and where the reader looks for it.
        readable_.store(count_, std::memory_order_seq_cst);
        if (file_ == nullptr && uint64_t(chunks_.size() + 1) * chunkBytes > memoryLimit_ &&
            !chunks_.empty()) {
            file_ = std::make_unique<TempFile>();
            firstFileChunk_ = chunk;
        }
        std::lock_guard lock(chunksLock_);
        if (file_ == nullptr) {
            chunks_.push_back(NewChunk(chunkBytes, !chunks_.empty()));
        } else {
            chunks_.push_back(nullptr);
            if (!window_) window_ = std::make_unique_for_overwrite<uint8_t[]>(chunkBytes);
            windowChunk_ = chunk;
            windowDirty_ = true;
        }
    }
    ++count_;
    uint8_t* base = chunks_[chunk] ? chunks_[chunk].get() : window_.get();
    return base + uint64_t(slot) * recordLength_;
}

void RecordStore::Finish() {
    if (windowDirty_) {
        uint64_t chunkBytes = uint64_t(perChunk_) * recordLength_;
        uint32_t used = count_ - uint32_t(windowChunk_) * perChunk_;
        file_->Write(uint64_t(windowChunk_ - firstFileChunk_) * chunkBytes, window_.get(),
                     uint64_t(used) * recordLength_);
        windowDirty_ = false;
    }
    readable_.store(count_, std::memory_order_seq_cst);
}

const uint8_t* RecordStore::Get(uint32_t index) {
    uint32_t chunk = index / perChunk_;
    uint32_t slot = index % perChunk_;
    if (readChunk_ != int64_t(chunk)) {
        uint8_t* memory = nullptr;
        {
            std::lock_guard lock(chunksLock_);
            memory = chunks_[chunk].get();
        }
        if (memory == nullptr) {
            // A chunk in the file: read back into the reader's own window, so the appending
            // thread's window is never touched.
            uint64_t chunkBytes = uint64_t(perChunk_) * recordLength_;
            if (!readWindow_) readWindow_ = std::make_unique_for_overwrite<uint8_t[]>(chunkBytes);
            uint32_t records = std::min(perChunk_, Readable() - chunk * perChunk_);
            file_->Read(uint64_t(chunk - firstFileChunk_) * chunkBytes, readWindow_.get(),
                        uint64_t(records) * recordLength_);
            memory = readWindow_.get();
        }
        readChunk_ = chunk;
        readBase_ = memory;
    }
    return readBase_ + uint64_t(slot) * recordLength_;
}

uint64_t ByteStore::Append(const void* data, size_t size) {
    std::lock_guard lock(lock_);
    uint64_t offset = size_;
    if (size == 0) return offset;
    if (file_ == nullptr && memory_.size() + size > memoryLimit_ && !memory_.empty()) {
        file_ = std::make_unique<TempFile>();
    }
    if (file_ == nullptr) {
        const auto* p = static_cast<const uint8_t*>(data);
        memory_.insert(memory_.end(), p, p + size);
    } else {
        file_->Write(size_ - memory_.size(), data, size);
    }
    size_ += size;
    return offset;
}

uint64_t ByteStore::Size() const {
    std::lock_guard lock(lock_);
    return size_;
}

void ByteStore::Read(uint64_t offset, void* data, size_t size) const {
    std::lock_guard lock(lock_);
    auto* p = static_cast<uint8_t*>(data);
    if (offset < memory_.size()) {
        size_t n = static_cast<size_t>(std::min<uint64_t>(size, memory_.size() - offset));
        std::memcpy(p, memory_.data() + offset, n);
        p += n;
        offset += n;
        size -= n;
    }
    if (size > 0) file_->Read(offset - memory_.size(), p, size);
}

}  // namespace kce
