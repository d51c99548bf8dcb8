#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

namespace tavril {

// The overview of one recorded channel: levels of nodes over its samples, so
// that the statistics of any stretch read a number of values set by the
// levels, not by the stretch.
// Level 0 has one node per block of kOverviewBlockSamples samples; level k + 1
// one node per kOverviewFactor nodes of level k. Only complete blocks and
// groups make nodes: the samples after the last node of a level (its tail)
// are read from the level below, and finally from the samples themselves.
inline constexpr std::uint64_t kOverviewBlockSamples = 512;
inline constexpr std::uint64_t kOverviewFactor = 8;
// A node of level 18 spans 2^63 samples; one of level 19 would not fit 64 bits.
inline constexpr std::size_t kOverviewMaxLevels = 19;

// What a node says of the samples it spans, in volts: their extent, their sum
// and the sum of their squares. A NaN sample makes the sums NaN and leaves
// the extent to the others.
struct OverviewNode {
  double minimum = std::numeric_limits<double>::infinity();
  double maximum = -std::numeric_limits<double>::infinity();
  double sum = 0.0;
  double sumOfSquares = 0.0;

  friend bool operator==(const OverviewNode&, const OverviewNode&) = default;
};

// Samples spanned by one node of `level`.
constexpr std::uint64_t OverviewNodeSpan(std::size_t level) {
  return kOverviewBlockSamples << (3 * level);  // kOverviewFactor = 2^3
}

// Complete nodes of `level` over `sampleCount` samples.
constexpr std::uint64_t OverviewNodeCount(std::uint64_t sampleCount, std::size_t level) {
  return level < kOverviewMaxLevels ? sampleCount / OverviewNodeSpan(level) : 0;
}

// Builds the overview while samples arrive, in runs of any length. It keeps
// only the unfinished block and group of each level; completed nodes wait,
// level by level, until the writer takes them.
class OverviewBuilder {
 public:
  void Append(std::span<const double> volts);

  // Replaces `into` with the nodes of `level` completed since the last call,
  // in order; the two vectors swap their memory, so a writer that keeps its
  // vector allocates nothing once both have grown.
  void TakeCompleted(std::size_t level, std::vector<OverviewNode>& into);

  std::uint64_t SampleCount() const { return sampleCount_; }
  // Levels holding at least one complete node.
  std::size_t LevelCount() const;

 private:
  void Complete(std::size_t level, const OverviewNode& node);

  std::array<OverviewNode, kOverviewMaxLevels> partial_{};
  // Samples in the partial block of level 0, nodes in the partial group above.
  std::array<std::uint64_t, kOverviewMaxLevels> partialCount_{};
  std::array<std::vector<OverviewNode>, kOverviewMaxLevels> completed_;
  std::uint64_t sampleCount_ = 0;
};

// Where the overview and the samples of one channel are read from (a file, or
// memory). Every node a source gives holds exactly what OverviewBuilder makes
// of its samples. A source may have fewer nodes than its samples make (a file
// still being written, its upper levels not yet flushed): what its nodes do
// not cover is read from the level below, and at last from the samples.
class OverviewSource {
 public:
  virtual ~OverviewSource() = default;

  virtual std::uint64_t SampleCount() const = 0;
  // Nodes of `level` the source holds, from the first; never more than
  // OverviewNodeCount(SampleCount(), level).
  virtual std::uint64_t NodeCount(std::size_t level) const {
    return OverviewNodeCount(SampleCount(), level);
  }
  // Fills `out` with nodes [firstIndex, firstIndex + out.size()) of `level`;
  // false when they cannot be read.
  virtual bool Nodes(std::size_t level, std::uint64_t firstIndex, std::span<OverviewNode> out) = 0;
  // Fills `volts` with the samples from `firstSample`; false when they
  // cannot be read.
  virtual bool Samples(std::uint64_t firstSample, std::span<double> volts) = 0;
};

// Level statistics of a stretch of samples, in volts.
struct OverviewStatistics {
  std::uint64_t sampleCount = 0;
  double minimum = std::numeric_limits<double>::infinity();
  double maximum = -std::numeric_limits<double>::infinity();
  double sum = 0.0;
  double sumOfSquares = 0.0;

  bool HoldsSamples() const { return sampleCount > 0; }
  double Mean() const { return sum / static_cast<double>(sampleCount); }
  double Rms() const { return std::sqrt(sumOfSquares / static_cast<double>(sampleCount)); }
};

// Statistics of samples [first, end) (end clipped to the source's samples;
// none when first >= end), from whole nodes of the highest levels that fit
// and the samples of the partial blocks at both edges (the tail among them):
// in a source with all its nodes, at most 2 (kOverviewFactor - 1) nodes per
// level and fewer than 2 kOverviewBlockSamples samples. False when a read
// fails.
bool OverviewRange(OverviewSource& source, std::uint64_t first, std::uint64_t end,
                   OverviewStatistics& statistics);

// The volts a column of a view spans: minimum > maximum when it spans no
// (non-NaN) sample.
struct ValueExtent {
  double minimum = std::numeric_limits<double>::infinity();
  double maximum = -std::numeric_limits<double>::infinity();

  bool HoldsSamples() const { return minimum <= maximum; }
};

// A channel's samples and its overview in memory: a source for records that
// fit in memory, and the reference a file's source is checked against.
class MemoryOverview : public OverviewSource {
 public:
  void Append(std::span<const double> volts);

  const std::vector<OverviewNode>& Level(std::size_t level) const { return levels_[level]; }

  std::uint64_t SampleCount() const override { return volts_.size(); }
  bool Nodes(std::size_t level, std::uint64_t firstIndex, std::span<OverviewNode> out) override;
  bool Samples(std::uint64_t firstSample, std::span<double> volts) override;

 private:
  std::vector<double> volts_;
  OverviewBuilder builder_;
  std::array<std::vector<OverviewNode>, kOverviewMaxLevels> levels_;
  std::vector<OverviewNode> taken_;
};

}  // namespace tavril
