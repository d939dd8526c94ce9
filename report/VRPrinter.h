#pragma once
// The output object of a report run. It turns native positions (tenths of a millimetre from the
// paper's top-left corner) into pixels of the page being drawn, and sends finished pages either
// to a page store for the preview window (each page a QPicture recording) or to a paged device
// through a TVRDevice: a QPdfWriter (a PDF file), a print job for a CUPS queue (VRCupsJob.h) or
// a QPrinter of the printing part (report/print/). States: idle -> generating (BeginDoc) ->
// finished (EndDoc, Abort).

#include <QPainter>
#include <QPicture>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "report/VRGeometry.h"
#include "report/VRPageStore.h"

class QPagedPaintDevice;
class QPdfWriter;

namespace parvell {

enum class TVRDestination : uint8_t { Preview, Printer };
enum class TVRPrinterState : uint8_t { Idle, Generating, Finished };

// The report's printer settings; the values a report keeps between runs.
struct TVellRepPrinterSettings {
    int Copies = 1;
    TVRBin OutputBin = TVRBin::Auto;
    bool Duplex = false;
    int FirstPage = 0;  // 0 and 0: all pages
    int LastPage = 0;
    bool UseStandardprinter = false;
    bool UseCustomBinCode = false;
    int CustomBinCode = 0;
    int ExtendedDuplex = 0;
    bool UseCustomPaperCode = false;
    int CustomPaperCode = 0;
    bool PrintMetaFile = false;
    int PrintQuality = 0;
    int Collate = 0;
    int ColorOption = 0;
    int PrinterIndex = -1;    // -1: the system's default printer
    std::string PrinterName;  // the chosen printer (empty: the default one)
    int64_t MemoryLimit = kDefaultPageMemoryLimit;
};

// The page of a report as the output object needs it: paper, orientation and, for Custom, the
// page's own width and length (native, portrait).
struct TVRPaperRequest {
    TVRPaperSize PaperSize = TVRPaperSize::A4;
    TVROrientation Orientation = TVROrientation::poPortrait;
    double Width = 2100;
    double Length = 2970;
};

// What the output object learns about the current printer when it is created.
struct TVRDeviceFacts {
    std::string PrinterName;
    int PixelsPerInchX = 96;
    int PixelsPerInchY = 96;
    int OffsetX = 0;  // unprintable left and top margins, device pixels
    int OffsetY = 0;
    TVRPaperSize Paper = TVRPaperSize::Default;
    double PaperWidth = 0;  // native, as the printer holds its current paper
    double PaperLength = 0;
    std::vector<TVRPaperSize> SupportedPapers;
    int Copies = 1;
    TVRBin Bin = TVRBin::Auto;
    bool Duplex = false;
    int Collate = 0;
};

// The facts of a PDF writer, the same as a QPrinter writing a PDF file of that page reports.
TVRDeviceFacts FactsOfPdfWriter(QPdfWriter& writer);
// The facts any paged device reports through its page layout: resolution, offsets of the
// printable area and paper; no copies, sides or bins (a single copy, collated).
TVRDeviceFacts FactsOfPagedDevice(QPagedPaintDevice& device);

// What the output object needs of the device it prints on, beyond painting on it.
class TVRDevice {
public:
    virtual ~TVRDevice() = default;
    // The device painted on; it must outlive the document.
    virtual QPagedPaintDevice& PaintDevice() = 0;
    // The facts of the device as it stands (after ApplySettings: of the run's paper).
    virtual TVRDeviceFacts Facts() = 0;
    // Takes the run's copies, sides, bin, collation and title. Called before the first page,
    // after the run's paper and orientation have been set on the paint device.
    virtual void ApplySettings(const TVellRepPrinterSettings& settings,
                               const std::string& title) = 0;
    // The document in progress is thrown away (a printer's job is cancelled); the painter on the
    // device ends right after.
    virtual void Abort() {}
};

// Any paged device taken as it is: a QPdfWriter takes the title as its document name; another
// device (for instance a QPrinter writing a PDF file) takes only the paper and orientation. A
// printer's copies, sides and bins need the printer device of report/print/.
class TVRPagedDevice final : public TVRDevice {
public:
    explicit TVRPagedDevice(QPagedPaintDevice& device) : device_(device) {}
    QPagedPaintDevice& PaintDevice() override { return device_; }
    TVRDeviceFacts Facts() override;
    void ApplySettings(const TVellRepPrinterSettings& settings, const std::string& title) override;

private:
    QPagedPaintDevice& device_;
};

// Pixels per inch of the screen-compatible device that preview pages are recorded on.
int ScreenPixelsPerInch();

// A window attached to an output object hears of new pages and of progress.
class TVRPreviewListener {
public:
    virtual ~TVRPreviewListener() = default;
    // count pages are now finished; finished is true once the run has ended.
    virtual void PagesAvailable(int count, bool finished) = 0;
    virtual void ProgressChanged(int percent) = 0;
};

class TVRPrinter {
public:
    // printerFacts: the current printer, or nullopt when none is installed. For the printer
    // destination device is the paged device drawn on, taken as a TVRPagedDevice (not owned; it
    // must outlive the document).
    TVRPrinter(TVRDestination destination, std::optional<TVRDeviceFacts> printerFacts,
               QPagedPaintDevice* device = nullptr);
    // The printer destination over a device adapter (not owned; it must outlive the document).
    TVRPrinter(TVRDestination destination, std::optional<TVRDeviceFacts> printerFacts,
               TVRDevice& device);
    ~TVRPrinter();
    TVRPrinter(const TVRPrinter&) = delete;
    TVRPrinter& operator=(const TVRPrinter&) = delete;

