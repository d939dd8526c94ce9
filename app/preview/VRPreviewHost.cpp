#include "app/preview/VRPreviewHost.h"

#include "app/preview/VRProgressForm.h"
#include "app/preview/VRStandardPreview.h"
#include "report/print/VRSystemPrinter.h"

namespace parvell {

void TVRPreviewHost::OpenPreview(TVellRep& report, std::shared_ptr<TVRPrinter> output) {
    auto* window = new TVRStandardPreview(report, std::move(output));
    switch (report.PreviewInitialState) {
        case TVRWindowState::wsMaximized:
            window->showMaximized();
            break;
        case TVRWindowState::wsMinimized:
            window->showMinimized();
            break;
        default:
            window->show();
            break;
    }
}

std::unique_ptr<TVRPreviewListener> TVRPreviewHost::OpenPrintProgress(TVellRep& report,
                                                                      TVRPrinter& output) {
    auto form = std::make_unique<TVRProgressForm>(output);
    form->show();
    return form;
}

void TVRPreviewHost::ReportDestroyed(TVellRep& report) {
    for (TVRStandardPreview* window : PreviewWindows()) window->ForgetReport(report);
}

void InstallPreviewWindows() {
    static TVRPreviewHost host;
    TVellRep::SetWindowHost(&host);
    InstallSystemPrinters();
}

}  // namespace parvell
