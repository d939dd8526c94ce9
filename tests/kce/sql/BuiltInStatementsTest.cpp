// The seven built-in statements, byte for byte as the program stores them (the reference copies
// under tests/app/data), compiled and run over a small practice (builtin/fixture.sql).
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "tests/kce/sql/SqlCaseRunner.h"

namespace kce::sql::test {
namespace {

std::string Dir() {
    return std::string(KCE_SQL_TEST_DIR) + "/builtin/";
}

// The program's built-in texts, one reference copy shared with the window's tests: byte for byte
// as the editor hands them over, lines joined by carriage return and line feed.
std::string ReadText(const std::string& name) {
    std::ifstream in(std::string(KCE_SQL_TEST_DIR) + "/../../app/data/" + name, std::ios::binary);
    EXPECT_TRUE(in.good()) << name;
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

class BuiltInStatements : public testing::Test {
protected:
    void SetUp() override {
        for (const std::string& failure : RunScript(database_, Dir() + "fixture.sql"))
            ADD_FAILURE() << failure;
    }

    Outcome Run(const std::string& name) {
        Outcome outcome = database_.Run(ReadText(name));
        EXPECT_FALSE(outcome.failed) << name << ": " << outcome.message << "\n"
                                     << outcome.compiled.sqlite;
        return outcome;
    }

    // Values of the named result column, row by row.
    static std::vector<std::string> ColumnValues(const Outcome& outcome, const std::string& name) {
        std::vector<std::string> values;
        for (size_t c = 0; c < outcome.compiled.result.size(); ++c) {
            if (outcome.compiled.result[c].name != name) continue;
            for (const auto& row : outcome.rows) values.push_back(row[c]);
            return values;
        }
        ADD_FAILURE() << "no result column " << name;
        return values;
    }

    static std::vector<std::string> Columns(const Outcome& outcome) {
        std::vector<std::string> columns;
        for (const Column& column : outcome.compiled.result)
            columns.push_back(DescribeColumn(column));
        return columns;
    }

    static std::vector<std::string> Rows(const Outcome& outcome) {
        std::vector<std::string> rows;
        for (const auto& row : outcome.rows) {
            std::string line;
            for (size_t i = 0; i < row.size(); ++i) line += (i ? "|" : "") + row[i];
            rows.push_back(line);
        }
        return rows;
    }

    Database database_;
};

TEST_F(BuiltInStatements, GuarantorsByTransactionDate) {
    Outcome outcome = Run("builtin1.sql");
    EXPECT_EQ(Columns(outcome), (std::vector<std::string>{
                                    "Guarantor CHAR(8,0)", "Name CHAR(36,0)", "Street 1 CHAR(30,0)",
                                    "Street 2 CHAR(30,0)", "CityLine CHAR(35,0)"}));
    // Jane's three "A" transactions since 2008 give one row; John's case 2 names Mary as guarantor;
    // John's 2007 transaction is too old.
    EXPECT_EQ(Rows(outcome), (std::vector<std::string>{
                                 "DOEJA000|Jane Doe|5 Elm Ave||SHELBYVILLE, IL 62565",
                                 "SMIMA000|Mary Smith|12 Oak St|Apt 4|SPRINGFIELD, IL 62701"}));
}

TEST_F(BuiltInStatements, PatientByTransactionDate) {
    Outcome outcome = Run("builtin2.sql");
    EXPECT_EQ(
        Columns(outcome),
        (std::vector<std::string>{
            "Chart Number CHAR(8,0)", "Last Name CHAR(20,0)", "First Name CHAR(15,0)",
            "Street 1 CHAR(30,0)", "Street 2 CHAR(30,0)", "City CHAR(20,0)", "State CHAR(2,0)",
            "Zip Code CHAR(10,0)", "Home CHAR(14,0)", "Date of Birth DATE(4,0)"}));
    EXPECT_EQ(Rows(outcome),
              (std::vector<std::string>{
                  "DOEJA000|Doe|Jane|5 Elm Ave||Shelbyville|IL|62565|(217)555-0102|1985-07-04"}));
}

TEST_F(BuiltInStatements, PatientDemographics) {
    Outcome outcome = Run("builtin3.sql");
    EXPECT_EQ(Columns(outcome),
              (std::vector<std::string>{"Name CHAR(36,0)", "Street 1 CHAR(30,0)",
                                        "Street 2 CHAR(30,0)", "CityLine CHAR(34,0)",
                                        "Phone 1 CHAR(14,0)", "Email VARCHAR(60,0)"}));
    std::vector<std::string> rows = Rows(outcome);
    std::sort(rows.begin(), rows.end());
    EXPECT_EQ(rows,
              (std::vector<std::string>{
                  "John Smith|12 Oak St|NULL|Springfield IL 62701|(217)555-0101|js@example.com",
                  "Mary Smith|12 Oak St|Apt 4|Springfield IL 62701|NULL|ms@example.com"}));
}

TEST_F(BuiltInStatements, DemographicsForEmdeon) {
    Outcome outcome = Run("builtin4.sql");
    ASSERT_EQ(outcome.compiled.result.size(), 23u);
    EXPECT_EQ(DescribeColumn(outcome.compiled.result[7]), "SEX CHAR(1,0)");
    EXPECT_EQ(DescribeColumn(outcome.compiled.result[8]), "DOB DATE(4,0)");
    // The latest case of each chart, ordered by last name.
    EXPECT_EQ(ColumnValues(outcome, "ACCT_KEY"),
              (std::vector<std::string>{"DOEJA000", "SMIJO000"}));
    EXPECT_EQ(ColumnValues(outcome, "SEX"), (std::vector<std::string>{"F", "M"}));
    EXPECT_EQ(ColumnValues(outcome, "SUB_FNAME"), (std::vector<std::string>{"Jane", "Mary"}));
    EXPECT_EQ(ColumnValues(outcome, "INSID1"), (std::vector<std::string>{"P-200", "AH-555"}));
    EXPECT_EQ(ColumnValues(outcome, "INSNAME"),
              (std::vector<std::string>{"Blue Care Mutual", "Acme Health"}));
}

// Texts 5 and 6 differ in a few columns; both take the latest case of each chart with up to three
// insurers and subscribers joined from the left.
struct ExportCase {
    const char* file;
    size_t columns;
    const char* middleColumn;
    std::vector<std::string> middle;
};

class DemographicsExport : public BuiltInStatements,
                           public testing::WithParamInterface<ExportCase> {};

TEST_P(DemographicsExport, JoinsInsurersAndSubscribersFromTheLeft) {
    const ExportCase& c = GetParam();
    Outcome outcome = Run(c.file);
    EXPECT_EQ(outcome.compiled.result.size(), c.columns);
    EXPECT_EQ(ColumnValues(outcome, "ChartNo"), (std::vector<std::string>{"DOEJA000", "SMIJO000"}));
    EXPECT_EQ(ColumnValues(outcome, c.middleColumn), c.middle);
    EXPECT_EQ(ColumnValues(outcome, "Insurance2Name"),
              (std::vector<std::string>{"NULL", "Blue Care Mutual"}));
    EXPECT_EQ(ColumnValues(outcome, "SUB2_FirstName"), (std::vector<std::string>{"NULL", "John"}));
    EXPECT_EQ(ColumnValues(outcome, "Insurance3Name"), (std::vector<std::string>{"NULL", "NULL"}));
    EXPECT_EQ(ColumnValues(outcome, "Copayment Amount"),
              (std::vector<std::string>{"NULL", "25.5"}));
    EXPECT_EQ(ColumnValues(outcome, "Signature on File"), (std::vector<std::string>{"0", "1"}));
    EXPECT_EQ(ColumnValues(outcome, "Last Visit Date"),
              (std::vector<std::string>{"2010-08-01", "2009-02-01"}));
}

INSTANTIATE_TEST_SUITE_P(
    Versions, DemographicsExport,
    testing::Values(ExportCase{"builtin5.sql", 81, "MiddleInitial", {"NULL", "Q"}},
                    ExportCase{"builtin6.sql", 78, "Middle Initial", {"NULL", "Q"}}),
    [](const testing::TestParamInfo<ExportCase>& info) {
        return std::string(info.param.file).substr(0, 8);
    });

TEST_F(BuiltInStatements, FixPostConversionIcd10Issue) {
    Outcome outcome = Run("builtin7.sql");
    EXPECT_EQ(outcome.changes, 1);
    Outcome after = database_.Run("SELECT [Code 1], [Code 3] FROM mwdia ORDER BY 1");
    EXPECT_EQ(Rows(after), (std::vector<std::string>{"A00|", "B00|B02", "C00|D04"}));
}

}  // namespace
}  // namespace kce::sql::test
