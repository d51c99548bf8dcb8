#pragma once

#include <cstdint>
#include <limits>

#include "acquisition/scan_timing.h"
#include "acquisition/stream_clock.h"

namespace tavril {

// The readings of a stream paced by a clock, as a board's buffer holds them:
// the clock converts reading n at ScanTiming's time for it, the reader takes
// them in order, and the buffer between holds `capacity` readings. When the
// clock gets further ahead of the reader than that, the buffer overflows:
// what it held can still be taken, then the stream gives nothing more.
class PacedStream {
 public:
  // The stream starts at the clock's present time.
  PacedStream(StreamClock& clock, const ScanTiming& timing, std::uint64_t capacity);

  // Takes up to `wanted` readings and says how many, waiting while the
  // stream runs until the clock has converted them all; after an overflow or
  // Stop(), only what the buffer still holds, at once.
  std::uint64_t Take(std::uint64_t wanted);
  bool Overflowed() const { return overflowed_; }
  // What the clock converted so far stays to be taken.
  void Stop();

 private:
  // Readings from the next one to take on that the clock has converted, at
  // most `limit`.
  std::uint64_t Converted(std::uint64_t limit);
  // Freezes the end of the stream where the buffer stands now.
  void Freeze();

  StreamClock& clock_;
  ScanTiming timing_;
  std::uint64_t capacity_;
  double origin_;
  std::uint64_t taken_ = 0;
  bool running_ = true;
  bool overflowed_ = false;
  std::uint64_t end_ = std::numeric_limits<std::uint64_t>::max();  // once frozen
};

}  // namespace tavril
