// Real printing through a private CUPS server: the labels of a small practice printed from
// parvell-cli labels --printer and from the preview window's Print, each landing as a PDF file
// written by the cups-pdf back end, then read back: US Letter pages, every text line inside its
// label line of the three-across geometry, and the texts the preview shows.
//
// The server is this test's own: configuration, spool, logs and socket in a temporary folder; the
// client library reaches it through CUPS_SERVER. cups-pdf reads its settings only from /etc/cups,
// so the queue's instance file is written there under a name of this process and removed again.
// cups-pdf runs only as root; elsewhere the tests report themselves skipped.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "app/cli/Commands.h"
#include "app/preview/VRPreviewDialogs.h"
#include "app/preview/VRPreviewHost.h"
#include "app/preview/VRStandardPreview.h"
#include "report/LabelReport.h"
#include "tests/data/MemoryDataSet.h"
#include "tests/support/PracticeFixture.h"
#include "tests/support/WidgetsEnvironment.h"

namespace parvell::testing {
namespace {

const auto* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new parvell::test::WidgetsEnvironment("app_print_tests"));

constexpr int kWaitMs = 60000;  // every wait of these tests ends after this at the latest
constexpr const char* kQueue = "parvell-labels";

// Runs a program to its end (bounded). False when it failed; its standard error is then in why.
bool RunQuietly(const QString& program, const QStringList& args, QString* output = nullptr,
                std::string* why = nullptr) {
    QProcess process;
    process.start(program, args);
    const bool ended = process.waitForFinished(kWaitMs);
    if (!ended) {
        process.kill();
        process.waitForFinished(1000);
    }
    if (output) *output = QString::fromUtf8(process.readAllStandardOutput());
    const bool ok =
        ended && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (!ok && why) {
        *why = (program + ' ' + args.join(' ')).toStdString() + ": " +
               process.readAllStandardError().toStdString();
    }
    return ok;
}

// The same, failing the test when the program fails; its standard output.
std::optional<QString> RunProgram(const QString& program, const QStringList& args) {
    QString output;
    std::string why;
    if (!RunQuietly(program, args, &output, &why)) {
        ADD_FAILURE() << why;
        return std::nullopt;
    }
    return output;
}

bool WaitUntil(const std::function<bool()>& done) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > kWaitMs) return false;
        QCoreApplication::processEvents();
        QThread::msleep(50);
    }
    return true;
}

// cupsd in the foreground with its own folders and socket, one cups-pdf queue writing PDF files
// into out/, made the server's default printer.
class PrivateCupsServer {
public:
    // Empty when the server can run here; else why not.
    static std::string CannotRun() {
        if (::geteuid() != 0) return "the cups-pdf back end runs only as root";
        for (const char* tool :
             {"/usr/sbin/cupsd", "/usr/sbin/lpadmin", "/usr/lib/cups/backend/cups-pdf",
              "/usr/bin/pdftotext", "/usr/bin/pdftocairo"}) {
            if (!QFile::exists(tool)) return std::string(tool) + " is not installed";
        }
        if (!QDir("/etc/cups").exists()) return "/etc/cups does not exist";
        return {};
    }

