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

const Type kAnyText{kVarChar, 255, 0};
const Type kAnyNumber = MakeType(kDouble);
const Type kAnyInteger = MakeType(kInteger);

// A call of a scalar function being bound: its arguments bound already (without the interval
// keyword of TIMESTAMPADD and TIMESTAMPDIFF, which is in `interval`), and the checks and the
// call-making that every function's binder uses.
struct FunctionCall {
    Binder& binder;
    const ast::Expr& expr;
    const std::string& name;
    size_t position;
    char interval;  // 0 unless the function takes an interval first
    std::vector<ExprPtr> args;

    // Where bound argument i is written.
    size_t ArgPosition(size_t i) const { return expr.args[i + (interval == 0 ? 0 : 1)]->position; }

    // Requires argument i to be of `family`; parameters and NULL are converted to it.
    void Require(size_t i, Family family, const Type& asType) {
        const uint16_t t = args[i]->type.type;
        if (t == kUnknownType) {
            args[i] = binder.Convert(std::move(args[i]), asType, ArgPosition(i), "");
            if (family == Family::Text) args[i]->type = asType;
            return;
        }
        if (FamilyOf(t) == family) {
            if (name != "ABS") args[i] = binder.AsAmount(std::move(args[i]));
            return;
        }
        if (family == Family::Date && FamilyOf(t) == Family::Timestamp) return;
        if (family == Family::Timestamp && FamilyOf(t) == Family::Date) return;
        if (family == Family::Time && FamilyOf(t) == Family::Timestamp) return;
        if (family == Family::Timestamp && FamilyOf(t) == Family::Text) {
            args[i] = binder.Convert(std::move(args[i]), asType, ArgPosition(i), "");
            return;
        }
        if (family == Family::Date && FamilyOf(t) == Family::Text) {
            args[i] = binder.Convert(std::move(args[i]), asType, ArgPosition(i), "");
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
        const size_t written = i + 1 + (interval == 0 ? 0 : 1);
        binder.Fail(kErrTypeMismatch, ArgPosition(i),
                    "Type mismatch: argument " + std::to_string(written) + " of " + name +
                        " must be " + wanted + ", not " + TypeName(t) + binder.At(ArgPosition(i)));
    }

    // The SQL function sqlName over the arguments, which it takes.
    ExprPtr Call(std::string sqlName, Type type) {
        ExprPtr result = binder.MakeCall(std::move(sqlName), type, std::move(args));
        result->position = position;
        return result;
    }
};

// --- Text ---

ExprPtr BindTrim(FunctionCall& c) {
    if (!c.expr.qualifier.empty()) {
        // TRIM(LEADING | TRAILING | BOTH [c] FROM x); c is a blank when not given.
        c.Require(0, Family::Text, kAnyText);
        if (c.args.size() > 1) c.Require(1, Family::Text, kAnyText);
        if (c.args.size() > 1 && c.args[1]->kind == Kind::Text && c.args[1]->text.size() != 1) {
            c.binder.Fail(kErrInvalidValue, c.ArgPosition(1),
                          "The TRIM character must be one character, not '" + c.args[1]->text +
                              "'" + c.binder.At(c.ArgPosition(1)));
        }
        const Type type = c.args[0]->type;
        const char end = c.expr.qualifier == "LEADING"    ? 'L'
                         : c.expr.qualifier == "TRAILING" ? 'T'
                                                          : 'B';
        if (c.args.size() == 1 || (c.args[1]->kind == Kind::Text && c.args[1]->text == " ")) {
            // Blanks: as TRIM, LTRIM and RTRIM.
            c.args.resize(1);
            return c.Call(end == 'L' ? "ltrim" : end == 'T' ? "rtrim" : "trim", type);
        }
        // Any other character: fixed text is trimmed with its trailing blanks, which it ends in.
        c.args[0] = c.binder.Padded(std::move(c.args[0]));
        c.args.push_back(c.binder.MakeText(std::string(1, end)));
        return c.Call("kce_trim", type);
    }
    c.Require(0, Family::Text, kAnyText);
    // SQLite's one-argument trims remove blanks only, as the dialect's do.
    const Type type = c.args[0]->type;
    return c.Call(c.name == "TRIM" ? "trim" : c.name == "LTRIM" ? "ltrim" : "rtrim", type);
}

ExprPtr BindCase(FunctionCall& c) {
    c.Require(0, Family::Text, kAnyText);
    const Type type = c.args[0]->type;
    const bool fixedWidth = c.args[0]->fixedWidth;
    ExprPtr result =
        c.Call(c.name == "UPPER" || c.name == "UCASE" ? "kce_upper" : "kce_lower", type);
    result->fixedWidth = fixedWidth;
    return result;
}

ExprPtr BindLeftRight(FunctionCall& c) {
    c.Require(0, Family::Text, kAnyText);
    c.Require(1, Family::Number, kAnyInteger);
    const Type source = c.args[0]->type;
    const std::optional<int64_t> n = IntegerLiteral(c.args[1]);
    const uint32_t length = n ? ClampLength(*n) : std::max<uint32_t>(source.length, 1);
    const uint16_t type = IsFixedText(source.type) ? source.type : uint16_t{kVarChar};
    const bool fixedWidth = c.args[0]->fixedWidth && n && *n >= 0 && *n <= source.length;
    if (c.name == "RIGHT") c.args[0] = c.binder.Padded(std::move(c.args[0]));
    ExprPtr result = c.Call(c.name == "LEFT" ? "kce_left" : "kce_right", Type{type, length, 0});
    result->fixedWidth = fixedWidth;
    return result;
}

ExprPtr BindSubstring(FunctionCall& c) {
    c.Require(0, Family::Text, kAnyText);
    c.Require(1, Family::Number, kAnyInteger);
    if (c.args.size() > 2) c.Require(2, Family::Number, kAnyInteger);
    const Type source = c.args[0]->type;
    const std::optional<int64_t> n = c.args.size() > 2 ? IntegerLiteral(c.args[2]) : std::nullopt;
    const uint32_t length = n ? ClampLength(*n) : std::max<uint32_t>(source.length, 1);
    c.args[0] = c.binder.Padded(std::move(c.args[0]));
    if (c.args.size() == 2) c.args.push_back(c.binder.MakeInteger(65000));
    return c.Call("kce_substring",
                  Type{IsFixedText(source.type) ? source.type : uint16_t{kVarChar}, length, 0});
}

ExprPtr BindLength(FunctionCall& c) {
    c.Require(0, Family::Text, kAnyText);
    return c.Call("kce_length", MakeType(kInteger));
}

ExprPtr BindCharLength(FunctionCall& c) {
    // Every character, the trailing blanks of fixed text too (LENGTH leaves them out).
    c.Require(0, Family::Text, kAnyText);
    c.args[0] = c.binder.Padded(std::move(c.args[0]));
    return c.Call("length", MakeType(kInteger));
}

ExprPtr BindConcat(FunctionCall& c) {
    // Folded into binary concatenations, which keep fixed text's blanks.
    ExprPtr result = std::move(c.args[0]);
    for (size_t i = 1; i < c.args.size(); ++i) {
        const uint16_t lt = result->type.type;
        const uint16_t rt = c.args[i]->type.type;
        if ((lt != kUnknownType && FamilyOf(lt) != Family::Text) ||
            (rt != kUnknownType && FamilyOf(rt) != Family::Text)) {
            c.binder.Fail(kErrTypeMismatch, c.position,
                          "Type mismatch: CONCAT needs text" + c.binder.At(c.position));
        }
        result = c.binder.ConcatValues(std::move(result), std::move(c.args[i]), c.position);
    }
    return result;
}

ExprPtr BindReplace(FunctionCall& c) {
    for (size_t i = 0; i < 3; ++i) c.Require(i, Family::Text, kAnyText);
    const uint32_t from = std::max<uint32_t>(c.args[1]->type.length, 1);
    const uint32_t to = c.args[2]->type.length;
    const uint64_t length =
        to <= from ? c.args[0]->type.length : uint64_t{c.args[0]->type.length} * to / from + 1;
    return c.Call("replace", Type{kVarChar, ClampLength(static_cast<int64_t>(length)), 0});
}

ExprPtr BindSpace(FunctionCall& c) {
    c.Require(0, Family::Number, kAnyInteger);
    const std::optional<int64_t> n = IntegerLiteral(c.args[0]);
    return c.Call("kce_space", Type{kChar, n ? ClampLength(*n) : 255, 0});
}

ExprPtr BindPosition(FunctionCall& c) {
    // Fixed text is searched with its trailing blanks, as SUBSTRING sees them.
    c.Require(0, Family::Text, kAnyText);
    c.Require(1, Family::Text, kAnyText);
    if (c.args.size() > 2) c.Require(2, Family::Number, kAnyInteger);
    c.args[0] = c.binder.Padded(std::move(c.args[0]));
    c.args[1] = c.binder.Padded(std::move(c.args[1]));
    if (c.args.size() == 2) {
        std::swap(c.args[0], c.args[1]);
        return c.Call("instr", MakeType(kInteger));
    }
    return c.Call("kce_locate", MakeType(kInteger));
}

// --- Dates and times ---

// The SQL function kce_datepart over the one argument and the letter of the part.
ExprPtr DatePart(FunctionCall& c, Family family, uint16_t asType, const char* part) {
    c.Require(0, family, MakeType(asType));
    c.args.push_back(c.binder.MakeText(part));
    return c.Call("kce_datepart", MakeType(kInteger));
}

ExprPtr BindExtract(FunctionCall& c) {
    const std::string& field = c.expr.qualifier;
    const bool datePart = field == "YEAR" || field == "MONTH" || field == "DAY";
    const bool timePart = field == "HOUR" || field == "MINUTE" || field == "SECOND";
    if (!datePart && !timePart) {
        c.binder.Fail(kErrSyntax, c.position,
                      "Syntax error: EXTRACT takes YEAR, MONTH, DAY, HOUR, MINUTE or SECOND, not " +
                          field + c.binder.At(c.position));
    }
    static constexpr std::pair<std::string_view, const char*> kParts[] = {
        {"YEAR", "Y"}, {"MONTH", "M"},  {"DAY", "D"},
        {"HOUR", "H"}, {"MINUTE", "I"}, {"SECOND", "S"}};
    const char* part = "";
    for (auto [word, letter] : kParts) {
        if (word == field) part = letter;
    }
    return datePart ? DatePart(c, Family::Date, kDate, part)
                    : DatePart(c, Family::Time, kTime, part);
}

ExprPtr BindTimePart(FunctionCall& c) {
    return DatePart(c, Family::Time, kTime,
                    c.name == "HOUR"     ? "H"
                    : c.name == "MINUTE" ? "I"
                                         : "S");
}

ExprPtr BindDatePart(FunctionCall& c) {
    static constexpr std::pair<std::string_view, const char*> kParts[] = {
        {"YEAR", "Y"},      {"MONTH", "M"},   {"DAYOFMONTH", "D"},
        {"DAYOFWEEK", "W"}, {"QUARTER", "Q"}, {"WEEK", "K"}};
    const char* part = "";
    for (auto [word, letter] : kParts) {
        if (word == c.name) part = letter;
    }
    return DatePart(c, Family::Date, kDate, part);
}

ExprPtr BindDateName(FunctionCall& c) {
    c.Require(0, Family::Date, MakeType(kDate));
    c.args.push_back(c.binder.MakeText(c.name == "DAYNAME" ? "D" : "M"));
    return c.Call("kce_datename", Type{kVarChar, 9, 0});
}

ExprPtr BindTimestampAdd(FunctionCall& c) {
    if (c.args[0]->type.type != kUnknownType && !IsIntegerType(c.args[0]->type.type)) {
        c.binder.Fail(kErrTypeMismatch, c.ArgPosition(0),
                      "Type mismatch: argument 2 of TIMESTAMPADD must be an integer, not " +
                          TypeName(c.args[0]->type.type) + c.binder.At(c.ArgPosition(0)));
    }
    if (c.args[0]->type.type == kUnknownType)
        c.args[0] = c.binder.Convert(std::move(c.args[0]), kAnyInteger, c.ArgPosition(0), "");
    c.Require(1, Family::Timestamp, MakeType(kTimestamp));
    std::swap(c.args[0], c.args[1]);
    c.args.push_back(c.binder.MakeText(std::string(1, c.interval)));
    return c.Call("kce_timestampadd", MakeType(kTimestamp));
}

ExprPtr BindTimestampDiff(FunctionCall& c) {
    c.Require(0, Family::Timestamp, MakeType(kTimestamp));
    c.Require(1, Family::Timestamp, MakeType(kTimestamp));
    c.args.push_back(c.binder.MakeText(std::string(1, c.interval)));
    // Milliseconds, seconds and minutes of a long span do not fit in 32 bits.
    const bool wide = c.interval == 'F' || c.interval == 'S' || c.interval == 'I';
    return c.Call("kce_timestampdiff", MakeType(wide ? kBigInt : kInteger));
}

// CURDATE and CURRENT_DATE: today, local time.
ExprPtr BindCurrentDate(FunctionCall& c) {
    c.args.push_back(c.binder.MakeText("now"));
    c.args.push_back(c.binder.MakeText("localtime"));
    return c.Call("date", MakeType(kDate));
}

// CURTIME, NOW, CURRENT_TIME and CURRENT_TIMESTAMP: this moment, local time.
ExprPtr BindCurrentTime(FunctionCall& c) {
    const bool stamp = c.name == "NOW" || c.name == "CURRENT_TIMESTAMP";
    c.args.push_back(c.binder.MakeText(stamp ? "%Y-%m-%d %H:%M:%f" : "%H:%M:%f"));
    c.args.push_back(c.binder.MakeText("now"));
    c.args.push_back(c.binder.MakeText("localtime"));
    return c.Call("strftime", MakeType(stamp ? kTimestamp : kTime));
}

// --- Numbers ---

ExprPtr BindRounding(FunctionCall& c) {
    c.Require(0, Family::Number, kAnyNumber);
    if (c.args.size() > 1) c.Require(1, Family::Number, kAnyInteger);
    const Type source = c.args[0]->type;
    const std::string& name = c.name;
    if (IsIntegerType(source.type) && name != "ABS") return std::move(c.args[0]);
    Type type = name == "ABS" ? source : MakeType(kDouble);
    if (name == "ROUND" && source.type == kNumeric) type = source;
    return c.Call(name == "ABS"     ? "abs"
                  : name == "ROUND" ? "round"
                  : name == "FLOOR" ? "kce_floor"
                                    : "kce_ceiling",
                  type);
}

ExprPtr BindMod(FunctionCall& c) {
    c.Require(0, Family::Number, kAnyNumber);
    c.Require(1, Family::Number, kAnyNumber);
    const uint16_t a = c.args[0]->type.type;
    const uint16_t b = c.args[1]->type.type;
    const bool integers = IsIntegerType(a) && IsIntegerType(b);
    const Type type =
        integers ? MakeType(a == kBigInt || b == kBigInt ? kBigInt : kInteger) : MakeType(kDouble);
    return c.Call("kce_mod", type);
}

// --- Choices ---

ExprPtr BindNullIf(FunctionCall& c) {
    // CASE WHEN a = b THEN NULL ELSE a END, comparing as = does.
    const Type bType = c.args[1]->type;
    ExprPtr value = CloneExpr(*c.args[0]);
    if (value->type.type == kUnknownType && bType.type != kUnknownType) {
        value = c.binder.Convert(std::move(value), bType, c.ArgPosition(0), "");
    }
    ExprPtr node = std::make_unique<bound::Expr>();
    node->kind = Kind::Case;
    node->type = value->type;
    node->position = c.position;
    node->hasElse = true;
    node->fixedWidth = value->fixedWidth;
    node->args.push_back(
        c.binder.Compare("=", std::move(c.args[0]), std::move(c.args[1]), c.position));
    auto null = std::make_unique<bound::Expr>();
    null->kind = Kind::Null;
    null->type = value->type;
    node->args.push_back(std::move(null));
    node->args.push_back(std::move(value));
    for (const ExprPtr& arg : node->args) node->aggregate = node->aggregate || arg->aggregate;
    return node;
}

ExprPtr BindIif(FunctionCall& c) {
    const ast::Expr& expr = c.expr;
    Binder& binder = c.binder;
    std::vector<ExprPtr>& args = c.args;
    ExprPtr condition = std::move(args[0]);
    if (condition->type.type == kUnknownType) {
        condition =
            binder.Convert(std::move(condition), MakeType(kLogical), expr.args[0]->position, "");
    } else if (FamilyOf(condition->type.type) != Family::Logical) {
        binder.Fail(kErrTypeMismatch, expr.args[0]->position,
                    "Type mismatch: a condition must be logical, not " +
                        TypeName(condition->type.type) + binder.At(expr.args[0]->position));
    }
    std::optional<Type> type = CommonType(args[1]->type, args[2]->type);
    if (!type) {
        binder.Fail(kErrTypeMismatch, c.position,
                    "Type mismatch: IIF results " + TypeName(args[1]->type.type) + " and " +
                        TypeName(args[2]->type.type) + " do not go together" +
                        binder.At(c.position));
    }
    ExprPtr node = std::make_unique<bound::Expr>();
    node->kind = Kind::Case;
    node->type = *type;
    node->position = c.position;
    node->hasElse = true;
    node->args.push_back(std::move(condition));
    for (size_t i = 1; i < 3; ++i) {
        if (FamilyOf(args[i]->type.type) != FamilyOf(type->type) ||
            NeedsConversion(args[i]->type.type, type->type)) {
            args[i] = binder.Convert(std::move(args[i]), *type, expr.args[i]->position, "");
        }
        node->args.push_back(std::move(args[i]));
    }
    for (const ExprPtr& arg : node->args) node->aggregate = node->aggregate || arg->aggregate;
    return node;
}

ExprPtr BindCoalesce(FunctionCall& c) {
    const ast::Expr& expr = c.expr;
    std::vector<ExprPtr>& args = c.args;
    Type type{kUnknownType, 0, 0};
    for (size_t i = 0; i < args.size(); ++i) {
        std::optional<Type> common = CommonType(type, args[i]->type);
        if (!common) {
            c.binder.Fail(kErrTypeMismatch, expr.args[i]->position,
                          "Type mismatch: " + c.name + " arguments " + TypeName(type.type) +
                              " and " + TypeName(args[i]->type.type) + " do not go together" +
                              c.binder.At(expr.args[i]->position));
        }
        type = *common;
    }
    for (size_t i = 0; i < args.size(); ++i) {
        if (type.type != kUnknownType && (FamilyOf(args[i]->type.type) != FamilyOf(type.type) ||
                                          NeedsConversion(args[i]->type.type, type.type))) {
            args[i] = c.binder.Convert(std::move(args[i]), type, expr.args[i]->position, "");
        }
    }
    if (args.size() == 1) args.push_back(std::make_unique<bound::Expr>());  // coalesce(x, NULL)
    return c.Call("coalesce", type);
}

// The functions of the dialect: the number of arguments each takes and the binder that checks
// them and writes the SQL. The aggregates have no binder: Binder::BindAggregate binds them.
using FunctionBinder = ExprPtr (*)(FunctionCall&);

struct Function {
    std::string_view name;
    size_t minArgs;
    size_t maxArgs;  // SIZE_MAX: any number
    FunctionBinder bind;
};

constexpr Function kFunctions[] = {
    {"TRIM", 1, 1, BindTrim},
    {"LTRIM", 1, 1, BindTrim},
    {"RTRIM", 1, 1, BindTrim},
    {"UPPER", 1, 1, BindCase},
    {"UCASE", 1, 1, BindCase},
    {"LOWER", 1, 1, BindCase},
    {"LCASE", 1, 1, BindCase},
    {"LEFT", 2, 2, BindLeftRight},
    {"RIGHT", 2, 2, BindLeftRight},
    {"SUBSTRING", 2, 3, BindSubstring},
    {"LENGTH", 1, 1, BindLength},
    {"LEN", 1, 1, BindLength},
    {"CHAR_LENGTH", 1, 1, BindCharLength},
    {"CHARACTER_LENGTH", 1, 1, BindCharLength},
    {"CONCAT", 2, SIZE_MAX, BindConcat},
    {"REPLACE", 3, 3, BindReplace},
    {"SPACE", 1, 1, BindSpace},
    {"POSITION", 2, 2, BindPosition},
    {"LOCATE", 2, 3, BindPosition},
    {"CURDATE", 0, 0, BindCurrentDate},
    {"CURRENT_DATE", 0, 0, BindCurrentDate},
    {"CURTIME", 0, 0, BindCurrentTime},
    {"NOW", 0, 0, BindCurrentTime},
    {"CURRENT_TIME", 0, 0, BindCurrentTime},
    {"CURRENT_TIMESTAMP", 0, 0, BindCurrentTime},
    {"YEAR", 1, 1, BindDatePart},
    {"MONTH", 1, 1, BindDatePart},
    {"DAYOFMONTH", 1, 1, BindDatePart},
    {"DAYOFWEEK", 1, 1, BindDatePart},
    {"QUARTER", 1, 1, BindDatePart},
    {"WEEK", 1, 1, BindDatePart},
    {"HOUR", 1, 1, BindTimePart},
    {"MINUTE", 1, 1, BindTimePart},
    {"SECOND", 1, 1, BindTimePart},
    {"EXTRACT", 1, 1, BindExtract},
    {"DAYNAME", 1, 1, BindDateName},
    {"MONTHNAME", 1, 1, BindDateName},
    {"TIMESTAMPADD", 3, 3, BindTimestampAdd},
    {"TIMESTAMPDIFF", 3, 3, BindTimestampDiff},
    {"ABS", 1, 1, BindRounding},
    {"ROUND", 1, 2, BindRounding},
    {"FLOOR", 1, 1, BindRounding},
    {"CEILING", 1, 1, BindRounding},
    {"MOD", 2, 2, BindMod},
    {"IIF", 3, 3, BindIif},
    {"IFNULL", 2, 2, BindCoalesce},
    {"COALESCE", 1, SIZE_MAX, BindCoalesce},
    {"NULLIF", 2, 2, BindNullIf},
    {"COUNT", 1, 1, nullptr},
    {"SUM", 1, 1, nullptr},
    {"AVG", 1, 1, nullptr},
    {"MIN", 1, 1, nullptr},
    {"MAX", 1, 1, nullptr},
};

}  // namespace

