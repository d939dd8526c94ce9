#pragma once
// Thin POSIX file helpers of the dBase-format layer: an owning descriptor, positioned reads and
// writes that retry short transfers, and errors that name the file. Internal to kce/dbf.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace kce::dbf {

class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    Fd(Fd&& o) noexcept : fd_(o.Release()) {}
    Fd& operator=(Fd&& o) noexcept;
    ~Fd();

    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    int Release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void Reset();

private:
    int fd_ = -1;
};

// Opens `path`; throws DbfError naming it when that fails.
Fd OpenFile(const std::string& path, int flags, int mode = 0644);
uint64_t FileSize(int fd, const std::string& path);
// Reads up to `size` bytes at `offset`; returns the count read (short only at end of file).
size_t ReadAt(int fd, uint64_t offset, char* buffer, size_t size, const std::string& path);
void WriteAt(int fd, uint64_t offset, std::string_view bytes, const std::string& path);
void Truncate(int fd, uint64_t size, const std::string& path);
void Sync(int fd, const std::string& path);
void SyncFolderOf(const std::string& path);
bool FileExists(const std::string& path);
std::string FolderOf(const std::string& path);
std::string FileNameOf(const std::string& path);

// Called before every step of a change that touches a table's files (each write, sync, truncate
// and removal), with the step's name. Tests use it to stop a statement at any step: by throwing
// (a failed write, such as a full disk) or by ending the process (a kill).
using FaultHook = std::function<void(std::string_view step)>;

}  // namespace kce::dbf
