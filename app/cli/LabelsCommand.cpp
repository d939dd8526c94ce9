// parvell-cli labels: the label report of a statement's result written to a PDF file or sent to
// a print queue, through the same composition as the window's Labels preview.

#include <QFileInfo>
#include <QGuiApplication>
#include <charconv>
#include <iostream>
#include <memory>
#include <optional>

#include "app/cli/Commands.h"
#include "app/cli/QueryCommands.h"
#include "report/LabelPdf.h"
#include "report/LabelPrint.h"

namespace parvell::cli {

namespace {

constexpr const char* kUsage =
    "usage: parvell-cli labels --data PATH [--user U --password P] (--sql FILE | --sql - | "
    "--builtin N) "
    "(--pdf FILE | --printer [NAME] [--copies N] [--pages FROM-TO])\n";

// A whole number from 1 to max, all of text; nullopt otherwise.
std::optional<int> WholeNumber(std::string_view text, int max) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 1 || value > max)
        return std::nullopt;
    return value;
}

// "--pages FROM-TO" or "--pages N" into the job's page range.
void TakePageRange(const std::string& text, TLabelPrintJob& job) {
    constexpr int kMaxPage = 1000000;
    const std::size_t dash = text.find('-');
    const auto from = WholeNumber(std::string_view(text).substr(0, dash), kMaxPage);
    const auto to = dash == std::string::npos
                        ? from
                        : WholeNumber(std::string_view(text).substr(dash + 1), kMaxPage);
    if (!from || !to || *to < *from) {
        throw TUsageError("--pages takes FROM-TO or one page number, counted from 1, not \"" +
                          text + "\"");
    }
    job.FirstPage = *from;
    job.LastPage = *to;
}

// Fonts and PDF output need a Gui application; a terminal has no display, so offscreen.
std::unique_ptr<QGuiApplication> EnsureGuiApplication() {
    if (QCoreApplication::instance()) return nullptr;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "parvell-cli";
    static char* argv[] = {name, nullptr};
    return std::make_unique<QGuiApplication>(argc, argv);
}

}  // namespace

int LabelsCommand(CommandArgs args, std::ostream& out, std::ostream& err) {
    TStatementArgs statement;
    std::string pdfFile;
    std::optional<TLabelPrintJob> printJob;
    bool jobOptions = false;
    try {
        for (std::size_t i = 0; i < args.size(); ++i) {
            if (TakeStatementArg(args, i, statement)) continue;
            if (auto file = OptionValue(args, i, "--pdf")) {
                pdfFile = *file;
            } else if (args[i] == "--printer" || args[i].starts_with("--printer=")) {
                // The name may be left out: then the default printer prints.
                printJob.emplace(printJob.value_or(TLabelPrintJob()));
                if (args[i] != "--printer") {
                    printJob->PrinterName = args[i].substr(10);
                } else if (i + 1 < args.size() && !args[i + 1].starts_with("-")) {
                    printJob->PrinterName = args[++i];
                }
            } else if (auto copies = OptionValue(args, i, "--copies")) {
                const auto count = WholeNumber(*copies, 999);
                if (!count)
                    throw TUsageError("--copies takes a number from 1 to 999, not \"" + *copies +
                                      "\"");
                printJob.emplace(printJob.value_or(TLabelPrintJob())).Copies = *count;
                jobOptions = true;
            } else if (auto pages = OptionValue(args, i, "--pages")) {
                TakePageRange(*pages, printJob.emplace(printJob.value_or(TLabelPrintJob())));
                jobOptions = true;
            } else {
                throw TUsageError("unknown argument \"" + args[i] + "\"");
            }
        }
        CheckStatementArgs(statement, true);
        if (!pdfFile.empty() && printJob) {
            throw TUsageError(jobOptions ? "--copies and --pages are for --printer, not --pdf"
                                         : "give --pdf FILE or --printer, not both");
        }
        if (pdfFile.empty() && !printJob)
            throw TUsageError("--pdf FILE or --printer [NAME] is required");
    } catch (const TUsageError& error) {
        err << "parvell-cli: labels: " << error.what() << '\n' << kUsage;
        return 2;
    }

    const auto application = EnsureGuiApplication();
    TQueryComponents components(statement, StatementLines(statement, std::cin), err);
    TKdbQuery& query = components.Query();
    query.SetActive(true);
    if (printJob) {
        const TLabelPrintResult printed = PrintLabels(query, *printJob);
        out << printed.PagesPrinted << (printed.PagesPrinted == 1 ? " page" : " pages")
            << " sent to printer " << printed.PrinterName;
        if (printJob->Copies > 1) out << ", " << printJob->Copies << " copies";
        out << '\n';
        return 0;
    }
    const int pages =
        RenderLabelsPdf(query, QFileInfo(QString::fromStdString(pdfFile)).absoluteFilePath());
    out << pages << (pages == 1 ? " page" : " pages") << " written to " << pdfFile << '\n';
    return 0;
}

}  // namespace parvell::cli
