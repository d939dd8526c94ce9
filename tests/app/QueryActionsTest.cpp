// The main window's query actions offscreen, over a small practice made by the test: the busy
// protocol, Preview with its grid, Exec SQL, the extraction run with its questions and closing
// sequence, and the command line writing the same bytes as the window.

#include <sys/resource.h>
#include <sys/stat.h>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTimer>

#include <gtest/gtest.h>
#include <csignal>
#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>

#include "app/cli/Commands.h"
#include "app/preview/VRStandardPreview.h"
#include "app/shell/Application.h"
#include "app/shell/Forms.h"
#include "app/shell/Unit2.h"
#include "app/shell/Unit3.h"
#include "app/shell/frmMainfrm.h"
#include "settings/Kestrane.h"
#include "tests/support/PracticeFixture.h"
#include "tests/support/ShellTestSupport.h"

namespace parvell {
namespace {

using test::ScriptedDialogs;

const QString kRunning = QStringLiteral("Status: Query running.");
const QString kFinished = QStringLiteral("Status: Query finished.");

class QueryActionsTest : public test::PracticeFormsTest {
protected:
    void Sql(const QString& text) { Form1->Memo1->SetLines(text.split(QLatin1Char('\n'))); }
    QString ExportPath(const QString& name) const {
        return QString::fromStdString(practice_) + QStringLiteral("/Export/") + name;
    }
    bool ButtonsEnabled() const {
        return Form1->Button1->isEnabled() && Form1->Button2->isEnabled() &&
               Form1->Button3->isEnabled() && Form1->Button4->isEnabled();
    }
    // Runs a handler as the window does: an exception goes to the error box.
    void Click(void (TForm1::*handler)()) {
        RunGuarded([&] { (Form1->*handler)(); });
    }
    std::vector<std::string> Kinds() const {
        std::vector<std::string> kinds;
        for (const auto& shown : dialogs_.shown) kinds.push_back(shown.kind);
        return kinds;
    }
};

TEST_F(QueryActionsTest, ExtractWritesFileAndRunsClosingSequence) {
    Sql(QStringLiteral("SELECT n, label FROM nums"));
    Form1->DataExtract->setText(QStringLiteral("nums.csv"));
    QStringList captions;
    QObject::connect(Form3, &QWidget::windowTitleChanged,
                     [&](const QString& title) { captions << title; });
    Click(&TForm1::ExtractSQL);

    EXPECT_EQ(test::ReadBytes(ExportPath("nums.csv")),
              "\"n\",\"label\"\r\n\"1\",\"one\"\r\n\"2\",\"two\"\r\n\"3\",\"thr\"\r\n"
              "\"4\",\"fou\"\r\n\"5\",\"fiv\"\r\n");
    EXPECT_EQ(Form1->Label3->Caption(),
              QString::fromStdString(Form1->PracticeFolder) + QStringLiteral("Export\\nums.csv"));
    EXPECT_EQ(Form1->Label7->Caption(), kFinished);
    EXPECT_TRUE(ButtonsEnabled());
    EXPECT_FALSE(Form1->KdbTable1->Active());
    EXPECT_FALSE(Form3->isVisible());
    EXPECT_EQ(Form3->Max(), 5);
    // The design caption is already "Extraction Progress" at the first run.
    EXPECT_EQ(captions, (QStringList{"Extraction Progress %20", "Extraction Progress %40",
                                     "Extraction Progress %60", "Extraction Progress %80",
                                     "Extraction Progress %100"}));
    EXPECT_EQ(dialogs_.Texts("Information"), QStringList{"Done."});
    EXPECT_EQ(Kinds(), std::vector<std::string>{"Information"});
}

TEST_F(QueryActionsTest, OverwriteQuestion) {
    Sql(QStringLiteral("SELECT n FROM nums WHERE n = 1"));
    Form1->DataExtract->setText(QStringLiteral("one.txt"));
    QDir().mkpath(ExportPath(""));
    const QString path = ExportPath("one.txt");

    // No: the old file stays, the run is abandoned with the query still open.
    sandbox_.WriteFile(QStringLiteral("prac/Export/one.txt"), "old");
    dialogs_.confirmAnswers = {false};
    Click(&TForm1::ExtractSQL);
    EXPECT_EQ(test::ReadBytes(path), "old");
    EXPECT_EQ(dialogs_.Texts("Confirm"),
              QStringList{"The export file already exists. Do you wish to overwrite it?"});
    EXPECT_EQ(dialogs_.Texts("Message"),
              QStringList{"You will have to choose another filename in order to continue."});
    EXPECT_TRUE(dialogs_.Texts("Information").isEmpty());
    EXPECT_EQ(Form1->Label7->Caption(), kRunning);
    EXPECT_TRUE(Form1->KdbTable1->Active());
    EXPECT_TRUE(ButtonsEnabled());
    EXPECT_FALSE(Form3->isVisible());

    // Yes: the file is replaced and the run ends with "Done.".
    dialogs_.shown.clear();
    dialogs_.confirmAnswers = {true};
    Click(&TForm1::ExtractSQL);
    EXPECT_EQ(test::ReadBytes(path), "\"n\"\r\n\"1\"\r\n");
    EXPECT_EQ(Kinds(), (std::vector<std::string>{"Confirm", "Information"}));
    EXPECT_FALSE(Form1->KdbTable1->Active());
}

TEST_F(QueryActionsTest, FailedDeleteAbandonsTheRun) {
    // The output folder leads into the process file system, where no file can be deleted.
    std::filesystem::create_directory_symlink("/proc/self", practice_ + "/Export");
    Sql(QStringLiteral("SELECT n FROM nums"));
    Form1->DataExtract->setText(QStringLiteral("status"));
    dialogs_.confirmAnswers = {true};
    Click(&TForm1::ExtractSQL);
    EXPECT_EQ(dialogs_.Texts("Message"), QStringList{"Unable to delete previous file."});
    EXPECT_TRUE(dialogs_.Texts("Information").isEmpty());
    EXPECT_EQ(Form1->Label7->Caption(), kRunning);
    EXPECT_TRUE(ButtonsEnabled());
}

TEST_F(QueryActionsTest, SqlErrorShowsDoneThenTheError) {
    Sql(QStringLiteral("SELECT nothing FROM nowhere"));
    Form1->Label3->SetCaption(QStringLiteral("previous"));
    Click(&TForm1::ExtractSQL);
    ASSERT_EQ(Kinds(), (std::vector<std::string>{"Information", "Error"}));
    EXPECT_TRUE(dialogs_.shown[1].text.startsWith(QStringLiteral("KdbTable1: ")))
        << dialogs_.shown[1].text.toStdString();
    EXPECT_EQ(Form1->Label7->Caption(), kFinished);
    EXPECT_EQ(Form1->Label3->Caption(), QStringLiteral("previous"));
    EXPECT_TRUE(ButtonsEnabled());
    EXPECT_FALSE(QFile::exists(ExportPath("DataExtract.csv")));
}

TEST_F(QueryActionsTest, FileThatCannotBeCreatedShowsIoError103) {
    Sql(QStringLiteral("SELECT n FROM nums"));
    for (const QString& name : {QString(), QStringLiteral("no/such/folder.txt")}) {
        dialogs_.shown.clear();
        Form1->DataExtract->setText(name);
        Click(&TForm1::ExtractSQL);
        EXPECT_EQ(dialogs_.Texts("Error"), QStringList{"I/O error 103."}) << name.toStdString();
        EXPECT_EQ(Kinds(), (std::vector<std::string>{"Information", "Error"}));
        EXPECT_TRUE(ButtonsEnabled());
    }
}

// Files of the process may grow to a fixed size only, as on a disk with that much room left.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &previous_);
        rlimit limit = previous_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, previousHandler_);
    }

