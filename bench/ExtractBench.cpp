// extract_bench [--patients N] [--path FOLDER] [--runs-only comma|fixed|tab]
//
// Extraction speed of the program's two roads on a demo practice: parvell-cli extract (a child
// process) and the main window's Extract offscreen (a child process running ExtractSQL with its
// per-record progress step and message pumping), for SELECT * FROM MWTRN and built-in statement 5
// ("Demographics Export v15"), in all three layouts. Next to them the sqlite3 shell writes the same
// query as CSV into a file on the same disk. Prints records per second, MB per second of output,
// the peak resident memory of each child, and the ratios CLI / sqlite3 and window / CLI (time;
// below 1: faster). The practice is made with parvell-demo in a temporary folder unless --path
// names one that exists.

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QStringList>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/BuiltinSql.h"
#include "app/Dialogs.h"
#include "app/Forms.h"
#include "app/Unit3.h"
#include "app/frmMainfrm.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

struct RunFigures {
    bool ok = false;
    double seconds = 0;
    long maxRssKb = 0;
};

// Runs a program with its output to outFile (or /dev/null) and measures its wall time and peak
// memory.
RunFigures RunChild(const std::vector<std::string>& args, const std::string& outFile) {
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO,
                                     outFile.empty() ? "/dev/null" : outFile.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
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

}  // namespace

int main(int argc, char** argv) {
    if (argc == 6 && std::string(argv[1]) == "--window-run") {
        return WindowRun(argc, argv, argv[2], argv[3], std::atoi(argv[4]), argv[5]);
    }
    int patients = 100000;
    std::string folder;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--patients") patients = std::atoi(argv[i + 1]);
        if (arg == "--path") folder = argv[i + 1];
    }
    if (folder.empty()) {
        folder = (std::filesystem::temp_directory_path() / "parvell-extract-bench").string();
    }
    const std::string dictionary = folder + "/mwddf.kdd";
    if (!std::filesystem::exists(dictionary)) {
        std::filesystem::create_directories(folder);
        const auto start = Clock::now();
        if (!RunChild({PARVELL_DEMO_BIN, folder, "--patients", std::to_string(patients), "--seed",
                       "1"},
                      "")
                 .ok) {
            return 1;
        }
        std::printf("demo practice of %d patients written in %.1f s\n", patients,
                    std::chrono::duration<double>(Clock::now() - start).count());
    }
    // The window writes below the practice folder the store names; here the output folder is
    // "Export" below the working folder, the bench's scratch folder.
    const std::string scratch = folder + "/bench";
    std::filesystem::create_directories(scratch + "/Export");
    std::filesystem::current_path(scratch);
    setenv("XDG_CONFIG_HOME", (scratch + "/config").c_str(), 1);

    const std::string demographics = Joined(parvell::DemoExportv15Lines(), "\n");
    const std::string demographicsShell = Replace(
        Replace(Replace(Replace(Replace(demographics, "\n", " "), "[", "\""), "]", "\""), "Left(",
                "substr("),
        ", 1)", ", 1, 1)");
    struct Query {
        const char* name;
        std::string sql;
        std::string shell;
    };
    const std::vector<Query> queries = {
        {"SELECT * FROM MWTRN", "SELECT * FROM MWTRN\n", "SELECT * FROM MWTRN"},
        {"builtin 5 Demographics v15", demographics, demographicsShell},
    };
    const char* layouts[] = {"comma", "fixed", "tab"};
    const std::string self = std::filesystem::canonical("/proc/self/exe").string();

    std::printf("%-27s %-6s %-7s %9s %8s %10s %8s %8s %9s\n", "query", "layout", "road", "records",
                "seconds", "records/s", "MB/s", "peak MB", "ratio");
    for (const Query& q : queries) {
        const std::string sqlFile = scratch + "/query.sql";
        std::ofstream(sqlFile) << q.sql;
        const std::string shellOut = scratch + "/shell.csv";
        const RunFigures shell =
            RunChild({"/usr/bin/sqlite3", "-csv", dictionary, q.shell}, shellOut);
        const double shellBytes = static_cast<double>(std::filesystem::file_size(shellOut));
        long records = 0;
        {
            std::ifstream countIn(shellOut);
            for (std::string line; std::getline(countIn, line);) ++records;  // rough: no breaks in values
        }
        std::printf("%-27s %-6s %-7s %9ld %8.2f %10.0f %8.1f %8.1f %9s\n", q.name, "csv", "sqlite3",
                    records, shell.seconds, records / shell.seconds,
                    shellBytes / 1e6 / shell.seconds, shell.maxRssKb / 1024.0, "1.00");
        for (int layout = 0; layout < 3; ++layout) {
            const std::string cliOut = scratch + "/cli.txt";
            const std::string cliRecords = scratch + "/cli.stdout";
            const RunFigures cli = RunChild({PARVELL_CLI_BIN, "extract", "--data", dictionary,
                                             "--sql", sqlFile, "--layout", layouts[layout],
                                             "--out", cliOut, "--force"},
                                            cliRecords);
            long cliCount = 0;
            std::ifstream(cliRecords) >> cliCount;
            const double cliBytes = static_cast<double>(std::filesystem::file_size(cliOut));
            std::printf("%-27s %-6s %-7s %9ld %8.2f %10.0f %8.1f %8.1f %9.2f%s\n", q.name,
                        layouts[layout], "cli", cliCount, cli.seconds, cliCount / cli.seconds,
                        cliBytes / 1e6 / cli.seconds, cli.maxRssKb / 1024.0,
                        cli.seconds / shell.seconds, cli.ok ? "" : " FAILED");

            const std::string windowName = std::string("window.") + layouts[layout];
            std::filesystem::remove(scratch + "/Export/" + windowName);
            const std::string windowRecords = scratch + "/window.stdout";
            const RunFigures window =
                RunChild({self, "--window-run", dictionary, sqlFile, std::to_string(layout),
                          windowName},
                         windowRecords);
            long windowCount = 0;
            std::ifstream(windowRecords) >> windowCount;
            const std::string windowOut = scratch + "/Export/" + windowName;
            const double windowBytes = std::filesystem::exists(windowOut)
                                           ? static_cast<double>(std::filesystem::file_size(windowOut))
                                           : 0;
            std::printf("%-27s %-6s %-7s %9ld %8.2f %10.0f %8.1f %8.1f %9.2f%s%s\n", q.name,
                        layouts[layout], "window", windowCount, window.seconds,
                        windowCount / window.seconds, windowBytes / 1e6 / window.seconds,
                        window.maxRssKb / 1024.0, window.seconds / cli.seconds,
                        window.ok ? "" : " FAILED",
                        windowBytes == cliBytes ? "" : " (bytes differ from cli)");
        }
    }
    std::printf("ratio: cli and sqlite3 rows against sqlite3's time, window rows against the cli's\n");
    return 0;
}
