#include "kce/dbf/Expression.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>

#include "common/Calendar.h"
#include "kce/dbf/Bytes.h"
#include "kce/dbf/DbfError.h"
#include "kce/dbf/Values.h"

namespace kce::dbf {

enum class Op : uint8_t {
    Literal,
    Field,
    Deleted,
    Recno,
    Add,
    Subtract,
    Multiply,
    Divide,
    Negate,
    Equal,
    Exact,
    NotEqual,
    Less,
    LessEqual,
    Greater,
    GreaterEqual,
    Contains,
    And,
    Or,
    Not,
    Upper,
    Lower,
    Str,
    Dtos,
    Left,
    Right,
    Substr,
    Alltrim,
    Ltrim,
    Rtrim,
    Padr,
    Padl,
    Val,
    Iif
};

struct Expression::Node {
    Op op = Op::Literal;
    ExprType type = ExprType::Logical;
    ExprValue literal;
    size_t column = 0;
    std::vector<std::unique_ptr<Node>> args;
};

namespace {

using Node = Expression::Node;

std::string Upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

struct Function {
    const char* name;
    Op op;
    size_t minArgs, maxArgs;
};

constexpr Function kFunctions[] = {
    {"UPPER", Op::Upper, 1, 1},     {"LOWER", Op::Lower, 1, 1},     {"STR", Op::Str, 1, 3},
    {"DTOS", Op::Dtos, 1, 1},       {"LEFT", Op::Left, 2, 2},       {"RIGHT", Op::Right, 2, 2},
    {"SUBSTR", Op::Substr, 2, 3},   {"ALLTRIM", Op::Alltrim, 1, 1}, {"LTRIM", Op::Ltrim, 1, 1},
    {"RTRIM", Op::Rtrim, 1, 1},     {"TRIM", Op::Rtrim, 1, 1},      {"PADR", Op::Padr, 2, 3},
    {"PADL", Op::Padl, 2, 3},       {"VAL", Op::Val, 1, 1},         {"IIF", Op::Iif, 3, 3},
    {"DELETED", Op::Deleted, 0, 0}, {"RECNO", Op::Recno, 0, 0},
};

// The function a name in the expression means: its full name, or four letters or more of it.
const Function* FindFunction(const std::string& name) {
    const Function* found = nullptr;
    for (const Function& f : kFunctions) {
        const size_t length = std::strlen(f.name);
        if (name == f.name) return &f;
        if (name.size() >= 4 && name.size() < length &&
            std::string_view(f.name).substr(0, name.size()) == name) {
            if (found != nullptr) return nullptr;  // ambiguous
            found = &f;
        }
    }
    return found;
}

class Parser {
public:
    Parser(std::string_view text, const std::vector<Column>& columns, const std::string& file)
        : text_(text), columns_(columns), file_(file) {}

    std::unique_ptr<Node> Whole() {
        auto node = Or();
        Blanks();
        if (pos_ < text_.size()) Refuse("unexpected \"" + std::string(text_.substr(pos_)) + "\"");
        return node;
    }

private:
    [[noreturn]] void Refuse(const std::string& why) const {
        throw DbfError(file_, -1,
                       "the expression " + std::string(text_) + " cannot be evaluated: " + why);
    }

    void Blanks() {
        while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) ++pos_;
    }
    // Consumes `word` (a dotted logical operator or a symbol) when it comes next, any letter case.
    bool Take(std::string_view word) {
        Blanks();
        if (text_.size() - pos_ < word.size() || Upper(text_.substr(pos_, word.size())) != word)
            return false;
        pos_ += word.size();
        return true;
    }
    bool AtEnd() {
        Blanks();
        return pos_ >= text_.size();
    }

    static std::unique_ptr<Node> Make(Op op, ExprType type,
                                      std::vector<std::unique_ptr<Node>> args = {}) {
        auto n = std::make_unique<Node>();
        n->op = op;
        n->type = type;
        n->args = std::move(args);
        return n;
    }
    std::vector<std::unique_ptr<Node>> Pair(std::unique_ptr<Node> a, std::unique_ptr<Node> b) {
        std::vector<std::unique_ptr<Node>> v;
        v.push_back(std::move(a));
        v.push_back(std::move(b));
        return v;
    }
    void Expect(const Node& n, ExprType type, const char* where) const {
        if (n.type != type) {
            Refuse(std::string(where) + " needs a " + ExprTypeName(type) + " operand, not a " +
                   ExprTypeName(n.type));
        }
    }

