#pragma once
// Size objects of a report definition. Each keeps its lengths in native units (tenths of a
// millimetre) in a Values list whose order is fixed, and reads and writes them through a current
// unit and zoom. Generation switches every size object to Native for the run.

#include <cstddef>
#include <vector>

#include "report/VRGeometry.h"

namespace parvell {

enum class TVRUnit : uint8_t { MM, Inches, Pixels, Characters, Native };

class TVRUnitBase {
public:
    explicit TVRUnitBase(size_t count);
    virtual ~TVRUnitBase() = default;

    TVRUnit Unit() const { return unit_; }
    void SetUnit(TVRUnit unit) { unit_ = unit; }
    int Zoom() const { return zoom_; }
    void SetZoom(int zoom) { zoom_ = zoom; }
    // Screen pixels per inch, taken when the object is created.
    int ScreenPixelsPerInch() const { return screenPpi_; }

    // The stored numbers, native, in the object's fixed order.
    const std::vector<double>& Values() const { return values_; }
    void SetValues(const std::vector<double>& values);

    // A value read or written in the current unit. Characters is not supported here (no report
    // of this program uses it) and reads as native.
    double Get(size_t index) const;
    void Set(size_t index, double value);
    double Native(size_t index) const { return values_[index]; }
    void SetNative(size_t index, double value) { values_[index] = value; }

protected:
    double FromNative(double native) const;
    double ToNative(double value) const;

private:
    std::vector<double> values_;
    TVRUnit unit_ = TVRUnit::Native;
    int zoom_ = 100;
    int screenPpi_;
};

// A text item's size: height, left, top, width, from the band's top-left corner.
class TVRPrintableSize : public TVRUnitBase {
public:
    TVRPrintableSize() : TVRUnitBase(4) {}
    double Height() const { return Get(0); }
    double Left() const { return Get(1); }
    double Top() const { return Get(2); }
    double Width() const { return Get(3); }
    void SetHeight(double v) { Set(0, v); }
    void SetLeft(double v) { Set(1, v); }
    void SetTop(double v) { Set(2, v); }
    void SetWidth(double v) { Set(3, v); }
};

// A band's size: height, width.
class TVRBandSize : public TVRUnitBase {
public:
    TVRBandSize() : TVRUnitBase(2) {}
    double Height() const { return Get(0); }
    double Width() const { return Get(1); }
    void SetHeight(double v) { Set(0, v); }
    void SetWidth(double v) { Set(1, v); }
};

// The page: bottom margin, length, top margin, width, left margin, right margin, column space;
// with the column count, orientation and paper size. Width and Length follow the paper size
// unless it is Custom.
class TVRPage : public TVRUnitBase {
public:
    TVRPage();
    double BottomMargin() const { return Get(0); }
    double Length() const { return Get(1); }
    double TopMargin() const { return Get(2); }
    double Width() const { return Get(3); }
    double LeftMargin() const { return Get(4); }
    double RightMargin() const { return Get(5); }
    double ColumnSpace() const { return Get(6); }
    void SetBottomMargin(double v) { Set(0, v); }
    void SetTopMargin(double v) { Set(2, v); }
    void SetLeftMargin(double v) { Set(4, v); }
    void SetRightMargin(double v) { Set(5, v); }
    void SetColumnSpace(double v) { Set(6, v); }
    // Only while PaperSize is Custom; ignored otherwise.
    void SetLength(double v);
    void SetWidth(double v);

    int Columns() const { return columns_; }
    // A value of 0 or less is ignored.
    void SetColumns(int columns);
    TVROrientation Orientation() const { return orientation_; }
    // Re-applies the current paper size.
    void SetOrientation(TVROrientation orientation);
    TVRPaperSize PaperSize() const { return paperSize_; }
    // A standard size rewrites Width and Length from the table (exchanged for landscape).
    void SetPaperSize(TVRPaperSize size);

private:
    int columns_ = 1;
    TVROrientation orientation_ = TVROrientation::poPortrait;
    TVRPaperSize paperSize_ = TVRPaperSize::A4;
};

}  // namespace parvell
