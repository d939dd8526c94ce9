#include "kce/sql/Parser.h"

#include <algorithm>
#include <array>
#include <charconv>

#include "kce/sql/Lexer.h"
#include "kce/sql/NativeError.h"

namespace kce::sql {
namespace {

using ast::Expr;
using ast::ExprKind;
using ast::ExprPtr;

// Words that end an expression or a name list, so they can never be a bare alias.
constexpr std::array<std::string_view, 45> kReserved = {
    "SELECT",   "FROM",   "WHERE", "GROUP",  "BY",     "HAVING", "ORDER",  "UNION", "ALL",
    "DISTINCT", "TOP",    "AS",    "ON",     "JOIN",   "INNER",  "LEFT",   "RIGHT", "FULL",
    "OUTER",    "CROSS",  "AND",   "OR",     "NOT",    "IN",     "IS",     "NULL",  "LIKE",
    "BETWEEN",  "EXISTS", "CASE",  "WHEN",   "THEN",   "ELSE",   "END",    "ASC",   "DESC",
    "INTO",     "VALUES", "SET",   "UPDATE", "INSERT", "DELETE", "CREATE", "DROP",  "ESCAPE"};

char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

std::string ToUpper(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), Upper);
    return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return Upper(x) == Upper(y); });
}

class Parser {
public:
    explicit Parser(std::string_view sql) : sql_(sql), tokens_(Tokenize(sql, &parameterNames_)) {}

    ast::Statement ParseStatement() {
        ast::Statement statement;
        statement.position = Peek().position;
        if (IsWord("SELECT")) {
            statement.kind = StatementKind::Select;
            statement.select = ParseSelect();
        } else if (AcceptWord("INSERT")) {
            ParseInsert(statement);
        } else if (AcceptWord("UPDATE")) {
            ParseUpdate(statement);
        } else if (AcceptWord("DELETE")) {
            ParseDelete(statement);
        } else if (AcceptWord("CREATE")) {
            ExpectWord("TABLE");
            ParseCreate(statement);
        } else if (AcceptWord("DROP")) {
            ExpectWord("TABLE");
            statement.kind = StatementKind::DropTable;
            statement.tablePosition = Peek().position;
            statement.table = ExpectName("a table name");
        } else if (AcceptWord("EXECUTE")) {
            ExpectWord("PROCEDURE");
            ParseProcedure(statement);
        } else {
            Unexpected("a statement");
        }
        AcceptSymbol(";");
        if (Peek().kind != TokenKind::End) Unexpected("the end of the statement");
        for (std::string& name : parameterNames_)
            statement.parameters.push_back(Parameter{std::move(name)});
        return statement;
    }

private:
    // Counts recursion while parsing; deeper nesting than kMaxNesting is refused.
    class DepthGuard {
    public:
        explicit DepthGuard(Parser& parser) : parser_(parser) {
            // Each level of parentheses passes three guards.
            if (++parser_.nesting_ > 3 * kMaxNesting) parser_.TooComplex(parser_.Peek().position);
        }
        ~DepthGuard() { --parser_.nesting_; }

    private:
        Parser& parser_;
    };

    [[noreturn]] void TooComplex(size_t position) {
        throw SqlError(kErrTooComplex, position,
                       "Statement nested too deeply at " + DescribePosition(sql_, position) + ".");
    }

    const Token& Peek(size_t ahead = 0) const {
        return tokens_[std::min(pos_ + ahead, tokens_.size() - 1)];
    }
    const Token& Next() {
        const Token& token = tokens_[pos_];
        if (pos_ + 1 < tokens_.size()) ++pos_;
        return token;
    }

    bool IsWord(std::string_view word, size_t ahead = 0) const {
        const Token& token = Peek(ahead);
        return token.kind == TokenKind::Identifier && EqualsNoCase(token.text, word);
    }
    bool IsSymbol(std::string_view symbol, size_t ahead = 0) const {
        const Token& token = Peek(ahead);
        return token.kind == TokenKind::Symbol && token.text == symbol;
    }
    bool AcceptWord(std::string_view word) {
        if (!IsWord(word)) return false;
        Next();
        return true;
    }
    bool AcceptSymbol(std::string_view symbol) {
        if (!IsSymbol(symbol)) return false;
        Next();
        return true;
    }
    void ExpectWord(std::string_view word) {
        if (!AcceptWord(word)) Unexpected(std::string(word));
    }
    void ExpectSymbol(std::string_view symbol) {
        if (!AcceptSymbol(symbol)) Unexpected("\"" + std::string(symbol) + "\"");
    }

