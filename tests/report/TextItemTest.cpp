// Text items: line breaking, the print text of labels and data-bound items, and the
// lines-that-fit rule.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <QPrinter>

#include "report/VRText.h"
#include "report/print/VRSystemPrinter.h"
#include "tests/report/ReportTestSupport.h"

namespace parvell::testing {
namespace {

// Ten pixels a character: widths are easy to follow in the table.
int TenPerChar(std::string_view text) {
    return static_cast<int>(text.size()) * 10;
}

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
        LinesCase{"HyphenStaysAtTheEndOfTheFirstLine",
                  "well-known fact",
                  60,
                  {"well-", "known ", "fact"}},
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
    EXPECT_EQ(FormatLines("aaa bbb ccc", 80, counting),
              (std::vector<std::string>{"aaa bbb ", "ccc"}));
    EXPECT_EQ(calls, 1 + 3 + 1);  // the whole, three candidate lines, the word that goes on
}

TEST(FormatLinesFont, CutWordsAreAsLongAsTheWidthAllows) {
    const QFontMetrics metrics(DeviceFont(TVRFont{}, 96));
    const TTextMeasure measure = [&](std::string_view text) {
        return metrics.horizontalAdvance(
                   QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()))) +
               1;
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

// A few hundred realistic labels: single and two-person names, long and hyphenated family
// names, street lines with directions and units, city lines with ZIP+4. Deterministic.
std::vector<LabelRow> RealisticLabels(int count) {
    const std::vector<std::string> first = {
        "Margaret",      "Benjamin",   "Christopher", "Elizabeth", "Alexander", "Jacqueline",
        "Maximilian",    "Anna",       "Bo",          "Guadalupe", "Theodore",  "Wilhelmina",
        "Jean-Baptiste", "Mary Ellen", "Ruth",        "Dominique"};
    const std::vector<std::string> last = {"Richardson", "Montgomery-Whitfield",
                                           "Lee",        "Vanderbilt",
                                           "O'Sullivan", "Hollingsworth",
                                           "Nguyen",     "Abernathy-Castellanos",
                                           "Fitzgerald", "Kowalczyk",
                                           "Washington", "Delacroix",
                                           "Smith",      "Worthington"};
    const std::vector<std::string> streets = {
        "North Riverside Boulevard",     "Elm St",  "Old Mill Road",
        "Martin Luther King Jr Parkway", "Oak Ave", "Country Club Drive",
        "West Fifty-Seventh Street",     "Main St"};
    const std::vector<std::string> units = {"",           "",          "Apt 4B",
                                            "Suite 1200", "PO Box 73", "Building C, Unit 118"};
    const std::vector<std::string> cities = {
        "SAN FRANCISCO, CA 94110-1234",    "DOVER, DE 19901",
        "WINSTON-SALEM, NC 27101-4455",    "LOS ANGELES, CA 90012",
        "SAINT PETERSBURG, FL 33701-0001", "BOISE, ID 83702"};
    std::vector<LabelRow> rows;
    uint32_t seed = 12345;
    auto pick = [&seed](const std::vector<std::string>& from) -> const std::string& {
        seed = seed * 1103515245u + 12345u;
        return from[(seed >> 16) % from.size()];
    };
    for (int i = 0; i < count; ++i) {
        const std::string& family = pick(last);
        std::string name = pick(first);
        if (i % 3 != 0) name += " and " + pick(first);
        name += " " + family;
        const std::string street = std::to_string(1 + (i * 7919) % 23456) + " " + pick(streets);
        rows.push_back({name, street, pick(units), pick(cities)});
    }
    return rows;
}

// Records the lines every item formed, label by label, during the runs that follow.
void RecordLines(TLabelReport& labels, std::vector<std::vector<std::string>>& lines) {
    labels.VRSubDetail1.AfterPrint = [&labels, &lines](TVRSubDetail&, bool) {
        for (const TVRCustomLabel* item : std::initializer_list<const TVRCustomLabel*>{
                 &labels.VRDBText1, &labels.VRDBText2, &labels.VRLabel1, &labels.VRLabel2}) {
            lines.push_back(item->Lines());
        }
    };
}

// The printer path forms the lines the preview forms, whatever the printer's resolution: the
// printed (and PDF) labels hold the words the preview shows.
TEST(PrinterLines, EqualThePreviewLinesForRealisticLabels) {
    MemoryDataSet data;
    FillLabels(data, RealisticLabels(400));
    TLabelReport labels(&data);
    Quiet(labels.VellRep1);
    labels.VellRep1.PrinterProbe = [](const std::string&) {
        return std::optional(LetterPrinter());
    };
    std::vector<std::vector<std::string>> preview;
    RecordLines(labels, preview);
    labels.VellRep1.Preview();
    ASSERT_EQ(preview.size(), 1600u);
    size_t wrapped = 0;
    for (const auto& item : preview) wrapped += item.size() > 1 ? 1 : 0;
    // Enough texts are near the item's width for the comparison to mean something.
    EXPECT_GT(wrapped, 100u);

    for (const int dpi : {300, 600, 1200}) {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setResolution(dpi);
        printer.setOutputFileName(QDir::temp().filePath("parvell-lines-test.pdf"));
        printer.setFullPage(true);
        std::vector<std::vector<std::string>> printed;
        RecordLines(labels, printed);
        labels.VellRep1.PrintToDevice(printer, FactsOfPrinter(printer));
        ASSERT_EQ(printed.size(), preview.size()) << dpi;
        size_t differing = 0;
        for (size_t i = 0; i < preview.size(); ++i) {
            if (printed[i] != preview[i]) {
                if (++differing <= 3) {
                    ADD_FAILURE() << dpi << " dpi, label " << i / 4 << " item " << i % 4
                                  << ": preview \"" << preview[i][0] << "\", printer \""
                                  << printed[i][0] << "\"";
                }
            }
        }
        EXPECT_EQ(differing, 0u) << dpi << " dpi";
    }
    QFile::remove(QDir::temp().filePath("parvell-lines-test.pdf"));
}

}  // namespace
}  // namespace parvell::testing
