#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "files/hdf5_recording.h"
#include "files/isolated_check.h"
#include "model/recording_overview.h"

namespace tavril {

class CodeVolts;

// One channel of a recording opened for reading.
struct RecordedChannel {
  RecordingChannel settings;
  std::uint64_t sampleCount = 0;  // up to the writer's last flush
};

// A recording (files/recording_layout.h), or a file of channels in the
// layout of files/hdf5_file.h (recordings of the previous version, channel
// exports, files written by other programs), read by range: memory holds
// what is asked, never the whole file. A recording this program is still
// writing reads up to its writer's last flush (Refresh() follows it); each
// read holds the library for at most one chunk, so that the writer never
// waits long. Every read checks its range against the channel's count.
class RecordingReader {
 public:
  // Opens `path` and checks every channel's description; nothing, with
  // `why` in French, when it is not such a file or is damaged. The file is
  // first read by the helper program (files/isolated_check.h) unless told
  // otherwise.
  static std::unique_ptr<RecordingReader> Open(const std::filesystem::path& path, std::string* why,
                                               CheckPlace check = CheckPlace::kAside);
  ~RecordingReader();
  RecordingReader(const RecordingReader&) = delete;
  RecordingReader& operator=(const RecordingReader&) = delete;

  // The channels, in slot order.
  std::span<const RecordedChannel> Channels() const;
  // The file stores the board's codes and an overview (a recording of this
  // version); otherwise volts, the overview then being read from the samples.
  bool HoldsCodes() const;
  // The channels' overview comes from the file, or from its side file
  // (files/overview_file.h) while that still matches it.
  bool HasOverview() const;

  // Reads the channels' counts again, for a file still being written.
  bool Refresh(std::string* why);

  // Samples [first, first + volts.size()) of channel `channel` (an index in
  // Channels()), in volts. False, with `why`, past the channel's count or
  // when the file cannot be read.
  bool ReadVolts(std::size_t channel, std::uint64_t first, std::span<double> volts,
                 std::string* why);

  // The same samples as the board's codes, in a file that holds codes.
  bool ReadCodes(std::size_t channel, std::uint64_t first, std::span<std::int32_t> codes,
                 std::string* why);
  // The same, straight from the file into `codes`, for codes of 16 bits or
  // fewer (CodeBytes() at most 2): half the memory, no copy.
  bool ReadCodes(std::size_t channel, std::uint64_t first, std::span<std::int16_t> codes,
                 std::string* why);
  // Bytes per code the file stores for `channel`; 0 in a file of volts.
  std::size_t CodeBytes(std::size_t channel) const;
  // How the file turns the channel's codes into volts; none in a file of volts.
  const CodeVolts* Conversion(std::size_t channel) const;

  // Samples or nodes [first, first + count).
  struct Stretch {
    std::uint64_t first = 0;
    std::uint64_t count = 0;
  };
  // The samples of several stretches of channel `channel`, in ascending
  // order and not overlapping, in volts, one stretch after the other in
  // `volts` (as long as all of them): one pass of the library over many
  // small stretches rather than a call for each.
  bool ReadVolts(std::size_t channel, std::span<const Stretch> stretches, std::span<double> volts,
                 std::string* why);
  // The same as codes, in a file of codes of 16 bits or fewer, straight
  // from the file into `codes`.
  bool ReadCodes(std::size_t channel, std::span<const Stretch> stretches,
                 std::span<std::int16_t> codes, std::string* why);
  // The extents of the nodes of several stretches of `level` in the
  // channel's overview (ascending, not overlapping), one stretch after the
  // other in `extents`.
  bool ReadNodeExtents(std::size_t channel, std::size_t level, std::span<const Stretch> stretches,
                       std::span<ValueExtent> extents, std::string* why);

  // Channel `channel` as an overview source: its nodes from the file's
  // overview (none in a file without one) and its samples by ReadVolts. A
  // failed read says why in LastFailure().
  OverviewSource& Source(std::size_t channel);
  const std::string& LastFailure() const;

 private:
  struct State;
  explicit RecordingReader(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace tavril
