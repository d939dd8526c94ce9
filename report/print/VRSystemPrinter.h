#pragma once
// The system's printers through Qt's print support: the facts of a QPrinter, the device adapter
// that prints on one with the report's copies, sides, bin and collation, and the printer system
// a report asks for its printers. The window installs it at start; the command line does without
// (it prints through CUPS directly, report/VRCupsJob.h).

#include <optional>
#include <string>

#include "report/VellRep.h"

class QPrinter;

namespace parvell {

// The facts a QPrinter (for instance one writing a PDF file) reports about itself.
TVRDeviceFacts FactsOfPrinter(QPrinter& printer);
// The facts of the named printer (empty: the default printer; a name not installed: the default
// or else the first printer); nullopt when no printer is installed.
std::optional<TVRDeviceFacts> SystemPrinterFacts(const std::string& printerName);

// A QPrinter as the report's output device (not owned; it must outlive the document).
class TVRQPrinterDevice final : public TVRDevice {
public:
    explicit TVRQPrinterDevice(QPrinter& printer) : printer_(printer) {}
    QPagedPaintDevice& PaintDevice() override;
    TVRDeviceFacts Facts() override { return FactsOfPrinter(printer_); }
    void ApplySettings(const TVellRepPrinterSettings& settings, const std::string& title) override;
    void Abort() override;

private:
    QPrinter& printer_;
};

// Makes the system's printers (Qt's print support) the printers of every report; once, at start.
void InstallSystemPrinters();

}  // namespace parvell