    [[noreturn]] void Unexpected(const std::string& expected) {
        const Token& token = Peek();
        std::string found;
        switch (token.kind) {
            case TokenKind::End:
                found = "the end of the statement";
                break;
            case TokenKind::String:
                found = "'" + token.text + "'";
                break;
            case TokenKind::QuotedIdentifier:
                found = "\"" + token.text + "\"";
                break;
            case TokenKind::NamedParameter:
                found = "\":" + token.text + "\"";
                break;
            default:
                found = "\"" + token.text + "\"";
                break;
        }
        throw SqlError(kErrSyntax, token.position,
                       "Syntax error: expected " + expected + " but found " + found + " at " +
                           DescribePosition(sql_, token.position) + ".");
    }

    static bool IsReserved(const Token& token) {
        if (token.kind != TokenKind::Identifier) return false;
        return std::any_of(kReserved.begin(), kReserved.end(),
                           [&](std::string_view word) { return EqualsNoCase(word, token.text); });
    }

    bool IsName() const {
        const Token& token = Peek();
        return token.kind == TokenKind::QuotedIdentifier ||
               (token.kind == TokenKind::Identifier && !IsReserved(token));
    }
    std::string ExpectName(const std::string& what) {
        if (!IsName()) Unexpected(what);
        return Next().text;
    }

    // An alias after an expression or table: [AS] name.
    std::string ParseAlias(size_t* position = nullptr) {
        if (AcceptWord("AS")) {
            if (position) *position = Peek().position;
            return ExpectName("an alias");
        }
        if (IsName()) {
            if (position) *position = Peek().position;
            return Next().text;
        }
        return {};
    }

    int64_t ExpectInteger(const std::string& what) {
        const Token& token = Peek();
        int64_t value = 0;
        if (token.kind != TokenKind::Number) Unexpected(what);
        auto [end, ec] =
            std::from_chars(token.text.data(), token.text.data() + token.text.size(), value);
        if (ec != std::errc() || end != token.text.data() + token.text.size() || value < 0)
            Unexpected(what);
        Next();
        return value;
    }

    // Expression nodes --------------------------------------------------------------------------

    ExprPtr Make(ExprKind kind, size_t position, std::string text = {}) {
        auto expr = std::make_unique<Expr>();
        expr->kind = kind;
        expr->position = position;
        expr->text = std::move(text);
        return expr;
    }

    // Fixes the node's height from its children; refuses trees higher than kMaxNesting.
    ExprPtr Seal(ExprPtr expr) {
        int depth = 1;
        for (const ExprPtr& arg : expr->args) depth = std::max(depth, arg->depth + 1);
        if (expr->select) depth = std::max(depth, expr->select->depth + 1);
        expr->depth = depth;
        if (depth > kMaxNesting) TooComplex(expr->position);
        if (!selectDepth_.empty()) selectDepth_.back() = std::max(selectDepth_.back(), depth);
        return expr;
    }

    ExprPtr Binary(std::string op, size_t position, ExprPtr left, ExprPtr right) {
        ExprPtr expr = Make(ExprKind::Binary, position, std::move(op));
        expr->args.push_back(std::move(left));
        expr->args.push_back(std::move(right));
        return Seal(std::move(expr));
    }

    ExprPtr ParseExpr() {
        DepthGuard guard(*this);
        ExprPtr left = ParseAnd();
        while (IsWord("OR")) {
            size_t position = Next().position;
            left = Binary("OR", position, std::move(left), ParseAnd());
        }
        return left;
    }

    ExprPtr ParseAnd() {
        ExprPtr left = ParseNot();
        while (IsWord("AND")) {
            size_t position = Next().position;
            left = Binary("AND", position, std::move(left), ParseNot());
        }
        return left;
    }