    std::unique_ptr<Node> Or() {
        auto left = And();
        while (Take(".OR.")) {
            auto right = And();
            Expect(*left, ExprType::Logical, ".OR.");
            Expect(*right, ExprType::Logical, ".OR.");
            left = Make(Op::Or, ExprType::Logical, Pair(std::move(left), std::move(right)));
        }
        return left;
    }
    std::unique_ptr<Node> And() {
        auto left = Not();
        while (Take(".AND.")) {
            auto right = Not();
            Expect(*left, ExprType::Logical, ".AND.");
            Expect(*right, ExprType::Logical, ".AND.");
            left = Make(Op::And, ExprType::Logical, Pair(std::move(left), std::move(right)));
        }
        return left;
    }
    std::unique_ptr<Node> Not() {
        Blanks();
        if (Take(".NOT.") || (pos_ < text_.size() && text_[pos_] == '!' &&
                              (pos_ + 1 >= text_.size() || text_[pos_ + 1] != '=') && Take("!"))) {
            auto operand = Not();
            Expect(*operand, ExprType::Logical, ".NOT.");
            std::vector<std::unique_ptr<Node>> args;
            args.push_back(std::move(operand));
            return Make(Op::Not, ExprType::Logical, std::move(args));
        }
        return Comparison();
    }
    std::unique_ptr<Node> Comparison() {
        auto left = Sum();
        static const std::pair<const char*, Op> kOps[] = {
            {"==", Op::Exact},   {"<>", Op::NotEqual},  {"!=", Op::NotEqual},
            {"#", Op::NotEqual}, {"<=", Op::LessEqual}, {">=", Op::GreaterEqual},
            {"=", Op::Equal},    {"<", Op::Less},       {">", Op::Greater},
            {"$", Op::Contains},
        };
        for (const auto& [symbol, op] : kOps) {
            if (!Take(symbol)) continue;
            auto right = Sum();
            if (left->type != right->type) {
                Refuse(std::string("\"") + symbol + "\" compares a " + ExprTypeName(left->type) +
                       " with a " + ExprTypeName(right->type));
            }
            if (op == Op::Contains) Expect(*left, ExprType::Character, "\"$\"");
            return Make(op, ExprType::Logical, Pair(std::move(left), std::move(right)));
        }
        return left;
    }
    std::unique_ptr<Node> Sum() {
        auto left = Product();
        while (true) {
            Blanks();
            if (pos_ >= text_.size() || (text_[pos_] != '+' && text_[pos_] != '-')) return left;
            const bool plus = text_[pos_++] == '+';
            auto right = Product();
            ExprType type = left->type;
            const bool ok =
                (left->type == ExprType::Character && right->type == ExprType::Character) ||
                (left->type == ExprType::Numeric && right->type == ExprType::Numeric) ||
                (left->type == ExprType::Date && right->type == ExprType::Numeric) ||
                (!plus && left->type == ExprType::Date && right->type == ExprType::Date);
            if (!ok) {
                Refuse(std::string("\"") + (plus ? "+" : "-") + "\" between a " +
                       ExprTypeName(left->type) + " and a " + ExprTypeName(right->type));
            }
            if (left->type == ExprType::Date && right->type == ExprType::Date)
                type = ExprType::Numeric;
            left =
                Make(plus ? Op::Add : Op::Subtract, type, Pair(std::move(left), std::move(right)));
        }
    }
    std::unique_ptr<Node> Product() {
        auto left = Unary();
        while (true) {
            Blanks();
            if (pos_ >= text_.size() || (text_[pos_] != '*' && text_[pos_] != '/')) return left;
            const bool times = text_[pos_++] == '*';
            auto right = Unary();
            Expect(*left, ExprType::Numeric, times ? "\"*\"" : "\"/\"");
            Expect(*right, ExprType::Numeric, times ? "\"*\"" : "\"/\"");
            left = Make(times ? Op::Multiply : Op::Divide, ExprType::Numeric,
                        Pair(std::move(left), std::move(right)));
        }
    }
    std::unique_ptr<Node> Unary() {
        Blanks();
        if (pos_ < text_.size() && (text_[pos_] == '-' || text_[pos_] == '+')) {
            const bool minus = text_[pos_++] == '-';
            auto operand = Unary();
            Expect(*operand, ExprType::Numeric, minus ? "unary \"-\"" : "unary \"+\"");
            if (!minus) return operand;
            std::vector<std::unique_ptr<Node>> args;
            args.push_back(std::move(operand));
            return Make(Op::Negate, ExprType::Numeric, std::move(args));
        }
        return Primary();
    }

