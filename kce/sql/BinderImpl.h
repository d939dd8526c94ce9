#pragma once
// The binder's working state, shared by its source files (one per concern: expressions, function
// calls, SELECT, the other statements). Private to the front end.

#include <string>
#include <string_view>
#include <vector>

#include "kce/sql/Ast.h"
#include "kce/sql/Bound.h"

namespace kce::sql::binder {

struct ScopeColumn {
    std::string name;     // as the statement refers to it
    std::string sqlName;  // as the generated SQL refers to it
    bound::Type type;
    bool fixedWidth = false;
};

struct ScopeSource {
    std::string name;   // alias, or table name when none
    std::string alias;  // our SQL alias
    std::vector<ScopeColumn> columns;
    bool stored = false;  // a table of the catalogue, not a derived table
};

// A select-list item that GROUP BY and HAVING may name by its alias.
struct ScopeAlias {
    std::string name;
    const bound::Expr* value = nullptr;
};

struct Scope {
    Scope* outer = nullptr;
    std::vector<ScopeSource> sources;
    bool aggregatesAllowed = false;
    // Set while GROUP BY and HAVING are bound: a name that is no column of `sources` stands for
    // the item of that alias.
    const std::vector<ScopeAlias>* aliases = nullptr;
};

// Deep copies of resolved trees, for a value that the SQL names twice (an alias used in GROUP BY
// or HAVING, NULLIF's first operand). Parameters keep their index, so both copies read one value.
bound::ExprPtr CloneExpr(const bound::Expr& expr);
std::unique_ptr<bound::Select> CloneSelect(const bound::Select& select);

class Binder {
public:
    Binder(std::string_view sql, const Catalogue& catalogue, const Settings& settings)
        : sql_(sql), catalogue_(catalogue), settings_(settings) {}

    bound::Statement BindStatement(const ast::Statement& statement);

    // Expressions (BindExpr.cpp).
    bound::ExprPtr BindExpr(const ast::Expr& expr, Scope& scope);
    bound::ExprPtr BindCondition(const ast::Expr& expr, Scope& scope);
    // Makes two operands of a comparison comparable (dates from text, parameters typed) and
    // returns the collation the comparison needs.
    std::string Unify(bound::ExprPtr& a, bound::ExprPtr& b, size_t position, std::string_view what);
    std::string UnifyFamilies(bound::ExprPtr& a, bound::ExprPtr& b, size_t position,
                              std::string_view what);
    // The amount a MONEY or CURRENCY count stands for, as a DOUBLE; other values as they are.
    bound::ExprPtr AsAmount(bound::ExprPtr value);
    // After `value` was compared with `other`: a money count compared with a plain number is
    // read as its amount.
    void MatchMoney(const bound::ExprPtr& value, bound::ExprPtr& other);
    // Converts a value to the stored representation of `target` (INSERT, UPDATE, CAST).
    bound::ExprPtr Convert(bound::ExprPtr value, const bound::Type& target, size_t position,
                           const std::string& columnName);
    // The value of a result column: fixed text without trailing blanks, unknown types as text.
    bound::ExprPtr ForOutput(bound::ExprPtr value);
    // Fixed text with its trailing blanks, where a consumer sees them.
    bound::ExprPtr Padded(bound::ExprPtr value);
    // text + text: fixed text operands keep their blanks.
    bound::ExprPtr ConcatValues(bound::ExprPtr left, bound::ExprPtr right, size_t position);
    // a `op` b for a comparison operator (= <> < <= > >=): operands made comparable by Unify.
    bound::ExprPtr Compare(const std::string& op, bound::ExprPtr a, bound::ExprPtr b,
                           size_t position);
    // A scalar subquery: its only column, and an error while the statement runs when it yields
    // more than one row.
    bound::ExprPtr ScalarSubquery(std::unique_ptr<bound::Select> select, size_t position);
    bound::ExprPtr MakeCall(std::string name, bound::Type type, std::vector<bound::ExprPtr> args);
    bound::ExprPtr MakeText(std::string value);
    bound::ExprPtr MakeInteger(int64_t value);

    // Function calls (BindFunctions.cpp).
    bound::ExprPtr BindFunction(const ast::Expr& expr, Scope& scope);
    bound::ExprPtr BindAggregate(const ast::Expr& expr, Scope& scope);
    bound::ExprPtr BindCast(const ast::Expr& expr, Scope& scope);

    // SELECT (BindSelect.cpp); `outer` is the enclosing query's scope for correlated names.
    std::unique_ptr<bound::Select> BindSelect(const ast::Select& select, Scope* outer);
    // Fails when a grouped core shows a column that is neither grouped nor aggregated.
    void CheckGrouping(const bound::Select& select, size_t coreIndex,
                       const std::vector<ScopeSource>& sources);
    // Columns of a table of the catalogue as a source named `name`.
    ScopeSource TableSource(const Table& table, const std::string& name);

    // Shared helpers.
    [[noreturn]] void Fail(int nativeError, size_t position, const std::string& message) const;
    std::string At(size_t position) const;  // " at line L, column C."
    const Table& RequireTable(const std::string& name, size_t position) const;
    std::string NewAlias() { return "t" + std::to_string(aliasCounter_++); }

    std::string_view sql_;
    const Catalogue& catalogue_;
    const Settings& settings_;
    int aliasCounter_ = 0;
    bool insideAggregate_ = false;
};

}  // namespace kce::sql::binder
