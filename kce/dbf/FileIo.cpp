#include "kce/dbf/FileIo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "kce/dbf/DbfError.h"

namespace kce::dbf {

namespace {

[[noreturn]] void ThrowErrno(const std::string& path, int64_t offset, const std::string& what,
                             int err) {
    throw DbfError(path, offset, what + ": " + std::strerror(err));
}

}  // namespace

Fd& Fd::operator=(Fd&& o) noexcept {
    if (this != &o) {
        Reset();
        fd_ = o.Release();
    }
    return *this;
}

Fd::~Fd() {
    Reset();
}

void Fd::Reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

Fd OpenFile(const std::string& path, int flags, int mode) {
    int fd = ::open(path.c_str(), flags | O_CLOEXEC, mode);
    if (fd < 0) ThrowErrno(path, -1, "cannot open", errno);
    return Fd(fd);
}

uint64_t FileSize(int fd, const std::string& path) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) ThrowErrno(path, -1, "cannot read the file size", errno);
    return static_cast<uint64_t>(st.st_size);
}

size_t ReadAt(int fd, uint64_t offset, char* buffer, size_t size, const std::string& path) {
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::pread(fd, buffer + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            ThrowErrno(path, static_cast<int64_t>(offset + done), "read failed", errno);
        }
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    return done;
}

void WriteAt(int fd, uint64_t offset, std::string_view bytes, const std::string& path) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::pwrite(fd, bytes.data() + done, bytes.size() - done,
                             static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            ThrowErrno(path, static_cast<int64_t>(offset + done), "write failed", errno);
        }
        done += static_cast<size_t>(n);
    }
}

void Truncate(int fd, uint64_t size, const std::string& path) {
    while (::ftruncate(fd, static_cast<off_t>(size)) != 0) {
        if (errno != EINTR)
            ThrowErrno(path, static_cast<int64_t>(size), "cannot set the file length", errno);
    }
}

void Sync(int fd, const std::string& path) {
    while (::fsync(fd) != 0) {
        if (errno != EINTR) ThrowErrno(path, -1, "cannot flush the file to disk", errno);
    }
}

void SyncFolderOf(const std::string& path) {
    std::string folder = FolderOf(path);
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) ThrowErrno(folder, -1, "cannot open the folder", errno);
    Fd owner(fd);
    if (::fsync(fd) != 0 && errno != EINVAL)
        ThrowErrno(folder, -1, "cannot flush the folder to disk", errno);
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

std::string FolderOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string FileNameOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace kce::dbf