    std::unique_ptr<Node> Primary() {
        Blanks();
        if (pos_ >= text_.size()) Refuse("it ends where an operand is expected");
        const char c = text_[pos_];
        if (c == '(') {
            ++pos_;
            auto inner = Or();
            if (!Take(")")) Refuse("a \")\" is missing");
            return inner;
        }
        if (c == '\'' || c == '"' || c == '[') {
            const char close = c == '[' ? ']' : c;
            const size_t end = text_.find(close, pos_ + 1);
            if (end == std::string_view::npos) Refuse("a text literal is not closed");
            auto n = Make(Op::Literal, ExprType::Character);
            n->literal = ExprValue::Text(std::string(text_.substr(pos_ + 1, end - pos_ - 1)));
            pos_ = end + 1;
            return n;
        }
        if (Take(".T.") || Take(".Y.")) {
            auto n = Make(Op::Literal, ExprType::Logical);
            n->literal = ExprValue::Logical(true);
            return n;
        }
        if (Take(".F.") || Take(".N.")) {
            auto n = Make(Op::Literal, ExprType::Logical);
            n->literal = ExprValue::Logical(false);
            return n;
        }
        if (std::isdigit(static_cast<unsigned char>(c)) || c == '.') {
            size_t end = pos_;
            while (end < text_.size() &&
                   (std::isdigit(static_cast<unsigned char>(text_[end])) || text_[end] == '.')) {
                ++end;
            }
            double v = 0;
            auto [ptr, ec] = std::from_chars(text_.data() + pos_, text_.data() + end, v);
            if (ec != std::errc() || ptr != text_.data() + end) {
                Refuse("\"" + std::string(text_.substr(pos_, end - pos_)) + "\" is not a number");
            }
            pos_ = end;
            auto n = Make(Op::Literal, ExprType::Numeric);
            n->literal = ExprValue::Number(v);
            return n;
        }
        if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
            size_t end = pos_;
            while (end < text_.size() &&
                   (std::isalnum(static_cast<unsigned char>(text_[end])) || text_[end] == '_')) {
                ++end;
            }
            const std::string name = Upper(text_.substr(pos_, end - pos_));
            pos_ = end;
            Blanks();
            if (pos_ < text_.size() && text_[pos_] == '(') {
                ++pos_;
                return Call(name);
            }
            if (Take("->") ||
                (pos_ < text_.size() && text_[pos_] == '.' && pos_ + 1 < text_.size() &&
                 std::isalpha(static_cast<unsigned char>(text_[pos_ + 1])) &&
                 Upper(text_.substr(pos_)).rfind(".AND.", 0) != 0 &&
                 Upper(text_.substr(pos_)).rfind(".OR.", 0) != 0)) {
                Refuse("the field of another table " + name + " is not supported");
            }
            return FieldNode(name);
        }
        Refuse("\"" + std::string(1, c) + "\" is not understood");
    }

    std::unique_ptr<Node> FieldNode(const std::string& name) {
        for (size_t i = 0; i < columns_.size(); ++i) {
            if (Upper(columns_[i].name) != name) continue;
            const Column& col = columns_[i];
            ExprType type;
            switch (col.dbfType) {
                case 'C':
                    type = ExprType::Character;
                    break;
                case 'N':
                case 'F':
                case 'I':
                case 'B':
                case 'Y':
                    type = ExprType::Numeric;
                    break;
                case 'D':
                    type = ExprType::Date;
                    break;
                case 'L':
                    type = ExprType::Logical;
                    break;
                default:
                    Refuse("the field " + col.name + " of type " + std::string(1, col.dbfType) +
                           " is not supported in expressions");
            }
            auto n = Make(Op::Field, type);
            n->column = i;
            return n;
        }
        throw DbfUnknownFieldError(file_, -1,
                                   "the expression " + std::string(text_) +
                                       " cannot be evaluated: the table has no field " + name);
    }

