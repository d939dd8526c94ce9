#include "kce/dbf/Index.h"

#include <fcntl.h>

#include <algorithm>
#include <cctype>
#include <iterator>
#include <optional>

#include "common/Calendar.h"
#include "kce/dbf/Cdx.h"
#include "kce/dbf/DbfError.h"
#include "kce/dbf/FileIo.h"
#include "kce/dbf/IndexFormats.h"

namespace kce::dbf {
namespace {

std::string LowerExtension(const std::string& path) {
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string extension = path.substr(dot);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension;
}

// A single index's one tag is named after its file, in upper case.
std::string StemOf(const std::string& path) {
    std::string name = FileNameOf(path);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos) name.resize(dot);
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return name;
}

// A Clipper numeric key: the STR text of the value with leading blanks as zeros, so that texts
// compare as the numbers do; a negative number's digits are each turned to 0x5C minus the digit
// ("0" becomes ",", "9" becomes "#"; the point stays), so that it sorts before every positive one
// and the larger its magnitude the earlier (assumed).
std::string NtxNumber(double value, size_t length, uint16_t decimals) {
    const bool negative = value < 0;
    std::string text =
        StrText(negative ? -value : value, static_cast<int>(length), static_cast<int>(decimals));
    for (char& c : text) {
        if (c == ' ') c = '0';
        if (negative && ((c >= '0' && c <= '9') || c == '.')) c = static_cast<char>(0x5C - c);
    }
    return text;
}

}  // namespace

const char* IndexFormatName(IndexFormat format) {
    switch (format) {
        case IndexFormat::Cdx:
            return "compound index";
        case IndexFormat::Idx:
            return "single index";
        case IndexFormat::Ntx:
            return "Clipper index";
        case IndexFormat::Ndx:
            return "dBase III index";
        case IndexFormat::Mdx:
            return "dBase IV multiple index";
    }
    return "index";
}

std::optional<IndexFormat> IndexFormatOf(const std::string& path) {
    const std::string extension = LowerExtension(path);
    if (extension == ".cdx") return IndexFormat::Cdx;
    if (extension == ".idx") return IndexFormat::Idx;
    if (extension == ".ntx") return IndexFormat::Ntx;
    if (extension == ".ndx") return IndexFormat::Ndx;
    if (extension == ".mdx") return IndexFormat::Mdx;
    return std::nullopt;
}

std::string IndexKey(IndexFormat format, const ExprValue& value, size_t keyLength,
                     uint16_t decimals) {
    if (format != IndexFormat::Ntx || value.type == ExprType::Character ||
        value.type == ExprType::Logical) {
        return CdxKey(value, keyLength);
    }
    if (value.type == ExprType::Numeric) return NtxNumber(value.number, keyLength, decimals);
    // A Clipper date key is the DTOS text, blanks for an empty date.
    if (value.number == 0) return std::string(keyLength, ' ');
    const parvell::CivilDate date = parvell::CivilFromJulian(static_cast<int64_t>(value.number));
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d%02d%02d", date.year, date.month, date.day);
    return CdxKey(ExprValue::Text(buffer), keyLength);
}

Expression ParseTagExpression(const std::string& text, const std::vector<Column>& columns,
                              CodePage codePage, const std::string& path, const std::string& tag,
                              int64_t offset) {
    try {
        return Expression::Parse(text, columns, codePage, path);
    } catch (const DbfUnknownFieldError& e) {
        throw DbfUnknownFieldError(path, offset,
                                   tag.empty() ? e.Detail() : "tag " + tag + ": " + e.Detail());
    } catch (const DbfError& e) {
        throw DbfError(path, offset, tag.empty() ? e.Detail() : "tag " + tag + ": " + e.Detail());
    }
}

namespace {

// The key and FOR expressions of a tag, parsed once for the records of a change.
class TagKeys {
public:
    TagKeys(const IndexTag& tag, const std::vector<Column>& columns, CodePage codePage,
            const std::string& indexFile)
        : tag_(tag),
          indexFile_(indexFile),
          key_(ParseTagExpression(tag.keyExpression, columns, codePage, indexFile, tag.name, -1)) {
        if (!tag.forExpression.empty())
            filter_ =
                ParseTagExpression(tag.forExpression, columns, codePage, indexFile, tag.name, -1);
    }
    // Appends the entry of record `number` when it passes the filter.
    void Add(std::string_view record, uint32_t number, std::vector<IndexEntry>& entries) const {
        try {
            if (filter_ && !filter_->Evaluate(record, number).logical) return;
            entries.push_back({IndexKey(tag_.format, key_.Evaluate(record, number), tag_.keyLength,
                                        tag_.keyDecimals),
                               number});
        } catch (const DbfError& e) {
            throw DbfError(indexFile_, -1, "tag " + tag_.name + ": " + e.Detail());
        }
    }

private:
    const IndexTag& tag_;
    const std::string& indexFile_;
    Expression key_;
    std::optional<Expression> filter_;
};

bool KeyOrder(const IndexEntry& a, const IndexEntry& b) {
    return a.key < b.key;
}

}  // namespace

std::vector<IndexEntry> TagEntries(const IndexTag& tag, const std::vector<std::string>& records,
                                   const std::vector<Column>& columns, CodePage codePage,
                                   const std::string& indexFile) {
    return TagEntries(
        tag,
        RecordSource{static_cast<uint32_t>(records.size()),
                     [&](uint32_t number) -> std::string_view { return records[number - 1]; }},
        columns, codePage, indexFile);
}

