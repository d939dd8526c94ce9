#include "report/LabelPrint.h"

#include <cups/cups.h>

#include <QPrinter>
#include <QPrinterInfo>
#include <algorithm>

#include "common/Exceptions.h"
#include "common/Text.h"
#include "report/LabelReport.h"

namespace parvell {

TLabelPrintResult PrintLabels(TDataSet& dataSet, const TLabelPrintJob& job) {
    if (QPrinterInfo::availablePrinters().isEmpty()) throw Exception("No printer is installed");
    // A queue that is not there is refused: printing on another one instead would put the
    // labels in a tray nobody waits at.
    const QPrinterInfo info =
        job.PrinterName.empty()
            ? QPrinterInfo::defaultPrinter()
            : QPrinterInfo::printerInfo(QString::fromStdString(job.PrinterName));
    if (info.isNull()) {
        if (job.PrinterName.empty()) throw Exception("No default printer is set");
        throw Exception(FormatMessage("Printer \"%s\" not found", {job.PrinterName}));
    }
    QPrinter printer(info, QPrinter::HighResolution);

    TLabelReport labels(&dataSet);
    labels.VellRep1.ShowProgress = false;
    labels.VellRep1.ProcessMessages = [] {};
    TVellRepPrinterSettings& settings = labels.VellRep1.PrinterSettings;
    settings.PrinterName = info.printerName().toStdString();
    settings.Copies = job.Copies;
    settings.FirstPage = job.FirstPage;
    settings.LastPage = job.LastPage;
    labels.VellRep1.PrintToDevice(printer, FactsOfPrinter(printer));

    TLabelPrintResult result;
    result.PrinterName = settings.PrinterName;
    result.PageCount = labels.VellRep1.PageCount();
    const int first = job.FirstPage == 0 ? 1 : job.FirstPage;
    const int last =
        job.LastPage == 0 ? result.PageCount : std::min(job.LastPage, result.PageCount);
    result.PagesPrinted = std::max(0, last - first + 1);
    if (result.PagesPrinted == 0) {
        throw Exception(FormatMessage(result.PageCount == 1
                                          ? "The labels have %d page, not one in the range %d-%d"
                                          : "The labels have %d pages, not one in the range %d-%d",
                                      {result.PageCount, job.FirstPage, job.LastPage}));
    }
    // Qt hands the finished document to CUPS at the end of the run and drops the answer; a queue
    // that refuses the job (stopped accepting, server gone) leaves its status in the CUPS
    // client library of this thread.
    if (cupsLastError() > IPP_STATUS_OK_EVENTS_COMPLETE) {
        throw Exception(FormatMessage("Printer \"%s\" did not take the job: %s",
                                      {result.PrinterName, cupsLastErrorString()}));
    }
    return result;
}

}  // namespace parvell
