#pragma once
// B+ trees of fixed-size entries, the pages of FoxBASE's single index, dBase III's index and
// dBase IV's multiple index: reading every entry with the checks against damage, and laying out
// the pages for sorted entries. Each format describes its page layout in a TreeLayout.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "kce/dbf/Index.h"

namespace kce::dbf {

struct TreeLayout {
    size_t pageSize = 512;
    uint64_t pointerUnit = 1;           // a child pointer times this is the child's file offset
    bool bigEndian = false;             // of the pointers and record numbers
    size_t countAt = 0, countSize = 4;  // the number of keys of a page
    size_t entriesAt = 4;               // offset of the first entry in a page
    size_t entrySize = 0;
    size_t keyAt = 0, fileKeyLength = 0;  // of the key within an entry
    size_t childAt = 0;                   // of the child pointer within an interior entry
    size_t recordAt = 0;                  // of the record number within a leaf entry
    // Interior pages hold one more child pointer than keys, in the entry after the last key; a
    // leaf holds 0 there (and so one entry less than an interior page at most).
    bool trailingChild = false;
    // Pages carry FoxPro's attribute bits (1 root, 2 leaf) at 0 and left/right links at 4 and 8.
    bool foxAttributes = false;
    size_t maxKeys = 0;  // per page
    // The key in memory from the key in the file, and back.
    std::function<std::string(const char*)> toMemory;
    std::function<void(const std::string&, char*)> toFile;
};

// Keys stored as little-endian IEEE doubles (numbers, and dates as julian day numbers), read into
// and written from the compound index's ordered form of a number.
void UseDoubleKeys(TreeLayout& layout);
// Keys stored as they are ordered in memory, `keyLength` bytes.
void UseTextKeys(TreeLayout& layout, size_t keyLength);

// Reads the tree whose root is at file offset `root` in `bytes`, where pages may lie from
// `firstPage` on; refuses damage naming `path` (and `what`, the tag, when not empty).
std::vector<IndexEntry> ReadFixedTree(const TreeLayout& layout, const std::string& bytes,
                                      uint64_t firstPage, uint64_t root, const std::string& path,
                                      const std::string& what);

// The pages of a tree of `entries` (in order) placed from file offset `base`; sets `root`.
std::string BuildFixedTree(const TreeLayout& layout, const std::vector<IndexEntry>& entries,
                           uint64_t base, uint64_t& root);

}  // namespace kce::dbf
