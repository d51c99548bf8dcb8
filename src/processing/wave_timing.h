#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "processing/wave_levels.h"
#include "processing/wave_measurements.h"

namespace tavril {

// A channel's samples, given by range. What a call returns stays valid until
// the next call for the same purpose, so that looking back over earlier
// samples leaves the block being scanned in place.
class WaveSampleSource {
 public:
  enum class Purpose { kScan, kLookBack };

  virtual ~WaveSampleSource() = default;
  virtual std::uint64_t size() const = 0;
  // The most samples one call gives.
  virtual std::size_t blockSize() const = 0;
  // Samples [first, first + count), count at most blockSize(); empty when the
  // read failed.
  virtual std::optional<std::span<const double>> Read(std::uint64_t first, std::size_t count,
                                                      Purpose purpose) = 0;
};

// Measures the samples of `source`, taken at `rate` samples per second, as
// MeasureWave describes, with their level statistics given: the timing
// measurements come from one pass over the samples, with the trigger levels
// taken from `levels`. Empty when a read failed.
// The measurements `levels` give of `count` samples, the timing left empty;
// nothing but the count when the levels are not finite.
WaveMeasurements LevelMeasurements(const WaveLevels& levels, std::size_t count);

std::optional<WaveMeasurements> MeasureWaveFrom(WaveSampleSource& source, const WaveLevels& levels,
                                                double rate);

}  // namespace tavril
