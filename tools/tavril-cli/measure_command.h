#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

#include "cli_arguments.h"
#include "cli_commands.h"
#include "processing/measurement_table.h"

namespace tavril::cli {

// Measures each record of the files (a .tvr file's record, or each channel
// of a file of several), whole or between the command's two times, with the
// texts of the Mesures window; as `info`, the records are shown one after the
// other and a file that cannot be read is reported while the others are
// still measured.
int RunMeasure(const CommandLine& command, std::ostream& out, std::ostream& err);

// The measurements of one record: its title, the samples measured, then one
// line per measurement ("Minimum : -2.000 V").
std::string MeasureText(const MeasurementRow& row);
// The same as one JSON object in plain units (the duty cycle from 0 to 1),
// null for a measurement without a value; `source`'s "file" and "slot" first.
std::string MeasureJson(const MeasurementRow& row, const RecordSource& source = {});

}  // namespace tavril::cli
