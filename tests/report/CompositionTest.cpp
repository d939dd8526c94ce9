// Page and column composition of the label report: where each record's band goes.

#include <gtest/gtest.h>

#include <QGuiApplication>

#include "common/Exceptions.h"
#include "tests/report/ReportTestSupport.h"

namespace parvell::testing {
namespace {

struct LabelRun {
    MemoryDataSet data;
    TLabelReport labels{&data};
    std::vector<BandPlace> places;

    explicit LabelRun(int records, std::optional<TVRDeviceFacts> printer = LetterPrinter()) {
        FillLabels(data, NumberedLabels(records));
        Quiet(labels.VellRep1);
        labels.VellRep1.PrinterProbe = [printer](const std::string&) { return printer; };
        RecordPlaces(labels, places);
    }
    void Preview() { labels.VellRep1.Preview(); }
    TVRPrinter& Output() { return *labels.VellRep1.PreviewOutput(); }
};

struct PlacementCase {
    const char* name;
    int records;
    int pages;
    std::vector<std::pair<int, BandPlace>> expected;  // record number (1-based) -> place
};

class Placement : public ::testing::TestWithParam<PlacementCase> {};

TEST_P(Placement, BandsFillColumnsTopToBottomThenLeftToRightThenPages) {
    const PlacementCase& c = GetParam();
    LabelRun run(c.records);
    run.Preview();
    ASSERT_EQ(run.places.size(), static_cast<size_t>(std::max(c.records, 1)));
    EXPECT_EQ(run.Output().Pages().Count(), c.pages);
    EXPECT_EQ(run.labels.VellRep1.PageCount(), c.pages);
    for (const auto& [record, place] : c.expected) {
        EXPECT_EQ(run.places[static_cast<size_t>(record - 1)], place) << "record " << record;
    }
    EXPECT_TRUE(run.labels.VellRep1.Available());
}

INSTANTIATE_TEST_SUITE_P(
    LabelPage, Placement,
    ::testing::Values(
        PlacementCase{
            "Ten", 10, 1, {{1, {64, 127, 1, 1}}, {2, {64, 381, 1, 1}}, {10, {64, 2413, 1, 1}}}},
        PlacementCase{"Eleven", 11, 1, {{10, {64, 2413, 1, 1}}, {11, {762, 127, 1, 2}}}},
        PlacementCase{"Thirty", 30, 1, {{21, {1460, 127, 1, 3}}, {30, {1460, 2413, 1, 3}}}},
        PlacementCase{"ThirtyOne", 31, 2, {{30, {1460, 2413, 1, 3}}, {31, {64, 127, 2, 1}}}},
        PlacementCase{"Empty", 0, 1, {{1, {64, 127, 1, 1}}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Composition, EveryLabelTopIsTheColumnTopPlusWholeLabels) {
    LabelRun run(30);
    run.Preview();
    for (size_t i = 0; i < run.places.size(); ++i) {
        const int64_t k = static_cast<int64_t>(i % 10);
        EXPECT_EQ(run.places[i].y, 127 + k * 254) << i;
        EXPECT_EQ(run.places[i].x, std::vector<int64_t>({64, 762, 1460})[i / 10]) << i;
    }
}

TEST(Composition, EmptyResultGivesOneBlankLabel) {
    LabelRun run(0);
    std::vector<std::string> lines;
    run.labels.VRSubDetail1.AfterPrint = [&](TVRSubDetail&, bool) {
        for (const auto& item : run.labels.VRSubDetail1.Items()) lines.push_back(item->PrintText());
    };
    run.Preview();
    EXPECT_EQ(lines, std::vector<std::string>(4, ""));
    EXPECT_EQ(run.Output().Pages().Count(), 1);
}

TEST(Composition, NoBandAndNoPageWhenEitherPrintIfEmptyIsOff) {
    for (const bool onReport : {false, true}) {
        LabelRun run(0);
        run.labels.VellRep1.SetPrintIfEmpty(onReport);
        run.labels.VRSubDetail1.SetPrintIfEmpty(!onReport);
        run.Preview();
        EXPECT_TRUE(run.places.empty());
        EXPECT_EQ(run.Output().Pages().Count(), 0);
    }
}

TEST(Composition, SuppressedBandLeavesNoGap) {
    LabelRun run(4);
    run.labels.VRSubDetail1.BeforePrint = [&](TVRSubDetail& band, bool& printBand) {
        run.labels.VRSubDetail1BeforePrint(band, printBand);
        if (run.data.FieldNamed("Name").ValueAsText() == "Name 2") printBand = false;
    };
    run.Preview();
    ASSERT_EQ(run.places.size(), 3u);
    EXPECT_EQ(run.places[1].y, 381);  // record 3 takes record 2's place
    EXPECT_EQ(run.places[2].y, 635);
}

TEST(Composition, ThirdAndFourthLinesFollowStreet2) {
    LabelRun run(0);
    run.data.Close();
    run.data.rows.clear();
    run.data.columns.clear();
    FillLabels(run.data, {{"Ann Lee", "1 Elm St", "Apt 4", "Dover, DE 19901"},
                          {"Bo Chan", "2 Oak Ave", "", "Salem, OR 97301"}});
    std::vector<std::pair<std::string, std::string>> lines;
    run.labels.VRSubDetail1.AfterPrint = [&](TVRSubDetail&, bool) {
        lines.emplace_back(run.labels.VRLabel1.Caption(), run.labels.VRLabel2.Caption());
    };
    run.Preview();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], std::make_pair(std::string("Apt 4"), std::string("Dover, DE 19901")));
    EXPECT_EQ(lines[1], std::make_pair(std::string("Salem, OR 97301"), std::string()));
}

TEST(Composition, MissingStreet2OrCityLineRaisesBeforeAnyPageAndTheReportStaysUsable) {
    struct Case {
        std::vector<std::string> columns;
        const char* message;
    };
    for (const Case& c :
         {Case{{"Name", "Street 1", "CityLine"}, "MemData: Field 'Street 2' not found"},
          Case{{"Name", "Street 1", "Street 2"}, "MemData: Field 'CityLine' not found"}}) {
        MemoryDataSet data;
        FillLabels(data, NumberedLabels(3), c.columns);
        TLabelReport labels(&data);
        Quiet(labels.VellRep1);
        try {
            labels.VellRep1.Preview();
            ADD_FAILURE() << "no error for " << c.message;
        } catch (const EDatabaseError& e) {
            EXPECT_EQ(e.Message(), c.message);
        }
        EXPECT_EQ(labels.VellRep1.PreviewOutput()->Pages().Count(), 0);
        EXPECT_EQ(labels.VellRep1.PreviewOutput()->State(), TVRPrinterState::Finished);
        // A failed run does not leave the report busy for good.
        EXPECT_TRUE(labels.VellRep1.Available());
    }
}

TEST(Composition, MissingNameOrStreet1PrintsBlankLines) {
    MemoryDataSet data;
    FillLabels(data, NumberedLabels(2), {"Street 2", "CityLine"});
    TLabelReport labels(&data);
    Quiet(labels.VellRep1);
    std::vector<std::string> names;
    labels.VRSubDetail1.AfterPrint = [&](TVRSubDetail&, bool) {
        names.push_back(labels.VRDBText1.PrintText() + "|" + labels.VRDBText2.PrintText());
    };
    labels.VellRep1.Preview();
    EXPECT_EQ(names, (std::vector<std::string>{"|", "|"}));
}

TEST(Composition, MarginsWiderThanThePageAreResetOnBothSides) {
    LabelRun run(2);
    run.labels.VellRep1.Page.SetNative(4, 1500);
    run.labels.VellRep1.Page.SetNative(5, 1500);
    run.labels.VellRep1.Page.SetNative(0, 2000);
    run.labels.VellRep1.Page.SetNative(2, 2000);
    run.Preview();
    const TVRPage& page = run.labels.VellRep1.Page;
    EXPECT_EQ(page.Native(4), 0);
    EXPECT_EQ(page.Native(5), 0);
    EXPECT_EQ(page.Native(0), 0);
    EXPECT_EQ(page.Native(2), 0);
    EXPECT_EQ(run.places[0], (BandPlace{0, 0, 1, 1}));
}

TEST(Composition, UnitsAreNativeDuringTheRunAndRestoredAfter) {
    LabelRun run(1);
    TVRUnit during = TVRUnit::MM;
    run.labels.VRSubDetail1.AfterPrint = [&](TVRSubDetail&, bool) {
        during = run.labels.VellRep1.Page.Unit();
    };
    run.Preview();
    EXPECT_EQ(during, TVRUnit::Native);
    EXPECT_EQ(run.labels.VellRep1.Page.Unit(), TVRUnit::Inches);
    EXPECT_DOUBLE_EQ(run.labels.VellRep1.Page.LeftMargin(), 0.25);
}

TEST(Composition, WithoutAPrinterTheOutputStaysA4AndColumnsStillHoldTen) {
    LabelRun run(11, std::nullopt);
    run.Preview();
    EXPECT_EQ(run.Output().PaperSize(), TVRPaperSize::A4);
    EXPECT_DOUBLE_EQ(run.Output().PaperLength(), 2970);
    EXPECT_EQ(run.places[9], (BandPlace{64, 2413, 1, 1}));
    EXPECT_EQ(run.places[10], (BandPlace{762, 127, 1, 2}));
    // Print needs a printer: nothing happens, the report stays ready.
    run.places.clear();
    run.labels.VellRep1.Print();
    EXPECT_TRUE(run.places.empty());
    EXPECT_TRUE(run.labels.VellRep1.Available());
}

TEST(Composition, PrinterWithoutLetterKeepsItsOwnPaper) {
    TVRDeviceFacts a4Only = LetterPrinter();
    a4Only.Paper = TVRPaperSize::A4;
    a4Only.PaperWidth = 2100;
    a4Only.PaperLength = 2970;
    a4Only.SupportedPapers = {TVRPaperSize::A4};
    LabelRun run(1, a4Only);
    run.Preview();
    EXPECT_EQ(run.Output().PaperSize(), TVRPaperSize::A4);
    const QImage page = RenderPage(run.Output(), 1);
    EXPECT_EQ(page.size(), QSize(run.Output().XSize(2100), run.Output().YSize(2970)));
}

TEST(Composition, CancellingStopsBeforeTheNextRecordAndAbortsTheOutput) {
    LabelRun run(40);
    int seen = 0;
    run.labels.VellRep1.ProcessMessages = [&] {
        if (seen == 5)
            run.labels.VellRep1.PreviewClosed(
                *run.labels.VellRep1.Output());  // the window closes mid-run
    };
    run.labels.VRSubDetail1.AfterPrint = [&](TVRSubDetail&, bool) { ++seen; };
    run.Preview();
    EXPECT_EQ(seen, 5);
    EXPECT_EQ(run.labels.VellRep1.PreviewOutput(), nullptr);  // discarded
    EXPECT_TRUE(run.labels.VellRep1.Available());
}

// A window host whose "window" records the notices and closes itself once the run has ended,
// as a user would, so that Preview's wait ends.
class RecordingHost : public TVRWindowHost, public TVRPreviewListener {
public:
    std::vector<int> progress;
    int pages = 0;
    bool finished = false;
    TVellRep* report = nullptr;
    std::shared_ptr<TVRPrinter> output;

    void OpenPreview(TVellRep& rep, std::shared_ptr<TVRPrinter> shown) override {
        report = &rep;
        output = std::move(shown);
        output->SetListener(this);
    }
    std::unique_ptr<TVRPreviewListener> OpenPrintProgress(TVellRep&, TVRPrinter&) override {
        return nullptr;
    }
    void PagesAvailable(int count, bool done) override {
        pages = count;
        finished = done;
        if (done)
            QMetaObject::invokeMethod(
                qApp, [this] { report->PreviewClosed(*output); }, Qt::QueuedConnection);
    }
    void ProgressChanged(int percent) override { progress.push_back(percent); }
};

TEST(Composition, PreviewReportsProgressAndPagesAndWaitsForTheWindow) {
    LabelRun run(4);
    RecordingHost host;
    TVellRep::SetWindowHost(&host);
    run.Preview();
    TVellRep::SetWindowHost(nullptr);
    // The band's pass over the records; the report's own single pass adds a last notice after it.
    ASSERT_GE(host.progress.size(), 4u);
    EXPECT_EQ(std::vector<int>(host.progress.begin(), host.progress.begin() + 4),
              (std::vector<int>{25, 50, 75, 100}));
    EXPECT_EQ(host.pages, 1);
    EXPECT_TRUE(host.finished);
    EXPECT_EQ(run.labels.VellRep1.PreviewOutput(), nullptr);  // released by the closing window
}

TEST(Composition, ColumnStepRoundsEachTermBeforeDividing) {
    LabelRun run(0);
    TVellRep& rep = run.labels.VellRep1;
    rep.Page.SetColumns(0);  // ignored
    EXPECT_EQ(rep.Page.Columns(), 3);
    run.Preview();
    // (2032 - 2 x 64) div 3 = 634, plus the rounded column space 64.
    LabelRun eleven(21);
    eleven.Preview();
    EXPECT_EQ(eleven.places[10].x - eleven.places[0].x, 698);
    EXPECT_EQ(eleven.places[20].x - eleven.places[10].x, 698);
}

}  // namespace
}  // namespace parvell::testing
