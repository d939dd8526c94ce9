// The text-like field classes: strings, wide strings, booleans, byte arrays and blobs.
#include "data/Fields.h"

#include <algorithm>
#include <cstring>

#include "common/Exceptions.h"
#include "common/Text.h"
#include "data/DataSet.h"
#include "data/TextCase.h"
#include "data/TextToValue.h"

namespace parvell {
namespace {

template <class F>
std::unique_ptr<TField> Make() {
    return std::make_unique<F>();
}

// Native text up to this many bytes (characters and the closing zero) is read through a fixed
// buffer on the stack; longer fields allocate one per read.
constexpr int kFixedTextBytes = 8193;

// Size + extra without overflowing for absurd sizes.
int SizePlus(int64_t size, int64_t factor, int64_t extra) {
    const int64_t total = std::max<int64_t>(size, 0) * factor + extra;
    return static_cast<int>(std::min<int64_t>(total, INT32_MAX));
}

}  // namespace

TStringField::TStringField() {
    SetDataTypeInternal(ftString);
    SetSizeInternal(20);
}

const TFieldClass& TStringField::Class() {
    static const TFieldClass cls{"TStringField", &Make<TStringField>, &fieldvalue::CheckStringSize};
    return cls;
}

void TStringField::CheckSize(int32_t size) const {
    fieldvalue::CheckStringSize(size);
}

int TStringField::NativeSize() const {
    return SizePlus(Size(), 1, 1);
}

std::string TStringField::ValueAsText() const {
    std::string text;
    TStringField::AppendValueText(text);
    return text;
}

void TStringField::AppendValueText(std::string& out) const {
    // Straight from the record where the dataset holds the characters as they are read.
    if (TDataSet* dataSet = DataSet()) {
        std::string_view text;
        switch (dataSet->LoadFieldText(*this, text)) {
            case TDataSet::TConvertedRead::Read:
                out.append(text.substr(0, static_cast<std::size_t>(std::max(Size(), 0))));
                return;
            case TDataSet::TConvertedRead::Null:
                return;
            case TDataSet::TConvertedRead::NotRead:
                break;
        }
    }
    const int size = NativeSize();
    char fixed[kFixedTextBytes + 1];
    std::vector<char> allocated;
    char* buffer = fixed;
    if (size > kFixedTextBytes) {
        allocated.resize(static_cast<size_t>(size) + 1);
        buffer = allocated.data();
    }
    if (!LoadValueData(buffer, true)) return;
    // The native area holds Size characters and their zero; the text never runs beyond Size
    // characters, even when the zero is missing.
    const size_t length = strnlen(buffer, static_cast<size_t>(std::max(size - 1, 0)));
    buffer[length] = '\0';
    if (transliterate_ && length > 0) DataSet()->Translate(buffer, false);
    out.append(buffer, length);
}

bool TStringField::ValueAsBoolean() const {
    const std::string text = ValueAsText();
    return !text.empty() && (text[0] == 'T' || text[0] == 't' || text[0] == 'Y' || text[0] == 'y');
}

int32_t TStringField::ValueAsInteger() const {
    return TextToInteger(ValueAsText());
}
double TStringField::ValueAsFloat() const {
    return TextToFloat(ValueAsText());
}
TDateTime TStringField::ValueAsDateTime() const {
    return TextToDateTime(ValueAsText());
}

TWideStringField::TWideStringField() {
    SetDataTypeInternal(ftWideString);
    SetSizeInternal(0);
}

const TFieldClass& TWideStringField::Class() {
    static const TFieldClass cls{"TWideStringField", &Make<TWideStringField>,
                                 &fieldvalue::CheckStringSize};
    return cls;
}

int TWideStringField::NativeSize() const {
    return SizePlus(Size(), 2, 2);
}

std::u16string TWideStringField::ValueAsWideText() const {
    const int size = NativeSize();
    const size_t units = static_cast<size_t>(size) / 2;
    char16_t fixed[kFixedTextBytes / 2 + 2];
    std::vector<char16_t> allocated;
    char16_t* buffer = fixed;
    if (units + 1 > std::size(fixed)) {
        allocated.resize(units + 1);
        buffer = allocated.data();
    }
    if (!LoadValueData(buffer, false)) return {};
    buffer[units] = u'\0';
    return std::u16string(buffer);
}

std::string TWideStringField::ValueAsText() const {
    return WideToAnsi(ValueAsWideText());
}

TBooleanField::TBooleanField() {
    SetDataTypeInternal(ftBoolean);
}

const TFieldClass& TBooleanField::Class() {
    static const TFieldClass cls{"TBooleanField", &Make<TBooleanField>, &fieldvalue::AcceptAnySize};
    return cls;
}

void TBooleanField::SetDisplayValues(std::string values) {
    displayValues_ = std::move(values);
    if (displayValues_.empty()) {
        trueText_ = "True";
        falseText_ = "False";
        return;
    }
    const size_t separator = displayValues_.find(';');
    if (separator == std::string::npos) {
        trueText_ = displayValues_.substr(0, 255);
        falseText_.clear();
    } else {
        trueText_ = displayValues_.substr(0, separator);
        falseText_ = displayValues_.substr(separator + 1, 255);
    }
}

bool TBooleanField::ValueAsBoolean() const {
    int16_t value = 0;
    return LoadValueData(&value, true) && value != 0;
}

std::string TBooleanField::ValueAsText() const {
    int16_t value = 0;
    if (!LoadValueData(&value, true)) return {};
    return value != 0 ? trueText_ : falseText_;
}

int TBooleanField::DefaultWidth() const {
    return static_cast<int>(std::max(trueText_.size(), falseText_.size()));
}

TBytesField::TBytesField() {
    SetDataTypeInternal(ftBytes);
    SetSizeInternal(16);
}

const TFieldClass& TBytesField::Class() {
    static const TFieldClass cls{"TBytesField", &Make<TBytesField>, &fieldvalue::CheckBytesSize};
    return cls;
}

void TBytesField::CheckSize(int32_t size) const {
    fieldvalue::CheckBytesSize(size);
}

int TBytesField::NativeSize() const {
    return SizePlus(Size(), 1, 0);
}

std::vector<uint8_t> TBytesField::ValueAsByteArray() const {
    std::vector<uint8_t> bytes(static_cast<size_t>(NativeSize()));
    if (!LoadValueData(bytes.data(), true)) return {};
    return bytes;
}

std::string TBytesField::ValueAsText() const {
    const std::vector<uint8_t> bytes = ValueAsByteArray();
    return std::string(bytes.begin(), bytes.end());
}

std::string TBytesField::RenderText(bool forDisplay) const {
    return forDisplay ? ClassDescription() : ValueAsText();
}

TVarBytesField::TVarBytesField() {
    SetDataTypeInternal(ftVarBytes);
    SetSizeInternal(16);
}

const TFieldClass& TVarBytesField::Class() {
    static const TFieldClass cls{"TVarBytesField", &Make<TVarBytesField>,
                                 &fieldvalue::CheckBytesSize};
    return cls;
}

int TVarBytesField::NativeSize() const {
    return SizePlus(Size(), 1, 2);
}

std::vector<uint8_t> TVarBytesField::ValueAsByteArray() const {
    std::vector<uint8_t> native(static_cast<size_t>(NativeSize()));
    if (!LoadValueData(native.data(), true)) return {};
    uint16_t length = 0;
    std::memcpy(&length, native.data(), sizeof length);
    // A stored length beyond the field's size cannot be trusted; read no further than the size.
    const size_t count = std::min<size_t>(length, native.size() - 2);
    return std::vector<uint8_t>(native.begin() + 2, native.begin() + 2 + count);
}

TBlobField::TBlobField() {
    SetDataTypeInternal(ftBlob);
}

const TFieldClass& TBlobField::Class() {
    static const TFieldClass cls{"TBlobField", &Make<TBlobField>, &fieldvalue::AcceptAnySize};
    return cls;
}

void TBlobField::SetFieldType(TFieldType type) {
    if (IsBlobType(type)) SetDataTypeInternal(type);
}

std::string TBlobField::Description() const {
    return "(" + std::string(FieldTypeName(DataType())) + ")";
}

std::vector<uint8_t> TBlobField::ValueAsByteArray() const {
    if (!DataSet()) {
        throw EDatabaseError(FormatMessage("Field '%s' has no dataset", {DisplayName()}));
    }
    std::unique_ptr<TStream> stream = DataSet()->CreateBlobStream(*this, TBlobStreamMode::Read);
    if (!stream) return {};
    return stream->ReadAll();
}

std::string TBlobField::ValueAsText() const {
    const std::vector<uint8_t> bytes = ValueAsByteArray();
    std::string text(bytes.begin(), bytes.end());
    if (transliterate_ && !text.empty()) DataSet()->Translate(text.data(), false);
    return text;
}

std::string TBlobField::RenderText(bool forDisplay) const {
    return forDisplay ? ClassDescription() : ValueAsText();
}

TMemoField::TMemoField() {
    SetDataTypeInternal(ftMemo);
}

const TFieldClass& TMemoField::Class() {
    static const TFieldClass cls{"TMemoField", &Make<TMemoField>, &fieldvalue::AcceptAnySize};
    return cls;
}

TGraphicField::TGraphicField() {
    SetDataTypeInternal(ftGraphic);
}

const TFieldClass& TGraphicField::Class() {
    static const TFieldClass cls{"TGraphicField", &Make<TGraphicField>, &fieldvalue::AcceptAnySize};
    return cls;
}

TWideMemoField::TWideMemoField() {
    SetDataTypeInternal(ftWideMemo);
}

const TFieldClass& TWideMemoField::Class() {
    static const TFieldClass cls{"TWideMemoField", &Make<TWideMemoField>,
                                 &fieldvalue::AcceptAnySize};
    return cls;
}

}  // namespace parvell
