#include "app/preview/VRStandardPreview.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QPrinter>
#include <QPrinterInfo>
#include <QScrollBar>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <cmath>

#include "app/preview/VRPreviewDialogs.h"
#include "common/Exceptions.h"
#include "report/VRPageFile.h"
#include "report/print/VRSystemPrinter.h"

namespace parvell {
namespace {

const QString kPageFileFilter = QStringLiteral("Vellary file (*.VRP)");

int RoundHalfEven(double value) {
    return static_cast<int>(std::nearbyint(value));
}

// An exception's message as the error box shows it: a full stop appended after a last
// character that sorts after ".".
QString ErrorText(const std::exception& error) {
    QString text = QString::fromLocal8Bit(error.what());
    if (!text.isEmpty() && text.back() > QLatin1Char('.')) text += QLatin1Char('.');
    return text;
}

std::vector<TVRStandardPreview*>& Registry() {
    static std::vector<TVRStandardPreview*> windows;
    return windows;
}

}  // namespace

TVRStandardPreview::TVRStandardPreview(TVellRep& report, std::shared_ptr<TVRPrinter> output)
    : report_(&report), output_(std::move(output)) {
    Registry().push_back(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("VRStandardPreview"));
    setWindowTitle(QStringLiteral("Report Preview : ") +
                   QString::fromStdString(report.ReportTitle));

    QToolBar* bar = addToolBar(QStringLiteral("ToolBar"));
    bar->setObjectName(QStringLiteral("ToolBar"));
    bar->setMovable(false);
    bar->setFixedHeight(30);
    bar->setFocusPolicy(Qt::NoFocus);
    auto* zoomGroup = new QActionGroup(this);
    for (QAction* action : {AddAction("ZoomToFit", "Zoom to fit", "Zoom to fit"),
                            AddAction("ZoomToWidth", "Zoom to width", "Zoom to width"),
                            AddAction("Zoom100", "100%", "100% Size")}) {
        action->setCheckable(true);
        zoomGroup->addAction(action);
        bar->addAction(action);
    }
    bar->addSeparator();
    bar->addAction(AddAction("FirstPage", "First page", "First page"));
    bar->addAction(AddAction("PreviousPage", "Previous page", "Previous page"));
    bar->addAction(AddAction("NextPage", "Next page", "Next page"));
    bar->addAction(AddAction("LastPage", "Last page", "Last page"));
    bar->addSeparator();
    bar->addAction(AddAction("GoToPage", "Go to page", "Select a Page"));
    QAction* find = AddAction("Find", "Find", "Search for Text");
    bar->addAction(find);
    find->setVisible(report.PrevShowSearch);
    bar->addSeparator();
    bar->addAction(AddAction("PrinterSetup", "Printer setup", "Printer setup"));
    bar->addAction(AddAction("Print", "Print", "Print"));
    bar->addSeparator();
    bar->addAction(AddAction("SaveReport", "Save report", "Save report"));
    bar->addAction(AddAction("LoadReport", "Load report", "Load report"));
    bar->addSeparator();
    QAction* close = AddAction("Close", "&Close", "Close Preview");
    bar->addAction(close);
    for (QToolButton* button : bar->findChildren<QToolButton*>())
        button->setFocusPolicy(Qt::NoFocus);

    connect(ActionNamed("ZoomToFit"), &QAction::triggered, this, [this] { ZoomToFit(); });
    connect(ActionNamed("ZoomToWidth"), &QAction::triggered, this, [this] { ZoomToWidth(); });
    connect(ActionNamed("Zoom100"), &QAction::triggered, this, [this] { ZoomTo100(); });
    connect(ActionNamed("FirstPage"), &QAction::triggered, this, [this] { FirstPage(); });
    connect(ActionNamed("PreviousPage"), &QAction::triggered, this, [this] { PreviousPage(); });
    connect(ActionNamed("NextPage"), &QAction::triggered, this, [this] { NextPage(); });
    connect(ActionNamed("LastPage"), &QAction::triggered, this, [this] { LastPage(); });
    connect(ActionNamed("GoToPage"), &QAction::triggered, this, [this] { SelectPage(); });
    connect(ActionNamed("PrinterSetup"), &QAction::triggered, this, [this] { PrinterSetup(); });
    connect(ActionNamed("Print"), &QAction::triggered, this, [this] { PrintReport(); });
    connect(ActionNamed("SaveReport"), &QAction::triggered, this, [this] { SaveReport(); });
    connect(ActionNamed("LoadReport"), &QAction::triggered, this, [this] { LoadReport(); });
    connect(close, &QAction::triggered, this, [this] { this->close(); });
    // Printing and setup wait for the end of the run.
    ActionNamed("PrinterSetup")->setEnabled(false);
    ActionNamed("Print")->setEnabled(false);

    view_ = new TVRPreview(this);
    view_->installEventFilter(this);
    view_->viewport()->installEventFilter(this);
    setCentralWidget(view_);

    progressPanel_ = new QLabel(this);
    progressPanel_->setFixedWidth(40);
    progressPanel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    pagePanel_ = new QLabel(QStringLiteral("Page"), this);
    pagePanel_->setFixedWidth(120);
    titlePanel_ = new QLabel(QString::fromStdString(report.ReportTitle), this);
    titlePanel_->setMinimumWidth(50);
    statusBar()->addWidget(progressPanel_);
    statusBar()->addWidget(pagePanel_);
    statusBar()->addWidget(titlePanel_, 1);

    if (report.PrevFormStyle == TVRFormStyle::fsStayOnTop) setWindowFlag(Qt::WindowStaysOnTopHint);
    resize(report.PreviewWidth > 0 ? report.PreviewWidth : 500,
           report.PreviewHeight > 0 ? report.PreviewHeight : 500);
    setFocusPolicy(Qt::StrongFocus);

    output_->SetListener(this);
    switch (report.PrevInitialZoom) {
        case TVRZoomState::vrZoomToFit:
            zoomState_ = TVRZoomState::vrZoomToFit;
            ActionNamed("ZoomToFit")->setChecked(true);
            break;
        case TVRZoomState::vrZoomToWidth:
            zoomState_ = TVRZoomState::vrZoomToWidth;
            ActionNamed("ZoomToWidth")->setChecked(true);
            break;
        default:
            zoomState_ = TVRZoomState::vrZoomOther;
            zoom_ = report.Zoom;
            ActionNamed("Zoom100")->setChecked(true);
            break;
    }
    ApplyZoomState();
}

TVRStandardPreview::~TVRStandardPreview() {
    ReleaseOutput();
    std::erase(Registry(), this);
}

void TVRStandardPreview::ReleaseOutput() {
    if (released_) return;
    released_ = true;
    output_->SetListener(nullptr);
    // Cancels a running generation, else lets the waiting Preview return; the pages stay ours.
    if (report_) report_->PreviewClosed(*output_);
}

void TVRStandardPreview::ForgetReport(const TVellRep& report) {
    if (report_ == &report) report_ = nullptr;
}

QAction* TVRStandardPreview::AddAction(const QString& name, const QString& text,
                                       const QString& hint) {
    auto* action = new QAction(text, this);
    action->setObjectName(name);
    action->setToolTip(hint);
    return action;
}

QAction* TVRStandardPreview::ActionNamed(const QString& name) const {
    return findChild<QAction*>(name, Qt::FindDirectChildrenOnly);
}

int TVRStandardPreview::FitZoom(QSize view, QSize page) {
    if (page.isEmpty()) return 100;
    return std::min(RoundHalfEven(static_cast<double>(view.width()) / page.width() * 95),
                    RoundHalfEven(static_cast<double>(view.height()) / page.height() * 95));
}

int TVRStandardPreview::WidthZoom(QSize view, QSize page) {
    if (page.isEmpty()) return 100;
    return RoundHalfEven(static_cast<double>(view.width()) / page.width() * 90);
}

int TVRStandardPreview::PageCount() const {
    return output_->Pages().Count();
}

QSize TVRStandardPreview::PageSizeAt100() const {
    if (drawn_ && !picture_.boundingRect().isEmpty()) return picture_.boundingRect().size();
    return {output_->XSize(output_->PaperWidth()), output_->YSize(output_->PaperLength())};
}

void TVRStandardPreview::SetZoom(int zoom) {
    if (zoom < 2 || zoom > 2000) return;
    zoom_ = zoom;
    Redraw();
}

void TVRStandardPreview::ApplyZoomState() {
    const QSize view = view_->viewport()->size();
    if (zoomState_ == TVRZoomState::vrZoomToFit) {
        SetZoom(FitZoom(view, PageSizeAt100()));
    } else if (zoomState_ == TVRZoomState::vrZoomToWidth) {
        SetZoom(WidthZoom(view, PageSizeAt100()));
    } else {
        Redraw();
    }
}

void TVRStandardPreview::ZoomToFit() {
    zoomState_ = TVRZoomState::vrZoomToFit;
    ActionNamed("ZoomToFit")->setChecked(true);
    ApplyZoomState();
}

void TVRStandardPreview::ZoomToWidth() {
    zoomState_ = TVRZoomState::vrZoomToWidth;
    ActionNamed("ZoomToWidth")->setChecked(true);
    ApplyZoomState();
}

void TVRStandardPreview::ZoomTo100() {
    zoomState_ = TVRZoomState::vrZoomOther;
    ActionNamed("Zoom100")->setChecked(true);
    SetZoom(100);
}

void TVRStandardPreview::Redraw() {
    view_->ShowPage(drawn_ ? &picture_ : nullptr, PageSizeAt100(), zoom_);
    // A run that ended without a page (a failed one) has nothing to show, not a blank sheet.
    view_->PageImage()->setVisible(!(finished_ && PageCount() == 0));
}

void TVRStandardPreview::ShowPageNumber(int page, bool toBottom) {
    if (page < 1 || page > PageCount()) return;
    pageNumber_ = page;
    const QByteArray data = output_->Pages().Page(page);
    picture_ = QPicture();
    picture_.setData(data.constData(), static_cast<uint>(data.size()));
    drawn_ = true;
    Redraw();
    if (toBottom) view_->verticalScrollBar()->setValue(view_->verticalScrollBar()->maximum());
    UpdatePagePanel();
}

void TVRStandardPreview::UpdatePagePanel() {
    const int count = PageCount();
    pagePanel_->setText(
        QStringLiteral("Page %1 of %2").arg(count > 0 ? pageNumber_ : 0).arg(count));
}

void TVRStandardPreview::FirstPage() {
    ShowPageNumber(1);
}
void TVRStandardPreview::PreviousPage() {
    ShowPageNumber(pageNumber_ - 1);
}
void TVRStandardPreview::NextPage() {
    ShowPageNumber(pageNumber_ + 1);
}
void TVRStandardPreview::LastPage() {
    ShowPageNumber(PageCount());
}
void TVRStandardPreview::GoToPage(int page) {
    ShowPageNumber(page);
}

void TVRStandardPreview::SelectPage() {
    const int count = PageCount();
    const std::optional<QString> answer = PreviewDialogs().InputText(
        this, QStringLiteral("Select a page from 1 to %1").arg(count),
        QStringLiteral("Enter page number"), QString::number(pageNumber_));
    if (!answer) return;
    bool ok = false;
    const int page = answer->trimmed().toInt(&ok);
    ShowPageNumber(ok && page >= 1 && page <= count ? page : 1);
}

QString TVRStandardPreview::PagePanelText() const {
    return pagePanel_->text();
}
QString TVRStandardPreview::ProgressPanelText() const {
    return progressPanel_->text();
}
QString TVRStandardPreview::TitlePanelText() const {
    return titlePanel_->text();
}

void TVRStandardPreview::PagesAvailable(int count, bool finished) {
    available_ = count;
    if (!drawn_ && pageNumber_ <= count) {
        ShowPageNumber(pageNumber_);
        ApplyZoomState();
    }
    UpdatePagePanel();
    if (finished) {
        finished_ = true;
        ActionNamed("PrinterSetup")->setEnabled(true);
        ActionNamed("Print")->setEnabled(true);
        if (count == 0) Redraw();
    }
}

void TVRStandardPreview::ProgressChanged(int percent) {
    if (percent >= lastProgress_ + 5) {
        progressPanel_->setText(QString::number(percent) + QLatin1Char('%'));
        lastProgress_ = percent;
    }
    if (percent == 0 || percent == 100) progressPanel_->clear();
}

void TVRStandardPreview::PrinterSetup() {
    // The report's settings do not change under a run in progress (of this window or another).
    if (!report_ || !report_->Available()) return;
    const QPointer<TVRStandardPreview> self(this);
    TVellRepPrinterSettings& settings = report_->PrinterSettings;
    QPrinterInfo info = QPrinterInfo::printerInfo(QString::fromStdString(settings.PrinterName));
    QPrinter printer(info.isNull() ? QPrinterInfo::defaultPrinter() : info,
                     QPrinter::HighResolution);
    printer.setPageOrientation(report_->Page.Orientation() == TVROrientation::poLandscape
                                   ? QPageLayout::Landscape
                                   : QPageLayout::Portrait);
    printer.setCopyCount(std::max(1, settings.Copies));
    if (settings.FirstPage > 0 || settings.LastPage > 0) {
        printer.setPrintRange(QPrinter::PageRange);
        printer.setFromTo(settings.FirstPage, settings.LastPage);
    }
    const int maxPage = finished_ ? std::max(1, PageCount()) : 9999;
    if (!PreviewDialogs().PrintSetup(this, printer, finished_ ? 1 : 0, maxPage) || !self ||
        !report_)
        return;

    settings.Copies = printer.copyCount();
    settings.PrinterName = printer.printerName().toStdString();
    if (printer.printRange() == QPrinter::PageRange) {
        settings.FirstPage = printer.fromPage();
        settings.LastPage = printer.toPage();
    } else {
        settings.FirstPage = settings.LastPage = 0;
    }
    const TVROrientation orientation = printer.pageLayout().orientation() == QPageLayout::Landscape
                                           ? TVROrientation::poLandscape
                                           : TVROrientation::poPortrait;
    if (orientation != report_->Page.Orientation()) report_->Page.SetOrientation(orientation);

    // The rest of the dialog's choices govern printing of stored pages.
    const TVRDeviceFacts chosen = FactsOfPrinter(printer);
    TVellRepPrinterSettings& out = output_->MutableSettings();
    out.Copies = settings.Copies;
    out.PrinterName = settings.PrinterName;
    out.FirstPage = settings.FirstPage;
    out.LastPage = settings.LastPage;
    out.OutputBin = chosen.Bin;
    out.Duplex = chosen.Duplex;
    out.Collate = chosen.Collate;
    output_->SetOrientation(orientation);
    if (chosen.Paper != TVRPaperSize::Default) output_->SetPaper(chosen.Paper);
}

void TVRStandardPreview::PrintReport() {
    if (printing_) return;
    // The window may be closed, and deleted, while the print run dispatches messages.
    const QPointer<TVRStandardPreview> self(this);
    TVellRep* const report = report_;
    const std::shared_ptr<TVRPrinter> output = output_;
    printing_ = true;
    try {
        if (loadedFromFile_ || !report || !report->Waiting(*output)) {
            // Loaded pages, or pages whose run is over (its dataset may be closed or another
            // run's by now): print what this window shows.
            if (finished_) PrintStoredPages();
        } else if (finished_ && report->Available()) {
            report->Print();
        }
    } catch (const std::exception& error) {
        if (!self) {
            PreviewDialogs().Error(nullptr, ErrorText(error));
            return;
        }
        ReportError(error);
    }
    if (self) printing_ = false;
}

void TVRStandardPreview::PrintStoredPages() {
    if (QPrinterInfo::availablePrinters().isEmpty()) return;
    const TVellRepPrinterSettings& settings = output_->Settings();
    QPrinterInfo info = QPrinterInfo::printerInfo(QString::fromStdString(settings.PrinterName));
    QPrinter printer(info.isNull() ? QPrinterInfo::defaultPrinter() : info,
                     QPrinter::HighResolution);
    printer.setDocName(QString::fromStdString(output_->Title()));
    printer.setCopyCount(std::max(1, settings.Copies));
    printer.setPageOrientation(output_->Orientation() == TVROrientation::poLandscape
                                   ? QPageLayout::Landscape
                                   : QPageLayout::Portrait);
    if (const int code = PaperCode(output_->PaperSize()); PaperDimensions(output_->PaperSize())) {
        printer.setPageSize(QPageSize(QPageSize::id(code)));
    }
    // Drawn from the paper's edge, so each page lands where it would on an unclipped page.
    printer.setFullPage(true);
    const int count = PageCount();
    const int first = settings.FirstPage > 0 ? settings.FirstPage : 1;
    const int last = settings.LastPage > 0 ? std::min(settings.LastPage, count) : count;
    QPainter painter;
    for (int page = first; page <= last; ++page) {
        if (!painter.isActive()) {
            if (!painter.begin(&printer)) throw Exception("Cannot start the printer document");
        } else {
            printer.newPage();
        }
        const QByteArray data = output_->Pages().Page(page);
        QPicture picture;
        picture.setData(data.constData(), static_cast<uint>(data.size()));
        painter.drawPicture(0, 0, picture);
    }
    if (painter.isActive()) painter.end();
}

void TVRStandardPreview::SaveReport() {
    if (!finished_) return;
    const QPointer<TVRStandardPreview> self(this);
    const QString path = PreviewDialogs().SaveFileName(this, QStringLiteral("Save report"),
                                                       kPageFileFilter, QStringLiteral("VRP"));
    if (path.isEmpty() || !self) return;
    try {
        SavePageFile(path, output_->Pages(), LocalNowAsDays());
    } catch (const std::exception& error) {
        ReportError(error);
    }
}

void TVRStandardPreview::LoadReport() {
    const QPointer<TVRStandardPreview> self(this);
    const QString path =
        PreviewDialogs().OpenFileName(this, QStringLiteral("Load report"), kPageFileFilter);
    if (path.isEmpty() || !self) return;
    if (!QFileInfo(path).isFile()) {
        PreviewDialogs().Message(this, QStringLiteral("File does not exist"));
        return;
    }
    std::unique_ptr<TVRPageStore> pages;
    try {
        pages = LoadPageFile(path, output_->Settings().MemoryLimit);
    } catch (const std::exception& error) {
        ReportError(error);
        return;
    }
    // The file's pages go to an output object of this window's own: the run that filled the old
    // one (still generating, or waiting for this window) is told the window lets go of it, so it
    // is cancelled or returns, and it never draws into the loaded pages.
    auto loaded = std::make_shared<TVRPrinter>(TVRDestination::Preview, std::nullopt);
    loaded->SetTitle(output_->Title());
    loaded->MutableSettings() = output_->Settings();
    loaded->SetPaper(output_->PaperSize());
    loaded->SetOrientation(output_->Orientation());
    loaded->BeginDoc();  // screen factors, for matching the pages' size against the paper table
    loaded->EndDoc();
    loaded->ReplacePages(std::move(pages));
    ReleaseOutput();
    output_ = std::move(loaded);
    loadedFromFile_ = true;
    finished_ = true;
    drawn_ = false;
    pageNumber_ = 1;
    titlePanel_->setText(QFileInfo(path).fileName());
    if (PageCount() > 0) {
        // Paper and orientation from the first page's size, among the first 26 standard sizes.
        const QByteArray data = output_->Pages().Page(1);
        QPicture first;
        first.setData(data.constData(), static_cast<uint>(data.size()));
        const QSize size = first.boundingRect().size();
        for (int code = 1; code <= 26; ++code) {
            const TVRPaperSize paper = PaperFromCode(code);
            const auto dims = PaperDimensions(paper);
            if (!dims) continue;
            const QSize portrait(output_->XSize(dims->widthMm * 10),
                                 output_->YSize(dims->lengthMm * 10));
            if (size == portrait || size == portrait.transposed()) {
                output_->SetPaper(paper);
                output_->SetOrientation(size == portrait ? TVROrientation::poPortrait
                                                         : TVROrientation::poLandscape);
                break;
            }
        }
        ShowPageNumber(1);
        ApplyZoomState();
    } else {
        Redraw();
    }
    UpdatePagePanel();
    ActionNamed("Print")->setEnabled(true);
    ActionNamed("PrinterSetup")->setEnabled(true);
}

void TVRStandardPreview::ReportError(const std::exception& error) {
    PreviewDialogs().Error(this, ErrorText(error));
}

void TVRStandardPreview::closeEvent(QCloseEvent* event) {
    ReleaseOutput();
    event->accept();
}

bool TVRStandardPreview::HandleKey(QKeyEvent* event) {
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    QScrollBar* vertical = view_->verticalScrollBar();
    switch (event->key()) {
        case Qt::Key_Escape:
            close();
            return true;
        case Qt::Key_C:
            // The access key of "&Close".
            if ((event->modifiers() & (Qt::AltModifier | Qt::ControlModifier)) != Qt::AltModifier)
                return false;
            close();
            return true;
        case Qt::Key_PageUp:
            ctrl ? FirstPage() : PreviousPage();
            return true;
        case Qt::Key_PageDown:
            ctrl ? LastPage() : NextPage();
            return true;
        case Qt::Key_Home:
            FirstPage();
            return true;
        case Qt::Key_End:
            LastPage();
            return true;
        case Qt::Key_Up:
            if (vertical->value() <= vertical->minimum()) {
                if (pageNumber_ > 1) ShowPageNumber(pageNumber_ - 1, true);
            } else {
                vertical->setValue(vertical->value() - vertical->singleStep());
            }
            return true;
        case Qt::Key_Down:
            if (vertical->value() >= vertical->maximum()) {
                NextPage();
            } else {
                vertical->setValue(vertical->value() + vertical->singleStep());
            }
            return true;
        default:
            return false;
    }
}

void TVRStandardPreview::keyPressEvent(QKeyEvent* event) {
    if (!HandleKey(event)) QMainWindow::keyPressEvent(event);
}

bool TVRStandardPreview::eventFilter(QObject* watched, QEvent* event) {
    // The window sees keys before the page view does.
    if (event->type() == QEvent::KeyPress && HandleKey(static_cast<QKeyEvent*>(event))) return true;
    // Fit and width follow the view's own size, which is known only once the window is laid out.
    if (watched == view_->viewport() && event->type() == QEvent::Resize &&
        zoomState_ != TVRZoomState::vrZoomOther && !applyingZoom_) {
        applyingZoom_ = true;
        ApplyZoomState();
        applyingZoom_ = false;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TVRStandardPreview::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    if (zoomState_ != TVRZoomState::vrZoomOther) ApplyZoomState();
}

std::vector<TVRStandardPreview*> PreviewWindows() {
    return Registry();
}

void ClosePreviewWindows() {
    for (const QPointer<TVRStandardPreview>& window : [] {
             std::vector<QPointer<TVRStandardPreview>> open;
             for (TVRStandardPreview* w : Registry()) open.emplace_back(w);
             return open;
         }()) {
        if (!window) continue;
        if (window->Printing() && window->Report()) window->Report()->CancelRun();
        window->close();
    }
}

void DeletePreviewWindows() {
    while (!Registry().empty()) delete Registry().back();
}

}  // namespace parvell
