// parvell-cli dump and exec --dry-run as real processes over demo practices made by
// parvell-demo, in the dictionary form and in the folder form.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QByteArray>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/SmallDisk.h"
#include "tests/support/TempDir.h"
#include "tests/support/WriteFaults.h"

namespace parvell {
namespace {

namespace fs = std::filesystem;

struct TRun {
    int code = -1;
    std::string out;
    std::string err;
};

TRun RunProgram(const char* program, const std::vector<std::string>& args) {
    QStringList list;
    for (const std::string& arg : args) list << QString::fromStdString(arg);
    QProcess process;
    process.start(QString::fromUtf8(program), list);
    TRun run;
    if (!process.waitForFinished(120000)) {
        ADD_FAILURE() << program << " did not finish";
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput().toStdString();
    run.err = process.readAllStandardError().toStdString();
    return run;
}

TRun Cli(const std::vector<std::string>& args) {
    return RunProgram(PARVELL_CLI, args);
}

// Runs parvell-cli in place of the calling (child) process.
[[noreturn]] void ExecCli(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    std::string program = PARVELL_CLI;
    argv.push_back(program.data());
    std::vector<std::string> copies = args;
    for (std::string& arg : copies) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, STDOUT_FILENO);
    ::dup2(null, STDERR_FILENO);
    ::execv(program.c_str(), argv.data());
    ::_exit(3);
}

// A demo practice of a few patients in both forms, made once for the whole program.
struct TDemo {
    std::string data;  // the --data value
    const char* form;
};

class DumpTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new test::TempDir;
        for (const bool dbf : {false, true}) {
            std::vector<std::string> args{dir_->File(dbf ? "folder" : "dictionary"),
                                          "--patients",
                                          "60",
                                          "--seed",
                                          "7",
                                          "--today",
                                          "2026-03-01"};
            if (dbf) args.push_back("--dbf");
            const TRun made = RunProgram(PARVELL_DEMO, args);
            ASSERT_EQ(made.code, 0) << made.err;
        }
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }

    static std::vector<TDemo> Demos() {
        return {{dir_->File("dictionary") + "/mwddf.kdd", "dictionary"},
                {dir_->File("folder"), "folder"}};
    }

    static test::TempDir* dir_;
};

test::TempDir* DumpTest::dir_ = nullptr;

QJsonObject Manifest(const std::string& folder) {
    QFile file(QString::fromStdString(folder + "/manifest.json"));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

std::string Sha256(const std::string& bytes) {
    return QCryptographicHash::hash(QByteArray::fromStdString(bytes), QCryptographicHash::Sha256)
        .toHex()
        .toStdString();
}

// Every file of a folder (recursively) and its bytes.
std::map<std::string, std::string> FolderFiles(const std::string& folder) {
    std::map<std::string, std::string> files;
    if (!fs::is_directory(folder)) return files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            files[fs::relative(entry.path(), folder).string()] =
                test::ReadFile(entry.path().string());
        }
    }
    return files;
}

// The manifest's table rows without their times: what two dumps of the same data share.
std::vector<std::string> RowsWithoutTimes(const QJsonObject& manifest) {
    std::vector<std::string> rows;
    for (const QJsonValue& value : manifest["tables"].toArray()) {
        QJsonObject row = value.toObject();
        row.remove("started");
        row.remove("finished");
        rows.push_back(QJsonDocument(row).toJson(QJsonDocument::Compact).toStdString());
    }
    return rows;
}

