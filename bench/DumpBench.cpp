// dump_bench [--patients N] [--path FOLDER] [--runs N] [--cli PATH]
//
// Speed of parvell-cli dump on a demo practice (the dictionary PATH/mwddf.kdd) beside the sum of
// parvell-cli extract runs of SELECT * FROM each table, comma layout, the same tables and bytes.
// Each road runs --runs times (default 3), interleaved, and the best time of each counts. Prints
// the records per second of both and their ratio (time; below 1: the dump is faster). The
// practice is made with parvell-demo (default 100,000 patients) unless --path names one that
// exists.

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Runs a program with its standard output and error to /dev/null; the wall time in seconds, or
// a negative number when it failed.
double Time(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", 01, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", 01, 0);
    const auto start = Clock::now();
    pid_t child = 0;
    const int failed = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) return -1;
    int status = 0;
    waitpid(child, &status, 0);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? seconds : -1;
}

struct Table {
    std::string name;
    long long rows = 0;
};

// The tables and row counts of a dump's manifest.csv (every field is quoted; names hold no
// quotes in a demo practice).
std::vector<Table> ManifestTables(const std::string& folder) {
    std::ifstream in(folder + "/manifest.csv");
    std::string line;
    std::getline(in, line);  // the header
    std::vector<Table> tables;
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        std::stringstream stream(line);
        std::string field;
        while (std::getline(stream, field, ',')) {
            if (field.size() >= 2 && field.front() == '"' && field.back() == '"')
                fields.push_back(field.substr(1, field.size() - 2));
            if (fields.size() == 4) break;
        }
        if (fields.size() == 4) tables.push_back({fields[0], std::atoll(fields[3].c_str())});
    }
    return tables;
}

}  // namespace

int main(int argc, char** argv) {
    std::string folder;
    std::string cli = PARVELL_CLI_BIN;
    std::string patients = "100000";
    int runs = 3;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--path") folder = argv[i + 1];
        if (arg == "--runs") runs = std::max(1, std::atoi(argv[i + 1]));
        if (arg == "--cli") cli = argv[i + 1];
        if (arg == "--patients") patients = argv[i + 1];
    }
    const fs::path work = fs::temp_directory_path() / ("dump-bench-" + std::to_string(::getpid()));
    fs::create_directories(work);
    if (folder.empty() || !fs::exists(folder + "/mwddf.kdd")) {
        if (folder.empty()) folder = (work / "practice").string();
        std::printf("making a demo practice of %s patients in %s\n", patients.c_str(),
                    folder.c_str());
        if (Time({PARVELL_DEMO_BIN, folder, "--patients", patients, "--force"}) < 0) {
            std::fprintf(stderr, "dump_bench: parvell-demo failed\n");
            return 1;
        }
    }
    const std::string data = folder + "/mwddf.kdd";
    const std::string out = (work / "dump").string();
    const std::string file = (work / "one.csv").string();
    const std::string sql = (work / "one.sql").string();

    double bestDump = 1e300, bestSum = 1e300;
    std::vector<Table> tables;
    for (int run = 0; run < runs; ++run) {
        fs::remove_all(out);
        const double dump = Time({cli, "dump", "--data", data, "--out", out});
        if (dump < 0) {
            std::fprintf(stderr, "dump_bench: parvell-cli dump failed\n");
            return 1;
        }
        bestDump = std::min(bestDump, dump);
        tables = ManifestTables(out);
        double sum = 0;
        for (const Table& table : tables) {
            std::ofstream(sql) << "SELECT * FROM " << table.name << '\n';
            const double one =
                Time({cli, "extract", "--data", data, "--sql", sql, "--out", file, "--force"});
            if (one < 0) {
                std::fprintf(stderr, "dump_bench: parvell-cli extract of %s failed\n",
                             table.name.c_str());
                return 1;
            }
            sum += one;
        }
        bestSum = std::min(bestSum, sum);
    }
    long long records = 0;
    for (const Table& table : tables) records += table.rows;
    std::printf("%zu tables, %lld records, best of %d runs\n", tables.size(), records, runs);
    std::printf("  dump                 %8.3f s  %12.0f records/s\n", bestDump, records / bestDump);
    std::printf("  sum of the extracts  %8.3f s  %12.0f records/s\n", bestSum, records / bestSum);
    std::printf("  dump / extracts      %8.3f\n", bestDump / bestSum);
    fs::remove_all(work);
    return 0;
}
