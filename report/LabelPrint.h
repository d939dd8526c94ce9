#pragma once
// The label pages sent to a print queue, for the command-line tool: the same run as the
// preview window's Print, on a printer named by the caller instead of the one chosen in
// Printer setup, handed to CUPS as a PDF file (VRCupsJob.h) without Qt's print support.

#include <string>

namespace parvell {

class TDataSet;

struct TLabelPrintJob {
    std::string PrinterName;  // empty: the system's default printer
    int Copies = 1;
    int FirstPage = 0;  // 0 and 0: all pages
    int LastPage = 0;
};

struct TLabelPrintResult {
    std::string PrinterName;  // the queue the pages went to
    int PageCount = 0;        // pages of the run
    int PagesPrinted = 0;     // of them, those inside the job's range
};

// dataSet must be open. Raises Exception when no printer is installed, when the named printer
// (or, for an empty name, a default printer) does not exist, when the range holds no page of
// the run, and what the run raises; in each of these cases no job reaches the queue.
TLabelPrintResult PrintLabels(TDataSet& dataSet, const TLabelPrintJob& job);

}  // namespace parvell
