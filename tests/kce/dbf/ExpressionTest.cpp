// Key expressions and FOR filters of index files, evaluated on the records of a small table.

#include <gtest/gtest.h>

#include <cstdio>

#include "common/Calendar.h"
#include "kce/dbf/DbfError.h"
#include "kce/dbf/Expression.h"
#include "kce/dbf/Table.h"
#include "kce/dbf/Writer.h"
#include "tests/kce/dbf/TestFiles.h"

namespace kce::dbf::test {
namespace {

// Character values (in the table's code page, here Windows-1252) quoted, numbers as %g, dates as D
// + DTOS (D- when empty), logicals .T./.F.
std::string Show(const ExprValue& v) {
    char buffer[64];
    switch (v.type) {
        case ExprType::Character:
            return "'" + v.text + "'";
        case ExprType::Numeric:
            std::snprintf(buffer, sizeof buffer, "%.10g", v.number);
            return buffer;
        case ExprType::Date: {
            if (v.number == 0) return "D-";
            const parvell::CivilDate date =
                parvell::CivilFromJulian(static_cast<int32_t>(v.number));
            std::snprintf(buffer, sizeof buffer, "D%04d%02d%02d", date.year, date.month, date.day);
            return buffer;
        }
        case ExprType::Logical:
            return v.logical ? ".T." : ".F.";
    }
    return "?";
}

class ExpressionTest : public testing::Test {
protected:
    void SetUp() override {
        TableLayout layout;
        layout.variant = Variant::VisualFoxPro;
        layout.columns = {{"NAME", 'C', 8}, {"FIRST", 'C', 6}, {"AGE", 'N', 3}, {"BAL", 'N', 8, 2},
                          {"BORN", 'D'},    {"ACTIVE", 'L'},   {"VISITS", 'I'}, {"FEE", 'Y'},
                          {"RATE", 'B'},    {"NOTE", 'M'}};
        path_ = dir_.File("people.dbf");
        CreateTable(
            path_, layout,
            {{T("Smith"), T("ann"), I(42), R(-12.5), T("1980-02-29"), I(1), I(7), I(123456),
              R(0.25), T("x")},
             {T("  émile"), T("Bob"), N(), R(1234.567), N(), I(0), I(-3), I(0), R(-1e6), N()}});
        table_ = Table::Open(path_);
        auto cursor = table_->Records();
        while (cursor.Next()) records_.emplace_back(cursor.RawRecord());
        records_[1][0] = '*';  // the second record is deleted
    }

    std::string Evaluate(const std::string& text, uint32_t record) {
        Expression e = Expression::Parse(text, table_->Columns(), CodePage::Windows1252, path_);
        ExprValue v = e.Evaluate(records_[record - 1], record);
        EXPECT_EQ(v.type, e.Type()) << text;
        return Show(v);
    }

