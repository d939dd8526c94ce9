// Extraction on a real full disk and in a process killed while it writes: the file holds only
// complete lines, the first ones of the run in order.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "common/Exceptions.h"
#include "extract/Extract.h"
#include "tests/extract/ExtractFixture.h"
#include "tests/faults/SmallDisk.h"

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

// What a killed run leaves: the lines of records 0, 1, 2, ... in order, each whole, except that
// the very last one may be cut where the kernel stopped copying a block into the file. The kernel
// copies a write page by page and a fatal signal is only taken between pages, so such a cut
// always falls on a page boundary of the file.
void ExpectWholeLinesUpToAPageCut(const std::string& bytes, TExtractLayout layout) {
    constexpr std::size_t kPage = 4096;
    std::size_t at = 0;
    int n = 0;
    while (at < bytes.size()) {
        const std::string line = LineFor(layout, n) + "\r\n";
        const std::size_t left = bytes.size() - at;
        if (left < line.size()) {
            EXPECT_EQ(bytes.compare(at, left, line, 0, left), 0) << "the cut line " << n << " differs";
            EXPECT_EQ(bytes.size() % kPage, 0u) << "a line is cut at offset " << bytes.size()
                                                << ", which is no page boundary";
            return;
        }
        if (bytes.compare(at, line.size(), line) != 0) {
            ADD_FAILURE() << "line " << n << " is not whole at offset " << at;
            return;
        }
        at += line.size();
        ++n;
    }
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
    for (const TExtractLayout layout :
         {TExtractLayout::CommaDelimited, TExtractLayout::FixedLength, TExtractLayout::TabDelimited}) {
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

// A child extracts a large table and is killed once the file has reached a chosen size. The file
// is written in place, in blocks that end at a line's end: a kill between two writes leaves
// complete lines only, and a kill during a write can cut that block's last page short (see
// ExpectWholeLinesUpToAPageCut). Nothing before the cut is ever damaged.
TEST(ExtractFaultTest, KilledRunLeavesCompleteLines) {
    ProgramLocale locale;
    ScratchFolder folder;
    MemoryDataSet ds("KdbTable1");
    FillNumbers(ds, 3000000);
    const std::string path = folder.File("killed.txt");
    for (const off_t killAt : {off_t{1}, off_t{300000}, off_t{2000000}, off_t{5000000}}) {
        std::filesystem::remove(path);
        const bool killed = RunAndKill(
            [&] {
                TExtractCallbacks callbacks;
                ExtractToFile(ds, path, {TExtractLayout::CommaDelimited, false}, callbacks);
                // Finished before the kill: wait for it, so that every case ends the same way.
                for (;;) ::pause();
            },
            [&] {
                struct stat info {};
                for (int tries = 0; tries < 20000; ++tries) {
                    if (::stat(path.c_str(), &info) == 0 && info.st_size >= killAt) return;
                    ::usleep(200);
                }
            });
        EXPECT_TRUE(killed);
        const std::string bytes = ReadBytes(path);
        EXPECT_GE(static_cast<off_t>(bytes.size()), killAt);
        ExpectWholeLinesUpToAPageCut(bytes, TExtractLayout::CommaDelimited);
    }
}

}  // namespace
}  // namespace parvell
