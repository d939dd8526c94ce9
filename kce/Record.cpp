#include "kce/Record.h"

#include <sqlite3.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "kce/Cp1252.h"
#include "kce/DateTime.h"
#include "kce/EngineSettings.h"
#include "kce/Store.h"

namespace kce {
namespace {

constexpr uint64_t kNullDouble = 0x8000000000000020ull;
constexpr int64_t kNullInt64 = INT64_MIN;

constexpr double kPow10[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                             1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

template <typename T>
void Put(uint8_t* p, T value) {
    std::memcpy(p, &value, sizeof value);
}

template <typename T>
T Get(const uint8_t* p) {
    T value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

uint32_t WidthOf(uint16_t type, uint32_t length) {
    switch (type) {
        case sql::kLogical:
            return 1;
        case sql::kDate:
        case sql::kInteger:
        case sql::kTime:
        case sql::kAutoInc:
            return 4;
        case sql::kCompactDate:
            return 3;
        case sql::kShortInt:
            return 2;
        case sql::kDouble:
        case sql::kCurDouble:
        case sql::kTimestamp:
        case sql::kModTime:
        case sql::kMoney:
        case sql::kBigInt:
            return 8;
        case sql::kMemo:
        case sql::kBinary:
        case sql::kImage:
        case sql::kVarTextBlob:
            return kBlobSlotWidth;
        case sql::kVarChar:
        case sql::kVarBinary:
            return length + 2;
        default:
            return length;  // numeric text, fixed text, raw bytes
    }
}

// Writes text (Windows-1252 from UTF-8) into width bytes, padded with spaces; returns the bytes
// of text.
size_t PutText(sqlite3_value* cell, uint8_t* p, uint32_t width, char pad) {
    const char* text = reinterpret_cast<const char*>(sqlite3_value_text(cell));
    size_t bytes = static_cast<size_t>(sqlite3_value_bytes(cell));
    size_t n = FromUtf8(text, bytes, reinterpret_cast<char*>(p), width);
    std::memset(p + n, pad, width - n);
    return n;
}

void PutBlobSlot(uint8_t* p, uint32_t length, uint64_t offset) {
    Put<int32_t>(p, length == kNullBlobLength || length == 0 ? 0 : -1);
    Put<uint32_t>(p + 4, length);
    Put<uint64_t>(p + 8, offset);
}

// A result value as an error message shows it.
std::string ValueText(sqlite3_stmt* stmt, int column) {
    if (sqlite3_column_type(stmt, column) == SQLITE_FLOAT) {
        char text[40];
        auto [end, ec] =
            std::to_chars(text, text + sizeof text, sqlite3_column_double(stmt, column));
        return ec == std::errc() ? std::string(text, end) : std::string("?");
    }
    const char* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
    return FromUtf8(std::string_view(text ? text : "",
                                     static_cast<size_t>(sqlite3_column_bytes(stmt, column))));
}

// A money count as an error message shows it: the amount.
std::string MoneyValueText(sqlite3_stmt* stmt, int column) {
    if (sqlite3_column_type(stmt, column) != SQLITE_INTEGER) {
        char text[40];
        auto [end, ec] =
            std::to_chars(text, text + sizeof text, sqlite3_column_double(stmt, column) / 10000.0);
        return ec == std::errc() ? std::string(text, end) : std::string("?");
    }
    const int64_t units = sqlite3_column_int64(stmt, column);
    const uint64_t magnitude = units < 0 ? uint64_t(0) - uint64_t(units) : uint64_t(units);
    std::string fraction = std::to_string(magnitude % 10000);
    return (units < 0 ? "-" : "") + std::to_string(magnitude / 10000) + "." +
           std::string(4 - fraction.size(), '0') + fraction;
}

bool OutOfRange(const Field& field, const std::string& value, std::string& error) {
    error = "Value " + value + " is out of range for column \"" + field.name + "\".";
    return false;
}

// The value of an integer result column, when its type can hold it: inside the type's range and
// not the one value whose bytes are the type's null mark (SMALLINT -32768, INTEGER -2147483648,
// AUTOINC -1, BIGINT -2^63). A real is an integer expression that overflowed 64 bits.
bool IntegerValue(sqlite3_value* cell, uint16_t type, int64_t& value) {
    if (sqlite3_value_type(cell) != SQLITE_INTEGER) {
        const double real = sqlite3_value_double(cell);
        if (!(real > -9223372036854775808.0 && real < 9223372036854775808.0) ||
            real != std::floor(real)) {
            return false;
        }
        value = static_cast<int64_t>(real);
    } else {
        value = sqlite3_value_int64(cell);
    }
    switch (type) {
        case sql::kShortInt:
            return value >= -32767 && value <= 32767;
        case sql::kInteger:
            return value >= -2147483647 && value <= 2147483647;
        case sql::kAutoInc:
            return value >= -2147483647 - 1 && value <= 2147483647 && value != -1;
        default:
            return value != kNullInt64;
    }
}

// The value with the given decimals, always with a decimal point; the process's locale plays no
// part (a library must not read "," for "." because the program set a decimal-comma locale).
size_t FixedText(double value, int decimals, char* text, size_t capacity) {
    const auto result =
        std::to_chars(text, text + capacity, value, std::chars_format::fixed, decimals);
    return result.ec == std::errc() ? static_cast<size_t>(result.ptr - text) : 0;
}

void AppendFixed(std::string& out, double value, int decimals) {
    char text[400];
    out.append(text, FixedText(value, decimals, text, sizeof text));
}

}  // namespace

bool IsBlobType(uint16_t type) {
    return type == sql::kMemo || type == sql::kBinary || type == sql::kImage ||
           type == sql::kVarTextBlob;
}

RecordLayout::RecordLayout(const std::vector<sql::Column>& columns) {
    for (const auto& column : columns) {
        Field field;
        field.name = column.name;
        field.type = column.type;
        field.decimals = column.type == sql::kNumeric ? column.decimals : 0;
        field.notNull = column.notNull;
        uint32_t fixed = WidthOf(column.type, 0);
        bool sized = column.type == sql::kNumeric || column.type == sql::kChar ||
                     column.type == sql::kCharCI || column.type == sql::kRaw ||
                     column.type == sql::kVarChar || column.type == sql::kVarBinary;
        field.length = sized ? std::max<uint32_t>(column.length, 1) : fixed;
        if (column.type == sql::kNumeric && field.length <= field.decimals)
            field.length = field.decimals + 2u;
        field.width = WidthOf(column.type, field.length);
        field.offset = length_;
        length_ += field.width;
        hasBlobs_ = hasBlobs_ || IsBlobType(column.type);
        fields_.push_back(std::move(field));
    }
    nullRecord_.assign(length_, 0);
    for (const auto& field : fields_) WriteNull(field, nullRecord_.data());
}

void WriteNull(const Field& field, uint8_t* record) {
    uint8_t* p = record + field.offset;
    switch (field.type) {
        case sql::kLogical:
            *p = ' ';
            break;
        case sql::kDouble:
        case sql::kCurDouble:
            Put<uint64_t>(p, kNullDouble);
            break;
        case sql::kInteger:
            Put<uint32_t>(p, 0x80000000u);
            break;
        case sql::kShortInt:
            Put<uint16_t>(p, 0x8000u);
            break;
        case sql::kTime:
        case sql::kAutoInc:
            Put<uint32_t>(p, 0xFFFFFFFFu);
            break;
        case sql::kMoney:
        case sql::kBigInt:
            Put<int64_t>(p, kNullInt64);
            break;
        case sql::kMemo:
        case sql::kBinary:
        case sql::kImage:
        case sql::kVarTextBlob:
            PutBlobSlot(p, kNullBlobLength, 0);
            break;
        case sql::kVarChar:
        case sql::kVarBinary:
            std::memset(p, 0, field.length);
            Put<uint16_t>(p + field.length, 0xFFFF);
            break;
        default:
            std::memset(p, 0, field.width);  // numeric, date, text, raw, timestamps (day 0)
    }
}

bool IsNullIn(const Field& field, const uint8_t* record) {
    const uint8_t* p = record + field.offset;
    switch (field.type) {
        case sql::kLogical:
            return *p == ' ';
        case sql::kDouble:
        case sql::kCurDouble:
            return Get<uint64_t>(p) == kNullDouble;
        case sql::kInteger:
            return Get<uint32_t>(p) == 0x80000000u;
        case sql::kShortInt:
            return Get<uint16_t>(p) == 0x8000u;
        case sql::kTime:
        case sql::kAutoInc:
            return Get<uint32_t>(p) == 0xFFFFFFFFu;
        case sql::kMoney:
        case sql::kBigInt:
            return Get<int64_t>(p) == kNullInt64;
        case sql::kTimestamp:
        case sql::kModTime:
            return Get<int32_t>(p) == 0;
        case sql::kMemo:
        case sql::kBinary:
        case sql::kImage:
        case sql::kVarTextBlob:
            return Get<uint32_t>(p + 4) == kNullBlobLength;
        case sql::kVarChar:
        case sql::kVarBinary:
            return Get<uint16_t>(p + field.length) == 0xFFFF;
        default:
            for (uint32_t i = 0; i < field.width; ++i) {
                if (p[i] != 0) return false;
            }
            return true;
    }
}

bool WriteNumericText(double value, uint32_t width, uint16_t decimals, char* out) {
    char text[400];
    size_t n = 0;
    double scaled = decimals < 16 ? value * kPow10[decimals] : HUGE_VAL;
    if (std::isfinite(scaled) && std::fabs(scaled) < 9e15) {
        int64_t units = std::llround(scaled);
        bool negative = units < 0;
        uint64_t magnitude = negative ? uint64_t(-units) : uint64_t(units);
        char digits[32];
        int count = 0;
        do {
            digits[count++] = static_cast<char>('0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude > 0 || count <= decimals);
        if (negative) text[n++] = '-';
        for (int i = count - 1; i >= 0; --i) {
            text[n++] = digits[i];
            if (i == decimals && decimals > 0) text[n++] = '.';
        }
    } else if (std::isfinite(value)) {
        n = FixedText(value, std::min<uint16_t>(decimals, 30), text, sizeof text);
        if (n == 0) n = sizeof text;
    } else {
        n = sizeof text;  // infinities do not fit any width
    }
    // A value with more integer digits than its decimals leave room for (a folder table's field
    // written by another program, say) still fits when its decimals are zeros: they are dropped,
    // and the point with them, so the text holds the value exactly rather than asterisks.
    if (n > width && n <= sizeof text && std::memchr(text, '.', n) != nullptr) {
        while (n > width && text[n - 1] == '0') --n;
        if (text[n - 1] == '.') --n;
    }
    if (n > width) {
        std::memset(out, '*', width);
        return false;
    }
    std::memset(out, ' ', width - n);
    std::memcpy(out + (width - n), text, n);
    return true;
}

bool RecordLayout::Encode(sqlite3_stmt* stmt, uint8_t* record, ByteStore& blobs,
                          std::string& error) const {
    for (size_t i = 0; i < fields_.size(); ++i) {
        const Field& field = fields_[i];
        int column = static_cast<int>(i);
        uint8_t* p = record + field.offset;
        // One look-up of the column; its value is read through the value interface, which
        // spares the statement's per-call checks (the connection is held for the whole walk).
        sqlite3_value* cell = sqlite3_column_value(stmt, column);
        const int storage = sqlite3_value_type(cell);
        if (storage == SQLITE_NULL) {
            WriteNull(field, record);
            continue;
        }
        switch (field.type) {
            case sql::kLogical:
                *p = sqlite3_value_int64(cell) != 0 ? 'T' : 'F';
                break;
            case sql::kNumeric:
                if (!WriteNumericText(sqlite3_value_double(cell), field.length, field.decimals,
                                      reinterpret_cast<char*>(p))) {
                    error = "Value " + ValueText(stmt, column) + " is too wide for column \"" +
                            field.name + "\" (NUMERIC(" + std::to_string(field.length) + "," +
                            std::to_string(field.decimals) + ")).";
                    return false;
                }
                break;
            case sql::kDate:
            case sql::kCompactDate: {
                const char* text = reinterpret_cast<const char*>(sqlite3_value_text(cell));
                auto day = ParseStoredDate(text, static_cast<size_t>(sqlite3_value_bytes(cell)));
                if (!day) {
                    WriteNull(field, record);
                } else if (field.type == sql::kDate) {
                    Put<int32_t>(p, *day);
                } else {
                    int y, m, d;
                    YmdFromJulian(*day, y, m, d);
                    uint32_t packed = (uint32_t(y) << 9) | (uint32_t(m) << 5) | uint32_t(d);
                    p[0] = static_cast<uint8_t>(packed >> 16);
                    p[1] = static_cast<uint8_t>(packed >> 8);
                    p[2] = static_cast<uint8_t>(packed);
                }
                break;
            }
            case sql::kChar:
            case sql::kCharCI:
                PutText(cell, p, field.length, ' ');
                break;
            case sql::kVarChar:
                Put<uint16_t>(p + field.length,
                              static_cast<uint16_t>(PutText(cell, p, field.length, 0)));
                break;
            case sql::kRaw:
            case sql::kVarBinary: {
                const void* bytes = sqlite3_value_blob(cell);
                uint32_t n = std::min<uint32_t>(static_cast<uint32_t>(sqlite3_value_bytes(cell)),
                                                field.length);
                if (n > 0) std::memcpy(p, bytes, n);
                std::memset(p + n, 0, field.length - n);
                if (field.type == sql::kVarBinary)
                    Put<uint16_t>(p + field.length, static_cast<uint16_t>(n));
                break;
            }
            case sql::kDouble: {
                const double value = sqlite3_value_double(cell);
                Put<double>(p, value);
                if (Get<uint64_t>(p) == kNullDouble)
                    return OutOfRange(field, ValueText(stmt, column), error);
                break;
            }
            case sql::kInteger:
            case sql::kAutoInc:
            case sql::kShortInt:
            case sql::kBigInt: {
                int64_t value = 0;
                if (!IntegerValue(cell, field.type, value))
                    return OutOfRange(field, ValueText(stmt, column), error);
                if (field.type == sql::kShortInt)
                    Put<int16_t>(p, static_cast<int16_t>(value));
                else if (field.type == sql::kBigInt)
                    Put<int64_t>(p, value);
                else
                    Put<int32_t>(p, static_cast<int32_t>(value));
                break;
            }
            // MONEY and CURRENCY are stored as the count of ten-thousandths. A real there is a sum
            // that overflowed the count.
            case sql::kCurDouble:
            case sql::kMoney: {
                const int64_t count = sqlite3_value_int64(cell);
                if (storage != SQLITE_INTEGER || count == kNullInt64) {
                    return OutOfRange(field, MoneyValueText(stmt, column), error);
                }
                if (field.type == sql::kMoney)
                    Put<int64_t>(p, count);
                else
                    Put<double>(p, static_cast<double>(count) / 10000.0);
                break;
            }
            case sql::kTime: {
                const char* text = reinterpret_cast<const char*>(sqlite3_value_text(cell));
                auto ms = ParseStoredTime(text, static_cast<size_t>(sqlite3_value_bytes(cell)));
                if (ms)
                    Put<int32_t>(p, *ms);
                else
                    WriteNull(field, record);
                break;
            }
            case sql::kTimestamp:
            case sql::kModTime: {
                const char* text = reinterpret_cast<const char*>(sqlite3_value_text(cell));
                int32_t day = 0;
                int32_t ms = 0;
                if (ParseStoredTimestamp(text, static_cast<size_t>(sqlite3_value_bytes(cell)), day,
                                         ms)) {
                    Put<int32_t>(p, day);
                    Put<int32_t>(p + 4, ms);
                } else {
                    WriteNull(field, record);
                }
                break;
            }
            case sql::kMemo:
            case sql::kVarTextBlob: {
                const char* text = reinterpret_cast<const char*>(sqlite3_value_text(cell));
                std::string converted = FromUtf8(
                    std::string_view(text, static_cast<size_t>(sqlite3_value_bytes(cell))));
                uint64_t offset = blobs.Append(converted.data(), converted.size());
                PutBlobSlot(p, static_cast<uint32_t>(converted.size()), offset);
                break;
            }
            case sql::kBinary:
            case sql::kImage: {
                const void* bytes = sqlite3_value_blob(cell);
                uint32_t n = static_cast<uint32_t>(sqlite3_value_bytes(cell));
                uint64_t offset = blobs.Append(bytes, n);
                PutBlobSlot(p, n, offset);
                break;
            }
            default:
                WriteNull(field, record);
        }
    }
    return true;
}

std::string BlobContent(const Field& field, const uint8_t* record, const ByteStore& blobs) {
    const uint8_t* p = record + field.offset;
    uint32_t length = Get<uint32_t>(p + 4);
    if (length == kNullBlobLength || length == 0) return {};
    std::string content(length, '\0');
    blobs.Read(Get<uint64_t>(p + 8), content.data(), length);
    return content;
}

std::string FieldText(const Field& field, const uint8_t* record, const ByteStore& blobs) {
    if (IsNullIn(field, record)) return {};
    const uint8_t* p = record + field.offset;
    std::string out;
    switch (field.type) {
        case sql::kLogical:
            out = *p == 'T' ? "T" : "F";
            break;
        case sql::kNumeric:
        case sql::kChar:
        case sql::kCharCI:
        case sql::kRaw:
            out.assign(reinterpret_cast<const char*>(p), field.length);
            break;
        case sql::kDate:
            out = CurrentDateFormat()->Format(Get<int32_t>(p));
            break;
        case sql::kCompactDate: {
            uint32_t packed = (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
            out = CurrentDateFormat()->Format(
                JulianFromYmd(int(packed >> 9), int((packed >> 5) & 15), int(packed & 31)));
            break;
        }
        case sql::kVarChar:
        case sql::kVarBinary:
            out.assign(reinterpret_cast<const char*>(p), Get<uint16_t>(p + field.length));
            break;
        case sql::kDouble:
        case sql::kCurDouble:
            AppendFixed(out, Get<double>(p), CurrentSettings().decimals);
            break;
        case sql::kInteger:
        case sql::kAutoInc:
            out = std::to_string(Get<int32_t>(p));
            break;
        case sql::kShortInt:
            out = std::to_string(Get<int16_t>(p));
            break;
        case sql::kBigInt:
            out = std::to_string(Get<int64_t>(p));
            break;
        case sql::kMoney: {
            int64_t units = Get<int64_t>(p);
            uint64_t magnitude = units < 0 ? uint64_t(0) - uint64_t(units) : uint64_t(units);
            std::string fraction = std::to_string(magnitude % 10000);
            out = (units < 0 ? "-" : "") + std::to_string(magnitude / 10000) + "." +
                  std::string(4 - fraction.size(), '0') + fraction;
            break;
        }
        case sql::kTime:
            out = StoredTime(Get<int32_t>(p));
            break;
        case sql::kTimestamp:
        case sql::kModTime:
            out = CurrentDateFormat()->Format(Get<int32_t>(p)) + " " +
                  StoredTime(Get<int32_t>(p + 4));
            break;
        default:
            if (IsBlobType(field.type)) out = BlobContent(field, record, blobs);
    }
    return out;
}

}  // namespace kce