    TempFolder dir_;
    std::string path_;
    std::unique_ptr<Table> table_;
    std::vector<std::string> records_;
};

TEST_F(ExpressionTest, KeysAndFiltersGiveTheirValues) {
    struct Case {
        const char* expression;
        uint32_t record;
        const char* value;
    };
    const Case cases[] = {
        // Fields keep their stored width and blanks.
        {"NAME", 1, "'Smith   '"},
        {"name+first", 1, "'Smith   ann   '"},
        {"AGE", 1, "42"},
        {"AGE", 2, "0"},
        {"BAL", 2, "1234.57"},
        {"BORN", 1, "D19800229"},
        {"BORN", 2, "D-"},
        {"ACTIVE", 1, ".T."},
        {"VISITS", 2, "-3"},
        {"FEE", 1, "12.3456"},
        {"RATE", 2, "-1000000"},
        // Functions, also shortened to four letters.
        {"UPPER(NAME)", 1, "'SMITH   '"},
        {"UPPER(NAME)", 2, "'  \xC9MILE '"},
        {"LOWER(FIRST)", 2, "'bob   '"},
        {"UPPE(NAME)+STR(AGE,3)", 1, "'SMITH    42'"},
        {"STR(AGE)", 1, "'        42'"},
        {"STR(BAL,8,2)", 1, "'  -12.50'"},
        {"STR(BAL,8,1)", 2, "'  1234.6'"},
        {"STR(2.5,1)", 1, "'3'"},
        {"STR(-2.5,2)", 1, "'-3'"},
        {"STR(BAL,3)", 2, "'***'"},
        {"STR(VISITS,4)", 2, "'  -3'"},
        {"DTOS(BORN)", 1, "'19800229'"},
        {"DTOS(BORN)", 2, "'        '"},
        {"DTOS(BORN+1)", 1, "'19800301'"},
        {"LEFT(NAME,3)", 1, "'Smi'"},
        {"RIGHT(NAME,4)", 1, "'h   '"},
        {"LEFT(NAME,20)", 1, "'Smith   '"},
        {"SUBSTR(NAME,2,3)", 1, "'mit'"},
        {"SUBS(NAME,4)", 1, "'th   '"},
        {"SUBSTR(NAME,9)", 1, "''"},
        {"ALLTRIM(NAME)", 2, "'\xE9mile'"},
        {"LTRIM(NAME)", 2, "'\xE9mile '"},
        {"RTRIM(NAME)", 2, "'  \xE9mile'"},
        {"TRIM(FIRST)+'|'", 1, "'ann|'"},
        {"NAME-FIRST", 1, "'Smithann      '"},
        {"PADR(ALLTRIM(FIRST),5)", 1, "'ann  '"},
        {"PADL(ALLTRIM(FIRST),5,'0')", 1, "'00ann'"},
        {"PADR(NAME,3)", 1, "'Smi'"},
        {"VAL(' 12.5x')", 1, "12.5"},
        {"VAL('-3')+1", 1, "-2"},
        {"VAL(FIRST)", 1, "0"},
        {"IIF(ACTIVE, NAME, FIRST)", 2, "'Bob   '"},
        {"IIF(AGE > 40, 'old', 'young')", 1, "'old'"},
        {"RECNO()", 2, "2"},
        {"STR(RECNO(),5)", 2, "'    2'"},
        {"DELETED()", 1, ".F."},
        {"DELETED()", 2, ".T."},
        {"AGE*2+BAL/2", 1, "77.75"},
        {"-AGE", 1, "-42"},
        {"BORN - BORN", 1, "0"},
        // FOR filters: comparisons and logical operators.
        {"NAME = 'Smi'", 1, ".T."},
        {"NAME = ''", 1, ".T."},
        {"NAME == 'Smith'", 1, ".F."},
        {"RTRIM(NAME) == 'Smith'", 1, ".T."},
        {"'Smith' = NAME", 1, ".T."},
        {"'Smi' = NAME", 1, ".F."},
        {"NAME <> 'Smith'", 1, ".F."},
        {"NAME # 'Jones'", 1, ".T."},
        {"NAME != 'Jones'", 1, ".T."},
        {"NAME < 'Smithy'", 1, ".T."},
        {"NAME >= 'Smith'", 1, ".T."},
        {"'mit' $ NAME", 1, ".T."},
        {"AGE >= 42 .AND. BAL < 0", 1, ".T."},
        {"AGE > 50 .or. .not. ACTIVE", 2, ".T."},
        {"!DELETED()", 2, ".F."},
        {"!(AGE = 42)", 1, ".F."},
        {"BORN > BORN - 1", 1, ".T."},
        {"ACTIVE = .T.", 1, ".T."},
        {".F. < .T.", 1, ".T."},
        {"(AGE+1)*2 = 86", 1, ".T."},
        {"[a'b] + \"c\"", 1, "'a'bc'"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Evaluate(c.expression, c.record), c.value)
            << c.expression << " on record " << c.record;
    }
}

TEST_F(ExpressionTest, WhatCannotBeEvaluatedIsRefusedNamingTheExpression) {
    struct Case {
        const char* expression;
        const char* why;
    };
    const Case cases[] = {
        {"SOUNDEX(NAME)", "the function SOUNDEX is not supported"},
        {"SUB(NAME,1)", "the function SUB is not supported"},
        {"NOTE", "the field NOTE of type M is not supported"},
        {"MISSING", "the table has no field MISSING"},
        {"other->NAME", "the field of another table OTHER"},
        {"other.NAME", "the field of another table OTHER"},
        {"NAME + AGE", "\"+\" between a character and a numeric"},
        {"UPPER(AGE)", "UPPER needs a character operand, not a numeric"},
        {"DTOS(NAME)", "DTOS needs a date operand"},
        {"IIF(ACTIVE, NAME, AGE)", "IIF gives a character or a numeric"},
        {"NAME = 1", "compares a character with a numeric"},
        {"AGE .AND. ACTIVE", ".AND. needs a logical operand"},
        {"STR()", "STR takes 1 to 3 arguments, not 0"},
        {"LEFT(NAME,1", "a \")\" is missing"},
        {"'abc", "a text literal is not closed"},
        {"NAME NAME", "unexpected \"NAME\""},
        {"", "it ends where an operand is expected"},
        {"NAME + ", "it ends where an operand is expected"},
        {"1.2.3", "\"1.2.3\" is not a number"},
        {"@NAME", "\"@\" is not understood"},
    };
    for (const Case& c : cases) {
        try {
            Expression::Parse(c.expression, table_->Columns(), CodePage::Windows1252, path_);
            ADD_FAILURE() << c.expression << " was accepted";
        } catch (const DbfError& e) {
            EXPECT_EQ(e.File(), path_);
            const std::string message = e.what();
            EXPECT_NE(message.find("the expression " + std::string(c.expression) +
                                   " cannot be evaluated: "),
                      std::string::npos)
                << message;
            EXPECT_NE(message.find(c.why), std::string::npos) << message;
        }
    }
}

TEST_F(ExpressionTest, FieldsThatHoldNoValueOfTheirTypeAreReportedWithTheRecord) {
    struct Case {
        const char* expression;
        const char* field;  // its bytes are overwritten
        const char* bytes;
        const char* why;
    };
    const Case cases[] = {
        {"AGE + 1", "AGE", "4x2", "field AGE holds \"4x2\", which is not a number"},
        {"DTOS(BORN)", "BORN", "19801399", "field BORN holds \"19801399\", which is not a date"},
        {"AGE / (AGE - 42)", "AGE", " 42", "division by zero"},
    };
    for (const Case& c : cases) {
        std::string record = records_[0];
        for (const Column& col : table_->Columns()) {
            if (col.name == c.field) record.replace(col.offset, col.size, c.bytes);
        }
        Expression e =
            Expression::Parse(c.expression, table_->Columns(), CodePage::Windows1252, path_);
        try {
            e.Evaluate(record, 1);
            ADD_FAILURE() << c.expression;
        } catch (const DbfError& error) {
            const std::string message = error.what();
            EXPECT_NE(message.find("the expression " + std::string(c.expression) +
                                   " cannot be evaluated for record 1: " + c.why),
                      std::string::npos)
                << message;
        }
    }
    // UPPER of a non-ASCII letter in an OEM table is refused rather than guessed.
    Expression upper = Expression::Parse("UPPER(NAME)", table_->Columns(), CodePage::Oem850, path_);
    EXPECT_THROW(upper.Evaluate(records_[1], 2), DbfError);
    EXPECT_EQ(Show(upper.Evaluate(records_[0], 1)), "'SMITH   '");
}

}  // namespace
}  // namespace kce::dbf::test
