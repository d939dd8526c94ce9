#include "kce/dbf/Cdx.h"

#include <fcntl.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <set>

#include "kce/dbf/Bytes.h"
#include "kce/dbf/DbfError.h"
#include "kce/dbf/FileIo.h"

namespace kce::dbf {
namespace {

constexpr uint32_t kNone = 0xFFFFFFFF;
constexpr size_t kLeafHead = 24;
constexpr size_t kInteriorHead = 12;
constexpr uint16_t kRootBit = 0x01;
constexpr uint16_t kLeafBit = 0x02;
constexpr size_t kTagNameLength = 10;
constexpr uint16_t kLongestKey = 240;
constexpr int kDeepestTree = 32;  // far more than 2^32 records need

// Header fields: root page, free-page list, key length, options, signature, order, pool lengths.
constexpr size_t kRootAt = 0, kFreeAt = 4, kKeyLengthAt = 12, kOptionsAt = 14, kSignatureAt = 15;
constexpr size_t kOrderAt = 502, kForPoolAt = 506, kKeyPoolAt = 510, kPoolAt = 512;

int BitsFor(uint64_t value) {
    int bits = 0;
    while (bits < 64 && (value >> bits) != 0) ++bits;
    return bits;
}

uint64_t Mask(int bits) {
    return bits >= 64 ? ~uint64_t{0} : (uint64_t{1} << bits) - 1;
}

char PadByte(ExprType type) {
    return type == ExprType::Character ? ' ' : '\0';
}

struct Reader {
    const std::string& path;
    const std::string& bytes;
    std::set<uint64_t> seen;  // pages reached so far, over the whole file
    bool single = false;      // a single index: its one tag is not named in messages

    [[noreturn]] void Refuse(int64_t offset, const std::string& tag, const std::string& why) const {
        if (single) throw DbfError(path, offset, why);
        throw DbfError(path, offset,
                       (tag.empty() ? std::string("tag list") : "tag " + tag) + ": " + why);
    }

    void CheckPage(uint64_t offset, const std::string& tag, const std::string& what, int64_t from) {
        if (offset % kCdxPageSize != 0 || offset < kCdxHeaderSize ||
            offset + kCdxPageSize > bytes.size()) {
            Refuse(from, tag,
                   what + " points at offset " + std::to_string(offset) +
                       ", which is not a page of the file");
        }
        if (!seen.insert(offset).second) {
            Refuse(from, tag,
                   what + " points at the page at offset " + std::to_string(offset) +
                       ", which is reached twice");
        }
    }

    struct Header {
        uint32_t root = 0;
        uint32_t freeList = kNone;
        uint16_t keyLength = 0;
        uint8_t options = 0;
        bool descending = false;
        std::string keyExpression, forExpression;
    };

