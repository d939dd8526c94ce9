// Rendered pages: the preview picture drawn to an image and the PDF turned into an image both
// put each label's first line where the label geometry says.

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "report/LabelPdf.h"
#include "tests/report/ReportTestSupport.h"

namespace parvell::testing {
namespace {

// Expected top-left of the first text line of label k (0..29) in pixels at ppi.
QPoint TextOrigin(int k, double ppi) {
    const double x = std::vector<double>{64, 762, 1460}[static_cast<size_t>(k / 10)] + 42.333;
    const double y = 127 + (k % 10) * 254 + 63.5;
    return {qRound(x * ppi / 254), qRound(y * ppi / 254)};
}

QRect Cell(int k, double ppi) {
    const double x = std::vector<double>{64, 762, 1460}[static_cast<size_t>(k / 10)];
    const double y = 127 + (k % 10) * 254;
    return QRect(qRound(x * ppi / 254), qRound(y * ppi / 254), qRound(635 * ppi / 254),
                 qRound(254 * ppi / 254));
}

// Every label's ink starts at the item's left edge (plus the first glyph's bearing) and at the
// first line's top (plus the space above a capital).
void ExpectLabelGeometry(const QImage& page, double ppi, int labels) {
    for (int k = 0; k < labels; ++k) {
        const QPoint ink = FirstInk(page, Cell(k, ppi));
        const QPoint origin = TextOrigin(k, ppi);
        EXPECT_GE(ink.x(), origin.x() - 1) << "label " << k;
        EXPECT_LE(ink.x(), origin.x() + 3) << "label " << k;
        EXPECT_GE(ink.y(), origin.y()) << "label " << k;
        EXPECT_LE(ink.y(), origin.y() + 5) << "label " << k;
    }
}

std::vector<LabelRow> FullPage() {
    std::vector<LabelRow> rows;
    for (int i = 1; i <= 30; ++i) {
        rows.push_back({"NORMA HASTINGS " + std::to_string(i), "HC 2 Box 118",
                        i % 3 ? "" : "Unit 9", "Bakersfield, CA 93301"});
    }
    return rows;
}

TEST(RenderedPage, PreviewPictureHasTheLabelGeometry) {
    MemoryDataSet data;
    FillLabels(data, FullPage());
    TLabelReport labels(&data);
    Quiet(labels.VellRep1);
    labels.VellRep1.PrinterProbe = [](const std::string&) {
        return std::optional(LetterPrinter());
    };
    labels.VellRep1.Preview();
    const QImage page = RenderPage(*labels.VellRep1.PreviewOutput(), 1);
    ASSERT_EQ(page.size(), QSize(816, 1056));
    ExpectLabelGeometry(page, 96, 30);
    if (const QByteArray keep = qgetenv("PARVELL_KEEP_RENDER"); !keep.isEmpty())
        page.save(QString::fromLocal8Bit(keep) + "/preview.png");
}

TEST(RenderedPage, PdfPageHasTheLabelGeometry) {
    QTemporaryDir dir;
    MemoryDataSet data;
    FillLabels(data, FullPage());
    const QString pdf = dir.filePath("labels.pdf");
    EXPECT_EQ(RenderLabelsPdf(data, pdf), 1);
    QProcess convert;
    convert.start(QStringLiteral("pdftoppm"),
                  {"-r", "96", "-png", "-singlefile", pdf, dir.filePath("page")});
    ASSERT_TRUE(convert.waitForFinished(60000));
    QImage page(dir.filePath("page.png"));
    ASSERT_FALSE(page.isNull()) << "pdftoppm gave no image";
    ASSERT_EQ(page.size(), QSize(816, 1056));  // Letter
    ExpectLabelGeometry(page, 96, 30);
    if (const QByteArray keep = qgetenv("PARVELL_KEEP_RENDER"); !keep.isEmpty()) {
        QFile::copy(pdf, QString::fromLocal8Bit(keep) + "/labels.pdf");
    }
}

TEST(RenderedPage, PdfOfAResultWithoutStreet2IsNotWritten) {
    QTemporaryDir dir;
    MemoryDataSet data;
    FillLabels(data, FullPage(), {"Name", "Street 1", "CityLine"});
    const QString pdf = dir.filePath("labels.pdf");
    EXPECT_THROW(RenderLabelsPdf(data, pdf), EDatabaseError);
    EXPECT_FALSE(QFile::exists(pdf));
}

}  // namespace
}  // namespace parvell::testing
