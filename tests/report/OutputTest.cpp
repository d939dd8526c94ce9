// The output object: coordinates, printer offsets, paper, states and errors, the page store,
// and printing a page range to a PDF printer.

#include <gtest/gtest.h>

#include <QDir>
#include <QPageLayout>
#include <QPdfWriter>
#include <QPrinter>
#include <QProcess>
#include <QTemporaryDir>

#include "common/Exceptions.h"
#include "report/print/VRSystemPrinter.h"
#include "tests/report/ReportTestSupport.h"

namespace parvell::testing {
namespace {

TEST(Rounding, HalvesGoToTheEvenNeighbour) {
    struct Case {
        double value;
        int64_t rounded;
    };
    for (const Case c : {Case{63.5, 64},
                         {62.5, 62},
                         {0.5, 0},
                         {1.5, 2},
                         {-0.5, 0},
                         {-1.5, -2},
                         {634.4, 634},
                         {2032.6, 2033}}) {
        EXPECT_EQ(RoundNative(c.value), c.rounded) << c.value;
    }
}

TEST(Paper, TableRowsAndCodes) {
    struct Case {
        TVRPaperSize size;
        double width, length;
        int code;
    };
    for (const Case c : {Case{TVRPaperSize::Letter, 215.9, 279.4, 1},
                         {TVRPaperSize::Legal, 215.9, 355.6, 5},
                         {TVRPaperSize::A4, 210, 297, 9},
                         {TVRPaperSize::Ledger, 431.8, 279.4, 4},
                         {TVRPaperSize::LetterTrans, 279.4, 215.9, 54},
                         {TVRPaperSize::A3ExtraTrans, 445, 322, 68}}) {
        const auto dims = PaperDimensions(c.size);
        ASSERT_TRUE(dims) << PaperName(c.size);
        EXPECT_DOUBLE_EQ(dims->widthMm, c.width);
        EXPECT_DOUBLE_EQ(dims->lengthMm, c.length);
        EXPECT_EQ(PaperCode(c.size), c.code);
        EXPECT_EQ(PaperFromCode(c.code), c.size);
    }
    EXPECT_EQ(PaperCode(TVRPaperSize::Custom), 256);
    EXPECT_FALSE(PaperDimensions(TVRPaperSize::Default));
    EXPECT_EQ(PaperFromCode(999), TVRPaperSize::Default);
    EXPECT_EQ(BinCode(TVRBin::Upper), 1);
    EXPECT_EQ(BinCode(TVRBin::Cassette), 14);
}

TEST(PageDefinition, StandardPaperRewritesWidthAndLengthAndOrientationExchangesThem) {
    TVRPage page;
    page.SetUnit(TVRUnit::Native);
    page.SetPaperSize(TVRPaperSize::Letter);
    EXPECT_DOUBLE_EQ(page.Width(), 2159);
    EXPECT_DOUBLE_EQ(page.Length(), 2794);
    page.SetWidth(1000);  // not Custom: ignored
    EXPECT_DOUBLE_EQ(page.Width(), 2159);
    page.SetOrientation(TVROrientation::poLandscape);
    EXPECT_DOUBLE_EQ(page.Width(), 2794);
    EXPECT_DOUBLE_EQ(page.Length(), 2159);
    page.SetUnit(TVRUnit::Inches);
    EXPECT_DOUBLE_EQ(page.Width(), 11);
    page.SetUnit(TVRUnit::MM);
    EXPECT_DOUBLE_EQ(page.Length(), 215.9);
}

TEST(Output, StatesRaiseTheirTwoErrors) {
    TVRPrinter output(TVRDestination::Preview, std::nullopt);
    try {
        output.NewPage();
        ADD_FAILURE();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Illegal call to NewPage");
    }
    output.BeginDoc();
    try {
        output.BeginDoc();
        ADD_FAILURE();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "VRPrinter not ready");
    }
    output.NewPage();
    output.EndDoc();
    EXPECT_EQ(output.State(), TVRPrinterState::Finished);
    EXPECT_EQ(output.Pages().Count(), 1);
    EXPECT_THROW(output.NewPage(), Exception);
}

TEST(Output, PreviewConvertsAtScreenResolutionFromThePaperEdge) {
    TVRPrinter output(TVRDestination::Preview, std::nullopt);
    output.BeginDoc();
    ASSERT_EQ(ScreenPixelsPerInch(), 96);
    EXPECT_EQ(output.LeftWaste(), 0);
    EXPECT_EQ(output.XPos(762), 288);  // 762 x 96 / 254
    EXPECT_EQ(output.YPos(127), 48);
    EXPECT_EQ(output.XSize(2159), 816);
    EXPECT_EQ(output.YSize(2794), 1056);
}

TEST(Output, PrinterOffsetsBecomeWasteSoPositionsStayOnThePaper) {
    QTemporaryDir dir;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath("offset.pdf"));
    printer.setPageSize(QPageSize(QPageSize::Letter));
    printer.setFullPage(false);
    printer.setPageMargins(QMarginsF(0.25, 0.25, 0.25, 0.25), QPageLayout::Inch);
    TVRPrinter output(TVRDestination::Printer, FactsOfPrinter(printer), &printer);
    output.BeginDoc();
    EXPECT_DOUBLE_EQ(output.XFactor(), 1200 / 254.0);
    EXPECT_EQ(output.LeftWaste(), 64);  // 63.5 rounded to even
    EXPECT_EQ(output.TopWaste(), 64);
    EXPECT_EQ(output.XPos(762), qRound((762 - 64) * 1200 / 254.0));
    output.Abort();
}

