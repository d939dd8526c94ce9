#pragma once
// The resolved tree made by the binder: every name bound to a source of the FROM clause (given an
// SQL alias of our own, t0, t1, ...), every node typed statically, every conversion the stored
// representation needs made explicit. The generator reads only this tree.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kce/sql/Compiler.h"

namespace kce::sql::bound {

// Static type of a value: engine type code, length, decimals (as Column has them).
struct Type {
    uint16_t type = kChar;
    uint32_t length = 0;
    uint16_t decimals = 0;
};

struct Select;

enum class Kind {
    Null,
    Integer,    // `text` decimal digits (with sign)
    Real,       // `text` as SQLite reads it
    Text,       // `text` the value (Windows-1252)
    Parameter,  // `index` 0-based into the statement's parameters
    Column,     // `source`.`text`: SQL alias of the source and column name (Windows-1252)
    Unary,      // `text` "-" or "NOT"; args[0]
    Binary,     // `text` SQLite operator; `collation` for text comparisons (empty: none)
    Between,    // args value, low, high; `collation`
    InList,     // args value, list...; `collation`
    InSelect,   // args[0] value; `select`; `collation`
    Exists,     // `select`
    Subquery,   // scalar subquery; `select`
    IsNull,     // args[0]
    Like,       // kce_like(args[0], args[1], escape or NULL, `index` 1 when case-insensitive)
    Case,       // args: [operand], when/then pairs, [else]
    Call,       // SQLite function `text`(args); `distinct`; `star` for count(*)
    Pad,        // args[0] padded with blanks to `index` characters (fixed text in concatenation)
};

struct Expr {
    Kind kind = Kind::Null;
    Type type;
    size_t position = 0;  // in the statement, for messages
    std::string text;
    std::string source;
    std::string collation;
    int64_t index = 0;
    bool negated = false;
    bool distinct = false;
    bool star = false;
    bool hasCaseOperand = false;
    bool hasElse = false;
    bool aggregate = false;  // this node or one below it (outside subqueries) aggregates
    // Column: of a stored table, so every value is one its type allows (not a derived table's or
    // an INSERT ... SELECT's computed column).
    bool stored = false;
    // The engine value of fixed text always has type.length characters, but the SQL value may
    // lack the trailing blanks (stored columns do); consumers that see blanks add them (Pad).
    bool fixedWidth = false;
    std::vector<std::unique_ptr<Expr>> args;
    std::unique_ptr<Select> select;
};
using ExprPtr = std::unique_ptr<Expr>;

enum class JoinKind { Comma, Inner, Left, Right, Full, Cross };

struct Source {
    std::string alias;                 // our SQL alias (t0, t1, ...)
    std::string table;                 // stored table name; empty for a subquery
    std::unique_ptr<Select> subquery;  // its columns are named c0, c1, ...
    JoinKind join = JoinKind::Comma;
    ExprPtr on;
};

struct Item {
    ExprPtr expr;  // yields the stored representation of `column`'s type
};

struct Core {
    bool distinct = false;
    int64_t top = -1;
    std::vector<Item> items;
    std::vector<Source> from;
    ExprPtr where;
    std::vector<ExprPtr> groupBy;
    ExprPtr having;
};

struct OrderItem {
    int64_t position = 0;  // 1-based result column, or 0 when `expr` is given
    ExprPtr expr;
    std::string collation;
    bool descending = false;
};

struct Select {
    std::vector<Core> cores;
    std::vector<bool> unionAll;
    std::vector<OrderItem> orderBy;
    std::vector<Column> columns;  // result columns: output names and static types; the SQL
                                  // names them c0, c1, ...
};

struct Assignment {
    std::string column;
    ExprPtr value;  // converted to the column's stored representation
};

struct Statement {
    StatementKind kind = StatementKind::Select;
    std::unique_ptr<Select> select;    // Select, Insert ... SELECT (items converted to the targets)
    std::string table;                 // target table (stored name)
    std::string alias;                 // Update, Delete: the target's SQL alias
    std::vector<std::string> columns;  // Insert: target columns in value order
    std::vector<std::vector<ExprPtr>> rows;  // Insert ... VALUES, converted
    std::vector<Assignment> assignments;     // Update
    ExprPtr where;
    Table created;                       // CreateTable
    std::vector<ExprPtr> procedureArgs;  // SetApplicationId
    std::vector<Parameter> parameters;
};

}  // namespace kce::sql::bound
