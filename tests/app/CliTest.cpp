// parvell-cli: the dispatcher and the practice command over the settings store.

#include <QDir>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

#include "app/cli/Commands.h"
#include "settings/Kestrane.h"
#include "tests/app/ShellTestSupport.h"

namespace parvell {
namespace {

struct CliCase {
    const char* name;
    std::vector<std::string> args;
    int exitCode;
    std::string out;         // "@" stands for the working folder
    std::string errStart;
    std::string practice;    // the stored value afterwards; "@" as above
};

TEST(CliTest, PracticeCommandPrintsAndSetsTheCurrentPractice) {
    const CliCase cases[] = {
        {"no command", {}, 2, "", "usage: parvell-cli", ""},
        {"unknown command", {"frobnicate"}, 2, "", "parvell-cli: unknown command \"frobnicate\"", ""},
        {"print when unset", {"practice"}, 0, "\n", "", ""},
        {"set an absolute folder", {"practice", "/srv/practice1"}, 0, "/srv/practice1\n", "", "/srv/practice1"},
        {"set a relative folder", {"practice", "demo/p1"}, 0, "@/demo/p1\n", "", "@/demo/p1"},
        {"set an old-style path", {"practice", "c:\\data\\pr1"}, 0, "c:\\data\\pr1\n", "", "c:\\data\\pr1"},
        {"too many arguments", {"practice", "a", "b"}, 2, "", "usage: parvell-cli practice", ""},
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
    EXPECT_NE(damagedErr.str().find(sandbox.StoreFile().toStdString()), std::string::npos) << damagedErr.str();
}

}  // namespace
}  // namespace parvell
