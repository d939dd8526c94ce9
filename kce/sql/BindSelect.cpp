#include "kce/sql/BinderImpl.h"

#include <algorithm>

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
        case ast::JoinKind::Comma:
            return bound::JoinKind::Comma;
        case ast::JoinKind::Inner:
            return bound::JoinKind::Inner;
        case ast::JoinKind::Left:
            return bound::JoinKind::Left;
        case ast::JoinKind::Right:
            return bound::JoinKind::Right;
        case ast::JoinKind::Full:
            return bound::JoinKind::Full;
        case ast::JoinKind::Cross:
            return bound::JoinKind::Cross;
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

bool IsAggregateCall(const bound::Expr& e) {
    return e.kind == Kind::Call && e.aggregate &&
           (e.text == "count" || e.text == "sum" || e.text == "avg" || e.text == "min" ||
            e.text == "max");
}

// Whether `e` aggregates over the rows of its own query (a subquery aggregates on its own).
bool Aggregates(const bound::Expr& e) {
    if (IsAggregateCall(e)) return true;
    return std::any_of(e.args.begin(), e.args.end(),
                       [](const ExprPtr& arg) { return Aggregates(*arg); });
}

// Whether two resolved expressions compute the same value the same way.
bool Same(const bound::Expr& a, const bound::Expr& b) {
    if (a.kind != b.kind || a.text != b.text || a.source != b.source ||
        a.collation != b.collation || a.index != b.index || a.negated != b.negated ||
        a.distinct != b.distinct || a.star != b.star || a.hasCaseOperand != b.hasCaseOperand ||
        a.hasElse != b.hasElse || a.args.size() != b.args.size() || a.select || b.select) {
        return false;
    }
    for (size_t i = 0; i < a.args.size(); ++i) {
        if (!Same(*a.args[i], *b.args[i])) return false;
    }
    return true;
}

// Finds a column of the query's own sources (`aliases`, our SQL aliases) that stands in `e`
// neither grouped (`e` or a part of it is a GROUP BY expression) nor inside an aggregate. Columns
// of enclosing queries are constant for the query; subqueries are searched too, since a column
// they take from this query is one value per group only when it is grouped.
class GroupingCheck {
public:
    GroupingCheck(const std::vector<ExprPtr>& groupBy, std::vector<std::string> aliases)
        : groupBy_(groupBy), aliases_(std::move(aliases)) {}

    const bound::Expr* Ungrouped(const bound::Expr& e) const {
        for (const ExprPtr& group : groupBy_) {
            if (Same(e, *group)) return nullptr;
        }
        if (IsAggregateCall(e)) return nullptr;
        if (e.kind == Kind::Column) {
            return std::find(aliases_.begin(), aliases_.end(), e.source) != aliases_.end()
                       ? &e
                       : nullptr;
        }
        for (const ExprPtr& arg : e.args) {
            if (const bound::Expr* found = Ungrouped(*arg)) return found;
        }
        return e.select ? InSelect(*e.select) : nullptr;
    }

private:
    const bound::Expr* InSelect(const bound::Select& select) const {
        const bound::Expr* found = nullptr;
        auto look = [&](const ExprPtr& e) {
            if (!found && e) found = Ungrouped(*e);
        };
        for (const bound::Core& core : select.cores) {
            for (const bound::Item& item : core.items) look(item.expr);
            for (const bound::Source& source : core.from) {
                look(source.on);
                if (!found && source.subquery) found = InSelect(*source.subquery);
            }
            look(core.where);
            for (const ExprPtr& group : core.groupBy) look(group);
            look(core.having);
        }
        for (const bound::OrderItem& order : select.orderBy) look(order.expr);
        return found;
    }

    const std::vector<ExprPtr>& groupBy_;
    std::vector<std::string> aliases_;
};

}  // namespace

ExprPtr CloneExpr(const bound::Expr& expr) {
    auto copy = std::make_unique<bound::Expr>();
    copy->kind = expr.kind;
    copy->type = expr.type;
    copy->position = expr.position;
    copy->text = expr.text;
    copy->source = expr.source;
    copy->collation = expr.collation;
    copy->index = expr.index;
    copy->negated = expr.negated;
    copy->distinct = expr.distinct;
    copy->star = expr.star;
    copy->hasCaseOperand = expr.hasCaseOperand;
    copy->hasElse = expr.hasElse;
    copy->aggregate = expr.aggregate;
    copy->fixedWidth = expr.fixedWidth;
    for (const ExprPtr& arg : expr.args) copy->args.push_back(CloneExpr(*arg));
    if (expr.select) copy->select = CloneSelect(*expr.select);
    return copy;
}

