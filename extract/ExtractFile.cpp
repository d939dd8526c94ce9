#include "extract/ExtractFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "common/Exceptions.h"

namespace parvell {
namespace {

// Lines are written in blocks of about this size.
constexpr std::size_t kBlockSize = 256 * 1024;

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
    const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) throw EInOutError(InOutCodeForErrno(errno));
    fd_ = fd;
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
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && code == 0) code = InOutCodeForErrno(errno);
    if (code != 0) throw EInOutError(code);
}

void TExtractFile::CloseAfterFailure() noexcept {
    if (!IsOpen()) return;
    if (failedCode_ == 0) Flush();
    Release();
}

long TExtractFile::WriteSome(int fd, const char* data, std::size_t size) {
    return static_cast<long>(::write(fd, data, size));
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
    buffer_.clear();
    lineEnds_.clear();
    failedCode_ = 0;
}

}  // namespace parvell
