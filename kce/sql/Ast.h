#pragma once
// The syntax tree made by the parser: names as written, nothing resolved or typed. The binder turns
// it into the resolved tree of Bound.h; nothing else reads it.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kce/sql/Compiler.h"

namespace kce::sql::ast {

struct Select;

enum class ExprKind {
    Null,
    Boolean,    // TRUE / FALSE: `text` is "TRUE" or "FALSE"
    Number,     // `text` as written
    String,     // `text` is the value (Windows-1252)
    Parameter,  // `text` is the name, empty for "?"; `parameterIndex` its position
    Column,     // `qualifier`.`text`; qualifier empty when not given
    Unary,      // `text` is "-", "+" or "NOT"; args[0]
    Binary,     // `text` is the operator in upper case (+ - * / % || = <> < <= > >= AND OR)
    Between,    // args: value, low, high
    InList,     // args: value, then the list
    InSelect,   // args[0] value; `select`
    Exists,     // `select`
    Subquery,   // scalar subquery: `select`
    IsNull,     // args[0]
    Like,       // args: value, pattern [, escape]
    Case,       // args: [operand] then when/then pairs, then [else]
    Function,   // `text` is the name in upper case; args; `distinct`, `star` for COUNT(*);
                // `qualifier` is EXTRACT's field, or TRIM's end (LEADING, TRAILING, BOTH) in
                // TRIM(... FROM x), whose args are then x and the character when given
    Cast,       // args[0]; `castType`
};

struct TypeName {
    std::string name;  // upper case
    size_t position = 0;
    int64_t length = -1;    // -1 when not given
    int64_t decimals = -1;  // -1 when not given
};

struct Expr {
    ExprKind kind = ExprKind::Null;
    size_t position = 0;
    int depth = 1;  // height of this subtree, subqueries included; bounded by the parser
    std::string text;
    std::string qualifier;
    bool negated = false;  // NOT BETWEEN, NOT IN, NOT EXISTS, IS NOT NULL, NOT LIKE
    bool distinct = false;
    bool star = false;
    bool hasCaseOperand = false;
    bool hasElse = false;
    int64_t parameterIndex = -1;  // Parameter: 0-based, in Statement::parameters
    std::vector<std::unique_ptr<Expr>> args;
    std::unique_ptr<Select> select;
    TypeName castType;
};
using ExprPtr = std::unique_ptr<Expr>;

struct SelectItem {
    size_t position = 0;
    ExprPtr expr;  // null for * and alias.*
    std::string alias;
    size_t aliasPosition = 0;
    bool star = false;
    std::string starQualifier;  // alias.* ; empty for *
};

enum class JoinKind { Comma, Inner, Left, Right, Full, Cross };

struct TableRef {
    size_t position = 0;
    std::string name;  // table name; empty for a subquery
    std::unique_ptr<Select> subquery;
    std::string alias;
    JoinKind join = JoinKind::Comma;  // how it joins the refs before it (first: Comma)
    ExprPtr on;
};

struct SelectCore {
    size_t position = 0;
    bool distinct = false;
    int64_t top = -1;
    std::vector<SelectItem> items;
    std::vector<TableRef> from;
    ExprPtr where;
    std::vector<ExprPtr> groupBy;
    ExprPtr having;
};

struct OrderItem {
    ExprPtr expr;
    bool descending = false;
};

struct Select {
    size_t position = 0;
    int depth = 1;
    std::vector<SelectCore> cores;  // joined by UNION
    std::vector<bool> unionAll;     // one per core after the first
    std::vector<OrderItem> orderBy;
};

struct ColumnDef {
    size_t position = 0;
    std::string name;
    TypeName type;
    bool notNull = false;
};

struct Assignment {
    size_t position = 0;
    std::string column;
    ExprPtr value;
};

struct Statement {
    StatementKind kind = StatementKind::Select;
    size_t position = 0;
    std::unique_ptr<Select> select;  // Select; Insert ... SELECT
    std::string table;               // Insert, Update, Delete, CreateTable, DropTable
    size_t tablePosition = 0;
    std::string alias;                 // Update, Delete
    std::vector<std::string> columns;  // Insert column list
    std::vector<size_t> columnPositions;
    std::vector<std::vector<ExprPtr>> rows;  // Insert ... VALUES
    std::vector<Assignment> assignments;     // Update
    ExprPtr where;                           // Update, Delete
    std::vector<ColumnDef> columnDefs;       // CreateTable
    std::vector<ExprPtr> procedureArgs;      // SetApplicationId
    // Every parameter of the text, in order of first appearance (a name used again once).
    std::vector<Parameter> parameters;
};

}  // namespace kce::sql::ast
