#include "report/LabelPdf.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>
#include <QPdfWriter>

#include <cerrno>
#include <cstring>

#include "common/Exceptions.h"
#include "data/TextCase.h"
#include "report/LabelReport.h"

namespace parvell {

namespace {

// The PDF writer only says that it could not start; the file system says why, and the message
// names the file. A name made for the check is removed again, so nothing is left behind.
void CheckCanCreate(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NONBLOCK, 0666);
    const bool made = fd >= 0;
    if (!made && errno == EEXIST) fd = ::open(name.constData(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat info {};
    const int error = fd < 0                                              ? errno
                      : ::fstat(fd, &info) == 0 && !S_ISREG(info.st_mode) ? EISDIR
                                                                          : 0;
    if (fd >= 0) ::close(fd);
    if (made) ::unlink(name.constData());
    if (error != 0) {
        const std::string file = WideToAnsi(std::u16string_view(
            reinterpret_cast<const char16_t*>(path.utf16()), static_cast<size_t>(path.size())));
        throw Exception("Cannot create file \"" + file + "\". " + std::strerror(error));
    }
}

}  // namespace

int RenderLabelsPdf(TDataSet& dataSet, const QString& pdfPath) {
    CheckCanCreate(pdfPath);
    QPdfWriter writer(pdfPath);
    // Positions count from the paper's edge: a PDF page has no unprintable margin.
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    writer.setPageSize(QPageSize(QPageSize::Letter));

    TLabelReport labels(&dataSet);
    labels.VellRep1.ShowProgress = false;
    labels.VellRep1.ProcessMessages = [] {};
    labels.VellRep1.PrintToDevice(writer, FactsOfPdfWriter(writer));
    return labels.VellRep1.PageCount();
}

}  // namespace parvell
