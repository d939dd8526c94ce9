#pragma once
// Runs the SQL dialect's case files: an in-memory SQLite database, a catalogue that CREATE TABLE
// and DROP TABLE keep up to date, statements compiled by the front end and run with sqlite3.
//
// Case file layout (lines):
//   # comment                    (outside a case)
//   === case name
//   statement lines              (several statements: a line holding only ";" between them;
//                                 every one but the last must succeed)
//   --- params                   values for the parameters: 'text' | 12 | 1.5 | NULL
//   --- columns                  result columns: name TYPE(length,decimals) | ...
//   --- rows                     one line per row, values joined by "|", NULL for null
//   --- error                    native number, a blank, the exact message
//   --- changes                  number of rows changed
//   --- sqlite                   the exact generated SQL
// The database lives for the whole file, so later cases see the tables of earlier ones.

#include <sqlite3.h>

#include <map>
#include <string>
#include <vector>

#include "kce/sql/Compiler.h"

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

// Runs the statements of a script file (separated by lines holding only ";"); returns the
// failures, one message each.
std::vector<std::string> RunScript(Database& database, const std::string& path);

// Runs every case of a file and returns one message per failed case (empty: all passed).
std::vector<std::string> RunCaseFile(const std::string& path);

}  // namespace kce::sql::test
