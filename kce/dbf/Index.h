#pragma once
// Index files of folder tables in every format this library reads and writes: the FoxPro compound
// (.cdx) and single (.idx, compact and non-compact) indexes, Clipper's .ntx, dBase III's .ndx and
// dBase IV's multiple index (.mdx). Each is read into tags with their entries, and laid out again
// as a whole file of the same format; INDEXES.md describes each layout as we read and write it.
//
// Keys in memory compare byte by byte in index order, whatever the format keeps in the file:
// character keys are the text in the table's code page (MACHINE order); numbers and dates are, in
// the FoxPro and dBase formats, the 8 sortable bytes of CdxKey (the readers and writers convert
// from and to the file's own number forms); Clipper keeps every key as text (IndexKey).
//
// A reader refuses, with a DbfError naming the index file and saying what, whatever it does not
// understand and any damage (a truncated file, a page outside the file, a page reached twice, keys
// out of order). Reading a table never depends on its index files.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kce/dbf/Expression.h"
#include "kce/dbf/Types.h"

namespace kce::dbf {

enum class IndexFormat : uint8_t { Cdx, Idx, Ntx, Ndx, Mdx };
// "compound index", "single index", …, for messages.
const char* IndexFormatName(IndexFormat format);
// The format of an index file by its extension (any case); none for another file.
std::optional<IndexFormat> IndexFormatOf(const std::string& path);

struct IndexEntry {
    std::string key;        // keyLength bytes, as IndexKey gives them
    uint32_t recordNumber;  // from 1
    bool operator==(const IndexEntry& o) const {
        return key == o.key && recordNumber == o.recordNumber;
    }
};

struct IndexTag {
    std::string name;  // as stored, upper case, without trailing blanks (a single index: its file)
    std::string keyExpression;
    std::string forExpression;  // empty when the tag has none
    IndexFormat format = IndexFormat::Cdx;
    uint16_t keyLength = 0;    // of the keys in memory
    uint16_t keyDecimals = 0;  // Clipper numeric keys: the decimals of their text
    ExprType keyType =
        ExprType::Character;  // of the key expression: decides the blank byte of keys
    bool unique = false;
    bool candidate = false;
    bool descending = false;
    std::vector<IndexEntry> entries;  // in stored (ascending key) order
};

struct IndexFile {
    IndexFormat format = IndexFormat::Cdx;
    bool compact = true;  // .idx: the compact form (the other is FoxBASE's)
    std::vector<IndexTag> tags;
    // Header fields kept as read and written back: a Clipper file's change counter; a dBase IV
    // file's creation date and table name.
    uint32_t changeCounter = 0;
    std::string tableName;
    std::string created;  // 3 bytes, year - 1900, month, day
};

// The key bytes of `value` in a tag of `format` with keys of `keyLength` bytes (and, for Clipper's
// numeric keys, `decimals` decimals).
std::string IndexKey(IndexFormat format, const ExprValue& value, size_t keyLength,
                     uint16_t decimals = 0);

// Reads the index file `path` (its format by its extension) of a table with `columns` in
// `codePage`. Throws DbfError (see above), DbfUnknownFieldError when an expression of the file
// names a field the table does not have.
IndexFile ReadIndex(const std::string& path, const std::vector<Column>& columns, CodePage codePage);
// The same for the bytes of such a file; `path` is named in errors.
IndexFile ParseIndex(IndexFormat format, const std::string& bytes, const std::string& path,
                     const std::vector<Column>& columns, CodePage codePage);
// The bytes of a whole file holding `index`. Throws DbfError naming `path` for tags the format
// cannot hold (too many, keys too long).
std::string BuildIndex(const IndexFile& index, const std::string& path);

// The entries that `tag` (its expressions, flags, format and key length; its entries are not used)
// must hold for the records `records` (raw, deletion flag first, numbered from 1), in stored order:
// one per record that passes the FOR filter (deleted records included), or for a unique tag one
// per key, the first record's. Throws DbfError naming `indexFile` and the tag for an expression
// the evaluator refuses, or a candidate tag's key that two records share.
std::vector<IndexEntry> TagEntries(const IndexTag& tag, const std::vector<std::string>& records,
                                   const std::vector<Column>& columns, CodePage codePage,
                                   const std::string& indexFile);

// A table's records as a change leaves them: `count` of them, record `number` (from 1) as
// `at(number)` gives it (raw, deletion flag first).
struct RecordSource {
    uint32_t count = 0;
    std::function<std::string_view(uint32_t number)> at;
};
std::vector<IndexEntry> TagEntries(const IndexTag& tag, const RecordSource& records,
                                   const std::vector<Column>& columns, CodePage codePage,
                                   const std::string& indexFile);

// Brings `tag.entries`, as read from the index file, in step with a change of the records
// `changed` (ascending numbers: changed or appended ones): their entries go, and the entries
// their new bytes give come in at their place in key order (after those of lower-numbered records
// with the same key), so the tag holds what TagEntries gives for the changed table. A unique or
// candidate tag is made anew from every record, since a record that leaves a key may uncover
// another record of that key. Throws as TagEntries does.
void UpdateTagEntries(IndexTag& tag, const std::vector<uint32_t>& changed,
                      const RecordSource& records, const std::vector<Column>& columns,
                      CodePage codePage, const std::string& indexFile);

// Parses a tag's expression, naming the file, the tag and `offset` in errors (a
// DbfUnknownFieldError for a field the table does not have).
Expression ParseTagExpression(const std::string& text, const std::vector<Column>& columns,
                              CodePage codePage, const std::string& path, const std::string& tag,
                              int64_t offset);

}  // namespace kce::dbf
