#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <tuple>
#include <utility>
#include <vector>

#include "model/recording_overview.h"

namespace tavril {
namespace {

using Range = std::pair<std::uint64_t, std::uint64_t>;

using Signal = std::vector<double>;

// 12-bit codes in a scrambled order, through a slightly curved calibration.
Signal MakeSignal(std::size_t count) {
  Signal signal;
  std::uint32_t state = 12345;
  for (std::size_t i = 0; i < count; ++i) {
    state = state * 1664525u + 1013904223u;
    const std::int32_t code = static_cast<std::int32_t>(state >> 20) - 2048;
    signal.push_back(0.1 + code * 5.0 / 2048.0 + 1e-7 * code * code);
  }
  return signal;
}

constexpr std::uint64_t kBlock = kOverviewBlockSamples;
constexpr std::uint64_t kSpan1 = OverviewNodeSpan(1);
constexpr std::uint64_t kSpan2 = OverviewNodeSpan(2);

// Counts what is read, and may hold back nodes as a file being written does.
class WatchedOverview : public MemoryOverview {
 public:
  std::array<std::uint64_t, 3> heldBack{};
  std::uint64_t nodesRead = 0;
  std::uint64_t samplesRead = 0;

  // The signal appended in runs of the given lengths, repeated.
  WatchedOverview(const Signal& signal, std::vector<std::size_t> runs) {
    const std::span<const double> volts(signal);
    for (std::size_t at = 0, run = 0; at < volts.size(); run = (run + 1) % runs.size()) {
      const std::size_t length = std::min(runs[run], volts.size() - at);
      Append(volts.subspan(at, length));
      at += length;
    }
  }
  std::uint64_t NodeCount(std::size_t level) const override {
    const std::uint64_t all = MemoryOverview::NodeCount(level);
    return level < heldBack.size() ? all - std::min(all, heldBack[level]) : all;
  }
  bool Nodes(std::size_t level, std::uint64_t first, std::span<OverviewNode> out) override {
    nodesRead += out.size();
    return first + out.size() <= NodeCount(level) && MemoryOverview::Nodes(level, first, out);
  }
  bool Samples(std::uint64_t first, std::span<double> volts) override {
    samplesRead += volts.size();
    return MemoryOverview::Samples(first, volts);
  }
};

OverviewStatistics Scan(const Signal& signal, std::uint64_t first, std::uint64_t end) {
  OverviewStatistics statistics;
  for (std::uint64_t i = first; i < end; ++i) {
    statistics.minimum = std::min(statistics.minimum, signal[i]);
    statistics.maximum = std::max(statistics.maximum, signal[i]);
    statistics.sum += signal[i];
    statistics.sumOfSquares += signal[i] * signal[i];
    ++statistics.sampleCount;
  }
  return statistics;
}

void ExpectRange(OverviewSource& source, const Signal& signal, std::uint64_t first,
                 std::uint64_t end) {
  OverviewStatistics got;
  ASSERT_TRUE(OverviewRange(source, first, end, got));
  const OverviewStatistics expected =
      Scan(signal, first, std::min<std::uint64_t>(end, signal.size()));
  EXPECT_EQ(got.sampleCount, expected.sampleCount);
  EXPECT_EQ(got.minimum, expected.minimum);
  EXPECT_EQ(got.maximum, expected.maximum);
  // Within 1e-13 of the largest the sums could be, volts staying within 3.1 V.
  const double most = 3.1 * static_cast<double>(expected.sampleCount);
  EXPECT_NEAR(got.sum, expected.sum, 1e-13 * most);
  EXPECT_NEAR(got.sumOfSquares, expected.sumOfSquares, 1e-13 * 3.1 * most);
}

// Nodes on three levels, then partial groups and a partial last block.
constexpr std::size_t kCount = 2 * kSpan2 + 3 * kSpan1 + 300;

const Signal& Recorded() {
  static const Signal signal = MakeSignal(kCount);
  return signal;
}

TEST(OverviewBuilder, RunsOfAnyLengthGiveTheNodesOfOneAppend) {
  const WatchedOverview whole(Recorded(), {kCount});
  for (const std::vector<std::size_t>& runs :
       std::vector<std::vector<std::size_t>>{{1},
                                             {kBlock - 1},
                                             {kBlock},
                                             {kBlock + 1},
                                             {kSpan1 + 1},
                                             {0, 7, kSpan1 - 1, 3},
                                             {kSpan2 + 1, 1}}) {
    const WatchedOverview split(Recorded(), runs);
    for (std::size_t level = 0; level < 4; ++level) {
      ASSERT_EQ(split.Level(level).size(), OverviewNodeCount(kCount, level)) << runs[0];
      EXPECT_EQ(split.Level(level), whole.Level(level)) << runs[0];
    }
  }
}

TEST(OverviewRange, MatchesAPlainScan) {
  WatchedOverview overview(Recorded(), {kCount});
  for (const auto& [what, first, end] :
       std::vector<std::tuple<const char*, std::uint64_t, std::uint64_t>>{
           {"empty", 100, 100},
           {"reversed", 500, 100},
           {"inside one block", 10, 200},
           {"one whole block", kBlock, 2 * kBlock},
           {"one node of level 1", kSpan1, 2 * kSpan1},
           {"one node of level 2", kSpan2, 2 * kSpan2},
           {"across a block boundary", kBlock - 56, kBlock + 44},
           {"across groups of blocks", 100, 3 * kSpan1 + 7},
           {"across the top level's nodes", kSpan2 - 1, 2 * kSpan2 + 5},
           {"the whole recording", 0, kCount},
           {"the partial last block", kCount - 300 + 256, kCount},
           {"ending in the partial last block", 300, kCount},
           {"the last sample", kCount - 1, kCount},
           {"past the end", 1000, kCount + 5000}}) {
    SCOPED_TRACE(what);
    ExpectRange(overview, Recorded(), first, end);
  }
}

TEST(OverviewReads, NodesNotYetWrittenAreReadFromTheLevelBelow) {
  WatchedOverview overview(Recorded(), {kCount});
  overview.heldBack = {3, 4, 2};
  for (const auto& [first, end] : {Range{0, kCount}, Range{700, 2 * kSpan2 + 200}}) {
    ExpectRange(overview, Recorded(), first, end);
  }
}

TEST(OverviewReads, ReadAFewNodesPerLevelAndTheEdgeBlocks) {
  const std::size_t count = 5 * OverviewNodeSpan(3) + 777;  // four levels
  const Signal signal = MakeSignal(count);
  WatchedOverview overview(signal, {4096});
  for (const auto& [first, end] : {Range{0, count}, Range{123, count - 5}}) {
    overview.nodesRead = overview.samplesRead = 0;
    ExpectRange(overview, signal, first, end);
    EXPECT_LT(overview.samplesRead, 2 * kOverviewBlockSamples);
    EXPECT_LE(overview.nodesRead, 4 * 2 * (kOverviewFactor - 1));
  }
}

// 2^40 + 1000 samples whose value is the number of 2^32 samples before them:
// only 64-bit counts and bounds give each stretch its values.
class StepSource : public OverviewSource {
 public:
  static double Code(std::uint64_t sample) { return static_cast<double>(sample >> 32); }

