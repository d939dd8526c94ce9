#include "kce/Translate.h"

#include <sqlite3.h>

#include <cctype>

#include "kce/Cp1252.h"
#include "kce/Database.h"
#include "kce/EngineSettings.h"
#include "kce/Error.h"
#include "kce/kce.h"

namespace kce {

#ifdef KCE_HAVE_SQL_FRONT_END

sql::CompiledStatement Translate(std::string_view sql, Database& database) {
    sql::Settings settings;
    settings.dateFormat = CurrentDateFormat()->Pattern();
    try {
        return sql::Compile(sql, database, settings);
    } catch (const sql::SqlError& e) {
        throw Error(KDB_ERR_SQL, SqlErrorText(e.NativeError(), e.Position(), e.what(), sql));
    }
}

void PrepareConnection(sqlite3* db) { sql::RegisterFunctions(db); }

std::optional<std::pair<int, std::string>> RunTimeSqlError(const char* sqliteMessage) {
    auto error = sql::FunctionError(sqliteMessage == nullptr ? "" : sqliteMessage);
    if (!error) return std::nullopt;
    return std::make_pair(error->NativeError(), std::string(error->what()));
}

#else

// Without the front end, statements pass to SQLite as they stand and result columns take their
// types from the catalogue (plain columns) or from SQLite's declared types.
namespace {

std::string FirstWord(std::string_view sql) {
    size_t i = 0;
    while (i < sql.size()) {
        if (std::isspace(static_cast<unsigned char>(sql[i]))) {
            ++i;
        } else if (sql.substr(i, 2) == "--") {
            while (i < sql.size() && sql[i] != '\n') ++i;
        } else if (sql.substr(i, 2) == "/*") {
            size_t end = sql.find("*/", i + 2);
            i = end == std::string_view::npos ? sql.size() : end + 2;
        } else {
            break;
        }
    }
    std::string word;
    while (i < sql.size() && std::isalpha(static_cast<unsigned char>(sql[i]))) word += static_cast<char>(std::toupper(static_cast<unsigned char>(sql[i++])));
    return word;
}

sql::Column ColumnFor(sqlite3_stmt* stmt, int i, const Database& database) {
    sql::Column column;
    column.name = FromUtf8(sqlite3_column_name(stmt, i));
    const char* table = sqlite3_column_table_name(stmt, i);
    const char* origin = sqlite3_column_origin_name(stmt, i);
    if (table != nullptr && origin != nullptr) {
        if (const sql::Table* t = database.FindTable(FromUtf8(table))) {
            std::string wanted = UpperAscii(FromUtf8(origin));
            for (const auto& c : t->columns) {
                if (UpperAscii(c.name) == wanted) {
                    sql::Column typed = c;
                    typed.name = column.name;
                    return typed;
                }
            }
        }
    }
    std::string declared = UpperAscii(sqlite3_column_decltype(stmt, i) ? sqlite3_column_decltype(stmt, i) : "");
    if (declared == "INTEGER") {
        column.type = sql::kInteger;
    } else if (declared == "REAL") {
        column.type = sql::kDouble;
    } else if (declared == "BLOB") {
        column.type = sql::kBinary;
    } else {
        column.type = sql::kChar;
        column.length = 254;
    }
    return column;
}

}  // namespace

sql::CompiledStatement Translate(std::string_view sql, Database& database) {
    sql::CompiledStatement compiled;
    compiled.sqlite = ToUtf8(sql);
    std::string word = FirstWord(sql);
    if (word == "SELECT" || word == "WITH") {
        compiled.kind = sql::StatementKind::Select;
    } else if (word == "INSERT") {
        compiled.kind = sql::StatementKind::Insert;
    } else if (word == "UPDATE") {
        compiled.kind = sql::StatementKind::Update;
    } else if (word == "DELETE") {
        compiled.kind = sql::StatementKind::Delete;
    } else {
        throw Error(KDB_ERR_SQL, SqlErrorText(2101, 0, "Unexpected token: " + word, sql));
    }
    sqlite3_stmt* stmt = nullptr;
    const char* tail = nullptr;
    int rc = sqlite3_prepare_v2(database.Db(), compiled.sqlite.c_str(), -1, &stmt, &tail);
    if (rc != SQLITE_OK || stmt == nullptr) {
        std::string message = FromUtf8(sqlite3_errmsg(database.Db()));
        int native = message.find("no such table") != std::string::npos    ? 2103
                     : message.find("no such column") != std::string::npos ? 2104
                                                                            : 2101;
        int offset = sqlite3_error_offset(database.Db());
        sqlite3_finalize(stmt);
        throw Error(KDB_ERR_SQL, SqlErrorText(native, offset < 0 ? 0 : size_t(offset), message, sql));
    }
    for (int i = 0; i < sqlite3_bind_parameter_count(stmt); ++i) compiled.parameters.push_back({});
    if (compiled.kind == sql::StatementKind::Select) {
        for (int i = 0; i < sqlite3_column_count(stmt); ++i) compiled.result.push_back(ColumnFor(stmt, i, database));
    }
    sqlite3_finalize(stmt);
    return compiled;
}

void PrepareConnection(sqlite3*) {}

std::optional<std::pair<int, std::string>> RunTimeSqlError(const char*) { return std::nullopt; }

#endif

}  // namespace kce
