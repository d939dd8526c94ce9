#include "app/cli/DryRun.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "engine/QueryText.h"
#include "settings/CodePage.h"

namespace parvell::cli {
namespace {

// Reads the statement's words from its start, past blanks and comments ("--" to the line's end,
// "/* ... */").
class TWords {
public:
    explicit TWords(std::string_view text) : text_(text) {}

    // The next word upper-cased, or an identifier as written ("..." and [...] unquoted); empty
    // at the end.
    std::string Next(bool upper = true) {
        SkipBlanks();
        if (at_ >= text_.size()) return {};
        const char c = text_[at_];
        std::string word;
        if (c == '"' || c == '[') {
            const char close = c == '"' ? '"' : ']';
            for (++at_; at_ < text_.size(); ++at_) {
                if (text_[at_] == close) {
                    if (close == '"' && at_ + 1 < text_.size() && text_[at_ + 1] == '"') {
                        word += '"';
                        ++at_;
                        continue;
                    }
                    ++at_;
                    break;
                }
                word += text_[at_];
            }
            return word;
        }
        while (at_ < text_.size()) {
            const unsigned char ch = static_cast<unsigned char>(text_[at_]);
            if (!(std::isalnum(ch) || ch == '_' || ch >= 0x80)) break;
            word += upper ? static_cast<char>(std::toupper(ch)) : static_cast<char>(ch);
            ++at_;
        }
        if (word.empty()) word = text_[at_++];
        return word;
    }

private:
    void SkipBlanks() {
        while (at_ < text_.size()) {
            if (std::isspace(static_cast<unsigned char>(text_[at_]))) {
                ++at_;
            } else if (text_.substr(at_, 2) == "--") {
                const std::size_t end = text_.find('\n', at_);
                at_ = end == std::string_view::npos ? text_.size() : end + 1;
            } else if (text_.substr(at_, 2) == "/*") {
                const std::size_t end = text_.find("*/", at_ + 2);
                at_ = end == std::string_view::npos ? text_.size() : end + 2;
            } else {
                break;
            }
        }
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

enum class TChange { Insert, Update, Delete, CreateOrDrop, Other };

struct TStatementShape {
    TChange change = TChange::Other;
    std::string firstWord;
    std::string table;  // the changed table (INSERT, UPDATE, DELETE)
};

TStatementShape ShapeOf(std::string_view text) {
    TWords words(text);
    TStatementShape shape;
    shape.firstWord = words.Next();
    if (shape.firstWord == "UPDATE") {
        shape.change = TChange::Update;
        shape.table = words.Next(false);
    } else if (shape.firstWord == "DELETE") {
        shape.change = TChange::Delete;
        std::string next = words.Next(false);
        if (TWords(next).Next() == "FROM") next = words.Next(false);
        shape.table = next;
    } else if (shape.firstWord == "INSERT") {
        shape.change = TChange::Insert;
        words.Next();  // INTO
        shape.table = words.Next(false);
    } else if (shape.firstWord == "CREATE" || shape.firstWord == "DROP") {
        shape.change = TChange::CreateOrDrop;
    }
    return shape;
}

struct TRows {
    std::vector<std::string> names;
    std::vector<std::vector<std::string>> rows;
};

// Every row of the table as query prints it, in the engine's order (the order rows are stored).
TRows ReadTable(TKdbQuery& query, const std::string& table) {
    query.SetSQL(SelectAll(table) + "\r\n");
    query.SetActive(true);
    TRows rows;
    const int count = query.NumFields();
    for (int i = 0; i < count; ++i) rows.names.push_back(query.FieldAt(i).FieldName());
    query.MoveFirst();
    while (!query.AtEnd()) {
        std::vector<std::string> row;
        row.reserve(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) row.push_back(query.FieldAt(i).DisplayString());
        rows.rows.push_back(std::move(row));
        query.MoveNext();
    }
    query.SetActive(false);
    return rows;
}

// The rows of `from` that `other` does not hold (as many times as `from` holds them more often).
std::vector<std::vector<std::string>> Missing(const TRows& from, const TRows& other,
                                              std::size_t limit) {
    std::map<std::vector<std::string>, int> count;
    for (const auto& row : other.rows) ++count[row];
    std::vector<std::vector<std::string>> missing;
    for (const auto& row : from.rows) {
        if (missing.size() >= limit) break;
        auto found = count.find(row);
        if (found != count.end() && found->second > 0) {
            --found->second;
        } else {
            missing.push_back(row);
        }
    }
    return missing;
}

void PrintChanged(TChange change, const TRows& before, const TRows& after, int show,
                  std::ostream& out) {
    const std::size_t limit = static_cast<std::size_t>(show);
    std::vector<std::vector<std::string>> old, now;
    if (change == TChange::Update && before.rows.size() == after.rows.size()) {
        // An update keeps each row in its place: the rows that differ are the changed ones.
        for (std::size_t i = 0; i < before.rows.size() && old.size() < limit; ++i) {
            if (before.rows[i] != after.rows[i]) {
                old.push_back(before.rows[i]);
                now.push_back(after.rows[i]);
            }
        }
    } else {
        if (change != TChange::Insert) old = Missing(before, after, limit);
        if (change != TChange::Delete) now = Missing(after, before, limit);
    }
    const auto encode = [](std::string_view line) { return store::Utf8FromCp1252(line); };
    out << "before:\n";
    WriteTextTable(before.names, old, out, encode);
    out << "after:\n";
    WriteTextTable(after.names, now, out, encode);
}

}  // namespace

int DryRun(TQueryComponents& components, int show, std::ostream& out, std::ostream& err) {
    TKdbQuery& query = components.Query();
    const std::string text = query.SQL().Text();
    const TStatementShape shape = ShapeOf(text);
    TKdbConnection& connection = components.Connection();
    connection.Connect();
    if (shape.change == TChange::Other) {
        err << "parvell-cli: exec: --dry-run tries INSERT, UPDATE, DELETE, CREATE TABLE and DROP "
               "TABLE statements only; "
            << (shape.firstWord.empty() ? std::string("the statement is empty")
                                        : shape.firstWord + " is not one of them")
            << '\n';
        return 1;
    }
    if (shape.change == TChange::CreateOrDrop) {
        // A folder's table files are made and removed outside any transaction.
        if (!connection.IsDictionaryConnection()) {
            err << "parvell-cli: exec: --dry-run cannot try " << shape.firstWord
                << " on a folder of tables: the engine cannot undo it\n";
            return 1;
        }
        if (show > 0) {
            err << "parvell-cli: exec: --show needs an INSERT, UPDATE or DELETE\n";
            return 1;
        }
    }

    connection.BeginTransaction();
    try {
        TRows before, after;
        if (show > 0) before = ReadTable(query, shape.table);
        query.SetSQL(text);
        query.ExecSQL();
        const int32_t rows = query.RowsAffected();
        if (show > 0) after = ReadTable(query, shape.table);
        connection.Rollback();
        out << rows << (rows == 1 ? " row" : " rows")
            << " would change; the statement was rolled back\n";
        if (show > 0) PrintChanged(shape.change, before, after, show, out);
    } catch (...) {
        if (connection.InTransaction()) {
            try {
                connection.Rollback();
            } catch (...) {
                // The first failure is the one reported; closing the connection rolls back.
            }
        }
        throw;
    }
    return 0;
}

}  // namespace parvell::cli
