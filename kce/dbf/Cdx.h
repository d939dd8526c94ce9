#pragma once
// Compound indexes of FoxPro and Visual FoxPro tables (.cdx): reading every tag with its entries,
// the keys a tag's expressions give for a table's records, and laying out a whole file. The
// layout, as we read and write it, is described in INDEXES.md.
//
// The reader refuses, with a DbfError naming the index file, the tag and the byte offset, whatever
// it does not understand: header options and fields it does not know, a collation other than
// MACHINE (any byte in the header's reserved area), a key or FOR expression the evaluator refuses,
// and damage (a page outside the file, a page reached twice, keys out of order, counts that do not
// add up). Reading a table never depends on its index files.

#include <cstdint>
#include <string>
#include <vector>

#include "kce/dbf/Expression.h"
#include "kce/dbf/Index.h"
#include "kce/dbf/Types.h"

namespace kce::dbf {

inline constexpr size_t kCdxPageSize = 512;
inline constexpr size_t kCdxHeaderSize = 1024;

// Header option bits.
inline constexpr uint8_t kCdxUnique = 0x01;
inline constexpr uint8_t kCdxHasFor = 0x08;
inline constexpr uint8_t kCdxCompact = 0x20;
inline constexpr uint8_t kCdxCompound = 0x40;
inline constexpr uint8_t kCdxCandidate = 0x80;

using CdxEntry = IndexEntry;
using CdxTag = IndexTag;

// Reads the compound index `path` of a table with `columns` in `codePage`: every tag, in the order
// of the tag list (by name), with its entries. Throws DbfError (see above).
std::vector<CdxTag> ReadCdx(const std::string& path, const std::vector<Column>& columns,
                            CodePage codePage);
// The same for the bytes of such a file; `path` is named in errors.
std::vector<CdxTag> ParseCdx(const std::string& bytes, const std::string& path,
                             const std::vector<Column>& columns, CodePage codePage);

// The key bytes of `value` in a tag of `keyLength` bytes: character keys padded with blanks (or
// cut), numbers and dates as 8 bytes that compare as the values do, logicals as T or F.
std::string CdxKey(const ExprValue& value, size_t keyLength);

// The key length a tag of `expression` has: 8 for numbers and dates, 1 for logicals, the width of
// the text the expression gives for a blank record for character keys.
uint16_t CdxKeyLength(const Expression& expression, size_t recordLength);

// TagEntries of a compound index's tag.
std::vector<CdxEntry> CdxTagEntries(const CdxTag& tag, const std::vector<std::string>& records,
                                    const std::vector<Column>& columns, CodePage codePage,
                                    const std::string& indexFile);

// The bytes of a compound index holding `tags` (each with its entries in stored order).
std::string BuildCdx(const std::vector<CdxTag>& tags);

// Single indexes (.idx) of the compact form: one tag's header (the layout of a compound index's)
// at offset 0, then its pages. The tag is named `name` in errors.
CdxTag ParseCompactIdx(const std::string& bytes, const std::string& path,
                       const std::vector<Column>& columns, CodePage codePage,
                       const std::string& name);
std::string BuildCompactIdx(const CdxTag& tag);

}  // namespace kce::dbf
