#include "settings/StoreFile.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>

namespace parvell::store {
namespace {

constexpr const char* kRelativePath = "/parvell/registry.reg";

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home && *home) return home;
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) return entry->pw_dir;
    return ".";
}

std::string FolderOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// Closes a descriptor on every way out.
struct FileDescriptor {
    int fd = -1;
    ~FileDescriptor() {
        if (fd >= 0) close(fd);
    }
};

int WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t written = write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        bytes.remove_prefix(static_cast<size_t>(written));
    }
    return 0;
}

}  // namespace

std::string StoreFilePath() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string base =
        (config && config[0] == '/') ? std::string(config) : HomeFolder() + "/.config";
    return base + kRelativePath;
}

ReadOutcome ReadStoreFile(const std::string& path, std::string& bytes, int& error) {
    bytes.clear();
    error = 0;
    FileDescriptor file{open(path.c_str(), O_RDONLY | O_CLOEXEC)};
    if (file.fd < 0) {
        error = errno;
        if (error == ENOENT || error == ENOTDIR) return ReadOutcome::Missing;
        if (error == EACCES) return ReadOutcome::NoAccess;
        return ReadOutcome::Failed;
    }
    struct stat info;
    if (fstat(file.fd, &info) != 0) {
        error = errno;
        return ReadOutcome::Failed;
    }
    if (!S_ISREG(info.st_mode)) {
        error = EISDIR;
        return ReadOutcome::Failed;
    }
    // The registry opens keys for full access: a store this user may only read counts as closed.
    if (access(path.c_str(), R_OK | W_OK) != 0) {
        error = errno;
        return ReadOutcome::NoAccess;
    }
    if (info.st_size > 0) bytes.reserve(static_cast<size_t>(info.st_size));
    char buffer[65536];
    while (true) {
        ssize_t got = read(file.fd, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) continue;
            error = errno;
            return ReadOutcome::Failed;
        }
        if (got == 0) break;
        bytes.append(buffer, static_cast<size_t>(got));
    }
    return ReadOutcome::Read;
}

int CreateStoreFolder(const std::string& path) {
    std::string folder = FolderOf(path);
    for (size_t pos = 1; pos <= folder.size(); ++pos) {
        if (pos != folder.size() && folder[pos] != '/') continue;
        std::string part = folder.substr(0, pos);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return errno;
    }
    struct stat info;
    if (stat(folder.c_str(), &info) != 0) return errno;
    return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
}

StoreWriteLock::StoreWriteLock(const std::string& path)
    : fd_(open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    if (fd_ < 0) return;
    while (flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
    }
}

StoreWriteLock::~StoreWriteLock() {
    if (fd_ >= 0) close(fd_);  // closing releases the lock
}

int ReplaceStoreFile(const std::string& path, std::string_view bytes) {
    std::string target = path;
    if (std::unique_ptr<char, decltype(&free)> resolved(realpath(path.c_str(), nullptr), &free);
        resolved) {
        target = resolved.get();
    }
    mode_t mode = 0600;
    if (struct stat info; stat(target.c_str(), &info) == 0) mode = info.st_mode & 07777;

    std::string temporary = FolderOf(target) + "/.registry.reg.XXXXXX";
    FileDescriptor file{mkostemp(temporary.data(), O_CLOEXEC)};
    if (file.fd < 0) return errno;
    int error = WriteAll(file.fd, bytes);
    if (error == 0 && fchmod(file.fd, mode) != 0) error = errno;
    if (error == 0 && fsync(file.fd) != 0) error = errno;
    if (close(file.fd) != 0 && error == 0) error = errno;
    file.fd = -1;
    if (error == 0 && rename(temporary.c_str(), target.c_str()) != 0) error = errno;
    if (error != 0) {
        unlink(temporary.c_str());
        return error;
    }
    // Make the rename itself durable.
    FileDescriptor folder{open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (folder.fd >= 0) fsync(folder.fd);
    return 0;
}

}  // namespace parvell::store