    Header ReadHeader(uint64_t at, const std::string& tag, bool directory) {
        if (at % kCdxPageSize != 0 || at + kCdxHeaderSize > bytes.size()) {
            Refuse(static_cast<int64_t>(at), tag,
                   "the header at offset " + std::to_string(at) + " is not within the file");
        }
        for (uint64_t page = at; page < at + kCdxHeaderSize; page += kCdxPageSize) {
            if (!seen.insert(page).second) {
                Refuse(static_cast<int64_t>(at), tag,
                       "the header at offset " + std::to_string(at) +
                           " overlaps another part of the file");
            }
        }
        const char* h = bytes.data() + at;
        Header out;
        out.root = GetLe32(h + kRootAt);
        out.freeList = GetLe32(h + kFreeAt);
        out.keyLength = GetLe16(h + kKeyLengthAt);
        out.options = static_cast<uint8_t>(h[kOptionsAt]);
        const auto signature = static_cast<uint8_t>(h[kSignatureAt]);
        if (signature > 1)
            Refuse(static_cast<int64_t>(at + kSignatureAt), tag,
                   "unknown signature " + Hex2(signature));
        for (size_t i = 16; i < kOrderAt; ++i) {
            if (h[i] != 0) {
                Refuse(static_cast<int64_t>(at + i), tag,
                       "the header holds a field at offset " + std::to_string(i) +
                           " that this program does not understand (a collation sequence other "
                           "than MACHINE, "
                           "or a layout it does not know)");
            }
        }
        for (size_t i : {size_t{504}, size_t{505}, size_t{508}, size_t{509}}) {
            if (h[i] != 0) {
                Refuse(static_cast<int64_t>(at + i), tag,
                       "the header holds a field at offset " + std::to_string(i) +
                           " that this program does not "
                           "understand");
            }
        }
        const uint16_t order = GetLe16(h + kOrderAt);
        if (order > 1)
            Refuse(static_cast<int64_t>(at + kOrderAt), tag,
                   "unknown key order " + std::to_string(order));
        out.descending = order == 1;
        const uint8_t allowed = directory
                                    ? (kCdxCompact | kCdxCompound | kCdxUnique | kCdxCandidate)
                                    : (kCdxCompact | kCdxUnique | kCdxHasFor | kCdxCandidate);
        if ((out.options & ~allowed) != 0 || (out.options & kCdxCompact) == 0 ||
            (directory && (out.options & kCdxCompound) == 0)) {
            Refuse(static_cast<int64_t>(at + kOptionsAt), tag,
                   "index options " + Hex2(out.options) + " that this program does not understand" +
                       ((out.options & kCdxCompact) == 0 ? " (not a compact index)" : ""));
        }
        if (out.keyLength == 0 || out.keyLength > kLongestKey) {
            Refuse(static_cast<int64_t>(at + kKeyLengthAt), tag,
                   "a key length of " + std::to_string(out.keyLength) + " bytes");
        }
        if (!directory) {
            const uint16_t keyPool = GetLe16(h + kKeyPoolAt);
            const uint16_t forPool = GetLe16(h + kForPoolAt);
            if (keyPool < 2 || size_t{keyPool} + forPool > kCdxHeaderSize - kPoolAt ||
                h[kPoolAt + keyPool - 1] != '\0' ||
                (forPool > 0 && h[kPoolAt + keyPool + forPool - 1] != '\0')) {
                Refuse(static_cast<int64_t>(at + kKeyPoolAt), tag,
                       "the expression lengths do not fit the header");
            }
            out.keyExpression.assign(h + kPoolAt, std::strlen(h + kPoolAt));
            if (forPool > 1)
                out.forExpression.assign(h + kPoolAt + keyPool, std::strlen(h + kPoolAt + keyPool));
            if (((out.options & kCdxHasFor) != 0) != !out.forExpression.empty()) {
                Refuse(static_cast<int64_t>(at + kOptionsAt), tag,
                       "the FOR option and the FOR expression do not agree");
            }
        }
        return out;
    }

    struct Walk {
        std::vector<std::vector<uint64_t>> levels;  // pages per depth, left to right
        std::vector<CdxEntry> entries;
        int leafDepth = -1;
    };

