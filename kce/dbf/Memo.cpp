#include "kce/dbf/Memo.h"

#include <fcntl.h>

#include <algorithm>
#include <cstring>

#include "kce/dbf/Bytes.h"
#include "kce/dbf/DbfError.h"

namespace kce::dbf {

namespace {

constexpr char kDbase3End = 0x1A;
constexpr uint32_t kDbase4Signature = 0x0008FFFF;  // FF FF 08 00 read little-endian
constexpr size_t kBlockHeaderSize = 8;

}  // namespace

MemoFile::MemoFile(std::string path, MemoFormat format, bool writable)
    : path_(std::move(path)), format_(format) {
    if (!FileExists(path_)) throw DbfError(path_, -1, "memo file is missing");
    fd_ = OpenFile(path_, writable ? O_RDWR : O_RDONLY);
    Reload();
}

void MemoFile::Reload() {
    size_ = FileSize(fd_.Get(), path_);
    if (size_ < kMemoHeaderSize) {
        throw DbfError(path_, 0,
                       "memo file of " + std::to_string(size_) + " bytes is shorter than its " +
                           std::to_string(kMemoHeaderSize) + "-byte header");
    }
    char header[kMemoHeaderSize];
    ReadAt(fd_.Get(), 0, header, sizeof header, path_);
    switch (format_) {
        case MemoFormat::DBase3:
            blockSize_ = 512;
            nextFree_ = GetLe32(header);
            break;
        case MemoFormat::DBase4:
            nextFree_ = GetLe32(header);
            blockSize_ = GetLe16(header + 20);
            if (blockSize_ == 0) blockSize_ = 512;
            break;
        case MemoFormat::Fpt:
            nextFree_ = GetBe32(header);
            blockSize_ = GetBe16(header + 6);
            if (blockSize_ == 0) throw DbfError(path_, 6, "memo block size is 0");
            break;
        case MemoFormat::None:
            break;
    }
}

uint64_t MemoFile::NextFreeBlock() const {
    // Never hand out a block that lies inside the header or below the current end of the file,
    // whatever the stored pointer says.
    uint64_t atEnd = (size_ + blockSize_ - 1) / blockSize_;
    uint64_t afterHeader = (kMemoHeaderSize + blockSize_ - 1) / blockSize_;
    return std::max({nextFree_, atEnd, afterHeader});
}

void MemoFile::Read(uint64_t block, std::string& out, const std::string& where) const {
    out.clear();
    const uint64_t offset = block * blockSize_;
    const auto at = static_cast<int64_t>(offset);
    if (offset < kMemoHeaderSize) {
        throw DbfError(path_, at,
                       where + " refers to memo block " + std::to_string(block) +
                           ", which lies inside the memo file header");
    }
    if (offset >= size_) {
        throw DbfError(path_, at,
                       where + " refers to memo block " + std::to_string(block) + " at offset " +
                           std::to_string(offset) + ", beyond the end of the memo file (" +
                           std::to_string(size_) + " bytes)");
    }
    switch (format_) {
        case MemoFormat::DBase3: {
            // Text up to the first end mark (or the end of the file).
            char chunk[4096];
            uint64_t pos = offset;
            while (pos < size_) {
                size_t n = ReadAt(fd_.Get(), pos, chunk, sizeof chunk, path_);
                if (n == 0) break;
                const void* end = std::memchr(chunk, kDbase3End, n);
                if (end) {
                    out.append(chunk, static_cast<const char*>(end) - chunk);
                    return;
                }
                out.append(chunk, n);
                pos += n;
            }
            throw DbfError(path_, at,
                           where + ": memo block " + std::to_string(block) +
                               " has no end mark (0x1A) before the end of the memo file");
        }
        case MemoFormat::DBase4:
        case MemoFormat::Fpt: {
            if (offset + kBlockHeaderSize > size_) {
                throw DbfError(
                    path_, at,
                    where + ": memo block " + std::to_string(block) +
                        " has no room for its 8-byte block header before the end of the file");
            }
            char head[kBlockHeaderSize];
            ReadAt(fd_.Get(), offset, head, sizeof head, path_);
            uint64_t length = 0;
            if (format_ == MemoFormat::DBase4) {
                if (GetLe32(head) != kDbase4Signature) {
                    throw DbfError(path_, at,
                                   where + ": memo block " + std::to_string(block) +
                                       " does not start with the bytes FF FF 08 00");
                }
                uint32_t total = GetLe32(head + 4);
                if (total < kBlockHeaderSize) {
                    throw DbfError(path_, at + 4,
                                   where + ": memo block length " + std::to_string(total) +
                                       " is below the 8 bytes of its own header");
                }
                length = total - kBlockHeaderSize;
            } else {
                length = GetBe32(head + 4);
            }
            if (offset + kBlockHeaderSize + length > size_) {
                throw DbfError(path_, at + 4,
                               where + ": memo block " + std::to_string(block) + " claims " +
                                   std::to_string(length) +
                                   " bytes, past the end of the memo file (" +
                                   std::to_string(size_) + " bytes)");
            }
            out.resize(length);
            ReadAt(fd_.Get(), offset + kBlockHeaderSize, out.data(), length, path_);
            return;
        }
        case MemoFormat::None:
            return;
    }
}

uint32_t DefaultMemoBlockSize(MemoFormat format) {
    return format == MemoFormat::Fpt ? 64 : 512;
}

void SetMemoNextFree(MemoFormat format, std::string& header, uint64_t nextFree) {
    if (format == MemoFormat::Fpt) {
        PutBe32(header.data(), static_cast<uint32_t>(nextFree));
    } else {
        PutLe32(header.data(), static_cast<uint32_t>(nextFree));
    }
}

std::string EncodeMemoHeader(MemoFormat format, uint32_t blockSize, uint64_t nextFree) {
    std::string header(kMemoHeaderSize, '\0');
    SetMemoNextFree(format, header, nextFree);
    switch (format) {
        case MemoFormat::DBase3:
            header[16] = 0x03;
            break;
        case MemoFormat::DBase4:
            PutLe16(header.data() + 20, static_cast<uint16_t>(blockSize));
            break;
        case MemoFormat::Fpt:
            PutBe16(header.data() + 6, static_cast<uint16_t>(blockSize));
            break;
        case MemoFormat::None:
            break;
    }
    return header;
}

std::string EncodeMemoBlock(MemoFormat format, uint32_t blockSize, std::string_view data,
                            bool picture, const std::string& path) {
    std::string out;
    switch (format) {
        case MemoFormat::DBase3:
            if (data.find(kDbase3End) != std::string_view::npos) {
                throw DbfError(path, -1,
                               "a dBase III memo cannot hold the byte 0x1A, which marks its end");
            }
            out.assign(data);
            out.push_back(kDbase3End);
            out.push_back(kDbase3End);
            break;
        case MemoFormat::DBase4:
            out.assign(kBlockHeaderSize, '\0');
            PutLe32(out.data(), kDbase4Signature);
            PutLe32(out.data() + 4, static_cast<uint32_t>(data.size() + kBlockHeaderSize));
            out.append(data);
            break;
        case MemoFormat::Fpt:
            out.assign(kBlockHeaderSize, '\0');
            PutBe32(out.data(), picture ? 0 : 1);
            PutBe32(out.data() + 4, static_cast<uint32_t>(data.size()));
            out.append(data);
            break;
        case MemoFormat::None:
            break;
    }
    size_t padded = (out.size() + blockSize - 1) / blockSize * blockSize;
    out.resize(padded, '\0');
    return out;
}

}  // namespace kce::dbf
