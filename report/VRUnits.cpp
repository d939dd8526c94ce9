#include "report/VRUnits.h"

#include <utility>

#include "report/VRPrinter.h"

namespace parvell {

TVRUnitBase::TVRUnitBase(size_t count)
    : values_(count, 0.0), screenPpi_(parvell::ScreenPixelsPerInch()) {}

void TVRUnitBase::SetValues(const std::vector<double>& values) {
    for (size_t i = 0; i < values_.size() && i < values.size(); ++i) values_[i] = values[i];
}

double TVRUnitBase::FromNative(double native) const {
    switch (unit_) {
        case TVRUnit::MM:
            return native / 10;
        case TVRUnit::Inches:
            return native / kNativePerInch;
        case TVRUnit::Pixels:
            return native / (kNativePerInch / screenPpi_) * zoom_ / 100;
        case TVRUnit::Characters:
        case TVRUnit::Native:
            break;
    }
    return native;
}

double TVRUnitBase::ToNative(double value) const {
    switch (unit_) {
        case TVRUnit::MM:
            return value * 10;
        case TVRUnit::Inches:
            return value * kNativePerInch;
        case TVRUnit::Pixels:
            return value * (kNativePerInch / screenPpi_) * 100 / zoom_;
        case TVRUnit::Characters:
        case TVRUnit::Native:
            break;
    }
    return value;
}

double TVRUnitBase::Get(size_t index) const {
    return FromNative(values_[index]);
}
void TVRUnitBase::Set(size_t index, double value) {
    values_[index] = ToNative(value);
}

TVRPage::TVRPage() : TVRUnitBase(7) {
    SetPaperSize(TVRPaperSize::A4);
}

void TVRPage::SetLength(double v) {
    if (paperSize_ == TVRPaperSize::Custom) Set(1, v);
}

void TVRPage::SetWidth(double v) {
    if (paperSize_ == TVRPaperSize::Custom) Set(3, v);
}

void TVRPage::SetColumns(int columns) {
    if (columns > 0) columns_ = columns;
}

void TVRPage::SetOrientation(TVROrientation orientation) {
    orientation_ = orientation;
    SetPaperSize(paperSize_);
}

void TVRPage::SetPaperSize(TVRPaperSize size) {
    paperSize_ = size;
    const auto dims = PaperDimensions(size);
    if (!dims) return;
    double width = dims->widthMm * 10;
    double length = dims->lengthMm * 10;
    if (orientation_ == TVROrientation::poLandscape) std::swap(width, length);
    SetNative(1, length);
    SetNative(3, width);
}

}  // namespace parvell
