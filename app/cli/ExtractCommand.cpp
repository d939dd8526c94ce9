// parvell-cli extract: the window's Extract without the window. The statement runs through the
// same engine components and the file is written by the same writers, so the same statement and
// choices give the same bytes.

#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <iostream>
#include <ostream>
#include <set>

#include "app/cli/Commands.h"
#include "app/cli/QueryCommands.h"
#include "extract/Extract.h"
#include "extract/Progress.h"
#include "settings/CodePage.h"

namespace parvell::cli {
namespace {

volatile std::sig_atomic_t interrupted = 0;

extern "C" void OnInterrupt(int) {
    interrupted = 1;
}

// Ctrl-C during the run stops it after the current line; the file keeps the lines written.
class InterruptGuard {
public:
    InterruptGuard() {
        interrupted = 0;
        previous_ = std::signal(SIGINT, OnInterrupt);
    }
    ~InterruptGuard() { std::signal(SIGINT, previous_); }

private:
    void (*previous_)(int);
};

// The command line's answers to the writers: fixed choices, each unsupported column named once,
// and a progress bar on standard error when that is a terminal.
class CliCallbacks : public TExtractCallbacks {
public:
    CliCallbacks(bool recordNumber, std::ostream& err, bool showProgress, int64_t maximum)
        : recordNumber_(recordNumber), err_(err), showProgress_(showProgress), maximum_(maximum) {}

    bool HeaderRecordNumber() override { return recordNumber_; }
    bool LineRecordNumber() override { return recordNumber_; }
    void UnsupportedColumn(const std::string& fieldName) override {
        if (!reported_.insert(fieldName).second) return;
        EndProgressLine();
        err_ << "parvell-cli: column \"" << store::Utf8FromCp1252(fieldName)
             << "\" has a type this layout does not write; it is left out\n";
    }
    bool RecordWritten() override {
        ++position_;
        if (showProgress_) {
            const int percent = ProgressPercent(position_, maximum_);
            if (percent != shownPercent_) {
                shownPercent_ = percent;
                DrawProgress(percent);
            }
        }
        return interrupted == 0;
    }
    void EndProgressLine() {
        if (drawn_) err_ << "\r\033[K" << std::flush;
        drawn_ = false;
        shownPercent_ = -1;
    }

private:
    void DrawProgress(int percent) {
        constexpr int kWidth = 40;
        const int filled = std::min(kWidth, percent * kWidth / 100);
        err_ << "\r[" << std::string(static_cast<std::size_t>(filled), '#')
             << std::string(static_cast<std::size_t>(kWidth - filled), '.') << "] " << percent
             << "% (" << position_ << " of " << maximum_ << " records)" << std::flush;
        drawn_ = true;
    }

    bool recordNumber_;
    std::ostream& err_;
    bool showProgress_;
    int64_t maximum_;
    int64_t position_ = 0;
    int shownPercent_ = -1;
    bool drawn_ = false;
    std::set<std::string> reported_;
};

// What a name that exists but is not a regular file is, for the message that refuses it; empty
// for a regular file or a name that does not exist.
std::string NotAFile(const std::string& target) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status status = fs::status(target, ec);
    if (ec || !fs::exists(status) || fs::is_regular_file(status)) return {};
    if (fs::is_directory(status)) return "a folder";
    if (fs::is_fifo(status)) return "a pipe";
    if (fs::is_block_file(status) || fs::is_character_file(status)) return "a device";
    if (fs::is_socket(status)) return "a socket";
    return "not a regular file";
}

constexpr const char* kUsage =
    "usage: parvell-cli extract --data PATH [--user U --password P]\n"
    "           (--sql FILE | --sql - | --builtin N) [--layout comma|fixed|tab]\n"
    "           [--no-header] [--record-number] --out FILE [--force]\n";

}  // namespace

