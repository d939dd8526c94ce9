// The comma-delimited layout: every value between double quotes, the values separated by commas.

#include "extract/Extract.h"
#include "extract/WalkGuard.h"

namespace parvell {

TExtractResult WriteCommaDelimited(TDataSet& data, TExtractFile& file, bool createHeader,
                                   TExtractCallbacks& callbacks) {
    TExtractResult result;
    std::string line;
    if (createHeader) {
        for (int i = 0; i < data.NumFields(); ++i) {
            if (i > 0) line += ',';
            line += '"';
            line += data.FieldAt(i).FieldName();
            line += '"';
        }
        file.WriteLine(line);
    }
    data.MoveFirst();
    while (!data.AtEnd()) {
        line.clear();
        const int count = data.NumFields();
        for (int i = 0; i < count; ++i) {
            if (i > 0) line += ',';
            line += '"';
            data.FieldAt(i).AppendValueText(line);
            line += '"';
        }
        if (!FinishRecord(file, line, data, callbacks, result)) break;
    }
    return result;
}

}  // namespace parvell
