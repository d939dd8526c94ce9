#include "kce/sql/Binder.h"

#include <algorithm>

#include "kce/sql/BinderImpl.h"
#include "kce/sql/NativeError.h"
#include "kce/sql/Text1252.h"
#include "kce/sql/Types.h"

namespace kce::sql {

using bound::ExprPtr;
using bound::Type;

namespace binder {
namespace {

const Column& FindTargetColumn(const Binder& b, const Table& table, const std::string& name,
                               size_t position) {
    for (const Column& column : table.columns) {
        if (EqualsNoCase(column.name, name)) return column;
    }
    b.Fail(kErrUnknownColumn, position,
           "Column \"" + name + "\" not found in table \"" + table.name + "\"" + b.At(position));
}

Type TypeOf(const Column& column) {
    return Type{column.type, column.length, column.decimals};
}

// The local time now, as a timestamp is stored.
ExprPtr Now(Binder& b) {
    std::vector<ExprPtr> args;
    args.push_back(b.MakeText("%Y-%m-%d %H:%M:%f"));
    args.push_back(b.MakeText("now"));
    args.push_back(b.MakeText("localtime"));
    return b.MakeCall("strftime", Type{kModTime, 8, 0}, std::move(args));
}

}  // namespace

// Converts one value for a target column, refusing a NULL literal for a NOT NULL column.
static ExprPtr StoreValue(Binder& b, ExprPtr value, const Column& column, size_t position) {
    if (column.notNull && value->kind == bound::Kind::Null) {
        b.Fail(kErrNotNull, position,
               "Column \"" + column.name + "\" cannot be NULL" + b.At(position));
    }
    return b.Convert(std::move(value), TypeOf(column), position, column.name);
}

bound::Statement Binder::BindStatement(const ast::Statement& statement) {
    bound::Statement result;
    result.kind = statement.kind;
    switch (statement.kind) {
        case StatementKind::Select:
            result.select = BindSelect(*statement.select, nullptr);
            break;
        case StatementKind::Insert: {
            const Table& table = RequireTable(statement.table, statement.tablePosition);
            result.table = table.name;
            std::vector<const Column*> targets;
            if (statement.columns.empty()) {
                for (const Column& column : table.columns) targets.push_back(&column);
            }
            for (size_t i = 0; i < statement.columns.size(); ++i) {
                const Column& column = FindTargetColumn(*this, table, statement.columns[i],
                                                        statement.columnPositions[i]);
                for (const Column* existing : targets) {
                    if (existing == &column) {
                        Fail(kErrDuplicateName, statement.columnPositions[i],
                             "Column \"" + column.name + "\" is named twice" +
                                 At(statement.columnPositions[i]));
                    }
                }
                targets.push_back(&column);
            }
            // MODSTAMP columns the statement does not name record the time of the change.
            std::vector<const Column*> stamped;
            for (const Column& column : table.columns) {
                if (column.type == kModTime &&
                    std::find(targets.begin(), targets.end(), &column) == targets.end()) {
                    stamped.push_back(&column);
                }
            }
            for (const Column* column : targets) result.columns.push_back(column->name);
            for (const Column* column : stamped) result.columns.push_back(column->name);
            auto countError = [&](size_t count, size_t position) {
                Fail(kErrColumnCount, position,
                     "INSERT names " + std::to_string(targets.size()) + " columns but gives " +
                         std::to_string(count) + " values" + At(position));
            };
            if (statement.select) {
                result.select = BindSelect(*statement.select, nullptr);
                if (result.select->columns.size() != targets.size()) {
                    countError(result.select->columns.size(), statement.select->position);
                }
                std::vector<ExprPtr> row;
                for (size_t k = 0; k < targets.size(); ++k) {
                    const Column& produced = result.select->columns[k];
                    auto ref = std::make_unique<bound::Expr>();
                    ref->kind = bound::Kind::Column;
                    ref->type = Type{produced.type, produced.length, produced.decimals};
                    ref->source = "s";
                    ref->text = "c" + std::to_string(k);
                    ref->position = statement.select->position;
                    row.push_back(
                        StoreValue(*this, std::move(ref), *targets[k], statement.select->position));
                }
                for (size_t k = 0; k < stamped.size(); ++k) row.push_back(Now(*this));
                result.rows.push_back(std::move(row));
                break;
            }
            Scope scope;
            for (const std::vector<ast::ExprPtr>& values : statement.rows) {
                if (values.size() != targets.size())
                    countError(values.size(), values.front()->position);
                std::vector<ExprPtr> row;
                for (size_t k = 0; k < values.size(); ++k) {
                    ExprPtr value = BindExpr(*values[k], scope);
                    row.push_back(
                        StoreValue(*this, std::move(value), *targets[k], values[k]->position));
                }
                for (size_t k = 0; k < stamped.size(); ++k) row.push_back(Now(*this));
                result.rows.push_back(std::move(row));
            }
            break;
        }
        case StatementKind::Update:
        case StatementKind::Delete: {
            const Table& table = RequireTable(statement.table, statement.tablePosition);
            result.table = table.name;
            Scope scope;
            scope.sources.push_back(
                TableSource(table, statement.alias.empty() ? table.name : statement.alias));
            result.alias = scope.sources.front().alias;
            for (const ast::Assignment& assignment : statement.assignments) {
                const Column& column =
                    FindTargetColumn(*this, table, assignment.column, assignment.position);
                for (const bound::Assignment& existing : result.assignments) {
                    if (EqualsNoCase(existing.column, column.name)) {
                        Fail(kErrDuplicateName, assignment.position,
                             "Column \"" + column.name + "\" is set twice" +
                                 At(assignment.position));
                    }
                }
                ExprPtr value = BindExpr(*assignment.value, scope);
                result.assignments.push_back(bound::Assignment{
                    column.name,
                    StoreValue(*this, std::move(value), column, assignment.value->position)});
            }
            if (statement.kind == StatementKind::Update) {
                for (const Column& column : table.columns) {
                    if (column.type != kModTime) continue;
                    const bool named = std::any_of(
                        result.assignments.begin(), result.assignments.end(),
                        [&](const bound::Assignment& a) { return a.column == column.name; });
                    if (!named)
                        result.assignments.push_back(bound::Assignment{column.name, Now(*this)});
                }
            }
            if (statement.where) result.where = BindCondition(*statement.where, scope);
            break;
        }
        case StatementKind::CreateTable: {
            if (catalogue_.FindTable(statement.table)) {
                Fail(kErrTableExists, statement.tablePosition,
                     "Table \"" + statement.table + "\" already exists" +
                         At(statement.tablePosition));
            }
            result.table = statement.table;
            result.created.name = statement.table;
            for (const ast::ColumnDef& def : statement.columnDefs) {
                for (const Column& existing : result.created.columns) {
                    if (EqualsNoCase(existing.name, def.name)) {
                        Fail(kErrDuplicateName, def.position,
                             "Column \"" + def.name + "\" is named twice" + At(def.position));
                    }
                }
                TypeNameResult read =
                    ReadTypeName(def.type.name, def.type.length, def.type.decimals, false);
                if (!read.error.empty())
                    Fail(kErrInvalidType, def.type.position, read.error + At(def.type.position));
                Column column;
                column.name = def.name;
                column.type = read.type.type;
                column.length = read.type.length;
                column.decimals = read.type.decimals;
                column.notNull = def.notNull;
                result.created.columns.push_back(std::move(column));
            }
            break;
        }
        case StatementKind::DropTable:
            result.table = RequireTable(statement.table, statement.tablePosition).name;
            break;
        case StatementKind::SetApplicationId: {
            if (statement.procedureArgs.size() != 1) {
                Fail(kErrArgumentCount, statement.position,
                     "sp_setapplicationid takes one argument" + At(statement.position));
            }
            Scope scope;
            ExprPtr value = BindExpr(*statement.procedureArgs.front(), scope);
            result.procedureArgs.push_back(Convert(std::move(value), Type{kVarChar, 300, 0},
                                                   statement.procedureArgs.front()->position, ""));
            break;
        }
        case StatementKind::GetApplicationId: {
            if (!statement.procedureArgs.empty()) {
                Fail(kErrArgumentCount, statement.position,
                     "sp_getapplicationid takes no arguments" + At(statement.position));
            }
            result.select = std::make_unique<bound::Select>();
            Column column;
            column.name = "ApplicationID";
            column.type = kVarChar;
            column.length = 300;
            result.select->columns.push_back(column);
            break;
        }
    }
    result.parameters = statement.parameters;
    return result;
}

}  // namespace binder

bound::Statement Bind(const ast::Statement& statement, std::string_view sql,
                      const Catalogue& catalogue, const Settings& settings) {
    binder::Binder binder(sql, catalogue, settings);
    return binder.BindStatement(statement);
}

}  // namespace kce::sql
