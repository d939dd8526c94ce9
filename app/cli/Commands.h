#pragma once
// The commands of parvell-cli. A command is one function: it gets the arguments after its name
// and the two output streams, and returns the process exit code. Failures may also leave as
// exceptions; the dispatcher prints their message and exits with 1.

#include <iosfwd>
#include <span>
#include <string>

namespace parvell::cli {

using CommandArgs = std::span<const std::string>;

struct Command {
    const char* name;
    const char* usage;  // the arguments, for the help text
    const char* summary;
    int (*run)(CommandArgs args, std::ostream& out, std::ostream& err);
};

// The table of commands, in the order the help text lists them.
std::span<const Command> AllCommands();

// Runs the command line (without the program name). Exit code 2 for a usage error.
int Dispatch(CommandArgs args, std::ostream& out, std::ostream& err);

// practice [PATH]: prints the practice folder the window starts with, or sets it.
int PracticeCommand(CommandArgs args, std::ostream& out, std::ostream& err);

// extract --data PATH ... --out FILE: the window's Extract, writing the same bytes.
int ExtractCommand(CommandArgs args, std::ostream& out, std::ostream& err);

// dump --data PATH --out FOLDER ...: every table of the practice, each written as extract writes
// "SELECT * FROM <table>", with a manifest; --resume goes on with a dump that stopped.
int DumpCommand(CommandArgs args, std::ostream& out, std::ostream& err);

// exec --data PATH (--sql FILE | --sql -): runs a statement without a result set and prints the
// number of rows it affected.
int ExecCommand(CommandArgs args, std::ostream& out, std::ostream& err);

// query --data PATH [--user U --password P] (--sql FILE | --sql -): runs the statement through
// the window's query components (KdbTable1) and prints the result as an aligned text table.
int QueryCommand(CommandArgs args, std::ostream& out, std::ostream& err);

// labels --data PATH (--sql FILE | --sql - | --builtin N) --pdf FILE: the label pages of the
// result as a PDF file, composed as the window's Labels preview composes them.
int LabelsCommand(CommandArgs args, std::ostream& out, std::ostream& err);

}  // namespace parvell::cli
