// The label preview window, offscreen: caption and tool bar, paging and the page panel, keys,
// the go-to-page answers, zoom, Print waiting for the end of the run, closing during a run,
// saving and loading page files, and the printing progress window.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <deque>
#include <functional>

#include "app/preview/VRPreviewDialogs.h"
#include "app/preview/VRPreviewHost.h"
#include "app/preview/VRProgressForm.h"
#include "app/preview/VRStandardPreview.h"
#include "common/Exceptions.h"
#include "report/LabelReport.h"
#include "tests/data/MemoryDataSet.h"
#include "tests/support/LetterOnlyPrinter.h"
#include "tests/support/WidgetsEnvironment.h"

namespace parvell::testing {
namespace {

const auto* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new parvell::test::WidgetsEnvironment("app_preview_tests"));

// Answers the preview's dialogs from queues and records what was shown.
class ScriptedDialogs : public TVRPreviewDialogs {
public:
    std::deque<std::optional<QString>> inputs;
    QString fileName;
    std::vector<QString> messages, errors, titles;

    std::optional<QString> InputText(QWidget*, const QString& title, const QString& prompt,
                                     const QString& initial) override {
        titles.push_back(title + " | " + prompt + " | " + initial);
        auto answer = inputs.front();
        inputs.pop_front();
        return answer;
    }
    QString SaveFileName(QWidget*, const QString& title, const QString& filter,
                         const QString&) override {
        titles.push_back(title + " | " + filter);
        return fileName;
    }
    QString OpenFileName(QWidget*, const QString& title, const QString& filter) override {
        titles.push_back(title + " | " + filter);
        return fileName;
    }
    void Message(QWidget*, const QString& text) override { messages.push_back(text); }
    void Error(QWidget*, const QString& text) override { errors.push_back(text); }
    bool PrintSetup(QWidget*, QPrinter&, int, int) override {
        titles.push_back("PrintSetup");
        return false;
    }
};

void FillLabels(MemoryDataSet& data, int count) {
    for (const char* column : {"Name", "Street 1", "Street 2", "CityLine"})
        data.columns.push_back({column, ftString, 40});
    for (int i = 1; i <= count; ++i) {
        data.rows.push_back({Str("Name " + std::to_string(i)), Str(std::to_string(i) + " Main St"),
                             Str(""), Str("Springfield, IL 62701")});
    }
    data.Open();
}

TVRStandardPreview* OpenWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* window = dynamic_cast<TVRStandardPreview*>(widget); window && window->isVisible())
            return window;
    }
    return nullptr;
}

// Runs Preview with the real windows; whileOpen runs inside Preview's wait once the run has
// finished (or, with duringRun, at the first chance during generation), then the window closes.
struct PreviewRun {
    MemoryDataSet data;
    TLabelReport labels{&data};
    ScriptedDialogs dialogs;
    int bands = 0;

    explicit PreviewRun(int records) {
        FillLabels(data, records);
        labels.VellRep1.PrinterProbe = test::LetterOnlyPrinter;
        labels.VRSubDetail1.AfterPrint = [this](TVRSubDetail&, bool) { ++bands; };
        InstallPreviewWindows();
        SetPreviewDialogs(&dialogs);
    }
    ~PreviewRun() {
        SetPreviewDialogs(nullptr);
        TVellRep::SetWindowHost(nullptr);
    }

    // duringRun, when given, runs at the first chance while the pages are being generated (it
    // may close the window); whileOpen runs once the run has finished; then the window closes.
    void Run(const std::function<void(TVRStandardPreview&)>& whileOpen,
             const std::function<void(TVRStandardPreview&)>& duringRun = {}) {
        bool duringDone = !duringRun;
        bool seen = false;
        std::function<void()> check;
        check = [&] {
            TVRStandardPreview* window = OpenWindow();
            if (!window) {
                if (!seen) QTimer::singleShot(0, check);  // not opened yet
                return;
            }
            seen = true;
            const bool finished = window->ActionNamed("Print")->isEnabled();
            if (!duringDone && !finished) {
                duringDone = true;
                duringRun(*window);
                if (OpenWindow()) QTimer::singleShot(0, check);
                return;
            }
            if (!finished) {
                QTimer::singleShot(1, check);
                return;
            }
            if (whileOpen) whileOpen(*window);
            if (OpenWindow()) OpenWindow()->close();
        };
        QTimer::singleShot(0, check);
        labels.VellRep1.Preview();
        QApplication::processEvents();  // the closed window is deleted
    }
};