    ExprPtr ParseNot() {
        DepthGuard guard(*this);
        if (IsWord("NOT") && !IsWord("EXISTS", 1)) {
            size_t position = Next().position;
            ExprPtr expr = Make(ExprKind::Unary, position, "NOT");
            expr->args.push_back(ParseNot());
            return Seal(std::move(expr));
        }
        return ParsePredicate();
    }

    ExprPtr ParsePredicate() {
        ExprPtr left = ParseAdditive();
        while (true) {
            const Token& token = Peek();
            if (token.kind == TokenKind::Symbol &&
                (token.text == "=" || token.text == "<>" || token.text == "!=" ||
                 token.text == "<" || token.text == "<=" || token.text == ">" ||
                 token.text == ">=")) {
                std::string op = token.text == "!=" ? "<>" : token.text;
                size_t position = Next().position;
                left = Binary(op, position, std::move(left), ParseAdditive());
                continue;
            }
            if (IsWord("IS")) {
                size_t position = Next().position;
                ExprPtr expr = Make(ExprKind::IsNull, position);
                expr->negated = AcceptWord("NOT");
                ExpectWord("NULL");
                expr->args.push_back(std::move(left));
                left = Seal(std::move(expr));
                continue;
            }
            bool negated = false;
            size_t position = token.position;
            if (IsWord("NOT") && (IsWord("BETWEEN", 1) || IsWord("IN", 1) || IsWord("LIKE", 1))) {
                Next();
                negated = true;
            }
            if (AcceptWord("BETWEEN")) {
                ExprPtr expr = Make(ExprKind::Between, position);
                expr->negated = negated;
                expr->args.push_back(std::move(left));
                expr->args.push_back(ParseAdditive());
                ExpectWord("AND");
                expr->args.push_back(ParseAdditive());
                left = Seal(std::move(expr));
            } else if (AcceptWord("IN")) {
                ExpectSymbol("(");
                ExprPtr expr;
                if (IsWord("SELECT")) {
                    expr = Make(ExprKind::InSelect, position);
                    expr->args.push_back(std::move(left));
                    expr->select = ParseSubquery();
                } else {
                    expr = Make(ExprKind::InList, position);
                    expr->args.push_back(std::move(left));
                    do {
                        expr->args.push_back(ParseExpr());
                    } while (AcceptSymbol(","));
                }
                ExpectSymbol(")");
                expr->negated = negated;
                left = Seal(std::move(expr));
            } else if (AcceptWord("LIKE")) {
                ExprPtr expr = Make(ExprKind::Like, position);
                expr->negated = negated;
                expr->args.push_back(std::move(left));
                expr->args.push_back(ParseAdditive());
                if (AcceptWord("ESCAPE")) expr->args.push_back(ParseAdditive());
                left = Seal(std::move(expr));
            } else {
                return left;
            }
        }
    }

    ExprPtr ParseAdditive() {
        ExprPtr left = ParseMultiplicative();
        while (IsSymbol("+") || IsSymbol("-") || IsSymbol("||")) {
            const Token& token = Next();
            left = Binary(token.text, token.position, std::move(left), ParseMultiplicative());
        }
        return left;
    }

    ExprPtr ParseMultiplicative() {
        ExprPtr left = ParseUnary();
        while (IsSymbol("*") || IsSymbol("/") || IsSymbol("%")) {
            const Token& token = Next();
            left = Binary(token.text, token.position, std::move(left), ParseUnary());
        }
        return left;
    }

    ExprPtr ParseUnary() {
        DepthGuard guard(*this);
        if (IsSymbol("-") || IsSymbol("+")) {
            const Token& token = Next();
            ExprPtr expr = Make(ExprKind::Unary, token.position, token.text);
            expr->args.push_back(ParseUnary());
            return Seal(std::move(expr));
        }
        return ParsePrimary();
    }

    std::unique_ptr<ast::Select> ParseSubquery() {
        selectDepth_.push_back(1);
        std::unique_ptr<ast::Select> select = ParseSelect();
        select->depth = selectDepth_.back();
        selectDepth_.pop_back();
        return select;
    }

