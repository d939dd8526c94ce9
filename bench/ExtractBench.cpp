// extract_bench [--patients N] [--path FOLDER] [--runs N] [--keep DIR] [--compare DIR] [--cli PATH]
//
// Extraction speed of the program's two roads on a demo practice: parvell-cli extract (a child
// process) and the main window's Extract offscreen (a child process running ExtractSQL with its
// per-record progress step and message pumping), for SELECT * FROM MWTRN and built-in statement 5
// ("Demographics Export v15"), in all three layouts. Next to them, on the same disk: the sqlite3
// shell writing the query as CSV with a header (the yardstick), and for SELECT * FROM MWTRN the
// ceiling extract_ceiling, a small C program that steps the query with SQLite and writes the
// comma lines parvell-cli writes. Every road runs --runs times (default 3), interleaved, and the
// best time of each counts. Prints records per second, MB per second of output, the peak resident
// memory of each child, and the ratios (time; below 1: faster): cli and ceiling against sqlite3,
// cli against the ceiling, window against cli.
//
// Bytes: the window's file must equal the cli's, and the ceiling's the cli's comma file; --keep
// DIR copies the cli's files to DIR, --compare DIR compares them with files kept earlier (by
// another build), so a change can be shown to leave every extract file as it was. The practice is
// made with parvell-demo in a temporary folder unless --path names one that exists. --cli runs
// another build's parvell-cli in place of this build's (the window road stays this build's).

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QStringList>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/shell/Dialogs.h"
#include "app/shell/Forms.h"
#include "app/shell/Unit3.h"
#include "app/shell/frmMainfrm.h"
#include "app/text/BuiltinSql.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

struct RunFigures {
    bool ok = false;
    double seconds = 0;
    long maxRssKb = 0;
};

// Runs a program with its output to outFile (or /dev/null) and its notes (columns left out,
// platform notices) appended to notesFile, and measures its wall time and peak memory.
RunFigures RunChild(const std::vector<std::string>& args, const std::string& outFile,
                    const std::string& notesFile = "children.stderr") {
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO,
                                     outFile.empty() ? "/dev/null" : outFile.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, notesFile.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0644);
    RunFigures figures;
    const auto start = Clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) return figures;
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    figures.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    figures.maxRssKb = usage.ru_maxrss;
    figures.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    posix_spawn_file_actions_destroy(&actions);
    return figures;
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) {
        text.replace(at, from.size(), to);
    }
    return text;
}

std::string Joined(const QStringList& lines, const char* separator) {
    std::string text;
    for (const QString& line : lines) text += line.toStdString() + separator;
    return text;
}

// Answers every box at once: the bench has no user.
class SilentDialogs : public parvell::Dialogs {
public:
    bool Confirm(const QString&) override { return true; }
    void Information(const QString&) override {}
    void Message(const QString&) override {}
    void Error(const QString& text) override {
        std::fprintf(stderr, "error: %s\n", text.toLocal8Bit().constData());
        failed = true;
    }
    bool OpenFileName(parvell::TOpenDialog&) override { return false; }
    bool failed = false;
};

// The child's side of a window run: ExtractSQL of the main window, offscreen.
int WindowRun(int argc, char** argv, const std::string& data, const std::string& sqlFile,
              int layout, const std::string& exportName) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    SilentDialogs dialogs;
    parvell::SetAppDialogs(&dialogs);
    parvell::CreateForms();
    parvell::TForm1& form = *parvell::Form1;
    std::ifstream in(sqlFile);
    QStringList lines;
    for (std::string line; std::getline(in, line);) lines << QString::fromStdString(line);
    form.Memo1->SetLines(lines);
    form.Edit1->setText(QString::fromStdString(data));
    form.DataExtract->setText(QString::fromStdString(exportName));
    form.RadioGroup1->SetItemIndex(layout);
    form.RadioGroup1Click();
    form.ExtractSQL();
    std::printf("%d\n", parvell::Form3->Position());
    parvell::DestroyForms();
    parvell::SetAppDialogs(nullptr);
    return dialogs.failed ? 1 : 0;
}

bool SameBytes(const std::string& a, const std::string& b) {
    std::ifstream first(a, std::ios::binary);
    std::ifstream second(b, std::ios::binary);
    if (!first || !second) return false;
    std::vector<char> x(1 << 20);
    std::vector<char> y(1 << 20);
    for (;;) {
        first.read(x.data(), static_cast<std::streamsize>(x.size()));
        second.read(y.data(), static_cast<std::streamsize>(y.size()));
        if (first.gcount() != second.gcount()) return false;
        if (first.gcount() == 0) return true;
        if (std::memcmp(x.data(), y.data(), static_cast<std::size_t>(first.gcount())) != 0)
            return false;
    }
}

