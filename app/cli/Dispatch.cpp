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
    {"dump",
     "--data PATH [--user U --password P] --out FOLDER [--layout comma|fixed|tab] [--no-header] "
     "[--record-number] [--tables T1,T2,...] [--resume] [--keep-going]",
     "write every table of the practice (or those of --tables) into FOLDER as extract writes "
     "SELECT * FROM the table, with a manifest (manifest.csv, manifest.json) of each file's "
     "columns, rows, size and SHA-256; --resume checks the files of a dump that stopped and goes "
     "on; --keep-going skips a table that fails",
     &DumpCommand},
    {"exec",
     "--data PATH [--user U --password P] (--sql FILE | --sql - | --builtin N) "
     "[--dry-run [--show N]]",
     "run a statement without a result set (an UPDATE) and print the number of rows it affected; "
     "with --dry-run it runs inside a transaction that is rolled back, and --show N prints the "
     "first N changed rows before and after",
     &ExecCommand},
    {"labels",
     "--data PATH [--user U --password P] (--sql FILE | --sql - | --builtin N) "
     "(--pdf FILE | --printer [NAME] [--copies N] [--pages FROM-TO])",
     "run a statement and print its mailing labels (three across on US Letter) into a PDF file "
     "or on a printer (without NAME: the default printer)",
     &LabelsCommand},
};

void PrintHelp(std::ostream& out) {
    out << "usage: parvell-cli COMMAND [ARGUMENTS]\n"
           "       parvell-cli help [COMMAND] | --help | --version\n\ncommands:\n";
    for (const Command& command : kCommands) {
        out << "  " << command.name << ' ' << command.usage << "\n      " << command.summary
            << '\n';
    }
    out << "\nexit status: 0 success, 1 failure, 2 usage error (see parvell-cli(1))\n";
}

void PrintCommandHelp(const Command& command, std::ostream& out) {
    out << "usage: parvell-cli " << command.name << ' ' << command.usage << "\n  "
        << command.summary << '\n';
}

const Command* FindCommand(const std::string& name) {
    for (const Command& command : kCommands) {
        if (name == command.name) return &command;
    }
    return nullptr;
}

bool IsHelpOption(const std::string& arg) {
    return arg == "--help" || arg == "-h";
}

int UnknownCommand(const std::string& name, std::ostream& err) {
    err << "parvell-cli: unknown command \"" << name << "\"\n";
    PrintHelp(err);
    return 2;
}

}  // namespace

std::span<const Command> AllCommands() {
    return kCommands;
}

int Dispatch(CommandArgs args, std::ostream& out, std::ostream& err) {
    if (args.empty()) {
        err << "parvell-cli: no command given\n";
        PrintHelp(err);
        return 2;
    }
    if (IsHelpOption(args[0])) {
        PrintHelp(out);
        return 0;
    }
    if (args[0] == "--version") {
        out << "parvell-cli " << PARVELL_VERSION << '\n';
        return 0;
    }
    if (args[0] == "help") {
        if (args.size() == 1) {
            PrintHelp(out);
            return 0;
        }
        if (args.size() > 2) {
            err << "parvell-cli: help takes one command name\n";
            return 2;
        }
        if (args[1] == "help") {
            out << "usage: parvell-cli help [COMMAND]\n  print the commands, or the usage of "
                   "COMMAND\n";
            return 0;
        }
        const Command* command = FindCommand(args[1]);
        if (!command) return UnknownCommand(args[1], err);
        PrintCommandHelp(*command, out);
        return 0;
    }
    const Command* command = FindCommand(args[0]);
    if (!command) return UnknownCommand(args[0], err);
    if (args.size() > 1 && IsHelpOption(args[1])) {
        PrintCommandHelp(*command, out);
        return 0;
    }
    try {
        return command->run(args.subspan(1), out, err);
    } catch (const Exception& e) {
        // Program messages are single-byte text; the terminal speaks UTF-8.
        err << "parvell-cli: " << store::Utf8FromCp1252(e.Message()) << '\n';
        return 1;
    } catch (const std::exception& e) {
        err << "parvell-cli: " << e.what() << '\n';
        return 1;
    } catch (...) {
        err << "parvell-cli: unexpected failure\n";
        return 1;
    }
}

}  // namespace parvell::cli
