#include "processing/wave_measurements.h"

#include <algorithm>

#include "processing/wave_levels.h"
#include "processing/wave_timing.h"

namespace tavril {
namespace {

// Samples in memory: every range is a view of them, the whole a single block.
class SpanSource : public WaveSampleSource {
 public:
  explicit SpanSource(std::span<const double> samples) : samples_(samples) {}
  std::uint64_t size() const override { return samples_.size(); }
  std::size_t blockSize() const override { return std::max<std::size_t>(samples_.size(), 1); }
  std::optional<std::span<const double>> Read(std::uint64_t first, std::size_t count,
                                              Purpose) override {
    return samples_.subspan(static_cast<std::size_t>(first), count);
  }

 private:
  std::span<const double> samples_;
};

}  // namespace

WaveMeasurements MeasureWave(std::span<const double> samples, double rate) {
  WaveLevelSums sums(samples.size());
  sums.Add(samples);
  SpanSource source(samples);
  return *MeasureWaveFrom(source, sums.Levels(), rate);
}

}  // namespace tavril
