#pragma once
// A fresh folder below the system's temporary folder for one test, removed with everything in it.

#include <string>

namespace parvell::test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Whole-file access for fixtures and for damaging files byte by byte; both throw naming the file.
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);

}  // namespace parvell::test
