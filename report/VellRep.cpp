#include "report/VellRep.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QLocale>
#include <exception>

#include "data/DataSet.h"

namespace parvell {

namespace {

TVRWindowHost* gWindowHost = nullptr;
TVRPrinterSystem* gPrinterSystem = nullptr;

// Restores the saved units and ends the item run whichever way a run leaves.
class RunScope {
public:
    RunScope(std::vector<TVRUnitBase*> sizes, std::vector<TVRCustomLabel*> items)
        : sizes_(std::move(sizes)), items_(std::move(items)) {
        for (TVRUnitBase* size : sizes_) {
            saved_.push_back(size->Unit());
            size->SetUnit(TVRUnit::Native);
        }
    }
    ~RunScope() {
        for (size_t i = 0; i < sizes_.size(); ++i) sizes_[i]->SetUnit(saved_[i]);
        for (TVRCustomLabel* item : items_) item->Unprepare();
    }

private:
    std::vector<TVRUnitBase*> sizes_;
    std::vector<TVRUnit> saved_;
    std::vector<TVRCustomLabel*> items_;
};

}  // namespace

void TVRController::Execute(TVellRep& report) {
    if (!DataSet || !DataSet->Active()) {
        if (PrintIfEmpty) PrintEmpty(report);
        return;
    }
    DataSet->MoveFirst();
    bool more = !DataSet->AtEnd();
    int32_t count = 1;
    try {
        count = DataSet->NumRecords();
    } catch (const std::exception&) {
        count = 1;
    }
    if (!more && PrintIfEmpty) PrintEmpty(report);
    int detail = 0;
    if (!more) return;
    report.ProcessMessages();
    if (report.Cancelled()) return;
    while (more) {
        report.ProcessMessages();
        if (report.Cancelled()) return;
        ++detail;
        for (TVRController* before : BeforeControllers) before->Execute(report);
        if (DetailBand) report.OutputBand(*DetailBand);
        for (TVRController* after : AfterControllers) after->Execute(report);
        DataSet->MoveNext();
        more = !DataSet->AtEnd();
        if (DataSet == report.DataSet() && count > 0) {
            report.Output()->SetProgress(static_cast<int>(int64_t{detail} * 100 / count));
        }
    }
}

void TVRController::PrintEmpty(TVellRep& report) {
    for (TVRController* before : BeforeControllers) before->Execute(report);
    if (DetailBand) report.OutputBand(*DetailBand);
    for (TVRController* after : AfterControllers) after->Execute(report);
}

TVRSubDetail::TVRSubDetail(std::string name) : name_(std::move(name)) {
    controller_.DetailBand = this;
}

TVRSubDetail::~TVRSubDetail() = default;

TVellRep::TVellRep(std::string name) : name_(std::move(name)) {
    // A new report follows the user's measurement system; a definition overrides it.
    const bool us = QLocale::system().measurementSystem() == QLocale::ImperialUSSystem;
    Page.SetPaperSize(us ? TVRPaperSize::Letter : TVRPaperSize::A4);
    const double margin = us ? 127.0 : 100.0;
    for (size_t i : {0u, 2u, 4u, 5u}) Page.SetNative(i, margin);
    Units = us ? TVRUnit::Inches : TVRUnit::MM;
    Page.SetUnit(Units);
    Functions = {{"PAGENUMBER", "0"}, {"COLUMNNUMBER", "0"}, {"REPORTTITLE", ""}};
    PrinterProbe = [](const std::string& printerName) -> std::optional<TVRDeviceFacts> {
        if (!gPrinterSystem) return std::nullopt;
        return gPrinterSystem->Facts(printerName);
    };
    ProcessMessages = [] { QCoreApplication::processEvents(); };
}

TVellRep::~TVellRep() {
    if (gWindowHost) gWindowHost->ReportDestroyed(*this);
}

void TVellRep::SetWindowHost(TVRWindowHost* host) {
    gWindowHost = host;
}
TVRWindowHost* TVellRep::WindowHost() {
    return gWindowHost;
}

void TVellRep::SetPrinterSystem(TVRPrinterSystem* printers) {
    gPrinterSystem = printers;
}
TVRPrinterSystem* TVellRep::PrinterSystem() {
    return gPrinterSystem;
}

TVRSubDetail& TVellRep::AddSubDetail(std::string name) {
    auto band = std::make_unique<TVRSubDetail>(std::move(name));
    band->master_ = this;
    band->Size.SetUnit(Units);
    bands_.push_back(std::move(band));
    return *bands_.back();
}

TVRPaperRequest TVellRep::PaperRequest() const {
    return {Page.PaperSize(), Page.Orientation(), Page.Native(3), Page.Native(1)};
}

std::vector<TVRUnitBase*> TVellRep::SizeObjects() {
    std::vector<TVRUnitBase*> sizes{&Page};
    for (auto& band : bands_) {
        sizes.push_back(&band->Size);
        for (auto& item : band->items_) sizes.push_back(&item->Size);
    }
    return sizes;
}

void TVellRep::Preview() {
    ProcessMessages();
    if (!available_) return;
    // This run's output; Preview keeps a share until it returns, so a window closing during the
    // run frees nothing the run still draws on.
    const auto output = std::make_shared<TVRPrinter>(TVRDestination::Preview,
                                                     PrinterProbe(PrinterSettings.PrinterName));
    output->SetTitle(ReportTitle);
    output->CopySettings(PrinterSettings, PaperRequest());
    previewOutput_ = output;
    output_ = output.get();
    try {
        if (gWindowHost) gWindowHost->OpenPreview(*this, output);
        CreateReport();
    } catch (...) {
        // The window, if any, stays open on its own (empty or partial) pages.
        output_ = nullptr;
        throw;
    }
    output_ = nullptr;

    if (output->Cancelled()) {
        output->SetListener(nullptr);
        if (previewOutput_ == output) previewOutput_.reset();
        return;
    }
    // Wait for the window: until it lets go of the output, or the application is ending (which
    // ends every running event loop with a code other than ours).
    constexpr int kWoken = 1;
    while (previewOutput_ == output && output->Listener() && !QCoreApplication::closingDown()) {
        QEventLoop loop;
        waits_.emplace_back(output.get(), &loop);
        const int code = loop.exec();
        waits_.pop_back();
        if (code != kWoken) break;
    }
}

bool TVellRep::Waiting(const TVRPrinter& output) const {
    for (const auto& [waiting, loop] : waits_) {
        if (waiting == &output) return true;
    }
    return false;
}

void TVellRep::PreviewClosed(TVRPrinter& output) {
    output.SetListener(nullptr);
    if (!available_ && output_ == &output)
        output.Cancel();  // the run notices before its next record
    if (previewOutput_.get() == &output) previewOutput_.reset();
    // Every waiting Preview looks again whether its window is still there.
    for (const auto& [waiting, loop] : waits_) loop->exit(1);
}

void TVellRep::CancelRun() {
    if (!available_ && output_) output_->Cancel();
}

void TVellRep::Print() {
    if (!available_) return;
    const std::optional<TVRDeviceFacts> facts = PrinterProbe(PrinterSettings.PrinterName);
    if (!facts || !gPrinterSystem) return;
    const std::unique_ptr<TVRDevice> printer = gPrinterSystem->Open(*facts);
    PrintToDevice(*printer, *facts);
}

void TVellRep::PrintToDevice(QPagedPaintDevice& device, const TVRDeviceFacts& facts) {
    TVRPagedDevice paged(device);
    PrintToDevice(paged, facts);
}

void TVellRep::PrintToDevice(TVRDevice& device, const TVRDeviceFacts& facts) {
    if (!available_) return;
    TVRPrinter printOutput(TVRDestination::Printer, facts, device);
    output_ = &printOutput;
    std::unique_ptr<TVRPreviewListener> progress;
    try {
        if (ShowProgress && gWindowHost)
            progress = gWindowHost->OpenPrintProgress(*this, printOutput);
        if (progress) printOutput.SetListener(progress.get());
        CreateReport();
    } catch (...) {
        printOutput.SetListener(nullptr);
        output_ = nullptr;
        throw;
    }
    printOutput.SetListener(nullptr);
    output_ = nullptr;
}

void TVellRep::CreateReport() {
    if (!available_ || !output_) return;
    available_ = false;

    // Margins that leave no room are dropped, and stay dropped in the definition.
    if (Page.Native(3) - Page.Native(4) - Page.Native(5) < 0) {
        Page.SetNative(4, 0);
        Page.SetNative(5, 0);
    }
    if (Page.Native(1) - Page.Native(2) - Page.Native(0) < 0) {
        Page.SetNative(2, 0);
        Page.SetNative(0, 0);
    }

    TVRPrinter& out = *output_;
    std::vector<TVRCustomLabel*> items;
    for (auto& band : bands_) {
        for (auto& item : band->items_) items.push_back(item.get());
    }
    try {
        RunScope scope(SizeObjects(), items);
        out.CopySettings(PrinterSettings, PaperRequest());
        out.SetTitle(ReportTitle);
        out.BeginDoc();
        currentY_ = -1;
        pageCount_ = 0;
        currentColumn_ = Page.Columns();
        currentX_ = RoundNative(Page.Native(4));
        columnTop_ = 0;

        controller_.BeforeControllers.clear();
        controller_.AfterControllers.clear();
        for (auto& band : bands_) {
            if (band->master_ != this) continue;
            (band->PrintBefore ? controller_.BeforeControllers : controller_.AfterControllers)
                .push_back(&band->controller_);
        }
        Functions["REPORTTITLE"] = ReportTitle;
        for (TVRCustomLabel* item : items) item->Prepare(out, Zoom);

        controller_.Execute(*this);
        if (!out.Cancelled()) EndPage();
    } catch (...) {
        // The error goes on to the caller; the document is closed first and the report is left
        // ready for another run, so one failed run does not disable the report for good.
        if (out.Cancelled()) {
            out.Abort();
        } else {
            out.EndDoc();
        }
        currentY_ = -1;
        available_ = true;
        throw;
    }
    if (out.Cancelled()) {
        out.Abort();
    } else {
        out.EndDoc();
    }
    currentY_ = -1;
    available_ = true;
}

void TVellRep::OutputBand(TVRSubDetail& band) {
    bool printBand = band.Enabled;
    if (band.Enabled && band.BeforePrint) band.BeforePrint(band, printBand);
    if (printBand) {
        if (!FitBand(band)) NewColumn();
        TVRPrinter& out = *output_;
        const double height = band.Size.Native(0);
        const double width = band.Size.Native(1);
        if (!band.TransparentBand) {
            const int left = out.XPos(static_cast<double>(currentX_));
            const int top = out.YPos(static_cast<double>(currentY_));
            const int right = out.XPos(static_cast<double>(currentX_) + width);
            const int bottom = out.YPos(static_cast<double>(currentY_) + height);
            out.Canvas().fillRect(QRect(left, top, right - left, bottom - top), band.Color);
        }
        for (auto& item : band.items_) {
            item->Print(static_cast<double>(currentX_), static_cast<double>(currentY_));
        }
        currentY_ += RoundNative(height);
    }
    if (band.AfterPrint) band.AfterPrint(band, printBand);
}

bool TVellRep::FitBand(TVRSubDetail& band) {
    if (currentY_ == -1) return false;  // no page started yet
    const int64_t needed = RoundNative(band.Size.Native(0));
    if (AvailableSpace() >= needed) return true;
    // A band taller than a page is printed where it is rather than moved on for ever.
    return needed > Page.Native(1) - (Page.Native(2) + Page.Native(0));
}

int64_t TVellRep::AvailableSpace() const {
    if (available_ || currentY_ == -1 || !output_) return 0;
    return RoundNative(output_->PaperLength() - Page.Native(0) - 0.0 -
                       static_cast<double>(currentY_));
}

void TVellRep::NewColumn() {
    const int columns = Page.Columns();
    if (currentColumn_ < columns) {
        const int64_t columnSpace = RoundNative(Page.Native(6));
        const int64_t step = (RoundNative(Page.Native(3) - (Page.Native(4) + Page.Native(5))) -
                              (columns - 1) * columnSpace) /
                             columns;
        currentX_ += step + columnSpace;
        currentY_ = columnTop_;
        ++currentColumn_;
    } else {
        currentColumn_ = 1;
        currentX_ = RoundNative(Page.Native(4));
        NewPage();
    }
    Functions["COLUMNNUMBER"] = std::to_string(currentColumn_);
}

void TVellRep::NewPage() {
    EndPage();
    ++pageCount_;
    Functions["PAGENUMBER"] = std::to_string(pageCount_);
    output_->NewPage();
    currentY_ = RoundNative(Page.Native(2));
    columnTop_ = currentY_;
}

void TVellRep::EndPage() {
    if (!output_ || !output_->PageInProgress()) return;
    currentY_ = RoundNative(Page.Native(1) - Page.Native(0) - 0.0);
    currentX_ = RoundNative(Page.Native(4));
}

}  // namespace parvell