double FileBytes(const std::string& path) {
    return std::filesystem::exists(path) ? static_cast<double>(std::filesystem::file_size(path))
                                         : 0;
}

long FirstNumber(const std::string& path) {
    long value = 0;
    std::ifstream(path) >> value;
    return value;
}

// The best of several runs of one road.
struct Road {
    RunFigures best;
    int runs = 0;
    bool failed = false;
    void Add(const RunFigures& figures) {
        if (!figures.ok) failed = true;
        if (runs == 0 || figures.seconds < best.seconds) best = figures;
        best.maxRssKb = std::max(best.maxRssKb, figures.maxRssKb);
        ++runs;
    }
};

void PrintRow(const char* query, const char* layout, const char* road, long records,
              const Road& figures, double bytes, const std::string& ratios) {
    std::printf("%-27s %-6s %-8s %9ld %8.2f %10.0f %8.1f %8.1f  %s%s\n", query, layout, road,
                records, figures.best.seconds, records / figures.best.seconds,
                bytes / 1e6 / figures.best.seconds, figures.best.maxRssKb / 1024.0, ratios.c_str(),
                figures.failed ? " FAILED" : "");
}

std::string Ratio(const char* name, double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%s %.2f  ", name, value);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 6 && std::string(argv[1]) == "--window-run") {
        return WindowRun(argc, argv, argv[2], argv[3], std::atoi(argv[4]), argv[5]);
    }
    int patients = 100000;
    int runs = 3;
    std::string folder;
    std::string keep;
    std::string compare;
    std::string cliBin = PARVELL_CLI_BIN;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--patients") patients = std::atoi(argv[i + 1]);
        if (arg == "--path") folder = argv[i + 1];
        if (arg == "--runs") runs = std::max(1, std::atoi(argv[i + 1]));
        if (arg == "--keep") keep = argv[i + 1];
        if (arg == "--compare") compare = argv[i + 1];
        if (arg == "--cli") cliBin = argv[i + 1];
    }
    if (folder.empty()) {
        folder = (std::filesystem::temp_directory_path() / "parvell-extract-bench").string();
    }
    const std::string dictionary = folder + "/mwddf.kdd";
    if (!std::filesystem::exists(dictionary)) {
        std::filesystem::create_directories(folder);
        const auto start = Clock::now();
        if (!RunChild(
                 {PARVELL_DEMO_BIN, folder, "--patients", std::to_string(patients), "--seed", "1"},
                 "", folder + "/demo.stderr")
                 .ok) {
            return 1;
        }
        std::printf("demo practice of %d patients written in %.1f s\n", patients,
                    std::chrono::duration<double>(Clock::now() - start).count());
    }
    if (!keep.empty()) std::filesystem::create_directories(keep);
    // The window writes below the practice folder the store names; here the output folder is
    // "Export" below the working folder, the bench's scratch folder.
    const std::string scratch = folder + "/bench";
    std::filesystem::create_directories(scratch + "/Export");
    std::filesystem::current_path(scratch);
    setenv("XDG_CONFIG_HOME", (scratch + "/config").c_str(), 1);

    const std::string demographics = Joined(parvell::DemoExportv15Lines(), "\n");
    const std::string demographicsShell =
        Replace(Replace(Replace(Replace(Replace(demographics, "\n", " "), "[", "\""), "]", "\""),
                        "Left(", "substr("),
                ", 1)", ", 1, 1)");
    struct Query {
        const char* name;
        const char* fileName;
        std::string sql;
        std::string shell;
        bool ceiling;
    };
    const std::vector<Query> queries = {
        {"SELECT * FROM MWTRN", "mwtrn", "SELECT * FROM MWTRN\n", "SELECT * FROM MWTRN", true},
        {"builtin 5 Demographics v15", "builtin5", demographics, demographicsShell, false},
    };
    const char* layouts[] = {"comma", "fixed", "tab"};
    const std::string self = std::filesystem::canonical("/proc/self/exe").string();
    bool allSame = true;

    std::printf("best of %d runs each, interleaved\n", runs);
    std::printf("%-27s %-6s %-8s %9s %8s %10s %8s %8s  %s\n", "query", "layout", "road", "records",
                "seconds", "records/s", "MB/s", "peak MB", "ratios");
    for (const Query& q : queries) {
        const std::string sqlFile = scratch + "/query.sql";
        std::ofstream(sqlFile) << q.sql;
        const std::string shellOut = scratch + "/shell.csv";
        const std::string ceilingOut = scratch + "/ceiling.csv";
        const std::string ceilingRecords = scratch + "/ceiling.stdout";
        Road shell;
        Road ceiling;
        Road cli[3];
        Road window[3];
        bool windowSame[3] = {true, true, true};
        bool keptSame[3] = {true, true, true};
        bool ceilingSame = true;
        long cliCount[3] = {0, 0, 0};
        long windowCount[3] = {0, 0, 0};
        double cliBytes[3] = {0, 0, 0};
        double windowBytes[3] = {0, 0, 0};
        for (int run = 0; run < runs; ++run) {
            shell.Add(
                RunChild({"/usr/bin/sqlite3", "-csv", "-header", dictionary, q.shell}, shellOut));
            if (q.ceiling) {
                ceiling.Add(RunChild({EXTRACT_CEILING_BIN, dictionary, q.shell, ceilingOut},
                                     ceilingRecords));
            }
            for (int layout = 0; layout < 3; ++layout) {
                const std::string cliOut = scratch + "/cli." + layouts[layout];
                const std::string cliRecords = scratch + "/cli.stdout";
                cli[layout].Add(RunChild({cliBin, "extract", "--data", dictionary, "--sql", sqlFile,
                                          "--layout", layouts[layout], "--out", cliOut, "--force"},
                                         cliRecords));
                cliCount[layout] = FirstNumber(cliRecords);
                cliBytes[layout] = FileBytes(cliOut);

                const std::string windowName = std::string("window.") + layouts[layout];
                const std::string windowOut = scratch + "/Export/" + windowName;
                std::filesystem::remove(windowOut);
                const std::string windowRecords = scratch + "/window.stdout";
                window[layout].Add(RunChild(
                    {self, "--window-run", dictionary, sqlFile, std::to_string(layout), windowName},
                    windowRecords));
                windowCount[layout] = FirstNumber(windowRecords);
                windowBytes[layout] = FileBytes(windowOut);
                if (run == 0) {
                    windowSame[layout] = SameBytes(cliOut, windowOut);
                    if (q.ceiling && layout == 0) ceilingSame = SameBytes(cliOut, ceilingOut);
                    const std::string kept = std::string(q.fileName) + "." + layouts[layout];
                    if (!keep.empty()) {
                        std::filesystem::copy_file(
                            cliOut, keep + "/" + kept,
                            std::filesystem::copy_options::overwrite_existing);
                    }
                    if (!compare.empty())
                        keptSame[layout] = SameBytes(cliOut, compare + "/" + kept);
                }
            }
        }
        long records = 0;
        {
            std::ifstream countIn(shellOut);
            for (std::string line; std::getline(countIn, line);)
                ++records;               // rough: no breaks in values
            if (records > 0) --records;  // the header
        }
        const double s = shell.best.seconds;
        PrintRow(q.name, "csv", "sqlite3", records, shell, FileBytes(shellOut), "");
        if (q.ceiling) {
            PrintRow(q.name, "comma", "ceiling", FirstNumber(ceilingRecords), ceiling,
                     FileBytes(ceilingOut),
                     Ratio("/sqlite3", ceiling.best.seconds / s) +
                         (ceilingSame ? "" : "(bytes differ from cli) "));
        }
        for (int layout = 0; layout < 3; ++layout) {
            std::string ratios = Ratio("/sqlite3", cli[layout].best.seconds / s);
            if (q.ceiling)
                ratios += Ratio("/ceiling", cli[layout].best.seconds / ceiling.best.seconds);
            if (!compare.empty())
                ratios += keptSame[layout] ? "(same bytes as kept) " : "(bytes differ from kept) ";
            PrintRow(q.name, layouts[layout], "cli", cliCount[layout], cli[layout],
                     cliBytes[layout], ratios);
            PrintRow(q.name, layouts[layout], "window", windowCount[layout], window[layout],
                     windowBytes[layout],
                     Ratio("/cli", window[layout].best.seconds / cli[layout].best.seconds) +
                         (windowSame[layout] ? "" : "(bytes differ from cli)"));
            allSame = allSame && windowSame[layout] && keptSame[layout];
        }
        allSame = allSame && ceilingSame;
    }
    std::printf("bytes: %s\n", allSame ? "every compared file is the same"
                                       : "SOME FILES DIFFER (see the rows marked)");
    return 0;
}
