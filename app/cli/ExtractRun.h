#pragma once
// The core of parvell-cli extract: the query of a set of components, prepared with its
// statement, opened and written into one file by the window's writers. The extract command runs
// it once; the dump command runs it for each table, so both write the same bytes.

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>

#include "app/cli/QueryCommands.h"
#include "extract/Extract.h"

namespace parvell::cli {

struct TExtractRequest {
    TExtractOptions options;
    // The record-number column; it exists in the tab layout only and is ignored otherwise.
    bool recordNumber = false;
    std::string outFile;  // as typed (UTF-8; "/" or "\" separate folders)
    // An existing file is deleted before the run; without it the run is refused.
    bool force = false;
    // Each column the layout leaves out is named once on standard error.
    bool reportLeftOut = true;
    // Called after the query opened and before the file is touched; may raise to refuse the run
    // (nothing is written then). Null for none.
    std::function<void(TKdbQuery&)> opened;
    // The progress line on a terminal: the text before the bar, and the text after the record
    // counts (both may be empty).
    std::string progressLabel;
    std::function<std::string(int64_t position, int64_t maximum)> progressTail;
};

// The outcome: exit status 0 (written), 1 (refused: the file exists without force, or cannot be
// deleted; the message is on `err`) or 130 (interrupted; result.cancelled is set). Failures of
// the query and of the file leave as exceptions; the file then holds the complete lines written
// before the failure, under its name.
struct TExtractRunResult {
    int status = 0;
    TExtractResult result;
};

// Opens the query (it must be prepared), then writes it into request.outFile with
// FillQueryCursorsInBackground as the caller set it.
TExtractRunResult RunExtract(TQueryComponents& components, const TExtractRequest& request,
                             std::ostream& err);

// The layouts by their names on the command line: "comma", "fixed" and "tab" (TUsageError for
// another name), and back.
TExtractLayout LayoutNamed(const std::string& name);
const char* LayoutName(TExtractLayout layout);

// What a name that exists but is not a regular file is, for the message that refuses it; empty
// for a regular file or a name that does not exist.
std::string NotAFile(const std::string& target);

}  // namespace parvell::cli