    // Empty when the server runs with its queue; else what went wrong.
    std::string Start() {
        if (!dir_.isValid()) return "no temporary folder";
        const QString d = dir_.path();
        for (const char* sub : {"spool", "cache", "state", "log", "out", "cups-pdf", "tmp"})
            QDir(d).mkpath(sub);
        // Filters run as the user lp and write their temporary files into tmp/.
        std::filesystem::permissions(d.toStdString(), std::filesystem::perms(0755));
        if (std::system(("chgrp lp '" + d.toStdString() + "/tmp' && chmod 1770 '" +
                         d.toStdString() + "/tmp'")
                            .c_str()) != 0) {
            return "cannot give the spool's temporary folder to lp";
        }
        Write(d + "/cups-files.conf",
              "ServerRoot " + d + "\nRequestRoot " + d + "/spool\nTempDir " + d +
                  "/tmp\nCacheDir " + d + "/cache\nStateDir " + d + "/state\nAccessLog " + d +
                  "/log/access_log\nErrorLog " + d + "/log/error_log\nPageLog " + d +
                  "/log/page_log\nPrintcap " + d +
                  "/printcap\nUser lp\nGroup lp\nSystemGroup root\n");
        Write(d + "/cupsd.conf",
              "Listen " + Socket() +
                  "\nLogLevel info\nWebInterface No\nBrowsing No\nDefaultAuthType None\n"
                  "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                  "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n");
        instance_ = "parvelltest" + QString::number(::getpid());
        instanceFile_ = "/etc/cups/cups-pdf-" + instance_ + ".conf";
        Write(instanceFile_, "Out " + d + "/out\nAnonDirName " + d + "/out\nSpool " + d +
                                 "/cups-pdf\nLog " + d + "/log\nGrp root\n");

        server_.setProcessChannelMode(QProcess::MergedChannels);
        server_.setStandardOutputFile(d + "/log/cupsd.out");
        server_.start("/usr/sbin/cupsd",
                      {"-f", "-c", d + "/cupsd.conf", "-s", d + "/cups-files.conf"});
        if (!server_.waitForStarted(kWaitMs)) return "cupsd did not start";
        const bool ready = WaitUntil([&] {
            if (server_.state() != QProcess::Running) return true;
            QString answer;
            return QFile::exists(Socket()) &&
                   RunQuietly("lpstat", {"-h", Socket(), "-r"}, &answer) &&
                   answer.startsWith("scheduler is running");
        });
        if (!ready || server_.state() != QProcess::Running)
            return "cupsd did not come up: " + Log("cupsd.out");
        // ghostscript's PostScript keeps no character codes, so pdftocairo makes the PostScript
        // the back end turns into PDF: the printed text stays readable for the comparison.
        std::string why;
        if (!RunQuietly("lpadmin",
                        {"-h", Socket(), "-p", kQueue, "-E", "-v", "cups-pdf:/" + instance_, "-P",
                         "/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd", "-o", "PageSize=A4", "-o",
                         "pdftops-renderer-default=pdftocairo"},
                        nullptr, &why) ||
            !RunQuietly("lpadmin", {"-h", Socket(), "-d", kQueue}, nullptr, &why)) {
            return "the queue could not be made: " + why + "\n" + Log("error_log");
        }
        qputenv("CUPS_SERVER", Socket().toLocal8Bit());
        return {};
    }

    ~PrivateCupsServer() {
        if (server_.state() == QProcess::Running) {
            ::kill(static_cast<pid_t>(server_.processId()), SIGTERM);
            if (!server_.waitForFinished(10000)) {
                server_.kill();
                server_.waitForFinished(5000);
            }
        }
        if (!instanceFile_.isEmpty()) QFile::remove(instanceFile_);
    }

    QString Socket() const { return dir_.path() + "/cups.sock"; }
    QString OutFolder() const { return dir_.path() + "/out"; }
    std::string Log(const QString& name) const {
        QFile file(dir_.path() + "/log/" + name);
        return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
    }

    // Page-log lines of finished jobs: "queue user job [date] total N ...".
    QStringList FinishedJobs() const {
        QStringList jobs;
        for (const QString& line :
             QString::fromStdString(Log("page_log")).split('\n', Qt::SkipEmptyParts)) {
            if (line.contains(" total ")) jobs << line;
        }
        return jobs;
    }

    // Waits for the next job to finish and its PDF file to be there; returns the file and the
    // page log's total (pages times copies).
    std::optional<std::pair<QString, int>> WaitForJob(int jobsBefore) {
        QStringList pdfs;
        const bool done = WaitUntil([&] {
            pdfs = QDir(OutFolder()).entryList({"*.pdf"}, QDir::Files, QDir::Time);
            return FinishedJobs().size() > jobsBefore && pdfs.size() > jobsBefore;
        });
        if (!done) {
            ADD_FAILURE() << "no printed PDF after " << kWaitMs << " ms; server log:\n"
                          << Log("error_log");
            return std::nullopt;
        }
        static const QRegularExpression total(" total (\\d+) ");
        const int sheets = total.match(FinishedJobs().at(jobsBefore)).captured(1).toInt();
        return std::pair(OutFolder() + "/" + pdfs.front(), sheets);
    }

private:
    static void Write(const QString& path, const QString& text) {
        std::ofstream(path.toStdString()) << text.toStdString();
    }

    QTemporaryDir dir_{QDir::tempPath() + "/parvell-cups-XXXXXX"};
    QProcess server_;
    QString instance_;
    QString instanceFile_;
};

// The labels of the practice: record i has a second street line when i is even.
struct Address {
    std::string name, street1, street2, cityLine;
};
std::vector<Address> Addresses(int count) {
    std::vector<Address> rows;
    for (int i = 1; i <= count; ++i) {
        rows.push_back({"Patient " + std::to_string(i), std::to_string(100 + i) + " Elm St",
                        i % 2 == 0 ? "Suite " + std::to_string(i) : "", "DOVER, DE 19901"});
    }
    return rows;
}

// The label geometry in tenths of a millimetre from the paper's top-left corner: three columns
// of ten 1 by 2.5 inch labels, four text lines each.
constexpr double kColumnLeft[] = {64, 762, 1460};
constexpr double kItemLeft = 42.333, kItemWidth = 552.979, kItemHeight = 44.979;
constexpr double kLineTop[] = {63.5, 105.833, 148.167, 190.5};
constexpr double kPoint = 254.0 / 72.0;  // tenths of a millimetre per PDF point

struct LineKey {
    int page, column, row, line;
    auto operator<=>(const LineKey&) const = default;
};

// What the preview shows: the lines of each label in its place, empty lines left out.
std::map<LineKey, std::string> ExpectedLines(const std::vector<Address>& rows, int firstPage,
                                             int lastPage) {
    std::map<LineKey, std::string> lines;
    for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
        const int page = i / 30 + 1;
        if (page < firstPage || page > lastPage) continue;
        const Address& a = rows[static_cast<std::size_t>(i)];
        const std::string texts[] = {a.name, a.street1, a.street2.empty() ? a.cityLine : a.street2,
                                     a.street2.empty() ? "" : a.cityLine};
        for (int line = 0; line < 4; ++line) {
            if (!texts[line].empty())
                lines[{page - firstPage + 1, i % 30 / 10, i % 10, line}] = texts[line];
        }
    }
    return lines;
}