// Checks what a dump that stopped left: every complete row's file is there with its size and
// hash, and every table file in the folder has a complete row. A dump killed between naming a
// table's file and rewriting the manifest leaves that (complete) file without a row, which a
// resume writes again: `killed` allows it. Temporary names (a leading ".") are not looked at.
void ExpectOnlyCompleteTables(const std::string& folder, bool killed = false) {
    const QJsonObject manifest = Manifest(folder);
    std::map<std::string, QJsonObject> complete;
    for (const QJsonValue& value : manifest["tables"].toArray()) {
        const QJsonObject row = value.toObject();
        if (row["status"].toString() == "complete")
            complete[row["file"].toString().toStdString()] = row;
    }
    for (const auto& [name, bytes] : FolderFiles(folder)) {
        if (name.rfind("manifest.", 0) == 0 || name[0] == '.') continue;
        if (killed && !complete.count(name)) continue;
        ASSERT_TRUE(complete.count(name)) << name << " is in the folder without a complete row";
        EXPECT_EQ(static_cast<qint64>(bytes.size()), complete[name]["bytes"].toInteger()) << name;
        EXPECT_EQ(Sha256(bytes), complete[name]["sha256"].toString().toStdString()) << name;
        complete.erase(name);
    }
    EXPECT_TRUE(complete.empty()) << complete.begin()->first << " is listed but missing";
}

// The dump's files are the files extract writes for SELECT * FROM each table with the same
// options, its manifest's sizes and hashes are those of the files, and its row counts are what
// SELECT COUNT(*) counts.
TEST_F(DumpTest, EveryTableEqualsItsExtractAndTheManifestDescribesIt) {
    struct Case {
        const char* name;
        std::vector<std::string> options;
        const char* extension;
    };
    const Case cases[] = {
        {"comma", {}, ".csv"},
        {"comma without header", {"--no-header"}, ".csv"},
        {"fixed", {"--layout", "fixed"}, ".txt"},
        {"tab with record numbers", {"--layout", "tab", "--record-number"}, ".txt"},
    };
    for (const TDemo& demo : Demos()) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(demo.form) + ", " + c.name);
            test::TempDir work;
            const std::string folder = work.File("dump");
            std::vector<std::string> args{"dump", "--data", demo.data, "--out", folder};
            args.insert(args.end(), c.options.begin(), c.options.end());
            const TRun dump = Cli(args);
            ASSERT_EQ(dump.code, 0) << dump.err;
            EXPECT_EQ(dump.err, "");
            EXPECT_NE(dump.out.find("5 tables written"), std::string::npos) << dump.out;

            const QJsonObject manifest = Manifest(folder);
            const QJsonArray tables = manifest["tables"].toArray();
            ASSERT_EQ(tables.size(), 5);
            for (const QJsonValue& value : tables) {
                const QJsonObject row = value.toObject();
                const std::string table = row["table"].toString().toStdString();
                EXPECT_EQ(row["status"].toString(), "complete") << table;
                EXPECT_EQ(row["file"].toString().toStdString(), table + c.extension);
                EXPECT_FALSE(row["columns"].toArray().isEmpty()) << table;
                const std::string bytes = test::ReadFile(folder + "/" + table + c.extension);
                EXPECT_EQ(row["bytes"].toInteger(), static_cast<qint64>(bytes.size())) << table;
                EXPECT_EQ(row["sha256"].toString().toStdString(), Sha256(bytes)) << table;

                test::WriteFile(work.File("one.sql"), "SELECT * FROM " + table);
                std::vector<std::string> extract{
                    "extract", "--data",        demo.data, "--sql", work.File("one.sql"),
                    "--out",   work.File("one")};
                extract.insert(extract.end(), c.options.begin(), c.options.end());
                ASSERT_EQ(Cli(extract).code, 0) << table;
                EXPECT_TRUE(test::ReadFile(work.File("one")) == bytes) << table;
                fs::remove(work.File("one"));

                if (c.options.empty()) {
                    test::WriteFile(work.File("count.sql"), "SELECT COUNT(*) AS n FROM " + table);
                    const TRun count =
                        Cli({"query", "--data", demo.data, "--sql", work.File("count.sql")});
                    ASSERT_EQ(count.code, 0) << count.err;
                    // The last line of the table is the one value.
                    std::string last = count.out.substr(0, count.out.find_last_not_of("\n ") + 1);
                    last = last.substr(last.find_last_of('\n') + 1);
                    EXPECT_EQ(std::stoll(last), row["rows"].toInteger()) << table;
                }
            }
            EXPECT_FALSE(manifest["finished"].toString().isEmpty());
        }
    }
}

