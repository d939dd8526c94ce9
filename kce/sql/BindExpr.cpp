#include "kce/sql/BinderImpl.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "kce/sql/DateText.h"
#include "kce/sql/Lexer.h"
#include "kce/sql/NativeError.h"
#include "kce/sql/Numbers.h"
#include "kce/sql/Text1252.h"
#include "kce/sql/Types.h"

namespace kce::sql::binder {

using bound::ExprPtr;
using bound::Kind;
using bound::Type;

namespace {

ExprPtr Node(Kind kind, Type type, size_t position) {
    auto node = std::make_unique<bound::Expr>();
    node->kind = kind;
    node->type = type;
    node->position = position;
    return node;
}

// Marks a node aggregated when a child is (subqueries excluded: they aggregate on their own).
ExprPtr Finish(ExprPtr node) {
    for (const ExprPtr& arg : node->args) node->aggregate = node->aggregate || arg->aggregate;
    return node;
}

Family FamilyOrUnknown(const ExprPtr& e) {
    return e->type.type == kUnknownType ? Family::Unknown : FamilyOf(e->type.type);
}

std::optional<double> ReadNumber(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    if (text.empty()) return std::nullopt;
    double value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

// The text of a number literal, with its sign when it is negated: 12, -3.5, 1e3.
std::optional<std::string> NumberLiteral(const bound::Expr& e) {
    if (e.kind == Kind::Integer || e.kind == Kind::Real) return e.text;
    if (e.kind == Kind::Unary && e.text == "-" &&
        (e.args[0]->kind == Kind::Integer || e.args[0]->kind == Kind::Real)) {
        return "-" + e.args[0]->text;
    }
    return std::nullopt;
}

bool IsComparison(const std::string& op) {
    return op == "=" || op == "<>" || op == "<" || op == "<=" || op == ">" || op == ">=";
}

uint32_t SumLengths(uint32_t a, uint32_t b) {
    const uint64_t sum = uint64_t{a} + b;
    return sum > 65000 ? 65000 : static_cast<uint32_t>(sum);
}

// Whether the SQL value of `e` never ends in a blank. Stored fixed text is kept without its
// trailing blanks, and so is fixed text a derived table delivers (its items are trimmed for
// output); TRIM and RTRIM remove them, and changing case keeps them out.
bool EndsWithoutBlank(const bound::Expr& e) {
    switch (e.kind) {
        case Kind::Null:
            return true;
        case Kind::Column:
            return IsFixedText(e.type.type);
        case Kind::Text:
            return e.text.empty() || e.text.back() != ' ';
        case Kind::Call:
            if (e.text == "trim" || e.text == "rtrim") return e.args.size() == 1;
            if (e.text == "kce_totext")
                return e.args[2]->kind == Kind::Integer && e.args[2]->text == "1";
            if (e.text == "kce_upper" || e.text == "kce_lower")
                return EndsWithoutBlank(*e.args.front());
            return false;
        default:
            return false;
    }
}

// A text comparison under RTRIM (trailing blanks not counted) is a plain byte comparison when no
// operand ends in a blank. Text literals lose their trailing blanks here, at compile time, so a
// comparison of stored fixed text with a literal or another stored column needs no collation:
// SQLite then compares bytes and uses the plain indexes of the columns. `extra` is false when an
// operand outside `node.args` (the column of an IN subquery) may end in a blank.
void DropBlankCollation(bound::Expr& node, bool extra = true) {
    if (node.collation != "RTRIM" || !extra) return;
    for (const ExprPtr& arg : node.args) {
        if (arg->kind != Kind::Text && !EndsWithoutBlank(*arg)) return;
    }
    for (const ExprPtr& arg : node.args) {
        if (arg->kind != Kind::Text) continue;
        while (!arg->text.empty() && arg->text.back() == ' ') arg->text.pop_back();
    }
    node.collation.clear();
}

}  // namespace

void Binder::Fail(int nativeError, size_t position, const std::string& message) const {
    throw SqlError(nativeError, position, message);
}

std::string Binder::At(size_t position) const {
    return " at " + DescribePosition(sql_, position) + ".";
}

ExprPtr Binder::MakeCall(std::string name, Type type, std::vector<ExprPtr> args) {
    ExprPtr call = Node(Kind::Call, type, args.empty() ? 0 : args.front()->position);
    call->text = std::move(name);
    call->args = std::move(args);
    return Finish(std::move(call));
}

ExprPtr Binder::MakeText(std::string value) {
    const uint32_t length = static_cast<uint32_t>(std::max<size_t>(value.size(), 1));
    ExprPtr text = Node(Kind::Text, Type{kChar, length, 0}, 0);
    text->text = std::move(value);
    text->fixedWidth = true;
    return text;
}

ExprPtr Binder::MakeInteger(int64_t value) {
    ExprPtr number = Node(Kind::Integer, MakeType(kInteger), 0);
    number->text = std::to_string(value);
    return number;
}

ExprPtr Binder::AsAmount(ExprPtr value) {
    if (!IsMoneyType(value->type.type)) return value;
    ExprPtr scale = Node(Kind::Real, MakeType(kDouble), value->position);
    scale->text = "10000.0";
    ExprPtr amount = Node(Kind::Binary, MakeType(kDouble), value->position);
    amount->text = "/";
    amount->args.push_back(std::move(value));
    amount->args.push_back(std::move(scale));
    return Finish(std::move(amount));
}

void Binder::MatchMoney(const ExprPtr& value, ExprPtr& other) {
    if (FamilyOrUnknown(value) == Family::Number && !IsMoneyType(value->type.type) &&
        IsMoneyType(other->type.type)) {
        other = AsAmount(std::move(other));
    }
}

ExprPtr Binder::Padded(ExprPtr value) {
    if (!value->fixedWidth || !IsFixedText(value->type.type) || value->kind == Kind::Text ||
        value->kind == Kind::Pad || (value->kind == Kind::Binary && value->text == "||")) {
        return value;
    }
    ExprPtr pad = Node(Kind::Pad, value->type, value->position);
    pad->index = value->type.length;
    pad->fixedWidth = true;
    pad->args.push_back(std::move(value));
    return Finish(std::move(pad));
}

ExprPtr Binder::ForOutput(ExprPtr value) {
    if (value->type.type == kUnknownType) {
        std::vector<ExprPtr> args;
        args.push_back(std::move(value));
        args.push_back(MakeInteger(0));
        args.push_back(MakeInteger(0));
        args.push_back(MakeText(""));
        return MakeCall("kce_totext", Type{kVarChar, 255, 0}, std::move(args));
    }
    if (IsFixedText(value->type.type) && value->kind != Kind::Column) {
        Type type = value->type;
        std::vector<ExprPtr> args;
        args.push_back(std::move(value));
        return MakeCall("rtrim", type, std::move(args));
    }
    return value;
}

// A money count as the decimal text of its amount, exact to the last ten-thousandth.
static ExprPtr MoneyAsText(Binder& b, ExprPtr value) {
    std::vector<ExprPtr> args;
    args.push_back(std::move(value));
    return b.MakeCall("kce_moneytext", Type{kVarChar, 21, 0}, std::move(args));
}

// Converts a text literal or any text, parameter or NULL to a value of `target`'s family, for a
// comparison or an operand; `what` names the column for messages (may be empty).
static ExprPtr ConvertLoose(Binder& b, ExprPtr value, const Type& target, const std::string& what) {
    const Family family = FamilyOf(target.type);
    if (value->kind == Kind::Null) {
        value->type = target;
        return value;
    }
    const std::string& format = b.settings_.dateFormat;
    const std::string suffix = what.empty() ? std::string() : " for column \"" + what + "\"";
    if (value->kind == Kind::Text) {
        const size_t position = value->position;
        std::optional<std::string> converted;
        std::string kindName;
        switch (family) {
            case Family::Date:
                converted = ReadDate(value->text, format);
                kindName = "date";
                break;
            case Family::Timestamp:
                converted = ReadTimestamp(value->text, format);
                kindName = "timestamp";
                break;
            case Family::Time:
                converted = ReadTime(value->text);
                kindName = "time";
                break;
            case Family::Number: {
                std::optional<double> number = ReadNumber(value->text);
                if (!number) {
                    b.Fail(kErrInvalidValue, position,
                           "Text '" + value->text + "' is not a valid number" + suffix +
                               b.At(position));
                }
                ExprPtr result = Node(Kind::Real, MakeType(kDouble), position);
                char buffer[40];
                auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, *number);
                result->text.assign(buffer, end);
                if (result->text.find_first_of(".e") == std::string::npos) result->text += ".0";
                return result;
            }
            default:
                return value;
        }
        if (!converted) {
            b.Fail(
                kErrInvalidDate, position,
                "Text '" + value->text + "' is not a valid " + kindName + suffix + b.At(position));
        }
        ExprPtr result = b.MakeText(*converted);
        result->type = MakeType(target.type);
        result->fixedWidth = false;
        result->position = position;
        return result;
    }
    const Family from = FamilyOrUnknown(value);
    if (family == Family::Number && IsMoneyType(target.type) && !IsMoneyType(value->type.type)) {
        const size_t position = value->position;
        return b.Convert(std::move(value), target, position, what);
    }
    if (from == family && IsMoneyType(value->type.type) && !IsMoneyType(target.type)) {
        return b.AsAmount(std::move(value));
    }
    if (from == family) return value;
    if (IsMoneyType(value->type.type))
        value = family == Family::Text ? MoneyAsText(b, std::move(value))
                                       : b.AsAmount(std::move(value));
    std::vector<ExprPtr> args;
    args.push_back(std::move(value));
    switch (family) {
        case Family::Text:
            args.push_back(b.MakeInteger(0));
            args.push_back(b.MakeInteger(0));
            args.push_back(b.MakeText(what));
            return b.MakeCall("kce_totext", Type{kVarChar, target.length, 0}, std::move(args));
        case Family::Number:
            args.push_back(b.MakeText(what));
            return b.MakeCall("kce_tonumber", MakeType(kDouble), std::move(args));
        case Family::Logical:
            args.push_back(b.MakeText(what));
            return b.MakeCall("kce_tological", MakeType(kLogical), std::move(args));
        case Family::Date:
            args.push_back(b.MakeText(format));
            args.push_back(b.MakeText(what));
            return b.MakeCall("kce_todate", MakeType(kDate), std::move(args));
        case Family::Timestamp:
            args.push_back(b.MakeText(format));
            args.push_back(b.MakeText(what));
            return b.MakeCall("kce_totimestamp", MakeType(kTimestamp), std::move(args));
        case Family::Time:
            args.push_back(b.MakeText(what));
            return b.MakeCall("kce_totime", MakeType(kTime), std::move(args));
        case Family::Binary:
            return b.MakeCall("kce_toblob", MakeType(kBinary), std::move(args));
        default:
            return std::move(args.front());
    }
}

// A parameter compared with fixed text is read as text without its trailing blanks: they do not
// count in such a comparison, and without them the comparison needs no collation.
static void TrimForFixedText(ExprPtr& converted, const Type& other) {
    if (IsFixedText(other.type) && converted->kind == Kind::Call &&
        converted->text == "kce_totext") {
        converted->args[2]->text = "1";
    }
}

// A plain number compared with a money count: a literal that is a whole number of
// ten-thousandths becomes a count (so the comparison stays exact and uses the column's indexes);
// anything else compares with the amount the count stands for.
std::string Binder::Unify(ExprPtr& a, ExprPtr& b, size_t position, std::string_view what) {
    std::string collation = UnifyFamilies(a, b, position, what);
    if (FamilyOrUnknown(a) != Family::Number || FamilyOrUnknown(b) != Family::Number ||
        IsMoneyType(a->type.type) == IsMoneyType(b->type.type)) {
        return collation;
    }
    ExprPtr& money = IsMoneyType(a->type.type) ? a : b;
    ExprPtr& other = IsMoneyType(a->type.type) ? b : a;
    if (std::optional<std::string> literal = NumberLiteral(*other)) {
        const ScaledDecimal scaled = ScaleDecimal(*literal);
        if (scaled.status == ScaledDecimal::Status::Ok && scaled.exact) {
            ExprPtr count = Node(Kind::Integer, money->type, other->position);
            count->text = std::to_string(scaled.count);
            other = std::move(count);
            return collation;
        }
    }
    money = AsAmount(std::move(money));
    return collation;
}

// What a value compared with a value of `type` is converted to: money compares as an amount.
static Type Comparable(const Type& type) {
    return IsMoneyType(type.type) ? MakeType(kDouble) : type;
}

std::string Binder::UnifyFamilies(ExprPtr& a, ExprPtr& b, size_t position, std::string_view what) {
    const Family fa = FamilyOrUnknown(a);
    const Family fb = FamilyOrUnknown(b);
    if (fa == Family::Unknown && fb == Family::Unknown) return {};
    if (fa == Family::Unknown) {
        a = ConvertLoose(*this, std::move(a), Comparable(b->type), "");
        TrimForFixedText(a, b->type);
        return ComparisonCollation(a->type, b->type);
    }
    if (fb == Family::Unknown) {
        b = ConvertLoose(*this, std::move(b), Comparable(a->type), "");
        TrimForFixedText(b, a->type);
        return ComparisonCollation(a->type, b->type);
    }
    if (fa == fb) return fa == Family::Text ? ComparisonCollation(a->type, b->type) : std::string();
    auto isDateLike = [](Family f) { return f == Family::Date || f == Family::Timestamp; };
    if (isDateLike(fa) && isDateLike(fb)) {
        ExprPtr& date = fa == Family::Date ? a : b;
        date = ConvertLoose(*this, std::move(date), MakeType(kTimestamp), "");
        return {};
    }
    // Text meets a date, time or number: the text is read as one.
    if (fa == Family::Text && fb != Family::Binary && fb != Family::Logical) {
        a = ConvertLoose(*this, std::move(a), Comparable(b->type), "");
        return {};
    }
    if (fb == Family::Text && fa != Family::Binary && fa != Family::Logical) {
        b = ConvertLoose(*this, std::move(b), Comparable(a->type), "");
        return {};
    }
    Fail(kErrTypeMismatch, position,
         "Type mismatch: " + TypeName(a->type.type) + " and " + TypeName(b->type.type) +
             " cannot be " + std::string(what) + At(position));
}

namespace {

// The bytes of DOUBLE's null mark in the native record (a subnormal negative number).
constexpr uint64_t kNullDoubleBits = 0x8000000000000020ull;

std::string ForColumn(const std::string& columnName) {
    return columnName.empty() ? std::string() : " for column \"" + columnName + "\"";
}

}  // namespace

// A value stored as MONEY or CURRENCY: the count of ten-thousandths. Literals are scaled exactly
// while compiling; other values are checked while the statement runs.
static ExprPtr ToMoney(Binder& b, ExprPtr value, const Type& target,
                       const std::string& columnName) {
    const size_t position = value->position;
    std::optional<std::string> literal =
        value->kind == Kind::Text ? std::optional<std::string>(value->text) : NumberLiteral(*value);
    if (literal) {
        const ScaledDecimal scaled = ScaleDecimal(*literal);
        if (scaled.status == ScaledDecimal::Status::NotANumber) {
            b.Fail(kErrInvalidValue, position,
                   "Text '" + *literal + "' is not a valid number" + ForColumn(columnName) +
                       b.At(position));
        }
        if (scaled.status == ScaledDecimal::Status::OutOfRange) {
            b.Fail(
                kErrInvalidValue, position,
                "Value " + *literal + " is out of range" + ForColumn(columnName) + b.At(position));
        }
        ExprPtr count = Node(Kind::Integer, target, position);
        count->text = std::to_string(scaled.count);
        return count;
    }
    const uint16_t source = value->type.type;
    if (value->kind == Kind::Column && value->stored &&
        (IsMoneyType(source) || source == kShortInt || source == kInteger || source == kAutoInc)) {
        if (IsMoneyType(source)) {
            value->type = target;
            return value;
        }
        // A 32-bit integer times 10000 always fits a count.
        ExprPtr node = Node(Kind::Binary, target, position);
        node->text = "*";
        node->args.push_back(std::move(value));
        node->args.push_back(b.MakeInteger(kMoneyScale));
        return Finish(std::move(node));
    }
    std::vector<ExprPtr> args;
    args.push_back(std::move(value));
    args.push_back(b.MakeInteger(IsMoneyType(source) ? 1 : 0));
    args.push_back(b.MakeText(columnName));
    return b.MakeCall("kce_tomoney", target, std::move(args));
}

// A value stored in an integer column, never the value whose bytes are the type's null mark.
static ExprPtr ToInteger(Binder& b, ExprPtr number, const std::optional<std::string>& literal,
                         const Type& target, const std::string& columnName) {
    const uint16_t source = number->type.type;
    const size_t position = number->position;
    const bool integerLiteral = literal && IsIntegerType(source) && number->kind != Kind::Column;
    if (integerLiteral) {
        int64_t v = 0;
        auto [end, ec] = std::from_chars(literal->data(), literal->data() + literal->size(), v);
        if (ec != std::errc() || end != literal->data() + literal->size() ||
            !IntegerFits(target.type, v)) {
            b.Fail(
                kErrInvalidValue, position,
                "Value " + *literal + " is out of range" + ForColumn(columnName) + b.At(position));
        }
        ExprPtr node = Node(Kind::Integer, target, position);
        node->text = *literal;
        return node;
    }
    // A stored column holds only values its type allows; those of a narrower range pass as they
    // are.
    if (number->kind == Kind::Column && number->stored && IsIntegerType(source) &&
        (source == target.type || target.type == kBigInt ||
         (source == kShortInt && target.type == kInteger))) {
        number->type = target;
        return number;
    }
    std::vector<ExprPtr> args;
    args.push_back(std::move(number));
    args.push_back(b.MakeInteger(target.type));
    args.push_back(b.MakeInteger(IsMoneyType(source) ? kMoneyScale : 1));
    args.push_back(b.MakeText(columnName));
    return b.MakeCall("kce_tointeger", target, std::move(args));
}

// Characters of the widest value of an integer type (sign included).
static uint32_t IntegerWidth(uint16_t type) {
    return type == kShortInt ? 6 : type == kBigInt ? 20 : 11;
}

// Characters before the decimals (sign and point included) of a NUMERIC type.
static uint32_t WholeWidth(const Type& type) {
    return type.length - type.decimals;
}

// A value stored as NUMERIC(l,d): rounded to d decimals, refused when its text is wider than l.
static ExprPtr ToNumeric(Binder& b, ExprPtr number, const std::optional<std::string>& literal,
                         bool column, const Type& target, const std::string& columnName) {
    const uint16_t source = number->type.type;
    const uint16_t decimals = target.decimals;
    const std::string typeName =
        "NUMERIC(" + std::to_string(target.length) + "," + std::to_string(decimals) + ")";
    if (literal) {
        const std::optional<double> v = ReadNumber(*literal);
        if (v && !NumericFits(*v, target.length, decimals)) {
            const size_t position = number->position;
            b.Fail(
                kErrInvalidValue, position,
                "Value " + *literal + " is too wide" +
                    (columnName.empty() ? " for " + typeName
                                        : " for column \"" + columnName + "\" (" + typeName + ")") +
                    b.At(position));
        }
    }
    if (column && source == kNumeric && number->type.decimals <= decimals &&
        WholeWidth(number->type) + (number->type.decimals == 0 && decimals > 0 ? 1 : 0) <=
            WholeWidth(target)) {
        number->type = target;
        return number;
    }
    if ((column || literal) && IsIntegerType(source) &&
        IntegerWidth(source) + decimals + (decimals > 0 ? 1 : 0) <= target.length) {
        // Integers stored in a REAL column keep their value; SQLite's affinity makes it real.
        std::vector<ExprPtr> args;
        args.push_back(std::move(number));
        return b.MakeCall("kce_toreal", target, std::move(args));
    }
    if (literal) {
        std::vector<ExprPtr> args;
        args.push_back(std::move(number));
        args.push_back(b.MakeInteger(decimals));
        return b.MakeCall("round", target, std::move(args));
    }
    std::vector<ExprPtr> args;
    args.push_back(std::move(number));
    args.push_back(b.MakeInteger(target.length));
    args.push_back(b.MakeInteger(decimals));
    args.push_back(b.MakeText(columnName));
    return b.MakeCall("kce_tonumeric", target, std::move(args));
}

ExprPtr Binder::Convert(ExprPtr value, const Type& target, size_t position,
                        const std::string& columnName) {
    const Family to = FamilyOf(target.type);
    const Family from = FamilyOrUnknown(value);
    const std::string suffix =
        columnName.empty() ? std::string() : " for column \"" + columnName + "\"";
    if (value->kind == Kind::Null) {
        value->type = target;
        return value;
    }
    const bool isLiteral = value->kind == Kind::Text;
    if (to == Family::Text) {
        const bool fixed = IsFixedText(target.type);
        const uint32_t limit = target.type == kMemo ? 0 : target.length;
        if (isLiteral) {
            std::string text = value->text;
            if (fixed) {
                while (!text.empty() && text.back() == ' ') text.pop_back();
            }
            if (limit != 0 && text.size() > limit) {
                Fail(kErrValueTooLong, value->position,
                     "Value '" + value->text + "' is too long" + suffix + " (" +
                         TypeName(target.type) + "(" + std::to_string(limit) + "))" +
                         At(value->position));
            }
            ExprPtr result = MakeText(std::move(text));
            result->type = target;
            result->position = value->position;
            return result;
        }
        if (from == Family::Text && (limit == 0 || value->type.length <= limit)) {
            if (fixed && value->kind != Kind::Column) {
                std::vector<ExprPtr> args;
                args.push_back(std::move(value));
                return MakeCall("rtrim", target, std::move(args));
            }
            value->type = target;
            return value;
        }
        if (from == Family::Binary) {
            Fail(kErrTypeMismatch, position,
                 "Type mismatch: " + TypeName(value->type.type) + " cannot be converted to " +
                     TypeName(target.type) + suffix + At(position));
        }
        if (IsMoneyType(value->type.type)) value = MoneyAsText(*this, std::move(value));
        std::vector<ExprPtr> args;
        args.push_back(std::move(value));
        args.push_back(MakeInteger(limit));
        args.push_back(MakeInteger(fixed ? 1 : 0));
        args.push_back(MakeText(columnName));
        return MakeCall("kce_totext", target, std::move(args));
    }
    if (from != Family::Unknown && from != Family::Text && from != to &&
        !(to == Family::Logical && from == Family::Number) &&
        !(to == Family::Timestamp && from == Family::Date) &&
        !(to == Family::Date && from == Family::Timestamp)) {
        Fail(kErrTypeMismatch, position,
             "Type mismatch: " + TypeName(value->type.type) + " cannot be converted to " +
                 TypeName(target.type) + suffix + At(position));
    }
    if (to == Family::Number) {
        if (IsMoneyType(target.type)) return ToMoney(*this, std::move(value), target, columnName);
        std::optional<std::string> literal = NumberLiteral(*value);
        ExprPtr number = from == Family::Number
                             ? std::move(value)
                             : ConvertLoose(*this, std::move(value), MakeType(kDouble), columnName);
        const bool column = number->kind == Kind::Column && number->stored;
        if (IsIntegerType(target.type))
            return ToInteger(*this, std::move(number), literal, target, columnName);
        number = AsAmount(std::move(number));
        const uint16_t source = number->type.type;
        if (target.type == kNumeric)
            return ToNumeric(*this, std::move(number), literal, column, target, columnName);
        // DOUBLE: integers become reals; a computed value could be DOUBLE's null mark.
        if (IsIntegerType(source)) {
            std::vector<ExprPtr> args;
            args.push_back(std::move(number));
            return MakeCall("kce_toreal", target, std::move(args));
        }
        if (literal) {
            const std::optional<double> v = ReadNumber(*literal);
            uint64_t bits = 0;
            if (v) std::memcpy(&bits, &*v, sizeof bits);
            if (bits == kNullDoubleBits) {
                Fail(kErrInvalidValue, number->position,
                     "Value " + *literal + " is out of range" + suffix + At(number->position));
            }
        } else if (number->kind == Kind::Call && number->text == "kce_tonumber") {
            number->text = "kce_todouble";  // same arguments: it reads the text and checks the mark
        } else if (!(column && source == kDouble)) {
            std::vector<ExprPtr> args;
            args.push_back(std::move(number));
            args.push_back(MakeText(columnName));
            return MakeCall("kce_todouble", target, std::move(args));
        }
        number->type = target;
        return number;
    }
    if (to == Family::Binary) {
        if (from == Family::Binary) {
            value->type = target;
            return value;
        }
        std::vector<ExprPtr> args;
        args.push_back(std::move(value));
        return MakeCall("kce_toblob", target, std::move(args));
    }
    ExprPtr converted = ConvertLoose(*this, std::move(value), target, columnName);
    if (FamilyOf(converted->type.type) == Family::Timestamp && to == Family::Date) {
        std::vector<ExprPtr> args;
        args.push_back(std::move(converted));
        args.push_back(MakeText(settings_.dateFormat));
        args.push_back(MakeText(columnName));
        converted = MakeCall("kce_todate", target, std::move(args));
    }
    converted->type = target;
    converted->fixedWidth = false;
    return converted;
}

ExprPtr Binder::BindCondition(const ast::Expr& expr, Scope& scope) {
    ExprPtr value = BindExpr(expr, scope);
    const Family family = FamilyOrUnknown(value);
    if (family == Family::Logical) return value;
    if (family == Family::Unknown)
        return ConvertLoose(*this, std::move(value), MakeType(kLogical), "");
    Fail(kErrTypeMismatch, expr.position,
         "Type mismatch: a condition must be logical, not " + TypeName(value->type.type) +
             At(expr.position));
}

namespace {

struct ColumnMatch {
    const ScopeSource* source = nullptr;
    const ScopeColumn* column = nullptr;
};

const ScopeColumn* FindColumn(const ScopeSource& source, const std::string& name) {
    for (const ScopeColumn& column : source.columns) {
        if (EqualsNoCase(column.name, name)) return &column;
    }
    return nullptr;
}

}  // namespace

static ExprPtr BindColumn(Binder& b, const ast::Expr& expr, Scope& scope) {
    ColumnMatch match;
    for (Scope* s = &scope; s && !match.column; s = s->outer) {
        if (!expr.qualifier.empty()) {
            for (const ScopeSource& source : s->sources) {
                if (!EqualsNoCase(source.name, expr.qualifier)) continue;
                const ScopeColumn* column = FindColumn(source, expr.text);
                if (!column) {
                    b.Fail(kErrUnknownColumn, expr.position,
                           "Column \"" + expr.qualifier + "." + expr.text + "\" not found" +
                               b.At(expr.position));
                }
                match = {&source, column};
                break;
            }
            continue;
        }
        for (const ScopeSource& source : s->sources) {
            const ScopeColumn* column = FindColumn(source, expr.text);
            if (!column) continue;
            if (match.column) {
                b.Fail(kErrAmbiguousColumn, expr.position,
                       "Column \"" + expr.text + "\" is ambiguous: it is in \"" +
                           match.source->name + "\" and \"" + source.name + "\"" +
                           b.At(expr.position));
            }
            match = {&source, column};
        }
        // In GROUP BY and HAVING a name that is no column of the query's own tables may be an
        // alias of the select list; columns of enclosing queries come after it.
        if (!match.column && s == &scope && scope.aliases) {
            for (const ScopeAlias& alias : *scope.aliases) {
                if (!EqualsNoCase(alias.name, expr.text)) continue;
                if (b.insideAggregate_ && alias.value->aggregate) {
                    b.Fail(kErrAggregate, expr.position,
                           "Alias \"" + expr.text +
                               "\" stands for an aggregate, which cannot be nested" +
                               b.At(expr.position));
                }
                return CloneExpr(*alias.value);
            }
        }
    }
    if (!match.column) {
        if (!expr.qualifier.empty()) {
            b.Fail(kErrUnknownTable, expr.position,
                   "Table or alias \"" + expr.qualifier + "\" not found" + b.At(expr.position));
        }
        b.Fail(kErrUnknownColumn, expr.position,
               "Column \"" + expr.text + "\" not found" + b.At(expr.position));
    }
    // SQLite evaluates an aggregate over a column of an enclosing query in that query, not in the
    // subquery where it is written: the statement would then fail to prepare, or count the wrong
    // rows. Such an aggregate is refused.
    if (b.insideAggregate_) {
        bool own = false;
        for (const ScopeSource& source : scope.sources) own = own || &source == match.source;
        if (!own) {
            b.Fail(kErrAggregate, expr.position,
                   "Aggregate function cannot take column \"" + expr.text +
                       "\" of an enclosing query" + b.At(expr.position));
        }
    }
    ExprPtr node = Node(Kind::Column, match.column->type, expr.position);
    node->source = match.source->alias;
    node->text = match.column->sqlName;
    node->fixedWidth = match.column->fixedWidth;
    node->stored = match.source->stored;
    return node;
}

ExprPtr Binder::ConcatValues(ExprPtr left, ExprPtr right, size_t position) {
    Binder& b = *this;
    if (FamilyOrUnknown(left) == Family::Unknown)
        left = ConvertLoose(b, std::move(left), Type{kVarChar, 255, 0}, "");
    if (FamilyOrUnknown(right) == Family::Unknown)
        right = ConvertLoose(b, std::move(right), Type{kVarChar, 255, 0}, "");
    const Type& lt = left->type;
    const Type& rt = right->type;
    Type type;
    if (lt.type == kMemo || rt.type == kMemo) {
        type = MakeType(kMemo);
    } else if (IsFixedText(lt.type) && IsFixedText(rt.type)) {
        type = Type{kChar, SumLengths(lt.length, rt.length), 0};
    } else {
        type = Type{kVarChar, SumLengths(lt.length, rt.length), 0};
    }
    ExprPtr node = Node(Kind::Binary, type, position);
    node->text = "||";
    node->fixedWidth = type.type == kChar && left->fixedWidth && right->fixedWidth;
    node->args.push_back(b.Padded(std::move(left)));
    node->args.push_back(b.Padded(std::move(right)));
    return Finish(std::move(node));
}

ExprPtr Binder::Compare(const std::string& op, ExprPtr a, ExprPtr b, size_t position) {
    std::string collation = Unify(a, b, position, "compared");
    ExprPtr node = Node(Kind::Binary, MakeType(kLogical), position);
    node->text = op;
    node->collation = std::move(collation);
    node->args.push_back(std::move(a));
    node->args.push_back(std::move(b));
    DropBlankCollation(*node);
    return Finish(std::move(node));
}

static Type ArithmeticType(const Type& a, const Type& b) {
    if (IsIntegerType(a.type) && IsIntegerType(b.type)) {
        return MakeType(a.type == kBigInt || b.type == kBigInt ? kBigInt : kInteger);
    }
    return MakeType(kDouble);
}

static ExprPtr BindDateDifference(Binder& b, ExprPtr left, ExprPtr right) {
    std::vector<ExprPtr> args;
    args.push_back(std::move(left));
    args.push_back(std::move(right));
    return b.MakeCall("kce_daysbetween", MakeType(kInteger), std::move(args));
}

static ExprPtr BindBinary(Binder& b, const ast::Expr& expr, Scope& scope) {
    const std::string& op = expr.text;
    const size_t position = expr.position;
    if (op == "AND" || op == "OR") {
        ExprPtr node = Node(Kind::Binary, MakeType(kLogical), position);
        node->text = op;
        node->args.push_back(b.BindCondition(*expr.args[0], scope));
        node->args.push_back(b.BindCondition(*expr.args[1], scope));
        return Finish(std::move(node));
    }
    ExprPtr left = b.BindExpr(*expr.args[0], scope);
    ExprPtr right = b.BindExpr(*expr.args[1], scope);
    if (IsComparison(op)) return b.Compare(op, std::move(left), std::move(right), position);
    const Family fl = FamilyOrUnknown(left);
    const Family fr = FamilyOrUnknown(right);
    auto mismatch = [&](std::string_view verb) {
        b.Fail(kErrTypeMismatch, position,
               "Type mismatch: " + TypeName(left->type.type) + " and " +
                   TypeName(right->type.type) + " cannot be " + std::string(verb) + b.At(position));
    };
    auto isNumberOrUnknown = [](Family f) { return f == Family::Number || f == Family::Unknown; };
    if (op == "||" || (op == "+" && (fl == Family::Text || fr == Family::Text))) {
        const bool ok = (fl == Family::Text || fl == Family::Unknown) &&
                        (fr == Family::Text || fr == Family::Unknown);
        if (!ok) mismatch(op == "+" ? "added" : "concatenated");
        return b.ConcatValues(std::move(left), std::move(right), position);
    }
    // Timestamp arithmetic: timestamp + days, days + timestamp, timestamp - days; a fraction of a
    // day moves the time of day.
    if ((op == "+" && ((fl == Family::Timestamp && isNumberOrUnknown(fr)) ||
                       (fr == Family::Timestamp && isNumberOrUnknown(fl)))) ||
        (op == "-" && fl == Family::Timestamp && isNumberOrUnknown(fr))) {
        ExprPtr& stamp = fl == Family::Timestamp ? left : right;
        ExprPtr& days = fl == Family::Timestamp ? right : left;
        days = ConvertLoose(b, std::move(days), MakeType(kDouble), "");
        if (op == "-") {
            ExprPtr negated = Node(Kind::Unary, days->type, position);
            negated->text = "-";
            negated->args.push_back(std::move(days));
            days = Finish(std::move(negated));
        }
        std::vector<ExprPtr> args;
        args.push_back(std::move(stamp));
        args.push_back(std::move(days));
        args.push_back(b.MakeText("D"));
        ExprPtr call = b.MakeCall("kce_timestampadd", MakeType(kTimestamp), std::move(args));
        call->position = position;
        return call;
    }
    // Date arithmetic: date + days, days + date, date - days, date - date.
    if (op == "+" && ((fl == Family::Date && isNumberOrUnknown(fr)) ||
                      (fr == Family::Date && isNumberOrUnknown(fl)))) {
        ExprPtr& date = fl == Family::Date ? left : right;
        ExprPtr& days = fl == Family::Date ? right : left;
        days = ConvertLoose(b, std::move(days), MakeType(kInteger), "");
        std::vector<ExprPtr> args;
        args.push_back(std::move(date));
        args.push_back(std::move(days));
        return b.MakeCall("kce_adddays", MakeType(kDate), std::move(args));
    }
    if (op == "-" && fl == Family::Date && fr == Family::Text) {
        right = ConvertLoose(b, std::move(right), MakeType(kDate), "");
        return BindDateDifference(b, std::move(left), std::move(right));
    }
    if (op == "-" && fl == Family::Date && (isNumberOrUnknown(fr) || fr == Family::Date)) {
        std::vector<ExprPtr> args;
        if (fr == Family::Date) {
            args.push_back(std::move(left));
            args.push_back(std::move(right));
            return b.MakeCall("kce_daysbetween", MakeType(kInteger), std::move(args));
        }
        ExprPtr negated = Node(Kind::Unary, right->type, position);
        negated->text = "-";
        negated->args.push_back(ConvertLoose(b, std::move(right), MakeType(kInteger), ""));
        args.push_back(std::move(left));
        args.push_back(Finish(std::move(negated)));
        return b.MakeCall("kce_adddays", MakeType(kDate), std::move(args));
    }
    if (!isNumberOrUnknown(fl) || !isNumberOrUnknown(fr)) {
        mismatch(op == "+"   ? "added"
                 : op == "-" ? "subtracted"
                 : op == "*" ? "multiplied"
                             : "divided");
    }
    if (fl == Family::Unknown) left = ConvertLoose(b, std::move(left), MakeType(kDouble), "");
    if (fr == Family::Unknown) right = ConvertLoose(b, std::move(right), MakeType(kDouble), "");
    // Sums and differences of money are integer arithmetic on the counts, so they stay exact; a
    // literal added or subtracted joins as a count when it is a whole number of ten-thousandths.
    // Other arithmetic with money works on the amounts.
    if (op == "+" || op == "-") {
        for (auto [money, other] : {std::pair{&left, &right}, std::pair{&right, &left}}) {
            if (!IsMoneyType((*money)->type.type) || IsMoneyType((*other)->type.type)) continue;
            const std::optional<std::string> literal = NumberLiteral(**other);
            if (!literal) continue;
            const ScaledDecimal scaled = ScaleDecimal(*literal);
            if (scaled.status != ScaledDecimal::Status::Ok || !scaled.exact) continue;
            ExprPtr count = Node(Kind::Integer, (*money)->type, (*other)->position);
            count->text = std::to_string(scaled.count);
            *other = std::move(count);
        }
    }
    Type type = MakeType(kMoney);
    if ((op == "+" || op == "-") && IsMoneyType(left->type.type) && IsMoneyType(right->type.type)) {
        if (left->type.type == kCurDouble && right->type.type == kCurDouble)
            type = MakeType(kCurDouble);
    } else {
        left = b.AsAmount(std::move(left));
        right = b.AsAmount(std::move(right));
        type = ArithmeticType(left->type, right->type);
    }
    ExprPtr node = Node(Kind::Binary, type, position);
    node->text = op;
    node->args.push_back(std::move(left));
    node->args.push_back(std::move(right));
    return Finish(std::move(node));
}

static ExprPtr BindCase(Binder& b, const ast::Expr& expr, Scope& scope) {
    ExprPtr node = Node(Kind::Case, Type{kUnknownType, 0, 0}, expr.position);
    node->hasCaseOperand = expr.hasCaseOperand;
    node->hasElse = expr.hasElse;
    size_t i = 0;
    ExprPtr operand;
    if (expr.hasCaseOperand) operand = b.BindExpr(*expr.args[i++], scope);
    std::vector<ExprPtr> results;
    std::vector<ExprPtr> conditions;
    const size_t end = expr.args.size() - (expr.hasElse ? 1 : 0);
    for (; i + 1 < end; i += 2) {
        if (operand) {
            ExprPtr value = b.BindExpr(*expr.args[i], scope);
            std::string collation = b.Unify(operand, value, expr.args[i]->position, "compared");
            if (!collation.empty()) node->collation = collation;
            conditions.push_back(std::move(value));
        } else {
            conditions.push_back(b.BindCondition(*expr.args[i], scope));
        }
        results.push_back(b.BindExpr(*expr.args[i + 1], scope));
    }
    if (expr.hasElse) results.push_back(b.BindExpr(*expr.args.back(), scope));
    Type type{kUnknownType, 0, 0};
    for (const ExprPtr& result : results) {
        std::optional<Type> common = CommonType(type, result->type);
        if (!common) {
            b.Fail(kErrTypeMismatch, result->position ? result->position : expr.position,
                   "Type mismatch: CASE results " + TypeName(type.type) + " and " +
                       TypeName(result->type.type) + " do not go together" + b.At(expr.position));
        }
        type = *common;
    }
    for (ExprPtr& result : results) {
        if (FamilyOrUnknown(result) != FamilyOf(type.type) ||
            NeedsConversion(result->type.type, type.type)) {
            result = ConvertLoose(b, std::move(result), type, "");
        }
    }
    node->type = type;
    if (operand) {
        for (ExprPtr& condition : conditions) b.MatchMoney(operand, condition);
    }
    if (operand) node->args.push_back(std::move(operand));
    for (size_t k = 0; k < conditions.size(); ++k) {
        node->args.push_back(std::move(conditions[k]));
        node->args.push_back(std::move(results[k]));
    }
    if (expr.hasElse) node->args.push_back(std::move(results.back()));
    return Finish(std::move(node));
}

// An IN subquery of money compared with plain numbers delivers the amounts.
static void AmountsOf(Binder& b, bound::Select& select) {
    for (bound::Core& core : select.cores)
        core.items.front().expr = b.AsAmount(std::move(core.items.front().expr));
    select.columns.front().type = kDouble;
    select.columns.front().length = 8;
}

// The single column of a subquery in IN or scalar position.
static const Column& OnlyColumn(Binder& b, const bound::Select& select, size_t position) {
    if (select.columns.size() != 1) {
        b.Fail(kErrSubqueryColumns, position,
               "Subquery must return one column, not " + std::to_string(select.columns.size()) +
                   b.At(position));
    }
    return select.columns.front();
}

// Whether a select yields one row at most whatever the data: a single select without FROM, with
// TOP 0 or 1, or aggregating without GROUP BY.
static bool AtMostOneRow(const bound::Select& select) {
    if (select.cores.size() != 1) return false;
    const bound::Core& core = select.cores.front();
    if (core.from.empty() || (core.top >= 0 && core.top <= 1)) return true;
    if (!core.groupBy.empty()) return false;
    for (const bound::Item& item : core.items) {
        if (item.expr->aggregate) return true;
    }
    return core.having && core.having->aggregate;
}

ExprPtr Binder::ScalarSubquery(std::unique_ptr<bound::Select> select, size_t position) {
    const Column column = select->columns.front();
    const Type type{column.type, column.length, column.decimals};
    ExprPtr node = Node(Kind::Subquery, type, position);
    node->fixedWidth = IsFixedText(column.type);
    if (AtMostOneRow(*select)) {
        node->select = std::move(select);
        return node;
    }
    // SQLite takes the first row of a scalar subquery and drops the rest. The subquery is read
    // instead as a table of at most two rows, and kce_onerow fails the statement when it has two:
    //   SELECT kce_onerow(count(*), min(tA.c0), message) FROM (SELECT ... LIMIT 2) AS tA
    if (select->cores.size() > 1 || select->cores.front().top >= 0) {
        // Compound or limited already: the limit goes on a select of its own around it.
        bound::Source inner;
        inner.alias = NewAlias();
        inner.subquery = std::move(select);
        bound::Core limited;
        limited.top = 2;
        ExprPtr value = Node(Kind::Column, type, position);
        value->source = inner.alias;
        value->text = "c0";
        limited.items.push_back(bound::Item{std::move(value)});
        limited.from.push_back(std::move(inner));
        select = std::make_unique<bound::Select>();
        select->columns.push_back(column);
        select->cores.push_back(std::move(limited));
    } else {
        select->cores.front().top = 2;
    }
    bound::Source rows;
    rows.alias = NewAlias();
    rows.subquery = std::move(select);
    ExprPtr count = Node(Kind::Call, MakeType(kInteger), position);
    count->text = "count";
    count->star = true;
    count->aggregate = true;
    ExprPtr value = Node(Kind::Column, type, position);
    value->source = rows.alias;
    value->text = "c0";
    std::vector<ExprPtr> minArgs;
    minArgs.push_back(std::move(value));
    ExprPtr first = MakeCall("min", type, std::move(minArgs));
    first->aggregate = true;
    std::vector<ExprPtr> args;
    args.push_back(std::move(count));
    args.push_back(std::move(first));
    args.push_back(MakeText("Subquery returned more than one row" + At(position)));
    bound::Core core;
    core.items.push_back(bound::Item{MakeCall("kce_onerow", type, std::move(args))});
    core.from.push_back(std::move(rows));
    auto wrapper = std::make_unique<bound::Select>();
    wrapper->columns.push_back(column);
    wrapper->cores.push_back(std::move(core));
    node->select = std::move(wrapper);
    return node;
}

ExprPtr Binder::BindExpr(const ast::Expr& expr, Scope& scope) {
    const size_t position = expr.position;
    switch (expr.kind) {
        case ast::ExprKind::Null:
            return Node(Kind::Null, Type{kUnknownType, 0, 0}, position);
        case ast::ExprKind::Boolean: {
            ExprPtr node = Node(Kind::Integer, MakeType(kLogical), position);
            node->text = expr.text == "TRUE" ? "1" : "0";
            return node;
        }
        case ast::ExprKind::Number: {
            int64_t value = 0;
            const char* begin = expr.text.data();
            const char* end = begin + expr.text.size();
            auto [stop, ec] = std::from_chars(begin, end, value);
            if (ec == std::errc() && stop == end) {
                const bool wide = value > INT32_MAX;
                ExprPtr node = Node(Kind::Integer, MakeType(wide ? kBigInt : kInteger), position);
                node->text = expr.text;
                return node;
            }
            ExprPtr node = Node(Kind::Real, MakeType(kDouble), position);
            node->text = expr.text.front() == '.' ? "0" + expr.text : expr.text;
            // "12." and integers too long for 64 bits are read as reals.
            if (node->text.back() == '.') node->text += "0";
            if (node->text.find_first_of(".eE") == std::string::npos) node->text += ".0";
            return node;
        }
        case ast::ExprKind::String: {
            ExprPtr node = MakeText(expr.text);
            node->position = position;
            return node;
        }
        case ast::ExprKind::Parameter: {
            ExprPtr node = Node(Kind::Parameter, Type{kUnknownType, 0, 0}, position);
            node->index = expr.parameterIndex;
            return node;
        }
        case ast::ExprKind::Column:
            return BindColumn(*this, expr, scope);
        case ast::ExprKind::Unary: {
            if (expr.text == "NOT") {
                ExprPtr node = Node(Kind::Unary, MakeType(kLogical), position);
                node->text = "NOT";
                node->args.push_back(BindCondition(*expr.args[0], scope));
                return Finish(std::move(node));
            }
            ExprPtr operand = BindExpr(*expr.args[0], scope);
            const Family family = FamilyOrUnknown(operand);
            if (family == Family::Unknown)
                operand = ConvertLoose(*this, std::move(operand), MakeType(kDouble), "");
            else if (family != Family::Number) {
                Fail(kErrTypeMismatch, position,
                     "Type mismatch: " + TypeName(operand->type.type) + " cannot be negated" +
                         At(position));
            }
            if (expr.text == "+") return operand;
            ExprPtr node = Node(Kind::Unary, operand->type, position);
            node->text = "-";
            node->args.push_back(std::move(operand));
            return Finish(std::move(node));
        }
        case ast::ExprKind::Binary:
            return BindBinary(*this, expr, scope);
        case ast::ExprKind::Between: {
            ExprPtr node = Node(Kind::Between, MakeType(kLogical), position);
            node->negated = expr.negated;
            ExprPtr value = BindExpr(*expr.args[0], scope);
            ExprPtr low = BindExpr(*expr.args[1], scope);
            ExprPtr high = BindExpr(*expr.args[2], scope);
            std::string c1 = Unify(value, low, position, "compared");
            std::string c2 = Unify(value, high, position, "compared");
            MatchMoney(value, low);
            node->collation = !c1.empty() ? c1 : c2;
            node->args.push_back(std::move(value));
            node->args.push_back(std::move(low));
            node->args.push_back(std::move(high));
            DropBlankCollation(*node);
            return Finish(std::move(node));
        }
        case ast::ExprKind::InList: {
            ExprPtr node = Node(Kind::InList, MakeType(kLogical), position);
            node->negated = expr.negated;
            ExprPtr value = BindExpr(*expr.args[0], scope);
            std::vector<ExprPtr> items;
            for (size_t i = 1; i < expr.args.size(); ++i) {
                ExprPtr item = BindExpr(*expr.args[i], scope);
                std::string collation = Unify(value, item, expr.args[i]->position, "compared");
                if (!collation.empty()) node->collation = collation;
                items.push_back(std::move(item));
            }
            for (ExprPtr& item : items) MatchMoney(value, item);
            node->args.push_back(std::move(value));
            for (ExprPtr& item : items) node->args.push_back(std::move(item));
            DropBlankCollation(*node);
            return Finish(std::move(node));
        }
        case ast::ExprKind::InSelect: {
            ExprPtr node = Node(Kind::InSelect, MakeType(kLogical), position);
            node->negated = expr.negated;
            ExprPtr value = BindExpr(*expr.args[0], scope);
            node->select = BindSelect(*expr.select, &scope);
            const Column& column = OnlyColumn(*this, *node->select, expr.select->position);
            ExprPtr placeholder =
                Node(Kind::Null, Type{column.type, column.length, column.decimals}, position);
            node->collation = Unify(value, placeholder, position, "compared");
            if (IsMoneyType(column.type) && FamilyOrUnknown(value) == Family::Number &&
                !IsMoneyType(value->type.type)) {
                AmountsOf(*this, *node->select);
            }
            node->args.push_back(std::move(value));
            // The subquery's fixed text column is delivered without trailing blanks.
            DropBlankCollation(*node, IsFixedText(column.type));
            return Finish(std::move(node));
        }
        case ast::ExprKind::Exists: {
            ExprPtr node = Node(Kind::Exists, MakeType(kLogical), position);
            node->negated = expr.negated;
            node->select = BindSelect(*expr.select, &scope);
            return node;
        }
        case ast::ExprKind::Subquery: {
            std::unique_ptr<bound::Select> select = BindSelect(*expr.select, &scope);
            OnlyColumn(*this, *select, expr.select->position);
            return ScalarSubquery(std::move(select), position);
        }
        case ast::ExprKind::IsNull: {
            ExprPtr node = Node(Kind::IsNull, MakeType(kLogical), position);
            node->negated = expr.negated;
            node->args.push_back(BindExpr(*expr.args[0], scope));
            return Finish(std::move(node));
        }
        case ast::ExprKind::Like: {
            ExprPtr node = Node(Kind::Like, MakeType(kLogical), position);
            node->negated = expr.negated;
            for (const ast::ExprPtr& arg : expr.args) {
                ExprPtr value = BindExpr(*arg, scope);
                const Family family = FamilyOrUnknown(value);
                if (family == Family::Unknown) {
                    value = ConvertLoose(*this, std::move(value), Type{kVarChar, 255, 0}, "");
                } else if (family != Family::Text) {
                    Fail(kErrTypeMismatch, arg->position,
                         "Type mismatch: LIKE needs text, not " + TypeName(value->type.type) +
                             At(arg->position));
                }
                node->args.push_back(std::move(value));
            }
            node->index = node->args.front()->type.type == kCharCI ? 1 : 0;
            return Finish(std::move(node));
        }
        case ast::ExprKind::Case:
            return BindCase(*this, expr, scope);
        case ast::ExprKind::Function:
            return BindFunction(expr, scope);
        case ast::ExprKind::Cast:
            return BindCast(expr, scope);
    }
    Fail(kErrSyntax, position, "Unsupported expression" + At(position));
}

}  // namespace kce::sql::binder
