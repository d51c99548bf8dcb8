#pragma once

#include "files/file_writer.h"
#include "model/channel_record.h"

namespace tavril {

// Two columns with a header line, "time_s,volts", then one line per sample:
// i / rate and the sample, both "%.12f"; lines end with CR LF.
void WriteCsvFile(const ChannelRecord& record, AtomicFileWriter& out);

}  // namespace tavril
