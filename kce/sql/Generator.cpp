#include "kce/sql/Generator.h"

#include "kce/sql/Text1252.h"
#include "kce/sql/Types.h"

namespace kce::sql {
namespace {

using bound::Expr;
using bound::Kind;

std::string Quote(std::string_view name1252) {
    std::string out = "\"";
    for (char c : Utf8FromCp1252(name1252)) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

std::string TextLiteral(std::string_view text1252) {
    const std::string utf8 = Utf8FromCp1252(text1252);
    if (utf8.find('\0') != std::string::npos) {
        // A zero byte would end the SQL text early: write the bytes in hexadecimal.
        static constexpr char kHex[] = "0123456789ABCDEF";
        std::string out = "CAST(X'";
        for (unsigned char c : utf8) {
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
        return out + "' AS TEXT)";
    }
    std::string out = "'";
    for (char c : utf8) {
        if (c == '\'') out += '\'';
        out += c;
    }
    return out + "'";
}

class Writer {
public:
    std::string out;

    void ExprSql(const Expr& e) {
        switch (e.kind) {
            case Kind::Null:
                out += "NULL";
                return;
            case Kind::Integer:
            case Kind::Real:
                out += e.text;
                return;
            case Kind::Text:
                out += TextLiteral(e.text);
                return;
            case Kind::Parameter:
                out += "?" + std::to_string(e.index + 1);
                return;
            case Kind::Column:
                out += e.source + "." + Quote(e.text);
                return;
            case Kind::Unary:
                out += e.text == "NOT" ? "(NOT " : "(-";
                ExprSql(*e.args[0]);
                out += ")";
                return;
            case Kind::Binary:
                out += "(";
                BinarySql(e);
                out += ")";
                return;
            case Kind::Between:
                out += "(";
                Collated(*e.args[0], e.collation);
                out += e.negated ? " NOT BETWEEN " : " BETWEEN ";
                ExprSql(*e.args[1]);
                out += " AND ";
                ExprSql(*e.args[2]);
                out += ")";
                return;
            case Kind::InList:
                out += "(";
                Collated(*e.args[0], e.collation);
                out += e.negated ? " NOT IN (" : " IN (";
                for (size_t i = 1; i < e.args.size(); ++i) {
                    if (i > 1) out += ", ";
                    ExprSql(*e.args[i]);
                }
                out += "))";
                return;
            case Kind::InSelect:
                out += "(";
                Collated(*e.args[0], e.collation);
                out += e.negated ? " NOT IN (" : " IN (";
                SelectSql(*e.select);
                out += "))";
                return;
            case Kind::Exists:
                out += e.negated ? "(NOT EXISTS (" : "(EXISTS (";
                SelectSql(*e.select);
                out += "))";
                return;
            case Kind::Subquery:
                out += "(";
                SelectSql(*e.select);
                out += ")";
                return;
            case Kind::IsNull:
                out += "(";
                ExprSql(*e.args[0]);
                out += e.negated ? " IS NOT NULL)" : " IS NULL)";
                return;
            case Kind::Like:
                out += e.negated ? "(NOT kce_like(" : "(kce_like(";
                ExprSql(*e.args[0]);
                out += ", ";
                ExprSql(*e.args[1]);
                out += ", ";
                if (e.args.size() > 2) {
                    ExprSql(*e.args[2]);
                } else {
                    out += "NULL";
                }
                out += ", " + std::to_string(e.index) + "))";
                return;
            case Kind::Case: {
                out += "CASE";
                size_t i = 0;
                if (e.hasCaseOperand) {
                    out += " ";
                    Collated(*e.args[i++], e.collation);
                }
                const size_t end = e.args.size() - (e.hasElse ? 1 : 0);
                for (; i + 1 < end; i += 2) {
                    out += " WHEN ";
                    ExprSql(*e.args[i]);
                    out += " THEN ";
                    ExprSql(*e.args[i + 1]);
                }
                if (e.hasElse) {
                    out += " ELSE ";
                    ExprSql(*e.args.back());
                }
                out += " END";
                return;
            }
            case Kind::Call:
                out += e.text + "(";
                if (e.star) out += "*";
                if (e.distinct) out += "DISTINCT ";
                for (size_t i = 0; i < e.args.size(); ++i) {
                    if (i > 0) out += ", ";
                    ExprSql(*e.args[i]);
                }
                out += ")";
                return;
            case Kind::Pad:
                out += "kce_pad(";
                ExprSql(*e.args[0]);
                out += ", " + std::to_string(e.index) + ")";
                return;
        }
    }

    // A binary operation without its enclosing parentheses. A left operand that is itself an
    // operation of the same precedence is written without parentheses too: SQLite reads such a
    // chain from the left as well, and its parser has room for only about a hundred pending
    // parentheses, so "a || b || c ..." must not nest them once per operand.
    void BinarySql(const Expr& e) {
        const Expr& left = *e.args[0];
        if (e.collation.empty() && left.kind == Kind::Binary && ChainsWith(left.text, e.text)) {
            BinarySql(left);
        } else {
            Collated(left, e.collation);
        }
        out += " " + e.text + " ";
        ExprSql(*e.args[1]);
    }

    // Whether SQLite gives the two binary operators the same precedence (they then group from
    // the left). Comparisons are left out: they are never chained in the generated SQL.
    static bool ChainsWith(const std::string& a, const std::string& b) {
        auto level = [](const std::string& op) {
            if (op == "OR") return 1;
            if (op == "AND") return 2;
            if (op == "+" || op == "-") return 3;
            if (op == "*" || op == "/" || op == "%") return 4;
            if (op == "||") return 5;
            return 0;
        };
        const int la = level(a);
        return la != 0 && la == level(b);
    }

    void Collated(const Expr& e, const std::string& collation) {
        if (collation.empty()) {
            ExprSql(e);
            return;
        }
        out += "(";
        ExprSql(e);
        out += " COLLATE " + collation + ")";
    }

    void CoreSql(const bound::Core& core) {
        out += core.distinct ? "SELECT DISTINCT " : "SELECT ";
        for (size_t i = 0; i < core.items.size(); ++i) {
            if (i > 0) out += ", ";
            // CHAR_CI results compare without case also where SQLite compares them on its own
            // (DISTINCT, UNION, IN).
            const Expr& item = *core.items[i].expr;
            Collated(item, item.type.type == kCharCI ? "KCE_CI" : "");
            out += " AS c" + std::to_string(i);
        }
        for (size_t i = 0; i < core.from.size(); ++i) {
            const bound::Source& source = core.from[i];
            if (i == 0) {
                out += " FROM ";
            } else {
                switch (source.join) {
                    case bound::JoinKind::Comma:
                        out += ", ";
                        break;
                    case bound::JoinKind::Inner:
                        out += " INNER JOIN ";
                        break;
                    case bound::JoinKind::Left:
                        out += " LEFT JOIN ";
                        break;
                    case bound::JoinKind::Right:
                        out += " RIGHT JOIN ";
                        break;
                    case bound::JoinKind::Full:
                        out += " FULL JOIN ";
                        break;
                    case bound::JoinKind::Cross:
                        out += " CROSS JOIN ";
                        break;
                }
            }
            if (source.subquery) {
                out += "(";
                SelectSql(*source.subquery);
                out += ")";
            } else {
                out += Quote(source.table);
            }
            out += " AS " + source.alias;
            if (source.on) {
                out += " ON ";
                ExprSql(*source.on);
            }
        }
        if (core.where) {
            out += " WHERE ";
            ExprSql(*core.where);
        }
        for (size_t i = 0; i < core.groupBy.size(); ++i) {
            out += i == 0 ? " GROUP BY " : ", ";
            const Expr& group = *core.groupBy[i];
            Collated(group, group.type.type == kCharCI ? "KCE_CI" : "");
        }
        if (core.having) {
            out += " HAVING ";
            ExprSql(*core.having);
        }
    }

    void SelectSql(const bound::Select& select) {
        const bool compound = select.cores.size() > 1;
        for (size_t i = 0; i < select.cores.size(); ++i) {
            if (i > 0) out += select.unionAll[i - 1] ? " UNION ALL " : " UNION ";
            const bound::Core& core = select.cores[i];
            if (compound && core.top >= 0) {
                // A member of a UNION takes its row limit inside a subquery of its own.
                out += "SELECT * FROM (";
                CoreSql(core);
                out += " LIMIT " + std::to_string(core.top) + ")";
            } else {
                CoreSql(core);
            }
        }
        for (size_t i = 0; i < select.orderBy.size(); ++i) {
            const bound::OrderItem& item = select.orderBy[i];
            out += i == 0 ? " ORDER BY " : ", ";
            if (item.position > 0) {
                out += std::to_string(item.position);
            } else {
                ExprSql(*item.expr);
            }
            if (!item.collation.empty()) out += " COLLATE " + item.collation;
            if (item.descending) out += " DESC";
        }
        if (!compound && select.cores.front().top >= 0) {
            out += " LIMIT " + std::to_string(select.cores.front().top);
        }
    }
};

std::string CreateSql(const Table& table) {
    std::string out = "CREATE TABLE " + Quote(table.name) + " (";
    bool keyGiven = false;
    for (size_t i = 0; i < table.columns.size(); ++i) {
        const Column& column = table.columns[i];
        if (i > 0) out += ", ";
        out += Quote(column.name) + " ";
        if (column.type == kAutoInc && !keyGiven) {
            // The first AUTOINC column numbers the rows: SQLite assigns it when no value is given.
            out += "INTEGER PRIMARY KEY AUTOINCREMENT";
            keyGiven = true;
        } else {
            out += StoredAffinity(column.type);
        }
        if (column.notNull) out += " NOT NULL";
    }
    return out + ")";
}

}  // namespace

std::string Generate(const bound::Statement& statement) {
    Writer w;
    switch (statement.kind) {
        case StatementKind::Select:
            w.SelectSql(*statement.select);
            break;
        case StatementKind::Insert:
            w.out += "INSERT INTO " + Quote(statement.table) + " (";
            for (size_t i = 0; i < statement.columns.size(); ++i) {
                if (i > 0) w.out += ", ";
                w.out += Quote(statement.columns[i]);
            }
            w.out += ") ";
            if (statement.select) {
                w.out += "SELECT ";
                for (size_t i = 0; i < statement.rows.front().size(); ++i) {
                    if (i > 0) w.out += ", ";
                    w.ExprSql(*statement.rows.front()[i]);
                }
                w.out += " FROM (";
                w.SelectSql(*statement.select);
                w.out += ") AS s";
            } else {
                w.out += "VALUES ";
                for (size_t r = 0; r < statement.rows.size(); ++r) {
                    w.out += r == 0 ? "(" : ", (";
                    for (size_t i = 0; i < statement.rows[r].size(); ++i) {
                        if (i > 0) w.out += ", ";
                        w.ExprSql(*statement.rows[r][i]);
                    }
                    w.out += ")";
                }
            }
            break;
        case StatementKind::Update:
            w.out += "UPDATE " + Quote(statement.table) + " AS " + statement.alias + " SET ";
            for (size_t i = 0; i < statement.assignments.size(); ++i) {
                if (i > 0) w.out += ", ";
                w.out += Quote(statement.assignments[i].column) + " = ";
                w.ExprSql(*statement.assignments[i].value);
            }
            if (statement.where) {
                w.out += " WHERE ";
                w.ExprSql(*statement.where);
            }
            break;
        case StatementKind::Delete:
            w.out += "DELETE FROM " + Quote(statement.table) + " AS " + statement.alias;
            if (statement.where) {
                w.out += " WHERE ";
                w.ExprSql(*statement.where);
            }
            break;
        case StatementKind::CreateTable:
            w.out += CreateSql(statement.created);
            break;
        case StatementKind::DropTable:
            w.out += "DROP TABLE " + Quote(statement.table);
            break;
        case StatementKind::SetApplicationId:
            w.out += "SELECT kce_setapplicationid(";
            w.ExprSql(*statement.procedureArgs.front());
            w.out += ")";
            break;
        case StatementKind::GetApplicationId:
            w.out += "SELECT kce_getapplicationid() AS c0";
            break;
    }
    return w.out;
}

}  // namespace kce::sql
