#include "tests/kce/sql/SqlCaseFile.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>

namespace kce::sql::test {

std::string Trim(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
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

namespace {

std::string Join(const std::vector<std::string>& parts, const std::string& separator) {
    std::string out;
    for (size_t i = 0; i < parts.size(); ++i) out += (i ? separator : "") + parts[i];
    return out;
}

bool RunsOn(const Case& c, const std::string& road) {
    auto it = c.sections.find("roads");
    if (it == c.sections.end()) return true;
    for (const std::string& line : it->second) {
        std::istringstream words(line);
        std::string word;
        while (words >> word) {
            if (word == road) return true;
        }
    }
    return false;
}

}  // namespace

std::vector<Case> ReadCases(const std::string& path) {
    std::ifstream in(path);
    std::vector<Case> cases;
    std::string line;
    std::string section;
    std::string statement;
    int number = 0;
    std::vector<std::string> fileRoads;
    auto flushStatement = [&] {
        if (!cases.empty() && !Trim(statement).empty())
            cases.back().statements.push_back(statement);
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
        if (cases.empty()) {
            // Before the first case only the file's default roads are read.
            if (line.rfind("--- ", 0) == 0) {
                section = Trim(line.substr(4));
            } else if (section == "roads" && !Trim(line).empty()) {
                fileRoads.push_back(line);
            }
            continue;
        }
        if (line.rfind("--- ", 0) == 0) {
            if (section.empty()) flushStatement();
            section = Trim(line.substr(4));
            cases.back().sections[section];
            continue;
        }
        if (!section.empty()) {
            if (!Trim(line).empty() || section == "rows")
                cases.back().sections[section].push_back(line);
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
        if (!fileRoads.empty() && !c.sections.count("roads")) c.sections["roads"] = fileRoads;
        // Blank lines after the last row only separate cases.
        auto it = c.sections.find("rows");
        if (it != c.sections.end()) {
            while (!it->second.empty() && Trim(it->second.back()).empty()) it->second.pop_back();
        }
    }
    return cases;
}

std::vector<std::string> RunCaseFile(const std::string& path, Road& road) {
    std::vector<std::string> failures;
    const std::vector<Case> cases = ReadCases(path);
    if (cases.empty()) failures.push_back(path + ": no cases");
    for (const Case& c : cases) {
        if (!RunsOn(c, road.Name())) continue;
        const std::string where =
            path + ":" + std::to_string(c.line) + " \"" + c.name + "\" (" + road.Name() + "): ";
        if (c.statements.empty()) {
            failures.push_back(where + "no statement");
            continue;
        }
        bool setupFailed = false;
        for (size_t i = 0; i + 1 < c.statements.size(); ++i) {
            Result setup = road.Run(c.statements[i], {});
            if (setup.failed) {
                failures.push_back(where + "statement " + std::to_string(i + 1) + " failed: " +
                                   std::to_string(setup.nativeError) + " " + setup.message);
                setupFailed = true;
                break;
            }
        }
        if (setupFailed) continue;
        std::vector<std::string> params;
        if (auto it = c.sections.find("params"); it != c.sections.end() && !it->second.empty()) {
            params = Split(it->second.front(), '|');
        }
        const Result result = road.Run(c.statements.back(), params);
        const std::string sqlNote = result.sqlite.empty() ? "" : "\n  SQL: " + result.sqlite;
        if (auto expected = c.sections.find("error"); expected != c.sections.end()) {
            const std::string want =
                expected->second.empty() ? std::string() : Trim(expected->second.front());
            const std::string got = std::to_string(result.nativeError) + " " + result.message;
            if (!result.failed) {
                failures.push_back(where + "expected error \"" + want + "\" but it succeeded");
            } else if (got != want) {
                failures.push_back(where + "expected error\n    " + want + "\n  got\n    " + got);
            }
            continue;
        }
        if (result.failed) {
            failures.push_back(where + "failed: " + std::to_string(result.nativeError) + " " +
                               result.message + sqlNote);
            continue;
        }
        if (auto it = c.sections.find("columns"); it != c.sections.end()) {
            std::vector<std::string> want;
            for (const std::string& line : it->second) {
                for (const std::string& part : Split(line, '|')) want.push_back(Trim(part));
            }
            if (result.columns != want) {
                failures.push_back(where + "columns\n    want: " + Join(want, " | ") +
                                   "\n    got:  " + Join(result.columns, " | "));
            }
        }
        if (auto it = c.sections.find("rows"); it != c.sections.end()) {
            std::vector<std::string> got;
            for (const auto& row : result.rows) got.push_back(Join(row, "|"));
            if (got != it->second) {
                failures.push_back(where + "rows\n    want:\n      " +
                                   Join(it->second, "\n      ") + "\n    got:\n      " +
                                   Join(got, "\n      ") + sqlNote);
            }
        }
        if (auto it = c.sections.find("changes"); it != c.sections.end()) {
            const std::string want = it->second.empty() ? "" : Trim(it->second.front());
            if (want != std::to_string(result.changes)) {
                failures.push_back(where + "changes: want " + want + ", got " +
                                   std::to_string(result.changes));
            }
        }
        if (auto it = c.sections.find("sqlite"); it != c.sections.end() && !result.sqlite.empty()) {
            const std::string want = Join(it->second, "\n");
            if (want != result.sqlite) {
                failures.push_back(where + "sqlite\n    want: " + want +
                                   "\n    got:  " + result.sqlite);
            }
        }
    }
    return failures;
}

std::vector<std::string> CaseFileNames(const std::string& folder) {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().extension() == ".sqlt") files.push_back(entry.path().filename().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::string TypeName(uint16_t engineType) {
    static constexpr std::pair<uint16_t, const char*> kNames[] = {
        {1, "LOGICAL"},   {2, "NUMERIC"},    {3, "DATE"},     {4, "CHAR"},      {5, "MEMO"},
        {6, "BINARY"},    {7, "IMAGE"},      {10, "DOUBLE"},  {11, "INTEGER"},  {12, "SMALLINT"},
        {13, "TIME"},     {14, "TIMESTAMP"}, {15, "AUTOINC"}, {16, "RAW"},      {17, "CURRENCY"},
        {18, "MONEY"},    {20, "CHAR_CI"},   {21, "BIGINT"},  {22, "MODSTAMP"}, {23, "VARCHAR"},
        {24, "VARBINARY"}};
    for (auto [code, name] : kNames) {
        if (code == engineType) return name;
    }
    return "type" + std::to_string(engineType);
}

std::string DescribeColumn(const std::string& name, uint16_t type, uint32_t length,
                           uint16_t decimals) {
    return name + " " + TypeName(type) + "(" + std::to_string(length) + "," +
           std::to_string(decimals) + ")";
}

std::string RealText(double value) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.15g", value);
    std::string text = buffer;
    if (text.find_first_of(".en") == std::string::npos) text += ".0";
    return text;
}

}  // namespace kce::sql::test
