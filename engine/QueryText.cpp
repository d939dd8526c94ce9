#include "engine/QueryText.h"

#include <algorithm>
#include <ostream>
#include <vector>

#include "data/DataSet.h"

namespace parvell {
namespace {

void WriteLine(std::ostream& out, std::string& line, const TLineEncoder& encode) {
    while (!line.empty() && line.back() == ' ') line.pop_back();
    if (encode) {
        out << encode(line) << '\n';
    } else {
        out << line << '\n';
    }
}

void AppendCell(std::string& line, std::string_view text, size_t width, bool last) {
    line += text;
    if (!last) line.append(width - std::min(width, text.size()) + 2, ' ');
}

}  // namespace

long WriteDataSetText(TDataSet& dataSet, std::ostream& out, const TLineEncoder& encode) {
    const int count = dataSet.NumFields();
    std::vector<size_t> widths(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        widths[static_cast<size_t>(i)] = dataSet.FieldAt(i).FieldName().size();
    dataSet.MoveFirst();
    while (!dataSet.AtEnd()) {
        for (int i = 0; i < count; ++i) {
            size_t& width = widths[static_cast<size_t>(i)];
            width = std::max(width, dataSet.FieldAt(i).DisplayString().size());
        }
        dataSet.MoveNext();
    }
    std::string line;
    for (int i = 0; i < count; ++i)
        AppendCell(line, dataSet.FieldAt(i).FieldName(), widths[size_t(i)], i == count - 1);
    WriteLine(out, line, encode);
    line.clear();
    for (int i = 0; i < count; ++i) {
        AppendCell(line, std::string(widths[size_t(i)], '-'), widths[size_t(i)], i == count - 1);
    }
    WriteLine(out, line, encode);
    long records = 0;
    dataSet.MoveFirst();
    while (!dataSet.AtEnd()) {
        line.clear();
        for (int i = 0; i < count; ++i) {
            AppendCell(line, dataSet.FieldAt(i).DisplayString(), widths[size_t(i)], i == count - 1);
        }
        WriteLine(out, line, encode);
        ++records;
        dataSet.MoveNext();
    }
    return records;
}

void WriteTextTable(const std::vector<std::string>& names,
                    const std::vector<std::vector<std::string>>& rows, std::ostream& out,
                    const TLineEncoder& encode) {
    const size_t count = names.size();
    std::vector<size_t> widths(count);
    for (size_t i = 0; i < count; ++i) widths[i] = names[i].size();
    for (const std::vector<std::string>& row : rows) {
        for (size_t i = 0; i < count && i < row.size(); ++i)
            widths[i] = std::max(widths[i], row[i].size());
    }
    std::string line;
    for (size_t i = 0; i < count; ++i) AppendCell(line, names[i], widths[i], i + 1 == count);
    WriteLine(out, line, encode);
    line.clear();
    for (size_t i = 0; i < count; ++i)
        AppendCell(line, std::string(widths[i], '-'), widths[i], i + 1 == count);
    WriteLine(out, line, encode);
    for (const std::vector<std::string>& row : rows) {
        line.clear();
        for (size_t i = 0; i < count; ++i)
            AppendCell(line, i < row.size() ? row[i] : std::string(), widths[i], i + 1 == count);
        WriteLine(out, line, encode);
    }
}

}  // namespace parvell
