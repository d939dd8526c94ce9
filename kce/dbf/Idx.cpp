// FoxBASE's non-compact single index (.idx) and dBase III's index (.ndx): one key expression each,
// a header page and a B+ tree of fixed-size entries (FixedTree.h). INDEXES.md describes both.

#include <cstring>

#include "kce/dbf/Bytes.h"
#include "kce/dbf/Cdx.h"
#include "kce/dbf/DbfError.h"
#include "kce/dbf/FixedTree.h"
#include "kce/dbf/IndexFormats.h"

namespace kce::dbf {
namespace {

constexpr size_t kPage = 512;
constexpr uint32_t kNone = 0xFFFFFFFF;

// FoxBASE header fields.
constexpr size_t kIdxRootAt = 0, kIdxFreeAt = 4, kIdxEndAt = 8, kIdxKeyLengthAt = 12,
                 kIdxOptionsAt = 14, kIdxSignatureAt = 15, kIdxKeyAt = 16, kIdxForAt = 236,
                 kIdxExpressionRoom = 220, kIdxUnusedAt = 456;
constexpr uint8_t kIdxUnique = 0x01, kIdxHasFor = 0x08;
constexpr size_t kLongestIdxKey = 100;

// dBase III header fields.
constexpr size_t kNdxRootAt = 0, kNdxNextAt = 4, kNdxKeyLengthAt = 12, kNdxPerBlockAt = 14,
                 kNdxKeyTypeAt = 16, kNdxEntrySizeAt = 18, kNdxUniqueAt = 23, kNdxKeyAt = 24;
constexpr size_t kLongestNdxKey = 100;

// The text of a zero-terminated field of `room` bytes at `at`; false when it has no terminator.
bool TextAt(const std::string& bytes, size_t at, size_t room, std::string& out) {
    const char* p = bytes.data() + at;
    const void* end = std::memchr(p, '\0', room);
    if (end == nullptr) return false;
    out.assign(p, static_cast<const char*>(end) - p);
    return true;
}

// The key expression's type against the key length the header gives: numbers and dates 8 bytes,
// logicals 1 (where the format has them), texts up to `longest`.
ExprType CheckKey(const IndexTag& tag, const std::vector<Column>& columns, CodePage codePage,
                  const std::string& path, int64_t at, size_t longest, bool logicals) {
    const Expression key =
        ParseTagExpression(tag.keyExpression, columns, codePage, path, std::string(), at);
    const ExprType type = key.Type();
    if (type == ExprType::Logical && !logicals) {
        throw DbfError(path, at, "a logical key, which the format does not have");
    }
    const size_t wanted = type == ExprType::Logical ? 1 : type == ExprType::Character ? 0 : 8;
    if ((wanted != 0 && wanted != tag.keyLength) || tag.keyLength == 0 || tag.keyLength > longest) {
        throw DbfError(path, at,
                       std::string("a ") + ExprTypeName(type) + " key of " +
                           std::to_string(tag.keyLength) + " bytes");
    }
    if (!tag.forExpression.empty()) {
        const Expression filter =
            ParseTagExpression(tag.forExpression, columns, codePage, path, std::string(), at);
        if (filter.Type() != ExprType::Logical)
            throw DbfError(path, at, "the FOR expression " + tag.forExpression + " is not logical");
    }
    return type;
}

void CheckDistinct(const IndexTag& tag, const std::string& path) {
    if (!tag.unique) return;
    for (size_t i = 1; i < tag.entries.size(); ++i) {
        if (tag.entries[i].key == tag.entries[i - 1].key) {
            throw DbfError(path, -1,
                           "records " + std::to_string(tag.entries[i - 1].recordNumber) + " and " +
                               std::to_string(tag.entries[i].recordNumber) +
                               " share a key in a unique index");
        }
    }
}

TreeLayout IdxLayout(size_t keyLength) {
    TreeLayout l;
    l.pageSize = kPage;
    l.bigEndian = true;
    l.countAt = 2;
    l.countSize = 2;
    l.entriesAt = 12;
    l.entrySize = keyLength + 4;
    l.keyAt = 0;
    l.fileKeyLength = keyLength;
    l.childAt = l.recordAt = keyLength;
    l.foxAttributes = true;
    l.maxKeys = (kPage - 12) / l.entrySize;
    l.toMemory = [keyLength](const char* p) { return std::string(p, keyLength); };
    l.toFile = [keyLength](const std::string& key, char* p) {
        std::memcpy(p, key.data(), keyLength);
    };
    return l;
}

size_t NdxEntrySize(size_t keyLength) {
    return (keyLength + 8 + 3) & ~size_t{3};
}

TreeLayout NdxLayout(size_t keyLength, bool numeric) {
    TreeLayout l;
    l.pageSize = kPage;
    l.pointerUnit = kPage;  // child pointers are block numbers
    l.countAt = 0;
    l.countSize = 4;
    l.entriesAt = 4;
    l.entrySize = NdxEntrySize(keyLength);
    l.childAt = 0;
    l.recordAt = 4;
    l.keyAt = 8;
    l.fileKeyLength = keyLength;
    l.trailingChild = true;
    l.maxKeys = (kPage - 4) / l.entrySize - 1;
    // Numbers and dates (julian day numbers) as little-endian IEEE doubles.
    if (numeric) {
        UseDoubleKeys(l);
    } else {
        UseTextKeys(l, keyLength);
    }
    return l;
}

}  // namespace

IndexTag ParseFoxBaseIdx(const std::string& bytes, const std::string& path,
                         const std::vector<Column>& columns, CodePage codePage,
                         const std::string& name) {
    if (bytes.size() < 2 * kPage || bytes.size() % kPage != 0) {
        throw DbfError(path, -1,
                       "the file of " + std::to_string(bytes.size()) +
                           " bytes is not a single index (whole 512-byte pages, the first the "
                           "header)");
    }
    const char* h = bytes.data();
    IndexTag tag;
    tag.name = name;
    tag.format = IndexFormat::Idx;
    tag.keyLength = GetLe16(h + kIdxKeyLengthAt);
    const auto options = static_cast<uint8_t>(h[kIdxOptionsAt]);
    if ((options & ~(kIdxUnique | kIdxHasFor)) != 0) {
        throw DbfError(path, kIdxOptionsAt,
                       "index options " + Hex2(options) + " that this program does not understand");
    }
    if (static_cast<uint8_t>(h[kIdxSignatureAt]) > 1) {
        throw DbfError(path, kIdxSignatureAt,
                       "unknown signature " + Hex2(static_cast<uint8_t>(h[kIdxSignatureAt])));
    }
    for (size_t i = kIdxUnusedAt; i < kPage; ++i) {
        if (h[i] != 0) {
            throw DbfError(path, static_cast<int64_t>(i),
                           "the header holds a field at offset " + std::to_string(i) +
                               " that this program does not understand");
        }
    }
    if (!TextAt(bytes, kIdxKeyAt, kIdxExpressionRoom, tag.keyExpression) ||
        !TextAt(bytes, kIdxForAt, kIdxExpressionRoom, tag.forExpression)) {
        throw DbfError(path, kIdxKeyAt, "an expression without its terminating zero byte");
    }
    if (((options & kIdxHasFor) != 0) != !tag.forExpression.empty()) {
        throw DbfError(path, kIdxOptionsAt, "the FOR option and the FOR expression do not agree");
    }
    tag.unique = (options & kIdxUnique) != 0;
    tag.keyType = CheckKey(tag, columns, codePage, path, kIdxKeyAt, kLongestIdxKey, true);
    const uint32_t freeList = GetLe32(h + kIdxFreeAt);
    tag.entries = ReadFixedTree(IdxLayout(tag.keyLength), bytes, kPage, GetLe32(h + kIdxRootAt),
                                path, std::string());
    if (freeList != kNone && freeList != 0) {
        // Free pages: each must be a page of the file, none reached twice or used by the tree.
        std::vector<uint64_t> seen;
        for (uint64_t page = freeList; page != kNone && page != 0;) {
            if (page < kPage || page % kPage != 0 || page + kPage > bytes.size() ||
                seen.size() > bytes.size() / kPage) {
                throw DbfError(path, kIdxFreeAt,
                               "the free-page list points at offset " + std::to_string(page) +
                                   ", which is not a free page of the file");
            }
            seen.push_back(page);
            page = GetLe32(bytes.data() + page + 4);
        }
    }
    CheckDistinct(tag, path);
    return tag;
}

std::string BuildFoxBaseIdx(const IndexTag& tag, const std::string& path) {
    if (tag.keyExpression.size() >= kIdxExpressionRoom ||
        tag.forExpression.size() >= kIdxExpressionRoom || tag.keyLength > kLongestIdxKey) {
        throw DbfError(path, -1, "the key does not fit a single index of this form");
    }
    uint64_t root = 0;
    std::string pages = BuildFixedTree(IdxLayout(tag.keyLength), tag.entries, kPage, root);
    std::string h(kPage, '\0');
    PutLe32(h.data() + kIdxRootAt, static_cast<uint32_t>(root));
    PutLe32(h.data() + kIdxFreeAt, kNone);
    PutLe32(h.data() + kIdxEndAt, static_cast<uint32_t>(kPage + pages.size()));
    PutLe16(h.data() + kIdxKeyLengthAt, tag.keyLength);
    h[kIdxOptionsAt] = static_cast<char>((tag.unique ? kIdxUnique : 0) |
                                         (tag.forExpression.empty() ? 0 : kIdxHasFor));
    h[kIdxSignatureAt] = 1;
    std::memcpy(h.data() + kIdxKeyAt, tag.keyExpression.data(), tag.keyExpression.size());
    std::memcpy(h.data() + kIdxForAt, tag.forExpression.data(), tag.forExpression.size());
    return h + pages;
}

IndexTag ParseNdx(const std::string& bytes, const std::string& path,
                  const std::vector<Column>& columns, CodePage codePage, const std::string& name) {
    if (bytes.size() < 2 * kPage || bytes.size() % kPage != 0) {
        throw DbfError(path, -1,
                       "the file of " + std::to_string(bytes.size()) +
                           " bytes is not a dBase III index (whole 512-byte blocks, the first the "
                           "header)");
    }
    const char* h = bytes.data();
    IndexTag tag;
    tag.name = name;
    tag.format = IndexFormat::Ndx;
    tag.keyLength = GetLe16(h + kNdxKeyLengthAt);
    const uint16_t keyType = GetLe16(h + kNdxKeyTypeAt);
    if (keyType > 1) {
        throw DbfError(
            path, kNdxKeyTypeAt,
            "key type " + std::to_string(keyType) + ", which this program does not know");
    }
    for (size_t i :
         {size_t{8}, size_t{9}, size_t{10}, size_t{11}, size_t{20}, size_t{21}, size_t{22}}) {
        if (h[i] != 0) {
            throw DbfError(path, static_cast<int64_t>(i),
                           "the header holds a field at offset " + std::to_string(i) +
                               " that this program does not understand");
        }
    }
    const auto unique = static_cast<uint8_t>(h[kNdxUniqueAt]);
    if (unique > 1) throw DbfError(path, kNdxUniqueAt, "unknown unique flag " + Hex2(unique));
    tag.unique = unique == 1;
    if (!TextAt(bytes, kNdxKeyAt, kPage - kNdxKeyAt, tag.keyExpression)) {
        throw DbfError(path, kNdxKeyAt, "a key expression without its terminating zero byte");
    }
    tag.keyType = CheckKey(tag, columns, codePage, path, kNdxKeyAt, kLongestNdxKey, false);
    if ((tag.keyType != ExprType::Character) != (keyType == 1)) {
        throw DbfError(path, kNdxKeyTypeAt,
                       std::string("key type ") + std::to_string(keyType) + " for a " +
                           ExprTypeName(tag.keyType) + " key expression");
    }
    const TreeLayout layout = NdxLayout(tag.keyLength, keyType == 1);
    if (GetLe16(h + kNdxEntrySizeAt) != layout.entrySize || GetLe16(h + kNdxPerBlockAt) == 0 ||
        GetLe16(h + kNdxPerBlockAt) > layout.maxKeys) {
        throw DbfError(path, kNdxEntrySizeAt,
                       "entries of " + std::to_string(GetLe16(h + kNdxEntrySizeAt)) + " bytes, " +
                           std::to_string(GetLe16(h + kNdxPerBlockAt)) +
                           " to a block, which this program does not understand for keys of " +
                           std::to_string(tag.keyLength) + " bytes");
    }
    const uint64_t next = GetLe32(h + kNdxNextAt);
    if (next * kPage > bytes.size() || next < 2) {
        throw DbfError(path, kNdxNextAt,
                       "the header counts " + std::to_string(next) + " blocks in a file of " +
                           std::to_string(bytes.size() / kPage));
    }
    tag.entries = ReadFixedTree(layout, bytes, kPage, uint64_t{GetLe32(h + kNdxRootAt)} * kPage,
                                path, std::string());
    CheckDistinct(tag, path);
    return tag;
}

std::string BuildNdx(const IndexTag& tag, const std::string& path) {
    if (tag.keyExpression.size() >= kPage - kNdxKeyAt || tag.keyLength > kLongestNdxKey ||
        tag.keyType == ExprType::Logical || !tag.forExpression.empty() || tag.candidate ||
        tag.descending) {
        throw DbfError(path, -1, "the key does not fit a dBase III index");
    }
    const bool numeric = tag.keyType != ExprType::Character;
    const TreeLayout layout = NdxLayout(tag.keyLength, numeric);
    uint64_t root = 0;
    std::string pages = BuildFixedTree(layout, tag.entries, kPage, root);
    std::string h(kPage, '\0');
    PutLe32(h.data() + kNdxRootAt, static_cast<uint32_t>(root / kPage));
    PutLe32(h.data() + kNdxNextAt, static_cast<uint32_t>(1 + pages.size() / kPage));
    PutLe16(h.data() + kNdxKeyLengthAt, tag.keyLength);
    PutLe16(h.data() + kNdxPerBlockAt, static_cast<uint16_t>(layout.maxKeys));
    PutLe16(h.data() + kNdxKeyTypeAt, numeric ? 1 : 0);
    PutLe16(h.data() + kNdxEntrySizeAt, static_cast<uint16_t>(layout.entrySize));
    h[kNdxUniqueAt] = tag.unique ? 1 : 0;
    std::memcpy(h.data() + kNdxKeyAt, tag.keyExpression.data(), tag.keyExpression.size());
    return h + pages;
}

}  // namespace kce::dbf
