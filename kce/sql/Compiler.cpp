#include "kce/sql/Compiler.h"

#include "kce/sql/Binder.h"
#include "kce/sql/Generator.h"
#include "kce/sql/Parser.h"

namespace kce::sql {

CompiledStatement Compile(std::string_view sql, const Catalogue& catalogue,
                          const Settings& settings) {
    const ast::Statement parsed = Parse(sql);
    const bound::Statement bound = Bind(parsed, sql, catalogue, settings);
    CompiledStatement compiled;
    compiled.kind = bound.kind;
    compiled.sqlite = Generate(bound);
    compiled.parameters = bound.parameters;
    if (bound.kind == StatementKind::Select || bound.kind == StatementKind::GetApplicationId) {
        compiled.result = bound.select->columns;
    }
    compiled.created = bound.created;
    if (bound.kind != StatementKind::Select && bound.kind != StatementKind::CreateTable) {
        compiled.targetTable = bound.table;
    }
    return compiled;
}

}  // namespace kce::sql
