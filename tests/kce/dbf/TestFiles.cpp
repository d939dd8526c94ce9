#include "tests/kce/dbf/TestFiles.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "kce/dbf/Table.h"

namespace kce::dbf::test {

void TruncateFile(const std::string& path, uint64_t size) {
    std::filesystem::resize_file(path, size);
}

void SetByte(const std::string& path, uint64_t offset, uint8_t value) {
    std::string bytes = ReadFile(path);
    if (offset >= bytes.size()) throw std::runtime_error("SetByte past the end of " + path);
    bytes[offset] = static_cast<char>(value);
    WriteFile(path, bytes);
}

void SetLe32(const std::string& path, uint64_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i) SetByte(path, offset + i, static_cast<uint8_t>(value >> (8 * i)));
}

uint64_t SizeOf(const std::string& path) {
    return std::filesystem::file_size(path);
}

std::vector<Record> ReadAll(const std::string& path) {
    auto table = Table::Open(path);
    std::vector<Record> out;
    auto cursor = table->Records();
    while (cursor.Next()) {
        Record r;
        r.push_back(StoredValue::Int(cursor.Deleted() ? 1 : 0));
        for (size_t i = 0; i < table->Columns().size(); ++i) {
            StoredValue v;
            cursor.Stored(i, v);
            r.push_back(v);
        }
        out.push_back(std::move(r));
    }
    return out;
}

std::string Render(const std::vector<Record>& records) {
    std::ostringstream s;
    for (const Record& r : records) {
        for (size_t i = 0; i < r.size(); ++i) {
            const StoredValue& v = r[i];
            if (i) s << " | ";
            switch (v.kind) {
                case StoredValue::Kind::Null:
                    s << "NULL";
                    break;
                case StoredValue::Kind::Integer:
                    s << v.integer;
                    break;
                case StoredValue::Kind::Real:
                    s << v.real;
                    break;
                case StoredValue::Kind::Text:
                    s << "'" << v.text << "'";
                    break;
                case StoredValue::Kind::Blob:
                    s << "x'" << v.text.size() << " bytes'";
                    break;
            }
        }
        s << "\n";
    }
    return s.str();
}

bool RunChildKilledAt(const std::string& path, int k,
                      const std::function<void(Table&, const FaultHook&)>& change) {
    pid_t pid = ::fork();
    if (pid == 0) {
        int step = 0;
        try {
            auto table = Table::Open(path);
            change(*table, [&](std::string_view) {
                if (step++ == k) ::_exit(42);
            });
        } catch (...) {
            ::_exit(3);
        }
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status));
    int code = WEXITSTATUS(status);
    EXPECT_TRUE(code == 0 || code == 42) << "child failed at step " << k;
    return code == 42;
}

}  // namespace kce::dbf::test
