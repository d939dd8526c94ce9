#pragma once
// The SQL dialect's case files and the check of one case against what a road gave. A road is one
// way of running statements: the front end over an in-memory SQLite database, or the engine
// library's C interface over a data dictionary or over a folder of dBase-format tables. Every road
// gives its values in the stored text form (below), so one case file serves them all.
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
//   --- sqlite                   the exact generated SQL (only the in-memory road sees it)
//   --- roads                    the roads the case runs on, by name ("memory dictionary"); without
//                                it a case runs on every road, or on the roads that a "--- roads"
//                                section before the first case gives for the whole file. A case
//                                that sets up a table must name the same roads as the cases that
//                                read it.
// The database lives for the whole file, so later cases see the tables of earlier ones.
//
// Stored text form of a value: NULL; LOGICAL 1 or 0; integers in decimal; NUMERIC, DOUBLE,
// CURRENCY and MONEY as the shortest decimal (up to 15 significant digits, ".0" when whole; MONEY
// exactly, up to 4 decimals); DATE "YYYY-MM-DD"; TIME "HH:MM:SS.mmm"; TIMESTAMP
// "YYYY-MM-DD HH:MM:SS.mmm"; text as UTF-8; bytes as X'hex'.

#include <map>
#include <string>
#include <vector>

namespace kce::sql::test {

struct Case {
    std::string name;
    int line = 0;
    std::vector<std::string> statements;
    std::map<std::string, std::vector<std::string>> sections;
};

std::vector<Case> ReadCases(const std::string& path);

// What running one statement gave.
struct Result {
    bool failed = false;
    int nativeError = 0;
    std::string message;               // without the native number
    std::vector<std::string> columns;  // "Name TYPE(length,decimals)"
    std::vector<std::vector<std::string>> rows;
    int changes = 0;
    std::string sqlite;  // the generated SQL, where the road sees it
};

class Road {
public:
    virtual ~Road() = default;
    virtual std::string Name() const = 0;
    // Runs one statement with parameter values in their case-file text form.
    virtual Result Run(const std::string& sql, const std::vector<std::string>& params) = 0;
};

// Runs every case of a file on a road that starts empty; one message per failed case.
std::vector<std::string> RunCaseFile(const std::string& path, Road& road);

// The case files of the dialect's tests, by file name, sorted.
std::vector<std::string> CaseFileNames(const std::string& folder);

// The type part of a column description: "CHAR", "NUMERIC", …; "type<N>" for an unknown code.
std::string TypeName(uint16_t engineType);
std::string DescribeColumn(const std::string& name, uint16_t type, uint32_t length,
                           uint16_t decimals);

// The stored text form of a double (shortest up to 15 significant digits, ".0" when whole).
std::string RealText(double value);

std::string Trim(std::string_view text);
std::vector<std::string> Split(const std::string& text, char separator);

}  // namespace kce::sql::test
