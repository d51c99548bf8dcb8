#pragma once

#include <iosfwd>
#include <string>

#include "acquisition/frequency_response.h"
#include "cli_arguments.h"

namespace tavril::cli {

// Sweeps the board of ./TAVRIL.INI's device as command.bode asks and prints
// each point as it is measured: a table, or with --csv the CSV columns
// frequence_hz,gain_db,phase_deg. Ctrl+C or SIGTERM stops the sweep, the
// outputs at 0 V, status 1.
int RunBode(const CommandLine& command, std::ostream& out, std::ostream& err);

// The sweep command.bode asks for.
SweepSettings BodeSettings(const BodeRequest& request);

// One point as a row of the table (under BodeTableHeading()) or of the CSV,
// each ending with '\n'.
std::string BodeTableHeading();
std::string BodeTableRow(const FrequencyPoint& point);
std::string BodeCsvRow(const FrequencyPoint& point);

}  // namespace tavril::cli
