#include "tests/kce/KceSupport.h"

namespace kcetest {

std::string LastError() {
    uint32_t code = 0;
    char text[2000];
    uint16_t len = sizeof text;
    KdbGetLastError(&code, text, &len);
    return std::to_string(code) + ": " + text;
}

uint32_t LastErrorCode() {
    uint32_t code = 0;
    KdbGetLastError(&code, nullptr, nullptr);
    return code;
}

uint32_t CreateDictionary(const std::string& path) {
    uint32_t connection = 0;
    EXPECT_EQ(KdbDDCreate(path.c_str(), "adminpw", "test dictionary", &connection), 0u)
        << LastError();
    EXPECT_EQ(KdbDDCreateUser(connection, "user", "secret", "a user"), 0u) << LastError();
    return connection;
}

uint32_t ConnectUser(const std::string& path) {
    uint32_t connection = 0;
    EXPECT_EQ(KdbConnect60(path.c_str(), 3, "user", "secret", 0, &connection), 0u) << LastError();
    return connection;
}

uint32_t RunSql(uint32_t connection, const std::string& sql) {
    uint32_t statement = 0;
    uint32_t cursor = 0;
    EXPECT_EQ(KdbCreateSQLStatement(connection, &statement), 0u) << LastError();
    EXPECT_EQ(KdbExecuteSQLDirect(statement, sql.c_str(), &cursor), 0u) << sql << "\n"
                                                                        << LastError();
    KdbCloseSQLStatement(statement);
    return cursor;
}

uint32_t TryRun(uint32_t connection, const std::string& sql) {
    uint32_t statement = 0;
    uint32_t cursor = 0;
    EXPECT_EQ(KdbCreateSQLStatement(connection, &statement), 0u) << LastError();
    uint32_t rc = KdbExecuteSQLDirect(statement, sql.c_str(), &cursor);
    if (cursor != 0) KdbCloseTable(cursor);
    KdbCloseSQLStatement(statement);
    return rc;
}

uint32_t Changed(uint32_t connection, const std::string& sql) {
    uint32_t statement = 0;
    uint32_t cursor = 0;
    uint32_t count = 0;
    EXPECT_EQ(KdbCreateSQLStatement(connection, &statement), 0u) << LastError();
    EXPECT_EQ(KdbExecuteSQLDirect(statement, sql.c_str(), &cursor), 0u) << sql << "\n"
                                                                        << LastError();
    EXPECT_EQ(cursor, 0u);
    EXPECT_EQ(KdbGetRecordCount(statement, 2, &count), 0u) << LastError();
    KdbCloseSQLStatement(statement);
    return count;
}

std::string FieldText(uint32_t cursor, uint16_t field, uint16_t trim) {
    uint32_t len = 0;
    KdbGetField(cursor, field, nullptr, &len, trim);
    std::string text(len + 1, '\0');
    uint32_t size = len + 1;
    EXPECT_EQ(KdbGetField(cursor, field, text.data(), &size, trim), 0u) << LastError();
    text.resize(size);
    return text;
}

std::vector<std::vector<std::string>> AllRows(uint32_t cursor, bool markNulls) {
    std::vector<std::vector<std::string>> rows;
    uint16_t fields = 0;
    EXPECT_EQ(KdbGetNumFields(cursor, &fields), 0u);
    KdbGotoBOF(cursor);
    uint16_t eof = 0;
    while (KdbSkip(cursor, 1) == 0 && KdbAtEOF(cursor, &eof) == 0 && !eof) {
        std::vector<std::string> row;
        for (uint16_t f = 1; f <= fields; ++f) {
            uint16_t isNull = 0;
            if (markNulls) {
                EXPECT_EQ(KdbIsNull(cursor, f, &isNull), 0u) << LastError();
            }
            row.push_back(isNull ? "NULL" : FieldText(cursor, f, 2));
        }
        rows.push_back(std::move(row));
    }
    KdbCloseTable(cursor);
    return rows;
}

std::vector<std::vector<std::string>> Query(uint32_t connection, const std::string& sql) {
    uint32_t cursor = RunSql(connection, sql);
    EXPECT_NE(cursor, 0u) << sql;
    return cursor == 0 ? std::vector<std::vector<std::string>>{} : AllRows(cursor);
}

}  // namespace kcetest