    ExprPtr ParsePrimary() {
        const Token& token = Peek();
        switch (token.kind) {
            case TokenKind::Number: {
                Next();
                return Seal(Make(ExprKind::Number, token.position, token.text));
            }
            case TokenKind::String: {
                Next();
                return Seal(Make(ExprKind::String, token.position, token.text));
            }
            case TokenKind::NamedParameter:
            case TokenKind::Parameter: {
                Next();
                ExprPtr parameter =
                    Make(ExprKind::Parameter, token.position,
                         token.kind == TokenKind::Parameter ? std::string() : token.text);
                parameter->parameterIndex = token.parameterIndex;
                return Seal(std::move(parameter));
            }
            case TokenKind::Symbol: {
                if (token.text != "(") break;
                size_t position = Next().position;
                ExprPtr expr;
                if (IsWord("SELECT")) {
                    expr = Make(ExprKind::Subquery, position);
                    expr->select = ParseSubquery();
                    expr = Seal(std::move(expr));
                } else {
                    expr = ParseExpr();
                }
                ExpectSymbol(")");
                return expr;
            }
            case TokenKind::QuotedIdentifier:
                return ParseColumn();
            case TokenKind::Identifier:
                return ParseWordPrimary();
            default:
                break;
        }
        Unexpected("an expression");
    }

    ExprPtr ParseColumn() {
        const Token& first = Next();
        ExprPtr expr = Make(ExprKind::Column, first.position, first.text);
        if (IsSymbol(".") && (Peek(1).kind == TokenKind::Identifier ||
                              Peek(1).kind == TokenKind::QuotedIdentifier)) {
            Next();
            expr->qualifier = expr->text;
            expr->text = Next().text;
        }
        return Seal(std::move(expr));
    }

    ExprPtr ParseWordPrimary() {
        const Token& token = Peek();
        const size_t position = token.position;
        if (AcceptWord("NULL")) return Seal(Make(ExprKind::Null, position));
        if (IsWord("TRUE") || IsWord("FALSE")) {
            return Seal(Make(ExprKind::Boolean, position, ToUpper(Next().text)));
        }
        if (IsWord("EXISTS") || (IsWord("NOT") && IsWord("EXISTS", 1))) {
            ExprPtr expr = Make(ExprKind::Exists, position);
            expr->negated = AcceptWord("NOT");
            Next();
            ExpectSymbol("(");
            expr->select = ParseSubquery();
            ExpectSymbol(")");
            return Seal(std::move(expr));
        }
        if (AcceptWord("CASE")) return ParseCase(position);
        if ((IsWord("CURRENT_DATE") || IsWord("CURRENT_TIME") || IsWord("CURRENT_TIMESTAMP")) &&
            !IsSymbol("(", 1)) {
            // The standard's niladic forms: a call without parentheses.
            return Seal(Make(ExprKind::Function, position, ToUpper(Next().text)));
        }
        if (IsSymbol("(", 1)) {
            if (IsWord("CAST")) return ParseCast(position);
            if (IsWord("CONVERT")) return ParseConvert(position);
            return ParseFunction();
        }
        if (IsReserved(token)) Unexpected("an expression");
        return ParseColumn();
    }

    ExprPtr ParseCase(size_t position) {
        ExprPtr expr = Make(ExprKind::Case, position);
        if (!IsWord("WHEN")) {
            expr->hasCaseOperand = true;
            expr->args.push_back(ParseExpr());
        }
        if (!IsWord("WHEN")) Unexpected("WHEN");
        while (AcceptWord("WHEN")) {
            expr->args.push_back(ParseExpr());
            ExpectWord("THEN");
            expr->args.push_back(ParseExpr());
        }
        if (AcceptWord("ELSE")) {
            expr->hasElse = true;
            expr->args.push_back(ParseExpr());
        }
        ExpectWord("END");
        return Seal(std::move(expr));
    }

    ast::TypeName ParseTypeName() {
        ast::TypeName type;
        type.position = Peek().position;
        if (Peek().kind != TokenKind::Identifier) Unexpected("a type name");
        type.name = ToUpper(Next().text);
        if (AcceptSymbol("(")) {
            type.length = ExpectInteger("a length");
            if (AcceptSymbol(",")) type.decimals = ExpectInteger("a number of decimals");
            ExpectSymbol(")");
        }
        return type;
    }