    // Walks the page at `offset` at `depth`; returns its last entry.
    CdxEntry WalkPage(uint64_t offset, int depth, const Header& header, char pad,
                      const std::string& tag, Walk& walk) {
        const char* p = bytes.data() + offset;
        const auto at = static_cast<int64_t>(offset);
        const uint16_t attributes = GetLe16(p);
        const uint16_t count = GetLe16(p + 2);
        const size_t length = header.keyLength;
        if ((attributes & ~(kRootBit | kLeafBit)) != 0) {
            Refuse(at, tag,
                   "the page at offset " + std::to_string(offset) + " has unknown attributes " +
                       std::to_string(attributes));
        }
        if (((attributes & kRootBit) != 0) != (depth == 0)) {
            Refuse(at, tag,
                   "the page at offset " + std::to_string(offset) +
                       (depth == 0 ? " is the root but not marked so"
                                   : " is marked as a root below the root"));
        }
        if (depth > kDeepestTree) {
            Refuse(at, tag,
                   "the tree is deeper than " + std::to_string(kDeepestTree) +
                       " levels at offset " + std::to_string(offset));
        }
        if (static_cast<int>(walk.levels.size()) <= depth)
            walk.levels.resize(static_cast<size_t>(depth) + 1);
        walk.levels[static_cast<size_t>(depth)].push_back(offset);

        if ((attributes & kLeafBit) == 0) {
            if (count == 0 || kInteriorHead + count * (length + 8) > kCdxPageSize) {
                Refuse(at, tag,
                       "the interior page at offset " + std::to_string(offset) + " holds " +
                           std::to_string(count) + " keys, which do not fit");
            }
            CdxEntry last;
            for (size_t i = 0; i < count; ++i) {
                const char* e = p + kInteriorHead + i * (length + 8);
                CdxEntry mine{std::string(e, length), GetBe32(e + length)};
                const uint32_t child = GetBe32(e + length + 4);
                CheckPage(child, tag,
                          "entry " + std::to_string(i + 1) + " of the page at offset " +
                              std::to_string(offset),
                          at);
                last = WalkPage(child, depth + 1, header, pad, tag, walk);
                if (!(last == mine)) {
                    Refuse(at, tag,
                           "entry " + std::to_string(i + 1) + " of the page at offset " +
                               std::to_string(offset) +
                               " does not hold the last key of its child page");
                }
            }
            return last;
        }

        if (walk.leafDepth >= 0 && walk.leafDepth != depth) {
            Refuse(at, tag,
                   "the leaf page at offset " + std::to_string(offset) +
                       " lies at another depth than the others");
        }
        walk.leafDepth = depth;
        const uint16_t free = GetLe16(p + 12);
        const uint64_t recordMask = GetLe32(p + 14);
        const auto dupMask = static_cast<uint8_t>(p[18]);
        const auto trailMask = static_cast<uint8_t>(p[19]);
        const int recordBits = static_cast<uint8_t>(p[20]);
        const int dupBits = static_cast<uint8_t>(p[21]);
        const int trailBits = static_cast<uint8_t>(p[22]);
        const size_t infoBytes = static_cast<uint8_t>(p[23]);
        const std::string where = "the leaf page at offset " + std::to_string(offset);
        if (infoBytes == 0 || infoBytes > 8 || recordBits == 0 || recordBits > 32 ||
            recordBits + dupBits + trailBits > static_cast<int>(infoBytes * 8) ||
            recordMask != Mask(recordBits) || dupMask != Mask(dupBits) ||
            trailMask != Mask(trailBits) || Mask(dupBits) < length || Mask(trailBits) < length) {
            Refuse(at + 14, tag,
                   where + " packs its entries in a way this program does not understand");
        }
        if (kLeafHead + count * infoBytes > kCdxPageSize) {
            Refuse(at + 2, tag,
                   where + " holds " + std::to_string(count) + " keys, which do not fit");
        }
        size_t end = kCdxPageSize;
        std::string previous;
        CdxEntry last;
        for (size_t i = 0; i < count; ++i) {
            uint64_t info = 0;
            for (size_t b = 0; b < infoBytes; ++b) {
                info |= uint64_t{static_cast<uint8_t>(p[kLeafHead + i * infoBytes + b])} << (8 * b);
            }
            const auto record = static_cast<uint32_t>(info & recordMask);
            const size_t dup = (info >> recordBits) & dupMask;
            const size_t trail = (info >> (recordBits + dupBits)) & trailMask;
            if (record == 0 || dup + trail > length || (i == 0 && dup != 0)) {
                Refuse(at + static_cast<int64_t>(kLeafHead + i * infoBytes), tag,
                       "entry " + std::to_string(i + 1) + " of " + where + " is not a valid entry");
            }
            const size_t data = length - dup - trail;
            if (end < data || end - data < kLeafHead + count * infoBytes) {
                Refuse(at, tag, "the keys of " + where + " overlap its entry list");
            }
            end -= data;
            std::string key =
                previous.substr(0, dup) + std::string(p + end, data) + std::string(trail, pad);
            previous = key;
            last = {std::move(key), record};
            walk.entries.push_back(last);
        }
        if (free != end - (kLeafHead + count * infoBytes)) {
            Refuse(at + 12, tag,
                   where + " counts " + std::to_string(free) + " free bytes but has " +
                       std::to_string(end - (kLeafHead + count * infoBytes)));
        }
        return last;
    }

