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

// A continuous acquisition recorded into a file of channels (the layout of
// files/hdf5_file.h) as its samples come. The file is valid from its
// creation on; after each Flush() it holds every sample appended so far,
// with its count and statistics, and stays so if the program is then
// killed. A disk that fills up stops the recording, the file then holding
// what the last flush left. Memory does not grow with the recording's
// length: samples wait in one chunk's buffer per channel.
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

  // Keeps the volts; the readings are not stored.
  bool Append(const SampleBlock& block, std::string* why) override {
    return Append(block.volts, why);
  }
  // The next samples of each channel, in volts, all of the same length.
  bool Append(std::span<const std::span<const double>> channels, std::string* why);
  bool Flush(std::string* why) override;
  // Samples accepted by Append(); once the recording has stopped on a
  // failure, those the file keeps.
  std::uint64_t SamplesPerChannel() const override;
  // The file's length as the library has laid it out so far.
  std::uint64_t BytesOnDisk() const override;

  // The board has started at `rate` samples per second: the file takes
  // its target's name, with that rate. False, with `why`, when it could not.
  bool Started(double rate, std::string* why) override;

  // Gives every channel `rate` samples per second from now on: a board may
  // run at another rate than the one asked, and says so only once started.
  // False, with `why`, when the attributes could not be written.
  bool SetRate(double rate, std::string* why);

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
