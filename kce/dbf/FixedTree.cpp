#include "kce/dbf/FixedTree.h"

#include <set>

#include <cstring>

#include "kce/dbf/Bytes.h"
#include "kce/dbf/Cdx.h"
#include "kce/dbf/DbfError.h"

namespace kce::dbf {
namespace {

constexpr int kDeepestTree = 32;
constexpr uint32_t kNone = 0xFFFFFFFF;

uint32_t Get32(const TreeLayout& l, const char* p) {
    return l.bigEndian ? GetBe32(p) : GetLe32(p);
}
void Put32(const TreeLayout& l, char* p, uint32_t v) {
    if (l.bigEndian) {
        PutBe32(p, v);
    } else {
        PutLe32(p, v);
    }
}

struct TreeReader {
    const TreeLayout& layout;
    const std::string& bytes;
    uint64_t firstPage;
    const std::string& path;
    std::string what;
    std::set<uint64_t> seen;
    std::vector<std::vector<uint64_t>> levels;
    std::vector<IndexEntry> entries;
    int leafDepth = -1;

    [[noreturn]] void Refuse(int64_t at, const std::string& why) const {
        throw DbfError(path, at, what.empty() ? why : "tag " + what + ": " + why);
    }

    void CheckPage(uint64_t offset, const std::string& from, int64_t at) {
        if (offset < firstPage || (offset - firstPage) % layout.pageSize != 0 ||
            offset + layout.pageSize > bytes.size()) {
            Refuse(at, from + " points at offset " + std::to_string(offset) +
                           ", which is not a page of the file");
        }
        if (!seen.insert(offset).second) {
            Refuse(at, from + " points at the page at offset " + std::to_string(offset) +
                           ", which is reached twice");
        }
    }