private:
    rlimit previous_{};
    void (*previousHandler_)(int);
};

TEST_F(QueryActionsTest, DiskFullEndsWithItsMessageAndWholeLines) {
    Sql(QStringLiteral("SELECT n FROM nums"));
    Form1->DataExtract->setText(QStringLiteral("full.csv"));
    {
        FileSizeLimit limit(17);
        Click(&TForm1::ExtractSQL);
    }
    EXPECT_EQ(Kinds(), (std::vector<std::string>{"Information", "Error"}));
    EXPECT_EQ(dialogs_.Texts("Error"), QStringList{"Disk full."});
    EXPECT_EQ(test::ReadBytes(ExportPath("full.csv")), "\"n\"\r\n\"1\"\r\n\"2\"\r\n");
    EXPECT_TRUE(ButtonsEnabled());
    EXPECT_FALSE(Form1->KdbTable1->Active());
    EXPECT_EQ(QDir(ExportPath("")).entryList(QDir::Files | QDir::Hidden | QDir::System),
              QStringList{"full.csv"});
}

TEST_F(QueryActionsTest, RecordNumberToggledDuringRun) {
    Sql(QStringLiteral("SELECT label FROM nums"));
    Form1->DataExtract->setText(QStringLiteral("nums.tab"));
    Form1->RadioGroup1->SetItemIndex(2);
    Form1->RadioGroup1Click();
    Form1->CheckBox2->setChecked(true);
    // The user unchecks the option once the second record is written.
    QObject::connect(Form3, &QWidget::windowTitleChanged, [](const QString& title) {
        if (title == QStringLiteral("Extraction Progress %40")) Form1->CheckBox2->setChecked(false);
    });
    Click(&TForm1::ExtractSQL);
    EXPECT_EQ(test::ReadBytes(ExportPath("nums.tab")),
              "Record Num\tlabel\t\r\n1\tone\t\r\n2\ttwo\t\r\nthr\t\r\nfou\t\r\nfiv\t\r\n");
}