    TVRDestination Destination() const { return destination_; }
    TVRPrinterState State() const { return state_; }
    const std::string& Title() const { return title_; }
    void SetTitle(std::string title) { title_ = std::move(title); }
    bool HasPrinter() const { return facts_.has_value(); }

    // Takes the report's settings: printer, paper (applied only when the printer lists it; with
    // no printer the paper stays as it is), orientation, copies, bin, page range, duplex and the
    // rest.
    void CopySettings(const TVellRepPrinterSettings& settings, const TVRPaperRequest& paper);
    const TVellRepPrinterSettings& Settings() const { return settings_; }
    TVRPaperSize PaperSize() const { return paper_; }
    TVROrientation Orientation() const { return orientation_; }
    void SetOrientation(TVROrientation orientation) { orientation_ = orientation; }
    // Sets the paper outright (a loaded page file, a printer-setup choice).
    void SetPaper(TVRPaperSize size);
    // Printer-setup choices that govern printing of stored pages.
    TVellRepPrinterSettings& MutableSettings() { return settings_; }

    // Raises Exception "VRPrinter not ready" unless idle.
    void BeginDoc();
    // Raises Exception "Illegal call to NewPage" unless generating.
    void NewPage();
    void EndDoc();
    void Abort();

    // Paper length and width in native units as output by this object (orientation applied).
    double PaperLength() const;
    double PaperWidth() const;

    double XFactor() const { return xFactor_; }
    double YFactor() const { return yFactor_; }
    int LeftWaste() const { return leftWaste_; }
    int TopWaste() const { return topWaste_; }
    int XPos(double x) const;
    int YPos(double y) const;
    int XSize(double x) const;
    int YSize(double y) const;

    // The painter of the page in progress; valid between NewPage and the next page or the end.
    QPainter& Canvas();
    bool PageInProgress() const { return pageOpen_; }
    // Pixels per inch of the page being drawn (for font sizes and the printer's text measures).
    int DevicePixelsPerInchX() const;
    int DevicePixelsPerInchY() const;
    int PageNumber() const { return pageNumber_; }

    // Preview destination: the finished pages. Replaceable (a loaded page file).
    TVRPageStore& Pages() { return *pages_; }
    const TVRPageStore& Pages() const { return *pages_; }
    void ReplacePages(std::unique_ptr<TVRPageStore> pages);

    bool Cancelled() const { return cancelled_; }
    void Cancel() { cancelled_ = true; }

    // Progress notice (a percentage) to the attached window.
    void SetProgress(int percent);
    void SetListener(TVRPreviewListener* listener) { listener_ = listener; }
    TVRPreviewListener* Listener() const { return listener_; }

private:
    // One of adapter and plain (or neither, for pages in pictures only).
    TVRPrinter(TVRDestination destination, std::optional<TVRDeviceFacts> printerFacts,
               TVRDevice* adapter, QPagedPaintDevice* plain);
    void ClosePage();
    void ApplyDeviceSettings();

    TVRDestination destination_;
    std::optional<TVRDeviceFacts> facts_;
    std::unique_ptr<TVRDevice> ownDevice_;  // the adapter of a plain paged device
    TVRDevice* device_;                     // null: pages go to pictures only
    TVRPrinterState state_ = TVRPrinterState::Idle;
    std::string title_;
    TVellRepPrinterSettings settings_;
    TVRPaperSize paper_ = TVRPaperSize::A4;
    TVROrientation orientation_ = TVROrientation::poPortrait;
    double paperWidth_ = 2100;  // portrait, native; governs Default and Custom
    double paperLength_ = 2970;
    double xFactor_ = 96.0 / kNativePerInch;
    double yFactor_ = 96.0 / kNativePerInch;
    int leftWaste_ = 0;
    int topWaste_ = 0;
    int pageNumber_ = 0;
    bool cancelled_ = false;
    bool pageOpen_ = false;

    std::unique_ptr<TVRPageStore> pages_;
    QPicture picture_;  // the preview page, or a printer page outside the range, being drawn
    QPainter picturePainter_;
    QPainter printerPainter_;  // active from the first printed page to the end of the document
    QPainter* canvas_ = nullptr;
    TVRPreviewListener* listener_ = nullptr;
};

}  // namespace parvell
