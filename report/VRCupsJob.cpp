#include "report/VRCupsJob.h"

#include <cups/cups.h>
#include <cups/pwg.h>

#include <QDir>
#include <QFile>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <algorithm>
#include <cmath>

#include "common/Exceptions.h"
#include "common/Text.h"

namespace parvell {

namespace {

// Qt's print support keeps the printable area of a printer page this far from each edge even
// where the printer could print, and positions are corrected for it: the same words land in the
// same places, and the same strip at the edge stays blank.
constexpr double kLeastMarginMm = 10 * 25.4 / 72;
constexpr int kResolution = 1200;         // pixels per inch of a high-resolution printer page
constexpr int kHundredthsTolerance = 50;  // sizes within half a millimetre are the same paper

// The standard paper of a CUPS media size; Default when none matches.
TVRPaperSize PaperOfSize(int width, int length) {
    for (int code = 1; code <= kStandardPaperCount; ++code) {
        const TVRPaperSize paper = PaperFromCode(code);
        const auto dims = PaperDimensions(paper);
        if (dims && std::abs(std::lround(dims->widthMm * 100) - width) <= kHundredthsTolerance &&
            std::abs(std::lround(dims->lengthMm * 100) - length) <= kHundredthsTolerance) {
            return paper;
        }
    }
    return TVRPaperSize::Default;
}

QPageSize PageSizeOf(const cups_size_t& size) {
    const TVRPaperSize paper = PaperOfSize(size.width, size.length);
    if (paper != TVRPaperSize::Default) {
        const QPageSize::PageSizeId id = QPageSize::id(PaperCode(paper));
        if (id != QPageSize::Custom) return QPageSize(id);
    }
    return QPageSize(QSizeF(size.width / 100.0, size.length / 100.0), QPageSize::Millimeter,
                     QString(), QPageSize::ExactMatch);
}

}  // namespace

TVRCupsJob::TVRCupsJob(const std::string& printerName)
    : dir_(QDir::tempPath() + QStringLiteral("/parvell-print-XXXXXX")) {
    destCount_ = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests_);
    if (destCount_ <= 0) throw Exception("No printer is installed");
    // A queue that is not there is refused: printing on another one instead would put the pages
    // in a tray nobody waits at.
    if (printerName.empty()) {
        dest_ = cupsGetDest(nullptr, nullptr, destCount_, dests_);
        if (!dest_) throw Exception("No default printer is set");
    } else {
        const std::size_t slash = printerName.find('/');
        const std::string name = printerName.substr(0, slash);
        const std::string instance =
            slash == std::string::npos ? std::string() : printerName.substr(slash + 1);
        dest_ = cupsGetDest(name.c_str(), instance.empty() ? nullptr : instance.c_str(), destCount_,
                            dests_);
        if (!dest_) throw Exception(FormatMessage("Printer \"%s\" not found", {printerName}));
    }
    printerName_ = dest_->name;
    if (dest_->instance) printerName_ += std::string("/") + dest_->instance;

    info_ = cupsCopyDestInfo(CUPS_HTTP_DEFAULT, dest_);
    cups_size_t media{};
    if (!info_ || !cupsGetDestMediaDefault(CUPS_HTTP_DEFAULT, dest_, info_,
                                           CUPS_MEDIA_FLAGS_DEFAULT, &media)) {
        throw Exception(FormatMessage("Printer \"%s\" does not say what paper it takes: %s",
                                      {printerName_, cupsLastErrorString()}));
    }
    if (!dir_.isValid())
        throw Exception("Cannot make a temporary folder for the print job: " +
                        dir_.errorString().toStdString());
    file_ = dir_.filePath(QStringLiteral("job.pdf"));
    writer_ = std::make_unique<QPdfWriter>(file_);
    writer_->setResolution(kResolution);
    writer_->setPageSize(PageSizeOf(media));
    SetMarginsForPage();
}

TVRCupsJob::~TVRCupsJob() {
    writer_.reset();  // before its folder goes
    if (info_) cupsFreeDestInfo(info_);
    if (dests_) cupsFreeDests(destCount_, dests_);
}

QPagedPaintDevice& TVRCupsJob::PaintDevice() {
    return *writer_;
}