std::unique_ptr<bound::Select> CloneSelect(const bound::Select& select) {
    auto clone = [](const ExprPtr& e) { return e ? CloneExpr(*e) : ExprPtr(); };
    auto copy = std::make_unique<bound::Select>();
    for (const bound::Core& core : select.cores) {
        bound::Core c;
        c.distinct = core.distinct;
        c.top = core.top;
        for (const bound::Item& item : core.items) c.items.push_back(bound::Item{clone(item.expr)});
        for (const bound::Source& source : core.from) {
            bound::Source s;
            s.alias = source.alias;
            s.table = source.table;
            if (source.subquery) s.subquery = CloneSelect(*source.subquery);
            s.join = source.join;
            s.on = clone(source.on);
            c.from.push_back(std::move(s));
        }
        c.where = clone(core.where);
        for (const ExprPtr& group : core.groupBy) c.groupBy.push_back(clone(group));
        c.having = clone(core.having);
        copy->cores.push_back(std::move(c));
    }
    copy->unionAll = select.unionAll;
    for (const bound::OrderItem& order : select.orderBy) {
        copy->orderBy.push_back(
            bound::OrderItem{order.position, clone(order.expr), order.collation, order.descending});
    }
    copy->columns = select.columns;
    return copy;
}

// A query that groups (GROUP BY, or an aggregate anywhere in its select list, HAVING or ORDER BY)
// yields one row per group: every column of its own tables in those places must be grouped or
// aggregated, or the row would show one value of the group picked at random.
void Binder::CheckGrouping(const bound::Select& select, size_t coreIndex,
                           const std::vector<ScopeSource>& sources) {
    const bound::Core& core = select.cores[coreIndex];
    const bool ordered = coreIndex == 0 && select.cores.size() == 1;
    bool grouped = !core.groupBy.empty() || (core.having && Aggregates(*core.having));
    for (const bound::Item& item : core.items) grouped = grouped || Aggregates(*item.expr);
    if (ordered) {
        for (const bound::OrderItem& order : select.orderBy)
            grouped = grouped || (order.expr && Aggregates(*order.expr));
    }
    if (!grouped) return;
    std::vector<std::string> aliases;
    for (const ScopeSource& source : sources) aliases.push_back(source.alias);
    const GroupingCheck check(core.groupBy, std::move(aliases));
    const bound::Expr* found = nullptr;
    for (const bound::Item& item : core.items) {
        if (!found) found = check.Ungrouped(*item.expr);
    }
    if (!found && core.having) found = check.Ungrouped(*core.having);
    if (ordered) {
        for (const bound::OrderItem& order : select.orderBy) {
            if (!found && order.expr) found = check.Ungrouped(*order.expr);
        }
    }
    if (!found) return;
    std::string name = found->text;
    for (const ScopeSource& source : sources) {
        if (source.alias != found->source) continue;
        for (const ScopeColumn& column : source.columns) {
            if (column.sqlName == found->text) name = column.name;
        }
    }
    Fail(kErrAggregate, found->position,
         "Column \"" + name + "\" is neither grouped nor inside an aggregate function" +
             At(found->position));
}

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
    std::vector<std::unique_ptr<Scope>> scopes;  // one per core, for the grouping check
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
                    scopeSource.columns.push_back(ScopeColumn{column.name, "c" + std::to_string(k),
                                                              type, IsFixedText(column.type)});
                }
            } else {
                const Table& table = RequireTable(ref.name, ref.position);
                scopeSource = TableSource(table, ref.alias.empty() ? ref.name : ref.alias);
                source.table = table.name;
            }
            for (const ScopeSource& existing : scope->sources) {
                if (!scopeSource.name.empty() && EqualsNoCase(existing.name, scopeSource.name)) {
                    Fail(kErrDuplicateName, ref.position,
                         "Table or alias \"" + scopeSource.name + "\" is named twice" +
                             At(ref.position));
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

        // The select list before GROUP BY and HAVING, which may name its aliases.
        scope->aggregatesAllowed = true;
        std::vector<std::string> coreNames;
        std::vector<std::pair<std::string, size_t>> aliasItems;  // alias, index into bc.items
        std::vector<ScopeAlias> aliases;
        for (const ast::SelectItem& item : core.items) {
            if (item.star) {
                bool found = false;
                for (const ScopeSource& source : scope->sources) {
                    if (!item.starQualifier.empty() &&
                        !EqualsNoCase(source.name, item.starQualifier))
                        continue;
                    found = true;
                    for (const ScopeColumn& column : source.columns) {
                        bc.items.push_back(bound::Item{ColumnRef(source, column)});
                        bc.items.back().expr->position = item.position;
                        coreNames.push_back(column.name);
                    }
                }
                if (!found) {
                    if (!item.starQualifier.empty()) {
                        Fail(kErrUnknownTable, item.position,
                             "Table or alias \"" + item.starQualifier + "\" not found" +
                                 At(item.position));
                    }
                    Fail(kErrSyntax, item.position,
                         "SELECT * needs a FROM clause" + At(item.position));
                }
                continue;
            }
            ExprPtr value = BindExpr(*item.expr, *scope);
            if (!item.alias.empty()) aliasItems.emplace_back(item.alias, bc.items.size());
            std::string name = item.alias;
            if (name.empty())
                name = item.expr->kind == ast::ExprKind::Column ? item.expr->text : "EXPR";
            coreNames.push_back(std::move(name));
            bc.items.push_back(bound::Item{std::move(value)});
        }
        for (size_t k = 0; k < aliasItems.size(); ++k) {
            aliases.push_back(
                ScopeAlias{aliasItems[k].first, bc.items[aliasItems[k].second].expr.get()});
        }
        scope->aliases = &aliases;

        scope->aggregatesAllowed = false;
        for (const ast::ExprPtr& group : core.groupBy) {
            ExprPtr value;
            if (group->kind == ast::ExprKind::Number &&
                group->text.find_first_not_of("0123456789") == std::string::npos) {
                // GROUP BY 2 groups by the second item of the select list, as ORDER BY 2 sorts.
                const size_t k = group->text.size() > 9 ? 0 : std::stoul(group->text);
                if (k < 1 || k > bc.items.size()) {
                    Fail(kErrColumnCount, group->position,
                         "GROUP BY position " + group->text + " is not a result column" +
                             At(group->position));
                }
                value = CloneExpr(*bc.items[k - 1].expr);
            } else {
                value = BindExpr(*group, *scope);
            }
            if (value->aggregate) {
                Fail(kErrAggregate, group->position,
                     "GROUP BY cannot use an aggregate" + At(group->position));
            }
            bc.groupBy.push_back(std::move(value));
        }
        scope->aggregatesAllowed = true;
        if (core.having) {
            bc.having = BindCondition(*core.having, *scope);
            // Without GROUP BY, only an aggregate in the select list makes the rows one group for
            // HAVING to test; SQLite refuses the statement otherwise.
            bool grouped = !bc.groupBy.empty();
            for (const bound::Item& item : bc.items) grouped = grouped || item.expr->aggregate;
            if (!grouped) {
                Fail(kErrAggregate, core.having->position,
                     "HAVING needs GROUP BY or an aggregate in the select list" +
                         At(core.having->position));
            }
        }
        scope->aliases = nullptr;

        if (coreIndex == 0) {
            names = std::move(coreNames);
            for (const bound::Item& item : bc.items) types.push_back(item.expr->type);
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
                             TypeName(types[k].type) + " and " +
                             TypeName(bc.items[k].expr->type.type) + At(core.position));
                }
                types[k] = *common;
            }
        }
        result->cores.push_back(std::move(bc));
        scopes.push_back(std::move(scope));
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
    for (size_t k = 0; k < names.size(); ++k)
        result->columns.push_back(ResultColumn(names[k], types[k]));

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
                     "ORDER BY position " + expr.text + " is not a result column" +
                         At(expr.position));
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
            order.expr = BindExpr(expr, *scopes.front());
            type = order.expr->type;
        }
        if (type.type == kCharCI) order.collation = "KCE_CI";
        result->orderBy.push_back(std::move(order));
    }
    for (size_t k = 0; k < result->cores.size(); ++k) {
        CheckGrouping(*result, k, scopes[k]->sources);
    }
    insideAggregate_ = savedInsideAggregate;
    return result;
}

}  // namespace kce::sql::binder
