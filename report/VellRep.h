#pragma once
// Report composition: a report (TVellRep) walks its dataset through data controllers and lays
// one sub-detail band (TVRSubDetail) per record down each column, across the columns and onto
// new pages, drawing through the run's output object (TVRPrinter). All arithmetic of a run is in
// native units (tenths of a millimetre); positions count from the paper's top-left corner.
//
// Window-free: the preview window and the printing progress window are opened through a
// TVRWindowHost that the application installs; without one a preview run just generates pages.

#include <QColor>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "report/VRPrinter.h"
#include "report/VRText.h"
#include "report/VRUnits.h"

class QEventLoop;
class QPagedPaintDevice;

namespace parvell {

class TDataSet;
class TVellRep;
class TVRSubDetail;

using TVRBeforePrintEvent = std::function<void(TVRSubDetail& sender, bool& printBand)>;
using TVRAfterPrintEvent = std::function<void(TVRSubDetail& sender, bool bandPrinted)>;

// Walks a dataset and outputs its detail band once per record, running the attached
// sub-controllers before and after it.
class TVRController {
public:
    TDataSet* DataSet = nullptr;
    bool PrintIfEmpty = true;
    TVRSubDetail* DetailBand = nullptr;             // not owned; none for the label report itself
    std::vector<TVRController*> BeforeControllers;  // not owned
    std::vector<TVRController*> AfterControllers;   // not owned

    void Execute(TVellRep& report);
    // Outputs the detail band once without a current record, with the sub-controllers around it.
    void PrintEmpty(TVellRep& report);
};

class TVRSubDetail {
public:
    explicit TVRSubDetail(std::string name);
    ~TVRSubDetail();
    TVRSubDetail(const TVRSubDetail&) = delete;
    TVRSubDetail& operator=(const TVRSubDetail&) = delete;

    const std::string& Name() const { return name_; }

    TVRBandSize Size;  // height, width
    QColor Color = Qt::white;
    bool TransparentBand = false;
    bool Enabled = true;
    TVRFrame Frame;
    bool AlignToBottom = false;
    bool ForceNewColumn = false;
    bool ForceNewPage = false;
    bool PreCaluculateBandHeight = false;
    bool KeepOnOnePage = false;
    TVRBeforePrintEvent BeforePrint;
    TVRAfterPrintEvent AfterPrint;

    // The band's own controller, whose detail band is the band itself.
    TVRController& Controller() { return controller_; }
    TDataSet* DataSet() const { return controller_.DataSet; }
    void SetDataSet(TDataSet* dataSet) { controller_.DataSet = dataSet; }
    bool PrintIfEmpty() const { return controller_.PrintIfEmpty; }
    void SetPrintIfEmpty(bool value) { controller_.PrintIfEmpty = value; }
    // False: the band runs after its master's detail band for each master record.
    bool PrintBefore = false;
    TVellRep* Master() const { return master_; }

    // Items, owned, in child (printing) order.
    template <class Item>
    Item& AddItem(std::string name) {
        auto item = std::make_unique<Item>(std::move(name));
        Item& result = *item;
        items_.push_back(std::move(item));
        return result;
    }
    const std::vector<std::unique_ptr<TVRCustomLabel>>& Items() const { return items_; }

private:
    friend class TVellRep;
    std::string name_;
    TVellRep* master_ = nullptr;
    TVRController controller_;
    std::vector<std::unique_ptr<TVRCustomLabel>> items_;
};

enum class TVRZoomState : uint8_t { vrZoomToFit, vrZoomToWidth, vrZoomOther };
enum class TVRFormStyle : uint8_t { fsNormal, fsStayOnTop };
enum class TVRWindowState : uint8_t { wsNormal, wsMinimized, wsMaximized };

struct TVRReportOptions {
    bool FirstPageHeader = false;
    bool LastPageFooter = false;
    bool Compression = false;
};

// Opens the windows of a report run; installed by the application.
class TVRWindowHost {
public:
    virtual ~TVRWindowHost() = default;
    // Shows the preview window (not modal) on the output object, whose pages the window then
    // shares: they live as long as the window shows them, whatever the report does next. The
    // window attaches itself as the output's listener and calls PreviewClosed on the report when
    // it closes.
    virtual void OpenPreview(TVellRep& report, std::shared_ptr<TVRPrinter> output) = 0;
    // Shows the printing progress window while the report prints; destroying the result
    // closes it.
    virtual std::unique_ptr<TVRPreviewListener> OpenPrintProgress(TVellRep& report,
                                                                  TVRPrinter& output) = 0;
    // The report is being destroyed: windows still open on it must not call it any more.
    virtual void ReportDestroyed(TVellRep& report) {}
};

// The printers of the system, offered by the printing part (report/print/) and installed by the
// window at start. Without one a report knows no printer: its preview is composed for none and
// Print does nothing.
class TVRPrinterSystem {
public:
    virtual ~TVRPrinterSystem() = default;
    // The facts of the named printer (empty: the default printer); nullopt when no printer is
    // installed.
    virtual std::optional<TVRDeviceFacts> Facts(const std::string& printerName) = 0;
    // A device printing on the printer the facts name (empty name: the default printer).
    virtual std::unique_ptr<TVRDevice> Open(const TVRDeviceFacts& facts) = 0;
};

class TVellRep {
public:
    explicit TVellRep(std::string name);
    ~TVellRep();
    TVellRep(const TVellRep&) = delete;
    TVellRep& operator=(const TVellRep&) = delete;

