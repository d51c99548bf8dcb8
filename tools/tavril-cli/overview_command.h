#pragma once

#include <iosfwd>

#include "cli_arguments.h"

namespace tavril::cli {

// Builds the side file of the overview of a file of channels that has none,
// its progress on standard error (on a terminal); Ctrl+C cancels it.
int RunOverview(const CommandLine& command, std::ostream& err);

}  // namespace tavril::cli
