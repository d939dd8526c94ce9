// Text items: line breaking, the print text of labels and data-bound items, and the
// lines-that-fit rule.

#include <gtest/gtest.h>

#include <QDir>
#include <QFontMetrics>
#include <QPrinter>

#include "report/VRText.h"
#include "tests/report/ReportTestSupport.h"

namespace parvell::testing {
namespace {

// Ten pixels a character: widths are easy to follow in the table.
int TenPerChar(std::string_view text) { return static_cast<int>(text.size()) * 10; }

struct LinesCase {
    const char* name;
    const char* text;
    int width;
    std::vector<std::string> lines;
};

class FormatLinesTable : public ::testing::TestWithParam<LinesCase> {};

TEST_P(FormatLinesTable, BreaksAsTheRulesSay) {
    const LinesCase& c = GetParam();
    EXPECT_EQ(FormatLines(c.text, c.width, TenPerChar), c.lines);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, FormatLinesTable,
    ::testing::Values(
        LinesCase{"EmptyTextIsOneEmptyLine", "", 100, {""}},
        LinesCase{"FitsOnOneLine", "ab cd", 100, {"ab cd"}},
        LinesCase{"ExactWidthFits", "abcde", 50, {"abcde"}},
        LinesCase{"WordsKeepTheirTrailingSpace", "aaa bbb ccc", 80, {"aaa bbb ", "ccc"}},
        LinesCase{"HyphenStaysAtTheEndOfTheFirstLine", "well-known fact", 60, {"well-", "known ", "fact"}},
        LinesCase{"CarriageReturnStartsALine", "ab\rcd", 100, {"ab", "cd"}},
        LinesCase{"LineFeedsAreDropped", "ab\ncd\r\nef", 100, {"abcd", "ef"}},
        LinesCase{"LoneCarriageReturnIsTwoEmptyLines", "\r", 100, {"", ""}},
        // A word too wide for an empty line keeps what stays strictly below the width...
        LinesCase{"LongWordAloneIsCutBelowTheWidth", "abcdefghij", 50, {"abcd"}},
        // ... but after a full line it is cut to what is not more than the width.
        LinesCase{"LongWordAfterALineIsCutToTheWidth", "ab abcdefghij", 50, {"ab ", "abcde"}},
        LinesCase{"CutWordThenNextWordsGoOn", "abcdefghij xy", 50, {"abcd", "xy"}},
        LinesCase{"ZeroWidthDropsWhatDoesNotFit", "ab", 0, {""}}),
    [](const auto& info) { return std::string(info.param.name); });

// The labels' common case, an address line that fits, costs one measurement of the whole line;
// a line that does not fit is formed word by word after that first measurement.
TEST(FormatLinesMeasuring, ALineThatFitsIsMeasuredOnce) {
    int calls = 0;
    const TTextMeasure counting = [&](std::string_view text) {
        ++calls;
        return TenPerChar(text);
    };
    EXPECT_EQ(FormatLines("JOHN A SMITH", 209, counting), std::vector<std::string>{"JOHN A SMITH"});
    EXPECT_EQ(calls, 1);

    calls = 0;
    EXPECT_EQ(FormatLines("aaa bbb ccc", 80, counting), (std::vector<std::string>{"aaa bbb ", "ccc"}));
    EXPECT_EQ(calls, 1 + 3 + 1);  // the whole, three candidate lines, the word that goes on
}

TEST(FormatLinesFont, CutWordsAreAsLongAsTheWidthAllows) {
    const QFontMetrics metrics(DeviceFont(TVRFont{}, 96));
    const TTextMeasure measure = [&](std::string_view text) {
        return metrics.horizontalAdvance(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()))) + 1;
    };
    const std::string word(60, 'W');
    const std::vector<std::string> alone = FormatLines(word, 209, measure);
    ASSERT_EQ(alone.size(), 1u);
    EXPECT_LT(measure(alone[0]), 209);
    EXPECT_GE(measure(alone[0] + "W"), 209);

    const std::vector<std::string> after = FormatLines("A " + word, 209, measure);
    ASSERT_EQ(after.size(), 2u);
    EXPECT_LE(measure(after[1]), 209);
    EXPECT_GT(measure(after[1] + "W"), 209);
}

class TextItems : public ::testing::Test {
protected:
    void SetUp() override {
        output.BeginDoc();
        output.NewPage();
    }
    TVRPrinter output{TVRDestination::Preview, std::nullopt};
};

TEST_F(TextItems, TenPointAddressFitsOneLineOfTheLabelItem) {
    MemoryDataSet data;
    TLabelReport labels(&data);
    TVRLabel& item = labels.VRLabel1;
    item.Prepare(output, 100);
    EXPECT_EQ(item.PixelWidth(), 209);
    item.SetCaption("Springfield, IL 62701-1234");
    EXPECT_EQ(item.Lines(), std::vector<std::string>{"Springfield, IL 62701-1234"});
}

TEST_F(TextItems, OnlyTheLinesThatFitTheHeightArePrinted) {
    MemoryDataSet data;
    TLabelReport labels(&data);
    TVRLabel& item = labels.VRLabel1;
    item.Prepare(output, 100);
    item.SetCaption("Doctor Bartholomew Fitzgerald-Worthington the Third of Kensington");
    item.Print(0, 0);
    EXPECT_GE(item.Lines().size(), 2u);
    EXPECT_FALSE(item.Finished());  // the label is one line high at 10 point

    item.Size.SetHeight(200);  // room for four lines
    item.Print(0, 0);
    EXPECT_TRUE(item.Finished());
}

TEST_F(TextItems, DataBoundItemTakesTheDisplayTextOrNothing) {
    MemoryDataSet data;
    FillLabels(data, {{"Ann Lee", "1 Elm St", "", "Dover"}});
    data.MoveFirst();
    TVRDBText present("A"), absent("B"), unbound("C");
    present.DataSet = &data;
    present.DataField = "Name";
    absent.DataSet = &data;
    absent.DataField = "Fax";
    unbound.DataField = "Name";
    for (TVRDBText* item : {&present, &absent, &unbound}) {
        item->Prepare(output, 100);
        item->Print(0, 0);
    }
    EXPECT_EQ(present.PrintText(), "Ann Lee");
    EXPECT_EQ(absent.Field(), nullptr);
    EXPECT_EQ(absent.PrintText(), "");
    EXPECT_EQ(unbound.PrintText(), "");
    present.Unprepare();
    EXPECT_EQ(present.Field(), nullptr);
    EXPECT_EQ(present.PrintText(), "Name");
}

TEST_F(TextItems, PrinterPathMeasuresAtNinetySixPixelsPerInch) {
    // The same caption breaks the same way on the preview and on a 1200 pixel-per-inch printer.
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QDir::temp().filePath("parvell-measure-test.pdf"));
    TVRPrinter printed(TVRDestination::Printer, FactsOfPrinter(printer), &printer);
    printed.BeginDoc();
    MemoryDataSet data;
    TLabelReport labels(&data);
    const std::string caption = "Margaret Hollingsworth-Abernathy and Family Trust";
    labels.VRLabel1.Prepare(output, 100);
    labels.VRLabel1.SetCaption(caption);
    const auto previewLines = labels.VRLabel1.Lines();
    labels.VRLabel1.Prepare(printed, 100);
    labels.VRLabel1.SetCaption(caption);
    EXPECT_EQ(labels.VRLabel1.Lines(), previewLines);
    printed.Abort();
}

}  // namespace
}  // namespace parvell::testing
