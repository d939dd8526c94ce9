#include "data/FieldTypes.h"

#include <array>

namespace parvell {
namespace {

struct TypeInfo {
    std::string_view name;
    int32_t size;
    TFieldType group;
};

constexpr std::array<TypeInfo, kFieldTypeCount> kTypes = {{
    {"Unknown", 0, ftUnknown},            // ftUnknown
    {"String", 20, ftString},             // ftString
    {"SmallInt", 0, ftInteger},           // ftSmallint
    {"Integer", 0, ftInteger},            // ftInteger
    {"Word", 0, ftInteger},               // ftWord
    {"Boolean", 0, ftBoolean},            // ftBoolean
    {"Float", 0, ftFloat},                // ftFloat
    {"Currency", 0, ftFloat},             // ftCurrency
    {"BCD", 4, ftBCD},                    // ftBCD
    {"Date", 0, ftDateTime},              // ftDate
    {"Time", 0, ftDateTime},              // ftTime
    {"DateTime", 0, ftDateTime},          // ftDateTime
    {"Bytes", 16, ftBytes},               // ftBytes
    {"VarBytes", 16, ftVarBytes},         // ftVarBytes
    {"AutoInc", 0, ftInteger},            // ftAutoInc
    {"Blob", 0, ftBlob},                  // ftBlob
    {"Memo", 0, ftBlob},                  // ftMemo
    {"Graphic", 0, ftBlob},               // ftGraphic
    {"FmtMemo", 0, ftBlob},               // ftFmtMemo
    {"ParadoxOle", 0, ftBlob},            // ftParadoxOle
    {"dBaseOle", 0, ftBlob},              // ftDBaseOle
    {"TypedBinary", 0, ftBlob},           // ftTypedBinary
    {"Cursor", 0, ftUnknown},             // ftCursor
    {"FixedChar", 20, ftString},          // ftFixedChar
    {"WideString", 0, ftWideString},      // ftWideString
    {"LargeInt", 0, ftLargeint},          // ftLargeint
    {"ADT", 0, ftADT},                    // ftADT
    {"Array", 10, ftArray},               // ftArray
    {"Reference", 0, ftReference},        // ftReference
    {"DataSet", 0, ftDataSet},            // ftDataSet
    {"HugeBlob", 0, ftBlob},              // ftOraBlob
    {"HugeClob", 0, ftBlob},              // ftOraClob
    {"Variant", 0, ftVariant},            // ftVariant
    {"Interface", 0, ftInterface},        // ftInterface
    {"Dispatch", 0, ftInterface},         // ftIDispatch
    {"Guid", 0, ftString},                // ftGuid
    {"SQLTimeStamp", 0, ftTimeStamp},     // ftTimeStamp
    {"FMTBcdField", 4, ftFMTBcd},         // ftFMTBcd
    {"FixedWideChar", 40, ftWideString},  // ftFixedWideChar
    {"WideMemo", 0, ftBlob},              // ftWideMemo
    {"SQLTimeStamp", 0, ftOraTimeStamp},  // ftOraTimeStamp
    {"String", 20, ftOraInterval},        // ftOraInterval
}};

const TypeInfo& Info(TFieldType type) {
    return kTypes[type < kFieldTypeCount ? type : ftUnknown];
}

}  // namespace

std::string_view FieldTypeName(TFieldType type) {
    return Info(type).name;
}
int32_t DefaultFieldSize(TFieldType type) {
    return Info(type).size;
}
TFieldType FieldTypeGroup(TFieldType type) {
    return Info(type).group;
}
bool IsBlobType(TFieldType type) {
    return FieldTypeGroup(type) == ftBlob;
}

}  // namespace parvell