    const std::string& Name() const { return name_; }

    // Definition.
    TVRPage Page;
    TDataSet* DataSet() const { return controller_.DataSet; }
    void SetDataSet(TDataSet* dataSet) { controller_.DataSet = dataSet; }
    bool PrintIfEmpty() const { return controller_.PrintIfEmpty; }
    void SetPrintIfEmpty(bool value) { controller_.PrintIfEmpty = value; }
    TVRReportOptions Options;
    std::string ReportTitle;
    TVellRepPrinterSettings PrinterSettings;
    bool ShowProgress = true;
    TVRUnit Units = TVRUnit::Native;
    int Zoom = 100;
    bool SnapToGrid = false;
    TVRFont Font;
    TVRFrame Frame;
    // Report variables kept current during a run: PAGENUMBER, COLUMNNUMBER, REPORTTITLE.
    std::map<std::string, std::string> Functions;
    TVRFormStyle PrevFormStyle = TVRFormStyle::fsNormal;
    TVRWindowState PreviewInitialState = TVRWindowState::wsMaximized;
    int PreviewWidth = 0;
    int PreviewHeight = 0;
    bool PrevShowThumbs = false;
    bool PrevShowSearch = false;
    TVRZoomState PrevInitialZoom = TVRZoomState::vrZoomToFit;

    // Makes a band of this report (owned; its master is the report).
    TVRSubDetail& AddSubDetail(std::string name);
    const std::vector<std::unique_ptr<TVRSubDetail>>& Bands() const { return bands_; }
    TVRController& Controller() { return controller_; }

    // Generates every page into a new preview window and waits until the window is closed.
    // Returns at once when the report is busy. The dataset must be open and stay open.
    void Preview();
    // Generates the report again straight to the chosen printer (no dialog). Does nothing while
    // busy or when no printer is installed.
    void Print();
    // One run with the printer destination over a given device: a QPdfWriter, or any paged
    // device taken as a TVRPagedDevice. facts describes the device; the run's paper is the
    // report's when the device lists it.
    void PrintToDevice(QPagedPaintDevice& device, const TVRDeviceFacts& facts);
    // The same over a device adapter (a printer of report/print/, a CUPS print job).
    void PrintToDevice(TVRDevice& device, const TVRDeviceFacts& facts);
    // One generation run into the current output object.
    void CreateReport();

    // Composition steps.
    void OutputBand(TVRSubDetail& band);
    bool FitBand(TVRSubDetail& band);
    int64_t AvailableSpace() const;
    void NewColumn();
    void NewPage();
    void EndPage();

    // Generation state.
    bool Available() const { return available_; }
    int64_t CurrentX() const { return currentX_; }
    int64_t CurrentY() const { return currentY_; }
    int CurrentColumn() const { return currentColumn_; }
    int PageCount() const { return pageCount_; }
    int64_t ColumnTop() const { return columnTop_; }
    // The output of the run in progress; null between runs.
    TVRPrinter* Output() const { return output_; }
    // The output object of the last Preview. The report keeps its share while that Preview waits
    // for its window (or, without a window host, until the next run); the window keeps its own.
    TVRPrinter* PreviewOutput() const { return previewOutput_.get(); }
    bool Cancelled() const { return output_ && output_->Cancelled(); }
    // True while the Preview that generated output waits for its window: the dataset is still
    // open, so the window's Print may generate the report again.
    bool Waiting(const TVRPrinter& output) const;

    // Told by a preview window when it closes or stops showing output (a loaded page file):
    // cancels the run when output is being generated, else lets go of the report's share of it,
    // which ends the wait of the Preview that made it. Outputs of other windows are untouched.
    void PreviewClosed(TVRPrinter& output);
    // Cancels the run in progress, if any (preview or printing); it stops before its next record.
    void CancelRun();

    // Hooks. The printer probe answers the facts of the chosen printer (nullopt: none
    // installed); by default it asks the installed printer system; tests replace it. Messages
    // are dispatched through ProcessMessages.
    std::function<std::optional<TVRDeviceFacts>(const std::string& printerName)> PrinterProbe;
    std::function<void()> ProcessMessages;
    static void SetWindowHost(TVRWindowHost* host);
    static TVRWindowHost* WindowHost();
    static void SetPrinterSystem(TVRPrinterSystem* printers);
    static TVRPrinterSystem* PrinterSystem();

private:
    TVRPaperRequest PaperRequest() const;
    std::vector<TVRUnitBase*> SizeObjects();

    std::string name_;
    TVRController controller_;
    std::vector<std::unique_ptr<TVRSubDetail>> bands_;

    bool available_ = true;
    int64_t currentX_ = 0;
    int64_t currentY_ = -1;
    int currentColumn_ = 1;
    int pageCount_ = 0;
    int64_t columnTop_ = 0;
    TVRPrinter* output_ = nullptr;  // the output of the run in progress
    std::shared_ptr<TVRPrinter> previewOutput_;
    // The outputs whose Preview waits for its window, innermost last, with their wait loops.
    std::vector<std::pair<const TVRPrinter*, QEventLoop*>> waits_;
};

}  // namespace parvell