TEST(Output, PdfWriterReportsWhatAPdfPrinterReports) {
    // The command line writes its PDF with a QPdfWriter; the run must see the device as it saw a
    // QPrinter writing a PDF file, on each paper, or the pages would move.
    QTemporaryDir dir;
    for (const QPageSize::PageSizeId id : {QPageSize::Letter, QPageSize::A4, QPageSize::Legal}) {
        SCOPED_TRACE(QPageSize(id).name().toStdString());
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(dir.filePath("printer.pdf"));
        printer.setFullPage(true);
        printer.setPageSize(QPageSize(id));
        QPdfWriter writer(dir.filePath("writer.pdf"));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        writer.setPageSize(QPageSize(id));
        const TVRDeviceFacts expected = FactsOfPrinter(printer);
        const TVRDeviceFacts facts = FactsOfPdfWriter(writer);
        EXPECT_EQ(facts.PrinterName, expected.PrinterName);
        EXPECT_EQ(facts.PixelsPerInchX, expected.PixelsPerInchX);
        EXPECT_EQ(facts.PixelsPerInchY, expected.PixelsPerInchY);
        EXPECT_EQ(facts.OffsetX, expected.OffsetX);
        EXPECT_EQ(facts.OffsetY, expected.OffsetY);
        EXPECT_EQ(facts.Paper, expected.Paper);
        EXPECT_DOUBLE_EQ(facts.PaperWidth, expected.PaperWidth);
        EXPECT_DOUBLE_EQ(facts.PaperLength, expected.PaperLength);
        EXPECT_EQ(facts.SupportedPapers, expected.SupportedPapers);
        EXPECT_EQ(facts.Copies, expected.Copies);
        EXPECT_EQ(facts.Bin, expected.Bin);
        EXPECT_EQ(facts.Duplex, expected.Duplex);
        EXPECT_EQ(facts.Collate, expected.Collate);
    }
}

TEST(Output, PaperFollowsTheReportOnlyWhenThePrinterListsIt) {
    TVRDeviceFacts legalOnly = LetterPrinter();
    legalOnly.Paper = TVRPaperSize::Legal;
    legalOnly.PaperLength = 3556;
    legalOnly.SupportedPapers = {TVRPaperSize::Legal};
    TVRPaperRequest letter{TVRPaperSize::Letter, TVROrientation::poPortrait, 2159, 2794};

    TVRPrinter listed(TVRDestination::Preview, LetterPrinter());
    listed.CopySettings({}, letter);
    EXPECT_DOUBLE_EQ(listed.PaperLength(), 2794);
    TVRPrinter unlisted(TVRDestination::Preview, legalOnly);
    unlisted.CopySettings({}, letter);
    EXPECT_EQ(unlisted.PaperSize(), TVRPaperSize::Legal);
    EXPECT_DOUBLE_EQ(unlisted.PaperLength(), 3556);
    TVRPrinter none(TVRDestination::Preview, std::nullopt);
    none.CopySettings({}, letter);
    EXPECT_EQ(none.PaperSize(), TVRPaperSize::A4);
    TVRPrinter landscape(TVRDestination::Preview, LetterPrinter());
    landscape.CopySettings({}, {TVRPaperSize::Letter, TVROrientation::poLandscape, 2794, 2159});
    EXPECT_DOUBLE_EQ(landscape.PaperLength(), 2159);
    TVRPrinter custom(TVRDestination::Preview, [] {
        TVRDeviceFacts f = LetterPrinter();
        f.SupportedPapers.push_back(TVRPaperSize::Custom);
        return f;
    }());
    custom.CopySettings({}, {TVRPaperSize::Custom, TVROrientation::poPortrait, 1000, 1500});
    EXPECT_DOUBLE_EQ(custom.PaperWidth(), 1000);
    EXPECT_DOUBLE_EQ(custom.PaperLength(), 1500);
}

TEST(PageStore, MovesToAFileAtItsLimitAndReadsBackEveryPage) {
    TVRPageStore store(1000);
    std::vector<QByteArray> pages;
    for (int i = 0; i < 50; ++i) {
        pages.push_back(QByteArray(97 + i, static_cast<char>('a' + i % 26)));
        store.Append(pages.back());
        EXPECT_LE(store.MemoryBytes(), 1000);
    }
    EXPECT_TRUE(store.InFile());
    ASSERT_EQ(store.Count(), 50);
    for (int i = 0; i < 50; ++i) EXPECT_EQ(store.Page(i + 1), pages[static_cast<size_t>(i)]) << i;
    EXPECT_THROW(store.Page(0), EListError);
    EXPECT_THROW(store.Page(51), EListError);
}

int PdfPageCount(const QString& path) {
    QProcess info;
    info.start(QStringLiteral("pdfinfo"), {path});
    info.waitForFinished();
    for (const QByteArray& line : info.readAllStandardOutput().split('\n')) {
        if (line.startsWith("Pages:")) return line.mid(6).trimmed().toInt();
    }
    return -1;
}

TEST(Output, PagesOutsideThePrintRangeAreNotPrinted) {
    QTemporaryDir dir;
    MemoryDataSet data;
    FillLabels(data, NumberedLabels(61));  // three pages
    TLabelReport labels(&data);
    Quiet(labels.VellRep1);
    labels.VellRep1.PrinterSettings.FirstPage = 2;
    labels.VellRep1.PrinterSettings.LastPage = 2;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setFullPage(true);
    printer.setOutputFileName(dir.filePath("range.pdf"));
    labels.VellRep1.PrintToDevice(printer, FactsOfPrinter(printer));
    EXPECT_EQ(labels.VellRep1.PageCount(), 3);
    EXPECT_EQ(PdfPageCount(dir.filePath("range.pdf")), 1);
}

}  // namespace
}  // namespace parvell::testing
