#pragma once

#include <iosfwd>
#include <string>

#include "cli_arguments.h"
#include "processing/spectrum.h"

namespace tavril::cli {

// Reads the record of command.input (a .tvr file's, or the channel
// command.channel of a file of several, which it may leave out when the file
// holds one) and prints its spectrum: the summary (window, blocks, bins, bin
// width, peak), or with --csv the bins as CSV.
// A record without a rate, with fewer than kMinBlock samples or with a
// sample that is not finite has no spectrum: one line on `err`, status 1.
int RunSpectrum(const CommandLine& command, std::ostream& out, std::ostream& err);

// The summary's lines, each ending with '\n'.
std::string SpectrumSummary(const Spectrum& spectrum, SpectrumWindow window);

}  // namespace tavril::cli
