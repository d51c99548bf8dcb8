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

struct ChannelStatistics {
  std::uint32_t maxIndex = 0;
  double maxValue = 0.0;
  std::uint32_t minIndex = 0;
  double minValue = 0.0;
  double mean = 0.0;
};

// One signal record: its settings, free to change, and its samples with what
// is derived from them, which change together through TakeSamples and
// ReleaseSamples only.
//
// `count()` is the record's classic 32-bit count: the number of samples
// taken, or what settings and files say while the record holds none (the
// reset state describes 1000 points that were never acquired), so readers
// bound every sample access by sampleCount(), never by count(). The
// statistics are those of the samples held; a record without samples keeps
// those it was given (a reset's, or a file's). Every change of the samples
// gets a revision no other change of any record had, so that what is derived
// from them (the graph's drawing summaries, say) is rebuilt exactly when
// they change, copies included.
class ChannelRecord {
 public:
  std::int16_t device = 0;
  std::int16_t chan = 0;
  std::int16_t gain = 0;
  double rate = 0.0;
  std::string title;  // Windows-1252 bytes, at most kMaxTitleBytes, no NUL
  // When the board gave the samples; empty for samples of a file that does
  // not say, or of a computation.
  std::optional<std::chrono::system_clock::time_point> acquiredAt;

  std::uint32_t count() const { return count_; }
  bool holdsSamples() const { return !samples_.empty(); }
  std::uint64_t sampleCount() const { return samples_.size(); }
  // The volts held, in memory.
  std::span<const double> samples() const { return samples_; }
  // Sample `index`, below sampleCount().
  double sample(std::uint64_t index) const { return samples_[static_cast<std::size_t>(index)]; }
  const ChannelStatistics& statistics() const { return statistics_; }
  std::uint64_t revision() const { return revision_; }

  // Holds `samples` from now on, with their statistics and a count of their
  // number, up to the 32-bit count's limit (no samples leave the count as it
  // was, a file's or the settings'). The statistics are computed here,
  // or given: computed aside from the same samples, or kept as they were where
  // an operation leaves them so. The previous samples, and their memory, go
  // back to `samples`.
  void TakeSamples(std::vector<double>& samples);
  void TakeSamples(std::vector<double>& samples, const ChannelStatistics& statistics);

  // Holds no samples from now on; count and statistics stay. Their memory
  // goes back to the caller, to reuse or to drop.
  std::vector<double> ReleaseSamples();

  // The count alone, as settings and files give it; the samples stay.
  void SetCount(std::uint32_t count) { count_ = count; }

  // The statistics a record without samples keeps (a reset's, a file's);
  // ignored while it holds samples, whose own statistics stay.
  void KeepStatistics(const ChannelStatistics& statistics);

 private:
  void NewRevision();

  std::uint32_t count_ = 0;
  std::vector<double> samples_;  // volts
  ChannelStatistics statistics_;
  std::uint64_t revision_ = 0;
};

using ChannelTable = std::array<ChannelRecord, kChannelCount>;
// Sample arrays, one per channel, kept aside from the records.
using ChannelSamples = std::array<std::vector<double>, kChannelCount>;

inline bool HoldsSamples(const ChannelRecord& record) {
  return record.holdsSamples();
}

// The maximum and minimum with their first indexes, and the mean. Both
// comparisons are strict so the first index of an extreme wins; a NaN never
// becomes the maximum but always becomes the new minimum. No samples give
// all five at 0.
ChannelStatistics ComputeStatistics(std::span<const double> samples);

// Puts record i back to its reset state: device from the board configuration,
// chan i, gain 1, 1000 points at 100000 samples/s, no samples, empty title,
// range -1.0 to 1.0. The mean is left as it was.
void ResetChannels(ChannelTable& table, std::int16_t boardDevice);

// Drops the samples of every record (the main window does this when it closes).
void ReleaseAllSamples(ChannelTable& table);

}  // namespace tavril
