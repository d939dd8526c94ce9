// The extract file: creation failures, line ends, a full disk, and nothing touched outside the
// chosen file.

#include "extract/ExtractFile.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "common/Exceptions.h"
#include "extract/Extract.h"
#include "tests/extract/ExtractFixture.h"

namespace parvell {
namespace {

using namespace parvell::testing;

// A file on a device that takes only `room` more bytes, then answers "no space left".
class NearlyFullFile : public TExtractFile {
public:
    explicit NearlyFullFile(std::size_t room) : room_(room) {}
    int writes = 0;

protected:
    long WriteSome(int fd, const char* data, std::size_t size) override {
        ++writes;
        if (room_ == 0) {
            errno = ENOSPC;
            return -1;
        }
        const std::size_t n = std::min(size, room_);
        room_ -= n;
        return TExtractFile::WriteSome(fd, data, n);
    }

private:
    std::size_t room_;
};

int CodeOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const EInOutError& error) {
        return error.ErrorCode();
    }
    return 0;
}

// A file system that cannot make unnamed files: the lines are written under the name directly.
class NamedOnlyFile : public TExtractFile {
protected:
    int OpenUnnamed(const std::string&) override {
        errno = EOPNOTSUPP;
        return -1;
    }
};

TEST(ExtractFileTest, LinesEndWithCrLfAndReplaceAnExistingFile) {
    ScratchFolder folder;
    const std::string path = folder.File("a.txt");
    for (const bool unnamed : {true, false}) {
        std::ofstream(path) << "old content that is longer";
        ::chmod(path.c_str(), 0640);
        NamedOnlyFile namedOnly;
        TExtractFile plain;
        TExtractFile& file = unnamed ? plain : namedOnly;
        file.Create(path);
        file.WriteLine("one");
        file.WriteLine("");
        // Written under the name directly the old content is gone at once; else it stays whole
        // until the close.
        EXPECT_EQ(ReadBytes(path), unnamed ? "old content that is longer" : "") << unnamed;
        file.WriteLine("two");
        file.Close();
        EXPECT_EQ(ReadBytes(path), "one\r\n\r\ntwo\r\n") << unnamed;
        EXPECT_EQ(std::filesystem::status(path).permissions() & std::filesystem::perms::all,
                  std::filesystem::perms(0640))
            << unnamed;
        EXPECT_EQ(folder.Entries(), std::vector<std::string>{"a.txt"}) << unnamed;
    }
}

TEST(ExtractFileTest, SymbolicLinkIsRefusedAndItsTargetUntouched) {
    ScratchFolder folder;
    std::filesystem::create_directory(folder.Path() / "elsewhere");
    const std::string outside = folder.File("elsewhere/data.kdd");
    std::ofstream(outside) << "practice data";
    std::filesystem::create_directory(folder.Path() / "Export");
    std::filesystem::create_symlink(outside, folder.Path() / "Export" / "x.csv");
    std::filesystem::create_symlink(folder.File("elsewhere/new.kdd"),
                                    folder.Path() / "Export" / "y.csv");
    for (const char* name : {"x.csv", "y.csv"}) {
        TExtractFile file;
        EXPECT_NE(CodeOf([&] { file.Create(folder.Path().string() + "/Export/" + name); }), 0)
            << name;
        EXPECT_FALSE(file.IsOpen()) << name;
    }
    EXPECT_EQ(ReadBytes(outside), "practice data");
    EXPECT_FALSE(std::filesystem::exists(folder.Path() / "elsewhere" / "new.kdd"));
}

TEST(ExtractFileTest, BackslashSeparatesFolders) {
    ScratchFolder folder;
    std::filesystem::create_directory(folder.Path() / "Export");
    TExtractFile file;
    file.Create(folder.Path().string() + "/Export\\x.csv");
    file.Close();
    EXPECT_TRUE(std::filesystem::is_regular_file(folder.Path() / "Export" / "x.csv"));
}

TEST(ExtractFileTest, CreationFailuresCarryTheirCause) {
    ScratchFolder folder;
    std::ofstream(folder.File("plain")) << "x";
    ASSERT_EQ(::mkfifo(folder.File("pipe").c_str(), 0600), 0);
    struct Case {
        const char* name;
        std::string path;
        int code;
    };
    const Case cases[] = {
        {"missing folder", folder.File("nowhere/x.txt"), 2},
        {"a file used as a folder", folder.File("plain/x.txt"), 3},
        {"name too long", folder.File(std::string(300, 'n')), 3},
        {"a folder", folder.Path().string() + "/", 5},
        // Fails at once rather than waiting for a reader.
        {"a pipe without a reader", folder.File("pipe"), 6},
    };
    for (const Case& c : cases) {
        TExtractFile file;
        EXPECT_EQ(CodeOf([&] { file.Create(c.path); }), c.code) << c.name;
        EXPECT_FALSE(file.IsOpen()) << c.name;
    }
}

