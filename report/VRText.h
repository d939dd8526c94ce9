#pragma once
// Text items of a report band: TVRLabel prints a caption, TVRDBText the display text of a
// dataset field. Each breaks its text into lines that fit its width (FormatLines) and draws as
// many of them as fit its height at a band offset on the run's output object.

#include <QColor>
#include <QFont>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "report/VRUnits.h"

namespace parvell {

class TDataSet;
class TField;
class TVRPrinter;

enum class TVRTextAlignment : uint8_t { taLeftJustify, taRightJustify, taCenter };

// A font as a report definition holds it: a family asked for by name, a size in points.
struct TVRFont {
    std::string Name = "Arial";
    int Size = 10;  // points
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    QColor Color = Qt::black;  // the window-text colour
};

// The sides of a frame to draw; none in the label report.
struct TVRFrame {
    QColor Color = Qt::black;
    bool Left = false, Top = false, Right = false, Bottom = false;
};

// The Qt font for a report font on a device of the given pixels per inch: its pixel size is the
// point size scaled to the device and rounded (10 points at 96 pixels per inch is 13 pixels).
// Registers the substitutions that make "MS Sans Serif" measure like "Arial" on first use.
QFont DeviceFont(const TVRFont& font, int pixelsPerInch);

// Width of a text in pixels, as the line breaker compares it with the item's pixel width.
using TTextMeasure = std::function<int(std::string_view text)>;

// Breaks text into the lines that fit widthPixels: line feeds are dropped, carriage returns
// start a new line, words end after a space or hyphen and keep it, a word too wide for an empty
// line keeps only the characters whose width stays below the width. An empty text is one empty
// line.
std::vector<std::string> FormatLines(std::string_view text, int widthPixels,
                                     const TTextMeasure& measure);

class TVRCustomLabel {
public:
    explicit TVRCustomLabel(std::string name);
    virtual ~TVRCustomLabel();
    TVRCustomLabel(const TVRCustomLabel&) = delete;
    TVRCustomLabel& operator=(const TVRCustomLabel&) = delete;

    const std::string& Name() const { return name_; }

    TVRPrintableSize Size;
    TVRFont Font;
    QColor Color = Qt::white;
    bool Transparent = false;
    TVRTextAlignment Alignment = TVRTextAlignment::taLeftJustify;
    bool AlignToBand = false;
    bool AutoSize = false;
    bool AutoStretch = false;
    bool WordWrap = true;
    bool Enabled = true;
    bool ParentFont = false;
    bool RightToLeft = false;
    TVRFrame Frame;

    // Before a run: mark as printing and bind to the run's output object; zoom is the report's.
    virtual void Prepare(TVRPrinter& output, int zoom);
    // After a run.
    virtual void Unprepare();
    bool Printing() const { return output_ != nullptr; }

    // Draws the item at band offset (x0, y0), native units, on the output's current page.
    void Print(double x0, double y0);

    // The item's width in screen pixels at the report zoom (209 for the label items).
    int PixelWidth() const;
    // The lines formed at the last print (or caption change).
    const std::vector<std::string>& Lines() const { return lines_; }
    bool Finished() const { return nextLine_ >= lines_.size(); }
    const std::string& PrintText() const { return printText_; }

protected:
    // The text to print, taken just before the item prints.
    virtual std::string TextForPrint() { return printText_; }
    void SetPrintText(std::string text);
    void FormLines();
    TVRPrinter* Output() const { return output_; }

private:
    std::string name_;
    TVRPrinter* output_ = nullptr;
    int zoom_ = 100;
    std::string printText_;
    std::vector<std::string> lines_;
    size_t nextLine_ = 0;
};

class TVRLabel : public TVRCustomLabel {
public:
    explicit TVRLabel(std::string name);
    const std::string& Caption() const { return caption_; }
    // Replaces caption and print text and forms the lines at once.
    void SetCaption(std::string caption);
    void Prepare(TVRPrinter& output, int zoom) override;

private:
    std::string caption_;
};

class TVRDBText : public TVRCustomLabel {
public:
    explicit TVRDBText(std::string name);

    TDataSet* DataSet = nullptr;
    std::string DataField;
    std::string Mask;

    // Looks the field up without raising; no field when the dataset lacks it.
    void Prepare(TVRPrinter& output, int zoom) override;
    void Unprepare() override;
    TField* Field() const { return field_; }
    // The caption shown outside a run: the field name.
    const std::string& Caption() const { return DataField; }

protected:
    std::string TextForPrint() override;

private:
    TField* field_ = nullptr;
};

}  // namespace parvell
