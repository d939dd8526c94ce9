// Extraction on a real full disk and in a process killed while it writes: a failed run leaves only
// complete lines, the first ones of the run in order; a killed one leaves the old file whole.

#include <gtest/gtest.h>
#include <sys/mman.h>

#include <atomic>
#include <fstream>
#include <new>
#include <string>
#include <vector>

#include "common/Exceptions.h"
#include "extract/Extract.h"
#include "tests/extract/ExtractFixture.h"
#include "tests/support/SmallDisk.h"
#include "tests/support/WriteFaults.h"

namespace parvell {
namespace {

using namespace parvell::testing;
using faults::RunAndKill;
using faults::SmallDisk;

// The line a layout writes for record value n (no header, no record number).
std::string LineFor(TExtractLayout layout, int n) {
    const std::string digits = std::to_string(n);
    switch (layout) {
        case TExtractLayout::CommaDelimited:
            return "\"" + digits + "\"";
        case TExtractLayout::FixedLength:
            return digits + std::string(11 - digits.size(), ' ');
        case TExtractLayout::TabDelimited:
            return digits + "\t";
    }
    return "";
}

// Checks that `bytes` is the lines of records 0, 1, 2, ... each ended by CR LF, with no part
// of a line at the end. Returns the number of lines.
int ExpectWholeLinesInOrder(const std::string& bytes, TExtractLayout layout) {
    std::size_t at = 0;
    int n = 0;
    while (at < bytes.size()) {
        const std::string line = LineFor(layout, n) + "\r\n";
        if (bytes.compare(at, line.size(), line) != 0) {
            ADD_FAILURE() << "line " << n << " is not whole at offset " << at << ": "
                          << bytes.substr(at, line.size());
            return n;
        }
        at += line.size();
        ++n;
    }
    return n;
}

void FillNumbers(MemoryDataSet& ds, int count) {
    ds.columns = {{"N", ftInteger}};
    ds.rows.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) ds.rows.push_back({I32(i)});
    ds.Open();
}

TEST(ExtractFaultTest, RealFullDiskKeepsWholeLinesAndSaysDiskFull) {
    SmallDisk disk(96 * 1024);
    if (!disk.Mounted()) GTEST_SKIP() << "no tmpfs can be mounted here";
    ProgramLocale locale;
    MemoryDataSet ds("KdbTable1");
    FillNumbers(ds, 200000);
    for (const TExtractLayout layout : {TExtractLayout::CommaDelimited, TExtractLayout::FixedLength,
                                        TExtractLayout::TabDelimited}) {
        const std::string path = disk.File("out.txt");
        TExtractCallbacks callbacks;
        try {
            ExtractToFile(ds, path, {layout, false}, callbacks);
            ADD_FAILURE() << "the run succeeded on a full disk";
        } catch (const EInOutError& error) {
            EXPECT_EQ(error.ErrorCode(), 101);
            EXPECT_EQ(error.Message(), "Disk full");
        }
        const std::string bytes = ReadBytes(path);
        EXPECT_GT(bytes.size(), 0u);
        EXPECT_LE(bytes.size(), 96u * 1024);
        ExpectWholeLinesInOrder(bytes, layout);
        std::filesystem::remove(path);
    }
}

// A write failing at every point of the file: each failed run says so and leaves the first lines
// whole and in order; the run that gets through leaves every line.
TEST(ExtractFaultTest, AWriteFailingAnywhereLeavesWholeLinesAndSaysSo) {
    ProgramLocale locale;
    MemoryDataSet ds("KdbTable1");
    FillNumbers(ds, 300);
    ScratchFolder folder;
    const std::string path = folder.File("out.txt");
    for (const TExtractLayout layout : {TExtractLayout::CommaDelimited, TExtractLayout::FixedLength,
                                        TExtractLayout::TabDelimited}) {
        const int failed = faults::ForEachFailedWrite({
            .prepare = [&] { std::filesystem::remove(path); },
            .write =
                [&] {
                    TExtractCallbacks callbacks;
                    ExtractToFile(ds, path, {layout, false}, callbacks);
                },
            .check =
                [&](faults::WriteOutcome outcome, off_t limit) {
                    const int lines = ExpectWholeLinesInOrder(ReadBytes(path), layout);
                    if (outcome == faults::WriteOutcome::Succeeded) {
                        EXPECT_EQ(lines, 300) << limit;
                    }
                },
            .step = 13,
        });
        EXPECT_GT(failed, 10);
    }
}

// What the child of a kill test has done, in memory shared with the parent.
struct RunState {
    std::atomic<int64_t> records{0};
    std::atomic<bool> finished{false};
};

// Counts the records written into the shared state.
class CountingCallbacks : public TExtractCallbacks {
public:
    explicit CountingCallbacks(RunState& state) : state_(state) {}
    bool RecordWritten() override {
        state_.records.fetch_add(1, std::memory_order_relaxed);
        return true;
    }

private:
    RunState& state_;
};

// A child extracts a large table over an existing file, or to a new name, and is killed after a
// chosen number of records (or after it finished). Killed before the end, the name still holds
// the old file byte for byte, or does not exist (or, killed in the instant the run starts, is an
// empty file); killed after it, the whole new file. Nothing else is left in the folder.
TEST(ExtractFaultTest, KilledRunLeavesTheOldFileOrTheWholeNewOne) {
    ProgramLocale locale;
    ScratchFolder folder;
    constexpr int kRecords = 3000000;
    MemoryDataSet ds("KdbTable1");
    FillNumbers(ds, kRecords);
    const std::string path = folder.File("killed.txt");
    const std::string old = "old extract\r\n";
    auto* state = static_cast<RunState*>(::mmap(nullptr, sizeof(RunState), PROT_READ | PROT_WRITE,
                                                MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(state, MAP_FAILED);
    constexpr int64_t kAtTheEnd = -1;
    struct Case {
        int64_t killAfter;
        bool existing;
    };
    for (const auto [killAfter, existing] :
         {Case{0, true}, Case{1000, true}, Case{300000, true}, Case{2900000, true}, Case{0, false},
          Case{300000, false}, Case{kAtTheEnd, false}, Case{kAtTheEnd, true}}) {
        SCOPED_TRACE(existing ? "over an existing file" : "to a new name");
        new (state) RunState;
        std::filesystem::remove(path);
        if (existing) std::ofstream(path, std::ios::binary) << old;
        const bool killed = RunAndKill(
            [&] {
                CountingCallbacks callbacks(*state);
                ExtractToFile(ds, path, {TExtractLayout::CommaDelimited, false}, callbacks);
                state->finished = true;
                // Wait for the kill, so that every case ends the same way.
                for (;;) ::pause();
            },
            [&] {
                for (int tries = 0; tries < 100000; ++tries) {
                    if (state->finished) return;
                    if (killAfter != kAtTheEnd && state->records >= killAfter) return;
                    ::usleep(100);
                }
            });
        EXPECT_TRUE(killed) << killAfter;
        const std::string bytes = ReadBytes(path);
        if (state->finished) {
            EXPECT_EQ(ExpectWholeLinesInOrder(bytes, TExtractLayout::CommaDelimited), kRecords)
                << killAfter;
            EXPECT_EQ(folder.Entries(), std::vector<std::string>{"killed.txt"}) << killAfter;
        } else if (existing) {
            EXPECT_TRUE(bytes == old)
                << "killed after " << state->records << " records, the file holds " << bytes.size()
                << " bytes instead of the old file";
            EXPECT_EQ(folder.Entries(), std::vector<std::string>{"killed.txt"}) << killAfter;
        } else if (killAfter == 0 && folder.Entries() == std::vector<std::string>{"killed.txt"}) {
            // Killed in the instant between making the new name (to check it) and removing it
            // again: the name is left empty, never with part of the lines.
            EXPECT_TRUE(bytes.empty())
                << "killed at the start, the new name holds " << bytes.size() << " bytes";
        } else {
            EXPECT_TRUE(folder.Entries().empty())
                << "killed after " << state->records << " records";
        }
    }
    EXPECT_TRUE(state->finished) << "the last case should have let the run finish";
    ::munmap(state, sizeof(RunState));
}

}  // namespace
}  // namespace parvell
