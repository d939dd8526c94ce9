// parvell-cli labels: the label report of a statement's result written to a PDF file, through
// the same composition as the window's Labels preview.

#include <QFileInfo>
#include <QGuiApplication>
#include <iostream>
#include <memory>

#include "app/cli/Commands.h"
#include "app/cli/QueryCommands.h"
#include "report/LabelPdf.h"

namespace parvell::cli {

namespace {

constexpr const char* kUsage =
    "usage: parvell-cli labels --data PATH [--user U --password P] (--sql FILE | --sql - | --builtin N) "
    "--pdf FILE\n";

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
    try {
        for (std::size_t i = 0; i < args.size(); ++i) {
            if (TakeStatementArg(args, i, statement)) continue;
            if (auto file = OptionValue(args, i, "--pdf")) {
                pdfFile = *file;
            } else {
                throw TUsageError("unknown argument \"" + args[i] + "\"");
            }
        }
        CheckStatementArgs(statement, true);
        if (pdfFile.empty()) throw TUsageError("--pdf FILE is required");
    } catch (const TUsageError& error) {
        err << "parvell-cli labels: " << error.what() << '\n' << kUsage;
        return 2;
    }

    const auto application = EnsureGuiApplication();
    const std::vector<std::string> lines = StatementLines(statement, std::cin);
    TQueryComponents components(statement.username, statement.password, err);
    components.Prepare(statement.dataPath, lines);
    TKdbQuery& query = components.Query();
    query.SetActive(true);
    const int pages = RenderLabelsPdf(query, QFileInfo(QString::fromStdString(pdfFile)).absoluteFilePath());
    out << pages << (pages == 1 ? " page" : " pages") << " written to " << pdfFile << '\n';
    return 0;
}

}  // namespace parvell::cli
