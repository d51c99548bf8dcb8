#pragma once

#include <cstdint>
#include <span>

#include "model/recording_overview.h"

namespace tavril {

// The level statistics of a channel's samples, V. `finite` is false when any
// sample is not finite: the other values then mean nothing.
struct WaveLevels {
  double minimum = 0;
  double maximum = 0;
  double mean = 0;
  double rms = 0;
  double acRms = 0;
  bool finite = true;
};

// The level statistics of a stretch from its overview's extent and sums;
// `finite` is false when any of them is not finite (a sample that is not).
WaveLevels LevelsOf(const OverviewStatistics& statistics);

// Gathers the level statistics of a channel's samples handed over in order,
// in pieces of any size. The result depends only on the samples, never on
// how they were cut: each sample goes to one of four lanes by its index in
// the channel (so that no lane waits on the one before), and the sums are of
// differences from the first sample, which keeps the spread exact whatever
// the offset.
class WaveLevelSums {
 public:
  explicit WaveLevelSums(std::uint64_t count);

  // The next samples of the channel.
  void Add(std::span<const double> samples);

  // The statistics of the `count` samples; call once they all came.
  WaveLevels Levels() const;

 private:
  static constexpr std::size_t kLanes = 4;

  std::uint64_t count_;
  std::uint64_t laneEnd_;  // samples from here on, the last few, all go to lane 0
  std::uint64_t added_ = 0;
  double origin_ = 0;
  double low_[kLanes] = {};
  double high_[kLanes] = {};
  double total_[kLanes] = {};
  double squared_[kLanes] = {};
  double odd_[kLanes] = {};  // 0 while every sample is finite, NaN after any other
};

}  // namespace tavril
