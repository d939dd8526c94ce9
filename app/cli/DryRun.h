#pragma once
// parvell-cli exec --dry-run: the statement runs inside a transaction of the connection and is
// rolled back, so the practice's files stay byte for byte as they were.

#include <iosfwd>

#include "app/cli/QueryCommands.h"

namespace parvell::cli {

// Runs the prepared statement of `components` inside a transaction, prints the number of rows it
// changed (and with show > 0 the first `show` changed rows before and after, as query prints
// rows), then rolls back. Statements that a rollback cannot undo are refused before they run
// (exit status 1, the reason on `err`).
int DryRun(TQueryComponents& components, int show, std::ostream& out, std::ostream& err);

}  // namespace parvell::cli
