#pragma once

#include "files/file_writer.h"
#include "model/channel_record.h"

namespace tavril {

// One record as a CSV file of one channel, in slot 0 (files/csv_file.h): its
// channel line, "time_s,slot0_V", then i / rate and each sample.
void WriteCsvFile(const ChannelRecord& record, AtomicFileWriter& out);

}  // namespace tavril