TVRDeviceFacts TVRCupsJob::Facts() {
    TVRDeviceFacts facts = FactsOfPagedDevice(*writer_);
    facts.PrinterName = printerName_;
    const int count =
        cupsGetDestMediaCount(CUPS_HTTP_DEFAULT, dest_, info_, CUPS_MEDIA_FLAGS_DEFAULT);
    for (int i = 0; i < count; ++i) {
        cups_size_t size{};
        if (!cupsGetDestMediaByIndex(CUPS_HTTP_DEFAULT, dest_, info_, i, CUPS_MEDIA_FLAGS_DEFAULT,
                                     &size))
            continue;
        const TVRPaperSize paper = PaperOfSize(size.width, size.length);
        if (paper != TVRPaperSize::Default &&
            std::find(facts.SupportedPapers.begin(), facts.SupportedPapers.end(), paper) ==
                facts.SupportedPapers.end()) {
            facts.SupportedPapers.push_back(paper);
        }
    }
    return facts;
}

void TVRCupsJob::ApplySettings(const TVellRepPrinterSettings& settings, const std::string& title) {
    copies_ = std::max(1, settings.Copies);
    sides_ = settings.ExtendedDuplex != 0 ? settings.ExtendedDuplex : settings.Duplex ? 3 : 1;
    collate_ = settings.Collate != 0;
    title_ = title;
    SetMarginsForPage();
}

void TVRCupsJob::SetMarginsForPage() {
    const QSizeF mm = writer_->pageLayout().pageSize().size(QPageSize::Millimeter);
    cups_size_t size{};
    const bool known = cupsGetDestMediaBySize(
        CUPS_HTTP_DEFAULT, dest_, info_, static_cast<int>(std::lround(mm.width() * 100)),
        static_cast<int>(std::lround(mm.height() * 100)), CUPS_MEDIA_FLAGS_DEFAULT, &size);
    auto margin = [known](int hundredths) {
        return std::max(kLeastMarginMm, known ? hundredths / 100.0 : 0.0);
    };
    // The queue's margins are those of the portrait sheet. A landscape page lies on it turned a
    // quarter turn anticlockwise (as IPP's landscape), its top along the sheet's left edge.
    QMarginsF margins(margin(size.left), margin(size.top), margin(size.right), margin(size.bottom));
    if (writer_->pageLayout().orientation() == QPageLayout::Landscape)
        margins = QMarginsF(margins.bottom(), margins.left(), margins.top(), margins.right());
    writer_->setPageMargins(margins, QPageLayout::Millimeter);
}

int TVRCupsJob::Submit() {
    if (aborted_ || !QFile::exists(file_)) return 0;
    const QSizeF mm = writer_->pageLayout().pageSize().size(QPageSize::Millimeter);
    const int width = static_cast<int>(std::lround(mm.width() * 100));
    const int length = static_cast<int>(std::lround(mm.height() * 100));
    cups_size_t size{};
    std::string media;
    if (cupsGetDestMediaBySize(CUPS_HTTP_DEFAULT, dest_, info_, width, length,
                               CUPS_MEDIA_FLAGS_DEFAULT, &size)) {
        media = size.media;
    } else if (const pwg_media_t* pwg = pwgMediaForSize(width, length)) {
        media = pwg->pwg;
    }

    cups_option_t* options = nullptr;
    int count = 0;
    // An instance is a set of options the user keeps for the queue; the run's own come on top.
    if (dest_->instance) {
        for (int i = 0; i < dest_->num_options; ++i) {
            count = cupsAddOption(dest_->options[i].name, dest_->options[i].value, count, &options);
        }
    }
    count = cupsAddOption("copies", std::to_string(copies_).c_str(), count, &options);
    if (!media.empty()) count = cupsAddOption("media", media.c_str(), count, &options);
    count = cupsAddOption("sides",
                          sides_ == 2   ? "two-sided-long-edge"
                          : sides_ == 3 ? "two-sided-short-edge"
                                        : "one-sided",
                          count, &options);
    if (collate_ && copies_ > 1) {
        count = cupsAddOption("multiple-document-handling", "separate-documents-collated-copies",
                              count, &options);
    }
    const QByteArray file = QFile::encodeName(file_);
    const int job = cupsPrintFile2(CUPS_HTTP_DEFAULT, dest_->name, file.constData(), title_.c_str(),
                                   count, options);
    cupsFreeOptions(count, options);
    if (job == 0) {
        throw Exception(FormatMessage("Printer \"%s\" did not take the job: %s",
                                      {printerName_, cupsLastErrorString()}));
    }
    return job;
}

}  // namespace parvell
