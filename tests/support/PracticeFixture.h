#pragma once
// A small practice made by the tests: a data dictionary mwddf.kdd in a folder, with the user the
// window logs in as, and tables filled by SQL statements.

#include <string>
#include <vector>

namespace parvell::test {

// Creates folder/mwddf.kdd (the folder must exist) and runs the statements on it as the
// administrator. Fails the test on any engine error.
void MakePractice(const std::string& folder, const std::vector<std::string>& statements);

// The table the query-action tests read: every engine type the writers meet, with nulls, quotes,
// a comma, a tab and a line break inside values; and a table of five numbered rows.
std::vector<std::string> FixtureStatements();

}  // namespace parvell::test
