#pragma once
// A print job for a CUPS queue without Qt's print support: the run draws its pages into a PDF
// file in a private temporary folder, which goes to the queue, with the run's copies and sides,
// when the run is over; the folder is removed with the job. The page is composed as Qt's print
// support composes it for the queue: 1200 pixels per inch, the queue's papers, and a printable
// area inside the queue's margins and no less than 10 points from each edge.

#include <QString>
#include <QTemporaryDir>
#include <memory>
#include <string>

#include "report/VRPrinter.h"

class QPdfWriter;
struct cups_dest_s;
struct _cups_dinfo_s;

namespace parvell {

class TVRCupsJob final : public TVRDevice {
public:
    // printerName: a queue ("name" or "name/instance"); empty: the default one. Raises Exception
    // "No printer is installed", "No default printer is set", "Printer "X" not found", or when
    // the queue does not say what it prints on.
    explicit TVRCupsJob(const std::string& printerName);
    ~TVRCupsJob() override;
    TVRCupsJob(const TVRCupsJob&) = delete;
    TVRCupsJob& operator=(const TVRCupsJob&) = delete;

    // The queue's name, with its instance.
    const std::string& PrinterName() const { return printerName_; }

    QPagedPaintDevice& PaintDevice() override;
    // The queue's name and papers; resolution, offsets and paper as the PDF page stands.
    TVRDeviceFacts Facts() override;
    // Remembers copies, sides, collation and title for the job, and sets the printable area of
    // the paper now on the page. Bins are left to the queue.
    void ApplySettings(const TVellRepPrinterSettings& settings, const std::string& title) override;
    // Nothing goes to the queue.
    void Abort() override { aborted_ = true; }

    // Hands the written pages to the queue; returns the job's number, or 0 when the run wrote
    // no page or was aborted (nothing is sent). Raises Exception naming the printer with CUPS's
    // answer when the queue does not take the job.
    int Submit();

private:
    void SetMarginsForPage();

    cups_dest_s* dests_ = nullptr;
    int destCount_ = 0;
    cups_dest_s* dest_ = nullptr;  // one of dests_
    _cups_dinfo_s* info_ = nullptr;
    std::string printerName_;
    QTemporaryDir dir_;
    QString file_;
    std::unique_ptr<QPdfWriter> writer_;
    int copies_ = 1;
    int sides_ = 1;  // 1 one-sided, 2 long edge, 3 short edge
    bool collate_ = false;
    std::string title_;
    bool aborted_ = false;
};

}  // namespace parvell
