#pragma once
// Where the store file lives and how its bytes are read and replaced. Plain file operations; the
// callers turn failures into the store's messages.

#include <string>
#include <string_view>

namespace parvell::store {

// $XDG_CONFIG_HOME/parvell/registry.reg; when XDG_CONFIG_HOME is unset, empty or not an absolute
// path, ~/.config/parvell/registry.reg. Read from the environment at every call, so a test points
// the store elsewhere by setting XDG_CONFIG_HOME.
std::string StoreFilePath();

enum class ReadOutcome {
    Read,      // `bytes` holds the whole file
    Missing,   // no file at the path (or a part of the path that is not a folder)
    NoAccess,  // the file exists but may not be both read and written by this user
    Failed,    // anything else (a folder in its place, an input error); `error` holds errno
};

// Reads the whole file. Never creates or changes anything.
ReadOutcome ReadStoreFile(const std::string& path, std::string& bytes, int& error);

// Creates the file's folder and the folders above it when missing (mode 0700, for a per-user
// store). Returns 0 or errno.
int CreateStoreFolder(const std::string& path);

// An exclusive lock on the store file's folder, held from construction to destruction, so that two
// programs changing the store at once (the window and the command-line tool) do not lose each
// other's change. Best effort: when the folder cannot be locked, the write goes ahead unlocked.
// Readers take no lock; the atomic replacement keeps them safe.
class StoreWriteLock {
public:
    explicit StoreWriteLock(const std::string& path);
    ~StoreWriteLock();
    StoreWriteLock(const StoreWriteLock&) = delete;
    StoreWriteLock& operator=(const StoreWriteLock&) = delete;

private:
    int fd_ = -1;
};

// Replaces the file's content atomically: the bytes go to a temporary file in the same folder,
// which is flushed to disk and then renamed over the file, so that a reader sees the old content
// or the new one and a failure leaves the old file in place. A symbolic link at the path is
// followed (its target is replaced). The file keeps its permission bits; a new one gets 0600.
// Returns 0 or errno.
int ReplaceStoreFile(const std::string& path, std::string_view bytes);

}  // namespace parvell::store
