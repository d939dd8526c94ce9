#pragma once
// The in-memory road of the SQL dialect's case files (layout in SqlCaseFile.h): an in-memory SQLite
// database, a catalogue that CREATE TABLE and DROP TABLE keep up to date, statements compiled by
// the front end and run with sqlite3.
#include <sqlite3.h>

#include <map>
#include <string>
#include <vector>

#include "kce/sql/Compiler.h"
#include "tests/kce/sql/SqlCaseFile.h"

namespace kce::sql::test {

class TestCatalogue : public Catalogue {
public:
    const Table* FindTable(std::string_view name) const override;
    void Add(const Table& table);
    void Remove(std::string_view name);

private:
    std::map<std::string, Table> tables_;  // by upper-case name
};

// One statement's outcome.
struct Outcome {
    bool failed = false;
    int nativeError = 0;
    std::string message;
    CompiledStatement compiled;
    std::vector<std::vector<std::string>> rows;
    int changes = 0;
};

class Database {
public:
    Database();
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Compiles and runs one statement with the given parameter values (text forms as in case
    // files); catches SQL errors and SQLite errors into the outcome.
    Outcome Run(const std::string& sql, const std::vector<std::string>& params = {});
    TestCatalogue& Catalogue() { return catalogue_; }
    Settings& DialectSettings() { return settings_; }

private:
    sqlite3* db_ = nullptr;
    TestCatalogue catalogue_;
    Settings settings_;
};

std::string DescribeColumn(const Column& column);  // "Name CHAR(41,0)"

// The case-file road over a Database of its own.
class MemoryRoad : public Road {
public:
    std::string Name() const override { return "memory"; }
    Result Run(const std::string& sql, const std::vector<std::string>& params) override;

private:
    Database database_;
};

// Runs the statements of a script file (separated by lines holding only ";"); returns the
// failures, one message each.
std::vector<std::string> RunScript(Database& database, const std::string& path);

}  // namespace kce::sql::test
