#include "kce/sql/BinderImpl.h"

#include <algorithm>
#include <charconv>

#include "kce/sql/NativeError.h"
#include "kce/sql/Types.h"

namespace kce::sql::binder {

using bound::ExprPtr;
using bound::Kind;
using bound::Type;

namespace {

struct Signature {
    std::string_view name;
    size_t minArgs;
    size_t maxArgs;  // SIZE_MAX: any number
};

// clang-format off
constexpr Signature kSignatures[] = {
    {"TRIM", 1, 1},      {"LTRIM", 1, 1},      {"RTRIM", 1, 1},     {"UPPER", 1, 1},
    {"UCASE", 1, 1},     {"LOWER", 1, 1},      {"LCASE", 1, 1},     {"LEFT", 2, 2},
    {"RIGHT", 2, 2},     {"SUBSTRING", 2, 3},  {"LENGTH", 1, 1},    {"LEN", 1, 1},
    {"CONCAT", 2, SIZE_MAX}, {"REPLACE", 3, 3}, {"SPACE", 1, 1},    {"POSITION", 2, 2},
    {"CURDATE", 0, 0},   {"CURTIME", 0, 0},    {"NOW", 0, 0},       {"YEAR", 1, 1},
    {"MONTH", 1, 1},     {"DAYOFMONTH", 1, 1}, {"DAYOFWEEK", 1, 1}, {"ABS", 1, 1},
    {"ROUND", 1, 2},     {"FLOOR", 1, 1},      {"CEILING", 1, 1},   {"MOD", 2, 2},
    {"COUNT", 1, 1},     {"SUM", 1, 1},        {"AVG", 1, 1},       {"MIN", 1, 1},
    {"MAX", 1, 1},       {"IIF", 3, 3},        {"IFNULL", 2, 2},    {"COALESCE", 1, SIZE_MAX},
    {"NULLIF", 2, 2},    {"EXTRACT", 1, 1},    {"LOCATE", 2, 3},    {"DAYNAME", 1, 1},
    {"MONTHNAME", 1, 1}, {"QUARTER", 1, 1},    {"WEEK", 1, 1},      {"HOUR", 1, 1},
    {"MINUTE", 1, 1},    {"SECOND", 1, 1},     {"TIMESTAMPADD", 3, 3}, {"TIMESTAMPDIFF", 3, 3},
    {"CHAR_LENGTH", 1, 1}, {"CHARACTER_LENGTH", 1, 1}, {"CURRENT_DATE", 0, 0},
    {"CURRENT_TIME", 0, 0}, {"CURRENT_TIMESTAMP", 0, 0},
};
// clang-format on

// The interval of TIMESTAMPADD and TIMESTAMPDIFF (SQL_TSI_DAY or DAY, ...) as the letter the
// SQL functions take; 0 when the name is none.
char IntervalLetter(std::string_view name) {
    std::string upper;
    for (char c : name) upper += c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
    std::string_view word = upper;
    if (word.starts_with("SQL_TSI_")) word.remove_prefix(8);
    static constexpr std::pair<std::string_view, char> kIntervals[] = {
        {"FRAC_SECOND", 'F'}, {"SECOND", 'S'}, {"MINUTE", 'I'},  {"HOUR", 'H'}, {"DAY", 'D'},
        {"WEEK", 'W'},        {"MONTH", 'M'},  {"QUARTER", 'Q'}, {"YEAR", 'Y'}};
    for (auto [interval, letter] : kIntervals) {
        if (word == interval) return letter;
    }
    return 0;
}

bool IsAggregate(std::string_view name) {
    return name == "COUNT" || name == "SUM" || name == "AVG" || name == "MIN" || name == "MAX";
}

// The value of an integer literal argument, when it is one.
std::optional<int64_t> IntegerLiteral(const ExprPtr& e) {
    if (e->kind != Kind::Integer) return std::nullopt;
    int64_t value = 0;
    auto [end, ec] = std::from_chars(e->text.data(), e->text.data() + e->text.size(), value);
    if (ec != std::errc()) return std::nullopt;
    return value;
}

uint32_t ClampLength(int64_t length) {
    return static_cast<uint32_t>(std::clamp<int64_t>(length, 1, 65000));
}

}  // namespace

ExprPtr Binder::BindFunction(const ast::Expr& expr, Scope& scope) {
    const std::string& name = expr.text;
    const size_t position = expr.position;
    const Signature* signature = nullptr;
    for (const Signature& candidate : kSignatures) {
        if (candidate.name == name) signature = &candidate;
    }
    if (!signature) Fail(kErrUnknownFunction, position, "Unknown function \"" + name + "\"" + At(position));
    const size_t count = expr.star ? 1 : expr.args.size();
    // TRIM(LEADING c FROM x) takes the character as a second argument.
    const size_t maxArgs = name == "TRIM" && !expr.qualifier.empty() ? 2 : signature->maxArgs;
    if (count < signature->minArgs || count > maxArgs) {
        Fail(kErrArgumentCount, position,
             "Wrong number of arguments for function " + name + ": " + std::to_string(count) + At(position));
    }
    if ((expr.distinct || expr.star) && !IsAggregate(name)) {
        Fail(kErrSyntax, position, "DISTINCT and * belong only in aggregate functions" + At(position));
    }

    if (IsAggregate(name)) {
        if (!scope.aggregatesAllowed) {
            Fail(kErrAggregate, position, "Aggregate function " + name + " is not allowed here" + At(position));
        }
        if (insideAggregate_) {
            Fail(kErrAggregate, position, "Aggregate function " + name + " cannot be nested" + At(position));
        }
        std::vector<ExprPtr> args;
        Type type = MakeType(kInteger);
        if (!expr.star) {
            insideAggregate_ = true;
            ExprPtr arg = BindExpr(*expr.args[0], scope);
            insideAggregate_ = false;
            const uint16_t argType = arg->type.type;
            const bool number = argType == kUnknownType || IsNumberType(argType);
            if ((name == "SUM" || name == "AVG") && !number) {
                Fail(kErrTypeMismatch, expr.args[0]->position,
                     "Type mismatch: " + name + " needs a number, not " + TypeName(argType) +
                         At(expr.args[0]->position));
            }
            // SUM of money adds the counts: exact, and an overflow is an error rather than a
            // rounding.
            if (name == "SUM") {
                type = IsIntegerType(argType) ? MakeType(argType == kBigInt ? kBigInt : kInteger)
                       : IsMoneyType(argType) ? MakeType(argType)
                                              : MakeType(kDouble);
            } else if (name == "AVG") {
                type = MakeType(kDouble);
            } else if (name != "COUNT") {
                type = arg->type;
            }
            args.push_back(std::move(arg));
        }
        static constexpr std::pair<std::string_view, std::string_view> kNames[] = {
            {"COUNT", "count"}, {"SUM", "sum"}, {"AVG", "avg"}, {"MIN", "min"}, {"MAX", "max"}};
        std::string sqlName;
        for (auto [ours, theirs] : kNames) {
            if (ours == name) sqlName = theirs;
        }
        const bool fixedWidth = !args.empty() && args.front()->fixedWidth && name != "COUNT";
        const bool averagesMoney = name == "AVG" && IsMoneyType(args.front()->type.type);
        // AVG of money averages the counts and then reads the amount.
        if (averagesMoney) type = args.front()->type;
        ExprPtr call = MakeCall(sqlName, type, std::move(args));
        call->position = position;
        call->star = expr.star;
        call->distinct = expr.distinct;
        call->aggregate = true;
        call->fixedWidth = fixedWidth;
        return averagesMoney ? AsAmount(std::move(call)) : std::move(call);
    }

    // The interval of TIMESTAMPADD and TIMESTAMPDIFF is a keyword, not a value.
    char interval = 0;
    if (name == "TIMESTAMPADD" || name == "TIMESTAMPDIFF") {
        const ast::Expr& first = *expr.args[0];
        if (first.kind == ast::ExprKind::Column && first.qualifier.empty())
            interval = IntervalLetter(first.text);
        if (interval == 0) {
            Fail(kErrSyntax, first.position,
                 "Syntax error: " + name +
                     " needs an interval (SQL_TSI_FRAC_SECOND, SQL_TSI_SECOND, "
                     "SQL_TSI_MINUTE, SQL_TSI_HOUR, SQL_TSI_DAY, SQL_TSI_WEEK, SQL_TSI_MONTH, "
                     "SQL_TSI_QUARTER "
                     "or SQL_TSI_YEAR) as its first argument" +
                     At(first.position));
        }
    }
    std::vector<ExprPtr> args;
    for (size_t i = interval == 0 ? 0 : 1; i < expr.args.size(); ++i)
        args.push_back(BindExpr(*expr.args[i], scope));
    // Bound arguments from here on; argPosition(i) is where argument i is written.
    const size_t skipped = interval == 0 ? 0 : 1;
    auto argPosition = [&](size_t i) { return expr.args[i + skipped]->position; };

    // Requires argument i to be of `family`; parameters and NULL are converted to it.
    auto require = [&](size_t i, Family family, const Type& asType) {
        const uint16_t t = args[i]->type.type;
        if (t == kUnknownType) {
            args[i] = Convert(std::move(args[i]), asType, argPosition(i), "");
            if (family == Family::Text) args[i]->type = asType;
            return;
        }
        if (FamilyOf(t) == family) {
            if (name != "ABS") args[i] = AsAmount(std::move(args[i]));
            return;
        }
        if (family == Family::Date && FamilyOf(t) == Family::Timestamp) return;
        if (family == Family::Timestamp && FamilyOf(t) == Family::Date) return;
        if (family == Family::Time && FamilyOf(t) == Family::Timestamp) return;
        if (family == Family::Timestamp && FamilyOf(t) == Family::Text) {
            args[i] = Convert(std::move(args[i]), asType, argPosition(i), "");
            return;
        }
        if (family == Family::Date && FamilyOf(t) == Family::Text) {
            args[i] = Convert(std::move(args[i]), asType, argPosition(i), "");
            return;
        }
        static constexpr std::pair<Family, std::string_view> kFamilyNames[] = {
            {Family::Text, "text"},
            {Family::Number, "a number"},
            {Family::Date, "a date"},
            {Family::Timestamp, "a date or a timestamp"},
            {Family::Time, "a time or a timestamp"}};
        std::string wanted = "a value";
        for (auto [f, n] : kFamilyNames) {
            if (f == family) wanted = n;
        }
        Fail(kErrTypeMismatch, argPosition(i),
             "Type mismatch: argument " + std::to_string(i + 1 + skipped) + " of " + name +
                 " must be " + wanted + ", not " + TypeName(t) + At(argPosition(i)));
    };
    const Type anyText{kVarChar, 255, 0};
    const Type anyNumber = MakeType(kDouble);
    const Type anyInteger = MakeType(kInteger);
    auto call = [&](std::string sqlName, Type type) {
        ExprPtr result = MakeCall(std::move(sqlName), type, std::move(args));
        result->position = position;
        return result;
    };

    if (name == "TRIM" && !expr.qualifier.empty()) {
        // TRIM(LEADING | TRAILING | BOTH [c] FROM x); c is a blank when not given.
        require(0, Family::Text, anyText);
        if (args.size() > 1) require(1, Family::Text, anyText);
        if (args.size() > 1 && args[1]->kind == Kind::Text && args[1]->text.size() != 1) {
            Fail(kErrInvalidValue, argPosition(1),
                 "The TRIM character must be one character, not '" + args[1]->text + "'" +
                     At(argPosition(1)));
        }
        const Type type = args[0]->type;
        const char end = expr.qualifier == "LEADING"    ? 'L'
                         : expr.qualifier == "TRAILING" ? 'T'
                                                        : 'B';
        if (args.size() == 1 || (args[1]->kind == Kind::Text && args[1]->text == " ")) {
            // Blanks: as TRIM, LTRIM and RTRIM.
            args.resize(1);
            return call(end == 'L' ? "ltrim" : end == 'T' ? "rtrim" : "trim", type);
        }
        // Any other character: fixed text is trimmed with its trailing blanks, which it ends in.
        args[0] = Padded(std::move(args[0]));
        args.push_back(MakeText(std::string(1, end)));
        return call("kce_trim", type);
    }
    if (name == "TRIM" || name == "LTRIM" || name == "RTRIM") {
        require(0, Family::Text, anyText);
        // SQLite's one-argument trims remove blanks only, as the dialect's do.
        const Type type = args[0]->type;
        return call(name == "TRIM" ? "trim" : name == "LTRIM" ? "ltrim" : "rtrim", type);
    }
    if (name == "UPPER" || name == "UCASE" || name == "LOWER" || name == "LCASE") {
        require(0, Family::Text, anyText);
        const Type type = args[0]->type;
        const bool fixedWidth = args[0]->fixedWidth;
        ExprPtr result = call(name == "UPPER" || name == "UCASE" ? "kce_upper" : "kce_lower", type);
        result->fixedWidth = fixedWidth;
        return result;
    }
    if (name == "LEFT" || name == "RIGHT") {
        require(0, Family::Text, anyText);
        require(1, Family::Number, anyInteger);
        const Type source = args[0]->type;
        const std::optional<int64_t> n = IntegerLiteral(args[1]);
        const uint32_t length = n ? ClampLength(*n) : std::max<uint32_t>(source.length, 1);
        const uint16_t type = IsFixedText(source.type) ? source.type : uint16_t{kVarChar};
        const bool fixedWidth = args[0]->fixedWidth && n && *n >= 0 && *n <= source.length;
        if (name == "RIGHT") args[0] = Padded(std::move(args[0]));
        ExprPtr result = call(name == "LEFT" ? "kce_left" : "kce_right", Type{type, length, 0});
        result->fixedWidth = fixedWidth;
        return result;
    }
    if (name == "SUBSTRING") {
        require(0, Family::Text, anyText);
        require(1, Family::Number, anyInteger);
        if (args.size() > 2) require(2, Family::Number, anyInteger);
        const Type source = args[0]->type;
        const std::optional<int64_t> n = args.size() > 2 ? IntegerLiteral(args[2]) : std::nullopt;
        const uint32_t length = n ? ClampLength(*n) : std::max<uint32_t>(source.length, 1);
        args[0] = Padded(std::move(args[0]));
        if (args.size() == 2) args.push_back(MakeInteger(65000));
        return call("kce_substring", Type{IsFixedText(source.type) ? source.type : uint16_t{kVarChar}, length, 0});
    }
    if (name == "LENGTH" || name == "LEN") {
        require(0, Family::Text, anyText);
        return call("kce_length", MakeType(kInteger));
    }
    if (name == "CONCAT") {
        // Folded into binary concatenations, which keep fixed text's blanks.
        ExprPtr result = std::move(args[0]);
        for (size_t i = 1; i < args.size(); ++i) {
            const uint16_t lt = result->type.type;
            const uint16_t rt = args[i]->type.type;
            if ((lt != kUnknownType && FamilyOf(lt) != Family::Text) ||
                (rt != kUnknownType && FamilyOf(rt) != Family::Text)) {
                Fail(kErrTypeMismatch, position, "Type mismatch: CONCAT needs text" + At(position));
            }
            result = ConcatValues(std::move(result), std::move(args[i]), position);
        }
        return result;
    }
    if (name == "REPLACE") {
        for (size_t i = 0; i < 3; ++i) require(i, Family::Text, anyText);
        const uint32_t from = std::max<uint32_t>(args[1]->type.length, 1);
        const uint32_t to = args[2]->type.length;
        const uint64_t length = to <= from ? args[0]->type.length
                                           : uint64_t{args[0]->type.length} * to / from + 1;
        return call("replace", Type{kVarChar, ClampLength(static_cast<int64_t>(length)), 0});
    }
    if (name == "SPACE") {
        require(0, Family::Number, anyInteger);
        const std::optional<int64_t> n = IntegerLiteral(args[0]);
        return call("kce_space", Type{kChar, n ? ClampLength(*n) : 255, 0});
    }
    if (name == "POSITION" || name == "LOCATE") {
        // Fixed text is searched with its trailing blanks, as SUBSTRING sees them.
        require(0, Family::Text, anyText);
        require(1, Family::Text, anyText);
        if (args.size() > 2) require(2, Family::Number, anyInteger);
        args[0] = Padded(std::move(args[0]));
        args[1] = Padded(std::move(args[1]));
        if (args.size() == 2) {
            std::swap(args[0], args[1]);
            return call("instr", MakeType(kInteger));
        }
        return call("kce_locate", MakeType(kInteger));
    }
    if (name == "CHAR_LENGTH" || name == "CHARACTER_LENGTH") {
        // Every character, the trailing blanks of fixed text too (LENGTH leaves them out).
        require(0, Family::Text, anyText);
        args[0] = Padded(std::move(args[0]));
        return call("length", MakeType(kInteger));
    }
    if (name == "NULLIF") {
        // CASE WHEN a = b THEN NULL ELSE a END, comparing as = does.
        const Type bType = args[1]->type;
        ExprPtr value = CloneExpr(*args[0]);
        if (value->type.type == kUnknownType && bType.type != kUnknownType) {
            value = Convert(std::move(value), bType, argPosition(0), "");
        }
        ExprPtr node = std::make_unique<bound::Expr>();
        node->kind = Kind::Case;
        node->type = value->type;
        node->position = position;
        node->hasElse = true;
        node->fixedWidth = value->fixedWidth;
        node->args.push_back(Compare("=", std::move(args[0]), std::move(args[1]), position));
        auto null = std::make_unique<bound::Expr>();
        null->kind = Kind::Null;
        null->type = value->type;
        node->args.push_back(std::move(null));
        node->args.push_back(std::move(value));
        for (const ExprPtr& arg : node->args) node->aggregate = node->aggregate || arg->aggregate;
        return node;
    }
    if (name == "EXTRACT") {
        const std::string& field = expr.qualifier;
        const bool datePart = field == "YEAR" || field == "MONTH" || field == "DAY";
        const bool timePart = field == "HOUR" || field == "MINUTE" || field == "SECOND";
        if (!datePart && !timePart) {
            Fail(kErrSyntax, position,
                 "Syntax error: EXTRACT takes YEAR, MONTH, DAY, HOUR, MINUTE or SECOND, not " +
                     field + At(position));
        }
        if (datePart) {
            require(0, Family::Date, MakeType(kDate));
        } else {
            require(0, Family::Time, MakeType(kTime));
        }
        static constexpr std::pair<std::string_view, std::string_view> kParts[] = {
            {"YEAR", "Y"}, {"MONTH", "M"},  {"DAY", "D"},
            {"HOUR", "H"}, {"MINUTE", "I"}, {"SECOND", "S"}};
        for (auto [word, part] : kParts) {
            if (word == field) args.push_back(MakeText(std::string(part)));
        }
        return call("kce_datepart", MakeType(kInteger));
    }
    if (name == "HOUR" || name == "MINUTE" || name == "SECOND") {
        require(0, Family::Time, MakeType(kTime));
        args.push_back(MakeText(name == "HOUR" ? "H" : name == "MINUTE" ? "I" : "S"));
        return call("kce_datepart", MakeType(kInteger));
    }
    if (name == "QUARTER" || name == "WEEK") {
        require(0, Family::Date, MakeType(kDate));
        args.push_back(MakeText(name == "QUARTER" ? "Q" : "K"));
        return call("kce_datepart", MakeType(kInteger));
    }
    if (name == "DAYNAME" || name == "MONTHNAME") {
        require(0, Family::Date, MakeType(kDate));
        args.push_back(MakeText(name == "DAYNAME" ? "D" : "M"));
        return call("kce_datename", Type{kVarChar, 9, 0});
    }
    if (name == "TIMESTAMPADD") {
        if (args[0]->type.type != kUnknownType && !IsIntegerType(args[0]->type.type)) {
            Fail(kErrTypeMismatch, argPosition(0),
                 "Type mismatch: argument 2 of TIMESTAMPADD must be an integer, not " +
                     TypeName(args[0]->type.type) + At(argPosition(0)));
        }
        if (args[0]->type.type == kUnknownType)
            args[0] = Convert(std::move(args[0]), anyInteger, argPosition(0), "");
        require(1, Family::Timestamp, MakeType(kTimestamp));
        std::swap(args[0], args[1]);
        args.push_back(MakeText(std::string(1, interval)));
        return call("kce_timestampadd", MakeType(kTimestamp));
    }
    if (name == "TIMESTAMPDIFF") {
        require(0, Family::Timestamp, MakeType(kTimestamp));
        require(1, Family::Timestamp, MakeType(kTimestamp));
        args.push_back(MakeText(std::string(1, interval)));
        // Milliseconds, seconds and minutes of a long span do not fit in 32 bits.
        const bool wide = interval == 'F' || interval == 'S' || interval == 'I';
        return call("kce_timestampdiff", MakeType(wide ? kBigInt : kInteger));
    }
    if (name == "CURRENT_DATE") {
        args.push_back(MakeText("now"));
        args.push_back(MakeText("localtime"));
        return call("date", MakeType(kDate));
    }
    if (name == "CURRENT_TIME" || name == "CURRENT_TIMESTAMP") {
        const bool stamp = name == "CURRENT_TIMESTAMP";
        args.push_back(MakeText(stamp ? "%Y-%m-%d %H:%M:%f" : "%H:%M:%f"));
        args.push_back(MakeText("now"));
        args.push_back(MakeText("localtime"));
        return call("strftime", MakeType(stamp ? kTimestamp : kTime));
    }
    if (name == "CURDATE") {
        args.push_back(MakeText("now"));
        args.push_back(MakeText("localtime"));
        return call("date", MakeType(kDate));
    }
    if (name == "CURTIME" || name == "NOW") {
        args.push_back(MakeText(name == "NOW" ? "%Y-%m-%d %H:%M:%f" : "%H:%M:%f"));
        args.push_back(MakeText("now"));
        args.push_back(MakeText("localtime"));
        return call("strftime", MakeType(name == "NOW" ? kTimestamp : kTime));
    }
    if (name == "YEAR" || name == "MONTH" || name == "DAYOFMONTH" || name == "DAYOFWEEK") {
        require(0, Family::Date, MakeType(kDate));
        args.push_back(MakeText(name == "YEAR" ? "Y" : name == "MONTH" ? "M" : name == "DAYOFMONTH" ? "D" : "W"));
        return call("kce_datepart", MakeType(kInteger));
    }
    if (name == "ABS" || name == "ROUND" || name == "FLOOR" || name == "CEILING") {
        require(0, Family::Number, anyNumber);
        if (args.size() > 1) require(1, Family::Number, anyInteger);
        const Type source = args[0]->type;
        if (IsIntegerType(source.type) && name != "ABS") return std::move(args[0]);
        Type type = name == "ABS" ? source : MakeType(kDouble);
        if (name == "ROUND" && source.type == kNumeric) type = source;
        return call(name == "ABS" ? "abs" : name == "ROUND" ? "round" : name == "FLOOR" ? "kce_floor" : "kce_ceiling",
                    type);
    }
    if (name == "MOD") {
        require(0, Family::Number, anyNumber);
        require(1, Family::Number, anyNumber);
        const bool integers = IsIntegerType(args[0]->type.type) && IsIntegerType(args[1]->type.type);
        const Type type = integers ? MakeType(args[0]->type.type == kBigInt || args[1]->type.type == kBigInt ? kBigInt : kInteger)
                                   : MakeType(kDouble);
        return call("kce_mod", type);
    }
    if (name == "IIF") {
        ExprPtr condition = std::move(args[0]);
        if (condition->type.type == kUnknownType) {
            condition = Convert(std::move(condition), MakeType(kLogical), expr.args[0]->position, "");
        } else if (FamilyOf(condition->type.type) != Family::Logical) {
            Fail(kErrTypeMismatch, expr.args[0]->position,
                 "Type mismatch: a condition must be logical, not " + TypeName(condition->type.type) +
                     At(expr.args[0]->position));
        }
        std::optional<Type> type = CommonType(args[1]->type, args[2]->type);
        if (!type) {
            Fail(kErrTypeMismatch, position,
                 "Type mismatch: IIF results " + TypeName(args[1]->type.type) + " and " +
                     TypeName(args[2]->type.type) + " do not go together" + At(position));
        }
        ExprPtr node = std::make_unique<bound::Expr>();
        node->kind = Kind::Case;
        node->type = *type;
        node->position = position;
        node->hasElse = true;
        node->args.push_back(std::move(condition));
        for (size_t i = 1; i < 3; ++i) {
            if (FamilyOf(args[i]->type.type) != FamilyOf(type->type) ||
                NeedsConversion(args[i]->type.type, type->type)) {
                args[i] = Convert(std::move(args[i]), *type, expr.args[i]->position, "");
            }
            node->args.push_back(std::move(args[i]));
        }
        for (const ExprPtr& arg : node->args) node->aggregate = node->aggregate || arg->aggregate;
        return node;
    }
    if (name == "IFNULL" || name == "COALESCE") {
        Type type{kUnknownType, 0, 0};
        for (size_t i = 0; i < args.size(); ++i) {
            std::optional<Type> common = CommonType(type, args[i]->type);
            if (!common) {
                Fail(kErrTypeMismatch, expr.args[i]->position,
                     "Type mismatch: " + name + " arguments " + TypeName(type.type) + " and " +
                         TypeName(args[i]->type.type) + " do not go together" + At(expr.args[i]->position));
            }
            type = *common;
        }
        for (size_t i = 0; i < args.size(); ++i) {
            if (type.type != kUnknownType && (FamilyOf(args[i]->type.type) != FamilyOf(type.type) ||
                                              NeedsConversion(args[i]->type.type, type.type))) {
                args[i] = Convert(std::move(args[i]), type, expr.args[i]->position, "");
            }
        }
        if (args.size() == 1) args.push_back(std::make_unique<bound::Expr>());  // coalesce(x, NULL)
        return call("coalesce", type);
    }
    Fail(kErrUnknownFunction, position, "Unknown function \"" + name + "\"" + At(position));
}

ExprPtr Binder::BindCast(const ast::Expr& expr, Scope& scope) {
    ExprPtr value = BindExpr(*expr.args[0], scope);
    const ast::TypeName& typeName = expr.castType;
    TypeNameResult read = ReadTypeName(typeName.name, typeName.length, typeName.decimals, true);
    if (!read.error.empty()) Fail(kErrInvalidType, typeName.position, read.error + At(typeName.position));
    Type target = read.type;
    if (target.length == 0) {
        // CHAR, VARCHAR, RAW without a length: as long as the value needs.
        const Family from = value->type.type == kUnknownType ? Family::Unknown : FamilyOf(value->type.type);
        target.length = from == Family::Text ? std::max<uint32_t>(value->type.length, 1)
                        : from == Family::Date ? 10
                        : from == Family::Time ? 12
                        : from == Family::Timestamp ? 23
                        : IsMoneyType(value->type.type) ? 21  // -922337203685477.5807
                                                    : 20;
    }
    if (FamilyOf(target.type) == Family::Text && value->type.type != kUnknownType &&
        FamilyOf(value->type.type) == Family::Date) {
        // A date as text is written in the engine date format, as the engine reads it back.
        const std::string& format = settings_.dateFormat;
        if (!read.lengthGiven)
            target.length = std::max<uint32_t>(static_cast<uint32_t>(format.size()), 1);
        std::vector<ExprPtr> args;
        args.push_back(std::move(value));
        args.push_back(MakeText(format));
        value = MakeCall("kce_formatdate", Type{kVarChar, static_cast<uint32_t>(format.size()), 0},
                         std::move(args));
    }
    ExprPtr result = Convert(std::move(value), target, expr.position, "");
    result->fixedWidth = IsFixedText(target.type);
    return result;
}

}  // namespace kce::sql::binder
