#pragma once
// Static type rules shared by the binder and the generator: type families, default lengths, the
// type names of CREATE TABLE and CAST, and the common type of alternatives (CASE, UNION, ...).

#include <optional>
#include <string>
#include <string_view>

#include "kce/sql/Bound.h"

namespace kce::sql {

// Type code of a value whose type comes from its context: a parameter or a NULL literal.
inline constexpr uint16_t kUnknownType = 0;

enum class Family { Unknown, Text, Number, Logical, Date, Time, Timestamp, Binary };

Family FamilyOf(uint16_t type);
bool IsFixedText(uint16_t type);  // CHAR, CHAR_CI: trailing blanks belong to the value
bool IsIntegerType(uint16_t type);
bool IsNumberType(uint16_t type);  // integers included
// MONEY and CURRENCY: stored as a count of ten-thousandths, not as the amount itself.
bool IsMoneyType(uint16_t type);
// Whether a value of type `from` must be converted to serve as a value of type `to`: another
// family, or a money count where an amount is meant (or the other way round).
bool NeedsConversion(uint16_t from, uint16_t to);

// The type with its default length (the size of the value in a native record for types whose
// length the statement does not give).
bound::Type MakeType(uint16_t type, uint32_t length = 0, uint16_t decimals = 0);

// The engine's name of a type code ("CHAR", "NUMERIC", ...), for messages.
std::string TypeName(uint16_t type);

// Reads a type name of CREATE TABLE or CAST; `length`/`decimals` are -1 when not written.
// Returns a message describing the fault instead when the name or its length is not accepted.
struct TypeNameResult {
    bound::Type type;
    bool lengthGiven = false;
    std::string error;
};
TypeNameResult ReadTypeName(std::string_view name, int64_t length, int64_t decimals, bool forCast);

// Common type of two alternatives; nullopt when they do not go together.
std::optional<bound::Type> CommonType(const bound::Type& a, const bound::Type& b);

// Collation a text comparison between the two types needs ("" for none).
std::string ComparisonCollation(const bound::Type& a, const bound::Type& b);

// SQLite column affinity of the stored representation.
std::string_view StoredAffinity(uint16_t type);

}  // namespace kce::sql
