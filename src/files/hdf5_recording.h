#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "model/sample_sink.h"

namespace tavril {

// One channel a recording keeps, as its dataset's attributes describe it.
struct RecordingChannel {
  int slot = 0;       // the channel table's slot, 0 to 7, once per recording
  std::string title;  // Windows-1252, at most kMaxTitleBytes
  std::int16_t device = 0;
  std::int16_t chan = 0;
  std::int16_t gain = 1;
  double rate = 0.0;  // samples per second
  // When the board gave the first sample, if known.
  std::optional<std::chrono::system_clock::time_point> acquiredAt;
};

// A continuous acquisition recorded as its samples come, in the layout of
// files/recording_layout.h: the board's codes and the overview. The file is valid from its
// creation on; after each Flush() it holds every sample appended so far,
// with its count, statistics and overview, and stays so if the program is
// then killed. A disk that fills up stops the recording, the file then
// holding what the last flush left. Memory does not grow with the
// recording's length: samples wait in one chunk's buffer per channel.
//
// A board may refuse to start: until it has started, the file is written
// under a hidden name beside its target (`.NAME.tmp-PID-N`, beside the file
// a symbolic link leads to), and any file under the target's name stays as
// it was. Started(), or the first samples, renames it over the target; a
// recording closed before that removes it. A program killed before that
// leaves the hidden file behind, and the target untouched.
class Hdf5Recording final : public SampleSink {
 public:
  // Creates the file that is to replace `path`, with one empty dataset per
  // channel. Nothing, with `why` in French, on failure; `path` is untouched.
  static std::unique_ptr<Hdf5Recording> Create(const std::filesystem::path& path,
                                               std::span<const RecordingChannel> channels,
                                               std::string* why);
  ~Hdf5Recording() override;
  Hdf5Recording(const Hdf5Recording&) = delete;
  Hdf5Recording& operator=(const Hdf5Recording&) = delete;

  // Keeps the readings, and the volts the file's conversion gives them for
  // the overview and the statistics; the block's own volts are not stored.
  bool Append(const SampleBlock& block, std::string* why) override;
  bool Flush(std::string* why) override;
  // Samples accepted by Append(); once the recording has stopped on a
  // failure, those the file keeps.
  std::uint64_t SamplesPerChannel() const override;
  // The file's length as the library has laid it out so far.
  std::uint64_t BytesOnDisk() const override;

  // The board has started at `rate` samples per second: the channels'
  // datasets are made, for the codes `conversion` reads, and the file takes
  // its target's name. False, with `why`, when it could not. Samples
  // appended without it are taken at the channels' own rate.
  bool Started(double rate, const ReadingConversion& conversion, std::string* why) override;

  // The file has its target's name.
  bool InPlace() const;

  // Flushes and closes the file; later calls fail. False, with `why`, when
  // the file could not be finished (it then holds what the last successful
  // flush left), or when the recording had already stopped on a failure.
  bool Close(std::string* why);

 private:
  struct State;
  explicit Hdf5Recording(std::unique_ptr<State> state);

  std::unique_ptr<State> state_;
};

}  // namespace tavril
