// parvell-cli query: runs one statement through the window's query components and prints the
// result as a text table.

#include <fstream>
#include <iostream>
#include <iterator>
#include <ostream>
#include <sstream>

#include "app/Rtf.h"
#include "app/cli/Commands.h"
#include "engine/QueryText.h"
#include "settings/CodePage.h"

namespace parvell::cli {

namespace {

constexpr const char* kUsage =
    "usage: parvell-cli query --data PATH [--user U --password P] (--sql FILE | --sql -)\n";

}  // namespace

int QueryCommand(CommandArgs args, std::ostream& out, std::ostream& err) {
    TQueryTextRequest request;
    std::string sqlSource;
    bool hasData = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& option = args[i];
        if (i + 1 >= args.size()) {
            err << "parvell-cli: query: " << option << " needs a value\n" << kUsage;
            return 2;
        }
        const std::string& value = args[++i];
        if (option == "--data") {
            request.DataPath = store::Cp1252FromUtf8(value);
            hasData = true;
        } else if (option == "--user") {
            request.Username = store::Cp1252FromUtf8(value);
        } else if (option == "--password") {
            request.Password = store::Cp1252FromUtf8(value);
        } else if (option == "--sql") {
            sqlSource = value;
        } else {
            err << "parvell-cli: query: unknown argument \"" << option << "\"\n" << kUsage;
            return 2;
        }
    }
    if (!hasData || sqlSource.empty()) {
        err << "parvell-cli: query: "
            << (hasData ? "--sql FILE is required" : "--data PATH is required") << '\n'
            << kUsage;
        return 2;
    }
    std::string bytes;
    if (sqlSource == "-") {
        bytes.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    } else {
        std::ifstream file(sqlSource, std::ios::binary);
        if (!file) {
            err << "parvell-cli: cannot read " << sqlSource << '\n';
            return 1;
        }
        bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }
    // The same load rule as the window's SQL files: RTF, else plain text (UTF-8 is converted).
    request.Sql = SqlFileText(bytes);
    PrintQueryText(request, out, [](std::string_view line) { return store::Utf8FromCp1252(line); });
    return 0;
}

}  // namespace parvell::cli
