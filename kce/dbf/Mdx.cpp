// dBase IV's multiple index (.mdx): a file header with a table of up to 47 tags, then for each tag
// a header block and a B+ tree of blocks (FixedTree.h). INDEXES.md describes the layout.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <set>
#include <stdexcept>

#include "kce/dbf/Bytes.h"
#include "kce/dbf/Cdx.h"
#include "kce/dbf/DbfError.h"
#include "kce/dbf/FixedTree.h"
#include "kce/dbf/IndexFormats.h"

namespace kce::dbf {
namespace {

constexpr size_t kPage = 512;  // page numbers count 512-byte pages
constexpr size_t kBlock = 1024;
constexpr size_t kTagTableAt = 544, kTagEntrySize = 32, kTagSlots = 48, kMostTags = 47;
constexpr uint64_t kFirstBlock = kTagTableAt + kMostTags * kTagEntrySize;  // 2048

// File header fields.
constexpr size_t kVersionAt = 0, kCreatedAt = 1, kTableNameAt = 4, kPagesPerBlockAt = 20,
                 kBlockSizeAt = 22, kProductionAt = 24, kSlotsAt = 25, kEntryLengthAt = 26,
                 kTagsAt = 28, kPagesAt = 32, kFreeAt = 36, kAvailableAt = 40, kUpdatedAt = 44;
// Tag table entry fields.
constexpr size_t kEntryHeaderAt = 0, kEntryNameAt = 4, kEntryFormatAt = 15, kEntryLeftAt = 16,
                 kEntryRightAt = 17, kEntryBackAt = 18, kEntryTypeAt = 20, kNameRoom = 11;
// Tag header fields.
constexpr size_t kRootAt = 0, kTagPagesAt = 4, kFormatAt = 8, kTypeAt = 9, kKeyLengthAt = 12,
                 kMaxKeysAt = 14, kSecondaryAt = 16, kItemLengthAt = 18, kUniqueAt = 23,
                 kKeyAt = 24, kForAt = 244, kExpressionRoom = 220;
constexpr size_t kLongestKey = 100;

char TypeLetter(ExprType type) {
    return type == ExprType::Character ? 'C' : type == ExprType::Numeric ? 'N' : 'D';
}

size_t FileKeyLength(ExprType type, size_t keyLength) {
    return type == ExprType::Numeric ? 12 : type == ExprType::Date ? 8 : keyLength;
}

size_t ItemLength(size_t fileKeyLength) {
    return (4 + fileKeyLength + 3) & ~size_t{3};
}

TreeLayout MdxLayout(ExprType type, size_t keyLength) {
    const size_t fileKey = FileKeyLength(type, keyLength);
    TreeLayout l;
    l.pageSize = kBlock;
    l.pointerUnit = kPage;
    l.countAt = 0;
    l.countSize = 4;
    l.entriesAt = 8;
    l.entrySize = ItemLength(fileKey);
    l.childAt = l.recordAt = 0;
    l.keyAt = 4;
    l.fileKeyLength = fileKey;
    l.trailingChild = true;
    l.maxKeys = (kBlock - 8) / l.entrySize - 1;
    switch (type) {
        case ExprType::Numeric:
            l.toMemory = [](const char* p) {
                return CdxKey(ExprValue::Number(MdxNumberValue(p)), 8);
            };
            l.toFile = [](const std::string& key, char* p) {
                uint64_t bits = 0;
                for (size_t i = 0; i < 8; ++i)
                    bits = (bits << 8) | static_cast<unsigned char>(key[i]);
                bits = (bits >> 63) != 0 ? bits & ~(uint64_t{1} << 63) : ~bits;
                double v;
                std::memcpy(&v, &bits, sizeof v);
                const std::string bcd = MdxNumber(v);
                std::memcpy(p, bcd.data(), bcd.size());
            };
            break;
        case ExprType::Date:
            // Julian day numbers as little-endian doubles.
            UseDoubleKeys(l);
            break;
        default:
            UseTextKeys(l, keyLength);
    }
    return l;
}

bool TextAt(const char* p, size_t room, std::string& out) {
    const void* end = std::memchr(p, '\0', room);
    if (end == nullptr) return false;
    out.assign(p, static_cast<const char*>(end) - p);
    return true;
}

void Today(char* p) {
    const std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    p[0] = static_cast<char>(t.tm_year);
    p[1] = static_cast<char>(t.tm_mon + 1);
    p[2] = static_cast<char>(t.tm_mday);
}

// The tag table's threads: a binary search tree over the tags in name order (slots from 1),
// balanced, each entry naming its left and right children and its parent (0 for none).
void Thread(std::string& out, size_t first, size_t end, size_t parent) {
    if (first >= end) return;
    const size_t middle = first + (end - first) / 2;
    char* e = out.data() + kTagTableAt + middle * kTagEntrySize;
    e[kEntryBackAt] = static_cast<char>(parent);
    const size_t left = first + (middle - first) / 2, right = middle + 1 + (end - middle - 1) / 2;
    e[kEntryLeftAt] = static_cast<char>(first < middle ? left + 1 : 0);
    e[kEntryRightAt] = static_cast<char>(middle + 1 < end ? right + 1 : 0);
    Thread(out, first, middle, middle + 1);
    Thread(out, middle + 1, end, middle + 1);
}

}  // namespace

// A numeric key: byte 0 is 0x34 plus the power of ten of the first significant digit (the value
// is 0.d1d2… times ten to that power), byte 1 the number of significant digits times 4 with 0x80
// for a negative value, then 20 decimal digits, two to a byte, the first significant digit in the
// high half of byte 2 (assumed; zero is 0x34 0x04 and zero digits).
std::string MdxNumber(double value) {
    std::string out(12, '\0');
    out[0] = 0x34;
    out[1] = 0x04;
    if (value == 0 || !std::isfinite(value)) return out;
    // The fewest digits (15 to 17) that give the value back, as the decimal text it came from.
    char text[40];
    int precision = 14;
    for (; precision < 16; ++precision) {
        std::snprintf(text, sizeof text, "%.*e", precision, std::fabs(value));
        if (std::strtod(text, nullptr) == std::fabs(value)) break;
    }
    std::snprintf(text, sizeof text, "%.*e", precision, std::fabs(value));  // d.ddd…e±XX
    std::string digits;
    digits.push_back(text[0]);
    digits.append(text + 2, static_cast<size_t>(precision));
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
    const int exponent = std::atoi(std::strchr(text, 'e') + 1) + 1;
    if (exponent + 0x34 < 0 || exponent + 0x34 > 0xFF) {
        throw std::range_error(std::string(value < 0 ? "-" : "") + text +
                               " is beyond what a dBase IV numeric key holds");
    }
    out[0] = static_cast<char>(0x34 + exponent);
    out[1] = static_cast<char>((digits.size() << 2) | (value < 0 ? 0x80 : 0));
    for (size_t i = 0; i < digits.size(); ++i) {
        const int d = digits[i] - '0';
        out[2 + i / 2] = static_cast<char>(out[2 + i / 2] | (i % 2 == 0 ? d << 4 : d));
    }
    return out;
}

double MdxNumberValue(const char* p) {
    const size_t count = std::min<size_t>((static_cast<uint8_t>(p[1]) & 0x7F) >> 2, 20);
    std::string text = "0.";
    for (size_t i = 0; i < count; ++i) {
        const int d = (static_cast<uint8_t>(p[2 + i / 2]) >> (i % 2 == 0 ? 4 : 0)) & 0x0F;
        text.push_back(static_cast<char>('0' + std::min(d, 9)));
    }
    if (count == 0) text.push_back('0');
    text += "e" + std::to_string(static_cast<int>(static_cast<uint8_t>(p[0])) - 0x34);
    const double v = std::strtod(text.c_str(), nullptr);
    return (static_cast<uint8_t>(p[1]) & 0x80) != 0 ? -v : v;
}

IndexFile ParseMdx(const std::string& bytes, const std::string& path,
                   const std::vector<Column>& columns, CodePage codePage) {
    if (bytes.size() < kFirstBlock || bytes.size() % kPage != 0) {
        throw DbfError(path, -1,
                       "the file of " + std::to_string(bytes.size()) +
                           " bytes is not a dBase IV multiple index (whole 512-byte pages after "
                           "a 2048-byte header)");
    }
    const char* h = bytes.data();
    auto refuse = [&](size_t at, const std::string& why) {
        throw DbfError(path, static_cast<int64_t>(at), why);
    };
    if (h[kVersionAt] != 2)
        refuse(kVersionAt, "version " + Hex2(static_cast<uint8_t>(h[0])) +
                               ", which this program does not know");
    if (GetLe16(h + kPagesPerBlockAt) != kBlock / kPage || GetLe16(h + kBlockSizeAt) != kBlock) {
        refuse(kBlockSizeAt, "blocks of " + std::to_string(GetLe16(h + kBlockSizeAt)) +
                                 " bytes, which this program does not read");
    }
    if (static_cast<uint8_t>(h[kSlotsAt]) != kTagSlots ||
        static_cast<uint8_t>(h[kEntryLengthAt]) != kTagEntrySize) {
        refuse(kSlotsAt, "a tag table this program does not understand");
    }
    const size_t tags = GetLe16(h + kTagsAt);
    if (tags > kMostTags)
        refuse(kTagsAt, std::to_string(tags) + " tags, more than the table holds");
    const uint64_t pages = GetLe32(h + kPagesAt);
    if (pages * kPage != bytes.size()) {
        refuse(kPagesAt, "the header counts " + std::to_string(pages) + " pages in a file of " +
                             std::to_string(bytes.size() / kPage));
    }
    IndexFile index;
    index.format = IndexFormat::Mdx;
    index.created.assign(h + kCreatedAt, 3);
    TextAt(h + kTableNameAt, 16, index.tableName);
    std::set<uint64_t> headers;
    for (size_t i = 0; i < tags; ++i) {
        const char* e = h + kTagTableAt + i * kTagEntrySize;
        const size_t entryAt = kTagTableAt + i * kTagEntrySize;
        IndexTag tag;
        tag.format = IndexFormat::Mdx;
        if (!TextAt(e + kEntryNameAt, kNameRoom, tag.name))
            tag.name.assign(e + kEntryNameAt, kNameRoom);
        while (!tag.name.empty() && tag.name.back() == ' ') tag.name.pop_back();
        const std::string label = "tag " + tag.name + ": ";
        const uint64_t at = uint64_t{GetLe32(e + kEntryHeaderAt)} * kPage;
        if (at < kFirstBlock || (at - kFirstBlock) % kBlock != 0 || at + kBlock > bytes.size() ||
            !headers.insert(at).second) {
            refuse(entryAt, label + "the header pointer points at offset " + std::to_string(at) +
                                ", which is not a block of the file of its own");
        }
        const char* t = bytes.data() + at;
        if (t[kFormatAt] != 0 || e[kEntryFormatAt] != 0) {
            refuse(at + kFormatAt, label + "key format " +
                                       Hex2(static_cast<uint8_t>(t[kFormatAt])) +
                                       " (descending or another order this program does not keep)");
        }
        if (GetLe16(t + kSecondaryAt) != 0)
            refuse(at + kSecondaryAt, label + "a secondary key type this program does not know");
        const auto unique = static_cast<uint8_t>(t[kUniqueAt]);
        if (unique > 1) refuse(at + kUniqueAt, label + "unknown unique flag " + Hex2(unique));
        tag.unique = unique == 1;
        if (!TextAt(t + kKeyAt, kExpressionRoom, tag.keyExpression) ||
            !TextAt(t + kForAt, kExpressionRoom, tag.forExpression)) {
            refuse(at + kKeyAt, label + "an expression without its terminating zero byte");
        }
        const Expression key = ParseTagExpression(tag.keyExpression, columns, codePage, path,
                                                  tag.name, static_cast<int64_t>(at + kKeyAt));
        tag.keyType = key.Type();
        if (tag.keyType == ExprType::Logical)
            refuse(at + kKeyAt, label + "a logical key, which the format does not have");
        if (t[kTypeAt] != TypeLetter(tag.keyType) || e[kEntryTypeAt] != TypeLetter(tag.keyType)) {
            refuse(at + kTypeAt, label + "key type " + Hex2(static_cast<uint8_t>(t[kTypeAt])) +
                                     " for a " + ExprTypeName(tag.keyType) + " key expression");
        }
        const size_t fileKey = GetLe16(t + kKeyLengthAt);
        if (fileKey == 0 || fileKey > kLongestKey ||
            (tag.keyType != ExprType::Character && fileKey != FileKeyLength(tag.keyType, 0))) {
            refuse(at + kKeyLengthAt, label + "a " + ExprTypeName(tag.keyType) + " key of " +
                                          std::to_string(fileKey) + " bytes");
        }
        tag.keyLength = static_cast<uint16_t>(tag.keyType == ExprType::Character ? fileKey : 8);
        const TreeLayout layout = MdxLayout(tag.keyType, tag.keyLength);
        if (GetLe16(t + kItemLengthAt) != layout.entrySize || GetLe16(t + kMaxKeysAt) == 0 ||
            GetLe16(t + kMaxKeysAt) > layout.maxKeys) {
            refuse(at + kItemLengthAt,
                   label + "items of " + std::to_string(GetLe16(t + kItemLengthAt)) + " bytes, " +
                       std::to_string(GetLe16(t + kMaxKeysAt)) +
                       " to a block: a layout this program does not understand");
        }
        if (!tag.forExpression.empty()) {
            const Expression filter =
                ParseTagExpression(tag.forExpression, columns, codePage, path, tag.name,
                                   static_cast<int64_t>(at + kForAt));
            if (filter.Type() != ExprType::Logical)
                refuse(at + kForAt,
                       label + "the FOR expression " + tag.forExpression + " is not logical");
        }
        tag.entries = ReadFixedTree(layout, bytes, kFirstBlock,
                                    uint64_t{GetLe32(t + kRootAt)} * kPage, path, tag.name);
        for (size_t k = 1; tag.unique && k < tag.entries.size(); ++k) {
            if (tag.entries[k].key == tag.entries[k - 1].key) {
                refuse(at, label + "records " + std::to_string(tag.entries[k - 1].recordNumber) +
                               " and " + std::to_string(tag.entries[k].recordNumber) +
                               " share a key in a unique tag");
            }
        }
        index.tags.push_back(std::move(tag));
    }
    const uint64_t free = uint64_t{GetLe32(h + kFreeAt)} * kPage;
    if (free != 0 && (free < kFirstBlock || free + kPage > bytes.size() || headers.count(free))) {
        refuse(kFreeAt, "the free-page pointer points at offset " + std::to_string(free) +
                            ", which is not a free page of the file");
    }
    return index;
}

std::string BuildMdx(const IndexFile& index, const std::string& path) {
    if (index.tags.size() > kMostTags) {
        throw DbfError(path, -1,
                       "a dBase IV multiple index holds at most 47 tags, not " +
                           std::to_string(index.tags.size()));
    }
    std::vector<const IndexTag*> tags;
    for (const IndexTag& t : index.tags) tags.push_back(&t);
    std::sort(tags.begin(), tags.end(),
              [](const IndexTag* a, const IndexTag* b) { return a->name < b->name; });
    std::string out(kFirstBlock, '\0');
    char* h = out.data();
    h[kVersionAt] = 2;
    if (index.created.size() == 3) {
        std::memcpy(h + kCreatedAt, index.created.data(), 3);
    } else {
        Today(h + kCreatedAt);
    }
    std::memcpy(h + kTableNameAt, index.tableName.data(),
                std::min<size_t>(index.tableName.size(), 15));
    PutLe16(h + kPagesPerBlockAt, kBlock / kPage);
    PutLe16(h + kBlockSizeAt, kBlock);
    h[kProductionAt] = 1;
    h[kSlotsAt] = static_cast<char>(kTagSlots);
    h[kEntryLengthAt] = static_cast<char>(kTagEntrySize);
    PutLe16(h + kTagsAt, static_cast<uint16_t>(tags.size()));
    Today(h + kUpdatedAt);
    for (size_t i = 0; i < tags.size(); ++i) {
        const IndexTag& tag = *tags[i];
        if (tag.keyType == ExprType::Logical || tag.keyLength == 0 || tag.keyLength > kLongestKey ||
            tag.keyExpression.size() >= kExpressionRoom ||
            tag.forExpression.size() >= kExpressionRoom || tag.candidate || tag.descending ||
            tag.name.empty() || tag.name.size() > 10) {
            throw DbfError(path, -1,
                           "tag " + tag.name + ": the key does not fit a dBase IV multiple index");
        }
        const TreeLayout layout = MdxLayout(tag.keyType, tag.keyLength);
        const uint64_t at = out.size();
        uint64_t root = 0;
        std::string tree;
        try {
            tree = BuildFixedTree(layout, tag.entries, at + kBlock, root);
        } catch (const std::range_error& e) {
            throw DbfError(path, -1, "tag " + tag.name + ": the number " + e.what());
        }
        std::string header(kBlock, '\0');
        char* t = header.data();
        PutLe32(t + kRootAt, static_cast<uint32_t>(root / kPage));
        PutLe32(t + kTagPagesAt, static_cast<uint32_t>((kBlock + tree.size()) / kPage));
        t[kTypeAt] = TypeLetter(tag.keyType);
        PutLe16(t + kKeyLengthAt, static_cast<uint16_t>(layout.fileKeyLength));
        PutLe16(t + kMaxKeysAt, static_cast<uint16_t>(layout.maxKeys));
        PutLe16(t + kItemLengthAt, static_cast<uint16_t>(layout.entrySize));
        t[kUniqueAt] = tag.unique ? 1 : 0;
        std::memcpy(t + kKeyAt, tag.keyExpression.data(), tag.keyExpression.size());
        std::memcpy(t + kForAt, tag.forExpression.data(), tag.forExpression.size());
        char* e = out.data() + kTagTableAt + i * kTagEntrySize;
        PutLe32(e + kEntryHeaderAt, static_cast<uint32_t>(at / kPage));
        std::memcpy(e + kEntryNameAt, tag.name.data(), tag.name.size());
        e[kEntryTypeAt] = TypeLetter(tag.keyType);
        out += header;
        out += tree;
    }
    Thread(out, 0, tags.size(), 0);
    PutLe32(out.data() + kPagesAt, static_cast<uint32_t>(out.size() / kPage));
    PutLe32(out.data() + kFreeAt, 0);
    PutLe32(out.data() + kAvailableAt, 0);
    return out;
}

}  // namespace kce::dbf
