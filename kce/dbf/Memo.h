#pragma once
// Memo files: .dbt (dBase III: 512-byte blocks, text ended by 0x1A; dBase IV: blocks that start
// with FF FF 08 00 and a length) and .fpt (FoxPro: big-endian header and block headers with a type
// and a length). Block 0 holds the file header; a record refers to a memo by its block number.

#include <cstdint>
#include <string>
#include <string_view>

#include "kce/dbf/FileIo.h"
#include "kce/dbf/Types.h"

namespace kce::dbf {

inline constexpr size_t kMemoHeaderSize = 512;

class MemoFile {
public:
    // Opens and checks the header of an existing memo file; a missing or short file throws
    // DbfError naming `path`.
    MemoFile(std::string path, MemoFormat format, bool writable);

    const std::string& Path() const { return path_; }
    MemoFormat Format() const { return format_; }
    uint32_t BlockSize() const { return blockSize_; }
    uint64_t Size() const { return size_; }
    int Descriptor() const { return fd_.Get(); }
    // The first block that a new memo may take.
    uint64_t NextFreeBlock() const;
    // Reads the header again after a change.
    void Reload();

    // Reads the memo at `block` into `out` (raw bytes). `where` names the record and field for
    // errors. Throws DbfError naming this file when the block lies outside it or is damaged.
    void Read(uint64_t block, std::string& out, const std::string& where) const;

private:
    std::string path_;
    MemoFormat format_;
    Fd fd_;
    uint32_t blockSize_ = 512;
    uint64_t nextFree_ = 1;
    uint64_t size_ = 0;
};

// The 512-byte header of a new memo file whose next free block is `nextFree`.
std::string EncodeMemoHeader(MemoFormat format, uint32_t blockSize, uint64_t nextFree);
// Writes `nextFree` into a memo header image (at least its first 8 bytes).
void SetMemoNextFree(MemoFormat format, std::string& header, uint64_t nextFree);
// The bytes of one memo starting at a block boundary, padded to whole blocks. `picture` selects
// the FoxPro block type (0 picture/binary, 1 text). Throws DbfError naming `path` for data a
// dBase III memo cannot hold (the 0x1A end mark).
std::string EncodeMemoBlock(MemoFormat format, uint32_t blockSize, std::string_view data,
                            bool picture, const std::string& path);
// Default block size of new memo files of the format.
uint32_t DefaultMemoBlockSize(MemoFormat format);

}  // namespace kce::dbf