TEST_F(QueryActionsTest, UnsupportedColumnShowsItsNamePerHeaderAndRecord) {
    Sql(QStringLiteral("SELECT name, notes, owed FROM pat"));
    Form1->RadioGroup1->SetItemIndex(1);
    Form1->RadioGroup1Click();
    Click(&TForm1::ExtractSQL);
    // The money column is a decimal, which the layout does not write; the memo goes silently.
    EXPECT_EQ(dialogs_.Texts("Message"), QStringList(5, QStringLiteral("owed")));
    EXPECT_EQ(dialogs_.Texts("Information"), QStringList{"Done."});
}

TEST_F(QueryActionsTest, SecondActionDuringRunIsRefused) {
    Sql(QStringLiteral("SELECT n FROM nums"));
    Form1->DataExtract->setText(QStringLiteral("nums.csv"));
    const QString caption = Form1->windowTitle();
    QObject::connect(Form3, &QWidget::windowTitleChanged, [](const QString& title) {
        if (title == QStringLiteral("Extraction Progress %20")) {
            Form1->Button5Click();
            Form1->PreviewSQL();
        }
    });
    Click(&TForm1::ExtractSQL);
    EXPECT_EQ(Form1->windowTitle(), caption);
    EXPECT_EQ(test::ReadBytes(ExportPath("nums.csv")).size(), 30u);
    EXPECT_EQ(Kinds(), std::vector<std::string>{"Information"});
}

TEST_F(QueryActionsTest, ExecSqlSetsCaptionToCount) {
    Sql(QStringLiteral("UPDATE nums SET label = 'x' WHERE n <= 3"));
    Click(&TForm1::Button5Click);
    EXPECT_EQ(Form1->windowTitle(), QStringLiteral("3"));
    EXPECT_EQ(Form1->Label7->Caption(), kFinished);
    EXPECT_TRUE(ButtonsEnabled());

    Sql(QStringLiteral("UPDATE nowhere SET a = 1"));
    Click(&TForm1::Button5Click);
    EXPECT_EQ(Form1->windowTitle(), QStringLiteral("3"));
    EXPECT_EQ(Kinds(), std::vector<std::string>{"Error"});
    EXPECT_TRUE(ButtonsEnabled());
}

// While alive, polls until the result window shows, runs `inspect` on it and closes it with
// "&Close"; a window that never shows cannot hang the test, and nothing outlives the test.
class WhenResultWindowShows {
public:
    explicit WhenResultWindowShows(std::function<void()> inspect) : inspect_(std::move(inspect)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (!Form2 || !Form2->isVisible()) return;
            timer_.stop();
            inspect_();
            Form2->Button1->click();
        });
        timer_.start(5);
    }

private:
    QTimer timer_;
    std::function<void()> inspect_;
};

