// parvell-cli query: runs one statement through the window's query components and prints the
// result as a text table.

#include <fstream>
#include <iostream>
#include <ostream>
#include <string>
#include <vector>

#include "app/cli/Commands.h"
#include "app/cli/QueryCommands.h"
#include "engine/QueryText.h"
#include "settings/CodePage.h"

namespace parvell::cli {

namespace {

constexpr const char* kUsage =
    "usage: parvell-cli query --data PATH [--user U --password P] (--sql FILE | --sql -)\n";

}  // namespace

int QueryCommand(CommandArgs args, std::ostream& out, std::ostream& err) {
    TStatementArgs statement;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& option = args[i];
        if (i + 1 >= args.size()) {
            err << "parvell-cli: query: " << option << " needs a value\n" << kUsage;
            return 2;
        }
        const std::string& value = args[++i];
        if (option == "--data") {
            statement.dataPath = store::Cp1252FromUtf8(value);
        } else if (option == "--user") {
            statement.username = store::Cp1252FromUtf8(value);
        } else if (option == "--password") {
            statement.password = store::Cp1252FromUtf8(value);
        } else if (option == "--sql") {
            statement.sqlFile = value;
        } else {
            err << "parvell-cli: query: unknown argument \"" << option << "\"\n" << kUsage;
            return 2;
        }
    }
    if (statement.dataPath.empty() || !statement.sqlFile || statement.sqlFile->empty()) {
        err << "parvell-cli: query: "
            << (statement.dataPath.empty() ? "--data PATH is required" : "--sql FILE is required")
            << '\n'
            << kUsage;
        return 2;
    }
    if (*statement.sqlFile != "-" && !std::ifstream(*statement.sqlFile, std::ios::binary)) {
        err << "parvell-cli: cannot read " << *statement.sqlFile << '\n';
        return 1;
    }
    // The editor's load rule for SQL files (RTF, else plain text), then the components and the
    // preparation every road uses.
    TQueryComponents components(statement, StatementLines(statement, std::cin), err);
    TKdbQuery& query = components.Query();
    query.SetActive(true);
    WriteDataSetText(query, out, [](std::string_view line) { return store::Utf8FromCp1252(line); });
    query.SetActive(false);
    return 0;
}

}  // namespace parvell::cli
