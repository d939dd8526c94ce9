// Clipper's index (.ntx): a 1024-byte header and a B-tree of 1024-byte pages whose entries sit in
// the interior pages as well as the leaves. INDEXES.md describes the layout.

#include <cstring>
#include <set>

#include "kce/dbf/Bytes.h"
#include "kce/dbf/DbfError.h"
#include "kce/dbf/IndexFormats.h"

namespace kce::dbf {
namespace {

constexpr size_t kPage = 1024;
constexpr uint16_t kSignature = 6;
constexpr size_t kSignatureAt = 0, kCounterAt = 2, kRootAt = 4, kFreeAt = 8, kItemSizeAt = 12,
                 kKeySizeAt = 14, kDecimalsAt = 16, kMaxItemsAt = 18, kHalfPageAt = 20, kKeyAt = 22,
                 kUniqueAt = 278, kDescendingAt = 280, kForAt = 282, kNameAt = 538, kCustomAt = 550,
                 kExpressionRoom = 256, kNameRoom = 12;
constexpr size_t kLongestKey = 250;
constexpr int kDeepestTree = 32;

size_t MaxItems(size_t itemSize) {
    return (kPage - 2) / (itemSize + 2) - 1;
}

bool TextAt(const char* p, size_t room, std::string& out) {
    const void* end = std::memchr(p, '\0', room);
    if (end == nullptr) return false;
    out.assign(p, static_cast<const char*>(end) - p);
    return true;
}

struct NtxReader {
    const std::string& bytes;
    const std::string& path;
    size_t keySize, itemSize, maxItems;
    std::set<uint64_t> seen;
    std::vector<IndexEntry> entries;
    int leafDepth = -1;

    [[noreturn]] void Refuse(int64_t at, const std::string& why) const {
        throw DbfError(path, at, why);
    }

    void CheckPage(uint64_t offset, const std::string& from, int64_t at) {
        if (offset < kPage || offset % kPage != 0 || offset + kPage > bytes.size()) {
            Refuse(at, from + " points at offset " + std::to_string(offset) +
                           ", which is not a page of the file");
        }
        if (!seen.insert(offset).second) {
            Refuse(at, from + " points at the page at offset " + std::to_string(offset) +
                           ", which is reached twice");
        }
    }

