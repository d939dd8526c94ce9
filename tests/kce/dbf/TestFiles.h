#pragma once
// Helpers of the dBase-format tests: a temporary folder, whole-file access and byte-level damage.

#include <cstdint>
#include <string>
#include <vector>

#include "kce/dbf/Types.h"

namespace kce::dbf::test {

// A fresh folder under the system's temporary folder, removed with its contents at destruction.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
void TruncateFile(const std::string& path, uint64_t size);
void SetByte(const std::string& path, uint64_t offset, uint8_t value);
void SetLe32(const std::string& path, uint64_t offset, uint32_t value);
uint64_t SizeOf(const std::string& path);

inline StoredValue T(const char* utf8) { return StoredValue::Text(utf8); }
inline StoredValue I(int64_t v) { return StoredValue::Int(v); }
inline StoredValue R(double v) { return StoredValue::Real(v); }
inline StoredValue N() { return StoredValue::Null(); }

// Every record of the table at `path` in stored form, deleted ones included, with the deletion
// flag as a leading integer 0/1.
std::vector<Record> ReadAll(const std::string& path);
// A readable rendering of records for assertions.
std::string Render(const std::vector<Record>& records);

}  // namespace kce::dbf::test
