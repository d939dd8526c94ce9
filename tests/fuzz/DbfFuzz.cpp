// Fuzz target: the dBase-format table and memo reader. The input holds a table file and a memo
// file: a 4-byte little-endian length, that many bytes of table, and the rest as memo (written
// under both memo extensions, so either kind of table finds it). The table is opened from a
// private temporary folder and every field of every record is read, memos included. A damaged
// pair must raise DbfError; nothing else may happen.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "kce/dbf/DbfError.h"
#include "kce/dbf/Table.h"

namespace {

const std::string& Folder() {
    static const std::string folder = [] {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "parvell-dbf-fuzz-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        return pattern;
    }();
    return folder;
}

void Write(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

struct Cleanup {
    // Makes the folder first, so that it is destroyed after this (statics end in reverse order).
    Cleanup() { (void)Folder(); }
    ~Cleanup() {
        std::error_code ec;
        std::filesystem::remove_all(Folder(), ec);
    }
};

void ReadEverything(const std::string& path) {
    std::unique_ptr<kce::dbf::Table> table = kce::dbf::Table::Open(path);
    kce::dbf::StoredValue value;
    kce::dbf::Table::Cursor cursor = table->Records();
    while (cursor.Next()) {
        (void)cursor.Deleted();
        for (size_t i = 0; i < table->Columns().size(); ++i) {
            (void)cursor.Field(i);
            cursor.Stored(i, value);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Cleanup cleanup;
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    size_t tableSize = 0;
    if (bytes.size() >= 4) {
        tableSize = static_cast<uint32_t>(data[0]) | static_cast<uint32_t>(data[1]) << 8 |
                    static_cast<uint32_t>(data[2]) << 16 | static_cast<uint32_t>(data[3]) << 24;
        bytes.remove_prefix(4);
    }
    if (tableSize > bytes.size()) tableSize = bytes.size();

    // A fresh folder content per input: a journal left by one input must not play into the next.
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(Folder(), ec))
        std::filesystem::remove_all(entry.path(), ec);
    const std::string tablePath = Folder() + "/fuzz.dbf";
    Write(tablePath, bytes.substr(0, tableSize));
    if (tableSize < bytes.size()) {
        Write(Folder() + "/fuzz.dbt", bytes.substr(tableSize));
        Write(Folder() + "/fuzz.fpt", bytes.substr(tableSize));
    }
    try {
        ReadEverything(tablePath);
    } catch (const kce::dbf::DbfError&) {
    }
    return 0;
}