struct Measured {
    std::map<LineKey, std::string> lines;
    std::vector<std::string> faults;
    int pages = 0;
    double minDx = 1e9, maxDx = -1e9, minDy = 1e9, maxDy = -1e9;  // points from the item's corner
    std::map<int, double> columnX;  // leftmost word per column, points
};

// Reads the PDF's words with their boxes and puts each into the label line whose item holds the
// word's centre.
Measured MeasurePdf(const QString& pdf) {
    Measured m;
    const auto xml = RunProgram("pdftotext", {"-bbox", pdf, "-"});
    if (!xml) return m;
    static const QRegularExpression pageRe(R"re(<page width="([\d.]+)" height="([\d.]+)">)re");
    static const QRegularExpression wordRe(
        R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re");
    std::map<LineKey, std::vector<std::pair<double, std::string>>> words;
    for (const QString& row : xml->split('\n')) {
        if (const auto page = pageRe.match(row); page.hasMatch()) {
            ++m.pages;
            if (std::abs(page.captured(1).toDouble() - 612) > 0.5 ||
                std::abs(page.captured(2).toDouble() - 792) > 0.5) {
                m.faults.push_back("page " + std::to_string(m.pages) + " is " +
                                   page.captured(1).toStdString() + " x " +
                                   page.captured(2).toStdString() + " points, not US Letter");
            }
            continue;
        }
        const auto word = wordRe.match(row);
        if (!word.hasMatch()) continue;
        // In tenths of a millimetre from the paper's top-left corner.
        const double left = word.captured(1).toDouble() * kPoint,
                     top = word.captured(2).toDouble() * kPoint;
        const double right = word.captured(3).toDouble() * kPoint,
                     bottom = word.captured(4).toDouble() * kPoint;
        const double cx = (left + right) / 2, cy = (top + bottom) / 2;
        std::optional<LineKey> key;
        for (int column = 0; column < 3 && !key; ++column) {
            const double itemLeft = kColumnLeft[column] + kItemLeft;
            if (cx < itemLeft || cx > itemLeft + kItemWidth) continue;
            for (int r = 0; r < 10 && !key; ++r) {
                for (int line = 0; line < 4 && !key; ++line) {
                    const double itemTop = 127 + 254.0 * r + kLineTop[line];
                    if (cy >= itemTop && cy <= itemTop + kItemHeight)
                        key = LineKey{m.pages, column, r, line};
                }
            }
        }
        const std::string text = word.captured(5).replace("&amp;", "&").toStdString();
        if (!key) {
            m.faults.push_back("\"" + text + "\" on page " + std::to_string(m.pages) +
                               " lies outside every label line");
            continue;
        }
        const double dy = (top - 127 - 254.0 * key->row - kLineTop[key->line]) / kPoint;
        words[*key].push_back({left, text});
        m.minDy = std::min(m.minDy, dy);
        m.maxDy = std::max(m.maxDy, dy);
    }
    for (auto& [key, list] : words) {
        // Only the first word of a line starts at its item's left edge.
        std::sort(list.begin(), list.end());
        const double dx = (list.front().first - kColumnLeft[key.column] - kItemLeft) / kPoint;
        m.minDx = std::min(m.minDx, dx);
        m.maxDx = std::max(m.maxDx, dx);
        const double x = list.front().first / kPoint;
        if (!m.columnX.count(key.column) || x < m.columnX[key.column]) m.columnX[key.column] = x;
        std::string text;
        for (const auto& [x, w] : list) text += (text.empty() ? "" : " ") + w;
        m.lines[key] = text;
    }
    return m;
}

// Checks a printed PDF against the preview's lines and the label geometry. The cups-pdf queue
// has no unprintable margin (its offsets are 0), so a line starts within a point of its item's
// left edge, and every line sits at the same height within its item (half a point apart at most).
void CheckPrintedLabels(const QString& pdf, int pages,
                        const std::map<LineKey, std::string>& expected) {
    const Measured m = MeasurePdf(pdf);
    EXPECT_EQ(m.pages, pages);
    for (const std::string& fault : m.faults) ADD_FAILURE() << fault;
    EXPECT_EQ(m.lines, expected);
    EXPECT_GE(m.minDx, -1.0);
    EXPECT_LE(m.maxDx, 1.0);
    EXPECT_LE(m.maxDy - m.minDy, 0.5);
    EXPECT_LE(std::max(std::abs(m.minDy), std::abs(m.maxDy)), 3.0);
    std::ostringstream summary;
    summary << "measured in " << pdf.toStdString() << ": " << m.pages
            << " pages of 612 x 792 pt; line starts " << m.minDx << " to " << m.maxDx
            << " pt from their items' left edges; text tops " << m.minDy << " to " << m.maxDy
            << " pt below their items' tops; leftmost text per column at";
    for (const auto& [column, x] : m.columnX) summary << ' ' << x;
    summary << " pt (items at 30.14, 228.00, 425.86 pt)";
    std::cout << summary.str() << '\n';
    ::testing::Test::RecordProperty("geometry", summary.str());
}

// One server for the tests of a process: the client library reads CUPS_SERVER only once.
class PrintServer : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        skipped_ = PrivateCupsServer::CannotRun();
        if (!skipped_.empty()) return;
        server_ = new PrivateCupsServer;
        failed_ = server_->Start();
    }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }
    void SetUp() override {
        if (!skipped_.empty()) GTEST_SKIP() << "no private print server: " << skipped_;
        ASSERT_TRUE(failed_.empty()) << failed_;
    }

    static inline std::string skipped_, failed_;
    static inline PrivateCupsServer* server_ = nullptr;
};

