// The printer system a report asks for its printers, and the device adapter a print run draws
// on: a printer system of the test's own, installed after the report was made, over a PDF
// writer that records what the run asked of it.

#include <gtest/gtest.h>

#include <QPdfWriter>
#include <QTemporaryDir>

#include "tests/report/ReportTestSupport.h"

namespace parvell::testing {
namespace {

// What a run asked of its device.
struct DeviceRecord {
    std::vector<std::string> opened;  // printer names the system was asked to open
    TVellRepPrinterSettings applied;
    std::string title;
    int applyCount = 0;
    bool aborted = false;
};

// A printer device over a PDF file, with 0.25 inch offsets, recording the run's requests.
class RecordingDevice final : public TVRDevice {
public:
    RecordingDevice(const QString& path, DeviceRecord& record) : writer_(path), record_(record) {
        writer_.setPageMargins(QMarginsF(6.35, 6.35, 6.35, 6.35), QPageLayout::Millimeter);
    }
    QPagedPaintDevice& PaintDevice() override { return writer_; }
    TVRDeviceFacts Facts() override { return FactsOfPdfWriter(writer_); }
    void ApplySettings(const TVellRepPrinterSettings& settings, const std::string& title) override {
        record_.applied = settings;
        record_.title = title;
        ++record_.applyCount;
    }
    void Abort() override { record_.aborted = true; }

private:
    QPdfWriter writer_;
    DeviceRecord& record_;
};

class RecordingSystem final : public TVRPrinterSystem {
public:
    RecordingSystem(const QString& path, DeviceRecord& record) : path_(path), record_(record) {}
    std::optional<TVRDeviceFacts> Facts(const std::string& printerName) override {
        asked.push_back(printerName);
        return LetterPrinter();
    }
    std::unique_ptr<TVRDevice> Open(const TVRDeviceFacts& facts) override {
        record_.opened.push_back(facts.PrinterName);
        return std::make_unique<RecordingDevice>(path_, record_);
    }

    std::vector<std::string> asked;

private:
    QString path_;
    DeviceRecord& record_;
};

// Installs a printer system for one test and takes it away again.
class PrinterSystem : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        TVellRep::SetPrinterSystem(&system_);
    }
    void TearDown() override { TVellRep::SetPrinterSystem(nullptr); }

    QTemporaryDir dir_;
    DeviceRecord record_;
    RecordingSystem system_{dir_.filePath("printed.pdf"), record_};
};

TEST(PrinterSystemAbsent, AReportKnowsNoPrinterAndPrintDoesNothing) {
    ASSERT_EQ(TVellRep::PrinterSystem(), nullptr);
    MemoryDataSet data;
    FillLabels(data, NumberedLabels(3));
    TLabelReport labels(&data);
    labels.VellRep1.ProcessMessages = [] {};
    EXPECT_EQ(labels.VellRep1.PrinterProbe(""), std::nullopt);
    labels.VellRep1.Print();
    EXPECT_EQ(labels.VellRep1.PageCount(), 0);
}

TEST_F(PrinterSystem, PrintRunsOnTheDeviceTheSystemOpensWithTheReportsSettings) {
    MemoryDataSet data;
    FillLabels(data, NumberedLabels(61));  // three pages
    TLabelReport labels(&data);  // made before the system is asked: the probe asks at each run
    labels.VellRep1.ProcessMessages = [] {};
    labels.VellRep1.ReportTitle = "Mailing";
    labels.VellRep1.PrinterSettings.PrinterName = "Front desk";
    labels.VellRep1.PrinterSettings.Copies = 3;
    labels.VellRep1.PrinterSettings.FirstPage = 2;
    labels.VellRep1.PrinterSettings.LastPage = 3;
    std::optional<std::pair<int, int>> waste;  // of the run's output, at the first band
    labels.VRSubDetail1.AfterPrint = [&](TVRSubDetail&, bool) {
        if (!waste)
            waste.emplace(labels.VellRep1.Output()->LeftWaste(),
                          labels.VellRep1.Output()->TopWaste());
    };

    labels.VellRep1.Print();
    EXPECT_EQ(system_.asked, std::vector<std::string>{"Front desk"});
    EXPECT_EQ(record_.opened, std::vector<std::string>{"TestPrinter"});  // the probe's answer
    EXPECT_EQ(labels.VellRep1.PageCount(), 3);
    EXPECT_EQ(record_.applyCount, 1);
    EXPECT_EQ(record_.applied.Copies, 3);
    EXPECT_EQ(record_.applied.FirstPage, 2);
    EXPECT_EQ(record_.applied.LastPage, 3);
    EXPECT_EQ(record_.title, "Mailing");
    EXPECT_FALSE(record_.aborted);
    // The device's own offsets (0.25 inch) are taken from the device as it stands.
    EXPECT_EQ(waste, std::make_pair(64, 64));
    EXPECT_TRUE(labels.VellRep1.Available());
}

TEST_F(PrinterSystem, TheDeviceHasTheSettingsBeforeTheFirstRecordAndHearsOfACancel) {
    MemoryDataSet data;
    FillLabels(data, NumberedLabels(45));
    TLabelReport labels(&data);
    labels.VellRep1.PrinterSettings.Duplex = true;
    int records = 0;
    bool settingsFirst = false;
    labels.VellRep1.ProcessMessages = [&] {
        if (records == 0) settingsFirst = record_.applyCount == 1 && record_.applied.Duplex;
        // Cancelled before the 41st record, on the second page.
        if (++records == 42) labels.VellRep1.CancelRun();
    };
    labels.VellRep1.Print();
    EXPECT_TRUE(settingsFirst);
    EXPECT_TRUE(record_.aborted);
    EXPECT_EQ(labels.VellRep1.PageCount(), 2);
    EXPECT_TRUE(labels.VellRep1.Available());
}

}  // namespace
}  // namespace parvell::testing