TEST(PreviewWindow, CaptionToolBarAndPanelsAfterA31LabelRun) {
    PreviewRun run(31);
    run.Run([](TVRStandardPreview& window) {
        EXPECT_EQ(window.windowTitle(), "Report Preview : ");
        EXPECT_TRUE(window.isMaximized());
        const std::vector<std::pair<const char*, const char*>> hints = {
            {"ZoomToFit", "Zoom to fit"},
            {"ZoomToWidth", "Zoom to width"},
            {"Zoom100", "100% Size"},
            {"FirstPage", "First page"},
            {"PreviousPage", "Previous page"},
            {"NextPage", "Next page"},
            {"LastPage", "Last page"},
            {"GoToPage", "Select a Page"},
            {"Find", "Search for Text"},
            {"PrinterSetup", "Printer setup"},
            {"Print", "Print"},
            {"SaveReport", "Save report"},
            {"LoadReport", "Load report"},
            {"Close", "Close Preview"}};
        for (const auto& [name, hint] : hints) {
            ASSERT_NE(window.ActionNamed(name), nullptr) << name;
            EXPECT_EQ(window.ActionNamed(name)->toolTip(), hint);
        }
        EXPECT_FALSE(window.ActionNamed("Find")->isVisible());
        EXPECT_EQ(window.ActionNamed("Close")->text(), "&Close");
        EXPECT_TRUE(window.ActionNamed("ZoomToFit")->isChecked());
        EXPECT_EQ(window.PagePanelText(), "Page 1 of 2");
        EXPECT_EQ(window.ProgressPanelText(), "");
    });
}

TEST(PreviewWindow, PagingButtonsAndKeys) {
    PreviewRun run(95);  // four pages
    run.Run([](TVRStandardPreview& window) {
        struct Step {
            std::function<void()> act;
            int page;
        };
        auto key = [&window](Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) {
            return [&window, k, m] { QTest::keyClick(&window, k, m); };
        };
        const std::vector<Step> steps = {
            {[&] { window.PreviousPage(); }, 1},  // nothing before the first
            {[&] { window.NextPage(); }, 2},
            {[&] { window.LastPage(); }, 4},
            {[&] { window.NextPage(); }, 4},  // nothing after the last
            {[&] { window.FirstPage(); }, 1},
            {key(Qt::Key_PageDown), 2},
            {key(Qt::Key_PageUp), 1},
            {key(Qt::Key_PageDown, Qt::ControlModifier), 4},
            {key(Qt::Key_PageUp, Qt::ControlModifier), 1},
            {key(Qt::Key_End), 4},
            {key(Qt::Key_Home), 1},
        };
        for (size_t i = 0; i < steps.size(); ++i) {
            steps[i].act();
            EXPECT_EQ(window.PageNumber(), steps[i].page) << "step " << i;
        }
        window.LastPage();
        EXPECT_EQ(window.PagePanelText(), "Page 4 of 4");
    });
}

TEST(PreviewWindow, UpAndDownScrollAndCrossPages) {
    PreviewRun run(31);
    run.Run([](TVRStandardPreview& window) {
        window.ZoomTo100();
        window.resize(600, 400);
        QApplication::processEvents();
        QScrollBar* bar = window.PageView()->verticalScrollBar();
        ASSERT_GT(bar->maximum(), 0);
        QTest::keyClick(&window, Qt::Key_Down);
        EXPECT_EQ(bar->value(), bar->singleStep());
        bar->setValue(bar->maximum());
        QTest::keyClick(&window, Qt::Key_Down);  // at the bottom: next page, at its top
        EXPECT_EQ(window.PageNumber(), 2);
        EXPECT_EQ(bar->value(), 0);
        QTest::keyClick(&window, Qt::Key_Up);  // at the top: previous page, at its bottom
        EXPECT_EQ(window.PageNumber(), 1);
        EXPECT_EQ(bar->value(), bar->maximum());
    });
}

TEST(PreviewWindow, GoToPageAnswers) {
    PreviewRun run(95);
    run.Run([&run](TVRStandardPreview& window) {
        struct Case {
            std::optional<QString> answer;
            int page;
        };
        for (const Case& c : {Case{"3", 3}, Case{"0", 1}, Case{"4", 4}, Case{"5", 1}, Case{"2", 2},
                              Case{"two", 1}, Case{"2", 2}, Case{std::nullopt, 2}}) {
            run.dialogs.inputs.push_back(c.answer);
            window.SelectPage();
            EXPECT_EQ(window.PageNumber(), c.page)
                << (c.answer ? c.answer->toStdString() : "cancel");
        }
        EXPECT_EQ(run.dialogs.titles.front(), "Select a page from 1 to 4 | Enter page number | 1");
    });
}

