#include "tests/kce/FolderSupport.h"

#include "kce/dbf/Writer.h"

namespace kcetest {

uint32_t ConnectFolder(const std::string& path) {
    uint32_t connection = 0;
    EXPECT_EQ(KdbConnect60(path.c_str(), 3, "", "", 0, &connection), 0u) << LastError();
    return connection;
}

std::vector<std::vector<std::string>> RowsWithNulls(uint32_t cursor) {
    return AllRows(cursor, true);
}

std::vector<std::vector<std::string>> QueryWithNulls(uint32_t connection, const std::string& sql) {
    uint32_t cursor = RunSql(connection, sql);
    return cursor == 0 ? std::vector<std::vector<std::string>>{} : RowsWithNulls(cursor);
}

std::vector<std::string> FieldTypes(uint32_t cursor) {
    std::vector<std::string> types;
    uint16_t count = 0;
    EXPECT_EQ(KdbGetNumFields(cursor, &count), 0u);
    for (uint16_t f = 1; f <= count; ++f) {
        uint16_t type = 0, decimals = 0;
        uint32_t length = 0;
        KdbGetFieldType(cursor, f, &type);
        KdbGetFieldLength(cursor, f, &length);
        KdbGetFieldDecimals(cursor, f, &decimals);
        types.push_back(std::to_string(type) + " " + std::to_string(length) + "," +
                        std::to_string(decimals));
    }
    return types;
}

void MakeTable(const std::string& path, kce::dbf::Variant variant,
               const std::vector<kce::dbf::ColumnLayout>& columns,
               const std::vector<kce::dbf::Record>& records) {
    kce::dbf::TableLayout layout;
    layout.variant = variant;
    layout.columns = columns;
    kce::dbf::CreateTable(path, layout, records);
}

}  // namespace kcetest
