#include "report/LabelPdf.h"

#include <QPrinter>

#include "report/LabelReport.h"

namespace parvell {

int RenderLabelsPdf(TDataSet& dataSet, const QString& pdfPath) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdfPath);
    // Positions count from the paper's edge: a PDF page has no unprintable margin.
    printer.setFullPage(true);
    printer.setPageSize(QPageSize(QPageSize::Letter));

    TLabelReport labels(&dataSet);
    labels.VellRep1.ShowProgress = false;
    labels.VellRep1.ProcessMessages = [] {};
    labels.VellRep1.PrintToDevice(printer, FactsOfPrinter(printer));
    return labels.VellRep1.PageCount();
}

}  // namespace parvell
