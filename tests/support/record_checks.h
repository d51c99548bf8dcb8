#pragma once

#include <functional>
#include <string>
#include <vector>

#include "files/file_writer.h"
#include "model/channel_record.h"

namespace tavril::testing {

// Every field of the record, statistics included, one expectation each.
void ExpectSameRecord(const ChannelRecord& actual, const ChannelRecord& expected);

// Every field of the record, acquiredAt included, numbers bit for bit (a NaN
// equals the same NaN, -0.0 differs from 0.0); the revision aside.
void ExpectSameRecordBits(const ChannelRecord& actual, const ChannelRecord& expected);

// The record's samples, as a vector to compare.
std::vector<double> Values(const ChannelRecord& record);

// Gives the record these samples, with their statistics and count.
void SetSamples(ChannelRecord& record, std::vector<double> samples);

// The bytes a writer function produces, through a real file.
std::string BytesWrittenBy(const std::function<void(AtomicFileWriter&)>& write);

}  // namespace tavril::testing
