#include "processing/wave_levels.h"

#include <algorithm>
#include <cmath>

namespace tavril {

WaveLevelSums::WaveLevelSums(std::uint64_t count)
    : count_(count), laneEnd_(count - count % kLanes) {}

void WaveLevelSums::Add(std::span<const double> samples) {
  if (samples.empty()) return;
  if (added_ == 0) {
    origin_ = samples[0];
    std::fill(std::begin(low_), std::end(low_), origin_);
    std::fill(std::begin(high_), std::end(high_), origin_);
  }
  // Kept in locals, which the compiler may hold in registers: it cannot
  // tell the members from the samples.
  const double origin = origin_;
  double low[kLanes], high[kLanes], total[kLanes], squared[kLanes], odd[kLanes];
  std::copy(std::begin(low_), std::end(low_), low);
  std::copy(std::begin(high_), std::end(high_), high);
  std::copy(std::begin(total_), std::end(total_), total);
  std::copy(std::begin(squared_), std::end(squared_), squared);
  std::copy(std::begin(odd_), std::end(odd_), odd);
  const auto add = [&](std::size_t j, double x) {
    const double d = x - origin;
    low[j] = x < low[j] ? x : low[j];
    high[j] = x > high[j] ? x : high[j];
    total[j] += d;
    squared[j] += d * d;
    odd[j] += d - d;  // 0 for a finite sample, NaN for any other
  };
  const auto lane = [&](std::uint64_t at) { return at < laneEnd_ ? at % kLanes : 0; };
  std::size_t i = 0;
  // Up to a whole group of lanes, then groups, then what is left.
  for (; i < samples.size() && (added_ + i) % kLanes != 0; ++i) add(lane(added_ + i), samples[i]);
  const std::size_t groupsEnd =
      added_ + i >= laneEnd_
          ? i
          : i + std::min<std::uint64_t>(samples.size() - i, laneEnd_ - (added_ + i)) / kLanes *
                    kLanes;
  for (; i < groupsEnd; i += kLanes) {
#pragma GCC unroll 4
    for (std::size_t j = 0; j < kLanes; ++j) add(j, samples[i + j]);
  }
  for (; i < samples.size(); ++i) add(lane(added_ + i), samples[i]);
  added_ += samples.size();
  std::copy(low, low + kLanes, low_);
  std::copy(high, high + kLanes, high_);
  std::copy(total, total + kLanes, total_);
  std::copy(squared, squared + kLanes, squared_);
  std::copy(odd, odd + kLanes, odd_);
}

WaveLevels WaveLevelSums::Levels() const {
  WaveLevels levels;
  levels.finite = (odd_[0] + odd_[1]) + (odd_[2] + odd_[3]) == 0;
  if (count_ == 0 || !levels.finite) return levels;
  levels.minimum = *std::min_element(low_, low_ + kLanes);
  levels.maximum = *std::max_element(high_, high_ + kLanes);
  const double differences = (total_[0] + total_[1]) + (total_[2] + total_[3]);
  const double squares = (squared_[0] + squared_[1]) + (squared_[2] + squared_[3]);
  const double n = static_cast<double>(count_);
  const double shift = differences / n;
  levels.mean = origin_ + shift;
  const double variance = std::max(squares / n - shift * shift, 0.0);
  levels.rms = std::sqrt(levels.mean * levels.mean + variance);
  levels.acRms = std::sqrt(variance);
  return levels;
}

WaveLevels LevelsOf(const OverviewStatistics& statistics) {
  WaveLevels levels;
  levels.finite = std::isfinite(statistics.minimum) && std::isfinite(statistics.maximum) &&
                  std::isfinite(statistics.sum) && std::isfinite(statistics.sumOfSquares);
  if (!statistics.HoldsSamples() || !levels.finite) return levels;
  const double n = static_cast<double>(statistics.sampleCount);
  levels.minimum = statistics.minimum;
  levels.maximum = statistics.maximum;
  levels.mean = statistics.Mean();
  levels.rms = statistics.Rms();
  levels.acRms = std::sqrt(std::max(statistics.sumOfSquares / n - levels.mean * levels.mean, 0.0));
  return levels;
}

}  // namespace tavril
