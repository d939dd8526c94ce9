#include "report/print/VRSystemPrinter.h"

#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>
#include <QPrinterInfo>
#include <algorithm>
#include <memory>

namespace parvell {

namespace {

QPrinter::PaperSource SourceForBin(int code) {
    if (code >= 1 && code <= 11) return static_cast<QPrinter::PaperSource>(code - 1);
    if (code == 14) return QPrinter::Cassette;
    if (code == 15) return QPrinter::FormSource;
    return QPrinter::Auto;
}

int BinCodeOfSource(QPrinter::PaperSource source) {
    if (source == QPrinter::Cassette) return 14;
    if (source == QPrinter::FormSource) return 15;
    const int value = static_cast<int>(source);
    return value >= 0 && value <= 10 ? value + 1 : 7;
}

QPrinterInfo PrinterNamed(const std::string& printerName) {
    QPrinterInfo info = QPrinterInfo::printerInfo(QString::fromStdString(printerName));
    return info.isNull() ? QPrinterInfo::defaultPrinter() : info;
}

// The printers Qt's print support finds; a printer device is a high-resolution QPrinter.
class QtPrinterSystem final : public TVRPrinterSystem {
public:
    std::optional<TVRDeviceFacts> Facts(const std::string& printerName) override {
        return SystemPrinterFacts(printerName);
    }
    std::unique_ptr<TVRDevice> Open(const TVRDeviceFacts& facts) override {
        return std::make_unique<OwnedPrinter>(PrinterNamed(facts.PrinterName));
    }

private:
    // The printer and its adapter in one.
    class OwnedPrinter final : public TVRDevice {
    public:
        explicit OwnedPrinter(const QPrinterInfo& info)
            : printer_(info, QPrinter::HighResolution), device_(printer_) {}
        QPagedPaintDevice& PaintDevice() override { return device_.PaintDevice(); }
        TVRDeviceFacts Facts() override { return device_.Facts(); }
        void ApplySettings(const TVellRepPrinterSettings& settings,
                           const std::string& title) override {
            device_.ApplySettings(settings, title);
        }
        void Abort() override { device_.Abort(); }

    private:
        QPrinter printer_;
        TVRQPrinterDevice device_;
    };
};

}  // namespace

TVRDeviceFacts FactsOfPrinter(QPrinter& printer) {
    TVRDeviceFacts facts;
    facts.PrinterName = printer.printerName().toStdString();
    facts.PixelsPerInchX = printer.logicalDpiX();
    facts.PixelsPerInchY = printer.logicalDpiY();
    if (!printer.fullPage()) {
        const QRectF paper = printer.paperRect(QPrinter::DevicePixel);
        const QRectF page = printer.pageRect(QPrinter::DevicePixel);
        facts.OffsetX = qRound(page.left() - paper.left());
        facts.OffsetY = qRound(page.top() - paper.top());
    }
    const QPageSize size = printer.pageLayout().pageSize();
    facts.Paper = PaperFromCode(size.windowsId());
    const QSizeF mm = size.size(QPageSize::Millimeter);
    facts.PaperWidth = mm.width() * 10;
    facts.PaperLength = mm.height() * 10;
    facts.Copies = printer.copyCount();
    facts.Bin = BinFromCode(BinCodeOfSource(printer.paperSource()));
    facts.Duplex = printer.duplex() != QPrinter::DuplexNone;
    facts.Collate = printer.collateCopies() ? 1 : 0;
    if (printer.outputFormat() == QPrinter::PdfFormat) {
        // A PDF file takes any paper.
        for (int code = 1; code <= kStandardPaperCount; ++code) {
            if (PaperDimensions(PaperFromCode(code)))
                facts.SupportedPapers.push_back(PaperFromCode(code));
        }
        facts.SupportedPapers.push_back(TVRPaperSize::Custom);
    } else {
        const QPrinterInfo info(printer);
        for (const QPageSize& supported : info.supportedPageSizes()) {
            const TVRPaperSize paper = PaperFromCode(supported.windowsId());
            if (paper != TVRPaperSize::Default) facts.SupportedPapers.push_back(paper);
        }
        if (info.supportsCustomPageSizes()) facts.SupportedPapers.push_back(TVRPaperSize::Custom);
    }
    return facts;
}

std::optional<TVRDeviceFacts> SystemPrinterFacts(const std::string& printerName) {
    if (QPrinterInfo::availablePrinters().isEmpty()) return std::nullopt;
    QPrinterInfo info = printerName.empty()
                            ? QPrinterInfo::defaultPrinter()
                            : QPrinterInfo::printerInfo(QString::fromStdString(printerName));
    if (info.isNull()) info = QPrinterInfo::defaultPrinter();
    if (info.isNull()) info = QPrinterInfo::availablePrinters().first();
    QPrinter printer(info, QPrinter::HighResolution);
    return FactsOfPrinter(printer);
}

QPagedPaintDevice& TVRQPrinterDevice::PaintDevice() {
    return printer_;
}

void TVRQPrinterDevice::ApplySettings(const TVellRepPrinterSettings& settings,
                                      const std::string& title) {
    printer_.setCopyCount(std::max(1, settings.Copies));
    const int duplex = settings.ExtendedDuplex != 0 ? settings.ExtendedDuplex
                       : settings.Duplex            ? 3
                                                    : 1;
    printer_.setDuplex(duplex == 2   ? QPrinter::DuplexLongSide
                       : duplex == 3 ? QPrinter::DuplexShortSide
                                     : QPrinter::DuplexNone);
    printer_.setPaperSource(SourceForBin(settings.UseCustomBinCode ? settings.CustomBinCode
                                                                   : BinCode(settings.OutputBin)));
    printer_.setCollateCopies(settings.Collate != 0);
    printer_.setDocName(QString::fromStdString(title));
}

void TVRQPrinterDevice::Abort() {
    printer_.abort();
}

void InstallSystemPrinters() {
    static QtPrinterSystem printers;
    TVellRep::SetPrinterSystem(&printers);
}

}  // namespace parvell
