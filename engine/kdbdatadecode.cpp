// Record decoding: null tests per table type and the native value of every engine type.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "data/TextToValue.h"
#include "data/ValueConvert.h"
#include "engine/kdbdata.h"
#include "kce/kce.h"

namespace parvell {
namespace {

template <typename T>
T Get(const uint8_t* p) {
    T value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

template <typename T>
void Put(void* destination, T value) {
    std::memcpy(destination, &value, sizeof value);
}

bool AllBytes(const uint8_t* p, uint32_t length, uint8_t value) {
    for (uint32_t i = 0; i < length; ++i) {
        if (p[i] != value) return false;
    }
    return true;
}

bool AllZeroOrSpace(const uint8_t* p, uint32_t length) {
    for (uint32_t i = 0; i < length; ++i) {
        if (p[i] != 0 && p[i] != ' ') return false;
    }
    return true;
}

bool IsDbf(uint16_t tableType) {
    return tableType == KDB_TABLE_NTX || tableType == KDB_TABLE_CDX;
}

// Asks the engine about a VFP system field; true when the call succeeds and answers non-zero.
bool VfpFlag(const TKCEFieldDef& def, const uint8_t* record, uint16_t option,
             const TRecordDecodeEnv& env) {
    if (!env.AccessVfpSystemField) return false;
    uint16_t answer = 0;
    return env.AccessVfpSystemField(env.Cursor, def.FieldNumber, record, option, &answer) == 0 &&
           answer != 0;
}

bool NullKdt(const TKCEFieldDef& def, const uint8_t* p) {
    const uint32_t l = def.Length;
    switch (def.EngineType) {
        case 1:
            return p[0] == ' ';
        case 2:
        case 3:
        case 4:
        case 9:
        case 16:
        case 20:
            return AllBytes(p, l, 0);
        case 5:
        case 6:
        case 7:
        case 8:
            return Get<int32_t>(p) == 0;
        case 10:
        case 17:
            return Get<uint64_t>(p) == 0x8000000000000020ull;
        case 11:
            return Get<uint32_t>(p) == 0x80000000u;
        case 12:
            return Get<uint16_t>(p) == 0x8000u;
        case 13:
        case 15:
            return Get<uint32_t>(p) == 0xFFFFFFFFu;
        case 14:
        case 22:
            return Get<int32_t>(p) == 0;
        case 18:
        case 21:
            return Get<uint64_t>(p) == 0x8000000000000000ull;
        case 23:
        case 24: {
            const uint16_t stored = Get<uint16_t>(p + l);
            return stored == 0xFFFF || stored == 0;
        }
        default:
            return true;
    }
}

bool NullVfp(const TKCEFieldDef& def, const uint8_t* record, const TRecordDecodeEnv& env) {
    const uint8_t* p = record + def.Offset;
    bool isNull = false;
    switch (def.EngineType) {
        case 1:
        case 2:
        case 3:
            isNull = AllBytes(p, def.Length, ' ');
            break;
        case 5:
        case 6:
        case 7:
        case 14:
            isNull = Get<int32_t>(p) == 0;
            break;
        default:
            break;
    }
    if (!isNull && def.Nullable) isNull = VfpFlag(def, record, 1, env);
    return isNull;
}

bool NullDbf(const TKCEFieldDef& def, const uint8_t* p) {
    switch (def.EngineType) {
        case 1:
        case 2:
        case 4:
            return AllZeroOrSpace(p, def.Length);
        case 3:
            return def.Length == 4 ? Get<int32_t>(p) == 0 : AllZeroOrSpace(p, def.Length);
        case 5:
        case 6:
        case 7:
        case 8:
            return Get<int32_t>(p) == 0;
        case 9:
            return AllBytes(p, def.Length, 0);
        case 10:
        case 11:
        case 12:
        case 17:
            return false;
        default:
            return true;
    }
}

// Copies length characters, ends them with a zero and turns trailing blanks into zeros.
void CopyTrimmed(const uint8_t* from, uint32_t length, char* to) {
    std::memcpy(to, from, length);
    to[length] = '\0';
    while (length > 0 && to[length - 1] == ' ') to[--length] = '\0';
}

double StringToJulian(const TRecordDecodeEnv& env, const char* text, uint16_t length) {
    double julian = 0;
    if (env.StringToJulian) env.StringToJulian(text, length, &julian);  // result not examined
    return julian;
}

// Numeric text: as a small integer, a decimal record or a double, by the field's data type.
// Text that does not convert gives the type's zero: the caller's area is never left unwritten.
void DecodeNumericText(const uint8_t* p, uint32_t length, TFieldType dataType, void* destination) {
    std::string text(reinterpret_cast<const char*>(p), length);
    text = text.substr(0, text.find('\0'));
    try {
        if (dataType == ftSmallint) {
            Put<int16_t>(destination, static_cast<int16_t>(TextToInteger(text)));
            return;
        }
        const size_t point = text.find('.');
        if (point != std::string::npos) text[point] = LocaleFormats.DecimalChar;
        if (dataType == ftBCD || dataType == ftFMTBcd) {
            const size_t first = text.find_first_not_of(' ');
            Put<TBcd>(destination, TextToBcd(first == std::string::npos ? "" : text.substr(first)));
            return;
        }
        Put<double>(destination, TextToFloat(text));
    } catch (const Exception&) {
        if (dataType == ftSmallint) {
            Put<int16_t>(destination, 0);
        } else if (dataType == ftBCD || dataType == ftFMTBcd) {
            Put<TBcd>(destination, ScaledToBcd(0, 1, 0));
        } else {
            Put<double>(destination, 0.0);
        }
    }
}

// The numeric text that DecodeNumericText turns into a decimal record, read straight as value x
// 10000 when it is plain: blanks, an optional '-', digits with at most one separator ('.' or the
// locale's decimal character) and at most four decimals, blanks; at most 14 integer digits after
// leading zeros. The text ends at the first zero byte as there. False for anything else (a '+',
// no digits, a second separator, more decimals or digits, a decimal character that could be
// taken for part of a number), which the general conversion then settles.
bool ScaledNumericText(const uint8_t* p, uint32_t length, int64_t* scaled) {
    const char decimal = LocaleFormats.DecimalChar;
    if (decimal == '\0' || decimal == ' ' || decimal == '-' || decimal == '+' ||
        (decimal >= '0' && decimal <= '9')) {
        return false;
    }
    uint32_t i = 0;
    auto at = [&](uint32_t k) { return k < length ? static_cast<char>(p[k]) : '\0'; };
    while (at(i) == ' ') ++i;
    const bool negative = at(i) == '-';
    if (negative) ++i;
    uint64_t whole = 0;
    int wholeDigits = 0;  // significant ones
    int digits = 0;
    for (char c = at(i); c >= '0' && c <= '9'; c = at(++i)) {
        if (whole != 0 || c != '0') {
            if (++wholeDigits > 14) return false;
        }
        whole = whole * 10 + static_cast<uint64_t>(c - '0');
        ++digits;
    }
    uint64_t fraction = 0;
    int places = 0;
    if (at(i) == '.' || at(i) == decimal) {
        ++i;
        for (char c = at(i); c >= '0' && c <= '9'; c = at(++i)) {
            if (++places > 4) return false;
            fraction = fraction * 10 + static_cast<uint64_t>(c - '0');
        }
        digits += places;
    }
    while (at(i) == ' ') ++i;
    if (at(i) != '\0' || digits == 0) return false;
    for (int k = places; k < 4; ++k) fraction *= 10;
    const auto magnitude = static_cast<int64_t>(whole * 10000 + fraction);
    *scaled = negative ? -magnitude : magnitude;
    return true;
}

// Stored length of a variable field: the word after the L bytes (KDT), L or the last byte (VFP),
// else L; never more than L.
uint32_t VariableLength(const TKCEFieldDef& def, const uint8_t* record,
                        const TRecordDecodeEnv& env) {
    const uint8_t* p = record + def.Offset;
    uint32_t length = def.Length;
    if (env.TableType == KDB_TABLE_KDT) {
        length = Get<uint16_t>(p + def.Length);
    } else if (env.TableType == KDB_TABLE_VFP) {
        length =
            VfpFlag(def, record, 4, env) ? def.Length : (def.Length > 0 ? p[def.Length - 1] : 0u);
    }
    return std::min(length, def.Length);
}

}  // namespace

TRecordDecodeEnv EngineDecodeEnv(uint16_t tableType, uint32_t cursor) {
    TRecordDecodeEnv env;
    env.TableType = tableType;
    env.Cursor = cursor;
    env.AccessVfpSystemField = &KdbAccessVfpSystemField;
    env.StringToJulian = &KdbConvertStringToJulian;
    return env;
}

namespace kdbrecord {

bool IsNull(const TKCEFieldDef& def, const uint8_t* record, const TRecordDecodeEnv& env) {
    const uint8_t* p = record + def.Offset;
    if (env.TableType == KDB_TABLE_KDT) return NullKdt(def, p);
    if (env.TableType == KDB_TABLE_VFP) return NullVfp(def, record, env);
    if (IsDbf(env.TableType)) return NullDbf(def, p);
    return true;
}

void Decode(const TKCEFieldDef& def, const uint8_t* record, TFieldType dataType,
            const TRecordDecodeEnv& env, void* destination) {
    const uint8_t* p = record + def.Offset;
    const uint32_t l = def.Length;
    switch (def.EngineType) {
        case 1: {
            const char c = static_cast<char>(p[0]);
            const bool value = c == '1' || c == 'T' || c == 'Y' || c == 't' || c == 'y';
            Put<int16_t>(destination, value ? -1 : 0);
            break;
        }
        case 2:
            DecodeNumericText(p, l, dataType, destination);
            break;
        case 3: {
            if (l == 4) {
                Put<int32_t>(destination, Get<int32_t>(p) - kJulianToDayNumber);
                break;
            }
            const std::string text(reinterpret_cast<const char*>(p), l);
            const double julian = StringToJulian(env, text.c_str(), static_cast<uint16_t>(l));
            Put<int32_t>(destination, static_cast<int32_t>(julian - kJulianToDayNumber));
            break;
        }
        case 4:
        case 20:
            CopyTrimmed(p, l, static_cast<char*>(destination));
            break;
        case 9: {
            const uint32_t packed = (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
            char text[16];
            std::snprintf(text, sizeof text, "%04u%02u%02u", (packed >> 9) & 0x7FFFu,
                          (packed >> 5) & 0xFu, packed & 0x1Fu);
            const double julian = StringToJulian(env, text, 8);
            Put<int32_t>(destination, static_cast<int32_t>(julian - kJulianToDayNumber));
            break;
        }
        case 10:
        case 17:
        case 16:
            std::memcpy(destination, p, def.EngineType == 16 ? l : 8u);
            break;
        case 11:
        case 13:
        case 15:
            std::memcpy(destination, p, 4);
            break;
        case 12:
            std::memcpy(destination, p, 2);
            break;
        case 14:
        case 22: {
            const int32_t day = Get<int32_t>(p);
            int32_t milliseconds = Get<int32_t>(p + 4);
            if (env.TableType == KDB_TABLE_VFP && milliseconds != 0) ++milliseconds;
            double count = (static_cast<double>(day) - kJulianToDayNumber) * 86400000.0 +
                           static_cast<double>(milliseconds);
            if (count < 0) count = 0;
            Put<double>(destination, count);
            break;
        }
        case 18:
            Put<TBcd>(destination, ScaledToBcd(Get<int64_t>(p), 20, 4));
            break;
        case 21:
            Put<TBcd>(destination, TextToBcd(std::to_string(Get<int64_t>(p))));
            break;
        case 23: {
            const uint32_t length = VariableLength(def, record, env);
            auto* to = static_cast<char*>(destination);
            std::memset(to, 0, l);
            CopyTrimmed(p, length, to);
            break;
        }
        case 24: {
            const uint32_t length = VariableLength(def, record, env);
            auto* to = static_cast<uint8_t*>(destination);
            Put<uint16_t>(to, static_cast<uint16_t>(length));
            std::memcpy(to + 2, p, length);
            break;
        }
        default:
            break;  // blobs come through the blob stream
    }
}

std::string_view FixedText(const TKCEFieldDef& def, const uint8_t* record) {
    const char* p = reinterpret_cast<const char*>(record + def.Offset);
    std::size_t length = def.Length;
    while (length > 0 && p[length - 1] == ' ') --length;
    // The text ends at its first zero byte.
    if (const void* zero = std::memchr(p, '\0', length)) {
        length = static_cast<std::size_t>(static_cast<const char*>(zero) - p);
    }
    return {p, length};
}

bool DecodeScaled(const TKCEFieldDef& def, const uint8_t* record, int64_t* scaled) {
    const uint8_t* p = record + def.Offset;
    switch (def.EngineType) {
        case 18:
            // Ten-thousandths already; the decimal record of 20 digits and 4 decimals that
            // Decode writes holds every 64-bit value and reads back as the same number.
            *scaled = Get<int64_t>(p);
            return true;
        case 21: {
            // The integer's digits and no decimals: x 10000, while that fits.
            const int64_t value = Get<int64_t>(p);
            constexpr int64_t kLargest = INT64_MAX / 10000;
            if (value > kLargest || value < -kLargest) return false;
            *scaled = value * 10000;
            return true;
        }
        case 2:
            return ScaledNumericText(p, def.Length, scaled);
        default:
            return false;
    }
}

}  // namespace kdbrecord
}  // namespace parvell
