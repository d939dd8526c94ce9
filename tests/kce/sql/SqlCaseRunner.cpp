#include "tests/kce/sql/SqlCaseRunner.h"

#include <cctype>
#include <fstream>
#include <sstream>

#include "kce/sql/Numbers.h"
#include "kce/sql/Text1252.h"
#include "kce/sql/Types.h"

namespace kce::sql::test {
namespace {

std::string Trim(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
    return std::string(text);
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, separator)) parts.push_back(part);
    if (!text.empty() && text.back() == separator) parts.push_back("");
    return parts;
}

// A value as the case files show it; a MONEY or CURRENCY result column's count of
// ten-thousandths as the amount it stands for.
std::string ValueText(sqlite3_stmt* statement, int column, uint16_t type) {
    if (IsMoneyType(type) && sqlite3_column_type(statement, column) == SQLITE_INTEGER) {
        return MoneyText(sqlite3_column_int64(statement, column));
    }
    switch (sqlite3_column_type(statement, column)) {
        case SQLITE_NULL: return "NULL";
        case SQLITE_INTEGER: return std::to_string(sqlite3_column_int64(statement, column));
        case SQLITE_FLOAT: {
            char buffer[40];
            std::snprintf(buffer, sizeof buffer, "%.15g", sqlite3_column_double(statement, column));
            std::string text = buffer;
            if (text.find_first_of(".en") == std::string::npos) text += ".0";
            return text;
        }
        case SQLITE_BLOB: {
            static constexpr char kHex[] = "0123456789ABCDEF";
            const auto* data = static_cast<const unsigned char*>(sqlite3_column_blob(statement, column));
            std::string text = "X'";
            for (int i = 0; i < sqlite3_column_bytes(statement, column); ++i) {
                text += kHex[data[i] >> 4];
                text += kHex[data[i] & 15];
            }
            return text + "'";
        }
        default:
            return std::string(reinterpret_cast<const char*>(sqlite3_column_text(statement, column)),
                               sqlite3_column_bytes(statement, column));
    }
}

void Bind(sqlite3_stmt* statement, int index, const std::string& value) {
    const std::string text = Trim(value);
    if (text == "NULL") {
        sqlite3_bind_null(statement, index);
    } else if (text.size() >= 2 && text.front() == '\'' && text.back() == '\'') {
        const std::string inner = text.substr(1, text.size() - 2);
        sqlite3_bind_text(statement, index, inner.c_str(), static_cast<int>(inner.size()), SQLITE_TRANSIENT);
    } else if (text.find_first_of(".e") != std::string::npos) {
        sqlite3_bind_double(statement, index, std::stod(text));
    } else {
        sqlite3_bind_int64(statement, index, std::stoll(text));
    }
}

}  // namespace

const Table* TestCatalogue::FindTable(std::string_view name) const {
    std::string key;
    for (char c : name) key += static_cast<char>(UpperCp1252(static_cast<unsigned char>(c)));
    auto it = tables_.find(key);
    return it == tables_.end() ? nullptr : &it->second;
}

void TestCatalogue::Add(const Table& table) {
    std::string key;
    for (char c : table.name) key += static_cast<char>(UpperCp1252(static_cast<unsigned char>(c)));
    tables_[key] = table;
}

void TestCatalogue::Remove(std::string_view name) {
    std::string key;
    for (char c : name) key += static_cast<char>(UpperCp1252(static_cast<unsigned char>(c)));
    tables_.erase(key);
}

Database::Database() {
    sqlite3_open(":memory:", &db_);
    RegisterFunctions(db_);
}

Database::~Database() { sqlite3_close(db_); }

