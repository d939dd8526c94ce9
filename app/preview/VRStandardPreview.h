#pragma once
// The label preview window: shows the pages of a report run while they are generated and
// afterwards; paging, zoom, printing, printer setup, saving and loading page files. Also the list
// of the preview windows that are open.

#include <QMainWindow>
#include <QPicture>
#include <memory>
#include <vector>

#include "app/preview/VRPreview.h"
#include "report/VellRep.h"

class QAction;
class QLabel;

namespace parvell {

// The label preview window.
class TVRStandardPreview : public QMainWindow, public TVRPreviewListener {
public:
    // Opened on the output object of a run of report. The window keeps a share of the output,
    // so its pages stay as long as it shows them; the report is not owned. Caption, state, zoom
    // and panels follow the report's preview settings.
    TVRStandardPreview(TVellRep& report, std::shared_ptr<TVRPrinter> output);
    ~TVRStandardPreview() override;

    // Pure zoom arithmetic, page sizes in screen pixels at 100%.
    static int FitZoom(QSize view, QSize page);
    static int WidthZoom(QSize view, QSize page);

    int PageNumber() const { return pageNumber_; }
    int PageCount() const;
    int Zoom() const { return zoom_; }
    TVRZoomState ZoomState() const { return zoomState_; }
    bool LoadedFromFile() const { return loadedFromFile_; }
    TVRPrinter* Output() const { return output_.get(); }
    // The report this window was opened by; null once that report is gone.
    TVellRep* Report() const { return report_; }
    // True while a Print of this window is running.
    bool Printing() const { return printing_; }
    // The report is going away: the window keeps its pages and no longer calls it.
    void ForgetReport(const TVellRep& report);

    // Tool bar actions.
    void ZoomToFit();
    void ZoomToWidth();
    void ZoomTo100();
    // A zoom outside 2 .. 2000 is ignored.
    void SetZoom(int zoom);
    void FirstPage();
    void PreviousPage();
    void NextPage();
    void LastPage();
    // A number outside 1 .. page count is ignored.
    void GoToPage(int page);
    void SelectPage();  // the go-to-page input box
    void PrinterSetup();
    void PrintReport();
    void SaveReport();
    void LoadReport();

    // Notices from the output object.
    void PagesAvailable(int count, bool finished) override;
    void ProgressChanged(int percent) override;

    QAction* ActionNamed(const QString& name) const;
    QString PagePanelText() const;
    QString ProgressPanelText() const;
    QString TitlePanelText() const;
    TVRPreview* PageView() const { return view_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QAction* AddAction(const QString& name, const QString& text, const QString& hint);
    QSize PageSizeAt100() const;
    void Redraw();
    void ShowPageNumber(int page, bool toBottom = false);
    void UpdatePagePanel();
    void ApplyZoomState();
    bool HandleKey(QKeyEvent* event);
    void PrintStoredPages();
    void ReportError(const std::exception& error);
    // Tells the report that this window no longer shows its output (once).
    void ReleaseOutput();

    TVellRep* report_;
    std::shared_ptr<TVRPrinter> output_;  // never null; replaced by a loaded page file's
    bool released_ = false;               // the report has been told
    bool printing_ = false;
    TVRPreview* view_ = nullptr;
    QLabel* progressPanel_ = nullptr;
    QLabel* pagePanel_ = nullptr;
    QLabel* titlePanel_ = nullptr;
    int pageNumber_ = 1;
    int zoom_ = 100;
    TVRZoomState zoomState_ = TVRZoomState::vrZoomToFit;
    int lastProgress_ = 0;
    int available_ = 0;
    bool finished_ = false;
    bool loadedFromFile_ = false;
    bool drawn_ = false;  // the page on show has been drawn
    bool applyingZoom_ = false;
    QPicture picture_;
};

// The preview windows that exist, oldest first.
std::vector<TVRStandardPreview*> PreviewWindows();
// Closes every preview window, cancelling a generation or a print run in progress (File > Exit).
void ClosePreviewWindows();
// Deletes the preview windows still there (at the end of the program, after the message loop).
void DeletePreviewWindows();

}  // namespace parvell
