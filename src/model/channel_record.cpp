#include "model/channel_record.h"

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

void ApplyStatistics(ChannelRecord& record, const ChannelStatistics& statistics) {
  record.maxIndex = statistics.maxIndex;
  record.maxValue = statistics.maxValue;
  record.minIndex = statistics.minIndex;
  record.minValue = statistics.minValue;
  record.mean = statistics.mean;
}

void UpdateChannelStatistics(ChannelRecord& record) {
  ++record.samplesRevision;
  ApplyStatistics(record, ComputeStatistics(record.samples));
}

void TakeSamples(ChannelRecord& record, std::vector<double>& samples,
                 const ChannelStatistics& statistics) {
  record.samples.swap(samples);
  ++record.samplesRevision;
  ApplyStatistics(record, statistics);
}

void ResetChannels(ChannelTable& table, std::int16_t boardDevice) {
  for (int i = 0; i < kChannelCount; ++i) {
    ChannelRecord& record = table[i];
    record.device = boardDevice;
    record.chan = static_cast<std::int16_t>(i);
    record.gain = 1;
    record.count = 1000;
    record.rate = 100000.0;
    record.samples = std::vector<double>();  // frees the memory; "= {}" would keep it
    ++record.samplesRevision;
    record.title.clear();
    record.acquiredAt.reset();
    record.maxIndex = 0;
    record.minIndex = 0;
    record.maxValue = 1.0;
    record.minValue = -1.0;
  }
}

void ReleaseAllSamples(ChannelTable& table) {
  for (ChannelRecord& record : table) {
    record.samples = std::vector<double>();
    ++record.samplesRevision;
  }
}

}  // namespace tavril