    ExprPtr ParseCast(size_t position) {
        Next();
        ExpectSymbol("(");
        ExprPtr expr = Make(ExprKind::Cast, position);
        expr->args.push_back(ParseExpr());
        ExpectWord("AS");
        expr->castType = ParseTypeName();
        ExpectSymbol(")");
        return Seal(std::move(expr));
    }

    ExprPtr ParseConvert(size_t position) {
        Next();
        ExpectSymbol("(");
        ExprPtr expr = Make(ExprKind::Cast, position);
        expr->args.push_back(ParseExpr());
        ExpectSymbol(",");
        expr->castType = ParseTypeName();
        ExpectSymbol(")");
        return Seal(std::move(expr));
    }

    ExprPtr ParseFunction() {
        const Token& name = Next();
        ExprPtr expr = Make(ExprKind::Function, name.position, ToUpper(name.text));
        ExpectSymbol("(");
        if (AcceptSymbol(")")) return Seal(std::move(expr));
        if (expr->text == "COUNT" && AcceptSymbol("*")) {
            expr->star = true;
            ExpectSymbol(")");
            return Seal(std::move(expr));
        }
        if (AcceptWord("DISTINCT")) {
            expr->distinct = true;
        } else {
            AcceptWord("ALL");
        }
        if (expr->text == "EXTRACT") {
            // EXTRACT(field FROM value): the field is kept as the call's qualifier.
            if (Peek().kind != TokenKind::Identifier || IsReserved(Peek()))
                Unexpected("a date or time field");
            expr->qualifier = ToUpper(Next().text);
            ExpectWord("FROM");
            expr->args.push_back(ParseExpr());
            ExpectSymbol(")");
            return Seal(std::move(expr));
        }
        if (expr->text == "TRIM" && ParseTrimForm(*expr)) return Seal(std::move(expr));
        if (expr->text == "POSITION" && !IsSymbol(")")) {
            // POSITION(a IN b): the first operand stops before IN instead of reading a predicate.
            // Followed by "," or ")" the operand is the comma form's whole first argument, so it is
            // kept; only an operand that goes on (a comparison, say) is read again, which keeps
            // nested calls from being parsed over and over.
            const size_t mark = pos_;
            ExprPtr first = ParseAdditive();
            if (AcceptWord("IN")) {
                expr->args.push_back(std::move(first));
                expr->args.push_back(ParseExpr());
                ExpectSymbol(")");
                return Seal(std::move(expr));
            }
            if (IsSymbol(",") || IsSymbol(")")) {
                expr->args.push_back(std::move(first));
            } else {
                pos_ = mark;
            }
        }
        if (expr->args.empty()) expr->args.push_back(ParseExpr());
        if (expr->text == "SUBSTRING" && AcceptWord("FROM")) {
            expr->args.push_back(ParseExpr());
            if (AcceptWord("FOR")) expr->args.push_back(ParseExpr());
        } else {
            while (AcceptSymbol(",")) expr->args.push_back(ParseExpr());
        }
        ExpectSymbol(")");
        return Seal(std::move(expr));
    }

    // TRIM([LEADING | TRAILING | BOTH] [c] FROM x): args are x and, when given, c; the qualifier
    // says which end (BOTH when only c is given). Returns false after TRIM(x... with x read as the
    // first argument, so that the ordinary argument list goes on from there.
    bool ParseTrimForm(Expr& expr) {
        if (IsWord("LEADING") || IsWord("TRAILING") || IsWord("BOTH")) {
            expr.qualifier = ToUpper(Next().text);
            if (AcceptWord("FROM")) {
                expr.args.push_back(ParseExpr());
                ExpectSymbol(")");
                return true;
            }
            ExprPtr character = ParseExpr();
            ExpectWord("FROM");
            expr.args.push_back(ParseExpr());
            expr.args.push_back(std::move(character));
            ExpectSymbol(")");
            return true;
        }
        ExprPtr first = ParseExpr();
        if (!AcceptWord("FROM")) {
            expr.args.push_back(std::move(first));
            return false;
        }
        expr.qualifier = "BOTH";
        expr.args.push_back(ParseExpr());
        expr.args.push_back(std::move(first));
        ExpectSymbol(")");
        return true;
    }

