#pragma once
// The field type enumeration and what each type means to the model: its display name (used in
// messages and blob descriptions), its default size and its compatibility group (a field and its
// definition must share a group). The numeric values are part of the interfaces: the fixed-length
// writer keys its widths on them.

#include <cstdint>
#include <initializer_list>
#include <string_view>

namespace parvell {

enum TFieldType : uint8_t {
    ftUnknown = 0,
    ftString = 1,
    ftSmallint = 2,
    ftInteger = 3,
    ftWord = 4,
    ftBoolean = 5,
    ftFloat = 6,
    ftCurrency = 7,
    ftBCD = 8,
    ftDate = 9,
    ftTime = 10,
    ftDateTime = 11,
    ftBytes = 12,
    ftVarBytes = 13,
    ftAutoInc = 14,
    ftBlob = 15,
    ftMemo = 16,
    ftGraphic = 17,
    ftFmtMemo = 18,
    ftParadoxOle = 19,
    ftDBaseOle = 20,
    ftTypedBinary = 21,
    ftCursor = 22,
    ftFixedChar = 23,
    ftWideString = 24,
    ftLargeint = 25,
    ftADT = 26,
    ftArray = 27,
    ftReference = 28,
    ftDataSet = 29,
    ftOraBlob = 30,
    ftOraClob = 31,
    ftVariant = 32,
    ftInterface = 33,
    ftIDispatch = 34,
    ftGuid = 35,
    ftTimeStamp = 36,
    ftFMTBcd = 37,
    ftFixedWideChar = 38,
    ftWideMemo = 39,
    ftOraTimeStamp = 40,
    ftOraInterval = 41,
};

inline constexpr int kFieldTypeCount = 42;

// Values outside the enumeration read as ftUnknown: "Unknown", size 0, group ftUnknown.
std::string_view FieldTypeName(TFieldType type);
int32_t DefaultFieldSize(TFieldType type);
TFieldType FieldTypeGroup(TFieldType type);
bool IsBlobType(TFieldType type);  // the types whose group is ftBlob

// Members of a definition's attribute set; TFieldAttributes holds them as bits of one byte.
enum TFieldAttribute : uint8_t {
    faHiddenCol = 0,
    faReadonly = 1,
    faRequired = 2,
    faLink = 3,
    faUnNamed = 4,
    faFixed = 5,
};

class TFieldAttributes {
public:
    constexpr TFieldAttributes() = default;
    constexpr TFieldAttributes(std::initializer_list<TFieldAttribute> members) {
        for (auto m : members) Include(m);
    }
    constexpr bool Contains(TFieldAttribute a) const { return (bits_ >> a) & 1u; }
    constexpr void Include(TFieldAttribute a) { bits_ = static_cast<uint8_t>(bits_ | (1u << a)); }
    constexpr void Exclude(TFieldAttribute a) { bits_ = static_cast<uint8_t>(bits_ & ~(1u << a)); }
    constexpr uint8_t Bits() const { return bits_; }
    constexpr bool operator==(const TFieldAttributes&) const = default;

private:
    uint8_t bits_ = 0;
};

enum class TFieldKind : uint8_t {
    fkData = 0,
    fkCalculated = 1,
    fkLookup = 2,
    fkInternalCalc = 3,
    fkAggregate = 4,
};

}  // namespace parvell
