#include "kce/FolderNames.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <set>

#include "kce/dbf/DbfError.h"
#include "kce/dbf/FileIo.h"
#include "kce/dbf/Folder.h"
#include "kce/dbf/Header.h"
#include "kce/dbf/Values.h"
#include "kce/dbf/Writer.h"

namespace kce {
namespace {

using dbf::DbfError;

std::string Upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

std::string ReadWhole(const std::string& path) {
    dbf::Fd fd = dbf::OpenFile(path, O_RDONLY | O_CLOEXEC);
    uint64_t size = dbf::FileSize(fd.Get(), path);
    std::string bytes(size, '\0');
    bytes.resize(dbf::ReadAt(fd.Get(), 0, bytes.data(), bytes.size(), path));
    return bytes;
}

// The bytes of the back link: the container's file name relative to the table's folder, or "".
std::string BackLink(const std::string& tablePath) {
    dbf::Fd fd = dbf::OpenFile(tablePath, O_RDONLY | O_CLOEXEC);
    uint64_t size = dbf::FileSize(fd.Get(), tablePath);
    char first[dbf::kTableDescriptorSize] = {};
    size_t got = dbf::ReadAt(fd.Get(), 0, first, sizeof first, tablePath);
    uint16_t headerLength = dbf::HeaderLengthFrom(std::string_view(first, got), size, tablePath);
    uint8_t version = static_cast<uint8_t>(first[0]);
    if (version < 0x30 || version > 0x32 ||
        headerLength < dbf::kTableDescriptorSize + 1 + dbf::kVfpBacklinkSize) {
        return {};
    }
    std::string link(dbf::kVfpBacklinkSize, '\0');
    link.resize(dbf::ReadAt(fd.Get(), headerLength - dbf::kVfpBacklinkSize, link.data(),
                            link.size(), tablePath));
    link.resize(std::min(link.find('\0'), link.size()));
    while (!link.empty() && link.back() == ' ') link.pop_back();
    return link;
}

int ColumnIndex(const dbf::Header& header, std::string_view name) {
    for (size_t i = 0; i < header.columns.size(); ++i) {
        if (Upper(header.columns[i].name) == name) return static_cast<int>(i);
    }
    return -1;
}

}  // namespace

std::vector<std::string> ContainerColumnNames(const std::string& tablePath, size_t columnCount) {
    std::string link = BackLink(tablePath);
    if (link.empty()) return {};
    std::string path = dbf::ContainerPathOf(tablePath, link);
    // Without its container the table reads as a free table with its stored names; writes to it
    // are refused by the file layer (the container's rules cannot be honoured).
    if (!dbf::FileExists(path)) return {};
    std::string bytes = ReadWhole(path);
    dbf::Header header = dbf::ParseHeader(bytes, bytes.size(), path);
    const int id = ColumnIndex(header, "OBJECTID");
    const int parent = ColumnIndex(header, "PARENTID");
    const int type = ColumnIndex(header, "OBJECTTYPE");
    const int name = ColumnIndex(header, "OBJECTNAME");
    if (id < 0 || parent < 0 || type < 0 || name < 0) {
        throw DbfError(
            path, -1,
            "the database container lacks one of the columns OBJECTID, PARENTID, OBJECTTYPE "
            "and OBJECTNAME");
    }
    dbf::FieldCodec codec;
    codec.variant = header.variant;
    codec.codePage = header.codePage;
    codec.nullFlagsOffset = header.nullFlagsOffset;
    codec.file = path;
    std::string table = dbf::FileNameOf(tablePath);
    table = Upper(table.substr(0, table.rfind('.')));

    struct Object {
        int64_t id, parent;
        std::string type, name;
    };
    std::vector<Object> objects;
    std::string scratch;
    for (uint32_t r = 0; r < header.recordCount; ++r) {
        uint64_t offset = header.RecordOffset(r);
        if (offset + header.recordLength > bytes.size()) {
            throw DbfError(path, static_cast<int64_t>(offset),
                           "record " + std::to_string(r + 1) + " lies beyond the end of the file");
        }
        const char* record = bytes.data() + offset;
        if (record[0] == '*') continue;
        auto integer = [&](int column) {
            dbf::Value v = dbf::DecodeField(codec, header.columns[size_t(column)], record, scratch,
                                            r + 1, offset);
            return v.kind == dbf::ValueKind::Integer ? v.integer : int64_t(-1);
        };
        auto text = [&](int column) {
            dbf::Value v = dbf::DecodeField(codec, header.columns[size_t(column)], record, scratch,
                                            r + 1, offset);
            return v.kind == dbf::ValueKind::Text ? std::string(v.bytes) : std::string();
        };
        objects.push_back({integer(id), integer(parent), Upper(text(type)), text(name)});
    }
    auto owner = std::find_if(objects.begin(), objects.end(), [&](const Object& o) {
        return o.type == "TABLE" && Upper(o.name) == table;
    });
    if (owner == objects.end()) return {};
    std::vector<std::string> names;
    for (const Object& o : objects) {
        if (o.type == "FIELD" && o.parent == owner->id) names.push_back(o.name);
    }
    if (names.size() != columnCount) return {};
    return names;
}

void WriteContainer(const std::string& containerPath, const std::vector<ContainerTable>& tables) {
    dbf::TableLayout layout;
    layout.variant = dbf::Variant::VisualFoxPro;
    layout.columns = {
        {"OBJECTID", 'I'}, {"PARENTID", 'I'}, {"OBJECTTYPE", 'C', 10}, {"OBJECTNAME", 'C', 128}};
    std::vector<dbf::Record> records;
    int64_t next = 1;
    auto add = [&](int64_t parent, const char* type, std::string_view name) {
        std::string utf8;
        dbf::AnsiToUtf8(name, utf8);
        records.push_back({dbf::StoredValue::Int(next), dbf::StoredValue::Int(parent),
                           dbf::StoredValue::Text(type), dbf::StoredValue::Text(utf8)});
        return next++;
    };
    add(0, "Database", "Database");
    for (const ContainerTable& t : tables) {
        int64_t table = add(1, "Table", t.name);
        for (const std::string& name : t.longNames) add(table, "Field", name);
    }
    dbf::CreateTable(containerPath, layout, records);

    const std::string link = dbf::FileNameOf(containerPath);
    for (const ContainerTable& t : tables) {
        dbf::Fd fd = dbf::OpenFile(t.tableFile, O_RDWR | O_CLOEXEC);
        char first[dbf::kTableDescriptorSize] = {};
        size_t got = dbf::ReadAt(fd.Get(), 0, first, sizeof first, t.tableFile);
        uint16_t headerLength = dbf::HeaderLengthFrom(
            std::string_view(first, got), dbf::FileSize(fd.Get(), t.tableFile), t.tableFile);
        uint8_t version = static_cast<uint8_t>(first[0]);
        if (version < 0x30 || version > 0x32)
            throw DbfError(t.tableFile, 0, "only Visual FoxPro tables join a container");
        std::string bytes(dbf::kVfpBacklinkSize, '\0');
        link.copy(bytes.data(), std::min(link.size(), bytes.size() - 1));
        dbf::WriteAt(fd.Get(), headerLength - dbf::kVfpBacklinkSize, bytes, t.tableFile);
        dbf::Sync(fd.Get(), t.tableFile);
    }
}

std::vector<std::string> ShortColumnNames(const std::vector<std::string>& longNames) {
    std::vector<std::string> out;
    std::set<std::string> used;
    for (const std::string& name : longNames) {
        std::string base;
        for (char c : name) {
            bool plain = std::isalnum(static_cast<unsigned char>(c)) || c == '_';
            base += plain && static_cast<unsigned char>(c) < 0x80 ? c : '_';
        }
        if (base.empty()) base = "F";
        base = base.substr(0, 10);
        std::string candidate = base;
        for (int n = 2; used.count(Upper(candidate)) > 0; ++n) {
            std::string tail = "_" + std::to_string(n);
            candidate = base.substr(0, 10 - tail.size()) + tail;
        }
        used.insert(Upper(candidate));
        out.push_back(candidate);
    }
    return out;
}

}  // namespace kce
