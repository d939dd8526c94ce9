#pragma once
// The query of the command-line tool: the statement runs through the same components, set up
// the same way, as in the main window (connection KdbCPath, settings KdbSettings1, query
// KdbTable1), and the result is printed as an aligned text table of each field's DisplayString.

#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>

namespace parvell {

class TDataSet;

struct TQueryTextRequest {
    std::string DataPath;  // a folder of tables or a data dictionary file
    std::string Username = "user";
    std::string Password = "qzmvtrlk";
    std::string Sql;
};

// Turns a line of single-byte text into what the output expects (UTF-8 on a terminal).
using TLineEncoder = std::function<std::string(std::string_view)>;

// Opens the statement and prints its result; failures leave as exceptions whose messages read
// as the window's ("KdbTable1: " and the engine's text). Returns the number of records printed.
long PrintQueryText(const TQueryTextRequest& request, std::ostream& out, const TLineEncoder& encode = {});

// Prints an open dataset from its first record: the column names, a rule, then one line per
// record; columns are as wide as their widest text and separated by two blanks. Walks the
// dataset twice (widths, then lines) so that memory stays flat however many records there are.
long WriteDataSetText(TDataSet& dataSet, std::ostream& out, const TLineEncoder& encode = {});

}  // namespace parvell