TEST_F(PrintServer, LabelsCommandPrintsOnTheQueue) {
    const std::vector<Address> rows = Addresses(35);  // two pages, the second with five labels
    QTemporaryDir practice;
    ASSERT_TRUE(practice.isValid());
    std::vector<std::string> statements = {
        "CREATE TABLE addr (\"Name\" CHAR(30), \"Street 1\" CHAR(30), \"Street 2\" CHAR(30), "
        "CityLine CHAR(30))"};
    for (const Address& a : rows) {
        statements.push_back("INSERT INTO addr VALUES ('" + a.name + "', '" + a.street1 + "', '" +
                             a.street2 + "', '" + a.cityLine + "')");
    }
    test::MakePractice(practice.path().toStdString(), statements);
    const std::string sqlFile = practice.filePath("labels.sql").toStdString();
    std::ofstream(sqlFile) << "SELECT * FROM addr";
    const std::vector<std::string> base = {
        "labels", "--data", practice.filePath("mwddf.kdd").toStdString(), "--sql", sqlFile};

    struct Case {
        const char* name;
        std::vector<std::string> options;
        std::string output;
        int pages, firstPage, lastPage, sheets;
    };
    const Case cases[] = {
        {"named queue, two copies",
         {"--printer", kQueue, "--copies", "2"},
         std::string("2 pages sent to printer ") + kQueue + ", 2 copies\n",
         2,
         1,
         2,
         4},
        {"default printer, second page",
         {"--printer", "--pages", "2-2"},
         std::string("1 page sent to printer ") + kQueue + "\n",
         1,
         2,
         2,
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> args = base;
        args.insert(args.end(), c.options.begin(), c.options.end());
        const int jobsBefore = static_cast<int>(server_->FinishedJobs().size());
        std::ostringstream out, err;
        ASSERT_EQ(cli::Dispatch(args, out, err), 0) << err.str();
        EXPECT_EQ(out.str(), c.output);
        const auto job = server_->WaitForJob(jobsBefore);
        ASSERT_TRUE(job);
        EXPECT_EQ(job->second, c.sheets);  // pages times copies, as the server counted them
        CheckPrintedLabels(job->first, c.pages, ExpectedLines(rows, c.firstPage, c.lastPage));
    }

    // A queue that does not exist, a range past the end and a queue that refuses jobs: an error
    // each, and nothing printed.
    ASSERT_TRUE(RunProgram("cupsreject", {"-h", server_->Socket(), kQueue}));
    const int jobsBefore = static_cast<int>(QDir(server_->OutFolder()).entryList({"*.pdf"}).size());
    const std::pair<std::vector<std::string>, std::string> failures[] = {
        {{"--printer", "no-such-queue"}, "parvell-cli: Printer \"no-such-queue\" not found\n"},
        {{"--printer", "--pages", "3-4"},
         "parvell-cli: The labels have 2 pages, not one in the range 3-4\n"},
        {{"--printer", kQueue},
         std::string("parvell-cli: Printer \"") + kQueue +
             "\" did not take the job: Destination \"" + kQueue + "\" is not accepting jobs.\n"},
    };
    for (const auto& [options, message] : failures) {
        std::vector<std::string> args = base;
        args.insert(args.end(), options.begin(), options.end());
        std::ostringstream out, err;
        EXPECT_EQ(cli::Dispatch(args, out, err), 1) << message;
        EXPECT_EQ(err.str(), message);
        EXPECT_EQ(out.str(), "");
    }
    RunProgram("cupsaccept", {"-h", server_->Socket(), kQueue});
    EXPECT_EQ(QDir(server_->OutFolder()).entryList({"*.pdf"}).size(), jobsBefore);
}

// The job's PDF file goes to the queue from a private temporary folder, which is gone afterwards,
// whether the queue took the job or refused it.
TEST_F(PrintServer, LabelsCommandLeavesNoJobFileBehind) {
    QTemporaryDir practice, temp;
    ASSERT_TRUE(practice.isValid() && temp.isValid());
    test::MakePractice(practice.path().toStdString(),
                       {"CREATE TABLE addr (\"Name\" CHAR(30), \"Street 1\" CHAR(30), "
                        "\"Street 2\" CHAR(30), CityLine CHAR(30))",
                        "INSERT INTO addr VALUES ('Ann', '1 Elm St', '', 'DOVER, DE 19901')"});
    const std::string sqlFile = practice.filePath("labels.sql").toStdString();
    std::ofstream(sqlFile) << "SELECT * FROM addr";
    const std::vector<std::string> args = {
        "labels",    "--data", practice.filePath("mwddf.kdd").toStdString(), "--sql", sqlFile,
        "--printer", kQueue};
    const std::optional<QByteArray> savedTemp =
        qEnvironmentVariableIsSet("TMPDIR") ? std::optional(qgetenv("TMPDIR")) : std::nullopt;
    qputenv("TMPDIR", temp.path().toLocal8Bit());
    const int jobsBefore = static_cast<int>(server_->FinishedJobs().size());
    std::ostringstream out, err;
    EXPECT_EQ(cli::Dispatch(args, out, err), 0) << err.str();
    EXPECT_TRUE(QDir(temp.path()).isEmpty())
        << QDir(temp.path()).entryList().join(' ').toStdString();
    RunProgram("cupsreject", {"-h", server_->Socket(), kQueue});
    std::ostringstream refusedOut, refusedErr;
    EXPECT_EQ(cli::Dispatch(args, refusedOut, refusedErr), 1);
    RunProgram("cupsaccept", {"-h", server_->Socket(), kQueue});
    EXPECT_TRUE(QDir(temp.path()).isEmpty())
        << QDir(temp.path()).entryList().join(' ').toStdString();
    if (savedTemp) {
        qputenv("TMPDIR", *savedTemp);
    } else {
        qunsetenv("TMPDIR");
    }
    EXPECT_TRUE(server_->WaitForJob(jobsBefore));
}

// The preview window answers Printer setup from a script: the queue chosen there and a range.
class SetupDialogs : public TVRPreviewDialogs {
public:
    std::optional<QString> InputText(QWidget*, const QString&, const QString&,
                                     const QString&) override {
        return {};
    }
    QString SaveFileName(QWidget*, const QString&, const QString&, const QString&) override {
        return {};
    }
    QString OpenFileName(QWidget*, const QString&, const QString&) override { return {}; }
    void Message(QWidget*, const QString& text) override { ADD_FAILURE() << text.toStdString(); }
    void Error(QWidget*, const QString& text) override { ADD_FAILURE() << text.toStdString(); }
    bool PrintSetup(QWidget*, QPrinter& printer, int, int) override {
        offered = printer.printerName();
        printer.setPrintRange(QPrinter::PageRange);
        printer.setFromTo(2, 2);
        return true;
    }
    QString offered;
};

TEST_F(PrintServer, PreviewWindowPrintsOnTheQueue) {
    const std::vector<Address> rows = Addresses(35);
    MemoryDataSet data;
    for (const char* column : {"Name", "Street 1", "Street 2", "CityLine"})
        data.columns.push_back({column, ftString, 40});
    for (const Address& a : rows)
        data.rows.push_back({Str(a.name), Str(a.street1), Str(a.street2), Str(a.cityLine)});
    data.Open();
    TLabelReport labels(&data);
    SetupDialogs dialogs;
    InstallPreviewWindows();
    SetPreviewDialogs(&dialogs);

    // Print with the default printer, then Printer setup (page 2 only) and Print again.
    std::vector<std::pair<QString, int>> jobs;
    bool acted = false;
    std::function<void()> act = [&] {
        TVRStandardPreview* window = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* w = dynamic_cast<TVRStandardPreview*>(widget); w && w->isVisible())
                window = w;
        }
        if (!window || !window->ActionNamed("Print")->isEnabled()) {
            QTimer::singleShot(10, act);
            return;
        }
        acted = true;
        for (const bool setup : {false, true}) {
            if (setup) window->PrinterSetup();
            const int before = static_cast<int>(server_->FinishedJobs().size());
            window->PrintReport();
            if (const auto job = server_->WaitForJob(before)) jobs.push_back(*job);
        }
        window->close();
    };
    QTimer::singleShot(0, act);
    QTimer::singleShot(kWaitMs * 3, [] {
        for (QWidget* widget : QApplication::topLevelWidgets())
            widget->close();  // bounds the preview's wait
    });
    labels.VellRep1.Preview();
    QApplication::processEvents();
    SetPreviewDialogs(nullptr);
    TVellRep::SetWindowHost(nullptr);

    ASSERT_TRUE(acted);
    EXPECT_EQ(dialogs.offered, kQueue);  // the setup dialog opens on the default queue
    ASSERT_EQ(jobs.size(), 2u);
    EXPECT_EQ(jobs[0].second, 2);
    CheckPrintedLabels(jobs[0].first, 2, ExpectedLines(rows, 1, 2));
    EXPECT_EQ(jobs[1].second, 1);
    CheckPrintedLabels(jobs[1].first, 1, ExpectedLines(rows, 2, 2));
}

}  // namespace
}  // namespace parvell::testing
