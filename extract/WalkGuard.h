#pragma once
// Shared by the writers: the step after each record line. Internal to extract/.

#include "data/DataSet.h"
#include "extract/Extract.h"

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

}  // namespace parvell
