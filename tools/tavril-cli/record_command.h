#pragma once

#include <iosfwd>

#include "cli_arguments.h"

namespace tavril::cli {

// Records every sample of a continuous run of the board of ./TAVRIL.INI's
// device into one HDF5 file, until the duration is over, the user stops it
// (Ctrl+C, SIGTERM) or a failure ends it (the board's buffer overflowing, a
// full disk); the file is then closed and readable. A progress line on a
// terminal, a summary on `out`; a failure is printed with the samples the
// file kept and ends the command with status 1.
int RunRecord(const CommandLine& command, std::ostream& out, std::ostream& err);

}  // namespace tavril::cli
