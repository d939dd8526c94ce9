#pragma once
// The text table of the command-line tool's query: each field's DisplayString, the texts the
// window's result grid shows.

#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace parvell {

class TDataSet;

// Turns a line of single-byte text into what the output expects (UTF-8 on a terminal).
using TLineEncoder = std::function<std::string(std::string_view)>;

// Prints an open dataset from its first record: the column names, a rule, then one line per
// record; columns are as wide as their widest text and separated by two blanks. Walks the
// dataset twice (widths, then lines) so that memory stays flat however many records there are.
long WriteDataSetText(TDataSet& dataSet, std::ostream& out, const TLineEncoder& encode = {});

// The same table for texts the caller holds: the column names, then one line per row (each row
// has a text per column).
void WriteTextTable(const std::vector<std::string>& names,
                    const std::vector<std::vector<std::string>>& rows, std::ostream& out,
                    const TLineEncoder& encode = {});

}  // namespace parvell
