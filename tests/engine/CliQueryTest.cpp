// parvell-cli query through the dispatcher: arguments, the SQL file, output and errors.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "app/cli/Commands.h"
#include "tests/support/EngineDictionary.h"

namespace parvell {
namespace {

using enginetest::TempDir;

struct CliRun {
    int code;
    std::string out;
    std::string err;
};

CliRun Cli(std::vector<std::string> args) {
    std::ostringstream out;
    std::ostringstream err;
    const int code = cli::Dispatch(args, out, err);
    return {code, out.str(), err.str()};
}

class CliQueryTest : public ::testing::Test {
protected:
    void SetUp() override {
        enginetest::MakeDictionary(dir_.File("mwddf.kdd"),
                                   "CREATE TABLE p (id INTEGER, name CHAR(10));;"
                                   "INSERT INTO p VALUES (1, 'Pe\xF1"
                                   "a'), (22, 'Li')");
    }
    std::string SqlFile(const std::string& text) {
        const std::string path = dir_.File("q.sql");
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    TempDir dir_;
};

TEST_F(CliQueryTest, PrintsTheResultAsAnAlignedUtf8Table) {
    const CliRun run = Cli({"query", "--data", dir_.File("mwddf.kdd"), "--sql",
                            SqlFile("SELECT * FROM p ORDER BY id")});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out,
              "id  name\n"
              "--  ----\n"
              "1   Pe\xC3\xB1"
              "a\n"
              "22  Li\n");
}

TEST_F(CliQueryTest, ErrorsReadAsTheWindowsAndExitNonZero) {
    CliRun run =
        Cli({"query", "--data", dir_.File("mwddf.kdd"), "--sql", SqlFile("SELECT nope FROM p")});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("KdbTable1: Error 7200"), std::string::npos) << run.err;
    EXPECT_TRUE(run.out.empty());

    run = Cli({"query", "--data", dir_.File("mwddf.kdd"), "--password", "wrong", "--sql",
               SqlFile("SELECT * FROM p")});
    EXPECT_EQ(run.code, 1);

    run = Cli({"query", "--data", dir_.File("mwddf.kdd"), "--sql", dir_.File("missing.sql")});
    EXPECT_EQ(run.code, 1);
}

TEST_F(CliQueryTest, UsageErrors) {
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"query"},
                                               {"query", "--sql", "x"},
                                               {"query", "--data", "x"},
                                               {"query", "--data"},
                                               {"query", "--bogus", "1"}}) {
        const CliRun run = Cli(args);
        EXPECT_EQ(run.code, 2) << args.size();
        EXPECT_NE(run.err.find("usage: parvell-cli query"), std::string::npos);
    }
}

}  // namespace
}  // namespace parvell
