// The numeric field classes: integers, large integers, floats, currency and decimal records.
#include "data/Fields.h"

#include <algorithm>
#include <cstring>

#include "common/Exceptions.h"
#include "data/TextToValue.h"
#include "data/ValueConvert.h"

namespace parvell {
namespace {

template <class F>
std::unique_ptr<TField> Make() {
    return std::make_unique<F>();
}

// A whole number of ten-thousandths to the nearest whole number, ties to even.
int64_t ScaledToWhole(int64_t scaled) {
    int64_t whole = scaled / 10000;
    const int64_t rest = scaled % 10000;  // same sign as scaled
    const int64_t twice = rest < 0 ? -2 * rest : 2 * rest;
    if (twice > 10000 || (twice == 10000 && whole % 2 != 0)) whole += scaled < 0 ? -1 : 1;
    return whole;
}

}  // namespace

TNumericField::TNumericField() {
    SetAlignment(TAlignment::taRightJustify);
}

TIntegerField::TIntegerField() {
    SetDataTypeInternal(ftInteger);
}

const TFieldClass& TIntegerField::Class() {
    static const TFieldClass cls{"TIntegerField", &Make<TIntegerField>, &fieldvalue::AcceptAnySize};
    return cls;
}

void TIntegerField::SetRange(int32_t minValue, int32_t maxValue) {
    minValue_ = minValue;
    maxValue_ = maxValue;
}

bool TIntegerField::ReadValue(int32_t* value) const {
    return LoadValueData(value, true);
}

int32_t TIntegerField::ValueAsInteger() const {
    int32_t value = 0;
    return ReadValue(&value) ? value : 0;
}

double TIntegerField::ValueAsFloat() const {
    return ValueAsInteger();
}

std::string TIntegerField::ValueAsText() const {
    int32_t value = 0;
    return ReadValue(&value) ? IntegerText(value) : std::string();
}

void TIntegerField::AppendValueText(std::string& out) const {
    int32_t value = 0;
    if (ReadValue(&value)) AppendIntegerText(out, value);
}

TSmallintField::TSmallintField() {
    SetDataTypeInternal(ftSmallint);
    SetRange(-32768, 32767);
}

const TFieldClass& TSmallintField::Class() {
    static const TFieldClass cls{"TSmallintField", &Make<TSmallintField>,
                                 &fieldvalue::AcceptAnySize};
    return cls;
}

bool TSmallintField::ReadValue(int32_t* value) const {
    int16_t native = 0;
    if (!LoadValueData(&native, true)) return false;
    *value = native;
    return true;
}

TWordField::TWordField() {
    SetDataTypeInternal(ftWord);
    SetRange(0, 65535);
}

const TFieldClass& TWordField::Class() {
    static const TFieldClass cls{"TWordField", &Make<TWordField>, &fieldvalue::AcceptAnySize};
    return cls;
}

bool TWordField::ReadValue(int32_t* value) const {
    uint16_t native = 0;
    if (!LoadValueData(&native, true)) return false;
    *value = native;
    return true;
}

TAutoIncField::TAutoIncField() {
    SetDataTypeInternal(ftAutoInc);
}

const TFieldClass& TAutoIncField::Class() {
    static const TFieldClass cls{"TAutoIncField", &Make<TAutoIncField>, &fieldvalue::AcceptAnySize};
    return cls;
}

TLargeintField::TLargeintField() {
    SetDataTypeInternal(ftLargeint);
}

const TFieldClass& TLargeintField::Class() {
    static const TFieldClass cls{"TLargeintField", &Make<TLargeintField>,
                                 &fieldvalue::AcceptAnySize};
    return cls;
}

int64_t TLargeintField::ValueAsLargeInt() const {
    int64_t value = 0;
    return LoadValueData(&value, true) ? value : 0;
}

int32_t TLargeintField::ValueAsInteger() const {
    return static_cast<int32_t>(static_cast<uint32_t>(ValueAsLargeInt()));
}

double TLargeintField::ValueAsFloat() const {
    return static_cast<double>(ValueAsLargeInt());
}

std::string TLargeintField::ValueAsText() const {
    int64_t value = 0;
    return LoadValueData(&value, true) ? Int64Text(value) : std::string();
}

TFloatField::TFloatField() {
    SetDataTypeInternal(ftFloat);
}

const TFieldClass& TFloatField::Class() {
    static const TFieldClass cls{"TFloatField", &Make<TFloatField>, &fieldvalue::AcceptAnySize};
    return cls;
}

void TFloatField::SetPrecision(int value) {
    precision_ = std::clamp(value, 2, 15);
}

double TFloatField::ValueAsFloat() const {
    double value = 0;
    return LoadValueData(&value, true) ? value : 0.0;
}

int32_t TFloatField::ValueAsInteger() const {
    return fieldvalue::RoundToInt32(ValueAsFloat());
}

std::string TFloatField::ValueAsText() const {
    double value = 0;
    return LoadValueData(&value, true) ? FloatText(value) : std::string();
}

std::string TFloatField::RenderText(bool forDisplay) const {
    double value = 0;
    if (!LoadValueData(&value, true)) return {};
    const int digits = LocaleFormats.CurrencyDigits;
    if (forDisplay) {
        return currency_ ? FloatTextStyled(value, TFloatFormat::Currency, precision_, digits)
                         : FloatTextStyled(value, TFloatFormat::General, precision_, 0);
    }
    return currency_ ? FloatTextStyled(value, TFloatFormat::Fixed, precision_, digits)
                     : FloatText(value);
}

TCurrencyField::TCurrencyField() {
    SetDataTypeInternal(ftCurrency);
    SetCurrency(true);
}

const TFieldClass& TCurrencyField::Class() {
    static const TFieldClass cls{"TCurrencyField", &Make<TCurrencyField>,
                                 &fieldvalue::AcceptAnySize};
    return cls;
}

TBCDField::TBCDField() {
    SetDataTypeInternal(ftBCD);
    SetSizeInternal(4);
}

const TFieldClass& TBCDField::Class() {
    static const TFieldClass cls{"TBCDField", &Make<TBCDField>, &fieldvalue::CheckBcdSize};
    return cls;
}

void TBCDField::CheckSize(int32_t size) const {
    fieldvalue::CheckBcdSize(size);
}

void TBCDField::SetPrecision(int value) {
    precision_ = std::clamp(value, 0, 32);
}

bool TBCDField::ReadScaled(int64_t* value) const {
    return LoadValueData(value, false);
}

TBcd TBCDField::ValueAsBCD() const {
    TBcd value;
    LoadValueData(&value, true);
    return value;
}

int64_t TBCDField::ValueAsCurrency() const {
    int64_t scaled = 0;
    return ReadScaled(&scaled) ? scaled : 0;
}

double TBCDField::ValueAsFloat() const {
    return static_cast<double>(ValueAsCurrency()) / 10000.0;
}

int32_t TBCDField::ValueAsInteger() const {
    return static_cast<int32_t>(static_cast<uint32_t>(ScaledToWhole(ValueAsCurrency())));
}

bool TBCDField::ReadPlainText(std::string* text) const {
    int64_t scaled = 0;
    try {
        if (!ReadScaled(&scaled)) return false;
        *text = CurrencyText(scaled);
    } catch (const EBcdOverflowException&) {
        // Beyond the scaled range (a 64-bit integer column holds up to 19 digits): the decimal
        // record itself, kept to the same four decimals, so that no digit is lost. A malformed
        // record raises again.
        TBcd value;
        if (!LoadValueData(&value, true)) return false;
        *text = BcdText(BcdKeepPlaces(value, 4));
    }
    return true;
}

std::string TBCDField::ValueAsText() const {
    std::string text;
    return ReadPlainText(&text) ? text : std::string();
}

void TBCDField::AppendValueText(std::string& out) const {
    int64_t scaled = 0;
    bool inRange = true;
    try {
        if (!ReadScaled(&scaled)) return;
    } catch (const EBcdOverflowException&) {
        inRange = false;
    }
    if (inRange) {
        AppendCurrencyText(out, scaled);
    } else {
        out += ValueAsText();  // the decimal record's own digits, as ValueAsText gives them
    }
}

std::string TBCDField::RenderText(bool forDisplay) const {
    int64_t scaled = 0;
    try {
        if (!currency_) return ValueAsText();
        if (!ReadScaled(&scaled)) return {};
        const TFloatFormat style = forDisplay ? TFloatFormat::Currency : TFloatFormat::Fixed;
        return CurrencyTextStyled(scaled, style, LocaleFormats.CurrencyDigits);
    } catch (const EBcdOverflowException& error) {
        if (!forDisplay) throw;
        return error.Message();
    }
}

TFMTBCDField::TFMTBCDField() {
    SetDataTypeInternal(ftFMTBcd);
    SetSizeInternal(4);
}

const TFieldClass& TFMTBCDField::Class() {
    static const TFieldClass cls{"TFMTBCDField", &Make<TFMTBCDField>, &fieldvalue::AcceptAnySize};
    return cls;
}

TBcd TFMTBCDField::ValueAsBCD() const {
    TBcd value;
    LoadValueData(&value, false);
    return value;
}

std::string TFMTBCDField::ValueAsText() const {
    TBcd value;
    return LoadValueData(&value, false) ? BcdText(value) : std::string();
}

double TFMTBCDField::ValueAsFloat() const {
    TBcd value;
    return LoadValueData(&value, false) ? TextToFloat(BcdText(value)) : 0.0;
}

int32_t TFMTBCDField::ValueAsInteger() const {
    return fieldvalue::RoundToInt32(ValueAsFloat());
}

std::string TFMTBCDField::RenderText(bool forDisplay) const {
    try {
        return ValueAsText();
    } catch (const EBcdOverflowException& error) {
        if (!forDisplay) throw;
        return error.Message();
    }
}

}  // namespace parvell
