#include "report/VRPrinter.h"

#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <algorithm>

#include "common/Exceptions.h"

namespace parvell {

namespace {

// A printer reporting no usable resolution is drawn on as if it were a 96 pixel-per-inch screen;
// any real resolution, however coarse, is taken as it is (the factor is a fraction, never an
// integer quotient).
double FactorFor(int pixelsPerInch) {
    return (pixelsPerInch > 0 ? pixelsPerInch : 96) / kNativePerInch;
}

int WasteFor(int offsetPixels, int pixelsPerInch) {
    if (pixelsPerInch <= 0) return 0;
    return static_cast<int>(
        RoundNative(static_cast<double>(offsetPixels) / pixelsPerInch * kNativePerInch));
}

int ToInt(int64_t value) {
    return static_cast<int>(value);
}

// The bin a PDF file reports: it has none to choose, which the printer drivers call Auto.
constexpr int kAutoBinCode = 7;

}  // namespace

int ScreenPixelsPerInch() {
    QPicture probe;
    const int ppi = probe.logicalDpiX();
    return ppi > 0 ? ppi : 96;
}

TVRDeviceFacts FactsOfPagedDevice(QPagedPaintDevice& device) {
    TVRDeviceFacts facts;
    facts.PixelsPerInchX = device.logicalDpiX();
    facts.PixelsPerInchY = device.logicalDpiY();
    const QPageLayout layout = device.pageLayout();
    const int resolution = facts.PixelsPerInchX;
    const QRect paper = layout.fullRectPixels(resolution);
    const QRect page = layout.paintRectPixels(resolution);
    facts.OffsetX = page.left() - paper.left();
    facts.OffsetY = page.top() - paper.top();
    const QPageSize size = layout.pageSize();
    facts.Paper = PaperFromCode(size.windowsId());
    const QSizeF mm = size.size(QPageSize::Millimeter);
    facts.PaperWidth = mm.width() * 10;
    facts.PaperLength = mm.height() * 10;
    facts.Copies = 1;
    facts.Bin = BinFromCode(kAutoBinCode);
    facts.Duplex = false;
    facts.Collate = 1;
    return facts;
}

TVRDeviceFacts FactsOfPdfWriter(QPdfWriter& writer) {
    TVRDeviceFacts facts = FactsOfPagedDevice(writer);
    // A PDF file takes any paper.
    for (int code = 1; code <= kStandardPaperCount; ++code) {
        if (PaperDimensions(PaperFromCode(code)))
            facts.SupportedPapers.push_back(PaperFromCode(code));
    }
    facts.SupportedPapers.push_back(TVRPaperSize::Custom);
    return facts;
}

TVRDeviceFacts TVRPagedDevice::Facts() {
    if (auto* writer = dynamic_cast<QPdfWriter*>(&device_)) return FactsOfPdfWriter(*writer);
    return FactsOfPagedDevice(device_);
}

void TVRPagedDevice::ApplySettings(const TVellRepPrinterSettings& /*settings*/,
                                   const std::string& title) {
    // A PDF writer has no copies, sides, bins or collation; the title is its document name.
    if (auto* writer = dynamic_cast<QPdfWriter*>(&device_))
        writer->setTitle(QString::fromStdString(title));
}

TVRPrinter::TVRPrinter(TVRDestination destination, std::optional<TVRDeviceFacts> printerFacts,
                       QPagedPaintDevice* device)
    : TVRPrinter(destination, std::move(printerFacts), nullptr, device) {}

TVRPrinter::TVRPrinter(TVRDestination destination, std::optional<TVRDeviceFacts> printerFacts,
                       TVRDevice& device)
    : TVRPrinter(destination, std::move(printerFacts), &device, nullptr) {}

TVRPrinter::TVRPrinter(TVRDestination destination, std::optional<TVRDeviceFacts> printerFacts,
                       TVRDevice* adapter, QPagedPaintDevice* plain)
    : destination_(destination),
      facts_(std::move(printerFacts)),
      ownDevice_(plain != nullptr ? std::make_unique<TVRPagedDevice>(*plain) : nullptr),
      device_(adapter != nullptr ? adapter : ownDevice_.get()),
      pages_(std::make_unique<TVRPageStore>()) {
    if (facts_) {
        paper_ = facts_->Paper;
        if (facts_->PaperWidth > 0 && facts_->PaperLength > 0) {
            paperWidth_ = facts_->PaperWidth;
            paperLength_ = facts_->PaperLength;
        }
        settings_.Copies = facts_->Copies;
        settings_.OutputBin = facts_->Bin;
        settings_.Duplex = facts_->Duplex;
        settings_.Collate = facts_->Collate;
        settings_.PrinterName = facts_->PrinterName;
    }
}

TVRPrinter::~TVRPrinter() {
    if (picturePainter_.isActive()) picturePainter_.end();
    if (printerPainter_.isActive()) printerPainter_.end();
}

void TVRPrinter::CopySettings(const TVellRepPrinterSettings& settings,
                              const TVRPaperRequest& paper) {
    settings_ = settings;
    orientation_ = paper.Orientation;
    if (!facts_) return;  // nothing to apply a paper to: the output keeps its own
    const auto& supported = facts_->SupportedPapers;
    const bool listed =
        std::find(supported.begin(), supported.end(), paper.PaperSize) != supported.end();
    if (paper.PaperSize == TVRPaperSize::Custom && listed) {
        paper_ = TVRPaperSize::Custom;
        paperWidth_ = paper.Width;
        paperLength_ = paper.Length;
    } else if (paper.PaperSize != TVRPaperSize::Default && listed) {
        paper_ = paper.PaperSize;
        const auto dims = PaperDimensions(paper_);
        paperWidth_ = dims->widthMm * 10;
        paperLength_ = dims->lengthMm * 10;
    }
}

void TVRPrinter::SetPaper(TVRPaperSize size) {
    paper_ = size;
    if (const auto dims = PaperDimensions(size)) {
        paperWidth_ = dims->widthMm * 10;
        paperLength_ = dims->lengthMm * 10;
    }
}

double TVRPrinter::PaperLength() const {
    const bool landscape = orientation_ == TVROrientation::poLandscape;
    if (const auto dims = PaperDimensions(paper_))
        return (landscape ? dims->widthMm : dims->lengthMm) * 10;
    if (paper_ == TVRPaperSize::Custom) return paperLength_;
    return landscape ? paperWidth_ : paperLength_;
}

double TVRPrinter::PaperWidth() const {
    const bool landscape = orientation_ == TVROrientation::poLandscape;
    if (const auto dims = PaperDimensions(paper_))
        return (landscape ? dims->lengthMm : dims->widthMm) * 10;
    if (paper_ == TVRPaperSize::Custom) return paperWidth_;
    return landscape ? paperLength_ : paperWidth_;
}

int TVRPrinter::XPos(double x) const {
    return ToInt(RoundNative((x - leftWaste_) * xFactor_));
}
int TVRPrinter::YPos(double y) const {
    return ToInt(RoundNative((y - topWaste_) * yFactor_));
}
int TVRPrinter::XSize(double x) const {
    return ToInt(RoundNative(x * xFactor_));
}
int TVRPrinter::YSize(double y) const {
    return ToInt(RoundNative(y * yFactor_));
}

void TVRPrinter::ApplyDeviceSettings() {
    QPagedPaintDevice& device = device_->PaintDevice();
    const int paperCode =
        settings_.UseCustomPaperCode ? settings_.CustomPaperCode : PaperCode(paper_);
    if (paper_ == TVRPaperSize::Custom && !settings_.UseCustomPaperCode) {
        device.setPageSize(QPageSize(QSizeF(paperWidth_ / 10, paperLength_ / 10),
                                     QPageSize::Millimeter, QString(), QPageSize::ExactMatch));
    } else if (paper_ != TVRPaperSize::Default) {
        const QPageSize::PageSizeId id = QPageSize::id(paperCode);
        if (id != QPageSize::Custom) device.setPageSize(QPageSize(id));
    }
    device.setPageOrientation(orientation_ == TVROrientation::poLandscape ? QPageLayout::Landscape
                                                                          : QPageLayout::Portrait);
    device_->ApplySettings(settings_, title_);
}

void TVRPrinter::BeginDoc() {
    if (state_ != TVRPrinterState::Idle) throw Exception("VRPrinter not ready");
    pageNumber_ = 0;
    if (destination_ == TVRDestination::Preview || !device_) {
        pages_ = std::make_unique<TVRPageStore>(settings_.MemoryLimit);
        xFactor_ = yFactor_ = FactorFor(ScreenPixelsPerInch());
        leftWaste_ = topWaste_ = 0;
    } else {
        ApplyDeviceSettings();
        const TVRDeviceFacts facts = device_->Facts();
        xFactor_ = FactorFor(facts.PixelsPerInchX);
        yFactor_ = FactorFor(facts.PixelsPerInchY);
        leftWaste_ = WasteFor(facts.OffsetX, facts.PixelsPerInchX);
        topWaste_ = WasteFor(facts.OffsetY, facts.PixelsPerInchY);
    }
    state_ = TVRPrinterState::Generating;
}

void TVRPrinter::NewPage() {
    if (state_ != TVRPrinterState::Generating) throw Exception("Illegal call to NewPage");
    if (pageOpen_) ClosePage();
    ++pageNumber_;
    const bool toPrinter = destination_ == TVRDestination::Printer && device_ &&
                           (settings_.FirstPage == 0 || pageNumber_ >= settings_.FirstPage) &&
                           (settings_.LastPage == 0 || pageNumber_ <= settings_.LastPage);
    if (toPrinter) {
        if (!printerPainter_.isActive()) {
            if (!printerPainter_.begin(&device_->PaintDevice()))
                throw Exception("Cannot start the printer document");
        } else {
            device_->PaintDevice().newPage();
        }
        canvas_ = &printerPainter_;
    } else {
        picture_ = QPicture();
        picturePainter_.begin(&picture_);
        canvas_ = &picturePainter_;
    }
    pageOpen_ = true;
}

void TVRPrinter::ClosePage() {
    pageOpen_ = false;
    if (canvas_ != &picturePainter_) return;
    // The page's size is written into the recording when the painter ends.
    picture_.setBoundingRect(QRect(0, 0, XSize(PaperWidth()), YSize(PaperLength())));
    picturePainter_.end();
    if (destination_ != TVRDestination::Preview) return;  // a printer page outside the range
    pages_->Append(QByteArray(picture_.data(), static_cast<qsizetype>(picture_.size())));
    picture_ = QPicture();
    if (listener_) listener_->PagesAvailable(pages_->Count(), false);
}

QPainter& TVRPrinter::Canvas() {
    if (!pageOpen_ || !canvas_) throw Exception("Illegal call to NewPage");
    return *canvas_;
}

int TVRPrinter::DevicePixelsPerInchX() const {
    return static_cast<int>(RoundNative(xFactor_ * kNativePerInch));
}
int TVRPrinter::DevicePixelsPerInchY() const {
    return static_cast<int>(RoundNative(yFactor_ * kNativePerInch));
}

void TVRPrinter::EndDoc() {
    if (pageOpen_) ClosePage();
    if (printerPainter_.isActive()) printerPainter_.end();
    state_ = TVRPrinterState::Finished;
    if (listener_ && destination_ == TVRDestination::Preview)
        listener_->PagesAvailable(pages_->Count(), true);
}

void TVRPrinter::Abort() {
    pageOpen_ = false;
    if (picturePainter_.isActive()) picturePainter_.end();
    if (printerPainter_.isActive()) {
        device_->Abort();
        printerPainter_.end();
    }
    state_ = TVRPrinterState::Finished;
}

void TVRPrinter::ReplacePages(std::unique_ptr<TVRPageStore> pages) {
    pages_ = std::move(pages);
    state_ = TVRPrinterState::Finished;
}

void TVRPrinter::SetProgress(int percent) {
    if (listener_) listener_->ProgressChanged(percent);
}

}  // namespace parvell