ExprPtr Binder::BindFunction(const ast::Expr& expr, Scope& scope) {
    const std::string& name = expr.text;
    const size_t position = expr.position;
    const Function* function = nullptr;
    for (const Function& candidate : kFunctions) {
        if (candidate.name == name) function = &candidate;
    }
    if (!function)
        Fail(kErrUnknownFunction, position, "Unknown function \"" + name + "\"" + At(position));
    const bool aggregate = function->bind == nullptr;
    const size_t count = expr.star ? 1 : expr.args.size();
    // TRIM(LEADING c FROM x) takes the character as a second argument.
    const size_t maxArgs = name == "TRIM" && !expr.qualifier.empty() ? 2 : function->maxArgs;
    if (count < function->minArgs || count > maxArgs) {
        Fail(kErrArgumentCount, position,
             "Wrong number of arguments for function " + name + ": " + std::to_string(count) +
                 At(position));
    }
    if ((expr.distinct || expr.star) && !aggregate) {
        Fail(kErrSyntax, position,
             "DISTINCT and * belong only in aggregate functions" + At(position));
    }
    if (aggregate) return BindAggregate(expr, scope);

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
    FunctionCall call{*this, expr, name, position, interval, {}};
    for (size_t i = interval == 0 ? 0 : 1; i < expr.args.size(); ++i)
        call.args.push_back(BindExpr(*expr.args[i], scope));
    return function->bind(call);
}