TEST(PreviewWindow, ZoomArithmetic) {
    const QSize letter(816, 1056);
    EXPECT_EQ(TVRStandardPreview::FitZoom(QSize(800, 600), letter), 54);   // height governs
    EXPECT_EQ(TVRStandardPreview::FitZoom(QSize(400, 2000), letter), 47);  // width governs
    EXPECT_EQ(TVRStandardPreview::WidthZoom(QSize(800, 600), letter), 88);
    PreviewRun run(1);
    run.Run([&letter](TVRStandardPreview& window) {
        window.showNormal();
        window.resize(700, 500);
        QApplication::processEvents();
        const QSize view = window.PageView()->viewport()->size();
        window.ZoomToFit();
        EXPECT_EQ(window.Zoom(), TVRStandardPreview::FitZoom(view, letter));
        const int fit = window.Zoom();
        EXPECT_EQ(window.PageView()->PageImage()->size(),
                  QSize(qRound(816 * fit / 100.0) + 8, qRound(1056 * fit / 100.0) + 8));
        window.ZoomToWidth();
        EXPECT_EQ(window.Zoom(),
                  TVRStandardPreview::WidthZoom(window.PageView()->viewport()->size(), letter));
        window.ZoomTo100();
        EXPECT_EQ(window.Zoom(), 100);
        window.SetZoom(1);
        window.SetZoom(2001);
        EXPECT_EQ(window.Zoom(), 100);
        window.resize(900, 700);  // a fixed zoom stays
        QApplication::processEvents();
        EXPECT_EQ(window.Zoom(), 100);
        if (const QByteArray keep = qgetenv("PARVELL_KEEP_RENDER"); !keep.isEmpty()) {
            window.ZoomToFit();
            window.grab().save(QString::fromLocal8Bit(keep) + "/preview-window.png");
        }
    });
}

TEST(PreviewWindow, PrintWaitsForTheEndOfTheRun) {
    PreviewRun run(400);
    bool printDuringRun = true, setupDuringRun = true, printAfter = false;
    run.Run(
        [&](TVRStandardPreview& window) {
            printAfter = window.ActionNamed("Print")->isEnabled();
            EXPECT_EQ(window.PagePanelText(), "Page 1 of 14");
        },
        [&](TVRStandardPreview& window) {
            printDuringRun = window.ActionNamed("Print")->isEnabled();
            setupDuringRun = window.ActionNamed("PrinterSetup")->isEnabled();
            window.PrintReport();  // does nothing while generating
        });
    EXPECT_FALSE(printDuringRun);
    EXPECT_FALSE(setupDuringRun);
    EXPECT_TRUE(printAfter);
    EXPECT_EQ(run.bands, 400);
}

TEST(PreviewWindow, ClosingDuringTheRunCancelsItAndPreviewReturns) {
    PreviewRun run(3000);
    run.Run({}, [](TVRStandardPreview& window) { window.close(); });
    EXPECT_LT(run.bands, 3000);
    EXPECT_EQ(run.labels.VellRep1.PreviewOutput(), nullptr);
    EXPECT_TRUE(run.labels.VellRep1.Available());
}

TEST(PreviewWindow, ProgressPanelShowsStepsOfFiveAndClearsAtTheEnds) {
    TVellRep report("VellRep1");
    TVRStandardPreview window(report,
                              std::make_shared<TVRPrinter>(TVRDestination::Preview, std::nullopt));
    struct Step {
        int percent;
        const char* shown;
    };
    for (const Step s : {Step{3, ""}, Step{5, "5%"}, Step{8, "5%"}, Step{10, "10%"},
                         Step{40, "40%"}, Step{100, ""}}) {
        window.ProgressChanged(s.percent);
        EXPECT_EQ(window.ProgressPanelText(), s.shown) << s.percent;
    }
}

