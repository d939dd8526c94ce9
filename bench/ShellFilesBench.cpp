// Speed of the shell's file work: writing and reading SQL files as RTF (MB of text per second,
// on a text of the given size made of SQL lines with a few escaped characters), loading a plain
// text file, and one settings read and one settings write (microseconds per call; a write
// includes its fsync) against a store file in a temporary folder.
//
//   shell_files_bench [megabytes]      megabytes defaults to 32
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/core/Rtf.h"
#include "settings/Kestrane.h"

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    const double megabytes = argc > 1 ? std::atof(argv[1]) : 32;
    const std::string line =
        "Select pat.\"Chart Number\", Trim(\"Last Name\") {x} From MWPAT\t-- \xE9\r\n";
    std::string text;
    while (text.size() < megabytes * 1024 * 1024) text += line;
    const double textMb = static_cast<double>(text.size()) / (1024 * 1024);

    auto start = Clock::now();
    std::string rtf = parvell::TextToRtf(text);
    double writeSeconds = SecondsSince(start);

    start = Clock::now();
    std::string back = parvell::SqlFileText(rtf);
    double readSeconds = SecondsSince(start);

    start = Clock::now();
    std::string plain = parvell::SqlFileText(text);
    double plainSeconds = SecondsSince(start);

    std::printf("text %.1f MB, RTF %.1f MB, read back %s\n", textMb,
                static_cast<double>(rtf.size()) / (1024 * 1024),
                back == text ? "equal" : "DIFFERENT");
    std::printf("TextToRtf          %8.1f MB/s\n", textMb / writeSeconds);
    std::printf("SqlFileText (RTF)  %8.1f MB/s\n", textMb / readSeconds);
    std::printf("SqlFileText (text) %8.1f MB/s\n", textMb / plainSeconds);

    namespace fs = std::filesystem;
    std::string folder = (fs::temp_directory_path() / "shell-bench-XXXXXX").string();
    if (!mkdtemp(folder.data())) return 1;
    setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
    constexpr int kCalls = 200;
    parvell::WriteSetting("\\Parvell", "LastOpen", "/home/ann/sql/patients.sql");
    start = Clock::now();
    for (int i = 0; i < kCalls; ++i) parvell::ReadSetting("\\Parvell", "LastOpen");
    double readCall = SecondsSince(start) / kCalls;
    start = Clock::now();
    for (int i = 0; i < kCalls; ++i)
        parvell::WriteSetting("\\Parvell", "LastOpen", std::to_string(i));
    double writeCall = SecondsSince(start) / kCalls;
    fs::remove_all(folder);
    std::printf("ReadSetting        %8.1f us/call\n", readCall * 1e6);
    std::printf("WriteSetting       %8.1f us/call\n", writeCall * 1e6);
    return 0;
}
