#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tavril {

inline constexpr int kChannelCount = 8;
// A title holds at most this many bytes (the original 256-byte buffer less its NUL).
inline constexpr std::size_t kMaxTitleBytes = 255;

// One signal record. `samples` is empty while the record holds no data; when it
// holds data its size equals `count`. `count` alone may be set without samples
// (the reset state describes 1000 points that were never acquired), so readers
// bound every sample access by samples.size(), never by `count`.
struct ChannelRecord {
  std::int16_t device = 0;
  std::int16_t chan = 0;
  std::int16_t gain = 0;
  std::uint32_t count = 0;
  double rate = 0.0;
  std::vector<double> samples;  // volts
  std::string title;            // Windows-1252 bytes, at most kMaxTitleBytes, no NUL
  std::uint32_t maxIndex = 0;
  double maxValue = 0.0;
  std::uint32_t minIndex = 0;
  double minValue = 0.0;
  double mean = 0.0;
  // When the board gave the samples; empty for samples of a file that does
  // not say, or of a computation.
  std::optional<std::chrono::system_clock::time_point> acquiredAt;
  // Counts the changes of `samples` (each ends with UpdateChannelStatistics,
  // or a reset), so that what is derived from them, such as the graph's
  // drawing summaries, knows when to be rebuilt.
  std::uint64_t samplesRevision = 0;
};

using ChannelTable = std::array<ChannelRecord, kChannelCount>;
// Sample arrays, one per channel, kept aside from the records.
using ChannelSamples = std::array<std::vector<double>, kChannelCount>;

struct ChannelStatistics {
  std::uint32_t maxIndex = 0;
  double maxValue = 0.0;
  std::uint32_t minIndex = 0;
  double minValue = 0.0;
  double mean = 0.0;
};

inline bool HoldsSamples(const ChannelRecord& record) {
  return !record.samples.empty();
}

// Recomputes maxIndex/maxValue, minIndex/minValue and mean. Both comparisons are
// strict so the first index of an extreme wins; a NaN never becomes the maximum
// but always becomes the new minimum. A record without samples gets all five
// fields set to 0 and no sample is read.
void UpdateChannelStatistics(ChannelRecord& record);

// The statistics UpdateChannelStatistics gives a record holding `samples`.
ChannelStatistics ComputeStatistics(std::span<const double> samples);

// Sets the five statistics fields of `record`.
void ApplyStatistics(ChannelRecord& record, const ChannelStatistics& statistics);

// Gives `record` new samples with their statistics, as UpdateChannelStatistics
// would leave it; the record's previous samples (and their memory) go to
// `samples`.
void TakeSamples(ChannelRecord& record, std::vector<double>& samples,
                 const ChannelStatistics& statistics);

// Puts record i back to its reset state: device from the board configuration,
// chan i, gain 1, 1000 points at 100000 samples/s, no samples, empty title,
// range -1.0 to 1.0. The mean is left as it was.
void ResetChannels(ChannelTable& table, std::int16_t boardDevice);

// Drops the samples of every record (the main window does this when it closes).
void ReleaseAllSamples(ChannelTable& table);

}  // namespace tavril