void UpdateTagEntries(IndexTag& tag, const std::vector<uint32_t>& changed,
                      const RecordSource& records, const std::vector<Column>& columns,
                      CodePage codePage, const std::string& indexFile) {
    if (tag.unique || tag.candidate) {
        tag.entries = TagEntries(tag, records, columns, codePage, indexFile);
        return;
    }
    const TagKeys keys(tag, columns, codePage, indexFile);
    std::vector<IndexEntry> added;
    for (uint32_t number : changed) keys.Add(records.at(number), number, added);
    std::stable_sort(added.begin(), added.end(), KeyOrder);
    std::vector<IndexEntry> kept;
    kept.reserve(tag.entries.size() + added.size());
    for (IndexEntry& e : tag.entries) {
        if (!std::binary_search(changed.begin(), changed.end(), e.recordNumber))
            kept.push_back(std::move(e));
    }
    // Equal keys stay in record order, as a tag made anew has them.
    std::vector<IndexEntry> merged;
    merged.reserve(kept.size() + added.size());
    std::merge(std::make_move_iterator(kept.begin()), std::make_move_iterator(kept.end()),
               std::make_move_iterator(added.begin()), std::make_move_iterator(added.end()),
               std::back_inserter(merged), [](const IndexEntry& a, const IndexEntry& b) {
                   return a.key < b.key || (a.key == b.key && a.recordNumber < b.recordNumber);
               });
    tag.entries = std::move(merged);
}

std::vector<IndexEntry> TagEntries(const IndexTag& tag, const RecordSource& records,
                                   const std::vector<Column>& columns, CodePage codePage,
                                   const std::string& indexFile) {
    const TagKeys keys(tag, columns, codePage, indexFile);
    std::vector<IndexEntry> entries;
    entries.reserve(records.count);
    for (uint32_t number = 1; number <= records.count; ++number)
        keys.Add(records.at(number), number, entries);
    std::stable_sort(entries.begin(), entries.end(), KeyOrder);
    if (tag.unique || tag.candidate) {
        std::vector<IndexEntry> kept;
        for (IndexEntry& e : entries) {
            if (!kept.empty() && kept.back().key == e.key) {
                if (tag.candidate) {
                    throw DbfError(
                        indexFile, -1,
                        "tag " + tag.name + ": records " +
                            std::to_string(kept.back().recordNumber) + " and " +
                            std::to_string(e.recordNumber) +
                            " have the same key, which the candidate tag does not allow");
                }
                continue;
            }
            kept.push_back(std::move(e));
        }
        entries = std::move(kept);
    }
    return entries;
}

IndexFile ReadIndex(const std::string& path, const std::vector<Column>& columns,
                    CodePage codePage) {
    const std::optional<IndexFormat> format = IndexFormatOf(path);
    if (!format) throw DbfError(path, -1, "not an index file this program knows by its name");
    std::string bytes;
    {
        Fd fd = OpenFile(path, O_RDONLY | O_CLOEXEC);
        bytes.resize(FileSize(fd.Get(), path));
        bytes.resize(ReadAt(fd.Get(), 0, bytes.data(), bytes.size(), path));
    }
    return ParseIndex(*format, bytes, path, columns, codePage);
}

IndexFile ParseIndex(IndexFormat format, const std::string& bytes, const std::string& path,
                     const std::vector<Column>& columns, CodePage codePage) {
    IndexFile index;
    index.format = format;
    switch (format) {
        case IndexFormat::Cdx:
            index.tags = ParseCdx(bytes, path, columns, codePage);
            break;
        case IndexFormat::Idx:
            // The compact form has its option bit in the header's byte 14; FoxBASE's does not.
            index.compact = bytes.size() > 14 && (bytes[14] & kCdxCompact) != 0;
            index.tags.push_back(
                index.compact ? ParseCompactIdx(bytes, path, columns, codePage, StemOf(path))
                              : ParseFoxBaseIdx(bytes, path, columns, codePage, StemOf(path)));
            break;
        case IndexFormat::Ntx:
            index.tags.push_back(
                ParseNtx(bytes, path, columns, codePage, StemOf(path), index.changeCounter));
            break;
        case IndexFormat::Ndx:
            index.tags.push_back(ParseNdx(bytes, path, columns, codePage, StemOf(path)));
            break;
        case IndexFormat::Mdx:
            index = ParseMdx(bytes, path, columns, codePage);
            break;
    }
    for (IndexTag& tag : index.tags) tag.format = format;
    return index;
}

std::string BuildIndex(const IndexFile& index, const std::string& path) {
    if (index.format != IndexFormat::Cdx && index.format != IndexFormat::Mdx &&
        index.tags.size() != 1) {
        throw DbfError(path, -1,
                       std::string("a ") + IndexFormatName(index.format) + " holds one tag, not " +
                           std::to_string(index.tags.size()));
    }
    switch (index.format) {
        case IndexFormat::Cdx:
            return BuildCdx(index.tags);
        case IndexFormat::Idx:
            return index.compact ? BuildCompactIdx(index.tags.front())
                                 : BuildFoxBaseIdx(index.tags.front(), path);
        case IndexFormat::Ntx:
            return BuildNtx(index.tags.front(), index.changeCounter, path);
        case IndexFormat::Ndx:
            return BuildNdx(index.tags.front(), path);
        case IndexFormat::Mdx:
            return BuildMdx(index, path);
    }
    return {};
}

}  // namespace kce::dbf