Outcome Database::Run(const std::string& sql, const std::vector<std::string>& params) {
    Outcome outcome;
    try {
        outcome.compiled = Compile(sql, catalogue_, settings_);
    } catch (const SqlError& error) {
        outcome.failed = true;
        outcome.nativeError = error.NativeError();
        outcome.message = error.what();
        return outcome;
    }
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_, outcome.compiled.sqlite.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
        outcome.failed = true;
        outcome.message = std::string("SQLite could not prepare: ") + sqlite3_errmsg(db_) + " in " +
                          outcome.compiled.sqlite;
        return outcome;
    }
    for (size_t i = 0; i < params.size(); ++i) Bind(statement, static_cast<int>(i + 1), params[i]);
    int rc;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
        std::vector<std::string> row;
        for (int c = 0; c < sqlite3_column_count(statement); ++c) {
            const auto index = static_cast<size_t>(c);
            const uint16_t type =
                index < outcome.compiled.result.size() ? outcome.compiled.result[index].type : 0;
            row.push_back(ValueText(statement, c, type));
        }
        outcome.rows.push_back(std::move(row));
    }
    if (rc != SQLITE_DONE) {
        outcome.failed = true;
        const std::string message = sqlite3_errmsg(db_);
        if (std::optional<SqlError> error = FunctionError(message)) {
            outcome.nativeError = error->NativeError();
            outcome.message = error->what();
        } else {
            outcome.message = message;
        }
    }
    sqlite3_finalize(statement);
    outcome.changes = sqlite3_changes(db_);
    if (!outcome.failed && outcome.compiled.kind == StatementKind::CreateTable) catalogue_.Add(outcome.compiled.created);
    if (!outcome.failed && outcome.compiled.kind == StatementKind::DropTable) catalogue_.Remove(outcome.compiled.targetTable);
    return outcome;
}

std::string DescribeColumn(const Column& column) {
    static constexpr std::pair<uint16_t, const char*> kNames[] = {
        {kLogical, "LOGICAL"},  {kNumeric, "NUMERIC"},   {kDate, "DATE"},         {kChar, "CHAR"},
        {kMemo, "MEMO"},        {kBinary, "BINARY"},     {kImage, "IMAGE"},       {kDouble, "DOUBLE"},
        {kInteger, "INTEGER"},  {kShortInt, "SMALLINT"}, {kTime, "TIME"},         {kTimestamp, "TIMESTAMP"},
        {kAutoInc, "AUTOINC"},  {kRaw, "RAW"},           {kCurDouble, "CURRENCY"}, {kMoney, "MONEY"},
        {kCharCI, "CHAR_CI"},   {kBigInt, "BIGINT"},     {kModTime, "MODSTAMP"},  {kVarChar, "VARCHAR"},
        {kVarBinary, "VARBINARY"}};
    std::string type = "type" + std::to_string(column.type);
    for (auto [code, name] : kNames) {
        if (code == column.type) type = name;
    }
    return column.name + " " + type + "(" + std::to_string(column.length) + "," +
           std::to_string(column.decimals) + ")";
}

namespace {

struct Case {
    std::string name;
    int line = 0;
    std::vector<std::string> statements;
    std::map<std::string, std::vector<std::string>> sections;
};

std::vector<Case> ReadCases(const std::string& path) {
    std::ifstream in(path);
    std::vector<Case> cases;
    std::string line;
    std::string section;
    std::string statement;
    int number = 0;
    auto flushStatement = [&] {
        if (!cases.empty() && !Trim(statement).empty()) cases.back().statements.push_back(statement);
        statement.clear();
    };
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind("=== ", 0) == 0) {
            flushStatement();
            cases.push_back(Case{line.substr(4), number, {}, {}});
            section.clear();
            continue;
        }
        if (cases.empty()) continue;
        if (line.rfind("--- ", 0) == 0) {
            if (section.empty()) flushStatement();
            section = Trim(line.substr(4));
            cases.back().sections[section];
            continue;
        }
        if (!section.empty()) {
            if (!Trim(line).empty() || section == "rows") cases.back().sections[section].push_back(line);
            continue;
        }
        if (Trim(line) == ";") {
            flushStatement();
            continue;
        }
        statement += statement.empty() ? line : "\n" + line;
    }
    flushStatement();
    for (Case& c : cases) {
        // Blank lines after the last row only separate cases.
        auto it = c.sections.find("rows");
        if (it != c.sections.end()) {
            while (!it->second.empty() && Trim(it->second.back()).empty()) it->second.pop_back();
        }
    }
    return cases;
}

std::string Join(const std::vector<std::string>& parts, const std::string& separator) {
    std::string out;
    for (size_t i = 0; i < parts.size(); ++i) out += (i ? separator : "") + parts[i];
    return out;
}

}  // namespace

