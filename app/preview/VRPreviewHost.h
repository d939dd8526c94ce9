#pragma once
// The window host through which a report opens its preview and printing progress windows.

#include <memory>

#include "report/VellRep.h"

namespace parvell {

// Opens the two windows for every report; install once at start.
class TVRPreviewHost : public TVRWindowHost {
public:
    void OpenPreview(TVellRep& report, std::shared_ptr<TVRPrinter> output) override;
    std::unique_ptr<TVRPreviewListener> OpenPrintProgress(TVellRep& report,
                                                          TVRPrinter& output) override;
    void ReportDestroyed(TVellRep& report) override;
};

// Installs the host, and the system's printers as the printers of every report; once, at start.
void InstallPreviewWindows();

}  // namespace parvell