int ExtractCommand(CommandArgs args, std::ostream& out, std::ostream& err) {
    TStatementArgs statement;
    TExtractOptions options;
    bool recordNumber = false;
    bool force = false;
    std::string outFile;
    try {
        for (std::size_t i = 0; i < args.size(); ++i) {
            if (TakeStatementArg(args, i, statement)) continue;
            if (auto layout = OptionValue(args, i, "--layout")) {
                if (*layout == "comma") {
                    options.layout = TExtractLayout::CommaDelimited;
                } else if (*layout == "fixed") {
                    options.layout = TExtractLayout::FixedLength;
                } else if (*layout == "tab") {
                    options.layout = TExtractLayout::TabDelimited;
                } else {
                    throw TUsageError("--layout is comma, fixed or tab");
                }
            } else if (auto file = OptionValue(args, i, "--out")) {
                outFile = *file;
            } else if (args[i] == "--no-header") {
                options.createHeader = false;
            } else if (args[i] == "--record-number") {
                recordNumber = true;
            } else if (args[i] == "--force") {
                force = true;
            } else {
                throw TUsageError("unknown argument \"" + args[i] + "\"");
            }
        }
        CheckStatementArgs(statement, true);
        if (outFile.empty()) throw TUsageError("--out FILE is required");
    } catch (const TUsageError& error) {
        err << "parvell-cli: extract: " << error.what() << '\n' << kUsage;
        return 2;
    }

    // Only a regular file can take the lines: writing into a pipe would wait for a reader, and a
    // folder or device cannot be replaced. Refused before the statement runs.
    if (const std::string kind = NotAFile(FileNameOnDisk(outFile)); !kind.empty()) {
        err << "parvell-cli: " << outFile << " is " << kind
            << ", not a file; choose another file name\n";
        return 1;
    }
    // The command line makes no folders (the window makes only its Export folder): a file in a
    // folder that is not there is refused by name, before the statement runs.
    {
        namespace fs = std::filesystem;
        const fs::path folder = fs::path(FileNameOnDisk(outFile)).parent_path();
        std::error_code ec;
        if (!folder.empty() && !fs::is_directory(folder, ec)) {
            err << "parvell-cli: cannot create " << outFile << ": the folder " << folder.string()
                << (fs::exists(folder, ec) ? " is not a folder\n" : " does not exist\n");
            return 1;
        }
    }

    // The engine steps the query on a second thread while this one writes the file: the two
    // halves of the work overlap. A failure of the query after its first records then ends the
    // run as a failed write would: the file keeps the complete lines written before it.
    FillQueryCursorsInBackground(true);
    TQueryComponents components(statement, StatementLines(statement, std::cin), err);
    TKdbQuery& query = components.Query();
    query.SetActive(true);

    // As in the window, after the query has opened: only an existing file (not a folder) is
    // protected; with consent it is deleted, and a failed deletion abandons the run.
    const std::string target = FileNameOnDisk(outFile);
    std::error_code ec;
    if (std::filesystem::is_regular_file(target, ec)) {
        if (!force) {
            err << "parvell-cli: " << outFile
                << " already exists; choose another file name, or give --force to overwrite it\n";
            return 1;
        }
        if (!std::filesystem::remove(target, ec)) {
            err << "parvell-cli: Unable to delete previous file.\n";
            return 1;
        }
    }

    // The record number exists in the tab layout only (the window disables it for fixed length
    // and the comma writer never asks).
    const bool tabRecordNumber = recordNumber && options.layout == TExtractLayout::TabDelimited;
    // Only a progress bar needs the number of records, which waits for the whole result.
    const bool showProgress = ::isatty(STDERR_FILENO) == 1;
    CliCallbacks callbacks(tabRecordNumber, err, showProgress,
                           showProgress ? query.NumRecords() : 0);
    TExtractResult result;
    {
        InterruptGuard guard;
        try {
            result = ExtractToFile(query, outFile, options, callbacks);
        } catch (...) {
            callbacks.EndProgressLine();
            throw;
        }
    }
    callbacks.EndProgressLine();
    query.SetActive(false);
    if (result.cancelled) {
        err << "parvell-cli: interrupted; " << outFile << " holds the first " << result.records
            << " records\n";
        return 130;
    }
    out << result.records << " records written to " << outFile << '\n';
    return 0;
}

int ExecCommand(CommandArgs args, std::ostream& out, std::ostream& err) {
    TStatementArgs statement;
    try {
        for (std::size_t i = 0; i < args.size(); ++i) {
            if (!TakeStatementArg(args, i, statement)) {
                throw TUsageError("unknown argument \"" + args[i] + "\"");
            }
        }
        CheckStatementArgs(statement, true);
    } catch (const TUsageError& error) {
        err << "parvell-cli: exec: " << error.what() << '\n'
            << "usage: parvell-cli exec --data PATH [--user U --password P] (--sql FILE | --sql "
               "-)\n";
        return 2;
    }
    TQueryComponents components(statement, StatementLines(statement, std::cin), err);
    components.Query().ExecSQL();
    out << components.Query().RowsAffected() << '\n';
    return 0;
}

}  // namespace parvell::cli
