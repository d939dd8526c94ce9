#include "kce/Translate.h"

#include "kce/Database.h"
#include "kce/EngineSettings.h"
#include "kce/Error.h"
#include "kce/kce.h"

namespace kce {

sql::CompiledStatement Translate(std::string_view sql, Database& database) {
    sql::Settings settings;
    settings.dateFormat = CurrentDateFormat()->Pattern();
    try {
        return sql::Compile(sql, database, settings);
    } catch (const sql::SqlError& e) {
        throw Error(KDB_ERR_SQL, SqlErrorText(e.NativeError(), e.Position(), e.what(), sql));
    }
}

void PrepareConnection(sqlite3* db) {
    sql::RegisterFunctions(db);
}

std::optional<std::pair<int, std::string>> RunTimeSqlError(const char* sqliteMessage) {
    auto error = sql::FunctionError(sqliteMessage == nullptr ? "" : sqliteMessage);
    if (!error) return std::nullopt;
    return std::make_pair(error->NativeError(), std::string(error->what()));
}

}  // namespace kce
