#include "tests/support/EngineDictionary.h"

#include <stdexcept>

#include "kce/kce.h"

namespace enginetest {
namespace {

std::string LastError() {
    uint32_t code = 0;
    char text[600] = {};
    uint16_t length = sizeof text - 1;
    KdbGetLastError(&code, text, &length);
    return std::to_string(code) + ": " + text;
}

}  // namespace

void RunSql(uint32_t connection, const std::string& sql) {
    uint32_t statement = 0;
    if (KdbCreateSQLStatement(connection, &statement) != 0) throw std::runtime_error(LastError());
    uint32_t cursor = 0;
    const uint32_t result = KdbExecuteSQLDirect(statement, sql.c_str(), &cursor);
    const std::string error = result ? LastError() : std::string();
    if (cursor) KdbCloseTable(cursor);
    KdbCloseSQLStatement(statement);
    if (result) throw std::runtime_error(sql + " -> " + error);
}

void MakeDictionary(const std::string& path, const std::string& sql) {
    uint32_t connection = 0;
    if (KdbDDCreate(path.c_str(), kPassword, "test", &connection) != 0)
        throw std::runtime_error(LastError());
    if (KdbDDCreateUser(connection, kUser, kPassword, "") != 0)
        throw std::runtime_error(LastError());
    size_t start = 0;
    while (start < sql.size()) {
        size_t end = sql.find(";;", start);
        if (end == std::string::npos) end = sql.size();
        const std::string statement = sql.substr(start, end - start);
        if (statement.find_first_not_of(" \r\n") != std::string::npos)
            RunSql(connection, statement);
        start = end + 2;
    }
    KdbDisconnect(connection);
}

}  // namespace enginetest
