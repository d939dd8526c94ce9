#include "kce/sql/BinderImpl.h"

#include "kce/sql/NativeError.h"
#include "kce/sql/Text1252.h"
#include "kce/sql/Types.h"

namespace kce::sql::binder {

using bound::ExprPtr;
using bound::Kind;
using bound::Type;

namespace {

bound::JoinKind MapJoin(ast::JoinKind join) {
    switch (join) {
        case ast::JoinKind::Comma: return bound::JoinKind::Comma;
        case ast::JoinKind::Inner: return bound::JoinKind::Inner;
        case ast::JoinKind::Left: return bound::JoinKind::Left;
        case ast::JoinKind::Right: return bound::JoinKind::Right;
        case ast::JoinKind::Full: return bound::JoinKind::Full;
        case ast::JoinKind::Cross: return bound::JoinKind::Cross;
    }
    return bound::JoinKind::Comma;
}

ExprPtr ColumnRef(const ScopeSource& source, const ScopeColumn& column) {
    auto node = std::make_unique<bound::Expr>();
    node->kind = Kind::Column;
    node->type = column.type;
    node->source = source.alias;
    node->text = column.sqlName;
    node->fixedWidth = column.fixedWidth;
    node->stored = source.stored;
    return node;
}

Column ResultColumn(const std::string& name, const Type& type) {
    Column column;
    column.name = name;
    column.type = type.type;
    column.length = type.length;
    column.decimals = type.decimals;
    return column;
}

}  // namespace

ScopeSource Binder::TableSource(const Table& table, const std::string& name) {
    ScopeSource source;
    source.name = name;
    source.alias = NewAlias();
    source.stored = true;
    for (const Column& column : table.columns) {
        source.columns.push_back(ScopeColumn{column.name, column.name,
                                             Type{column.type, column.length, column.decimals},
                                             IsFixedText(column.type)});
    }
    return source;
}

const Table& Binder::RequireTable(const std::string& name, size_t position) const {
    const Table* table = catalogue_.FindTable(name);
    if (!table) Fail(kErrUnknownTable, position, "Table \"" + name + "\" not found" + At(position));
    return *table;
}

std::unique_ptr<bound::Select> Binder::BindSelect(const ast::Select& select, Scope* outer) {
    const bool savedInsideAggregate = insideAggregate_;
    insideAggregate_ = false;
    auto result = std::make_unique<bound::Select>();
    std::unique_ptr<Scope> firstScope;
    std::vector<std::string> names;
    std::vector<Type> types;

    for (size_t coreIndex = 0; coreIndex < select.cores.size(); ++coreIndex) {
        const ast::SelectCore& core = select.cores[coreIndex];
        auto scope = std::make_unique<Scope>();
        scope->outer = outer;
        bound::Core bc;
        bc.distinct = core.distinct;
        bc.top = core.top;

        for (const ast::TableRef& ref : core.from) {
            bound::Source source;
            source.join = MapJoin(ref.join);
            ScopeSource scopeSource;
            if (ref.subquery) {
                // A derived table sees neither its siblings nor the enclosing query.
                source.subquery = BindSelect(*ref.subquery, nullptr);
                scopeSource.name = ref.alias;
                scopeSource.alias = NewAlias();
                for (size_t k = 0; k < source.subquery->columns.size(); ++k) {
                    const Column& column = source.subquery->columns[k];
                    const Type type{column.type, column.length, column.decimals};
                    scopeSource.columns.push_back(
                        ScopeColumn{column.name, "c" + std::to_string(k), type, IsFixedText(column.type)});
                }
            } else {
                const Table& table = RequireTable(ref.name, ref.position);
                scopeSource = TableSource(table, ref.alias.empty() ? ref.name : ref.alias);
                source.table = table.name;
            }
            for (const ScopeSource& existing : scope->sources) {
                if (!scopeSource.name.empty() && EqualsNoCase(existing.name, scopeSource.name)) {
                    Fail(kErrDuplicateName, ref.position,
                         "Table or alias \"" + scopeSource.name + "\" is named twice" + At(ref.position));
                }
            }
            source.alias = scopeSource.alias;
            scope->sources.push_back(std::move(scopeSource));
            if (ref.on) {
                scope->aggregatesAllowed = false;
                source.on = BindCondition(*ref.on, *scope);
            }
            bc.from.push_back(std::move(source));
        }

        scope->aggregatesAllowed = false;
        if (core.where) bc.where = BindCondition(*core.where, *scope);
        for (const ast::ExprPtr& group : core.groupBy) bc.groupBy.push_back(BindExpr(*group, *scope));

        scope->aggregatesAllowed = true;
        std::vector<std::string> coreNames;
        for (const ast::SelectItem& item : core.items) {
            if (item.star) {
                bool found = false;
                for (const ScopeSource& source : scope->sources) {
                    if (!item.starQualifier.empty() && !EqualsNoCase(source.name, item.starQualifier)) continue;
                    found = true;
                    for (const ScopeColumn& column : source.columns) {
                        bc.items.push_back(bound::Item{ColumnRef(source, column)});
                        coreNames.push_back(column.name);
                    }
                }
                if (!found) {
                    if (!item.starQualifier.empty()) {
                        Fail(kErrUnknownTable, item.position,
                             "Table or alias \"" + item.starQualifier + "\" not found" + At(item.position));
                    }
                    Fail(kErrSyntax, item.position, "SELECT * needs a FROM clause" + At(item.position));
                }
                continue;
            }
            ExprPtr value = BindExpr(*item.expr, *scope);
            std::string name = item.alias;
            if (name.empty()) name = item.expr->kind == ast::ExprKind::Column ? item.expr->text : "EXPR";
            coreNames.push_back(std::move(name));
            bc.items.push_back(bound::Item{std::move(value)});
        }
        if (core.having) {
            bc.having = BindCondition(*core.having, *scope);
            // Without GROUP BY, only an aggregate in the select list makes the rows one group for
            // HAVING to test; SQLite refuses the statement otherwise.
            bool grouped = !bc.groupBy.empty();
            for (const bound::Item& item : bc.items) grouped = grouped || item.expr->aggregate;
            if (!grouped) {
                Fail(kErrAggregate, core.having->position,
                     "HAVING needs GROUP BY or an aggregate in the select list" + At(core.having->position));
            }
        }

        if (coreIndex == 0) {
            names = std::move(coreNames);
            for (const bound::Item& item : bc.items) types.push_back(item.expr->type);
            firstScope = std::move(scope);
        } else {
            if (bc.items.size() != types.size()) {
                Fail(kErrColumnCount, core.position,
                     "UNION of selects with " + std::to_string(types.size()) + " and " +
                         std::to_string(bc.items.size()) + " columns" + At(core.position));
            }
            for (size_t k = 0; k < types.size(); ++k) {
                std::optional<Type> common = CommonType(types[k], bc.items[k].expr->type);
                if (!common) {
                    Fail(kErrTypeMismatch, core.position,
                         "Type mismatch: UNION column " + std::to_string(k + 1) + " is " +
                             TypeName(types[k].type) + " and " + TypeName(bc.items[k].expr->type.type) +
                             At(core.position));
                }
                types[k] = *common;
            }
        }
        result->cores.push_back(std::move(bc));
    }
    result->unionAll = select.unionAll;

    // Every core yields the stored representation of the common column types.
    for (bound::Core& core : result->cores) {
        for (size_t k = 0; k < core.items.size(); ++k) {
            ExprPtr& value = core.items[k].expr;
            const uint16_t from = value->type.type;
            // Read before the value is moved into Convert: the order in which arguments are
            // evaluated is up to the compiler.
            const size_t position = value->position;
            if (NeedsConversion(from, types[k].type)) {
                value = Convert(std::move(value), types[k], position, "");
            } else if (result->cores.size() > 1 && from == kUnknownType &&
                       types[k].type != kUnknownType) {
                value = Convert(std::move(value), types[k], position, "");
            }
            value = ForOutput(std::move(value));
            if (k < types.size() && types[k].type == kUnknownType) types[k] = value->type;
        }
    }
    for (size_t k = 0; k < names.size(); ++k) result->columns.push_back(ResultColumn(names[k], types[k]));

    for (const ast::OrderItem& item : select.orderBy) {
        bound::OrderItem order;
        order.descending = item.descending;
        const ast::Expr& expr = *item.expr;
        Type type{kUnknownType, 0, 0};
        if (expr.kind == ast::ExprKind::Number) {
            int64_t position = 0;
            try {
                position = std::stoll(expr.text);
            } catch (const std::exception&) {
                position = 0;
            }
            if (expr.text.find_first_not_of("0123456789") != std::string::npos || position < 1 ||
                position > static_cast<int64_t>(names.size())) {
                Fail(kErrColumnCount, expr.position,
                     "ORDER BY position " + expr.text + " is not a result column" + At(expr.position));
            }
            order.position = position;
        } else if (expr.kind == ast::ExprKind::Column && expr.qualifier.empty()) {
            for (size_t k = 0; k < names.size() && order.position == 0; ++k) {
                if (EqualsNoCase(names[k], expr.text)) order.position = static_cast<int64_t>(k + 1);
            }
        }
        if (order.position > 0) {
            type = types[order.position - 1];
        } else {
            if (result->cores.size() > 1) {
                Fail(kErrUnknownColumn, expr.position,
                     "ORDER BY of a UNION must name a result column" + At(expr.position));
            }
            order.expr = BindExpr(expr, *firstScope);
            type = order.expr->type;
        }
        if (type.type == kCharCI) order.collation = "KCE_CI";
        result->orderBy.push_back(std::move(order));
    }
    insideAggregate_ = savedInsideAggregate;
    return result;
}

}  // namespace kce::sql::binder
