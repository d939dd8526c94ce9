#pragma once
// Plain types of the dBase-format file layer: table variants, column descriptions with their engine
// types, decoded field values and the engine's stored value form.
//
// Column type → engine type (the codes of the engine's type table):
//   C character           4  CHAR(length)
//   N numeric, F float    2  NUMERIC(length, decimals)
//   D date                3  DATE, stored in the record as 8 characters YYYYMMDD
//   L logical             1  LOGICAL
//   M memo                5  MEMO (text in the memo file)
//   G general, P picture  7  IMAGE (bytes in the memo file)
//   I integer (VFP)      11  INTEGER, 4 bytes little-endian
//   B double (VFP)       10  DOUBLE, 8-byte IEEE little-endian
//   Y currency (VFP)     18  MONEY, 8-byte integer of ten-thousandths
//   T datetime (VFP)     14  TIMESTAMP, julian day and milliseconds, 4 + 4 bytes
//   V varchar (VFP)      23  VARCHAR(length)
//   Q varbinary (VFP)    24  VARBINARY(length)
// The Visual FoxPro null-flags column ("_NullFlags", type 0) is a system column: it is read for the
// null and length bits and never listed.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "kce/dbf/CodePage.h"

namespace kce::dbf {

enum class Variant : uint8_t {
    DBase3,       // version byte 0x03, or 0x83 with a .dbt memo file
    DBase4,       // 0x8B: dBase IV with a .dbt memo file of length-prefixed blocks
    FoxPro2,      // 0xF5 (or 0x03 with .fpt-only columns): FoxPro 2.x, .fpt memo file
    VisualFoxPro  // 0x30, 0x31, 0x32: Visual FoxPro, .fpt memo file, null flags, binary memo refs
};

const char* VariantName(Variant variant);
// Engine table type of the variant: 1 for dBase tables, 2 for FoxPro 2.x, 4 for Visual FoxPro.
int EngineTableType(Variant variant);

enum class MemoFormat : uint8_t { None, DBase3, DBase4, Fpt };

struct Column {
    std::string name;         // Windows-1252, as stored
    char dbfType = 'C';       // the type letter of the field descriptor
    uint16_t engineType = 4;  // see the table above
    uint32_t length = 0;      // engine length: characters, digits, or the byte length
    uint16_t decimals = 0;
    bool nullable = false;       // has a bit in the null flags (Visual FoxPro)
    bool binary = false;         // Visual FoxPro "no code-page translation" flag
    uint32_t offset = 0;         // of the field in the record; byte 0 is the deletion flag
    uint32_t size = 0;           // bytes of the field in the record
    int nullBit = -1;            // bit in the null flags, -1 when none
    int varBit = -1;             // Visual FoxPro: bit telling that the length is in the last byte
    bool autoIncrement = false;  // Visual FoxPro integer column numbered by the table
    uint32_t autoNext = 0;       // next number to hand out (held in the field descriptor)
    uint8_t autoStep = 0;
    uint32_t descriptorOffset = 0;  // of the field descriptor in the header
};

// What the writer needs to create a column. For Visual FoxPro, `nullable` gives the column a bit
// in the null flags; the other variants hold no null flags (blank values read as null instead).
struct ColumnLayout {
    std::string name;  // Windows-1252, at most 10 characters
    char dbfType = 'C';
    uint32_t length = 0;  // ignored for types of fixed length (D L I B Y T, memo columns)
    uint16_t decimals = 0;
    bool nullable = false;
    bool binary = false;
    bool autoIncrement = false;  // Visual FoxPro 'I' columns: numbered 1, 2, ... on insert
};

struct TableLayout {
    Variant variant = Variant::DBase3;
    CodePage codePage = CodePage::Windows1252;
    std::vector<ColumnLayout> columns;
};

// A decoded field. Views point into the cursor's buffers and stay valid until the cursor moves.
enum class ValueKind : uint8_t {
    Null,
    Logical,   // logical
    Number,    // real (N, F, B)
    Integer,   // integer (I)
    Currency,  // integer in ten-thousandths (Y)
    Date,      // julianDay
    DateTime,  // julianDay and millis
    Text,      // bytes: Windows-1252, trailing blanks removed (C, V)
    Bytes,     // bytes: raw (Q)
    Memo       // integer: the block number in the memo file (M, G, P)
};

struct Value {
    ValueKind kind = ValueKind::Null;
    bool logical = false;
    int64_t integer = 0;
    double real = 0;
    int32_t julianDay = 0;
    uint32_t millis = 0;
    std::string_view bytes;
};

// A value in the engine's stored representation: NULL, INTEGER, REAL, TEXT (UTF-8) or BLOB. A
// currency (Y) value is the INTEGER count of ten-thousandths, exactly as the field holds it.
struct StoredValue {
    enum class Kind : uint8_t { Null, Integer, Real, Text, Blob };
    Kind kind = Kind::Null;
    int64_t integer = 0;
    double real = 0;
    std::string text;  // Text: UTF-8; Blob: bytes

    static StoredValue Null() { return {}; }
    static StoredValue Int(int64_t v) {
        StoredValue s;
        s.kind = Kind::Integer;
        s.integer = v;
        return s;
    }
    static StoredValue Real(double v) {
        StoredValue s;
        s.kind = Kind::Real;
        s.real = v;
        return s;
    }
    static StoredValue Text(std::string_view v) {
        StoredValue s;
        s.kind = Kind::Text;
        s.text = v;
        return s;
    }
    static StoredValue Blob(std::string_view v) {
        StoredValue s;
        s.kind = Kind::Blob;
        s.text = v;
        return s;
    }
    bool operator==(const StoredValue& o) const;
};

using Record = std::vector<StoredValue>;

}  // namespace kce::dbf