  std::uint64_t SampleCount() const override { return (std::uint64_t{1} << 40) + 1000; }
  bool Nodes(std::size_t level, std::uint64_t first, std::span<OverviewNode> out) override {
    const std::uint64_t span = OverviewNodeSpan(level);
    for (std::size_t i = 0; i < out.size(); ++i)
      out[i] = {Code((first + i) * span), Code((first + i + 1) * span - 1), 0.0, 0.0};
    return true;
  }
  bool Samples(std::uint64_t first, std::span<double> volts) override {
    for (std::size_t i = 0; i < volts.size(); ++i) volts[i] = Code(first + i);
    return true;
  }
};

TEST(OverviewReads, CountsAndBoundsPast32Bits) {
  StepSource source;
  const std::uint64_t chunk = std::uint64_t{1} << 32;
  const std::uint64_t count = source.SampleCount();
  for (const auto& [first, end] :
       {Range{chunk - 10, 2 * chunk + 10}, Range{0, count}, Range{count - 1100, count}}) {
    OverviewStatistics got;
    ASSERT_TRUE(OverviewRange(source, first, end, got));
    EXPECT_EQ(got.sampleCount, end - first);
    EXPECT_EQ(got.minimum, StepSource::Code(first));
    EXPECT_EQ(got.maximum, StepSource::Code(end - 1));
  }
}

}  // namespace
}  // namespace tavril
