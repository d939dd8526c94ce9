#pragma once
// The native record of a result row (table type 3) and the conversions into it. kce/TYPES.md
// documents the layout: each field has a fixed width at a fixed offset, nulls are marked inside
// the field's own bytes, and memo and binary contents live outside the record in a blob store.

#include <cstdint>
#include <string>
#include <vector>

#include "kce/sql/Compiler.h"

struct sqlite3_stmt;

namespace kce {

class ByteStore;

struct Field {
    std::string name;  // Windows-1252
    uint16_t type = sql::kChar;
    uint32_t length = 0;  // engine field length (KdbGetFieldLength)
    uint16_t decimals = 0;
    bool notNull = false;
    uint32_t offset = 0;  // in the native record
    uint32_t width = 0;   // bytes in the native record (length + 2 for types 23 and 24)
};

// Bytes of a blob field's slot: marker (int32: -1 present, 0 null or empty), length (uint32,
// 0xFFFFFFFF for null) and the content's offset in the blob store (uint64).
constexpr uint32_t kBlobSlotWidth = 16;
constexpr uint32_t kNullBlobLength = 0xFFFFFFFFu;

bool IsBlobType(uint16_t type);

class RecordLayout {
public:
    explicit RecordLayout(const std::vector<sql::Column>& columns);
    uint32_t Length() const { return length_; }
    const std::vector<Field>& Fields() const { return fields_; }
    bool HasBlobs() const { return hasBlobs_; }
    // A record with every field null.
    const std::vector<uint8_t>& NullRecord() const { return nullRecord_; }

    // Encodes the current row of stmt (column i is field i) into record, which holds Length()
    // bytes; blob contents go to blobs. Allocation-free apart from the blob store's growth.
    // A value the field cannot hold (a number wider than its NUMERIC text, an integer or money
    // value out of its type's range or equal to the type's null mark) is not turned into null or
    // asterisks: Encode returns false and `error` names the column and the value. The caller
    // holds the statement's connection for the call: the columns are read as SQLite's
    // unprotected values.
    bool Encode(sqlite3_stmt* stmt, uint8_t* record, ByteStore& blobs, std::string& error) const;

private:
    std::vector<Field> fields_;
    uint32_t length_ = 0;
    bool hasBlobs_ = false;
    std::vector<uint8_t> nullRecord_;
};

void WriteNull(const Field& field, uint8_t* record);
bool IsNullIn(const Field& field, const uint8_t* record);

// Numeric text: value with `decimals` decimals right-aligned in width characters; false (and
// asterisks) when it does not fit.
bool WriteNumericText(double value, uint32_t width, uint16_t decimals, char* out);

// A field's value as KdbGetField gives it (untrimmed): dates in the engine date format, doubles
// with the engine's decimals.
std::string FieldText(const Field& field, const uint8_t* record, const ByteStore& blobs);

// Blob contents of a field (empty for null); for memo fields Windows-1252 text.
std::string BlobContent(const Field& field, const uint8_t* record, const ByteStore& blobs);

}  // namespace kce
