#include "data/Field.h"

#include <cmath>

#include "common/Exceptions.h"
#include "common/Text.h"
#include "data/DataSet.h"
#include "data/Fields.h"
#include "data/TextCase.h"

namespace parvell {

const TFieldClass* DefaultFieldClass(TFieldType type) {
    switch (type) {
        case ftString:
        case ftFixedChar:
        case ftOraInterval:
            return &TStringField::Class();
        case ftSmallint:
            return &TSmallintField::Class();
        case ftInteger:
            return &TIntegerField::Class();
        case ftWord:
            return &TWordField::Class();
        case ftBoolean:
            return &TBooleanField::Class();
        case ftFloat:
            return &TFloatField::Class();
        case ftCurrency:
            return &TCurrencyField::Class();
        case ftBCD:
            return &TBCDField::Class();
        case ftDate:
            return &TDateField::Class();
        case ftTime:
            return &TTimeField::Class();
        case ftDateTime:
            return &TDateTimeField::Class();
        case ftBytes:
            return &TBytesField::Class();
        case ftVarBytes:
            return &TVarBytesField::Class();
        case ftAutoInc:
            return &TAutoIncField::Class();
        case ftBlob:
        case ftFmtMemo:
        case ftParadoxOle:
        case ftDBaseOle:
        case ftTypedBinary:
        case ftOraBlob:
            return &TBlobField::Class();
        case ftMemo:
        case ftOraClob:
            return &TMemoField::Class();
        case ftGraphic:
            return &TGraphicField::Class();
        case ftWideString:
        case ftFixedWideChar:
            return &TWideStringField::Class();
        case ftLargeint:
            return &TLargeintField::Class();
        case ftFMTBcd:
            return &TFMTBCDField::Class();
        case ftWideMemo:
            return &TWideMemoField::Class();
        default:
            return nullptr;  // no field object for these types here
    }
}

TField::TField() = default;
TField::~TField() = default;

void TField::SetSize(int32_t size) {
    CheckSize(size);
    size_ = size;
}

int TField::Index() const {
    return dataSet_ ? dataSet_->Fields().IndexOf(this) : -1;
}

const std::string& TField::DisplayName() const {
    return displayLabel_.empty() ? fieldName_ : displayLabel_;
}

void TField::AccessError(std::string_view typeWord) const {
    throw EDatabaseError(
        FormatMessage("Cannot access field '%s' as type %s", {DisplayName(), typeWord}));
}

TBcd TField::ValueAsBCD() const {
    AccessError("BCD");
}
bool TField::ValueAsBoolean() const {
    AccessError("Boolean");
}
std::vector<uint8_t> TField::ValueAsByteArray() const {
    AccessError("Variant");
}
TDateTime TField::ValueAsDateTime() const {
    AccessError("DateTime");
}
double TField::ValueAsFloat() const {
    AccessError("Float");
}
int32_t TField::ValueAsInteger() const {
    AccessError("Integer");
}
TSQLTimeStamp TField::ValueAsSQLTimeStamp() const {
    AccessError("SQLTimeStamp");
}

int64_t TField::ValueAsCurrency() const {
    return fieldvalue::RoundToInt64(ValueAsFloat() * 10000.0);
}

std::string TField::ValueAsText() const {
    return ClassDescription();
}

void TField::AppendValueText(std::string& out) const {
    out += ValueAsText();
}

std::u16string TField::ValueAsWideText() const {
    return AnsiToWide(ValueAsText());
}

std::string TField::Description() const {
    std::string_view name = ClassName();
    if (!name.empty() && (name.front() == 'T' || name.front() == 't')) name.remove_prefix(1);
    if (name.size() > 4 && AnsiSameText(name.substr(name.size() - 5), "FIELD")) {
        name.remove_suffix(5);
    }
    return "(" + std::string(name) + ")";
}

std::string TField::ClassDescription() const {
    std::string description = Description();
    return ValueIsNull() ? description : AnsiUpperCase(description);
}

bool TField::ValueIsNull() const {
    return !LoadValueData(nullptr, true);
}

std::string TField::RenderText(bool forDisplay) const {
    return ValueAsText();
}

std::string TField::DisplayString() const {
    if (onGetText_) {
        std::string text;
        onGetText_(*this, text, true);
        return text;
    }
    return RenderText(true);
}

bool TField::LoadValueData(void* buffer, bool native) const {
    if (!dataSet_) {
        throw EDatabaseError(FormatMessage("Field '%s' has no dataset", {DisplayName()}));
    }
    return dataSet_->LoadFieldValue(*this, buffer, native);
}

namespace fieldvalue {

int64_t RoundToInt64(double value) {
    // 2^63 itself does not fit; anything at or beyond it, and NaN, has no whole-number value.
    if (!(std::fabs(value) < 9223372036854775808.0)) {
        throw Exception("Invalid floating point operation");
    }
    return static_cast<int64_t>(std::nearbyint(value));
}

int32_t RoundToInt32(double value) {
    return static_cast<int32_t>(static_cast<uint32_t>(RoundToInt64(value)));
}

void CheckStringSize(int32_t size) {
    if (size < 0) throw EDatabaseError("Invalid field size");
}

void CheckBcdSize(int32_t size) {
    if (size > 32) throw EDatabaseError("Invalid field size");
}

// A byte field of no (or a negative number of) bytes holds nothing and cannot be read.
void CheckBytesSize(int32_t size) {
    if (size <= 0) throw EDatabaseError("Invalid field size");
}

void AcceptAnySize(int32_t size) {}

}  // namespace fieldvalue

}  // namespace parvell
