#pragma once
// The SQL front end of the engine: turns a statement of the engine's dialect into SQLite SQL over
// the stored tables, with the static engine type, length and decimals of every result column.
// Internal to the engine library; nothing outside kce/ includes it.
//
// Stored value representation (the contract between this front end, the dictionary storage, the
// folder-table cache and the cursor encoder). Each practice table is an SQLite table of the same
// name and column names; a value of engine type T is stored as:
//   1 LOGICAL            INTEGER 0/1
//   2 NUMERIC(l,d)       REAL (the native form is its text with d decimals)
//   3 DATE               TEXT 'YYYY-MM-DD'
//   4 CHAR(n), 20 CHAR_CI(n), 23 VARCHAR(n), 5 MEMO
//                        TEXT in UTF-8 converted from Windows-1252 (the five unassigned bytes map
//                        to U+0081, U+008D, U+008F, U+0090, U+009D so text round-trips byte for
//                        byte); fixed-length text is stored without its trailing blanks
//   6 BINARY, 7 IMAGE, 16 RAW(n), 24 VARBINARY(n)
//                        BLOB
//   10 DOUBLE            REAL
//   17 CURRENCY, 18 MONEY
//                        INTEGER: the count of ten-thousandths (exact; kce/sql/TYPES.md, Money)
//   11 INTEGER, 12 SMALLINT, 15 AUTOINC, 21 BIGINT
//                        INTEGER
//   13 TIME              TEXT 'HH:MM:SS.mmm'
//   14 TIMESTAMP, 22 MODSTAMP
//                        TEXT 'YYYY-MM-DD HH:MM:SS.mmm'
// NULL is SQL NULL for every type. Every result expression the generator emits yields its result
// type's stored representation, so the cursor encoder reads any result column like a stored one.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

namespace kce::sql {

// Engine field type codes.
enum EngineType : uint16_t {
    kLogical = 1,
    kNumeric = 2,
    kDate = 3,
    kChar = 4,
    kMemo = 5,
    kBinary = 6,
    kImage = 7,
    kVarTextBlob = 8,
    kCompactDate = 9,
    kDouble = 10,
    kInteger = 11,
    kShortInt = 12,
    kTime = 13,
    kTimestamp = 14,
    kAutoInc = 15,
    kRaw = 16,
    kCurDouble = 17,
    kMoney = 18,
    kCharCI = 20,
    kBigInt = 21,
    kModTime = 22,
    kVarChar = 23,
    kVarBinary = 24,
};

struct Column {
    std::string name;  // Windows-1252
    uint16_t type = kChar;
    uint32_t length = 0;  // characters for text, total digits + sign + point for numeric
    uint16_t decimals = 0;
    bool notNull = false;
};

struct Table {
    std::string name;  // as the catalogue knows it
    std::vector<Column> columns;
};

// What the front end may ask about the stored tables. Names compare without regard to case.
class Catalogue {
public:
    virtual ~Catalogue() = default;
    virtual const Table* FindTable(std::string_view name) const = 0;
};

enum class StatementKind {
    Select,
    Insert,
    Update,
    Delete,
    CreateTable,
    DropTable,
    SetApplicationId,  // EXECUTE PROCEDURE sp_setapplicationid(:x)
    GetApplicationId,  // EXECUTE PROCEDURE sp_getapplicationid()
};

struct Parameter {
    std::string name;  // without the colon; empty for "?"
};

struct CompiledStatement {
    StatementKind kind = StatementKind::Select;
    // SQLite SQL to run. Parameters appear as ?1, ?2, ... in the order of `parameters`; a named
    // parameter used twice has one entry. Values are bound as the caller received them (text,
    // integer, real, blob or null); the SQL converts them where the target type needs it.
    std::string sqlite;
    std::vector<Parameter> parameters;
    std::vector<Column> result;  // Select (and GetApplicationId): the result columns
    Table created;               // CreateTable: the new table's definition
    std::string targetTable;     // Insert, Update, Delete, DropTable: the table named
};

// Dialect settings that change how text is read.
struct Settings {
    std::string dateFormat = "MM/DD/CCYY";  // engine date format for text read as a date
};

// An SQL error: a native error number per kind, the position (0-based byte offset) in the text,
// and a message naming the token, table or column at fault.
class SqlError : public std::runtime_error {
public:
    SqlError(int nativeError, size_t position, const std::string& message)
        : std::runtime_error(message), nativeError_(nativeError), position_(position) {}
    int NativeError() const noexcept { return nativeError_; }
    size_t Position() const noexcept { return position_; }

private:
    int nativeError_;
    size_t position_;
};

CompiledStatement Compile(std::string_view sql, const Catalogue& catalogue,
                          const Settings& settings);

// Registers on a connection the SQLite functions and collations that generated SQL calls.
void RegisterFunctions(sqlite3* db);

// The functions of RegisterFunctions fail a running statement when a value does not convert (a
// text that is no date, a text too long for its column, a number out of range). Given the message
// of such an SQLite error (sqlite3_errmsg), returns the SQL error it stands for (native number,
// position 0, message in Windows-1252); nullopt for any other SQLite message.
std::optional<SqlError> FunctionError(std::string_view sqliteMessage);

}  // namespace kce::sql