TEST_F(DumpTest, TablesChoosesAndTheLayoutsLeftOutColumnsAreNamed) {
    for (const TDemo& demo : Demos()) {
        SCOPED_TRACE(demo.form);
        test::TempDir work;
        const TRun dump = Cli({"dump", "--data", demo.data, "--out", work.File("d"), "--layout",
                               "fixed", "--tables", "mwtrn,MWINS"});
        ASSERT_EQ(dump.code, 0) << dump.err;
        const QJsonArray tables = Manifest(work.File("d"))["tables"].toArray();
        ASSERT_EQ(tables.size(), 2);
        // The practice's spelling, in the order given.
        EXPECT_EQ(tables[0].toObject()["table"].toString(), "MWTRN");
        EXPECT_EQ(tables[1].toObject()["table"].toString(), "MWINS");
        std::map<std::string, std::string> files = FolderFiles(work.File("d"));
        EXPECT_EQ(files.size(), 4u);
        EXPECT_TRUE(files.count("MWTRN.txt") && files.count("MWINS.txt"));
        // MWTRN's amounts are of a type the fixed layout does not write.
        const QJsonArray leftOut = tables[0].toObject()["leftOut"].toArray();
        ASSERT_FALSE(leftOut.isEmpty());
        EXPECT_FALSE(leftOut[0].toObject()["reason"].toString().isEmpty());
    }
}