    // Statements --------------------------------------------------------------------------------

    std::unique_ptr<ast::Select> ParseSelect() {
        DepthGuard guard(*this);
        auto select = std::make_unique<ast::Select>();
        select->position = Peek().position;
        select->cores.push_back(ParseCore());
        while (AcceptWord("UNION")) {
            select->unionAll.push_back(AcceptWord("ALL"));
            select->cores.push_back(ParseCore());
        }
        if (AcceptWord("ORDER")) {
            ExpectWord("BY");
            do {
                ast::OrderItem item;
                item.expr = ParseExpr();
                if (AcceptWord("DESC")) {
                    item.descending = true;
                } else {
                    AcceptWord("ASC");
                }
                select->orderBy.push_back(std::move(item));
            } while (AcceptSymbol(","));
        }
        return select;
    }

    ast::SelectCore ParseCore() {
        ast::SelectCore core;
        core.position = Peek().position;
        ExpectWord("SELECT");
        if (AcceptWord("DISTINCT")) {
            core.distinct = true;
        } else {
            AcceptWord("ALL");
        }
        if (AcceptWord("TOP")) core.top = ExpectInteger("a row count after TOP");
        do {
            core.items.push_back(ParseSelectItem());
        } while (AcceptSymbol(","));
        if (AcceptWord("FROM")) {
            core.from.push_back(ParseTableRef(ast::JoinKind::Comma));
            while (true) {
                if (AcceptSymbol(",")) {
                    core.from.push_back(ParseTableRef(ast::JoinKind::Comma));
                    continue;
                }
                ast::JoinKind join;
                if (AcceptWord("JOIN")) {
                    join = ast::JoinKind::Inner;
                } else if (AcceptWord("INNER")) {
                    ExpectWord("JOIN");
                    join = ast::JoinKind::Inner;
                } else if (AcceptWord("CROSS")) {
                    ExpectWord("JOIN");
                    join = ast::JoinKind::Cross;
                } else if (IsWord("LEFT") || IsWord("RIGHT") || IsWord("FULL")) {
                    std::string word = ToUpper(Next().text);
                    join = word == "LEFT"    ? ast::JoinKind::Left
                           : word == "RIGHT" ? ast::JoinKind::Right
                                             : ast::JoinKind::Full;
                    AcceptWord("OUTER");
                    ExpectWord("JOIN");
                } else {
                    break;
                }
                ast::TableRef ref = ParseTableRef(join);
                if (join != ast::JoinKind::Cross) {
                    ExpectWord("ON");
                    ref.on = ParseExpr();
                }
                core.from.push_back(std::move(ref));
            }
        }
        if (AcceptWord("WHERE")) core.where = ParseExpr();
        if (AcceptWord("GROUP")) {
            ExpectWord("BY");
            do {
                core.groupBy.push_back(ParseExpr());
            } while (AcceptSymbol(","));
        }
        if (AcceptWord("HAVING")) core.having = ParseExpr();
        return core;
    }

    ast::SelectItem ParseSelectItem() {
        ast::SelectItem item;
        item.position = Peek().position;
        if (AcceptSymbol("*")) {
            item.star = true;
            return item;
        }
        if ((Peek().kind == TokenKind::Identifier || Peek().kind == TokenKind::QuotedIdentifier) &&
            IsSymbol(".", 1) && IsSymbol("*", 2)) {
            item.star = true;
            item.starQualifier = Next().text;
            Next();
            Next();
            return item;
        }
        item.expr = ParseExpr();
        item.alias = ParseAlias(&item.aliasPosition);
        return item;
    }

    ast::TableRef ParseTableRef(ast::JoinKind join) {
        DepthGuard guard(*this);
        ast::TableRef ref;
        ref.join = join;
        ref.position = Peek().position;
        if (AcceptSymbol("(")) {
            if (!IsWord("SELECT")) Unexpected("SELECT");
            ref.subquery = ParseSubquery();
            ExpectSymbol(")");
            const int depth = ref.subquery->depth + 1;
            if (depth > kMaxNesting) TooComplex(ref.position);
            if (!selectDepth_.empty()) selectDepth_.back() = std::max(selectDepth_.back(), depth);
        } else {
            ref.name = ExpectName("a table name");
        }
        ref.alias = ParseAlias();
        return ref;
    }

