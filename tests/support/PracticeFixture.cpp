#include "tests/support/PracticeFixture.h"

#include <gtest/gtest.h>

#include "kce/kce.h"

namespace parvell::test {
namespace {

std::string LastEngineError() {
    uint32_t code = 0;
    char text[2000] = {};
    uint16_t length = sizeof text;
    KdbGetLastError(&code, text, &length);
    return std::to_string(code) + ": " + text;
}

}  // namespace

void MakePractice(const std::string& folder, const std::vector<std::string>& statements) {
    const std::string path = folder + "/mwddf.kdd";
    uint32_t connection = 0;
    ASSERT_EQ(KdbDDCreate(path.c_str(), "adminpw", "test practice", &connection), 0u)
        << LastEngineError();
    ASSERT_EQ(KdbDDCreateUser(connection, "user", "qzmvtrlk", "the program's user"), 0u)
        << LastEngineError();
    for (const std::string& sql : statements) {
        uint32_t statement = 0;
        uint32_t cursor = 0;
        ASSERT_EQ(KdbCreateSQLStatement(connection, &statement), 0u) << LastEngineError();
        EXPECT_EQ(KdbExecuteSQLDirect(statement, sql.c_str(), &cursor), 0u) << sql << "\n"
                                                                            << LastEngineError();
        if (cursor != 0) KdbCloseTable(cursor);
        KdbCloseSQLStatement(statement);
    }
    KdbDisconnect(connection);
}

std::vector<std::string> FixtureStatements() {
    return {
        "CREATE TABLE pat (name CHAR(12), age SMALLINT, visits INTEGER, active LOGICAL, "
        "balance DOUBLE, fee CURRENCY, born DATE, seen TIME, stamp TIMESTAMP, id AUTOINC, "
        "notes MEMO, owed MONEY)",
        "INSERT INTO pat (name, age, visits, active, balance, fee, born, seen, stamp, notes, owed) "
        "VALUES ('Smith, \"Al\"', -5, 1234567, TRUE, 1234.56789012345, 12.5, '1960-02-29', "
        "'09:05:07', '2008-01-15 14:30:00', 'a note', 12.5)",
        "INSERT INTO pat (name, age, visits, active, balance, fee, born, seen, stamp, notes, owed) "
        "VALUES ('Tab\there', 32767, -7, FALSE, 0.00001, -3, '2001-12-31', "
        "'00:00:00', '2008-01-15 00:00:00', NULL, -0.5)",
        "INSERT INTO pat (name, notes) VALUES ('Two\r\nlines', 'x')",
        "INSERT INTO pat (name) VALUES (NULL)",
        "CREATE TABLE nums (n INTEGER, label CHAR(4))",
        "INSERT INTO nums VALUES (1, 'one'), (2, 'two'), (3, 'thr'), (4, 'fou'), (5, 'fiv')",
    };
}

}  // namespace parvell::test