std::vector<std::string> RunScript(Database& database, const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> failures;
    if (!in) failures.push_back("cannot open " + path);
    std::string line;
    std::string statement;
    auto run = [&] {
        if (Trim(statement).empty()) return;
        Outcome outcome = database.Run(statement);
        if (outcome.failed) failures.push_back(path + ": " + outcome.message + "\n  in: " + statement);
        statement.clear();
    };
    while (std::getline(in, line)) {
        if (Trim(line) == ";") {
            run();
        } else {
            statement += line + "\n";
        }
    }
    run();
    return failures;
}

std::vector<std::string> RunCaseFile(const std::string& path) {
    std::vector<std::string> failures;
    std::vector<Case> cases = ReadCases(path);
    if (cases.empty()) failures.push_back(path + ": no cases");
    Database database;
    for (const Case& c : cases) {
        const std::string where = path + ":" + std::to_string(c.line) + " \"" + c.name + "\": ";
        if (c.statements.empty()) {
            failures.push_back(where + "no statement");
            continue;
        }
        bool setupFailed = false;
        for (size_t i = 0; i + 1 < c.statements.size(); ++i) {
            Outcome setup = database.Run(c.statements[i]);
            if (setup.failed) {
                failures.push_back(where + "statement " + std::to_string(i + 1) + " failed: " + setup.message);
                setupFailed = true;
                break;
            }
        }
        if (setupFailed) continue;
        std::vector<std::string> params;
        if (auto it = c.sections.find("params"); it != c.sections.end() && !it->second.empty()) {
            params = Split(it->second.front(), '|');
        }
        Outcome outcome = database.Run(c.statements.back(), params);
        auto expected = c.sections.find("error");
        if (expected != c.sections.end()) {
            const std::string want = expected->second.empty() ? std::string() : Trim(expected->second.front());
            const std::string got = std::to_string(outcome.nativeError) + " " + outcome.message;
            if (!outcome.failed) {
                failures.push_back(where + "expected error \"" + want + "\" but it succeeded");
            } else if (got != want) {
                failures.push_back(where + "expected error\n    " + want + "\n  got\n    " + got);
            }
            continue;
        }
        if (outcome.failed) {
            failures.push_back(where + "failed: " + std::to_string(outcome.nativeError) + " " + outcome.message +
                               (outcome.compiled.sqlite.empty() ? "" : "\n  SQL: " + outcome.compiled.sqlite));
            continue;
        }
        if (auto it = c.sections.find("columns"); it != c.sections.end()) {
            std::vector<std::string> got;
            for (const Column& column : outcome.compiled.result) got.push_back(DescribeColumn(column));
            std::vector<std::string> want;
            for (const std::string& line : it->second) {
                for (const std::string& part : Split(line, '|')) want.push_back(Trim(part));
            }
            if (got != want) {
                failures.push_back(where + "columns\n    want: " + Join(want, " | ") + "\n    got:  " + Join(got, " | "));
            }
        }
        if (auto it = c.sections.find("rows"); it != c.sections.end()) {
            std::vector<std::string> got;
            for (const auto& row : outcome.rows) got.push_back(Join(row, "|"));
            if (got != it->second) {
                failures.push_back(where + "rows\n    want:\n      " + Join(it->second, "\n      ") +
                                   "\n    got:\n      " + Join(got, "\n      ") + "\n  SQL: " + outcome.compiled.sqlite);
            }
        }
        if (auto it = c.sections.find("changes"); it != c.sections.end()) {
            const std::string want = it->second.empty() ? "" : Trim(it->second.front());
            if (want != std::to_string(outcome.changes)) {
                failures.push_back(where + "changes: want " + want + ", got " + std::to_string(outcome.changes));
            }
        }
        if (auto it = c.sections.find("sqlite"); it != c.sections.end()) {
            const std::string want = Join(it->second, "\n");
            if (want != outcome.compiled.sqlite) {
                failures.push_back(where + "sqlite\n    want: " + want + "\n    got:  " + outcome.compiled.sqlite);
            }
        }
    }
    return failures;
}

}  // namespace kce::sql::test
