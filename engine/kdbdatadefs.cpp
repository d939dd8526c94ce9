// Engine field definitions: the engine type table, the engine field classes and the table
// options.
#include "engine/kdbdata.h"

#include "common/Text.h"
#include "data/TextCase.h"
#include "kce/kce.h"

namespace parvell {
namespace {

template <typename T>
std::unique_ptr<TField> Make() {
    return std::make_unique<T>();
}

}  // namespace

uint16_t OpenTableTypeCode(TKdbTableTypes type) {
    switch (type) {
        case TKdbTableTypes::ttKdbCDX:
            return 2;
        case TKdbTableTypes::ttKdbNTX:
            return 1;
        case TKdbTableTypes::ttKdbVFP:
            return 4;
        default:
            return 3;
    }
}

std::string KdbCharTypeName(TKdbCharTypes type) {
    switch (type) {
        case kKdbCharANSI:
            return "ANSI";
        case kKdbCharOEM:
            return "OEM";
        case kKdbCharGeneralVfpCiAs1252:
            return "GENERAL_VFP_CI_AS_1252";
        default:
            return {};
    }
}

int TKCEFieldDefs::IndexOf(std::string_view name) const {
    for (size_t i = 0; i < items_.size(); ++i) {
        if (AnsiSameText(items_[i].Name, name)) return static_cast<int>(i);
    }
    return -1;
}

TKdbFieldMapping MapEngineField(const TKdbDataSet* dataSet, uint16_t engineType, uint32_t length,
                                uint16_t decimals, uint16_t tableType, bool numericsAsFloats) {
    const int32_t l = static_cast<int32_t>(length);
    const int32_t d = decimals;
    switch (engineType) {
        case 1:
            return {ftBoolean, 0};
        case 2:
            if (tableType == KDB_TABLE_KDT && !numericsAsFloats) {
                const int32_t precision = d > 0 ? l - 2 : l - 1;
                return {d > 4 || l > 18 ? ftFMTBcd : ftBCD, d, precision};
            }
            if (d > 0) return {ftFloat, 0};
            return {l < 5 ? ftSmallint : ftFloat, 0};
        case 3:
        case 9:
            return {ftDate, 0};
        case 4:
        case 20:
        case 23:
            return {ftString, l};
        case 5:
        case 8:
            return {ftMemo, 1};
        case 6:
        case 7:
        case 51:
        case 52:
            return {ftBlob, 1};
        case 10:
            return {ftFloat, 0};
        case 11:
            return {ftInteger, 0};
        case 12:
            return {ftSmallint, 0};
        case 13:
            return {ftTime, 0};
        case 14:
        case 22:
            return {ftDateTime, 0};
        case 15:
            return {ftAutoInc, 0};
        case 16:
            return {ftBytes, l};
        case 17:
            return {ftCurrency, 0};
        case 18:
            return {ftBCD, 4, 20};
        case 21:
            return {ftBCD, 0, 20};
        case 24:
            return {ftVarBytes, l};
        case 26:
        case 27:
        case 28:
            RaiseKdbDatabaseError(
                dataSet, FormatMessage("Unicode field type (%d) encountered.  Reading Unicode "
                                       "fields needs a newer release of the engine components.",
                                       {static_cast<int>(engineType)}));
        default:
            RaiseKdbDatabaseError(dataSet, FormatMessage("Unknown field type (%d) encountered.",
                                                         {static_cast<int>(engineType)}));
    }
}

const TFieldClass& TKdbStringField::Class() {
    static const TFieldClass cls{"TKdbStringField", &Make<TKdbStringField>,
                                 &fieldvalue::CheckStringSize};
    return cls;
}

const TFieldClass& TKdbBCDField::Class() {
    static const TFieldClass cls{"TKdbBCDField", &Make<TKdbBCDField>, &fieldvalue::CheckBcdSize};
    return cls;
}

void TKdbTableOptions::CheckInactive() const {
    if (dataSet_.Active()) RaiseKdbDatabaseError(&dataSet_, "Table must not be Active.");
}

void TKdbTableOptions::SetKdbLockType(TKdbLockType value) {
    CheckInactive();
    lockType_ = value;
}

void TKdbTableOptions::SetKdbCharType(TKdbCharTypes value) {
    CheckInactive();
    if (value >= kKdbCharTypeCount) {
        RaiseKdbDatabaseError(&dataSet_, "Invalid or unknown character type.");
    }
    const TKdbTableTypes type = dataSet_.SourceTableType();
    if ((type == TKdbTableTypes::ttKdbCDX || type == TKdbTableTypes::ttKdbNTX) &&
        value != kKdbCharANSI && value != kKdbCharOEM) {
        RaiseKdbDatabaseError(&dataSet_,
                              "ttKdbCDX and ttKdbNTX table types only support an "
                              "KdbCharType of ANSI or OEM.");
    }
    charType_ = value;
}

void TKdbTableOptions::SetKdbRightsCheck(bool value) {
    CheckInactive();
    rightsCheck_ = value;
}

void TKdbTableOptions::SetKdbCachingOption(TKdbCachingOption value) {
    CheckInactive();
    cachingOption_ = value;
}

void TKdbTableOptions::SetKdbRecordCache(TKdbRecordCache value) {
    if (dataSet_.CursorIsOpen()) {
        const uint16_t records = value == TKdbRecordCache::rcNone       ? 0
                                 : value == TKdbRecordCache::rcStandard ? 10
                                                                        : 100;
        CheckEngineResult(&dataSet_, KdbCacheRecords(dataSet_.CursorHandle(), records));
    }
    recordCache_ = value;
}

}  // namespace parvell
