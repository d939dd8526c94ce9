#pragma once
// Helpers for fault tests: a small real file system that fills up, and a child process killed
// in the middle of its work. Header-only, so that each subsystem's test executable can use it.

#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

namespace parvell::faults {

// A tmpfs of `bytes` mounted on a fresh temporary folder, unmounted and removed on destruction.
// Mounting needs the superuser; where it is refused Mounted() is false and the test skips.
class SmallDisk {
public:
    explicit SmallDisk(std::size_t bytes) {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "small-disk-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) return;
        path_ = pattern;
        const std::string options = "size=" + std::to_string(bytes) + ",mode=0700";
        mounted_ = ::mount("tmpfs", path_.c_str(), "tmpfs", 0, options.c_str()) == 0;
    }
    ~SmallDisk() {
        if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
        if (!path_.empty()) ::rmdir(path_.c_str());
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool Mounted() const { return mounted_; }
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
    bool mounted_ = false;
};

// Runs `work` in a child process. The child reports through a pipe when it is about to start;
// `killWhen` then runs in the parent (it waits for the chosen moment, e.g. a file size or a
// delay) and the child is killed with SIGKILL. Returns false when the child ended by itself
// before the kill (the moment came too late), true when it was killed.
inline bool RunAndKill(const std::function<void()>& work, const std::function<void()>& killWhen) {
    int ready[2];
    if (::pipe(ready) != 0) std::abort();
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(ready[0]);
        const char go = 1;
        if (::write(ready[1], &go, 1) != 1) ::_exit(3);
        work();
        ::_exit(0);
    }
    ::close(ready[1]);
    char go = 0;
    const bool started = ::read(ready[0], &go, 1) == 1;
    ::close(ready[0]);
    if (started) killWhen();
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

}  // namespace parvell::faults
