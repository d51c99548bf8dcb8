#include "model/channel_record.h"

#include <algorithm>
#include <atomic>
#include <limits>

namespace tavril {

ChannelStatistics ComputeStatistics(std::span<const double> samples) {
  ChannelStatistics statistics;
  if (samples.empty()) return statistics;
  std::uint32_t maxIndex = 0;
  std::uint32_t minIndex = 0;
  double maxValue = samples[0];
  double minValue = samples[0];
  double sum = 0.0;
  const std::size_t n = samples.size();
  for (std::size_t i = 0; i < n; ++i) {
    const double value = samples[i];
    if (value > maxValue) {
      maxIndex = static_cast<std::uint32_t>(i);
      maxValue = value;
    }
    // Written as a negation on purpose: a NaN fails ">=" and so takes the minimum.
    if (!(value >= minValue)) {
      minIndex = static_cast<std::uint32_t>(i);
      minValue = value;
    }
    sum += value;
  }
  statistics.maxIndex = maxIndex;
  statistics.maxValue = maxValue;
  statistics.minIndex = minIndex;
  statistics.minValue = minValue;
  statistics.mean = sum / static_cast<double>(n);
  return statistics;
}

namespace {

// Revisions are unique across every record, so that a copy keeps the
// revision of the samples it copied and no two different sets of samples
// share one.
std::atomic<std::uint64_t> lastRevision{0};

}  // namespace

void ChannelRecord::NewRevision() {
  revision_ = lastRevision.fetch_add(1, std::memory_order_relaxed) + 1;
}

void ChannelRecord::TakeSamples(std::vector<double>& samples) {
  TakeSamples(samples, ComputeStatistics(samples));
}

void ChannelRecord::TakeSamples(std::vector<double>& samples, const ChannelStatistics& statistics) {
  samples_.swap(samples);
  if (!samples_.empty()) {
    count_ = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(samples_.size(), std::numeric_limits<std::uint32_t>::max()));
  }
  statistics_ = statistics;
  NewRevision();
}

std::vector<double> ChannelRecord::ReleaseSamples() {
  std::vector<double> released;
  released.swap(samples_);
  NewRevision();
  return released;
}

void ChannelRecord::KeepStatistics(const ChannelStatistics& statistics) {
  if (!holdsSamples()) statistics_ = statistics;
}

void ResetChannels(ChannelTable& table, std::int16_t boardDevice) {
  for (int i = 0; i < kChannelCount; ++i) {
    ChannelRecord& record = table[i];
    record.device = boardDevice;
    record.chan = static_cast<std::int16_t>(i);
    record.gain = 1;
    record.SetCount(1000);
    record.rate = 100000.0;
    record.ReleaseSamples();
    record.title.clear();
    record.acquiredAt.reset();
    record.KeepStatistics({.maxIndex = 0,
                           .maxValue = 1.0,
                           .minIndex = 0,
                           .minValue = -1.0,
                           .mean = record.statistics().mean});
  }
}

void ReleaseAllSamples(ChannelTable& table) {
  for (ChannelRecord& record : table) record.ReleaseSamples();
}

}  // namespace tavril
