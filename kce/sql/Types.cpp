#include "kce/sql/Types.h"

#include <algorithm>

namespace kce::sql {
namespace {

struct TypeInfo {
    uint16_t type;
    std::string_view name;
    uint32_t defaultLength;
    bool takesLength;  // CHAR(n), NUMERIC(l,d), ...: the length must be written in CREATE TABLE
};

constexpr TypeInfo kTypes[] = {
    {kLogical, "LOGICAL", 1, false},    {kNumeric, "NUMERIC", 0, true},
    {kDate, "DATE", 4, false},          {kChar, "CHAR", 0, true},
    {kMemo, "MEMO", 16, false},         {kBinary, "BINARY", 16, false},
    {kImage, "IMAGE", 16, false},       {kDouble, "DOUBLE", 8, false},
    {kInteger, "INTEGER", 4, false},    {kShortInt, "SMALLINT", 2, false},
    {kTime, "TIME", 4, false},          {kTimestamp, "TIMESTAMP", 8, false},
    {kAutoInc, "AUTOINC", 4, false},    {kRaw, "RAW", 0, true},
    {kCurDouble, "CURRENCY", 8, false}, {kMoney, "MONEY", 8, false},
    {kCharCI, "CHAR_CI", 0, true},      {kBigInt, "BIGINT", 8, false},
    {kModTime, "MODSTAMP", 8, false},   {kVarChar, "VARCHAR", 0, true},
    {kVarBinary, "VARBINARY", 0, true},
};

// Further names CAST and CONVERT accept, mapped to engine types.
struct CastAlias {
    std::string_view name;
    uint16_t type;
};
constexpr CastAlias kCastAliases[] = {
    {"SQL_CHAR", kChar},         {"SQL_VARCHAR", kVarChar},
    {"SQL_LONGVARCHAR", kMemo},  {"SQL_INTEGER", kInteger},
    {"SQL_SMALLINT", kShortInt}, {"SQL_BIGINT", kBigInt},
    {"SQL_DOUBLE", kDouble},     {"SQL_FLOAT", kDouble},
    {"SQL_REAL", kDouble},       {"SQL_NUMERIC", kNumeric},
    {"SQL_DECIMAL", kNumeric},   {"SQL_DATE", kDate},
    {"SQL_TIME", kTime},         {"SQL_TIMESTAMP", kTimestamp},
    {"SQL_BIT", kLogical},       {"SQL_BINARY", kBinary},
    {"INT", kInteger},           {"FLOAT", kDouble},
    {"DECIMAL", kNumeric},       {"BOOLEAN", kLogical},
    {"LOGICAL", kLogical},
};

constexpr uint32_t kMaxTextLength = 65000;
constexpr uint32_t kMaxNumericLength = 32;

const TypeInfo* Find(uint16_t type) {
    for (const TypeInfo& info : kTypes) {
        if (info.type == type) return &info;
    }
    return nullptr;
}

}  // namespace

Family FamilyOf(uint16_t type) {
    switch (type) {
        case kChar:
        case kCharCI:
        case kVarChar:
        case kMemo:
            return Family::Text;
        case kNumeric:
        case kDouble:
        case kCurDouble:
        case kMoney:
        case kInteger:
        case kShortInt:
        case kAutoInc:
        case kBigInt:
            return Family::Number;
        case kLogical:
            return Family::Logical;
        case kDate:
        case kCompactDate:
            return Family::Date;
        case kTime:
            return Family::Time;
        case kTimestamp:
        case kModTime:
            return Family::Timestamp;
        case kBinary:
        case kImage:
        case kRaw:
        case kVarBinary:
        case kVarTextBlob:
            return Family::Binary;
        default:
            return Family::Unknown;
    }
}

bool IsFixedText(uint16_t type) {
    return type == kChar || type == kCharCI;
}

bool IsIntegerType(uint16_t type) {
    return type == kInteger || type == kShortInt || type == kAutoInc || type == kBigInt;
}

bool IsNumberType(uint16_t type) {
    return FamilyOf(type) == Family::Number;
}

bool IsMoneyType(uint16_t type) {
    return type == kMoney || type == kCurDouble;
}

bool NeedsConversion(uint16_t from, uint16_t to) {
    if (from == kUnknownType || to == kUnknownType) return false;
    return FamilyOf(from) != FamilyOf(to) || IsMoneyType(from) != IsMoneyType(to);
}

bound::Type MakeType(uint16_t type, uint32_t length, uint16_t decimals) {
    bound::Type result{type, length, decimals};
    if (const TypeInfo* info = Find(type); info && !info->takesLength)
        result.length = info->defaultLength;
    return result;
}

std::string TypeName(uint16_t type) {
    if (const TypeInfo* info = Find(type)) return std::string(info->name);
    if (type == kUnknownType) return "NULL";
    return "type " + std::to_string(type);
}

TypeNameResult ReadTypeName(std::string_view name, int64_t length, int64_t decimals, bool forCast) {
    TypeNameResult result;
    const TypeInfo* info = nullptr;
    for (const TypeInfo& candidate : kTypes) {
        if (candidate.name == name) info = &candidate;
    }
    uint16_t type = info ? info->type : kUnknownType;
    if (!info && forCast) {
        for (const CastAlias& alias : kCastAliases) {
            if (alias.name == name) type = alias.type;
        }
        info = Find(type);
    }
    if (!info) {
        result.error = "Unknown type name \"" + std::string(name) + "\"";
        return result;
    }
    result.lengthGiven = length >= 0;
    if (!info->takesLength) {
        if (length >= 0 && !forCast) {
            result.error = "Type " + std::string(info->name) + " takes no length";
            return result;
        }
        result.type = MakeType(type);
        return result;
    }
    if (length < 0) {
        if (!forCast) {
            result.error = "Type " + std::string(info->name) + " needs a length";
            return result;
        }
        // CAST(x AS CHAR) takes the length from the value; NUMERIC gets a wide default.
        result.type = type == kNumeric ? bound::Type{kNumeric, 20, 4} : bound::Type{type, 0, 0};
        return result;
    }
    const uint32_t maxLength = type == kNumeric ? kMaxNumericLength : kMaxTextLength;
    if (length < 1 || length > maxLength) {
        result.error = "Length " + std::to_string(length) + " of type " + std::string(info->name) +
                       " is out of range 1 to " + std::to_string(maxLength);
        return result;
    }
    if (decimals >= 0 && type != kNumeric) {
        result.error = "Type " + std::string(info->name) + " takes no decimals";
        return result;
    }
    if (type == kNumeric && decimals >= length) {
        result.error = "Decimals " + std::to_string(decimals) + " do not fit length " +
                       std::to_string(length) + " of type NUMERIC";
        return result;
    }
    result.type = bound::Type{type, static_cast<uint32_t>(length),
                              static_cast<uint16_t>(std::max<int64_t>(decimals, 0))};
    return result;
}

std::optional<bound::Type> CommonType(const bound::Type& a, const bound::Type& b) {
    if (a.type == kUnknownType) return b;
    if (b.type == kUnknownType) return a;
    const Family fa = FamilyOf(a.type);
    const Family fb = FamilyOf(b.type);
    const uint32_t length = std::max(a.length, b.length);
    if (a.type == b.type) return bound::Type{a.type, length, std::max(a.decimals, b.decimals)};
    if (fa == Family::Text && fb == Family::Text) {
        if (a.type == kMemo || b.type == kMemo) return MakeType(kMemo);
        if (IsFixedText(a.type) && IsFixedText(b.type)) return bound::Type{kChar, length, 0};
        return bound::Type{kVarChar, length, 0};
    }
    if (fa == Family::Number && fb == Family::Number) {
        if (IsIntegerType(a.type) && IsIntegerType(b.type)) {
            return MakeType(a.type == kBigInt || b.type == kBigInt ? kBigInt : kInteger);
        }
        if (IsMoneyType(a.type) && IsMoneyType(b.type)) return MakeType(kMoney);
        return MakeType(kDouble);
    }
    if ((fa == Family::Date || fa == Family::Timestamp) &&
        (fb == Family::Date || fb == Family::Timestamp)) {
        return MakeType(kTimestamp);
    }
    if (fa == fb && fa != Family::Unknown) return fa == Family::Binary ? MakeType(kBinary) : a;
    return std::nullopt;
}

std::string ComparisonCollation(const bound::Type& a, const bound::Type& b) {
    if (a.type == kCharCI || b.type == kCharCI) return "KCE_CI";
    if (IsFixedText(a.type) || IsFixedText(b.type)) return "RTRIM";
    return {};
}

std::string_view StoredAffinity(uint16_t type) {
    switch (FamilyOf(type)) {
        case Family::Number:
            return IsIntegerType(type) || IsMoneyType(type) ? "INTEGER" : "REAL";
        case Family::Logical:
            return "INTEGER";
        case Family::Binary:
            return "BLOB";
        default:
            return "TEXT";
    }
}

}  // namespace kce::sql