TEST(ExtractFileTest, RunThatCannotCreateItsFileReportsFileNotOpen) {
    ProgramLocale locale;
    ScratchFolder folder;
    MemoryDataSet ds("KdbTable1");
    ds.columns = {{"N", ftInteger}};
    ds.Open();
    TExtractCallbacks callbacks;
    for (const std::string& path : {folder.File("nowhere/x.txt"), folder.Path().string() + "\\",
                                    folder.File(std::string(300, 'n'))}) {
        try {
            ExtractToFile(ds, path, {}, callbacks);
            ADD_FAILURE() << path;
        } catch (const EInOutError& error) {
            EXPECT_EQ(error.ErrorCode(), 103);
            EXPECT_EQ(error.Message(), "I/O error 103");
        }
    }
    EXPECT_TRUE(folder.Entries().empty());
}

TEST(ExtractFileTest, WritesAfterCloseAreRefused) {
    TExtractFile file;
    EXPECT_EQ(CodeOf([&] { file.WriteLine("x"); }), 103);
    EXPECT_EQ(CodeOf([&] { file.Close(); }), 103);
}

TEST(ExtractFileTest, DiskFullKeepsWholeLinesOnly) {
    ScratchFolder folder;
    const std::string line(99, 'x');  // 101 bytes with CR LF
    // Room ends inside a line of a later block, inside the first block, and at a line's end.
    for (const std::size_t room : {std::size_t{300000}, std::size_t{250}, std::size_t{505}}) {
        const std::string path = folder.File("full.txt");
        NearlyFullFile file(room);
        file.Create(path);
        int code = 0;
        int written = 0;
        try {
            for (; written < 10000; ++written) file.WriteLine(line);
            file.Close();
        } catch (const EInOutError& error) {
            code = error.ErrorCode();
            EXPECT_EQ(error.Message(), "Disk full");
            file.CloseAfterFailure();
        }
        EXPECT_EQ(code, 101) << room;
        const std::string bytes = ReadBytes(path);
        EXPECT_EQ(bytes.size(), room / 101 * 101) << room;
        EXPECT_EQ(static_cast<int64_t>(bytes.size()), file.BytesWritten());
        EXPECT_EQ(bytes.find_first_not_of(line + "\r\n"), std::string::npos);
        EXPECT_FALSE(file.IsOpen());
    }
}

TEST(ExtractFileTest, DiskFullAtCloseIsReported) {
    ScratchFolder folder;
    const std::string path = folder.File("full.txt");
    NearlyFullFile file(7);
    file.Create(path);
    file.WriteLine("abc");
    file.WriteLine("def");
    EXPECT_EQ(CodeOf([&] { file.Close(); }), 101);
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(ReadBytes(path), "abc\r\n");
}

TEST(ExtractFileTest, DiskFullDuringRunClosesTheFileAndTouchesNothingElse) {
    ProgramLocale locale;
    ScratchFolder folder;
    std::ofstream(folder.File("neighbour.txt")) << "keep";
    MemoryDataSet ds("KdbTable1");
    ds.columns = {{"N", ftInteger}};
    for (int i = 0; i < 100000; ++i) ds.rows.push_back({I32(i)});
    ds.Open();
    RecordingCallbacks callbacks;
    NearlyFullFile file(100000);
    const std::string path = folder.File("out.txt");
    EXPECT_EQ(CodeOf([&] {
                  ExtractToFile(ds, path, {TExtractLayout::TabDelimited, true}, callbacks, file);
              }),
              101);
    EXPECT_FALSE(file.IsOpen());
    const std::string bytes = ReadBytes(path);
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
    EXPECT_LE(bytes.size(), 100000u);
    EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"neighbour.txt", "out.txt"}));
    EXPECT_EQ(ReadBytes(folder.File("neighbour.txt")), "keep");
}

TEST(ExtractFileTest, ErrnoToInOutCode) {
    const std::pair<int, int> table[] = {
        {ENOENT, 2},  {ENOTDIR, 3}, {ENAMETOOLONG, 3}, {EMFILE, 4},   {ENFILE, 4},
        {EACCES, 5},  {EROFS, 5},   {EISDIR, 5},       {ENOSPC, 101}, {EDQUOT, 101},
        {EFBIG, 101}, {EIO, 1117},  {EBADF, EBADF},
    };
    for (const auto& [error, code] : table) EXPECT_EQ(InOutCodeForErrno(error), code) << error;
}

}  // namespace
}  // namespace parvell
