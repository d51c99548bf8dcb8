#pragma once

#include <functional>
#include <string>

#include "files/file_writer.h"
#include "model/channel_record.h"

namespace tavril::testing {

// Every field of the record, statistics included, one expectation each.
void ExpectSameRecord(const ChannelRecord& actual, const ChannelRecord& expected);

// Every field of the record, acquiredAt included, numbers bit for bit (a NaN
// equals the same NaN, -0.0 differs from 0.0); samplesRevision aside.
void ExpectSameRecordBits(const ChannelRecord& actual, const ChannelRecord& expected);

// The bytes a writer function produces, through a real file.
std::string BytesWrittenBy(const std::function<void(AtomicFileWriter&)>& write);

}  // namespace tavril::testing
