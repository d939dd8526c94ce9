// parvell-cli extract: the window's Extract without the window. The statement runs through the
// same engine components and the file is written by the same writers, so the same statement and
// choices give the same bytes.

#include <charconv>
#include <filesystem>
#include <iostream>
#include <ostream>

#include "app/cli/Commands.h"
#include "app/cli/DryRun.h"
#include "app/cli/ExtractRun.h"
#include "app/cli/QueryCommands.h"
#include "extract/Extract.h"

namespace parvell::cli {
namespace {

constexpr const char* kUsage =
    "usage: parvell-cli extract --data PATH [--user U --password P]\n"
    "           (--sql FILE | --sql - | --builtin N) [--layout comma|fixed|tab]\n"
    "           [--no-header] [--record-number] --out FILE [--force]\n";

constexpr const char* kExecUsage =
    "usage: parvell-cli exec --data PATH [--user U --password P] (--sql FILE | --sql - | "
    "--builtin N)\n"
    "           [--dry-run [--show N]]\n";

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
                options.layout = LayoutNamed(*layout);
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
    TExtractRequest request;
    request.options = options;
    request.recordNumber = recordNumber;
    request.outFile = outFile;
    request.force = force;
    const TExtractRunResult run = RunExtract(components, request, err);
    if (run.status == 130) {
        err << "parvell-cli: interrupted; " << outFile << " holds the first " << run.result.records
            << " records\n";
    } else if (run.status == 0) {
        out << run.result.records << " records written to " << outFile << '\n';
    }
    return run.status;
}

int ExecCommand(CommandArgs args, std::ostream& out, std::ostream& err) {
    TStatementArgs statement;
    bool dryRun = false;
    int show = 0;
    try {
        for (std::size_t i = 0; i < args.size(); ++i) {
            if (TakeStatementArg(args, i, statement)) continue;
            if (args[i] == "--dry-run") {
                dryRun = true;
            } else if (auto count = OptionValue(args, i, "--show")) {
                int n = 0;
                const auto [end, error] =
                    std::from_chars(count->data(), count->data() + count->size(), n);
                if (error != std::errc() || end != count->data() + count->size() || n < 1) {
                    throw TUsageError("--show takes a number of rows from 1 up");
                }
                show = n;
            } else {
                throw TUsageError("unknown argument \"" + args[i] + "\"");
            }
        }
        CheckStatementArgs(statement, true);
        if (show > 0 && !dryRun) throw TUsageError("--show is taken with --dry-run only");
    } catch (const TUsageError& error) {
        err << "parvell-cli: exec: " << error.what() << '\n' << kExecUsage;
        return 2;
    }
    TQueryComponents components(statement, StatementLines(statement, std::cin), err);
    if (dryRun) return DryRun(components, show, out, err);
    components.Query().ExecSQL();
    out << components.Query().RowsAffected() << '\n';
    return 0;
}

}  // namespace parvell::cli
