#pragma once
// The extract file: a single-byte text file written line by line, every line ended by CR LF.
//
// Lines are collected in a buffer and handed to the file system in large blocks. A block that
// the file system takes only in part (a full disk) is cut back to the last whole line it holds,
// so a failed run leaves a file of complete lines: exactly those written before the failure.
// Every failure raises EInOutError with the in/out error code of the cause.
//
// The lines go into an unnamed file in the target's folder, which takes the target's name when
// the file is closed (after a failure too). Until then the name holds what it held before
// (nothing when it was new), so a process killed while writing never leaves a line cut short:
// the kernel may stop copying a block at any page, and only an unnamed file hides that. Where the
// file system cannot make unnamed files, the lines are written under the target's name directly.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace parvell {

// In/out error codes the extract file reports (the message of each is EInOutError's).
inline constexpr int kIoFileNotFound = 2;
inline constexpr int kIoInvalidFilename = 3;
inline constexpr int kIoTooManyOpenFiles = 4;
inline constexpr int kIoAccessDenied = 5;
inline constexpr int kIoDiskFull = 101;
inline constexpr int kIoFileNotOpen = 103;
inline constexpr int kIoDeviceFault = 1117;

// The in/out error code for a system error number (errno).
int InOutCodeForErrno(int error);

// The path as the file system takes it: both "/" and "\" separate folders in the paths the
// program composes, and files are created with "/" only.
std::string FileNameOnDisk(std::string_view path);

class TExtractFile {
public:
    TExtractFile();
    // Closes a file still open without reporting anything.
    virtual ~TExtractFile();
    TExtractFile(const TExtractFile&) = delete;
    TExtractFile& operator=(const TExtractFile&) = delete;

    // Creates the file at path for writing; on closing it replaces what the path held. A name
    // that is a symbolic link is refused rather than followed. Raises EInOutError with the code
    // of the cause; nothing is created then.
    void Create(std::string_view path);
    bool IsOpen() const { return fd_ >= 0; }

    // Appends text and CR LF as one line. Raises when a block of lines cannot be written.
    void WriteLine(std::string_view text);

    // Writes the lines still buffered, puts the file in place under its name and closes it.
    // Raises EInOutError 103 when no file is open, or the code of a failed write, sync, rename
    // or close; the file is closed in every case.
    void Close();
    // Closes after a failure elsewhere: the buffered lines are written as far as the file
    // system takes them (cut back to whole lines), the file is put in place under its name and
    // nothing is raised, so the first failure is the one reported.
    void CloseAfterFailure() noexcept;

    // Bytes of complete lines handed to the file system so far.
    int64_t BytesWritten() const { return written_; }

protected:
    // One write of the file system: the number of bytes taken, or -1 with errno set. A test
    // overrides it to simulate a full disk.
    virtual long WriteSome(int fd, const char* data, std::size_t size);
    // Opens an unnamed file for writing in the folder: a descriptor, or -1 with errno set when
    // the file system cannot make one. A test overrides it to take the direct way.
    virtual int OpenUnnamed(const std::string& folder);

private:
    // Writes the buffer. On failure the file is cut back to its last whole line and the
    // in/out error code is returned; 0 on success.
    int Flush() noexcept;
    // Gives the unnamed file the target's name (syncing it first); the in/out error code of a
    // failure, 0 on success or when the file was written under its name.
    int PutInPlace() noexcept;
    void Release() noexcept;

    int fd_ = -1;
    bool unnamed_ = false;  // fd_ is an unnamed file that target_ will name
    std::string target_;
    std::string buffer_;
    std::vector<std::size_t> lineEnds_;  // offsets in buffer_ just past each line's LF
    int64_t written_ = 0;                // file size: whole lines only
    int failedCode_ = 0;                 // the code of a failed write; later lines are refused
};

}  // namespace parvell