    std::vector<CdxEntry> ReadTree(const Header& header, char pad, const std::string& tag,
                                   int64_t headerAt) {
        CheckPage(header.root, tag, "the root pointer", headerAt);
        Walk walk;
        WalkPage(header.root, 0, header, pad, tag, walk);
        // Every level's pages are chained left to right.
        for (const std::vector<uint64_t>& level : walk.levels) {
            for (size_t i = 0; i < level.size(); ++i) {
                const char* p = bytes.data() + level[i];
                const uint32_t left = GetLe32(p + 4), right = GetLe32(p + 8);
                const uint64_t wantLeft = i == 0 ? kNone : level[i - 1];
                const uint64_t wantRight = i + 1 == level.size() ? kNone : level[i + 1];
                if (left != wantLeft || right != wantRight) {
                    Refuse(static_cast<int64_t>(level[i]), tag,
                           "the page at offset " + std::to_string(level[i]) +
                               " is not linked to its neighbours");
                }
            }
        }
        for (size_t i = 1; i < walk.entries.size(); ++i) {
            const CdxEntry& a = walk.entries[i - 1];
            const CdxEntry& b = walk.entries[i];
            if (a.key > b.key || (a.key == b.key && a.recordNumber >= b.recordNumber)) {
                Refuse(-1, tag,
                       "entry " + std::to_string(i + 1) + " (record " +
                           std::to_string(b.recordNumber) + ") is out of order");
            }
        }
        // The free-page list.
        for (uint32_t page = header.freeList; page != kNone && page != 0;) {
            CheckPage(page, tag, "the free-page list", headerAt);
            page = GetLe32(bytes.data() + page + 4);
        }
        return std::move(walk.entries);
    }
};

// Packs entries into leaf pages: the layout of their entry fields and which entries go on which
// page.
struct LeafPlan {
    int recordBits = 0, dupBits = 0, trailBits = 0;
    size_t infoBytes = 0;
    std::vector<std::pair<size_t, size_t>> pages;  // [first, end) entry ranges
};

size_t TrailOf(const std::string& key, char pad) {
    size_t n = 0;
    while (n < key.size() && key[key.size() - 1 - n] == pad) ++n;
    return n;
}

size_t DupOf(const std::string& a, const std::string& b) {
    size_t n = 0;
    while (n < a.size() && n < b.size() && a[n] == b[n]) ++n;
    return n;
}

LeafPlan PlanLeaves(const std::vector<CdxEntry>& entries, size_t length, char pad) {
    LeafPlan plan;
    uint64_t highest = 1;
    for (const CdxEntry& e : entries) highest = std::max<uint64_t>(highest, e.recordNumber);
    plan.dupBits = plan.trailBits = BitsFor(length);
    plan.recordBits = BitsFor(highest);
    plan.infoBytes = static_cast<size_t>((plan.recordBits + plan.dupBits + plan.trailBits + 7) / 8);
    plan.recordBits =
        std::min(32, static_cast<int>(plan.infoBytes * 8) - plan.dupBits - plan.trailBits);
    size_t first = 0, room = kCdxPageSize - kLeafHead;
    for (size_t i = 0; i < entries.size(); ++i) {
        const size_t trail = TrailOf(entries[i].key, pad);
        size_t dup =
            i == first ? 0 : std::min(DupOf(entries[i - 1].key, entries[i].key), length - trail);
        size_t need = plan.infoBytes + length - dup - trail;
        if (need > room) {
            plan.pages.emplace_back(first, i);
            first = i;
            room = kCdxPageSize - kLeafHead;
            need = plan.infoBytes + length - trail;
        }
        room -= need;
    }
    plan.pages.emplace_back(first, entries.size());
    return plan;
}

struct Level {
    std::vector<std::string> pages;
    std::vector<CdxEntry> lasts;  // the last entry of each page
};

// The pages of a tree of `entries` placed from `base`; sets `root`.
std::string BuildTree(const std::vector<CdxEntry>& entries, size_t length, char pad, uint64_t base,
                      uint32_t& root) {
    const LeafPlan plan = PlanLeaves(entries, length, pad);
    std::vector<Level> levels(1);
    for (const auto& [first, end] : plan.pages) {
        std::string page(kCdxPageSize, '\0');
        char* p = page.data();
        PutLe16(p + 2, static_cast<uint16_t>(end - first));
        PutLe32(p + 14, static_cast<uint32_t>(Mask(plan.recordBits)));
        p[18] = static_cast<char>(Mask(plan.dupBits));
        p[19] = static_cast<char>(Mask(plan.trailBits));
        p[20] = static_cast<char>(plan.recordBits);
        p[21] = static_cast<char>(plan.dupBits);
        p[22] = static_cast<char>(plan.trailBits);
        p[23] = static_cast<char>(plan.infoBytes);
        size_t at = kCdxPageSize;
        for (size_t i = first; i < end; ++i) {
            const std::string& key = entries[i].key;
            const size_t trail = TrailOf(key, pad);
            const size_t dup =
                i == first ? 0 : std::min(DupOf(entries[i - 1].key, key), length - trail);
            const size_t data = length - dup - trail;
            at -= data;
            std::memcpy(p + at, key.data() + dup, data);
            const uint64_t info = uint64_t{entries[i].recordNumber} |
                                  (uint64_t{dup} << plan.recordBits) |
                                  (uint64_t{trail} << (plan.recordBits + plan.dupBits));
            for (size_t b = 0; b < plan.infoBytes; ++b) {
                p[kLeafHead + (i - first) * plan.infoBytes + b] =
                    static_cast<char>(info >> (8 * b));
            }
        }
        PutLe16(p + 12, static_cast<uint16_t>(at - (kLeafHead + (end - first) * plan.infoBytes)));
        PutLe16(p, kLeafBit);
        levels[0].pages.push_back(std::move(page));
        levels[0].lasts.push_back(end > first ? entries[end - 1] : CdxEntry{});
    }
    // Interior levels over the level below, until one page is left.
    const size_t perPage = (kCdxPageSize - kInteriorHead) / (length + 8);
    std::vector<uint64_t> firstOffset{base};
    while (levels.back().pages.size() > 1) {
        const Level& below = levels.back();
        const uint64_t belowBase = firstOffset.back();
        Level level;
        for (size_t first = 0; first < below.pages.size(); first += perPage) {
            const size_t end = std::min(below.pages.size(), first + perPage);
            std::string page(kCdxPageSize, '\0');
            char* p = page.data();
            PutLe16(p + 2, static_cast<uint16_t>(end - first));
            for (size_t i = first; i < end; ++i) {
                char* e = p + kInteriorHead + (i - first) * (length + 8);
                std::memcpy(e, below.lasts[i].key.data(), length);
                PutBe32(e + length, below.lasts[i].recordNumber);
                PutBe32(e + length + 4, static_cast<uint32_t>(belowBase + i * kCdxPageSize));
            }
            level.pages.push_back(std::move(page));
            level.lasts.push_back(below.lasts[end - 1]);
        }
        firstOffset.push_back(belowBase + below.pages.size() * kCdxPageSize);
        levels.push_back(std::move(level));
    }
    std::string out;
    for (size_t l = 0; l < levels.size(); ++l) {
        std::vector<std::string>& pages = levels[l].pages;
        for (size_t i = 0; i < pages.size(); ++i) {
            char* p = pages[i].data();
            PutLe32(p + 4, i == 0 ? kNone
                                  : static_cast<uint32_t>(firstOffset[l] + (i - 1) * kCdxPageSize));
            PutLe32(p + 8, i + 1 == pages.size()
                               ? kNone
                               : static_cast<uint32_t>(firstOffset[l] + (i + 1) * kCdxPageSize));
            if (l + 1 == levels.size()) PutLe16(p, static_cast<uint16_t>(GetLe16(p) | kRootBit));
            out += pages[i];
        }
    }
    root = static_cast<uint32_t>(firstOffset.back());
    return out;
}

std::string HeaderBytes(uint32_t root, uint16_t keyLength, uint8_t options, bool descending,
                        const std::string& keyExpression, const std::string& forExpression) {
    std::string h(kCdxHeaderSize, '\0');
    PutLe32(h.data() + kRootAt, root);
    PutLe32(h.data() + kFreeAt, kNone);
    PutLe16(h.data() + kKeyLengthAt, keyLength);
    h[kOptionsAt] = static_cast<char>(options);
    h[kSignatureAt] = 1;
    PutLe16(h.data() + kOrderAt, descending ? 1 : 0);
    if (!keyExpression.empty()) {
        PutLe16(h.data() + kKeyPoolAt, static_cast<uint16_t>(keyExpression.size() + 1));
        std::memcpy(h.data() + kPoolAt, keyExpression.data(), keyExpression.size());
        if (!forExpression.empty()) {
            PutLe16(h.data() + kForPoolAt, static_cast<uint16_t>(forExpression.size() + 1));
            std::memcpy(h.data() + kPoolAt + keyExpression.size() + 1, forExpression.data(),
                        forExpression.size());
        }
    }
    return h;
}

// Reads the header of the tag at `at` and its entries into `tag` (named already).
void ReadTag(Reader& reader, uint64_t at, const std::vector<Column>& columns, CodePage codePage,
             CdxTag& tag) {
    const std::string& path = reader.path;
    const std::string label = reader.single ? std::string() : tag.name;
    const Reader::Header header = reader.ReadHeader(at, tag.name, false);
    tag.keyExpression = header.keyExpression;
    tag.forExpression = header.forExpression;
    tag.keyLength = header.keyLength;
    tag.unique = (header.options & kCdxUnique) != 0;
    tag.candidate = (header.options & kCdxCandidate) != 0;
    tag.descending = header.descending;
    const auto where = static_cast<int64_t>(at + kPoolAt);
    const Expression key =
        ParseTagExpression(tag.keyExpression, columns, codePage, path, label, where);
    const size_t wanted = key.Type() == ExprType::Logical     ? 1
                          : key.Type() == ExprType::Character ? 0
                                                              : 8;
    if (wanted != 0 && wanted != tag.keyLength) {
        reader.Refuse(static_cast<int64_t>(at + kKeyLengthAt), tag.name,
                      std::string("a ") + ExprTypeName(key.Type()) + " key of " +
                          std::to_string(tag.keyLength) + " bytes");
    }
    if (!tag.forExpression.empty()) {
        const Expression filter =
            ParseTagExpression(tag.forExpression, columns, codePage, path, label, where);
        if (filter.Type() != ExprType::Logical) {
            reader.Refuse(where, tag.name,
                          "the FOR expression " + tag.forExpression + " is not logical");
        }
    }
    tag.keyType = key.Type();
    tag.entries = reader.ReadTree(header, PadByte(key.Type()), tag.name, static_cast<int64_t>(at));
    if (tag.unique || tag.candidate) {
        for (size_t i = 1; i < tag.entries.size(); ++i) {
            if (tag.entries[i].key == tag.entries[i - 1].key) {
                reader.Refuse(-1, tag.name,
                              "records " + std::to_string(tag.entries[i - 1].recordNumber) +
                                  " and " + std::to_string(tag.entries[i].recordNumber) +
                                  " share a key in a unique tag");
            }
        }
    }
}

// A tag's header and pages, placed at `at`.
std::string TagBytes(const CdxTag& tag, uint64_t at) {
    uint32_t root = 0;
    std::string tree =
        BuildTree(tag.entries, tag.keyLength, PadByte(tag.keyType), at + kCdxHeaderSize, root);
    uint8_t options = kCdxCompact;
    if (tag.unique) options |= kCdxUnique;
    if (tag.candidate) options |= kCdxCandidate;
    if (!tag.forExpression.empty()) options |= kCdxHasFor;
    return HeaderBytes(root, tag.keyLength, options, tag.descending, tag.keyExpression,
                       tag.forExpression) +
           tree;
}

}  // namespace

std::vector<CdxTag> ReadCdx(const std::string& path, const std::vector<Column>& columns,
                            CodePage codePage) {
    std::string bytes;
    {
        Fd fd = OpenFile(path, O_RDONLY | O_CLOEXEC);
        bytes.resize(FileSize(fd.Get(), path));
        bytes.resize(ReadAt(fd.Get(), 0, bytes.data(), bytes.size(), path));
    }
    return ParseCdx(bytes, path, columns, codePage);
}

std::vector<CdxTag> ParseCdx(const std::string& bytes, const std::string& path,
                             const std::vector<Column>& columns, CodePage codePage) {
    if (bytes.size() < kCdxHeaderSize || bytes.size() % kCdxPageSize != 0) {
        throw DbfError(
            path, -1,
            "the file of " + std::to_string(bytes.size()) +
                " bytes is not a compound index (whole 512-byte pages after a 1024-byte header)");
    }
    Reader reader{path, bytes, {}};
    const Reader::Header directory = reader.ReadHeader(0, "", true);
    if (directory.keyLength != kTagNameLength) {
        reader.Refuse(kKeyLengthAt, "",
                      "tag names of " + std::to_string(directory.keyLength) + " bytes");
    }
    std::vector<CdxEntry> names = reader.ReadTree(directory, ' ', "", 0);
    std::vector<CdxTag> tags;
    for (const CdxEntry& entry : names) {
        CdxTag tag;
        tag.name = entry.key;
        while (!tag.name.empty() && (tag.name.back() == ' ' || tag.name.back() == '\0'))
            tag.name.pop_back();
        const uint64_t at = entry.recordNumber;
        ReadTag(reader, at, columns, codePage, tag);
        tags.push_back(std::move(tag));
    }
    return tags;
}

std::string CdxKey(const ExprValue& value, size_t keyLength) {
    switch (value.type) {
        case ExprType::Character: {
            std::string key = value.text.substr(0, keyLength);
            key.resize(keyLength, ' ');
            return key;
        }
        case ExprType::Logical:
            return std::string(1, value.logical ? 'T' : 'F');
        default: {
            double v = value.number == 0 ? 0.0 : value.number;  // no negative zero
            uint64_t bits;
            std::memcpy(&bits, &v, sizeof bits);
            bits = (bits >> 63) != 0 ? ~bits : bits | (uint64_t{1} << 63);
            std::string key(8, '\0');
            for (int i = 0; i < 8; ++i)
                key[static_cast<size_t>(i)] = static_cast<char>(bits >> (56 - 8 * i));
            return key;
        }
    }
}

uint16_t CdxKeyLength(const Expression& expression, size_t recordLength) {
    switch (expression.Type()) {
        case ExprType::Logical:
            return 1;
        case ExprType::Character: {
            const std::string blank(recordLength, ' ');
            return static_cast<uint16_t>(
                std::min<size_t>(expression.Evaluate(blank, 1).text.size(), kLongestKey));
        }
        default:
            return 8;
    }
}

std::vector<CdxEntry> CdxTagEntries(const CdxTag& tag, const std::vector<std::string>& records,
                                    const std::vector<Column>& columns, CodePage codePage,
                                    const std::string& indexFile) {
    return TagEntries(tag, records, columns, codePage, indexFile);
}

std::string BuildCdx(const std::vector<CdxTag>& input) {
    std::vector<const CdxTag*> tags;
    for (const CdxTag& t : input) tags.push_back(&t);
    std::sort(tags.begin(), tags.end(),
              [](const CdxTag* a, const CdxTag* b) { return a->name < b->name; });
    std::string out(kCdxHeaderSize, '\0');
    std::vector<CdxEntry> names;
    for (const CdxTag* tag : tags) {
        const uint64_t at = out.size();
        out += TagBytes(*tag, at);
        std::string name = tag->name.substr(0, kTagNameLength);
        name.resize(kTagNameLength, ' ');
        names.push_back({name, static_cast<uint32_t>(at)});
    }
    uint32_t root = 0;
    std::string tree = BuildTree(names, kTagNameLength, ' ', out.size(), root);
    out.replace(0, kCdxHeaderSize,
                HeaderBytes(root, kTagNameLength, kCdxCompact | kCdxCompound, false, "", ""));
    out += tree;
    return out;
}

}  // namespace kce::dbf

namespace kce::dbf {

CdxTag ParseCompactIdx(const std::string& bytes, const std::string& path,
                       const std::vector<Column>& columns, CodePage codePage,
                       const std::string& name) {
    if (bytes.size() < kCdxHeaderSize + kCdxPageSize || bytes.size() % kCdxPageSize != 0) {
        throw DbfError(path, -1,
                       "the file of " + std::to_string(bytes.size()) +
                           " bytes is not a compact single index (whole 512-byte pages after a "
                           "1024-byte header)");
    }
    Reader reader{path, bytes, {}, true};
    CdxTag tag;
    tag.name = name;
    tag.format = IndexFormat::Idx;
    ReadTag(reader, 0, columns, codePage, tag);
    return tag;
}

std::string BuildCompactIdx(const CdxTag& tag) {
    return TagBytes(tag, 0);
}

}  // namespace kce::dbf
