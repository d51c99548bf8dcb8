#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "model/board_reading.h"
#include "model/volt_scale.h"

namespace tavril {

// Some scans of a run, as the board read them and in volts.
struct SampleBlock {
  // One column of volts per channel, all of the same length.
  std::span<const std::span<const double>> volts;
  // The same scans' readings, scan after scan, each scan in the columns'
  // order (see Reading).
  std::span<const BoardReading> readings;
  // How each reading became its volts.
  const ReadingConversion* conversion = nullptr;

  std::size_t Scans() const { return volts.empty() ? 0 : volts.front().size(); }
  // The board's reading behind volts[channel][scan].
  BoardReading Reading(std::size_t channel, std::size_t scan) const {
    return readings[scan * volts.size() + channel];
  }
};

// Where a continuous acquisition sends every sample of its run, as they
// come: a recording file, or a test's check. The acquisition's thread calls
// it; nothing else does meanwhile.
class SampleSink {
 public:
  virtual ~SampleSink() = default;

  // The next scans of the channels the sink was made for, in their order.
  // False, with `why` in French, when they could not be kept (a full disk,
  // say): the run then stops, and what the sink held before this call stays
  // readable.
  virtual bool Append(const SampleBlock& block, std::string* why) = 0;

  // The board has started, at `samplesPerSecond` per channel (a board's
  // clock may round the rate asked), its readings becoming volts through
  // `conversion`; told once, before the first Append. A run the board
  // refuses never tells it. False, with `why`, when the sink cannot take the
  // run: it then stops.
  virtual bool Started(double samplesPerSecond, const ReadingConversion& conversion,
                       std::string* why) = 0;

  // Makes everything appended so far survive the program being killed.
  virtual bool Flush(std::string* why) = 0;

  // Samples per channel kept so far, and the bytes they take on disk.
  virtual std::uint64_t SamplesPerChannel() const = 0;
  virtual std::uint64_t BytesOnDisk() const = 0;
};

}  // namespace tavril
