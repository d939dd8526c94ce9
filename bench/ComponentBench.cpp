// component_bench [--patients N] [--path FOLDER]
//
// Walks SELECT * FROM MWTRN of a demo practice two ways and prints records per second for each:
//   engine:     the raw walk of the engine's C interface (GotoBOF, then Skip 1 / AtEOF /
//               GetRecord), which is what the components sit on;
//   components: TKdbQuery as the program uses it (open, MoveFirst, ValueAsText of every field,
//               MoveNext to the end), and the same walk with no value read (moves only).
// The statement's execution is timed apart from each walk. The resident memory of the process is
// sampled during the component walk: it should stay flat, however many records pass. The
// practice is made with parvell-demo (100,000 patients) in a temporary folder unless --path names
// a folder holding mwddf.kdd.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "data/Formats.h"
#include "engine/kdbcnnct.h"
#include "engine/kdbtable.h"
#include "kce/kce.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

constexpr const char* kSql = "SELECT * FROM MWTRN";

// Resident memory of the process in KiB.
long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

void Fail(const char* what) {
    uint32_t code = 0;
    char text[600] = {};
    uint16_t length = sizeof text - 1;
    KdbGetLastError(&code, text, &length);
    std::fprintf(stderr, "%s failed: %u %s\n", what, code, text);
    std::exit(1);
}

void RawWalk(const std::string& dictionary) {
    uint32_t connection = 0;
    if (KdbConnect60(dictionary.c_str(), 3, "user", "qzmvtrlk", 0, &connection))
        Fail("KdbConnect60");
    uint32_t statement = 0;
    if (KdbCreateSQLStatement(connection, &statement)) Fail("KdbCreateSQLStatement");
    Clock::time_point start = Clock::now();
    uint32_t cursor = 0;
    if (KdbExecuteSQLDirect(statement, kSql, &cursor)) Fail("KdbExecuteSQLDirect");
    const double execute = Seconds(start);
    uint32_t length = 0;
    KdbGetRecordLength(cursor, &length);
    std::vector<uint8_t> record(length);
    start = Clock::now();
    long records = 0;
    KdbGotoBOF(cursor);
    for (;;) {
        KdbSkip(cursor, 1);
        uint16_t atEof = 0;
        KdbAtEOF(cursor, &atEof);
        if (atEof) break;
        uint32_t size = length;
        if (KdbGetRecord(cursor, record.data(), &size)) Fail("KdbGetRecord");
        ++records;
    }
    const double walk = Seconds(start);
    std::printf("engine      execute %7.2f s   walk %7.2f s   %9ld records   %10.0f records/s\n",
                execute, walk, records, records / walk);
    KdbCloseTable(cursor);
    KdbCloseSQLStatement(statement);
    KdbDisconnect(connection);
}

void ComponentWalk(const std::string& dictionary) {
    using namespace parvell;
    TComponent form(nullptr, "Form1");
    TKdbConnection connection(&form, "KdbCPath");
    connection.KdbServerTypes = {TKdbServerType::stKDB_REMOTE, TKdbServerType::stKDB_LOCAL};
    connection.LoginPrompt = false;
    connection.Username = "user";
    connection.Password = "qzmvtrlk";
    connection.SetConnectPath(dictionary);
    TKdbQuery query(&form, "KdbTable1");
    query.SetDatabaseName("KdbCPath");
    query.SetKdbConnection(&connection);
    query.SQL().SetText(kSql);

    const long memoryBefore = ResidentKiB();
    Clock::time_point start = Clock::now();
    query.SetActive(true);
    const double execute = Seconds(start);
    const int fields = query.NumFields();
    long records = 0;
    size_t characters = 0;
    long memoryLow = ResidentKiB();
    long memoryHigh = memoryLow;
    start = Clock::now();
    query.MoveFirst();
    while (!query.AtEnd()) {
        for (int i = 0; i < fields; ++i) characters += query.FieldAt(i).ValueAsText().size();
        ++records;
        if (records % 100000 == 0) {
            const long memory = ResidentKiB();
            memoryLow = std::min(memoryLow, memory);
            memoryHigh = std::max(memoryHigh, memory);
        }
        query.MoveNext();
    }
    const double walk = Seconds(start);
    std::printf(
        "components  execute %7.2f s   walk %7.2f s   %9ld records   %10.0f records/s   (%d "
        "fields, %zu "
        "characters)\n",
        execute, walk, records, records / walk, fields, characters);
    std::printf("memory      before open %ld KiB; during the walk %ld to %ld KiB\n", memoryBefore,
                memoryLow, memoryHigh);

    // The same walk without reading values: what the moves alone cost.
    start = Clock::now();
    records = 0;
    query.MoveFirst();
    while (!query.AtEnd()) {
        ++records;
        query.MoveNext();
    }
    const double moves = Seconds(start);
    std::printf(
        "moves only                        walk %7.2f s   %9ld records   %10.0f records/s\n", moves,
        records, records / moves);
    query.SetActive(false);
}

}  // namespace

int main(int argc, char** argv) {
    int patients = 100000;
    std::string path;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--patients") patients = std::atoi(argv[i + 1]);
        if (option == "--path") path = argv[i + 1];
    }
    std::filesystem::path folder;
    bool temporary = false;
    if (path.empty()) {
        folder = std::filesystem::temp_directory_path() /
                 ("parvell-component-bench-" + std::to_string(getpid()));
        temporary = true;
        const std::string command = std::string(PARVELL_DEMO_BIN) + " " + folder.string() +
                                    " --patients " + std::to_string(patients) +
                                    " --today 2026-01-15 > /dev/null";
        std::printf("making a demo practice of %d patients ...\n", patients);
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "parvell-demo failed\n");
            return 1;
        }
    } else {
        folder = path;
    }
    const std::string dictionary = (folder / "mwddf.kdd").string();
    parvell::LocaleFormats = parvell::TLocaleFormats::UnitedStates();
    std::printf("%s on %s\n", kSql, dictionary.c_str());
    RawWalk(dictionary);
    ComponentWalk(dictionary);
    if (temporary) std::filesystem::remove_all(folder);
    return 0;
}
