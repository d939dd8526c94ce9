// The date and time field classes. Their native forms are day numbers and milliseconds (see
// TDataSet::ConvertFieldData); the accessors read the converted TDateTime.
#include "data/Fields.h"

namespace parvell {
namespace {

template <class F>
std::unique_ptr<TField> Make() {
    return std::make_unique<F>();
}

}  // namespace

TDateTimeField::TDateTimeField() {
    SetDataTypeInternal(ftDateTime);
}

const TFieldClass& TDateTimeField::Class() {
    static const TFieldClass cls{"TDateTimeField", &Make<TDateTimeField>,
                                 &fieldvalue::AcceptAnySize};
    return cls;
}

TDateTime TDateTimeField::ValueAsDateTime() const {
    TDateTime value = 0;
    return LoadValueData(&value, false) ? value : 0.0;
}

double TDateTimeField::ValueAsFloat() const {
    return ValueAsDateTime();
}

std::string TDateTimeField::ValueAsText() const {
    TDateTime value = 0;
    if (!LoadValueData(&value, false)) return {};
    return pattern_.Text(TextPattern(), value);
}

void TDateTimeField::AppendValueText(std::string& out) const {
    TDateTime value = 0;
    if (LoadValueData(&value, false)) pattern_.Append(out, TextPattern(), value);
}

TDateField::TDateField() {
    SetDataTypeInternal(ftDate);
}

const TFieldClass& TDateField::Class() {
    static const TFieldClass cls{"TDateField", &Make<TDateField>, &fieldvalue::AcceptAnySize};
    return cls;
}

std::string_view TDateField::TextPattern() const {
    return LocaleFormats.ShortDatePattern;
}

TTimeField::TTimeField() {
    SetDataTypeInternal(ftTime);
}

const TFieldClass& TTimeField::Class() {
    static const TFieldClass cls{"TTimeField", &Make<TTimeField>, &fieldvalue::AcceptAnySize};
    return cls;
}

std::string_view TTimeField::TextPattern() const {
    return LocaleFormats.LongTimePattern;
}

}  // namespace parvell
