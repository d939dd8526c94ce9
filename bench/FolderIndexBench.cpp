// folder_index_bench [--rows N]
//
// Times an UPDATE of one row through the engine's C interface on a Visual FoxPro folder table of
// N rows (default 200000), once with a structural compound index of four tags, which the change
// keeps in step, and once on the same table without an index. Prints both times in milliseconds:
// the first UPDATE on a connection (which also reads the table into the connection's copy) and
// the mean of ten further ones.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "kce/dbf/Cdx.h"
#include "kce/dbf/Table.h"
#include "kce/dbf/Writer.h"
#include "kce/kce.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace kce::dbf;

double Millis(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void MakeTable(const std::string& path, size_t rows) {
    TableLayout layout;
    layout.variant = Variant::VisualFoxPro;
    layout.columns = {{"NAME", 'C', 20}, {"FIRST", 'C', 12}, {"CHART", 'N', 8}, {"BORN", 'D'}};
    std::vector<Record> records;
    records.reserve(rows);
    for (size_t i = 0; i < rows; ++i) {
        records.push_back({StoredValue::Text("name" + std::to_string(i * 7919 % rows)),
                           StoredValue::Text("f" + std::to_string(i % 977)),
                           StoredValue::Int(static_cast<int64_t>(i)),
                           StoredValue::Text("1970-01-01")});
    }
    CreateTable(path, layout, records);
}

void MakeIndex(const std::string& tablePath, const std::string& cdxPath) {
    auto table = Table::Open(tablePath);
    std::vector<std::string> raw;
    auto cursor = table->Records();
    while (cursor.Next()) raw.emplace_back(cursor.RawRecord());
    const char* tagKeys[][2] = {{"NAME", "UPPER(NAME)"},
                                {"FIRST", "UPPER(FIRST)+UPPER(NAME)"},
                                {"CHART", "CHART"},
                                {"BORN", "DTOS(BORN)+STR(CHART,8)"}};
    std::vector<CdxTag> tags;
    for (const auto& s : tagKeys) {
        CdxTag tag;
        tag.name = s[0];
        tag.keyExpression = s[1];
        Expression key = Expression::Parse(s[1], table->Columns(), table->GetCodePage(), tablePath);
        tag.keyType = key.Type();
        tag.keyLength = CdxKeyLength(key, table->GetHeader().recordLength);
        tag.entries = CdxTagEntries(tag, raw, table->Columns(), table->GetCodePage(), tablePath);
        tags.push_back(std::move(tag));
    }
    const std::string bytes = BuildCdx(tags);
    std::ofstream(cdxPath, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool Run(uint32_t connection, const std::string& sql) {
    uint32_t statement = 0, cursor = 0;
    if (KdbCreateSQLStatement(connection, &statement) != 0) return false;
    const uint32_t rc = KdbExecuteSQLDirect(statement, sql.c_str(), &cursor);
    if (cursor != 0) KdbCloseTable(cursor);
    KdbCloseSQLStatement(statement);
    if (rc != 0) std::fprintf(stderr, "%s: error %u\n", sql.c_str(), rc);
    return rc == 0;
}

void Measure(const char* label, const std::string& folder) {
    uint32_t connection = 0;
    if (KdbConnect60(folder.c_str(), 3, "", "", 0, &connection) != 0) {
        std::fprintf(stderr, "cannot connect to %s\n", folder.c_str());
        std::exit(1);
    }
    auto start = Clock::now();
    if (!Run(connection, "UPDATE patients SET first = 'x0' WHERE chart = 100")) std::exit(1);
    const double first = Millis(start);
    start = Clock::now();
    for (int i = 1; i <= 10; ++i) {
        if (!Run(connection,
                 "UPDATE patients SET first = 'x" + std::to_string(i) + "' WHERE chart = 100"))
            std::exit(1);
    }
    const double later = Millis(start) / 10;
    KdbDisconnect(connection);
    std::printf("%-24s first UPDATE %8.1f ms, later ones %8.1f ms each\n", label, first, later);
}

}  // namespace

int main(int argc, char** argv) {
    size_t rows = 200000;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--rows") == 0) rows = static_cast<size_t>(std::atol(argv[++i]));
    }
    const std::filesystem::path base =
        std::filesystem::temp_directory_path() / "parvell-folder-index-bench";
    std::filesystem::remove_all(base);
    for (const char* kind : {"plain", "indexed"}) {
        std::filesystem::create_directories(base / kind);
        const std::string table = (base / kind / "patients.dbf").string();
        MakeTable(table, rows);
        if (std::strcmp(kind, "indexed") == 0)
            MakeIndex(table, (base / kind / "patients.cdx").string());
    }
    std::printf("UPDATE of 1 row in a table of %zu rows\n", rows);
    Measure("without an index", (base / "plain").string());
    Measure("with 4 tags kept in step", (base / "indexed").string());
    std::filesystem::remove_all(base);
    return 0;
}
