#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "cli_arguments.h"
#include "cli_commands.h"
#include "files/recording_reader.h"
#include "model/channel_record.h"
#include "processing/measurement_table.h"

// What the commands make of a channel of an HDF5 file read by range: memory
// holds a block of samples (or what a command writes whole), whatever the
// channel's length.
namespace tavril::cli {

// The samples read at once.
inline constexpr std::size_t kReadBlockSamples = std::size_t{1} << 20;

// The level statistics of `range` of channel `index` (none: no samples),
// from the file's overview or, without one, its samples a block at a time.
// False, with `why`, when the file cannot be read.
bool RecordedLevels(RecordingReader& reader, std::size_t index,
                    const std::optional<SampleRange>& range, OverviewStatistics& levels,
                    std::string* why);

// info's text and JSON for `channel`: the record's lines with its count in
// 64 bits, its duration, the samples of `between` when given (`range`) and
// the extent, mean and RMS of those samples (`levels`).
std::string RecordedInfoText(const RecordedChannel& channel,
                             const std::optional<TimeInterval>& between,
                             const std::optional<SampleRange>& range,
                             const OverviewStatistics& levels);
std::string RecordedInfoJson(const RecordedChannel& channel,
                             const std::optional<TimeInterval>& between,
                             const std::optional<SampleRange>& range,
                             const OverviewStatistics& levels, const RecordSource& source);

// The measurements of `range` of channel `index`: the levels from
// RecordedLevels, the timing from the samples streamed a block at a time.
// False, with `why`, when the file cannot be read.
bool MeasureRecorded(RecordingReader& reader, std::size_t index,
                     const std::optional<SampleRange>& range, MeasurementRow& row,
                     std::string* why);

// `range` of channel `index` (none: no samples) as a record in memory, with
// the channel's settings, its acquisition time moved to the range's first
// sample. False, with `why`, when the file cannot be read or memory cannot
// hold it.
bool ReadRecordedRange(RecordingReader& reader, std::size_t index,
                       const std::optional<SampleRange>& range, ChannelRecord& record,
                       std::string* why);

}  // namespace tavril::cli