// Each refused before anything is written: status 1 (2 for usage), a message naming the fault,
// and the output folder as it was.
TEST_F(DumpTest, BadInputIsRefusedBeforeAnythingIsWritten) {
    test::TempDir work;
    test::WriteFile(work.File("a-file"), "x");
    // A table whose columns the fixed layout cannot write.
    const std::string memoPractice = work.File("memo");
    fs::create_directory(memoPractice);
    fs::copy_file(dir_->File("dictionary") + "/mwddf.kdd", memoPractice + "/mwddf.kdd");
    test::WriteFile(work.File("create.sql"), "CREATE TABLE notes (body MEMO)");
    ASSERT_EQ(
        Cli({"exec", "--data", memoPractice + "/mwddf.kdd", "--sql", work.File("create.sql")}).code,
        0);
    const std::string data = Demos()[0].data;
    const std::string out = work.File("out");
    struct Case {
        const char* name;
        std::vector<std::string> args;
        int code;
        const char* message;
    };
    const Case cases[] = {
        {"unknown table", {"--data", data, "--out", out, "--tables", "MWPAT,NOPE"}, 1, "\"NOPE\""},
        {"a table named twice",
         {"--data", data, "--out", out, "--tables", "MWPAT,mwpat"},
         1,
         "twice"},
        {"climbing out", {"--data", data, "--out", out, "--tables", "../MWPAT"}, 1, "climb out"},
        {"dot dot", {"--data", data, "--out", out, "--tables", ".."}, 1, "climb out"},
        {"a slash", {"--data", data, "--out", out, "--tables", "x/MWPAT"}, 1, "separator"},
        {"a backslash", {"--data", data, "--out", out, "--tables", "x\\MWPAT"}, 1, "separator"},
        {"an empty name", {"--data", data, "--out", out, "--tables", "MWPAT,"}, 1, "empty"},
        {"the folder is a file", {"--data", data, "--out", work.File("a-file")}, 1, "a-file"},
        {"no parent folder", {"--data", data, "--out", work.File("no/such")}, 1, "no"},
        {"not writable", {"--data", data, "--out", "/proc/parvell-dump"}, 1, "not writable"},
        {"no columns to write",
         {"--data", memoPractice + "/mwddf.kdd", "--out", out, "--layout", "fixed"},
         1,
         "\"notes\""},
        {"no --out", {"--data", data}, 2, "--out"},
        {"bad layout", {"--data", data, "--out", out, "--layout", "xml"}, 2, "--layout"},
        {"unknown option", {"--data", data, "--out", out, "--frob"}, 2, "--frob"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> args{"dump"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const TRun run = Cli(args);
        EXPECT_EQ(run.code, c.code) << run.err;
        EXPECT_EQ(run.err.rfind("parvell-cli: dump: ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_FALSE(fs::exists(out));
        EXPECT_EQ(test::ReadFile(work.File("a-file")), "x");
    }
}

// A damaged table ends the dump naming it; the tables before it stay complete. --keep-going
// skips it and the manifest says so; the status is 1 either way.
TEST_F(DumpTest, ADamagedTableFailsTheDumpOrIsSkipped) {
    test::TempDir work;
    const std::string practice = work.File("practice");
    fs::copy(dir_->File("folder"), practice);
    fs::resize_file(practice + "/MWINS.dbf", 1000);
    for (const bool keepGoing : {false, true}) {
        SCOPED_TRACE(keepGoing ? "--keep-going" : "stopping");
        const std::string out = work.File(keepGoing ? "kept" : "stopped");
        std::vector<std::string> args{"dump", "--data", practice, "--out", out};
        if (keepGoing) args.push_back("--keep-going");
        const TRun run = Cli(args);
        EXPECT_EQ(run.code, 1);
        EXPECT_NE(run.err.find("\"MWINS\""), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("damaged"), std::string::npos) << run.err;
        ExpectOnlyCompleteTables(out);
        const QJsonArray tables = Manifest(out)["tables"].toArray();
        int complete = 0;
        bool listed = false;
        for (const QJsonValue& value : tables) {
            const QJsonObject row = value.toObject();
            if (row["status"] == "complete") ++complete;
            if (row["table"] == "MWINS") {
                listed = true;
                EXPECT_EQ(row["status"].toString(), keepGoing ? "skipped" : "failed");
                EXPECT_TRUE(row["reason"].toString().contains("damaged"));
            }
        }
        EXPECT_TRUE(listed);
        EXPECT_EQ(complete, keepGoing ? 4 : static_cast<int>(tables.size()) - 1);
        EXPECT_FALSE(fs::exists(out + "/MWINS.csv"));
    }
}

// A dump killed at several points, then resumed, gives the folder an uninterrupted dump gives
// (the times aside); so does a resume over a finished file that was changed since.
TEST_F(DumpTest, AKilledDumpResumedEqualsAnUninterruptedOne) {
    // A practice large enough that a dump takes a while.
    test::TempDir work;
    const std::string practice = work.File("practice");
    ASSERT_EQ(RunProgram(PARVELL_DEMO, {practice, "--patients", "1500", "--seed", "2", "--today",
                                        "2026-03-01", "--dbf"})
                  .code,
              0);
    const std::string whole = work.File("whole");
    ASSERT_EQ(Cli({"dump", "--data", practice, "--out", whole}).code, 0);
    const std::map<std::string, std::string> wholeFiles = FolderFiles(whole);
    const std::vector<std::string> wholeRows = RowsWithoutTimes(Manifest(whole));

    auto expectSameAsWhole = [&](const std::string& folder) {
        std::map<std::string, std::string> files = FolderFiles(folder);
        std::map<std::string, std::string> expected = wholeFiles;
        for (auto* map : {&files, &expected}) {
            map->erase("manifest.json");
            map->erase("manifest.csv");
        }
        EXPECT_TRUE(files == expected) << files.size() << " files";
        EXPECT_EQ(RowsWithoutTimes(Manifest(folder)), wholeRows);
    };

    // Kill when the folder holds this many table files (0: as soon as it started), and a little
    // later, so the kill falls inside a table's writing as well as between tables.
    int killedInside = 0;
    for (const int tablesDone : {0, 1, 2, 3, 4}) {
        for (const int laterMs : {0, 15}) {
            SCOPED_TRACE(std::to_string(tablesDone) + " tables, +" + std::to_string(laterMs) +
                         " ms");
            const std::string folder = work.File("killed");
            fs::remove_all(folder);
            const bool killed = faults::RunAndKill(
                [&] {
                    ExecCli({"dump", "--data", practice, "--out", folder});
                },
                [&] {
                    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
                    while (std::chrono::steady_clock::now() < until) {
                        int count = 0;
                        if (fs::is_directory(folder)) {
                            for (const auto& entry : fs::directory_iterator(folder)) {
                                const std::string name = entry.path().filename().string();
                                if (name.rfind("manifest", 0) != 0 && name[0] != '.') ++count;
                            }
                        }
                        if (count >= tablesDone) break;
                        std::this_thread::sleep_for(std::chrono::microseconds(200));
                    }
                    std::this_thread::sleep_for(std::chrono::milliseconds(laterMs));
                });
            if (!killed) continue;  // it finished first: nothing to resume
            ++killedInside;
            ExpectOnlyCompleteTables(folder, true);
            const TRun resumed = Cli({"dump", "--data", practice, "--out", folder, "--resume"});
            ASSERT_EQ(resumed.code, 0) << resumed.err;
            expectSameAsWhole(folder);
        }
    }
    EXPECT_GT(killedInside, 3);

    // A finished file changed after the dump is written again; the others are kept.
    const std::string folder = work.File("changed");
    fs::copy(whole, folder);
    std::string bytes = test::ReadFile(folder + "/MWPAT.csv");
    bytes[bytes.size() / 2] ^= 1;
    test::WriteFile(folder + "/MWPAT.csv", bytes);
    const TRun resumed = Cli({"dump", "--data", practice, "--out", folder, "--resume"});
    ASSERT_EQ(resumed.code, 0) << resumed.err;
    EXPECT_NE(resumed.out.find("1 table written, 4 kept"), std::string::npos) << resumed.out;
    expectSameAsWhole(folder);

    // A resume with other layout options, or of another practice, is refused.
    const TRun other =
        Cli({"dump", "--data", practice, "--out", folder, "--resume", "--layout", "tab"});
    EXPECT_EQ(other.code, 1);
    EXPECT_NE(other.err.find("layout"), std::string::npos) << other.err;
    const TRun another = Cli({"dump", "--data", dir_->File("folder"), "--out", folder, "--resume"});
    EXPECT_EQ(another.code, 1);
    EXPECT_NE(another.err.find("another practice"), std::string::npos) << another.err;
    expectSameAsWhole(folder);
}

// Files that may grow only up to a limit, at every limit: each failed run names a table (or the
// manifest) and leaves only complete tables with their rows; a resume then completes the dump.
TEST_F(DumpTest, AFullDiskLeavesTheFinishedTablesAndResumeCompletesThem) {
    const TDemo demo = Demos()[0];
    test::TempDir work;
    const std::string whole = work.File("whole");
    ASSERT_EQ(Cli({"dump", "--data", demo.data, "--out", whole}).code, 0);
    std::map<std::string, std::string> wholeFiles = FolderFiles(whole);
    const std::vector<std::string> wholeRows = RowsWithoutTimes(Manifest(whole));
    wholeFiles.erase("manifest.json");
    wholeFiles.erase("manifest.csv");

    const std::string folder = work.File("limited");
    int resumedRuns = 0;
    const int failed = faults::ForEachFailedWrite({
        .prepare = [&] { fs::remove_all(folder); },
        .write =
            [&] {
                ExecCli({"dump", "--data", demo.data, "--out", folder});
            },
        .check =
            [&](faults::WriteOutcome outcome, off_t limit) {
                SCOPED_TRACE("limit " + std::to_string(limit));
                if (outcome == faults::WriteOutcome::Failed) ExpectOnlyCompleteTables(folder);
                // Every few limits, resume without one.
                if (outcome == faults::WriteOutcome::Failed && limit % (5 * 9973) != 0) return;
                ++resumedRuns;
                const TRun resumed =
                    Cli({"dump", "--data", demo.data, "--out", folder, "--resume"});
                ASSERT_EQ(resumed.code, 0) << resumed.err;
                std::map<std::string, std::string> files = FolderFiles(folder);
                files.erase("manifest.json");
                files.erase("manifest.csv");
                EXPECT_TRUE(files == wholeFiles);
                EXPECT_EQ(RowsWithoutTimes(Manifest(folder)), wholeRows);
            },
        .step = 9973,
    });
    EXPECT_GT(failed, 3);
    EXPECT_GT(resumedRuns, 1);

    // A real full disk, where one can be mounted: the failure names the table and the reason.
    faults::SmallDisk disk(96 * 1024);
    if (!disk.Mounted()) GTEST_SKIP() << "a small disk needs the superuser";
    const TRun full = Cli({"dump", "--data", demo.data, "--out", disk.File("d")});
    EXPECT_EQ(full.code, 1);
    EXPECT_NE(full.err.find("the table \""), std::string::npos) << full.err;
    EXPECT_NE(full.err.find("Disk full"), std::string::npos) << full.err;
    ExpectOnlyCompleteTables(disk.File("d"));
}

// exec --dry-run: every file of the practice keeps its bytes, and the count is what the real run
// then reports; --show prints the changed rows before and after.
TEST_F(DumpTest, DryRunLeavesEveryFileAsItWasAndCountsWhatTheRealRunChanges) {
    struct Case {
        const char* name;
        const char* sql;
        const char* before;  // a text of the rows shown before, empty for none
        const char* after;   // and after
        bool dictionaryOnly;
    };
    const Case cases[] = {
        {"update", "UPDATE MWINS SET City = 'Dry Town' WHERE Code < 'C'", "A1000", "Dry Town",
         false},
        {"delete", "-- the first carriers\nDELETE FROM MWINS WHERE Code < 'C'", "B1001", "", false},
        {"insert",
         "INSERT INTO MWINS (Code, Name, City) VALUES ('Z9999', 'Dry Run Health', 'Nowhere')", "",
         "Z9999", false},
        {"an update of no rows", "UPDATE MWINS SET City = 'x' WHERE Code = 'none'", "", "", false},
        {"create table", "CREATE TABLE tried (a INTEGER)", nullptr, nullptr, true},
    };
    for (const TDemo& demo : Demos()) {
        for (const Case& c : cases) {
            if (c.dictionaryOnly && std::string(demo.form) != "dictionary") continue;
            SCOPED_TRACE(std::string(demo.form) + ", " + c.name);
            test::TempDir work;
            const bool dictionary = std::string(demo.form) == "dictionary";
            const std::string practice = work.File("practice");
            fs::copy(dictionary ? dir_->File("dictionary") : dir_->File("folder"), practice);
            const std::string data = dictionary ? practice + "/mwddf.kdd" : practice;
            test::WriteFile(work.File("change.sql"), c.sql);
            const std::map<std::string, std::string> before = FolderFiles(practice);

            std::vector<std::string> args{
                "exec", "--data", data, "--sql", work.File("change.sql"), "--dry-run"};
            if (c.before) args.insert(args.end(), {"--show", "5"});
            const TRun dry = Cli(args);
            ASSERT_EQ(dry.code, 0) << dry.err;
            EXPECT_TRUE(FolderFiles(practice) == before) << "the practice changed";
            if (c.before) {
                const std::size_t after = dry.out.find("\nafter:\n");
                ASSERT_NE(after, std::string::npos) << dry.out;
                EXPECT_NE(dry.out.find("\nbefore:\n"), std::string::npos) << dry.out;
                if (*c.before) {
                    EXPECT_NE(dry.out.substr(0, after).find(c.before), std::string::npos);
                }
                if (*c.after) {
                    EXPECT_NE(dry.out.substr(after).find(c.after), std::string::npos);
                }
                // Only what changes is shown: a row the statement leaves alone is not.
                EXPECT_EQ(dry.out.find("C1002"), std::string::npos) << dry.out;
            }

            const TRun real = Cli({"exec", "--data", data, "--sql", work.File("change.sql")});
            ASSERT_EQ(real.code, 0) << real.err;
            EXPECT_EQ(std::stoll(dry.out), std::stoll(real.out)) << dry.out;
            if (std::stoll(real.out) > 0 || c.dictionaryOnly) {
                EXPECT_FALSE(FolderFiles(practice) == before) << "the real run changed nothing";
            }
        }
    }
}

TEST_F(DumpTest, DryRunRefusesWhatCannotBeRolledBack) {
    struct Case {
        const char* name;
        const char* sql;
        bool folder;
        std::vector<std::string> more;
        int code;
        const char* message;
    };
    const Case cases[] = {
        {"a query", "SELECT * FROM MWINS", false, {}, 1, "SELECT"},
        {"a procedure", "EXECUTE PROCEDURE sp_setapplicationid('x')", false, {}, 1, "EXECUTE"},
        {"create on a folder", "CREATE TABLE tried (a INTEGER)", true, {}, 1, "cannot undo"},
        {"drop on a folder", "DROP TABLE MWINS", true, {}, 1, "cannot undo"},
        {"--show of a create",
         "CREATE TABLE tried (a INTEGER)",
         false,
         {"--show", "2"},
         1,
         "--show"},
        {"--show without --dry-run", "DELETE FROM MWINS", false, {"--show=2"}, 2, "--dry-run"},
        {"--show 0", "DELETE FROM MWINS", false, {"--dry-run", "--show", "0"}, 2, "--show"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir work;
        const std::string practice = work.File("practice");
        fs::copy(dir_->File(c.folder ? "folder" : "dictionary"), practice);
        const std::map<std::string, std::string> before = FolderFiles(practice);
        test::WriteFile(work.File("s.sql"), c.sql);
        std::vector<std::string> args{"exec", "--data",
                                      c.folder ? practice : practice + "/mwddf.kdd", "--sql",
                                      work.File("s.sql")};
        if (c.code == 1) args.push_back("--dry-run");
        args.insert(args.end(), c.more.begin(), c.more.end());
        const TRun run = Cli(args);
        EXPECT_EQ(run.code, c.code) << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_TRUE(FolderFiles(practice) == before);
    }
}

// On a terminal standard error shows the table being written, its records and the whole dump's
// share; the summary stays on standard output.
TEST_F(DumpTest, ATerminalSeesTheProgressOfEachTable) {
    test::TempDir work;
    int terminal = -1;
    const pid_t child = ::forkpty(&terminal, nullptr, nullptr, nullptr);
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        std::string program = PARVELL_CLI;
        std::string args[] = {"dump", "--data", Demos()[0].data, "--out", work.File("d")};
        char* argv[] = {program.data(), args[0].data(), args[1].data(), args[2].data(),
                        args[3].data(), args[4].data(), nullptr};
        ::execv(program.c_str(), argv);
        ::_exit(3);
    }
    std::string shown;
    char buffer[4096];
    for (ssize_t n; (n = ::read(terminal, buffer, sizeof buffer)) > 0;) shown.append(buffer, n);
    ::close(terminal);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << shown;
    for (const char* text : {"MWPAT [", "MWTRN [", " records), table 5 of 5, 100% of the dump"}) {
        EXPECT_NE(shown.find(text), std::string::npos) << text << " in " << shown;
    }
}

}  // namespace
}  // namespace parvell