    void ParseInsert(ast::Statement& statement) {
        statement.kind = StatementKind::Insert;
        ExpectWord("INTO");
        statement.tablePosition = Peek().position;
        statement.table = ExpectName("a table name");
        if (AcceptSymbol("(")) {
            do {
                statement.columnPositions.push_back(Peek().position);
                statement.columns.push_back(ExpectName("a column name"));
            } while (AcceptSymbol(","));
            ExpectSymbol(")");
        }
        if (AcceptWord("VALUES")) {
            do {
                ExpectSymbol("(");
                std::vector<ExprPtr> row;
                do {
                    row.push_back(ParseExpr());
                } while (AcceptSymbol(","));
                ExpectSymbol(")");
                statement.rows.push_back(std::move(row));
            } while (AcceptSymbol(","));
        } else if (IsWord("SELECT")) {
            statement.select = ParseSelect();
        } else {
            Unexpected("VALUES or SELECT");
        }
    }

    void ParseUpdate(ast::Statement& statement) {
        statement.kind = StatementKind::Update;
        statement.tablePosition = Peek().position;
        statement.table = ExpectName("a table name");
        statement.alias = ParseAlias();
        ExpectWord("SET");
        do {
            ast::Assignment assignment;
            assignment.position = Peek().position;
            assignment.column = ExpectName("a column name");
            // "alias.column = value" names the updated table's column too.
            if (AcceptSymbol(".")) assignment.column = ExpectName("a column name");
            ExpectSymbol("=");
            assignment.value = ParseExpr();
            statement.assignments.push_back(std::move(assignment));
        } while (AcceptSymbol(","));
        if (AcceptWord("WHERE")) statement.where = ParseExpr();
    }

    void ParseDelete(ast::Statement& statement) {
        statement.kind = StatementKind::Delete;
        ExpectWord("FROM");
        statement.tablePosition = Peek().position;
        statement.table = ExpectName("a table name");
        statement.alias = ParseAlias();
        if (AcceptWord("WHERE")) statement.where = ParseExpr();
    }

    void ParseCreate(ast::Statement& statement) {
        statement.kind = StatementKind::CreateTable;
        statement.tablePosition = Peek().position;
        statement.table = ExpectName("a table name");
        ExpectSymbol("(");
        do {
            ast::ColumnDef def;
            def.position = Peek().position;
            def.name = ExpectName("a column name");
            def.type = ParseTypeName();
            while (true) {
                if (IsWord("NOT") && IsWord("NULL", 1)) {
                    Next();
                    Next();
                    def.notNull = true;
                } else if (AcceptWord("NULL")) {
                    def.notNull = false;
                } else {
                    break;
                }
            }
            statement.columnDefs.push_back(std::move(def));
        } while (AcceptSymbol(","));
        ExpectSymbol(")");
    }

    void ParseProcedure(ast::Statement& statement) {
        size_t position = Peek().position;
        if (Peek().kind != TokenKind::Identifier) Unexpected("a procedure name");
        std::string name = Next().text;
        if (EqualsNoCase(name, "sp_setapplicationid")) {
            statement.kind = StatementKind::SetApplicationId;
        } else if (EqualsNoCase(name, "sp_getapplicationid")) {
            statement.kind = StatementKind::GetApplicationId;
        } else {
            throw SqlError(
                kErrUnknownFunction, position,
                "Unknown procedure \"" + name + "\" at " + DescribePosition(sql_, position) + ".");
        }
        ExpectSymbol("(");
        if (!IsSymbol(")")) {
            do {
                statement.procedureArgs.push_back(ParseExpr());
            } while (AcceptSymbol(","));
        }
        ExpectSymbol(")");
    }

    std::string_view sql_;
    std::vector<std::string> parameterNames_;
    std::vector<Token> tokens_;
    size_t pos_ = 0;
    int nesting_ = 0;
    std::vector<int> selectDepth_;  // running maximum node height of each open subquery
};

}  // namespace

ast::Statement Parse(std::string_view sql) {
    Parser parser(sql);
    return parser.ParseStatement();
}

}  // namespace kce::sql
