// Fuzz target: the SQL front end. Any text must compile or raise SqlError; what compiles must be
// SQL that SQLite accepts over the same tables (a statement the engine would hand over and then
// fail on with a confusing message is a fault too). Two small tables stand in for a practice.
#include <sqlite3.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "kce/sql/Compiler.h"

namespace {

using kce::sql::Catalogue;
using kce::sql::Table;

class FuzzCatalogue : public Catalogue {
public:
    const Table* FindTable(std::string_view name) const override {
        auto it = tables_.find(Upper(name));
        return it == tables_.end() ? nullptr : &it->second;
    }
    void Add(const Table& table) { tables_[Upper(table.name)] = table; }

private:
    static std::string Upper(std::string_view s) {
        std::string u(s);
        for (char& c : u)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        return u;
    }
    std::map<std::string, Table> tables_;
};

struct World {
    sqlite3* db = nullptr;
    FuzzCatalogue catalogue;
    kce::sql::Settings settings;

    World() {
        sqlite3_open(":memory:", &db);
        kce::sql::RegisterFunctions(db);
        for (const char* create : {
                 "CREATE TABLE t (id INTEGER, name CHAR(10), d DATE, memo MEMO, flag LOGICAL)",
                 "CREATE TABLE u (id INTEGER, x NUMERIC(6,2), ts TIMESTAMP, m MONEY, v "
                 "VARCHAR(20))",
             }) {
            kce::sql::CompiledStatement c = kce::sql::Compile(create, catalogue, settings);
            if (sqlite3_exec(db, c.sqlite.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
                std::abort();
            catalogue.Add(c.created);
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static World world;
    std::string_view text(reinterpret_cast<const char*>(data), size);
    kce::sql::CompiledStatement compiled;
    try {
        compiled = kce::sql::Compile(text, world.catalogue, world.settings);
    } catch (const kce::sql::SqlError&) {
        return 0;
    }
    // CREATE and DROP change the catalogue in the engine; here the tables stay as they are, and
    // the statement is only prepared, never run.
    sqlite3_stmt* statement = nullptr;
    const char* tail = nullptr;
    int rc = sqlite3_prepare_v2(world.db, compiled.sqlite.c_str(),
                                static_cast<int>(compiled.sqlite.size()), &statement, &tail);
    // SQLite's parser has room for about a hundred pending terms; the engine reports a statement
    // that needs more as nested too deeply.
    const bool tooDeep =
        rc != SQLITE_OK && std::string_view(sqlite3_errmsg(world.db)) == "parser stack overflow";
    if (rc != SQLITE_OK && !tooDeep && compiled.kind != kce::sql::StatementKind::CreateTable) {
        std::fprintf(stderr, "generated SQL refused by SQLite: %s\n  SQL: %s\n",
                     sqlite3_errmsg(world.db), compiled.sqlite.c_str());
        std::abort();
    }
    sqlite3_finalize(statement);
    return 0;
}