    std::unique_ptr<Node> Call(const std::string& name) {
        const Function* f = FindFunction(name);
        if (f == nullptr) Refuse("the function " + name + " is not supported");
        std::vector<std::unique_ptr<Node>> args;
        if (!Take(")")) {
            do {
                args.push_back(Or());
            } while (Take(","));
            if (!Take(")"))
                Refuse("a \")\" is missing after the arguments of " + std::string(f->name));
        }
        if (args.size() < f->minArgs || args.size() > f->maxArgs) {
            Refuse(
                std::string(f->name) + " takes " + std::to_string(f->minArgs) +
                (f->maxArgs != f->minArgs ? " to " + std::to_string(f->maxArgs) : std::string()) +
                " arguments, not " + std::to_string(args.size()));
        }
        auto need = [&](size_t i, ExprType type) {
            if (i < args.size()) Expect(*args[i], type, f->name);
        };
        ExprType result = ExprType::Character;
        switch (f->op) {
            case Op::Str:
                need(0, ExprType::Numeric);
                need(1, ExprType::Numeric);
                need(2, ExprType::Numeric);
                break;
            case Op::Dtos:
                need(0, ExprType::Date);
                break;
            case Op::Left:
            case Op::Right:
                need(0, ExprType::Character);
                need(1, ExprType::Numeric);
                break;
            case Op::Substr:
                need(0, ExprType::Character);
                need(1, ExprType::Numeric);
                need(2, ExprType::Numeric);
                break;
            case Op::Padr:
            case Op::Padl:
                need(0, ExprType::Character);
                need(1, ExprType::Numeric);
                need(2, ExprType::Character);
                break;
            case Op::Val:
                need(0, ExprType::Character);
                result = ExprType::Numeric;
                break;
            case Op::Iif:
                need(0, ExprType::Logical);
                if (args[1]->type != args[2]->type) {
                    Refuse(std::string("IIF gives a ") + ExprTypeName(args[1]->type) + " or a " +
                           ExprTypeName(args[2]->type));
                }
                result = args[1]->type;
                break;
            case Op::Deleted:
                result = ExprType::Logical;
                break;
            case Op::Recno:
                result = ExprType::Numeric;
                break;
            default:
                need(0, ExprType::Character);
                break;  // UPPER LOWER ALLTRIM LTRIM RTRIM
        }
        return Make(f->op, result, std::move(args));
    }

    std::string_view text_;
    const std::vector<Column>& columns_;
    const std::string& file_;
    size_t pos_ = 0;
};

std::string TrimRight(std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}
std::string TrimLeft(const std::string& s) {
    size_t i = 0;
    while (i < s.size() && s[i] == ' ') ++i;
    return s.substr(i);
}

// Compares texts byte by byte, the shorter padded with blanks.
int CompareText(const std::string& a, const std::string& b) {
    const size_t n = std::max(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        auto x = static_cast<unsigned char>(i < a.size() ? a[i] : ' ');
        auto y = static_cast<unsigned char>(i < b.size() ? b[i] : ' ');
        if (x != y) return x < y ? -1 : 1;
    }
    return 0;
}

// STR: `value` rounded to `decimals` right-aligned in `length` characters; asterisks when it does
// not fit.
std::string FormatStr(double value, int length, int decimals) {
    if (length <= 0) return {};
    decimals = std::clamp(decimals, 0, 18);
    if (decimals > 0 && decimals >= length - 1) decimals = std::max(0, length - 2);
    const double scaled = std::round(std::fabs(value) * std::pow(10.0, decimals));
    std::string digits;
    if (scaled >= 1e18 || !std::isfinite(scaled))
        return std::string(static_cast<size_t>(length), '*');
    digits = std::to_string(static_cast<unsigned long long>(scaled));
    if (decimals > 0) {
        if (digits.size() <= static_cast<size_t>(decimals)) {
            digits.insert(0, static_cast<size_t>(decimals) + 1 - digits.size(), '0');
        }
        digits.insert(digits.size() - static_cast<size_t>(decimals), ".");
    }
    if (value < 0 && scaled != 0) digits.insert(0, "-");
    if (digits.size() > static_cast<size_t>(length))
        return std::string(static_cast<size_t>(length), '*');
    return std::string(static_cast<size_t>(length) - digits.size(), ' ') + digits;
}