TEST_F(QueryActionsTest, PreviewShowsGridOfSelectionOrWholeEditor) {
    struct Seen {
        QStringList titles;
        int rows = -1;
        QString cell;
        bool modal = false;
    };
    auto preview = [this](Seen& seen) {
        WhenResultWindowShows closer([&seen] {
            TDataSetTableModel& model = Form2->DBGrid1->Model();
            for (int i = 0; i < model.columnCount(); ++i) {
                seen.titles << model.headerData(i, Qt::Horizontal).toString();
            }
            seen.rows = model.rowCount();
            seen.cell = model.data(model.index(1, 0)).toString();
            seen.modal = Form2->isModal();
        });
        Click(&TForm1::PreviewSQL);
    };

    // Nothing selected: the whole editor.
    Sql(QStringLiteral("SELECT n, label\nFROM nums WHERE n > 2"));
    Seen whole;
    preview(whole);
    EXPECT_TRUE(whole.modal);
    EXPECT_EQ(whole.titles, (QStringList{"n", "label"}));
    EXPECT_EQ(whole.rows, 3);
    EXPECT_EQ(whole.cell, QStringLiteral("4"));

    // The first line selected: only it runs.
    Sql(QStringLiteral("SELECT label FROM nums WHERE n > 3\nSELECT n, label FROM nums"));
    QTextCursor cursor = Form1->Memo1->textCursor();
    cursor.setPosition(0);
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    Form1->Memo1->setTextCursor(cursor);
    Seen selected;
    preview(selected);
    EXPECT_EQ(selected.titles, QStringList{"label"});
    EXPECT_EQ(selected.rows, 2);
    EXPECT_EQ(selected.cell, QStringLiteral("fiv"));

    EXPECT_TRUE(dialogs_.shown.empty());
    EXPECT_FALSE(Form1->KdbTable1->Active());
    EXPECT_EQ(Form2->DBGrid1->Model().rowCount(), 0);  // empty once the query closed
    EXPECT_EQ(Form1->Label7->Caption(), kFinished);
    EXPECT_TRUE(ButtonsEnabled());
}

TEST_F(QueryActionsTest, PreviewOfUpdateRunsItThenReportsNoCursor) {
    Sql(QStringLiteral("UPDATE nums SET label = 'z' WHERE n = 1"));
    WhenResultWindowShows closer([] {});
    Click(&TForm1::PreviewSQL);
    ASSERT_EQ(Kinds(), std::vector<std::string>{"Error"});
    EXPECT_TRUE(
        dialogs_.shown[0].text.contains(QStringLiteral("did not generate a cursor handle")));
    EXPECT_EQ(Form1->Label7->Caption(), kFinished);
    EXPECT_TRUE(ButtonsEnabled());
}

TEST_F(QueryActionsTest, PreviewOfEmptyResultShowsTitlesOnly) {
    Sql(QStringLiteral("SELECT n, label FROM nums WHERE n > 99"));
    int rows = -1;
    int columns = -1;
    WhenResultWindowShows closer([&] {
        rows = Form2->DBGrid1->Model().rowCount();
        columns = Form2->DBGrid1->Model().columnCount();
    });
    Click(&TForm1::PreviewSQL);
    EXPECT_EQ(rows, 0);
    EXPECT_EQ(columns, 2);
}

TEST_F(QueryActionsTest, ProgressWindowCannotBeClosedByTheUser) {
    Form3->show();
    Form3->close();
    EXPECT_TRUE(Form3->isVisible());
    HideProgressWindow(*Form3);
    EXPECT_FALSE(Form3->isVisible());
}

// The command line and the window write the same bytes for the same statement and choices.
TEST_F(QueryActionsTest, CliWritesTheWindowsBytes) {
    const QString sql = QStringLiteral("SELECT * FROM pat");
    Sql(sql);
    sandbox_.WriteFile(QStringLiteral("pat.sql"), sql.toUtf8());
    struct Choice {
        int layout;
        const char* name;
        bool header;
        bool recordNumber;
    };
    const Choice choices[] = {
        {0, "comma", true, false},  {0, "comma", false, true}, {1, "fixed", true, false},
        {1, "fixed", false, false}, {2, "tab", true, true},    {2, "tab", false, false},
    };
    int run = 0;
    for (const Choice& c : choices) {
        SCOPED_TRACE(c.name);
        const QString windowFile = QStringLiteral("w%1.txt").arg(run);
        const QString cliFile = sandbox_.Path(QStringLiteral("c%1.txt").arg(run++));
        Form1->DataExtract->setText(windowFile);
        Form1->RadioGroup1->SetItemIndex(c.layout);
        Form1->RadioGroup1Click();
        Form1->CheckBox1->setChecked(c.header);
        Form1->CheckBox2->setChecked(c.recordNumber);
        Click(&TForm1::ExtractSQL);

        std::vector<std::string> args = {"extract",
                                         "--data",
                                         Form1->Edit1->text().toStdString(),
                                         "--sql",
                                         sandbox_.Path("pat.sql").toStdString(),
                                         "--layout",
                                         c.name,
                                         "--out",
                                         cliFile.toStdString()};
        if (!c.header) args.push_back("--no-header");
        if (c.recordNumber) args.push_back("--record-number");
        std::ostringstream out, err;
        EXPECT_EQ(cli::Dispatch(args, out, err), 0) << err.str();
        const QByteArray windowBytes = test::ReadBytes(ExportPath(windowFile));
        EXPECT_FALSE(windowBytes.isEmpty());
        EXPECT_EQ(test::ReadBytes(cliFile).toStdString(), windowBytes.toStdString());
    }
}

