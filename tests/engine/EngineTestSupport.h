#pragma once
// Helpers for the engine component tests: temporary folders and small dictionaries made through
// the engine's C interface.

#include <cstdint>
#include <string>

namespace enginetest {

// A fresh folder below the temporary folder, removed with its contents.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline constexpr const char* kUser = "user";
inline constexpr const char* kPassword = "qzmvtrlk";

// Creates a dictionary at path with user "user" (password kPassword), runs each statement of
// sql (separated by ";;") as the administrator and disconnects.
void MakeDictionary(const std::string& path, const std::string& sql);
// Runs one statement on a connection through the C interface; throws on failure.
void RunSql(uint32_t connection, const std::string& sql);

}  // namespace enginetest
