// parvell-cli: the dispatcher and the practice command over the settings store.

#include <gtest/gtest.h>
#include <QDir>
#include <sstream>
#include <string>
#include <vector>

#include "app/cli/Commands.h"
#include "settings/Kestrane.h"
#include "tests/support/ShellTestSupport.h"

namespace parvell {
namespace {

struct CliCase {
    const char* name;
    std::vector<std::string> args;
    int exitCode;
    std::string out;  // "@" stands for the working folder
    std::string errStart;
    std::string practice;  // the stored value afterwards; "@" as above
};

TEST(CliTest, PracticeCommandPrintsAndSetsTheCurrentPractice) {
    const CliCase cases[] = {
        {"no command", {}, 2, "", "parvell-cli: no command given\nusage: parvell-cli", ""},
        {"unknown command",
         {"frobnicate"},
         2,
         "",
         "parvell-cli: unknown command \"frobnicate\"",
         ""},
        {"print when unset", {"practice"}, 0, "\n", "", ""},
        {"set an absolute folder",
         {"practice", "/srv/practice1"},
         0,
         "/srv/practice1\n",
         "",
         "/srv/practice1"},
        {"set a relative folder", {"practice", "demo/p1"}, 0, "@/demo/p1\n", "", "@/demo/p1"},
        {"set an old-style path",
         {"practice", "c:\\data\\pr1"},
         0,
         "c:\\data\\pr1\n",
         "",
         "c:\\data\\pr1"},
        {"too many arguments",
         {"practice", "a", "b"},
         2,
         "",
         "parvell-cli: practice takes one PATH at most\nusage: parvell-cli practice",
         ""},
    };
    for (const CliCase& c : cases) {
        SCOPED_TRACE(c.name);
        test::Sandbox sandbox;
        const std::string work = QDir::currentPath().toStdString();
        auto expand = [&](std::string text) {
            for (size_t at; (at = text.find('@')) != std::string::npos;) text.replace(at, 1, work);
            return text;
        };
        std::ostringstream out, err;
        EXPECT_EQ(cli::Dispatch(c.args, out, err), c.exitCode);
        EXPECT_EQ(out.str(), expand(c.out));
        EXPECT_EQ(err.str().substr(0, c.errStart.size()), c.errStart) << err.str();
        EXPECT_EQ(ReadCurrentPractice(), expand(c.practice));
    }
}

TEST(CliTest, PrintsWhatWasSetAndReportsADamagedStore) {
    test::Sandbox sandbox;
    std::ostringstream out, err;
    const std::vector<std::string> set{"practice", "/srv/p\xc3\xa9"};
    ASSERT_EQ(cli::Dispatch(set, out, err), 0);
    std::ostringstream printed;
    ASSERT_EQ(cli::Dispatch(std::vector<std::string>{"practice"}, printed, err), 0);
    EXPECT_EQ(printed.str(), "/srv/p\xc3\xa9\n");

    sandbox.WriteStore({"[HKEY_CURRENT_USER\\Software\\Ostrel]", "nonsense"});
    std::ostringstream damagedOut, damagedErr;
    EXPECT_EQ(cli::Dispatch(std::vector<std::string>{"practice"}, damagedOut, damagedErr), 1);
    EXPECT_NE(damagedErr.str().find(sandbox.StoreFile().toStdString()), std::string::npos)
        << damagedErr.str();
}

// The conventions every command shares: help on standard output with status 0, usage errors with
// status 2 and failures with status 1, and standard error's first line starting with the tool's
// name. The failures here need no practice: a missing SQL file, a data path that is not there.
TEST(CliTest, HelpVersionAndExitStatuses) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        int exitCode;
        std::string outStart;  // empty: nothing on standard output
    };
    const Case cases[] = {
        {"--help", {"--help"}, 0, "usage: parvell-cli COMMAND"},
        {"-h", {"-h"}, 0, "usage: parvell-cli COMMAND"},
        {"help", {"help"}, 0, "usage: parvell-cli COMMAND"},
        {"help of a command", {"help", "extract"}, 0, "usage: parvell-cli extract --data PATH"},
        {"help of help", {"help", "help"}, 0, "usage: parvell-cli help [COMMAND]"},
        {"command --help", {"labels", "--help"}, 0, "usage: parvell-cli labels --data PATH"},
        {"command -h", {"query", "-h"}, 0, "usage: parvell-cli query --data PATH"},
        {"--version", {"--version"}, 0, "parvell-cli " PARVELL_VERSION "\n"},
        {"help of an unknown command", {"help", "frobnicate"}, 2, ""},
        {"help of two commands", {"help", "query", "exec"}, 2, ""},
        {"unknown option of query", {"query", "--frob", "x"}, 2, ""},
        {"query without --sql", {"query", "--data", "x"}, 2, ""},
        {"extract without --out", {"extract", "--data", "x", "--builtin", "1"}, 2, ""},
        {"exec without a statement", {"exec", "--data", "x"}, 2, ""},
        {"labels without an output", {"labels", "--data", "x", "--builtin", "1"}, 2, ""},
        {"labels --pdf and --printer",
         {"labels", "--data", "x", "--builtin", "1", "--pdf", "a.pdf", "--printer", "p"},
         2,
         ""},
        {"labels --copies with --pdf",
         {"labels", "--data", "x", "--builtin", "1", "--pdf", "a.pdf", "--copies", "2"},
         2,
         ""},
        {"labels --copies 0",
         {"labels", "--data", "x", "--builtin", "1", "--printer", "p", "--copies", "0"},
         2,
         ""},
        {"labels --copies text",
         {"labels", "--data", "x", "--builtin", "1", "--printer", "--copies", "two"},
         2,
         ""},
        {"labels --pages backwards",
         {"labels", "--data", "x", "--builtin", "1", "--printer", "--pages", "3-2"},
         2,
         ""},
        {"labels --pages from 0",
         {"labels", "--data", "x", "--builtin", "1", "--printer", "--pages", "0-2"},
         2,
         ""},
        {"labels --pages open",
         {"labels", "--data", "x", "--builtin", "1", "--printer", "--pages", "2-"},
         2,
         ""},
        {"query of a missing SQL file",
         {"query", "--data", "x", "--sql", "/nonexistent/q.sql"},
         1,
         ""},
        {"extract of a missing SQL file",
         {"extract", "--data", "x", "--sql", "/nonexistent/q.sql", "--out", "o"},
         1,
         ""},
        {"exec on a missing data path",
         {"exec", "--data", "/nonexistent/p/mwddf.kdd", "--builtin", "7"},
         1,
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::Sandbox sandbox;
        std::ostringstream out, err;
        EXPECT_EQ(cli::Dispatch(c.args, out, err), c.exitCode);
        EXPECT_EQ(out.str().substr(0, c.outStart.size()), c.outStart) << out.str();
        if (c.outStart.empty()) {
            EXPECT_EQ(out.str(), "");
        }
        if (c.exitCode == 0) {
            EXPECT_EQ(err.str(), "");
        } else {
            EXPECT_EQ(err.str().substr(0, 13), "parvell-cli: ") << err.str();
        }
    }
}

// Every command of the table has its own help, and the list names each of them.
TEST(CliTest, EveryCommandHasHelp) {
    std::ostringstream list, listErr;
    ASSERT_EQ(cli::Dispatch(std::vector<std::string>{"--help"}, list, listErr), 0);
    for (const cli::Command& command : cli::AllCommands()) {
        SCOPED_TRACE(command.name);
        EXPECT_NE(list.str().find(std::string("\n  ") + command.name + ' ' + command.usage),
                  std::string::npos);
        std::ostringstream out, err;
        ASSERT_EQ(cli::Dispatch(std::vector<std::string>{"help", command.name}, out, err), 0);
        EXPECT_EQ(out.str(), std::string("usage: parvell-cli ") + command.name + ' ' +
                                 command.usage + "\n  " + command.summary + '\n');
    }
}

}  // namespace
}  // namespace parvell
