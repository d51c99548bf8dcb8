#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli_arguments.h"
#include "cli_commands.h"
#include "cli_files.h"
#include "files/recording_reader.h"
#include "model/channel_record.h"
#include "processing/measurement_table.h"

namespace tavril::cli {

// One channel of an input file, as the commands read it.
struct InputChannel {
  const std::string* path = nullptr;      // its file
  std::optional<int> slot;                // in a file of several channels
  const ChannelRecord* record = nullptr;  // its samples, read whole
  RecordingReader* reader = nullptr;      // or read by range from here
  std::size_t index = 0;                  // its place in reader->Channels()

  std::uint64_t SampleCount() const;
  double Rate() const;
};

// An input file opened: its records read whole, or a reader by range.
struct InputFile {
  std::vector<InputRecord> records;
  std::unique_ptr<RecordingReader> reader;
  std::vector<InputChannel> channels;  // channels[i] is records[i]'s, or the reader's i
};

// Opens `path`: an HDF5 file (recordings, files of channels) by a
// RecordingReader, any other as LoadInputRecords reads it. Reports why it
// cannot; `path` must outlive `file`.
bool OpenInput(const std::string& path, InputFile& file, std::ostream& err);

// The channels of `file` (at `path`) in `slots`, or all of them without it;
// a file of one record without a slot (.tvr) gives it whatever `slots` says.
// Reports each slot asked that a file of several channels lacks, and is
// then false.
bool SelectChannels(const InputFile& file, const std::optional<SlotSelection>& slots,
                    const std::string& path, std::vector<const InputChannel*>& chosen,
                    std::ostream& err);

// The slots of `file`, as "0, 2, 3".
std::string SlotList(const InputFile& file);

// Calls `visit` with each channel `slots` selects in each file of `paths`,
// in order, with where it comes from: its file, named when there are several
// files or when the file holds several channels, and its slot. A file that
// cannot be read, or that lacks a slot asked, is reported and the others are
// still visited; `visit` reports its own failures and then gives false.
// 1 when anything failed, else 0.
int ForEachInputChannel(const std::vector<std::string>& paths,
                        const std::optional<SlotSelection>& slots, std::ostream& err,
                        const std::function<bool(const InputChannel&, const RecordSource&)>& visit);

// The samples of a record of `samples` samples at `rate` that `between`
// covers ([ceil(T1 rate), floor(T2 rate)], clipped), or all of them without
// it; none when it covers no sample.
std::optional<SampleRange> RangeOf(const std::optional<TimeInterval>& between,
                                   std::uint64_t samples, double rate);

// `record`'s samples in `range` (none without a range), with its settings;
// its acquisition time moves to the range's first sample.
ChannelRecord RecordOfRange(const ChannelRecord& record, const std::optional<SampleRange>& range);

// When sample `index` of a record that started at `start` was taken.
std::optional<std::chrono::system_clock::time_point> TimeOfSample(
    const std::optional<std::chrono::system_clock::time_point>& start, std::uint64_t index,
    double rate);

}  // namespace tavril::cli
