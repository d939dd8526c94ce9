#pragma once
// Field values: decoding the bytes of a record into typed values (with the null rules of each
// table variant), converting them to the engine's stored representation, and encoding stored
// values back into record bytes.
//
// Null rules. dBase and FoxPro 2 tables: logical, numeric, character and date fields are null when
// every byte is a space or zero (a date of "00000000" too); memo fields when the block number is
// blank or 0. Visual FoxPro tables: logical, numeric and date fields are null when every byte is a
// space (or zero), memo fields when the block number is 0, datetime fields when the day is 0; and
// a nullable column is null when its bit in the null flags is set. A numeric field filled with '*'
// (what the writing program stores when a number overflows its width) is null as well: its value
// is unknown.

#include <cstdint>
#include <string>
#include <string_view>

#include "kce/dbf/Types.h"

namespace kce::dbf {

struct FieldCodec {
    Variant variant = Variant::DBase3;
    CodePage codePage = CodePage::Windows1252;
    int64_t nullFlagsOffset = -1;
    std::string file;  // named in errors
};

// Decodes the field of `column` in `record` (the whole record, deletion flag first). Text is
// converted to Windows-1252 in `scratch` when the table's code page needs it. `recordNumber`
// (from 1) and `recordOffset` (of the record in the file) place errors. Throws DbfError for bytes
// that no writer produces (a numeric text with letters, an impossible date).
Value DecodeField(const FieldCodec& codec, const Column& column, const char* record,
                  std::string& scratch, uint32_t recordNumber, uint64_t recordOffset);

// The stored form of a decoded value (not for Memo values, which the table resolves).
void ToStored(const Value& value, StoredValue& out);

// Receives the memo data of a field being written and answers its block number.
class MemoSink {
public:
    virtual ~MemoSink() = default;
    virtual uint64_t Append(std::string_view data, bool picture) = 0;
};

// Encodes `value` into the field of `column` in `record`, setting its null-flag bits. Empty memo
// data is written as block 0 (it reads back as null). Throws DbfError naming the column and record
// for a value the column cannot hold (too long, out of range, not a date, null where the column
// has no way to store null).
void EncodeField(const FieldCodec& codec, const Column& column, const StoredValue& value,
                 char* record, MemoSink* memo, uint32_t recordNumber, uint64_t recordOffset);

// Parses "YYYY-MM-DD" with an optional " HH:MM[:SS[.mmm]]"; false when it is not such a text or
// names no real date or time.
bool ParseStoredDateTime(std::string_view text, int32_t& julian, uint32_t& millis, bool& hasTime);

}  // namespace kce::dbf
