// The store file under faults: a full disk and a process killed while writing leave the file
// wholly old or wholly new, with no temporary file behind after a reported failure.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "settings/Kestrane.h"
#include "tests/support/SmallDisk.h"
#include "tests/support/TempDir.h"
#include "tests/support/WriteFaults.h"

namespace parvell {
namespace {

namespace fs = std::filesystem;
using faults::RunAndKill;
using faults::SmallDisk;

std::string Bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// Points the store at `folder` while alive.
class ConfigHome {
public:
    explicit ConfigHome(const std::string& folder) { setenv("XDG_CONFIG_HOME", folder.c_str(), 1); }
    ~ConfigHome() { unsetenv("XDG_CONFIG_HOME"); }
};

TEST(StoreFaultTest, FullDiskReportsAndKeepsTheOldFile) {
    SmallDisk disk(64 * 1024);
    if (!disk.Mounted()) GTEST_SKIP() << "no tmpfs can be mounted here";
    ConfigHome home(disk.Path());
    WriteSetting("\\Parvell", "LastOpen", "C:\\first.sql");
    WriteCurrentPractice("C:\\PRACTICE\\");
    const fs::path store = fs::path(disk.Path()) / "parvell" / "registry.reg";
    const std::string before = Bytes(store);

    // Fill the disk but for a little room, so that the old file fits and a large new one not.
    {
        std::ofstream filler(disk.File("filler"), std::ios::binary);
        filler << std::string(60 * 1024 - 2 * before.size(), 'f');
    }
    const std::string large(8000, 'L');
    try {
        WriteSetting("\\Parvell", "LastOpen", large);
        ADD_FAILURE() << "the write succeeded on a full disk";
    } catch (const ERegistryException& error) {
        EXPECT_EQ(error.Message(), "Failed to set data for 'LastOpen'");
    }
    EXPECT_EQ(Bytes(store), before);
    EXPECT_EQ(ReadSetting("\\Parvell", "LastOpen"), "C:\\first.sql");
    EXPECT_EQ(ReadCurrentPractice(), "C:\\PRACTICE\\");
    // No temporary file left behind.
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(store.parent_path()))
        ++entries;
    EXPECT_EQ(entries, 1);

    // With room again the same write succeeds.
    fs::remove(disk.File("filler"));
    WriteSetting("\\Parvell", "LastOpen", large);
    EXPECT_EQ(ReadSetting("\\Parvell", "LastOpen"), large);
}

// A write failing at every point: each failed run reports it and leaves the old file byte for
// byte with nothing else in the folder; the run that gets through holds the new value.
TEST(StoreFaultTest, AWriteFailingAnywhereKeepsTheOldFile) {
    const test::TempDir dir;
    ConfigHome home(dir.Path());
    const fs::path store = fs::path(dir.Path()) / "parvell" / "registry.reg";
    const std::string value(3000, 'v');
    std::string before;
    const int failed = faults::ForEachFailedWrite({
        .prepare =
            [&] {
                fs::remove_all(store.parent_path());
                WriteSetting("\\Parvell", "LastOpen", "C:\\first.sql");
                WriteCurrentPractice("C:\\PRACTICE\\");
                before = Bytes(store);
            },
        .write = [&] { WriteSetting("\\Parvell", "LastOpen", value); },
        .check =
            [&](faults::WriteOutcome outcome, off_t limit) {
                if (outcome == faults::WriteOutcome::Failed) {
                    EXPECT_EQ(Bytes(store), before) << limit;
                } else {
                    EXPECT_EQ(ReadSetting("\\Parvell", "LastOpen"), value) << limit;
                    EXPECT_EQ(ReadCurrentPractice(), "C:\\PRACTICE\\") << limit;
                }
                int entries = 0;
                for ([[maybe_unused]] const auto& entry :
                     fs::directory_iterator(store.parent_path()))
                    ++entries;
                EXPECT_EQ(entries, 1) << limit;
            },
        .step = 97,
    });
    EXPECT_GT(failed, 10);
}

// A child writes large values one after the other and is killed at several moments: the file
// then always reads and holds one of the values written whole, never a mixture or nothing.
TEST(StoreFaultTest, KilledWriterLeavesTheFileWhole) {
    const test::TempDir dir;
    const std::string& pattern = dir.Path();
    ConfigHome home(pattern);
    WriteSetting("\\Parvell", "LastOpen", std::string(50000, 'a'));
    const fs::path store = fs::path(pattern) / "parvell" / "registry.reg";

    for (const int delayMs : {1, 7, 20, 60}) {
        const bool killed = RunAndKill(
            [] {
                for (int k = 0;; ++k) {
                    WriteSetting("\\Parvell", "LastOpen",
                                 std::string(50000 + k % 3, static_cast<char>('b' + k % 20)));
                }
            },
            [&] { std::this_thread::sleep_for(std::chrono::milliseconds(delayMs)); });
        EXPECT_TRUE(killed) << delayMs;
        const std::string value = ReadSetting("\\Parvell", "LastOpen");
        ASSERT_GE(value.size(), 50000u) << delayMs;
        ASSERT_LE(value.size(), 50002u) << delayMs;
        EXPECT_EQ(value.find_first_not_of(value[0]), std::string::npos) << delayMs;
    }
    // Temporary files of killed writers may stay (they cannot be removed by a dead process); they
    // are never read as the store. The next write still succeeds.
    WriteSetting("\\Parvell", "LastOpen", "end");
    EXPECT_EQ(ReadSetting("\\Parvell", "LastOpen"), "end");
}

}  // namespace
}  // namespace parvell
