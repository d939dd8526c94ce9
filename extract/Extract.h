#pragma once
// Extraction of an open dataset into a text file, in one of three layouts. GUI-free: the
// caller gives the options and a TExtractCallbacks object through which the run reads its live
// choices, reports unsupported columns and reports progress. The window and the command-line
// tool run the very same code, so the same choices give the same bytes.
//
// Both writers walk the dataset from its first record to its end and write one line per record;
// the file is closed however the run ends, keeping the complete lines written so far.

#include <cstdint>
#include <string>
#include <string_view>

#include "data/DataSet.h"
#include "data/FieldTypes.h"
#include "extract/ExtractFile.h"

namespace parvell {

// The items of "Extracted File Type", by index.
enum class TExtractLayout : int { CommaDelimited = 0, FixedLength = 1, TabDelimited = 2 };

struct TExtractOptions {
    TExtractLayout layout = TExtractLayout::CommaDelimited;
    // Whether a header line comes first; fixed for the whole run.
    bool createHeader = true;
};

// What a run asks of its caller while it goes. The defaults suit a caller without choices to
// change during the run: no record number, unsupported columns ignored, no progress shown.
class TExtractCallbacks {
public:
    virtual ~TExtractCallbacks() = default;

    // Tab layout: whether the header begins with "Record Num". Asked once, for the header.
    virtual bool HeaderRecordNumber() { return false; }
    // Tab layout: whether the current record's line begins with its record number. Asked anew
    // for every record line, so a choice changed during the run applies to the remaining lines.
    virtual bool LineRecordNumber() { return false; }
    // The fixed-length and tab layouts leave out columns of types they cannot write. This is
    // called with the column's name each time such a column is met: once for the header and
    // once for every record (memo columns are left out silently).
    virtual void UnsupportedColumn(const std::string& fieldName) {}
    // Called after each record line has been written. Returning false stops the run there; the
    // file is closed with the lines written so far.
    virtual bool RecordWritten() { return true; }
};

struct TExtractResult {
    int64_t records = 0;     // record lines written
    bool cancelled = false;  // RecordWritten stopped the run
};

// Width of a column of the type in the fixed-length and tab layouts: 0 stands for the field
// definition's Size, -1 for a type that is not written.
int32_t GetFieldTypeLength(TFieldType dataType);

// The comma-delimited layout into an open file: an optional header of the quoted field names,
// then per record each field's ValueAsText between double quotes, separated by commas. Nothing
// inside the quotes is escaped. The dataset must be open.
TExtractResult WriteCommaDelimited(TDataSet& data, TExtractFile& file, bool createHeader,
                                   TExtractCallbacks& callbacks);

// The fixed-length (tabDelimited false) or tab-delimited layout into an open file.
TExtractResult WriteFixedLength(TDataSet& data, TExtractFile& file, bool tabDelimited,
                                bool createHeader, TExtractCallbacks& callbacks);

// A whole run: creates the file at path, writes the layout and closes the file. A file that
// cannot be created is reported as in/out error 103 (no file is open to close). When the run
// fails part-way the file is closed with the complete lines written so far and the error
// continues to the caller.
TExtractResult ExtractToFile(TDataSet& data, std::string_view path, const TExtractOptions& options,
                             TExtractCallbacks& callbacks);
// The same into a file object of the caller's (which the run creates and closes).
TExtractResult ExtractToFile(TDataSet& data, std::string_view path, const TExtractOptions& options,
                             TExtractCallbacks& callbacks, TExtractFile& file);

}  // namespace parvell
