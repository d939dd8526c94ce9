#include "report/LabelPrint.h"

#include <algorithm>

#include "common/Exceptions.h"
#include "common/Text.h"
#include "report/LabelReport.h"
#include "report/VRCupsJob.h"

namespace parvell {

TLabelPrintResult PrintLabels(TDataSet& dataSet, const TLabelPrintJob& job) {
    TVRCupsJob printer(job.PrinterName);

    TLabelReport labels(&dataSet);
    labels.VellRep1.ShowProgress = false;
    labels.VellRep1.ProcessMessages = [] {};
    TVellRepPrinterSettings& settings = labels.VellRep1.PrinterSettings;
    settings.PrinterName = printer.PrinterName();
    settings.Copies = job.Copies;
    settings.FirstPage = job.FirstPage;
    settings.LastPage = job.LastPage;
    labels.VellRep1.PrintToDevice(printer, printer.Facts());

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
    // CUPS answers whether the queue took the job (a stopped queue, a server gone: an error).
    printer.Submit();
    return result;
}

}  // namespace parvell