TEST(PreviewWindow, SavedPagesLoadBackAndPrintThenUsesThem) {
    QTemporaryDir dir;
    const QString path = dir.filePath("labels.VRP");
    PreviewRun run(31);
    run.Run([&](TVRStandardPreview& window) {
        run.dialogs.fileName = path;
        window.SaveReport();
        ASSERT_TRUE(QFile::exists(path));
        window.LoadReport();
        EXPECT_TRUE(window.LoadedFromFile());
        EXPECT_EQ(window.TitlePanelText(), "labels.VRP");
        EXPECT_EQ(window.PagePanelText(), "Page 1 of 2");
        EXPECT_EQ(window.Output()->PaperSize(), TVRPaperSize::Letter);
        EXPECT_TRUE(window.ActionNamed("Print")->isEnabled());
        const int before = run.bands;
        window.PrintReport();  // prints stored pages: the dataset is not read again
        EXPECT_EQ(run.bands, before);

        run.dialogs.fileName = dir.filePath("missing.VRP");
        window.LoadReport();
        EXPECT_EQ(run.dialogs.messages, std::vector<QString>{"File does not exist"});

        QFile damaged(dir.filePath("damaged.VRP"));
        ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
        damaged.write(QByteArray(200, '\x07'));
        damaged.close();
        run.dialogs.fileName = damaged.fileName();
        window.LoadReport();
        ASSERT_EQ(run.dialogs.errors.size(), 1u);
        EXPECT_TRUE(run.dialogs.errors[0].contains("format number is 1799"));
        EXPECT_EQ(window.PagePanelText(), "Page 1 of 2");  // the loaded pages stay
    });
    EXPECT_EQ(run.dialogs.titles[0], "Save report | Vellary file (*.VRP)");
    EXPECT_EQ(run.dialogs.titles[1], "Load report | Vellary file (*.VRP)");
}

// Several windows over one report, in the orders a user can bring about: a run that fails
// leaves its (empty) window, the next Labels opens another; windows are closed, paged, printed,
// saved and loaded while the other's run generates or waits.
struct Orders {
    MemoryDataSet data;
    std::unique_ptr<TLabelReport> labels = std::make_unique<TLabelReport>(&data);
    ScriptedDialogs dialogs;
    int bands = 0;

    Orders() {
        labels->VellRep1.PrinterProbe = test::LetterOnlyPrinter;
        labels->VRSubDetail1.AfterPrint = [this](TVRSubDetail&, bool) { ++bands; };
        InstallPreviewWindows();
        SetPreviewDialogs(&dialogs);
    }
    ~Orders() {
        DeletePreviewWindows();
        SetPreviewDialogs(nullptr);
        TVellRep::SetWindowHost(nullptr);
    }

    // The query again, with other columns and rows, as the next Labels run would have it.
    void Reopen(int records, const std::vector<std::string>& columns = {"Name", "Street 1",
                                                                        "Street 2", "CityLine"}) {
        if (data.Active()) data.Close();
        data.columns.clear();
        data.rows.clear();
        for (const std::string& column : columns) data.columns.push_back({column, ftString, 40});
        for (int i = 1; i <= records; ++i) {
            std::vector<MemValue> row;
            for (const std::string& column : columns)
                row.push_back(Str(column + " " + std::to_string(i)));
            data.rows.push_back(std::move(row));
        }
        data.Open();
    }

