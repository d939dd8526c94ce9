#include "app/cli/ExtractRun.h"

#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <ostream>
#include <set>

#include "extract/ExtractFile.h"
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

// The command line's answers to the writers: fixed choices, each unsupported column named once
// (when asked to), and a progress bar on standard error when that is a terminal.
class CliCallbacks : public TExtractCallbacks {
public:
    CliCallbacks(const TExtractRequest& request, bool recordNumber, std::ostream& err,
                 bool showProgress, int64_t maximum)
        : request_(request),
          recordNumber_(recordNumber),
          err_(err),
          showProgress_(showProgress),
          maximum_(maximum) {}

    bool HeaderRecordNumber() override { return recordNumber_; }
    bool LineRecordNumber() override { return recordNumber_; }
    void UnsupportedColumn(const std::string& fieldName) override {
        if (!request_.reportLeftOut || !reported_.insert(fieldName).second) return;
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
        err_ << '\r' << request_.progressLabel << '['
             << std::string(static_cast<std::size_t>(filled), '#')
             << std::string(static_cast<std::size_t>(kWidth - filled), '.') << "] " << percent
             << "% (" << position_ << " of " << maximum_ << " records)";
        if (request_.progressTail) err_ << request_.progressTail(position_, maximum_);
        err_ << std::flush;
        drawn_ = true;
    }

    const TExtractRequest& request_;
    bool recordNumber_;
    std::ostream& err_;
    bool showProgress_;
    int64_t maximum_;
    int64_t position_ = 0;
    int shownPercent_ = -1;
    bool drawn_ = false;
    std::set<std::string> reported_;
};

}  // namespace

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

TExtractRunResult RunExtract(TQueryComponents& components, const TExtractRequest& request,
                             std::ostream& err) {
    TExtractRunResult run;
    TKdbQuery& query = components.Query();
    query.SetActive(true);
    if (request.opened) request.opened(query);

    // As in the window, after the query has opened: only an existing file (not a folder) is
    // protected; with consent it is deleted, and a failed deletion abandons the run.
    const std::string target = FileNameOnDisk(request.outFile);
    std::error_code ec;
    if (std::filesystem::is_regular_file(target, ec)) {
        if (!request.force) {
            err << "parvell-cli: " << request.outFile
                << " already exists; choose another file name, or give --force to overwrite it\n";
            run.status = 1;
            return run;
        }
        if (!std::filesystem::remove(target, ec)) {
            err << "parvell-cli: Unable to delete previous file.\n";
            run.status = 1;
            return run;
        }
    }

    // The record number exists in the tab layout only (the window disables it for fixed length
    // and the comma writer never asks).
    const bool tabRecordNumber =
        request.recordNumber && request.options.layout == TExtractLayout::TabDelimited;
    // Only a progress bar needs the number of records, which waits for the whole result.
    const bool showProgress = ::isatty(STDERR_FILENO) == 1;
    CliCallbacks callbacks(request, tabRecordNumber, err, showProgress,
                           showProgress ? query.NumRecords() : 0);
    {
        InterruptGuard guard;
        try {
            run.result = ExtractToFile(query, request.outFile, request.options, callbacks);
        } catch (...) {
            callbacks.EndProgressLine();
            throw;
        }
    }
    callbacks.EndProgressLine();
    query.SetActive(false);
    if (run.result.cancelled) run.status = 130;
    return run;
}

TExtractLayout LayoutNamed(const std::string& name) {
    for (const TExtractLayout layout : {TExtractLayout::CommaDelimited, TExtractLayout::FixedLength,
                                        TExtractLayout::TabDelimited}) {
        if (name == LayoutName(layout)) return layout;
    }
    throw TUsageError("--layout is comma, fixed or tab");
}

const char* LayoutName(TExtractLayout layout) {
    switch (layout) {
        case TExtractLayout::FixedLength:
            return "fixed";
        case TExtractLayout::TabDelimited:
            return "tab";
        case TExtractLayout::CommaDelimited:
            break;
    }
    return "comma";
}

}  // namespace parvell::cli