struct CliCase {
    const char* name;
    std::vector<std::string> args;  // "@" stands for the practice's data path, "#" the sandbox
    int exitCode;
    std::string out;
    std::string errStart;
};

TEST_F(QueryActionsTest, CliCommands) {
    const std::string data = Form1->Edit1->text().toStdString();
    const std::string root = sandbox_.Path().toStdString();
    sandbox_.WriteFile(QStringLiteral("nums.sql"), "SELECT n FROM nums WHERE n < 3");
    sandbox_.WriteFile(QStringLiteral("upd.sql"), "UPDATE nums SET label = 'y' WHERE n > 1");
    sandbox_.WriteFile(QStringLiteral("bad.sql"), "SELECT FROM");
    sandbox_.WriteFile(QStringLiteral("exists.txt"), "keep");
    ASSERT_EQ(::mkfifo(sandbox_.Path("pipe").toLocal8Bit().constData(), 0600), 0);
    QDir().mkpath(sandbox_.Path("folder"));
    const CliCase cases[] = {
        {"extract",
         {"extract", "--data", "@", "--sql", "#/nums.sql", "--out", "#/a.csv"},
         0,
         "2 records written to #/a.csv\n",
         ""},
        {"refuses to overwrite",
         {"extract", "--data", "@", "--sql", "#/nums.sql", "--out", "#/exists.txt"},
         1,
         "",
         "parvell-cli: #/exists.txt already exists"},
        {"overwrites with force",
         {"extract", "--data", "@", "--sql", "#/nums.sql", "--out=#/exists.txt", "--force"},
         0,
         "2 records written to #/exists.txt\n",
         ""},
        // A pipe would wait for a reader for ever; a folder or device cannot be replaced.
        {"refuses a pipe",
         {"extract", "--data", "@", "--sql", "#/nums.sql", "--out", "#/pipe", "--force"},
         1,
         "",
         "parvell-cli: #/pipe is a pipe, not a file; choose another file name\n"},
        {"refuses a folder",
         {"extract", "--data", "@", "--sql", "#/nums.sql", "--out", "#/folder"},
         1,
         "",
         "parvell-cli: #/folder is a folder, not a file; choose another file name\n"},
        {"refuses a device",
         {"extract", "--data", "@", "--sql", "#/nums.sql", "--out", "/dev/null"},
         1,
         "",
         "parvell-cli: /dev/null is a device, not a file; choose another file name\n"},
        {"statement error",
         {"extract", "--data", "@", "--sql", "#/bad.sql", "--out", "#/b.txt"},
         1,
         "",
         "parvell-cli: KdbTable1: "},
        {"missing out",
         {"extract", "--data", "@", "--sql", "#/nums.sql"},
         2,
         "",
         "parvell-cli: extract: --out FILE is required"},
        {"bad layout",
         {"extract", "--data", "@", "--builtin", "1", "--layout", "csv", "--out", "x"},
         2,
         "",
         "parvell-cli: extract: --layout is comma, fixed or tab"},
        {"bad builtin",
         {"extract", "--data", "@", "--builtin", "8", "--out", "x"},
         2,
         "",
         "parvell-cli: extract: --builtin takes a number from 1 to 7"},
        {"two statements",
         {"extract", "--data", "@", "--builtin", "1", "--sql", "x", "--out", "x"},
         2,
         "",
         "parvell-cli: extract: give one statement only"},
        {"cannot create",
         {"extract", "--data", "@", "--sql", "#/nums.sql", "--out", "#/no/x.csv"},
         1,
         "",
         "parvell-cli: cannot create #/no/x.csv: the folder #/no does not exist\n"},
        {"exec", {"exec", "--data", "@", "--sql", "#/upd.sql"}, 0, "4\n", ""},
        {"exec of a select", {"exec", "--data", "@", "--sql", "#/nums.sql"}, 0, "-1\n", ""},
        {"exec without statement",
         {"exec", "--data", "@"},
         2,
         "",
         "parvell-cli: exec: give the statement"},
    };
    for (const CliCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto expand = [&](std::string text) {
            for (std::size_t at; (at = text.find('@')) != std::string::npos;)
                text.replace(at, 1, data);
            for (std::size_t at; (at = text.find('#')) != std::string::npos;)
                text.replace(at, 1, root);
            return text;
        };
        std::vector<std::string> args;
        for (const std::string& arg : c.args) args.push_back(expand(arg));
        std::ostringstream out, err;
        EXPECT_EQ(cli::Dispatch(args, out, err), c.exitCode) << err.str();
        EXPECT_EQ(out.str(), expand(c.out));
        EXPECT_EQ(err.str().substr(0, expand(c.errStart).size()), expand(c.errStart)) << err.str();
    }
    EXPECT_EQ(test::ReadBytes(sandbox_.Path("exists.txt")), "\"n\"\r\n\"1\"\r\n\"2\"\r\n");
}

