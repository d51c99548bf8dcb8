#pragma once

#include <iosfwd>

#include "cli_arguments.h"

namespace tavril::cli {

// Reads every input (.tvr, .csv, .mat, .h5) into one set of channels and
// writes it to the output, in the format of its extension. Each .tvr record
// takes the lowest channel no earlier input took; the records of a file of
// several channels keep theirs, and two inputs holding the same channel are
// refused. A file of several channels (.csv, .mat, .h5, .xlsx) gets them
// all; a .tvr or .m output gets one record, or, for several, one file per
// channel named after it: out.tvr gives out0.tvr, out3.tvr... Only the
// channels of --channels (of files of several channels) and the samples of
// --between are written; a channel left without samples, or too long for
// the output's format, is refused. Without --force no output may exist
// already, and nothing is written then.
int RunConvert(const CommandLine& command, std::ostream& err);

}  // namespace tavril::cli
