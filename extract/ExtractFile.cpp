#include "extract/ExtractFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "common/Exceptions.h"

namespace parvell {
namespace {

// Lines are written in blocks of about this size.
constexpr std::size_t kBlockSize = 256 * 1024;

// The folder part of a path ("." for a bare name).
std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The name under which an open file can be linked without special rights.
std::string ProcPath(int fd) {
    return "/proc/self/fd/" + std::to_string(fd);
}

}  // namespace

int InOutCodeForErrno(int error) {
    switch (error) {
        case ENOENT:
            return kIoFileNotFound;
        case ENOTDIR:
        case ENAMETOOLONG:
        case EINVAL:
        case EILSEQ:
            return kIoInvalidFilename;
        case EMFILE:
        case ENFILE:
            return kIoTooManyOpenFiles;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
        case ETXTBSY:
            return kIoAccessDenied;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return kIoDiskFull;
        case EIO:
            // A device fault; its own number would read as "File access denied".
            return kIoDeviceFault;
        default:
            return error;
    }
}

std::string FileNameOnDisk(std::string_view path) {
    std::string result(path);
    std::replace(result.begin(), result.end(), '\\', '/');
    return result;
}

TExtractFile::TExtractFile() = default;

TExtractFile::~TExtractFile() {
    CloseAfterFailure();
}

void TExtractFile::Create(std::string_view path) {
    if (IsOpen()) CloseAfterFailure();
    const std::string target = FileNameOnDisk(path);
    // Opening the name itself checks the folder, the name and the right to write. An existing
    // file keeps its content until the close; a new name is made only for that check and, once
    // the unnamed file is open, removed again, so a run that is killed leaves the name as it was.
    // Opened without waiting: a pipe without a reader fails at once instead of blocking.
    constexpr int kOpenFlags = O_WRONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;
    int named = ::open(target.c_str(), kOpenFlags | O_CREAT | O_EXCL, 0666);
    const bool madeName = named >= 0;
    if (!madeName && errno == EEXIST) named = ::open(target.c_str(), kOpenFlags);
    if (named < 0) throw EInOutError(InOutCodeForErrno(errno));
    if (const int flags = ::fcntl(named, F_GETFL); flags >= 0)
        ::fcntl(named, F_SETFL, flags & ~O_NONBLOCK);
    struct stat info {};
    const bool regular = ::fstat(named, &info) == 0 && S_ISREG(info.st_mode);
    int fd = regular ? OpenUnnamed(FolderOf(target)) : -1;
    if (fd >= 0) {
        // The new file takes the place of the old one, with the old one's permissions.
        ::fchmod(fd, info.st_mode & 07777);
        ::close(named);
        if (madeName) ::unlink(target.c_str());
        unnamed_ = true;
    } else {
        if (regular && ::ftruncate(named, 0) != 0) {
            const int error = errno;
            ::close(named);
            if (madeName) ::unlink(target.c_str());
            throw EInOutError(InOutCodeForErrno(error));
        }
        fd = named;
        unnamed_ = false;
    }
    fd_ = fd;
    target_ = target;
    written_ = 0;
    failedCode_ = 0;
    buffer_.clear();
    lineEnds_.clear();
    buffer_.reserve(kBlockSize + 4096);
}

void TExtractFile::WriteLine(std::string_view text) {
    if (!IsOpen()) throw EInOutError(kIoFileNotOpen);
    if (failedCode_ != 0) throw EInOutError(failedCode_);
    buffer_.append(text);
    buffer_.append("\r\n", 2);
    lineEnds_.push_back(buffer_.size());
    if (buffer_.size() >= kBlockSize) {
        failedCode_ = Flush();
        if (failedCode_ != 0) throw EInOutError(failedCode_);
    }
}

void TExtractFile::Close() {
    if (!IsOpen()) throw EInOutError(kIoFileNotOpen);
    int code = failedCode_ != 0 ? failedCode_ : Flush();
    const int placed = PutInPlace();
    if (code == 0) code = placed;
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && code == 0) code = InOutCodeForErrno(errno);
    if (code != 0) throw EInOutError(code);
}

void TExtractFile::CloseAfterFailure() noexcept {
    if (!IsOpen()) return;
    if (failedCode_ == 0) Flush();
    PutInPlace();
    Release();
}

long TExtractFile::WriteSome(int fd, const char* data, std::size_t size) {
    return static_cast<long>(::write(fd, data, size));
}

int TExtractFile::OpenUnnamed(const std::string& folder) {
#ifdef O_TMPFILE
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0) return -1;
    // The file is named through /proc at the close; without /proc it could never get a name.
    if (::access(ProcPath(fd).c_str(), F_OK) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
#else
    (void)folder;
    errno = EOPNOTSUPP;
    return -1;
#endif
}

int TExtractFile::PutInPlace() noexcept {
    if (!unnamed_) return 0;
    unnamed_ = false;
    // On disk before it has a name, so that even a power cut leaves the old file or the new. A
    // failed sync is reported, but the lines still take the name, as a failed write's do.
    const int synced = ::fdatasync(fd_) == 0 ? 0 : InOutCodeForErrno(errno);
    // A link cannot replace an existing name, so the file first gets a passing name of its own
    // in the same folder and is then renamed over the target in one step.
    const std::string source = ProcPath(fd_);
    const std::string passing = FolderOf(target_) + "/.extract-" + std::to_string(::getpid()) + "-";
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = passing + std::to_string(attempt) + ".tmp";
        if (::linkat(AT_FDCWD, source.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) != 0) {
            if (errno == EEXIST) continue;
            return InOutCodeForErrno(errno);
        }
        if (::rename(name.c_str(), target_.c_str()) != 0) {
            const int code = InOutCodeForErrno(errno);
            ::unlink(name.c_str());
            return code;
        }
        return synced;
    }
    return InOutCodeForErrno(EEXIST);
}

int TExtractFile::Flush() noexcept {
    std::size_t done = 0;
    int code = 0;
    while (done < buffer_.size()) {
        const long n = WriteSome(fd_, buffer_.data() + done, buffer_.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            // A write that takes nothing without an error means the device is full.
            code = n == 0 ? kIoDiskFull : InOutCodeForErrno(errno);
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    if (code != 0) {
        // Keep the whole lines that reached the file and cut off the part of the next one.
        const auto whole = std::upper_bound(lineEnds_.begin(), lineEnds_.end(), done);
        const std::size_t keep = whole == lineEnds_.begin() ? 0 : *(whole - 1);
        if (keep != done) {
            if (::ftruncate(fd_, static_cast<off_t>(written_ + static_cast<int64_t>(keep))) == 0) {
                ::lseek(fd_, 0, SEEK_END);
            }
        }
        written_ += static_cast<int64_t>(keep);
    } else {
        written_ += static_cast<int64_t>(done);
    }
    buffer_.clear();
    lineEnds_.clear();
    return code;
}

void TExtractFile::Release() noexcept {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    unnamed_ = false;
    buffer_.clear();
    lineEnds_.clear();
    failedCode_ = 0;
}

}  // namespace parvell
