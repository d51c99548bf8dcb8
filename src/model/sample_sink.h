#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace tavril {

// Where a continuous acquisition sends every sample of its run, as they
// come: a recording file, or a test's check. The acquisition's thread calls
// it; nothing else does meanwhile.
class SampleSink {
 public:
  virtual ~SampleSink() = default;

  // The next samples of each recorded channel, in volts: `channels[i]` holds
  // the new samples of the i-th channel the sink was made for, all of the
  // same length. False, with `why` in French, when they could not be kept
  // (a full disk, say): the run then stops, and what the sink held before
  // this call stays readable.
  virtual bool Append(std::span<const std::span<const double>> channels, std::string* why) = 0;

  // The board has started, at `samplesPerSecond` per channel (a board's
  // clock may round the rate asked); told once, before the first Append. A
  // run the board refuses never tells it. False, with `why`, when the sink
  // cannot take the run: it then stops.
  virtual bool Started(double samplesPerSecond, std::string* why) = 0;

  // Makes everything appended so far survive the program being killed.
  virtual bool Flush(std::string* why) = 0;

  // Samples per channel kept so far, and the bytes they take on disk.
  virtual std::uint64_t SamplesPerChannel() const = 0;
  virtual std::uint64_t BytesOnDisk() const = 0;
};

}  // namespace tavril
