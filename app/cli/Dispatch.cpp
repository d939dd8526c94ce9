#include "app/cli/Commands.h"

#include <exception>
#include <ostream>

#include "common/Exceptions.h"
#include "settings/CodePage.h"

namespace parvell::cli {

namespace {

// Add a command here: one row, one function.
constexpr Command kCommands[] = {
    {"practice", "[PATH]",
     "print the current practice folder, or set it to PATH (the folder of the practice's data)",
     &PracticeCommand},
    {"query", "--data PATH [--user U --password P] (--sql FILE | --sql -)",
     "run the SQL of FILE (or standard input) on the data at PATH and print the result",
     &QueryCommand},
    {"extract",
     "--data PATH [--user U --password P] (--sql FILE | --sql - | --builtin N) "
     "[--layout comma|fixed|tab] [--no-header] [--record-number] --out FILE [--force]",
     "run a statement and write its result as the window's Extract does (builtin N: the N-th "
     "item of the SQL Statements menu, 1 to 7)",
     &ExtractCommand},
    {"exec", "--data PATH [--user U --password P] (--sql FILE | --sql -)",
     "run a statement without a result set (an UPDATE) and print the number of rows it affected",
     &ExecCommand},
    {"labels", "--data PATH [--user U --password P] (--sql FILE | --sql - | --builtin N) --pdf FILE",
     "run a statement and write its mailing labels (three across on US Letter) to a PDF file",
     &LabelsCommand},
};

void PrintHelp(std::ostream& out) {
    out << "usage: parvell-cli COMMAND [ARGUMENTS]\n\ncommands:\n";
    for (const Command& command : kCommands) {
        out << "  " << command.name << ' ' << command.usage << "\n      " << command.summary << '\n';
    }
}

}  // namespace

std::span<const Command> AllCommands() {
    return kCommands;
}

int Dispatch(CommandArgs args, std::ostream& out, std::ostream& err) {
    if (args.empty()) {
        PrintHelp(err);
        return 2;
    }
    if (args[0] == "help" || args[0] == "--help" || args[0] == "-h") {
        PrintHelp(out);
        return 0;
    }
    for (const Command& command : kCommands) {
        if (args[0] != command.name) continue;
        try {
            return command.run(args.subspan(1), out, err);
        } catch (const Exception& e) {
            // Program messages are single-byte text; the terminal speaks UTF-8.
            err << "parvell-cli: " << store::Utf8FromCp1252(e.Message()) << '\n';
            return 1;
        } catch (const std::exception& e) {
            err << "parvell-cli: " << e.what() << '\n';
            return 1;
        }
    }
    err << "parvell-cli: unknown command \"" << args[0] << "\"\n";
    PrintHelp(err);
    return 2;
}

}  // namespace parvell::cli