TEST_F(QueryActionsTest, CliNamesUnsupportedColumnOnce) {
    sandbox_.WriteFile(QStringLiteral("pat.sql"), "SELECT name, owed FROM pat");
    std::ostringstream out, err;
    const std::vector<std::string> args = {"extract",
                                           "--data",
                                           Form1->Edit1->text().toStdString(),
                                           "--sql",
                                           sandbox_.Path("pat.sql").toStdString(),
                                           "--layout",
                                           "tab",
                                           "--out",
                                           sandbox_.Path("p.tab").toStdString()};
    EXPECT_EQ(cli::Dispatch(args, out, err), 0);
    EXPECT_EQ(
        err.str(),
        "parvell-cli: column \"owed\" has a type this layout does not write; it is left out\n");
}

TEST_F(QueryActionsTest, FileExitWithLabelPreviewsOpenEndsTheLabelsActionAtOnce) {
    // A failed Labels run leaves its empty preview open; the next one waits for its window.
    Sql(QStringLiteral("SELECT label Name, label \"Street 1\", label CityLine FROM nums"));
    Click(&TForm1::Button4Click);
    ASSERT_EQ(dialogs_.Texts("Error"), QStringList{"KdbTable1: Field 'Street 2' not found."});
    ASSERT_EQ(PreviewWindows().size(), 1u);

    Sql(QStringLiteral(
        "SELECT label Name, label \"Street 1\", '' \"Street 2\", label CityLine FROM nums"));
    bool exitPressed = false;
    std::function<void()> poll = [&] {
        const auto windows = PreviewWindows();
        if (windows.size() < 2 || !windows.back()->ActionNamed("Print")->isEnabled()) {
            QTimer::singleShot(1, poll);
            return;
        }
        EXPECT_EQ(windows.back()->PageCount(), 1);
        exitPressed = true;
        Form1->Exit1->trigger();
    };
    bool returned = false;
    QTimer::singleShot(5000, [&] {
        if (returned) return;
        ADD_FAILURE() << "the Labels action kept waiting after File > Exit";
        for (TVRStandardPreview* window : PreviewWindows()) window->close();
    });
    QTimer::singleShot(0, poll);
    Click(&TForm1::Button4Click);  // returns once Exit has closed the previews
    returned = true;

    EXPECT_TRUE(exitPressed);
    EXPECT_TRUE(Application()->Terminated());
    EXPECT_FALSE(Form1->KdbTable1->Active());
    EXPECT_EQ(Form1->Label7->Caption(), kFinished);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(PreviewWindows().empty());
    EXPECT_EQ(dialogs_.Texts("Error").size(), 1);

    test::ClearEndRequest();
}

}  // namespace
}  // namespace parvell
