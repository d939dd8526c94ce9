// The fixed-length and tab-delimited layouts: one text per column, chosen by the type of the
// column's field definition, then padded to the column's width or followed by a tab.

#include <vector>

#include "data/Fields.h"
#include "data/Formats.h"
#include "extract/Extract.h"
#include "extract/WalkGuard.h"

namespace parvell {
namespace {

// One column as the walk sees it, settled before the first line: the definition's type chooses
// the width and the text rule, the field at the same position gives the name, and the value is
// read from the first field carrying that name.
struct TColumn {
    std::string name;
    TFieldType defType = ftUnknown;
    TFieldType fieldType = ftUnknown;  // of the field object at the same position
    int32_t width = -1;
    const TField* value = nullptr;             // set for columns that are written
    const TLargeintField* largeint = nullptr;  // the 64-bit reading of an ftLargeint column
    mutable TDateTimePattern pattern;          // the date-time text of the column, compiled
};

std::vector<TColumn> Columns(const TDataSet& data) {
    std::vector<TColumn> columns;
    const int count = data.NumFields();
    columns.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const TField& field = data.FieldAt(i);
        const TFieldDef& def = data.FieldDefs().DefAt(i);
        TColumn column;
        column.name = field.FieldName();
        column.fieldType = field.DataType();
        column.defType = def.DataType();
        column.width = GetFieldTypeLength(column.defType);
        if (column.width == 0) column.width = def.Size();
        if (column.width >= 0) {
            column.value = &data.FieldNamed(column.name);
            if (column.defType == ftLargeint) {
                column.largeint = dynamic_cast<const TLargeintField*>(column.value);
            }
        }
        columns.push_back(std::move(column));
    }
    return columns;
}

// Cuts what was appended from start on to at most width characters.
void CutTo(std::string& line, std::size_t start, int32_t width) {
    if (line.size() - start > static_cast<std::size_t>(width)) line.resize(start + width);
}

// Appends the column's text for the current record.
void AppendText(std::string& line, const TColumn& column) {
    const std::size_t start = line.size();
    const TField& field = *column.value;
    switch (column.defType) {
        case ftString:
        case ftBoolean:
            field.AppendValueText(line);
            break;
        case ftLargeint:
            // The whole 64-bit value: its low 32 bits alone would be a different number.
            if (column.largeint) {
                AppendInt64Text(line, column.largeint->ValueAsLargeInt());
            } else {
                AppendIntegerText(line, field.ValueAsInteger());
            }
            CutTo(line, start, column.width);
            break;
        case ftSmallint:
        case ftInteger:
        case ftWord:
        case ftAutoInc:
            AppendIntegerText(line, field.ValueAsInteger());
            CutTo(line, start, column.width);
            break;
        case ftFloat:
        case ftCurrency:
            AppendFloatText(line, field.ValueAsFloat());
            CutTo(line, start, column.width);
            break;
        case ftDate:
        case ftDateTime:
            if (!field.ValueIsNull()) column.pattern.Append(line, {}, field.ValueAsDateTime());
            break;
        case ftTime:
            // A null time reads as 0, the start of the day, and is written as such.
            column.pattern.Append(line, LocaleFormats.LongTimePattern, field.ValueAsDateTime());
            break;
        default:
            break;  // no other type has a width
    }
}

}  // namespace

int32_t GetFieldTypeLength(TFieldType dataType) {
    switch (dataType) {
        case ftString:
            return 0;
        case ftSmallint:
            return 6;
        case ftInteger:
            return 11;
        case ftWord:
            return 5;
        case ftBoolean:
            return 5;
        case ftFloat:
            return 12;
        case ftCurrency:
            return 12;
        case ftDate:
            return 10;
        case ftTime:
            return 15;
        case ftDateTime:
            return 22;
        case ftAutoInc:
            return 11;
        case ftLargeint:
            return 11;
        default:
            return -1;
    }
}

TExtractResult WriteFixedLength(TDataSet& data, TExtractFile& file, bool tabDelimited,
                                bool createHeader, TExtractCallbacks& callbacks) {
    TExtractResult result;
    std::vector<TColumn> columns;
    bool columnsKnown = false;
    std::string line;

    if (createHeader) {
        columns = Columns(data);
        columnsKnown = true;
        if (tabDelimited && callbacks.HeaderRecordNumber()) line += "Record Num\t";
        for (const TColumn& column : columns) {
            if (column.width > 0) {
                line += column.name;
                if (tabDelimited) {
                    line += '\t';
                } else {
                    line += '|';
                    AppendIntegerText(line, column.width);
                    line += "||";
                }
            } else if (column.fieldType != ftMemo) {
                callbacks.UnsupportedColumn(column.name);
            }
        }
        file.WriteLine(line);
    }

    data.MoveFirst();
    while (!data.AtEnd()) {
        if (!columnsKnown) {
            columns = Columns(data);
            columnsKnown = true;
        }
        line.clear();
        if (callbacks.LineRecordNumber()) {
            AppendIntegerText(line, data.RecordNumber());
            line += '\t';
        }
        for (const TColumn& column : columns) {
            if (column.width < 0) {
                if (column.defType != ftMemo) callbacks.UnsupportedColumn(column.name);
                continue;
            }
            const std::size_t start = line.size();
            AppendText(line, column);
            if (tabDelimited) {
                line += '\t';
            } else if (line.size() - start < static_cast<std::size_t>(column.width)) {
                line.append(start + column.width - line.size(), ' ');
            }
        }
        if (!FinishRecord(file, line, data, callbacks, result)) break;
    }
    return result;
}

}  // namespace parvell