// VAL: the number at the start of the text (blanks skipped), 0 when there is none.
double ParseVal(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    size_t end = i;
    if (end < text.size() && (text[end] == '-' || text[end] == '+')) ++end;
    while (end < text.size() &&
           (std::isdigit(static_cast<unsigned char>(text[end])) || text[end] == '.'))
        ++end;
    const char* first = text.data() + i;
    if (i < text.size() && text[i] == '+') ++first;
    double v = 0;
    std::from_chars(first, text.data() + end, v);
    return v;
}

int ToInt(double v) {
    if (!(v > -1e9)) return -1000000000;
    if (!(v < 1e9)) return 1000000000;
    return static_cast<int>(std::trunc(v));
}

}  // namespace

const char* ExprTypeName(ExprType type) {
    switch (type) {
        case ExprType::Character:
            return "character";
        case ExprType::Numeric:
            return "numeric";
        case ExprType::Date:
            return "date";
        case ExprType::Logical:
            return "logical";
    }
    return "?";
}

Expression::Expression(Expression&&) noexcept = default;
Expression& Expression::operator=(Expression&&) noexcept = default;
Expression::~Expression() = default;

Expression Expression::Parse(std::string_view text, const std::vector<Column>& columns,
                             CodePage codePage, const std::string& file) {
    Expression e;
    e.text_ = std::string(text);
    e.file_ = file;
    e.codePage_ = codePage;
    e.columns_ = columns;
    Parser parser(e.text_, e.columns_, e.file_);
    e.root_ = parser.Whole();
    return e;
}

ExprType Expression::Type() const {
    return root_->type;
}

namespace {

struct Evaluator {
    std::string_view record;
    uint32_t recordNumber;
    const std::vector<Column>& columns;
    CodePage codePage;
    const std::string& file;
    const std::string& text;

    [[noreturn]] void Refuse(const std::string& why) const {
        throw DbfError(file, -1,
                       "the expression " + text + " cannot be evaluated for record " +
                           std::to_string(recordNumber) + ": " + why);
    }

    ExprValue FieldValue(const Column& c) const {
        if (c.offset + c.size > record.size()) Refuse("the record is shorter than field " + c.name);
        const char* p = record.data() + c.offset;
        const std::string_view raw(p, c.size);
        switch (c.dbfType) {
            case 'C':
                return ExprValue::Text(std::string(raw));
            case 'L':
                return ExprValue::Logical(raw[0] == 'T' || raw[0] == 't' || raw[0] == 'Y' ||
                                          raw[0] == 'y');
            case 'I':
                return ExprValue::Number(static_cast<int32_t>(GetLe32(p)));
            case 'B': {
                uint64_t bits = GetLe64(p);
                double v;
                std::memcpy(&v, &bits, sizeof v);
                return ExprValue::Number(v);
            }
            case 'Y':
                return ExprValue::Number(static_cast<double>(static_cast<int64_t>(GetLe64(p))) /
                                         10000.0);
            case 'D': {
                if (raw.find_first_not_of(" 0\0", 0, 3) == std::string_view::npos)
                    return ExprValue::Date(0);
                int y = 0, m = 0, d = 0;
                auto num = [&](size_t from, size_t n, int& out) {
                    auto [ptr, ec] = std::from_chars(p + from, p + from + n, out);
                    return ec == std::errc() && ptr == p + from + n;
                };
                if (c.size != 8 || !num(0, 4, y) || !num(4, 2, m) || !num(6, 2, d) || m < 1 ||
                    m > 12 || d < 1 || d > 31) {
                    Refuse("field " + c.name + " holds \"" + std::string(raw) +
                           "\", which is not a date");
                }
                return ExprValue::Date(static_cast<int32_t>(parvell::JulianFromCivil(y, m, d)));
            }
            default: {  // N F
                size_t b = 0, e = raw.size();
                while (b < e && (raw[b] == ' ' || raw[b] == '\0')) ++b;
                while (e > b && (raw[e - 1] == ' ' || raw[e - 1] == '\0')) --e;
                if (b == e ||
                    raw.substr(b, e - b).find_first_not_of('*') == std::string_view::npos) {
                    return ExprValue::Number(0);
                }
                const char* first = p + b;
                if (*first == '+') ++first;
                double v = 0;
                auto [ptr, ec] = std::from_chars(first, p + e, v);
                if (ec != std::errc() || ptr != p + e) {
                    Refuse("field " + c.name + " holds \"" + std::string(raw) +
                           "\", which is not a number");
                }
                return ExprValue::Number(v);
            }
        }
    }