    void Walk(uint64_t offset, int depth) {
        const char* p = bytes.data() + offset;
        const auto at = static_cast<int64_t>(offset);
        const std::string where = "the page at offset " + std::to_string(offset);
        if (depth > kDeepestTree) {
            Refuse(at, "the tree is deeper than " + std::to_string(kDeepestTree) +
                           " levels at offset " + std::to_string(offset));
        }
        const size_t count = GetLe16(p);
        if (count > maxItems || (count == 0 && depth > 0)) {
            Refuse(at, where + " holds " + std::to_string(count) + " keys, which do not fit");
        }
        const size_t itemsFrom = 2 + (maxItems + 1) * 2;
        std::set<size_t> places;
        auto item = [&](size_t i) {
            const size_t place = GetLe16(p + 2 + 2 * i);
            if (place < itemsFrom || place + itemSize > kPage || !places.insert(place).second) {
                Refuse(at + static_cast<int64_t>(2 + 2 * i),
                       "entry " + std::to_string(i + 1) + " of " + where +
                           " lies outside its page or on another entry");
            }
            return p + place;
        };
        std::vector<const char*> items;
        for (size_t i = 0; i <= count; ++i) items.push_back(item(i));
        const bool leaf = GetLe32(items[0]) == 0;
        if (leaf) {
            if (leafDepth >= 0 && leafDepth != depth)
                Refuse(at, "the leaf " + where + " lies at another depth than the others");
            leafDepth = depth;
        }
        for (size_t i = 0; i <= count; ++i) {
            const char* e = items[i];
            const uint32_t child = GetLe32(e);
            if ((child == 0) != leaf) {
                Refuse(at, "entry " + std::to_string(i + 1) + " of " + where +
                               (leaf ? " has a child page in a leaf" : " has no child page"));
            }
            if (!leaf) {
                CheckPage(child, "entry " + std::to_string(i + 1) + " of " + where, at);
                Walk(child, depth + 1);
            }
            if (i == count) break;
            const uint32_t record = GetLe32(e + 4);
            if (record == 0)
                Refuse(at, "entry " + std::to_string(i + 1) + " of " + where + " names no record");
            entries.push_back({std::string(e + 8, keySize), record});
        }
    }
};

}  // namespace

IndexTag ParseNtx(const std::string& bytes, const std::string& path,
                  const std::vector<Column>& columns, CodePage codePage, const std::string& name,
                  uint32_t& changeCounter) {
    if (bytes.size() < 2 * kPage || bytes.size() % kPage != 0) {
        throw DbfError(path, -1,
                       "the file of " + std::to_string(bytes.size()) +
                           " bytes is not a Clipper index (whole 1024-byte pages, the first the "
                           "header)");
    }
    const char* h = bytes.data();
    if (GetLe16(h + kSignatureAt) != kSignature) {
        throw DbfError(path, kSignatureAt,
                       "signature " + std::to_string(GetLe16(h + kSignatureAt)) +
                           ", which this program does not know");
    }
    IndexTag tag;
    tag.name = name;
    tag.format = IndexFormat::Ntx;
    changeCounter = GetLe16(h + kCounterAt);
    const size_t itemSize = GetLe16(h + kItemSizeAt);
    const size_t keySize = GetLe16(h + kKeySizeAt);
    const size_t maxItems = GetLe16(h + kMaxItemsAt);
    if (keySize == 0 || keySize > kLongestKey || itemSize != keySize + 8 || maxItems < 2 ||
        maxItems > MaxItems(itemSize) || GetLe16(h + kHalfPageAt) != maxItems / 2) {
        throw DbfError(path, kItemSizeAt,
                       "keys of " + std::to_string(keySize) + " bytes in items of " +
                           std::to_string(itemSize) + ", " + std::to_string(maxItems) +
                           " to a page: a layout this program does not understand");
    }
    tag.keyLength = static_cast<uint16_t>(keySize);
    tag.keyDecimals = GetLe16(h + kDecimalsAt);
    const auto unique = static_cast<uint8_t>(h[kUniqueAt]);
    if (unique > 1) throw DbfError(path, kUniqueAt, "unknown unique flag " + Hex2(unique));
    tag.unique = unique == 1;
    if (h[kDescendingAt] != 0) {
        throw DbfError(path, kDescendingAt,
                       "a descending index, whose order this program does not keep");
    }
    if (h[kCustomAt] != 0) {
        throw DbfError(path, kCustomAt,
                       "a custom index (entries added by the program itself), which this program "
                       "cannot rebuild");
    }
    std::string stored;
    if (!TextAt(h + kKeyAt, kExpressionRoom, tag.keyExpression) ||
        !TextAt(h + kForAt, kExpressionRoom, tag.forExpression) ||
        !TextAt(h + kNameAt, kNameRoom, stored)) {
        throw DbfError(path, kKeyAt, "an expression without its terminating zero byte");
    }
    if (!stored.empty()) tag.name = stored;
    const Expression key =
        ParseTagExpression(tag.keyExpression, columns, codePage, path, std::string(), kKeyAt);
    tag.keyType = key.Type();
    const size_t wanted = tag.keyType == ExprType::Logical ? 1
                          : tag.keyType == ExprType::Date  ? 8
                                                           : 0;
    if ((wanted != 0 && wanted != keySize) ||
        (tag.keyType == ExprType::Numeric && tag.keyDecimals != 0 &&
         size_t{tag.keyDecimals} + 2 > keySize)) {
        throw DbfError(path, kKeySizeAt,
                       std::string("a ") + ExprTypeName(tag.keyType) + " key of " +
                           std::to_string(keySize) + " bytes with " +
                           std::to_string(tag.keyDecimals) + " decimals");
    }
    if (!tag.forExpression.empty()) {
        const Expression filter =
            ParseTagExpression(tag.forExpression, columns, codePage, path, std::string(), kForAt);
        if (filter.Type() != ExprType::Logical)
            throw DbfError(path, kForAt,
                           "the FOR expression " + tag.forExpression + " is not logical");
    }
    NtxReader reader{bytes, path, keySize, itemSize, maxItems, {}, {}, -1};
    reader.CheckPage(GetLe32(h + kRootAt), "the root pointer", kRootAt);
    reader.Walk(GetLe32(h + kRootAt), 0);
    const uint32_t free = GetLe32(h + kFreeAt);
    if (free != 0 &&
        (free % kPage != 0 || free + kPage > bytes.size() || reader.seen.count(free))) {
        throw DbfError(path, kFreeAt,
                       "the free-page pointer points at offset " + std::to_string(free) +
                           ", which is not a free page of the file");
    }
    const std::vector<IndexEntry>& e = reader.entries;
    for (size_t i = 1; i < e.size(); ++i) {
        if (e[i - 1].key > e[i].key ||
            (e[i - 1].key == e[i].key && e[i - 1].recordNumber >= e[i].recordNumber)) {
            throw DbfError(path, -1,
                           "entry " + std::to_string(i + 1) + " (record " +
                               std::to_string(e[i].recordNumber) + ") is out of order");
        }
        if (tag.unique && e[i - 1].key == e[i].key) {
            throw DbfError(path, -1,
                           "records " + std::to_string(e[i - 1].recordNumber) + " and " +
                               std::to_string(e[i].recordNumber) +
                               " share a key in a unique index");
        }
    }
    tag.entries = std::move(reader.entries);
    return tag;
}

std::string BuildNtx(const IndexTag& tag, uint32_t changeCounter, const std::string& path) {
    const size_t keySize = tag.keyLength;
    if (keySize == 0 || keySize > kLongestKey || tag.keyExpression.size() >= kExpressionRoom ||
        tag.forExpression.size() >= kExpressionRoom || tag.candidate || tag.descending) {
        throw DbfError(path, -1, "the key does not fit a Clipper index");
    }
    const size_t itemSize = keySize + 8;
    const size_t maxItems = MaxItems(itemSize);
    const size_t itemsFrom = 2 + (maxItems + 1) * 2;

    // Bulk loading, a level at a time: the entries of a level are shared out over pages of at
    // most maxItems, one entry between each two pages going up a level, until one page is left.
    struct Item {
        const IndexEntry* entry;
        uint32_t left;  // child page offset, 0 in a leaf
    };
    std::string out(kPage, '\0');
    auto page = [&](const std::vector<Item>& items, uint32_t right) {
        const auto offset = static_cast<uint32_t>(out.size());
        std::string p(kPage, '\0');
        PutLe16(p.data(), static_cast<uint16_t>(items.size()));
        for (size_t i = 0; i <= maxItems; ++i)
            PutLe16(p.data() + 2 + 2 * i, static_cast<uint16_t>(itemsFrom + i * itemSize));
        for (size_t i = 0; i <= items.size(); ++i) {
            char* e = p.data() + itemsFrom + i * itemSize;
            PutLe32(e, i < items.size() ? items[i].left : right);
            if (i == items.size()) break;
            PutLe32(e + 4, items[i].entry->recordNumber);
            std::memcpy(e + 8, items[i].entry->key.data(), keySize);
        }
        out += p;
        return offset;
    };
    std::vector<Item> level;
    for (const IndexEntry& e : tag.entries) level.push_back({&e, 0});
    std::vector<uint32_t> children;  // the level's child pages: one more than its items, or none
    uint32_t root = 0;
    for (;;) {
        if (level.size() <= maxItems) {
            root = page(level, children.empty() ? 0 : children.back());
            break;
        }
        const size_t n = level.size();
        const size_t pages = (n + 1 + maxItems) / (maxItems + 1);  // items and separators
        const size_t perPage = (n - (pages - 1)) / pages, extra = (n - (pages - 1)) % pages;
        std::vector<Item> up;
        std::vector<uint32_t> upChildren;
        size_t at = 0;
        for (size_t j = 0; j < pages; ++j) {
            const size_t size = perPage + (j < extra ? 1 : 0);
            std::vector<Item> items(level.begin() + static_cast<ptrdiff_t>(at),
                                    level.begin() + static_cast<ptrdiff_t>(at + size));
            const uint32_t right = children.empty() ? 0 : children[at + size];
            upChildren.push_back(page(items, right));
            at += size;
            if (j + 1 < pages) up.push_back({level[at++].entry, upChildren.back()});
        }
        // Each separator's left child is the page before it; its right is the next page's.
        for (size_t j = 0; j < up.size(); ++j) up[j].left = upChildren[j];
        level = std::move(up);
        children = std::move(upChildren);
    }
    char* h = out.data();
    PutLe16(h + kSignatureAt, kSignature);
    PutLe16(h + kCounterAt, static_cast<uint16_t>(changeCounter + 1));
    PutLe32(h + kRootAt, root);
    PutLe32(h + kFreeAt, 0);
    PutLe16(h + kItemSizeAt, static_cast<uint16_t>(itemSize));
    PutLe16(h + kKeySizeAt, static_cast<uint16_t>(keySize));
    PutLe16(h + kDecimalsAt, tag.keyDecimals);
    PutLe16(h + kMaxItemsAt, static_cast<uint16_t>(maxItems));
    PutLe16(h + kHalfPageAt, static_cast<uint16_t>(maxItems / 2));
    std::memcpy(h + kKeyAt, tag.keyExpression.data(), tag.keyExpression.size());
    h[kUniqueAt] = tag.unique ? 1 : 0;
    std::memcpy(h + kForAt, tag.forExpression.data(), tag.forExpression.size());
    return out;
}

}  // namespace kce::dbf
