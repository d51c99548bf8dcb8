#pragma once

#include <functional>
#include <string>

#include "files/file_writer.h"
#include "model/channel_record.h"

namespace tavril::testing {

// Every field of the record, statistics included, one expectation each.
void ExpectSameRecord(const ChannelRecord& actual, const ChannelRecord& expected);

// The bytes a writer function produces, through a real file.
std::string BytesWrittenBy(const std::function<void(AtomicFileWriter&)>& write);

}  // namespace tavril::testing