    static void Settle() {
        QApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // Runs Preview. step runs once inside it: while the pages are being generated (duringRun)
    // or once the run has finished and Preview waits for its window. Returns the error the run
    // raised, or "". Preview returns only when the step let go of the run's window.
    std::string Preview(const std::function<void(TVRStandardPreview&)>& step,
                        bool duringRun = false) {
        const std::vector<TVRStandardPreview*> before = PreviewWindows();
        bool done = !step;
        std::function<void()> poll;
        poll = [&] {
            if (done) return;
            TVRStandardPreview* window = nullptr;
            for (TVRStandardPreview* open : PreviewWindows()) {
                if (std::find(before.begin(), before.end(), open) == before.end()) window = open;
            }
            const bool finished = window && window->ActionNamed("Print")->isEnabled();
            if (!window || (duringRun ? finished : !finished)) {
                if (duringRun && finished) {
                    ADD_FAILURE() << "the run ended before the step could run";
                    window->close();
                    return;
                }
                QTimer::singleShot(duringRun ? 0 : 1, poll);
                return;
            }
            done = true;
            step(*window);
        };
        if (step) QTimer::singleShot(0, poll);
        try {
            labels->VellRep1.Preview();
        } catch (const Exception& error) {
            return error.Message();
        }
        return {};
    }
};

TEST(PreviewOrders, AFailedRunKeepsItsWindowAndTheNextPreviewOwnsItsOwnPages) {
    struct Case {
        const char* name;
        bool closeFirstDuringSecond;  // else the first is closed after the second
    };
    for (const Case c :
         {Case{"first closed while the second waits", true}, Case{"second closed first", false}}) {
        SCOPED_TRACE(c.name);
        Orders o;
        o.Reopen(3, {"Name", "Street 1", "CityLine"});
        EXPECT_EQ(o.Preview({}), "MemData: Field 'Street 2' not found");
        ASSERT_EQ(PreviewWindows().size(), 1u);
        QPointer<TVRStandardPreview> first = PreviewWindows()[0];
        EXPECT_TRUE(first->isVisible());
        EXPECT_EQ(first->PageCount(), 0);
        // No page: no page number and no blank sheet.
        EXPECT_EQ(first->PagePanelText(), "Page 0 of 0");
        EXPECT_FALSE(first->PageView()->PageImage()->isVisible());
        TVRPrinter* firstPages = first->Output();

        o.Reopen(95);  // four pages
        const std::string error = o.Preview([&](TVRStandardPreview& second) {
            EXPECT_NE(second.Output(), firstPages);
            if (c.closeFirstDuringSecond) {
                first->close();
                Orders::Settle();
                EXPECT_TRUE(first.isNull());
            } else {
                // Print on the first window prints its own (no) pages: the query is not read.
                const int bands = o.bands;
                first->PrintReport();
                EXPECT_EQ(o.bands, bands);
                EXPECT_EQ(first->PageCount(), 0);
            }
            for (int i = 0; i < 3; ++i) QTest::keyClick(&second, Qt::Key_PageDown);
            EXPECT_EQ(second.PageNumber(), 4);
            EXPECT_EQ(second.PagePanelText(), "Page 4 of 4");
            second.close();
        });
        EXPECT_EQ(error, "");
        EXPECT_EQ(o.bands, 95);
        Orders::Settle();
        if (!c.closeFirstDuringSecond) {
            ASSERT_FALSE(first.isNull());
            EXPECT_EQ(first->Output(), firstPages);
            EXPECT_EQ(first->PageCount(), 0);
            QTest::keyClick(first, Qt::Key_PageDown);
            first->close();
            Orders::Settle();
        }
        EXPECT_TRUE(PreviewWindows().empty());
        EXPECT_TRUE(o.labels->VellRep1.Available());
    }
}

TEST(PreviewOrders, LoadingDuringARunCancelsItAndShowsOnlyTheFilesPages) {
    QTemporaryDir dir;
    const QString saved = dir.filePath("two.VRP");
    Orders o;
    o.Reopen(31);
    o.Preview([&](TVRStandardPreview& window) {
        o.dialogs.fileName = saved;
        window.SaveReport();
        window.close();
    });
    ASSERT_TRUE(QFile::exists(saved));

    for (const bool duringRun : {true, false}) {
        SCOPED_TRACE(duringRun ? "load while generating" : "load while Preview waits");
        o.Reopen(3000);
        o.bands = 0;
        QPointer<TVRStandardPreview> shown;
        const std::string error = o.Preview(
            [&](TVRStandardPreview& window) {
                shown = &window;
                o.dialogs.fileName = saved;
                window.LoadReport();  // the window stays open; Preview returns by itself
            },
            duringRun);
        EXPECT_EQ(error, "");
        if (duringRun) {
            EXPECT_LT(o.bands, 3000);  // cancelled before its next record
            Orders::Settle();
        }
        ASSERT_FALSE(shown.isNull());
        EXPECT_TRUE(shown->LoadedFromFile());
        EXPECT_EQ(shown->PageCount(), 2);
        EXPECT_EQ(shown->PagePanelText(), "Page 1 of 2");
        EXPECT_EQ(o.labels->VellRep1.PreviewOutput(), nullptr);

        // Saving the loaded pages writes the file's pages and nothing of the run.
        const QString again = dir.filePath(duringRun ? "during.VRP" : "waiting.VRP");
        o.dialogs.fileName = again;
        shown->SaveReport();
        QFile a(saved), b(again);
        ASSERT_TRUE(a.open(QIODevice::ReadOnly));
        ASSERT_TRUE(b.open(QIODevice::ReadOnly));
        EXPECT_EQ(a.readAll().mid(128), b.readAll().mid(128));
        // Print uses the loaded pages, not the query.
        const int bands = o.bands;
        shown->PrintReport();
        EXPECT_EQ(o.bands, bands);
        shown->close();
        Orders::Settle();
    }
    EXPECT_TRUE(o.labels->VellRep1.Available());
}

TEST(PreviewOrders, SaveAndSetupWaitForTheEndOfTheRun) {
    QTemporaryDir dir;
    Orders o;
    o.Reopen(2000);
    o.Preview(
        [&](TVRStandardPreview& window) {
            o.dialogs.fileName = dir.filePath("early.VRP");
            window.SaveReport();
            window.PrinterSetup();
            window.close();
        },
        true);
    EXPECT_TRUE(o.dialogs.titles.empty());  // no dialog was shown
    EXPECT_FALSE(QFile::exists(dir.filePath("early.VRP")));
}

TEST(PreviewOrders, ClosingEveryWindowEndsTheWaitOrCancelsTheRun) {
    for (const bool duringRun : {true, false}) {
        SCOPED_TRACE(duringRun ? "while generating" : "while Preview waits");
        Orders o;
        o.Reopen(3, {"Name", "Street 1", "CityLine"});
        o.Preview({});  // a failed run's window stays open too
        o.Reopen(duringRun ? 3000 : 40);
        o.Preview([](TVRStandardPreview&) { ClosePreviewWindows(); }, duringRun);
        if (duringRun) {
            EXPECT_LT(o.bands, 3000);
        }
        Orders::Settle();
        EXPECT_TRUE(PreviewWindows().empty());
        EXPECT_TRUE(o.labels->VellRep1.Available());
    }
}

TEST(PreviewOrders, TheApplicationEndingEndsTheWaitAndTheWindowOutlivesItsReport) {
    Orders o;
    o.Reopen(31);
    QPointer<TVRStandardPreview> window;
    bool returned = false;
    o.Preview([&](TVRStandardPreview& shown) {
        window = &shown;
        QCoreApplication::exit(0);  // File > Exit's request, with the window still open
        QTimer::singleShot(3000, [&] {
            if (returned || !window) return;
            ADD_FAILURE() << "Preview kept waiting after the application was told to end";
            window->close();
        });
    });
    returned = true;
    ASSERT_FALSE(window.isNull());
    EXPECT_TRUE(window->isVisible());
    // The report goes first, as the forms do at the end of the program; the window keeps its
    // pages and no longer calls the report.
    o.labels.reset();
    EXPECT_EQ(window->Report(), nullptr);
    EXPECT_EQ(window->PageCount(), 2);
    window->LastPage();
    EXPECT_EQ(window->PagePanelText(), "Page 2 of 2");
    window->PrintReport();
    window->close();
    Orders::Settle();
    EXPECT_TRUE(PreviewWindows().empty());
    // The end request stays with the event loops; clear it for the tests that follow.
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
}

TEST(PreviewWindow, AltCClosesAndTheBoxesCarryTheApplicationTitle) {
    PreviewRun run(1);
    bool closed = false;
    run.Run([&](TVRStandardPreview& window) {
        QTest::keyClick(&window, Qt::Key_C, Qt::AltModifier);
        closed = !window.isVisible();
    });
    EXPECT_TRUE(closed);

    // The Qt boxes themselves: the caption is the program file's name up to its first dot,
    // the letters after the first in lower case.
    SetPreviewDialogs(nullptr);
    QString caption;
    QTimer::singleShot(0, [&] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            caption = box->windowTitle();
            box->close();
        }
    });
    PreviewDialogs().Message(nullptr, QStringLiteral("File does not exist"));
    EXPECT_EQ(caption, "app_preview_tests");
}

TEST(PrintProgress, TextCancelAndCaption) {
    TVRPrinter output(TVRDestination::Printer, std::nullopt);
    TVRProgressForm form(output);
    EXPECT_EQ(form.windowTitle(), "Printing progress");
    EXPECT_TRUE(form.windowFlags() & Qt::WindowStaysOnTopHint);
    form.ProgressChanged(45);
    EXPECT_EQ(form.Text()->text(), "45%  Completed");
    EXPECT_EQ(form.Bar()->value(), 45);
    form.ProgressChanged(47);  // not a multiple of 5
    EXPECT_EQ(form.Bar()->value(), 45);
    EXPECT_EQ(form.CancelButton()->text(), "Cancel");
    form.CancelButton()->click();
    EXPECT_TRUE(output.Cancelled());
}

}  // namespace
}  // namespace parvell::testing
