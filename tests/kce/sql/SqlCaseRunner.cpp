#include "tests/kce/sql/SqlCaseRunner.h"

#include <cctype>
#include <fstream>
#include <sstream>

#include "kce/sql/Numbers.h"
#include "kce/sql/Text1252.h"
#include "kce/sql/Types.h"

namespace kce::sql::test {
namespace {

// A result value in the stored text form of its static type: the cursor encoder reads a number
// of a floating type as a double whatever SQLite's own type of it, and so does this; a MONEY or
// CURRENCY result column's count of ten-thousandths is the amount it stands for.
std::string ValueText(sqlite3_stmt* statement, int column, uint16_t type) {
    if (IsMoneyType(type) && sqlite3_column_type(statement, column) == SQLITE_INTEGER) {
        return MoneyText(sqlite3_column_int64(statement, column));
    }
    const bool floating = type == kDouble || type == kCurDouble || type == kNumeric;
    switch (sqlite3_column_type(statement, column)) {
        case SQLITE_NULL:
            return "NULL";
        case SQLITE_INTEGER:
            if (floating) return RealText(sqlite3_column_double(statement, column));
            return std::to_string(sqlite3_column_int64(statement, column));
        case SQLITE_FLOAT:
            return RealText(sqlite3_column_double(statement, column));
        case SQLITE_BLOB: {
            static constexpr char kHex[] = "0123456789ABCDEF";
            const auto* data =
                static_cast<const unsigned char*>(sqlite3_column_blob(statement, column));
            std::string text = "X'";
            for (int i = 0; i < sqlite3_column_bytes(statement, column); ++i) {
                text += kHex[data[i] >> 4];
                text += kHex[data[i] & 15];
            }
            return text + "'";
        }
        default:
            return std::string(
                reinterpret_cast<const char*>(sqlite3_column_text(statement, column)),
                sqlite3_column_bytes(statement, column));
    }
}

void Bind(sqlite3_stmt* statement, int index, const std::string& value) {
    const std::string text = Trim(value);
    if (text == "NULL") {
        sqlite3_bind_null(statement, index);
    } else if (text.size() >= 2 && text.front() == '\'' && text.back() == '\'') {
        const std::string inner = text.substr(1, text.size() - 2);
        sqlite3_bind_text(statement, index, inner.c_str(), static_cast<int>(inner.size()),
                          SQLITE_TRANSIENT);
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

Database::~Database() {
    sqlite3_close(db_);
}

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
    if (sqlite3_prepare_v2(db_, outcome.compiled.sqlite.c_str(), -1, &statement, nullptr) !=
        SQLITE_OK) {
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
    if (!outcome.failed && outcome.compiled.kind == StatementKind::CreateTable)
        catalogue_.Add(outcome.compiled.created);
    if (!outcome.failed && outcome.compiled.kind == StatementKind::DropTable)
        catalogue_.Remove(outcome.compiled.targetTable);
    return outcome;
}

std::string DescribeColumn(const Column& column) {
    return test::DescribeColumn(column.name, column.type, column.length, column.decimals);
}

Result MemoryRoad::Run(const std::string& sql, const std::vector<std::string>& params) {
    Outcome outcome = database_.Run(sql, params);
    Result result;
    result.failed = outcome.failed;
    result.nativeError = outcome.nativeError;
    result.message = std::move(outcome.message);
    for (const Column& column : outcome.compiled.result)
        result.columns.push_back(DescribeColumn(column));
    result.rows = std::move(outcome.rows);
    result.changes = outcome.changes;
    result.sqlite = std::move(outcome.compiled.sqlite);
    return result;
}

std::vector<std::string> RunScript(Database& database, const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> failures;
    if (!in) failures.push_back("cannot open " + path);
    std::string line;
    std::string statement;
    auto run = [&] {
        if (Trim(statement).empty()) return;
        Outcome outcome = database.Run(statement);
        if (outcome.failed)
            failures.push_back(path + ": " + outcome.message + "\n  in: " + statement);
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

}  // namespace kce::sql::test