ExprPtr Binder::BindAggregate(const ast::Expr& expr, Scope& scope) {
    const std::string& name = expr.text;
    const size_t position = expr.position;
    if (!scope.aggregatesAllowed) {
        Fail(kErrAggregate, position,
             "Aggregate function " + name + " is not allowed here" + At(position));
    }
    if (insideAggregate_) {
        Fail(kErrAggregate, position,
             "Aggregate function " + name + " cannot be nested" + At(position));
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

ExprPtr Binder::BindCast(const ast::Expr& expr, Scope& scope) {
    ExprPtr value = BindExpr(*expr.args[0], scope);
    const ast::TypeName& typeName = expr.castType;
    TypeNameResult read = ReadTypeName(typeName.name, typeName.length, typeName.decimals, true);
    if (!read.error.empty())
        Fail(kErrInvalidType, typeName.position, read.error + At(typeName.position));
    Type target = read.type;
    if (target.length == 0) {
        // CHAR, VARCHAR, RAW without a length: as long as the value needs.
        const Family from =
            value->type.type == kUnknownType ? Family::Unknown : FamilyOf(value->type.type);
        target.length = from == Family::Text            ? std::max<uint32_t>(value->type.length, 1)
                        : from == Family::Date          ? 10
                        : from == Family::Time          ? 12
                        : from == Family::Timestamp     ? 23
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