    // UPPER/LOWER of one byte in the table's code page.
    char ChangeCase(char ch, bool upper) const {
        auto u = static_cast<unsigned char>(ch);
        if (u < 0x80) {
            return static_cast<char>(upper ? std::toupper(u) : std::tolower(u));
        }
        if (codePage != CodePage::Windows1252) {
            Refuse(std::string(upper ? "UPPER" : "LOWER") + " of the byte " + Hex2(u) +
                   " in an OEM code page is not supported");
        }
        if (upper) {
            if (u >= 0xE0 && u <= 0xFE && u != 0xF7) return static_cast<char>(u - 0x20);
            if (u == 0x9A || u == 0x9C || u == 0x9E) return static_cast<char>(u - 0x10);
            if (u == 0xFF) return static_cast<char>(0x9F);
        } else {
            if (u >= 0xC0 && u <= 0xDE && u != 0xD7) return static_cast<char>(u + 0x20);
            if (u == 0x8A || u == 0x8C || u == 0x8E) return static_cast<char>(u + 0x10);
            if (u == 0x9F) return static_cast<char>(0xFF);
        }
        return ch;
    }

    ExprValue Eval(const Node& n) const {
        auto arg = [&](size_t i) { return Eval(*n.args[i]); };
        switch (n.op) {
            case Op::Literal:
                return n.literal;
            case Op::Field:
                return FieldValue(columns[n.column]);
            case Op::Deleted:
                return ExprValue::Logical(!record.empty() && record[0] == '*');
            case Op::Recno:
                return ExprValue::Number(recordNumber);
            case Op::Negate:
                return ExprValue::Number(-arg(0).number);
            case Op::Add:
            case Op::Subtract: {
                ExprValue a = arg(0), b = arg(1);
                const bool plus = n.op == Op::Add;
                if (a.type == ExprType::Character) {
                    if (plus) return ExprValue::Text(a.text + b.text);
                    std::string trimmed = TrimRight(a.text);
                    return ExprValue::Text(trimmed + b.text +
                                           std::string(a.text.size() - trimmed.size(), ' '));
                }
                if (a.type == ExprType::Date && b.type == ExprType::Date)
                    return ExprValue::Number(a.number - b.number);
                const double v = plus ? a.number + b.number : a.number - b.number;
                if (a.type == ExprType::Date) return ExprValue::Date(a.number == 0 ? 0 : v);
                return ExprValue::Number(v);
            }
            case Op::Multiply:
                return ExprValue::Number(arg(0).number * arg(1).number);
            case Op::Divide: {
                const double d = arg(1).number;
                if (d == 0) Refuse("division by zero");
                return ExprValue::Number(arg(0).number / d);
            }
            case Op::And:
                return ExprValue::Logical(arg(0).logical && arg(1).logical);
            case Op::Or:
                return ExprValue::Logical(arg(0).logical || arg(1).logical);
            case Op::Not:
                return ExprValue::Logical(!arg(0).logical);
            case Op::Equal:
            case Op::Exact:
            case Op::NotEqual:
            case Op::Less:
            case Op::LessEqual:
            case Op::Greater:
            case Op::GreaterEqual:
            case Op::Contains: {
                ExprValue a = arg(0), b = arg(1);
                if (n.op == Op::Contains)
                    return ExprValue::Logical(b.text.find(a.text) != std::string::npos);
                int order;
                if (a.type == ExprType::Character) {
                    if (n.op == Op::Exact) return ExprValue::Logical(a.text == b.text);
                    if (n.op == Op::Equal || n.op == Op::NotEqual) {
                        // The left side's first characters against the whole right side.
                        const bool equal = a.text.size() >= b.text.size()
                                               ? a.text.compare(0, b.text.size(), b.text) == 0
                                               : CompareText(a.text, b.text) == 0;
                        return ExprValue::Logical(n.op == Op::Equal ? equal : !equal);
                    }
                    order = CompareText(a.text, b.text);
                } else if (a.type == ExprType::Logical) {
                    order = static_cast<int>(a.logical) - static_cast<int>(b.logical);
                } else {
                    order = a.number < b.number ? -1 : a.number > b.number ? 1 : 0;
                }
                switch (n.op) {
                    case Op::Equal:
                    case Op::Exact:
                        return ExprValue::Logical(order == 0);
                    case Op::NotEqual:
                        return ExprValue::Logical(order != 0);
                    case Op::Less:
                        return ExprValue::Logical(order < 0);
                    case Op::LessEqual:
                        return ExprValue::Logical(order <= 0);
                    case Op::Greater:
                        return ExprValue::Logical(order > 0);
                    default:
                        return ExprValue::Logical(order >= 0);
                }
            }
            case Op::Upper:
            case Op::Lower: {
                ExprValue v = arg(0);
                for (char& c : v.text) c = ChangeCase(c, n.op == Op::Upper);
                return v;
            }
            case Op::Str: {
                const double value = arg(0).number;
                const int length = n.args.size() > 1 ? ToInt(arg(1).number) : 10;
                const int decimals = n.args.size() > 2 ? ToInt(arg(2).number) : 0;
                if (length > 255) Refuse("STR of length " + std::to_string(length));
                return ExprValue::Text(FormatStr(value, length, decimals));
            }
            case Op::Dtos: {
                const double julian = arg(0).number;
                if (julian == 0) return ExprValue::Text(std::string(8, ' '));
                const parvell::CivilDate date =
                    parvell::CivilFromJulian(static_cast<int32_t>(julian));
                char buffer[32];
                std::snprintf(buffer, sizeof buffer, "%04d%02d%02d", date.year, date.month,
                              date.day);
                return ExprValue::Text(buffer);
            }
            case Op::Left:
            case Op::Right: {
                std::string s = arg(0).text;
                const size_t count = static_cast<size_t>(
                    std::clamp(ToInt(arg(1).number), 0, static_cast<int>(s.size())));
                return ExprValue::Text(n.op == Op::Left ? s.substr(0, count)
                                                        : s.substr(s.size() - count));
            }
            case Op::Substr: {
                std::string s = arg(0).text;
                const int start = ToInt(arg(1).number);
                if (start < 1 || static_cast<size_t>(start) > s.size()) return ExprValue::Text({});
                size_t count = s.size() - static_cast<size_t>(start - 1);
                if (n.args.size() > 2)
                    count = std::min(count, static_cast<size_t>(std::max(0, ToInt(arg(2).number))));
                return ExprValue::Text(s.substr(static_cast<size_t>(start - 1), count));
            }
            case Op::Alltrim:
                return ExprValue::Text(TrimLeft(TrimRight(arg(0).text)));
            case Op::Ltrim:
                return ExprValue::Text(TrimLeft(arg(0).text));
            case Op::Rtrim:
                return ExprValue::Text(TrimRight(arg(0).text));
            case Op::Padr:
            case Op::Padl: {
                std::string s = arg(0).text;
                const int length = ToInt(arg(1).number);
                if (length > 65535) Refuse("a padded length of " + std::to_string(length));
                const size_t wanted = static_cast<size_t>(std::max(0, length));
                const std::string fill = n.args.size() > 2 ? arg(2).text : std::string(" ");
                const char pad = fill.empty() ? ' ' : fill[0];
                if (s.size() >= wanted) return ExprValue::Text(s.substr(0, wanted));
                const std::string padding(wanted - s.size(), pad);
                return ExprValue::Text(n.op == Op::Padr ? s + padding : padding + s);
            }
            case Op::Val:
                return ExprValue::Number(ParseVal(arg(0).text));
            case Op::Iif:
                return arg(0).logical ? arg(1) : arg(2);
        }
        Refuse("an operation that is not understood");
    }
};

}  // namespace

ExprValue Expression::Evaluate(std::string_view record, uint32_t recordNumber) const {
    Evaluator evaluator{record, recordNumber, columns_, codePage_, file_, text_};
    return evaluator.Eval(*root_);
}

std::string StrText(double value, int length, int decimals) {
    return FormatStr(value, length, decimals);
}

}  // namespace kce::dbf