    // Walks the page at `offset`; returns the key of its subtree's last entry.
    std::string Walk(uint64_t offset, int depth) {
        const TreeLayout& l = layout;
        const char* p = bytes.data() + offset;
        const auto at = static_cast<int64_t>(offset);
        const std::string where = "the page at offset " + std::to_string(offset);
        if (depth > kDeepestTree) {
            Refuse(at, "the tree is deeper than " + std::to_string(kDeepestTree) +
                           " levels at offset " + std::to_string(offset));
        }
        const size_t count = l.countSize == 2 ? GetLe16(p + l.countAt) : GetLe32(p + l.countAt);
        bool leaf;
        if (l.foxAttributes) {
            const uint16_t attributes = GetLe16(p);
            if ((attributes & ~3u) != 0)
                Refuse(at, where + " has unknown attributes " + std::to_string(attributes));
            if (((attributes & 1u) != 0) != (depth == 0)) {
                Refuse(at, where + (depth == 0 ? " is the root but not marked so"
                                               : " is marked as a root below the root"));
            }
            leaf = (attributes & 2u) != 0;
        } else {
            if (count > l.maxKeys) {
                Refuse(at, where + " holds " + std::to_string(count) + " keys, which do not fit");
            }
            leaf = Get32(l, p + l.entriesAt + count * l.entrySize + l.childAt) == 0;
        }
        const size_t slots = count + (!leaf && l.trailingChild ? 1 : 0);
        if (count > l.maxKeys || l.entriesAt + slots * l.entrySize > l.pageSize ||
            (!leaf && slots == 0) || (leaf && count == 0 && depth > 0)) {
            Refuse(at, where + " holds " + std::to_string(count) + " keys, which do not fit");
        }
        if (static_cast<int>(levels.size()) <= depth) levels.resize(static_cast<size_t>(depth) + 1);
        levels[static_cast<size_t>(depth)].push_back(offset);
        if (leaf) {
            if (leafDepth >= 0 && leafDepth != depth)
                Refuse(at, "the leaf " + where + " lies at another depth than the others");
            leafDepth = depth;
            std::string last;
            for (size_t i = 0; i < count; ++i) {
                const char* e = p + l.entriesAt + i * l.entrySize;
                const uint32_t record = Get32(l, e + l.recordAt);
                if (record == 0) {
                    Refuse(at,
                           "entry " + std::to_string(i + 1) + " of " + where + " names no record");
                }
                entries.push_back({l.toMemory(e + l.keyAt), record});
                last = entries.back().key;
            }
            return last;
        }
        std::string last;
        for (size_t i = 0; i < slots; ++i) {
            const char* e = p + l.entriesAt + i * l.entrySize;
            const uint64_t child = uint64_t{Get32(l, e + l.childAt)} * l.pointerUnit;
            CheckPage(child, "entry " + std::to_string(i + 1) + " of " + where, at);
            const size_t before = entries.size();
            last = Walk(child, depth + 1);
            if (entries.size() == before)
                Refuse(at, "the child page at offset " + std::to_string(child) + " is empty");
            if (i < count && l.toMemory(e + l.keyAt) != last) {
                Refuse(at, "entry " + std::to_string(i + 1) + " of " + where +
                               " does not hold the last key of its child page");
            }
        }
        return last;
    }
};

}  // namespace

void UseDoubleKeys(TreeLayout& layout) {
    layout.toMemory = [](const char* p) {
        double v;
        const uint64_t bits = GetLe64(p);
        std::memcpy(&v, &bits, sizeof v);
        return CdxKey(ExprValue::Number(v), 8);
    };
    layout.toFile = [](const std::string& key, char* p) {
        uint64_t bits = 0;
        for (size_t i = 0; i < 8; ++i) bits = (bits << 8) | static_cast<unsigned char>(key[i]);
        bits = (bits >> 63) != 0 ? bits & ~(uint64_t{1} << 63) : ~bits;
        PutLe64(p, bits);
    };
}

void UseTextKeys(TreeLayout& layout, size_t keyLength) {
    layout.toMemory = [keyLength](const char* p) { return std::string(p, keyLength); };
    layout.toFile = [keyLength](const std::string& key, char* p) {
        std::memcpy(p, key.data(), keyLength);
    };
}

std::vector<IndexEntry> ReadFixedTree(const TreeLayout& layout, const std::string& bytes,
                                      uint64_t firstPage, uint64_t root, const std::string& path,
                                      const std::string& what) {
    TreeReader reader{layout, bytes, firstPage, path, what, {}, {}, {}, -1};
    reader.CheckPage(root, "the root pointer", -1);
    reader.Walk(root, 0);
    if (layout.foxAttributes) {
        for (const std::vector<uint64_t>& level : reader.levels) {
            for (size_t i = 0; i < level.size(); ++i) {
                const char* p = bytes.data() + level[i];
                const uint64_t wantLeft = i == 0 ? kNone : level[i - 1];
                const uint64_t wantRight = i + 1 == level.size() ? kNone : level[i + 1];
                if (GetLe32(p + 4) != wantLeft || GetLe32(p + 8) != wantRight) {
                    reader.Refuse(static_cast<int64_t>(level[i]),
                                  "the page at offset " + std::to_string(level[i]) +
                                      " is not linked to its neighbours");
                }
            }
        }
    }
    const std::vector<IndexEntry>& e = reader.entries;
    for (size_t i = 1; i < e.size(); ++i) {
        if (e[i - 1].key > e[i].key ||
            (e[i - 1].key == e[i].key && e[i - 1].recordNumber >= e[i].recordNumber)) {
            reader.Refuse(-1, "entry " + std::to_string(i + 1) + " (record " +
                                  std::to_string(e[i].recordNumber) + ") is out of order");
        }
    }
    return std::move(reader.entries);
}

std::string BuildFixedTree(const TreeLayout& l, const std::vector<IndexEntry>& entries,
                           uint64_t base, uint64_t& root) {
    struct Node {
        std::string page;
        std::string lastKey;
    };
    std::vector<std::vector<Node>> levels(1);
    auto blank = [&](size_t count) {
        std::string page(l.pageSize, '\0');
        if (l.countSize == 2) {
            PutLe16(page.data() + l.countAt, static_cast<uint16_t>(count));
        } else {
            PutLe32(page.data() + l.countAt, static_cast<uint32_t>(count));
        }
        return page;
    };
    for (size_t first = 0; first < entries.size() || first == 0; first += l.maxKeys) {
        const size_t end = std::min(entries.size(), first + l.maxKeys);
        std::string page = blank(end - first);
        for (size_t i = first; i < end; ++i) {
            char* e = page.data() + l.entriesAt + (i - first) * l.entrySize;
            l.toFile(entries[i].key, e + l.keyAt);
            Put32(l, e + l.recordAt, entries[i].recordNumber);
        }
        if (l.foxAttributes) PutLe16(page.data(), 2);
        levels[0].push_back({std::move(page), end > first ? entries[end - 1].key : std::string()});
        if (end == entries.size()) break;
    }
    const size_t perPage = l.trailingChild ? l.maxKeys + 1 : l.maxKeys;
    std::vector<uint64_t> offsets{base};
    while (levels.back().size() > 1) {
        const std::vector<Node>& below = levels.back();
        const uint64_t belowBase = offsets.back();
        std::vector<Node> level;
        for (size_t first = 0, end = 0; first < below.size(); first = end) {
            end = std::min(below.size(), first + perPage);
            // Leave no page of one child behind when the children can be shared out.
            if (below.size() - end == 1 && end - first > 2) --end;
            const size_t keys = l.trailingChild ? end - first - 1 : end - first;
            std::string page = blank(keys);
            for (size_t i = first; i < end; ++i) {
                char* e = page.data() + l.entriesAt + (i - first) * l.entrySize;
                if (i - first < keys) l.toFile(below[i].lastKey, e + l.keyAt);
                Put32(l, e + l.childAt,
                      static_cast<uint32_t>((belowBase + i * l.pageSize) / l.pointerUnit));
            }
            level.push_back({std::move(page), below[end - 1].lastKey});
        }
        offsets.push_back(belowBase + below.size() * l.pageSize);
        levels.push_back(std::move(level));
    }
    std::string out;
    for (size_t d = 0; d < levels.size(); ++d) {
        std::vector<Node>& nodes = levels[d];
        for (size_t i = 0; i < nodes.size(); ++i) {
            char* p = nodes[i].page.data();
            if (l.foxAttributes) {
                PutLe32(p + 4,
                        i == 0 ? kNone : static_cast<uint32_t>(offsets[d] + (i - 1) * l.pageSize));
                PutLe32(p + 8, i + 1 == nodes.size()
                                   ? kNone
                                   : static_cast<uint32_t>(offsets[d] + (i + 1) * l.pageSize));
                if (d + 1 == levels.size()) PutLe16(p, static_cast<uint16_t>(GetLe16(p) | 1));
            }
            out += nodes[i].page;
        }
    }
    root = offsets.back();
    return out;
}

}  // namespace kce::dbf
