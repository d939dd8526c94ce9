#pragma once
// The xBase expressions that index files hold as key expressions and FOR filters, evaluated on the
// raw bytes of a record.
//
// Understood: field names of the table (types C N F D L I B Y; any letter case), literals ('text',
// "text", [text], numbers, .T. .F.), the operators + - (text: concatenation, "-" moving the left
// side's trailing blanks to the end; numbers; date ± number), * / on numbers, the comparisons
// = == <> # != < <= > >= and $ (contained in), .AND. .OR. .NOT. and !, parentheses, and the
// functions UPPER LOWER STR(n[,len[,dec]]) DTOS LEFT RIGHT SUBSTR(s,start[,len]) ALLTRIM LTRIM
// RTRIM TRIM PADR(s,n[,c]) PADL(s,n[,c]) VAL IIF DELETED() RECNO(). A function name may be
// shortened to its first four letters or more, as the writing programs allow.
//
// Text values are the record's bytes in the table's code page, blanks kept: a C(10) field is 10
// bytes. "=" between texts compares the left side's first characters with the whole right side
// (an empty right side equals everything); "==" compares the whole texts. The ordering comparisons
// compare bytes (MACHINE order), the shorter side padded with blanks. Dates are julian day numbers,
// 0 for an empty date. UPPER and LOWER change the ASCII letters and, in Windows-1252 tables, the
// accented letters; an OEM table's non-ASCII letter makes UPPER/LOWER fail rather than guess.
// STR rounds half away from zero; a number too wide for its length gives asterisks.
//
// Anything else (other functions, memo or datetime fields, another table's fields, operands of
// the wrong type) is refused when the expression is parsed, with a DbfError naming the file and
// the expression and saying what was not understood.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "kce/dbf/Types.h"

namespace kce::dbf {

enum class ExprType : uint8_t { Character, Numeric, Date, Logical };
const char* ExprTypeName(ExprType type);

struct ExprValue {
    ExprType type = ExprType::Logical;
    std::string text;   // Character
    double number = 0;  // Numeric; Date: julian day number, 0 when empty
    bool logical = false;

    static ExprValue Text(std::string text) {
        return {ExprType::Character, std::move(text), 0, false};
    }
    static ExprValue Number(double v) { return {ExprType::Numeric, {}, v, false}; }
    static ExprValue Date(double julian) { return {ExprType::Date, {}, julian, false}; }
    static ExprValue Logical(bool v) { return {ExprType::Logical, {}, 0, v}; }
};

class Expression {
public:
    // Parses `text` for a table with `columns` in `codePage`. Throws DbfError naming `file` and
    // the expression for one that cannot be evaluated.
    static Expression Parse(std::string_view text, const std::vector<Column>& columns,
                            CodePage codePage, const std::string& file);
    Expression(Expression&&) noexcept;
    Expression& operator=(Expression&&) noexcept;
    ~Expression();

    const std::string& Text() const { return text_; }
    ExprType Type() const;
    // Evaluates on `record` (the whole record, deletion flag first) numbered `recordNumber`
    // (from 1). Throws DbfError naming the file, the expression and the record for a field whose
    // bytes are not a value of its type.
    ExprValue Evaluate(std::string_view record, uint32_t recordNumber) const;

    struct Node;

private:
    Expression() = default;
    std::string text_;
    std::string file_;
    CodePage codePage_ = CodePage::Windows1252;
    std::vector<Column> columns_;
    std::unique_ptr<Node> root_;
};

// The text STR(value, length, decimals) gives.
std::string StrText(double value, int length, int decimals);

}  // namespace kce::dbf
