#pragma once
// Shared by the writers: the step after each record line. Internal to extract/.

#include "data/DataSet.h"
#include "extract/Extract.h"
#include "extract/ExtractFile.h"

namespace parvell {

// Runs the caller's progress step and tells whether the walk goes on. The step may process
// window messages; if something closed the dataset meanwhile, the walk must not take the
// cleared window for the end of the data (that would report a cut-off file as complete), so
// the closed dataset is reported as the error it is.
inline bool ContinueAfterRecord(TDataSet& data, TExtractCallbacks& callbacks) {
    const bool goOn = callbacks.RecordWritten();
    if (!data.Active()) data.DatabaseError("Cannot perform this operation on a closed dataset");
    return goOn;
}

// Writes one record's line, moves to the next record and runs the progress step; false when the
// caller asked to stop (the result is then marked cancelled).
inline bool FinishRecord(TExtractFile& file, const std::string& line, TDataSet& data,
                         TExtractCallbacks& callbacks, TExtractResult& result) {
    file.WriteLine(line);
    ++result.records;
    data.MoveNext();
    if (ContinueAfterRecord(data, callbacks)) return true;
    result.cancelled = true;
    return false;
}

}  // namespace parvell
