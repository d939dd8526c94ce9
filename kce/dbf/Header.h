#pragma once
// The table header: the 32-byte table descriptor, the 32-byte field descriptors, the terminator and
// (Visual FoxPro) the database-container back link. Parsing checks every count and length against
// the file so that the record reader can trust them.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "kce/dbf/Types.h"

namespace kce::dbf {

inline constexpr size_t kTableDescriptorSize = 32;
inline constexpr size_t kFieldDescriptorSize = 32;
inline constexpr size_t kVfpBacklinkSize = 263;

struct Header {
    uint8_t version = 0x03;
    Variant variant = Variant::DBase3;
    CodePage codePage = CodePage::Windows1252;
    uint8_t codePageMark = 0;
    uint8_t tableFlags = 0;  // byte 28: Visual FoxPro 0x02 = has memo file
    uint32_t recordCount = 0;
    uint16_t headerLength = 0;
    uint16_t recordLength = 0;
    MemoFormat memoFormat = MemoFormat::None;
    std::vector<Column> columns;   // user columns in field order (the null-flags column excluded)
    int64_t nullFlagsOffset = -1;  // of the null-flags column in the record, -1 when none
    uint32_t nullFlagsSize = 0;
    // Visual FoxPro: the back link, the file name (relative to the table's folder) of the database
    // container the table belongs to; empty for a free table.
    std::string containerLink;

    uint64_t RecordOffset(uint32_t index) const {  // 0-based record index
        return headerLength + static_cast<uint64_t>(index) * recordLength;
    }
};

// Reads the table descriptor (first 32 bytes) for the header length; throws DbfError naming `file`
// when the bytes are not the start of a dBase-format table.
uint16_t HeaderLengthFrom(std::string_view first32, uint64_t fileSize, const std::string& file);
// Parses the complete header (`bytes` holds headerLength bytes) of a file of `fileSize` bytes.
Header ParseHeader(std::string_view bytes, uint64_t fileSize, const std::string& file);

// Lays out a new table: version byte, column offsets, null bits, record and header length.
// Throws DbfError (naming `file`) for a layout that no table can hold.
Header LayoutFor(const TableLayout& layout, const std::string& file);
// The header bytes of `header` with `recordCount` records and today's date.
std::string EncodeHeader(const Header& header, uint32_t recordCount);
// Writes today's date and `recordCount` into an existing header's first 8 bytes.
void StampHeader(std::string& first8, uint32_t recordCount);
// For an insert: a null value of a numbered column takes the column's next number, which then
// advances by its step; a given number at or past the next one moves the next number past it, so
// that a later insert without a value never repeats it. Returns the value to write.
StoredValue NumberedValue(Column& column, const StoredValue& value);
// Writes the next numbers of the numbered columns into header bytes.
void StampNextNumbers(const Header& header, std::string& headerBytes);

}  // namespace kce::dbf
