#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "model/recording_overview.h"

namespace tavril {
namespace {

struct Signal {
  std::vector<std::int32_t> codes;
  std::vector<double> volts;
};

// 12-bit codes in a scrambled order, through a slightly curved calibration.
Signal MakeSignal(std::size_t count) {
  Signal signal;
  std::uint32_t state = 12345;
  for (std::size_t i = 0; i < count; ++i) {
    state = state * 1664525u + 1013904223u;
    const std::int32_t code = static_cast<std::int32_t>(state >> 20) - 2048;
    signal.codes.push_back(code);
    signal.volts.push_back(0.1 + code * 5.0 / 2048.0 + 1e-7 * code * code);
  }
  return signal;
}

// The overview of `signal` appended in runs of the given lengths, repeated.
void AppendInRuns(MemoryOverview& overview, const Signal& signal, std::vector<std::size_t> runs) {
  const std::span<const std::int32_t> codes(signal.codes);
  const std::span<const double> volts(signal.volts);
  for (std::size_t at = 0, run = 0; at < codes.size(); run = (run + 1) % runs.size()) {
    const std::size_t length = std::min(runs[run], codes.size() - at);
    overview.Append(codes.subspan(at, length), volts.subspan(at, length));
    at += length;
  }
}

OverviewStatistics Scan(const Signal& signal, std::uint64_t first, std::uint64_t end) {
  OverviewStatistics statistics;
  for (std::uint64_t i = first; i < end; ++i) {
    statistics.minCode = std::min(statistics.minCode, signal.codes[i]);
    statistics.maxCode = std::max(statistics.maxCode, signal.codes[i]);
    statistics.sum += signal.volts[i];
    statistics.sumOfSquares += signal.volts[i] * signal.volts[i];
    ++statistics.sampleCount;
  }
  return statistics;
}

void ExpectStatistics(const OverviewStatistics& got, const OverviewStatistics& expected) {
  EXPECT_EQ(got.sampleCount, expected.sampleCount);
  EXPECT_EQ(got.minCode, expected.minCode);
  EXPECT_EQ(got.maxCode, expected.maxCode);
  // Within 1e-13 of the largest the sums could be, volts staying within 3.1 V.
  const double most = 3.1 * static_cast<double>(expected.sampleCount);
  EXPECT_NEAR(got.sum, expected.sum, 1e-13 * most);
  EXPECT_NEAR(got.sumOfSquares, expected.sumOfSquares, 1e-13 * 3.1 * most);
}

// Two levels complete, a partial group of each and a partial last block.
constexpr std::size_t kCount = 2 * 16384 + 3 * 2048 + 300;

TEST(OverviewBuilder, RunsOfAnyLengthGiveTheNodesOfOneAppend) {
  const Signal signal = MakeSignal(kCount);
  MemoryOverview whole;
  AppendInRuns(whole, signal, {kCount});
  for (const std::vector<std::size_t>& runs : std::vector<std::vector<std::size_t>>{
           {1}, {255}, {256}, {257}, {2049}, {0, 7, 2047, 3}, {16385, 1}}) {
    MemoryOverview split;
    AppendInRuns(split, signal, runs);
    for (std::size_t level = 0; level < 4; ++level) {
      const std::vector<OverviewNode>& expected = whole.Level(level);
      const std::vector<OverviewNode>& got = split.Level(level);
      ASSERT_EQ(got.size(), OverviewNodeCount(kCount, level)) << "run " << runs[0];
      for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].minCode, expected[i].minCode);
        EXPECT_EQ(got[i].maxCode, expected[i].maxCode);
        EXPECT_EQ(got[i].sum, expected[i].sum);
        EXPECT_EQ(got[i].sumOfSquares, expected[i].sumOfSquares);
      }
    }
  }
}

TEST(OverviewBuilder, EachNodeHoldsTheStatisticsOfItsSpan) {
  const Signal signal = MakeSignal(kCount);
  MemoryOverview overview;
  AppendInRuns(overview, signal, {1000});
  for (std::size_t level = 0; level < 3; ++level) {
    const std::uint64_t span = OverviewNodeSpan(level);
    for (std::size_t i = 0; i < overview.Level(level).size(); ++i) {
      const OverviewNode& node = overview.Level(level)[i];
      ExpectStatistics({span, node.minCode, node.maxCode, node.sum, node.sumOfSquares},
                       Scan(signal, i * span, (i + 1) * span));
    }
  }
}

TEST(OverviewBuilder, TakeCompletedGivesEachNodeOnce) {
  const Signal signal = MakeSignal(600);
  OverviewBuilder builder;
  std::vector<OverviewNode> taken;
  builder.Append(std::span(signal.codes).first(300), std::span(signal.volts).first(300));
  builder.TakeCompleted(0, taken);
  EXPECT_EQ(taken.size(), 1u);
  builder.TakeCompleted(0, taken);
  EXPECT_EQ(taken.size(), 0u);
  builder.Append(std::span(signal.codes).subspan(300), std::span(signal.volts).subspan(300));
  builder.TakeCompleted(0, taken);
  ASSERT_EQ(taken.size(), 1u);
  EXPECT_EQ(taken[0].minCode, Scan(signal, 256, 512).minCode);
  EXPECT_EQ(builder.SampleCount(), 600u);
  EXPECT_EQ(builder.LevelCount(), 1u);
}

TEST(OverviewRange, MatchesAPlainScan) {
  const Signal signal = MakeSignal(kCount);
  MemoryOverview overview;
  AppendInRuns(overview, signal, {kCount});
  struct Case {
    const char* what;
    std::uint64_t first;
    std::uint64_t end;
  };
  const Case cases[] = {
      {"empty", 100, 100},
      {"reversed", 500, 100},
      {"inside one block", 10, 200},
      {"one whole block", 256, 512},
      {"across a block boundary", 200, 300},
      {"across groups of blocks", 100, 3 * 2048 + 7},
      {"across the top level's nodes", 16383, 32768 + 5},
      {"the whole recording", 0, kCount},
      {"the partial last block", kCount - 300 + 256, kCount},
      {"ending in the partial last block", 300, kCount},
      {"the last sample", kCount - 1, kCount},
      {"past the end", 1000, kCount + 5000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    OverviewStatistics got;
    ASSERT_TRUE(OverviewRange(overview, c.first, c.end, got));
    ExpectStatistics(got, Scan(signal, c.first, std::min<std::uint64_t>(c.end, kCount)));
  }
}

// Counts what is read, and may hold back nodes as a file being written does.
class WatchedOverview : public MemoryOverview {
 public:
  std::array<std::uint64_t, 3> heldBack{};
  std::uint64_t nodesRead = 0;
  std::uint64_t samplesRead = 0;

  std::uint64_t NodeCount(std::size_t level) const override {
    const std::uint64_t all = MemoryOverview::NodeCount(level);
    return level < heldBack.size() ? all - std::min(all, heldBack[level]) : all;
  }
  bool Nodes(std::size_t level, std::uint64_t first, std::span<OverviewNode> out) override {
    nodesRead += out.size();
    return first + out.size() <= NodeCount(level) && MemoryOverview::Nodes(level, first, out);
  }
  bool Samples(std::uint64_t first, std::span<std::int32_t> codes,
               std::span<double> volts) override {
    samplesRead += codes.size();
    return MemoryOverview::Samples(first, codes, volts);
  }
};

TEST(OverviewRange, ReadsAFewNodesPerLevelAndTheEdgeBlocks) {
  const std::size_t count = 5 * 131072 + 777;
  const Signal signal = MakeSignal(count);
  WatchedOverview overview;
  AppendInRuns(overview, signal, {4096});
  for (const auto& [first, end] :
       {std::pair<std::uint64_t, std::uint64_t>{0, count}, {123, count - 5}}) {
    overview.nodesRead = overview.samplesRead = 0;
    OverviewStatistics got;
    ASSERT_TRUE(OverviewRange(overview, first, end, got));
    ExpectStatistics(got, Scan(signal, first, end));
    EXPECT_LT(overview.samplesRead, 2 * kOverviewBlockSamples);
    EXPECT_LE(overview.nodesRead, 4 * 2 * (kOverviewFactor - 1));
  }
}

// Tested against a plain scan of each column's samples and of its span
// widened to the grain: the columns' own exact answers where both bounds are
// on the grain.
void ExpectColumns(OverviewSource& source, const Signal& signal, std::uint64_t first,
                   std::uint64_t end, std::size_t columns) {
  std::vector<CodeExtent> got(columns);
  ASSERT_TRUE(OverviewColumns(source, first, end, got));
  const std::uint64_t count = signal.codes.size();
  end = std::min(end, count);
  const std::uint64_t length = end - first;
  const std::uint64_t grain = OverviewColumnGrain(first, end, columns);
  const auto onGrain = [&](std::uint64_t bound) { return bound % grain == 0 || bound == count; };
  for (std::size_t c = 0; c < columns; ++c) {
    const std::uint64_t a = first + c * length / columns;
    const std::uint64_t b = first + (c + 1) * length / columns;
    SCOPED_TRACE(testing::Message() << "column " << c << " [" << a << ", " << b << ")");
    const OverviewStatistics own = Scan(signal, a, b);
    if (a == b) {
      EXPECT_FALSE(got[c].HoldsSamples());
      continue;
    }
    const OverviewStatistics widened =
        Scan(signal, a / grain * grain, std::min(count, (b + grain - 1) / grain * grain));
    EXPECT_LE(got[c].minCode, own.minCode);
    EXPECT_GE(got[c].maxCode, own.maxCode);
    EXPECT_GE(got[c].minCode, widened.minCode);
    EXPECT_LE(got[c].maxCode, widened.maxCode);
    if (onGrain(a) && onGrain(b)) {
      EXPECT_EQ(got[c].minCode, own.minCode);
      EXPECT_EQ(got[c].maxCode, own.maxCode);
    }
  }
}

TEST(OverviewColumns, EachColumnHoldsItsCodesWithinItsSpanWidenedToTheGrain) {
  const Signal signal = MakeSignal(kCount);
  MemoryOverview overview;
  AppendInRuns(overview, signal, {kCount});
  struct Case {
    std::uint64_t first;
    std::uint64_t end;
    std::size_t columns;
  };
  const Case cases[] = {
      {0, kCount, 1000},             // narrower than a block: the samples
      {2048, 2048 + 10 * 2048, 10},  // on the grain of level 1
      {0, 2 * 16384, 2},             // on the grain of level 2
      {4096, kCount, 3},             // the last column ends in the tail
      {1000, kCount + 99, 7},        // off the grain everywhere
      {17, 17 + 513, 2},             // the grain of level 0, off it
      {50, 60, 25},                  // more columns than samples
  };
  for (const Case& c : cases) ExpectColumns(overview, signal, c.first, c.end, c.columns);
}

TEST(OverviewReads, NodesNotYetWrittenAreReadFromTheLevelBelow) {
  const Signal signal = MakeSignal(kCount);
  WatchedOverview overview;
  AppendInRuns(overview, signal, {kCount});
  overview.heldBack = {3, 4, 2};
  for (const auto& [first, end] :
       {std::pair<std::uint64_t, std::uint64_t>{0, kCount}, {700, 33000}}) {
    OverviewStatistics got;
    ASSERT_TRUE(OverviewRange(overview, first, end, got));
    ExpectStatistics(got, Scan(signal, first, end));
    ExpectColumns(overview, signal, first, end, 3);
  }
}

TEST(OverviewColumns, ReadNodesInProportionToTheColumns) {
  const std::size_t count = 5 * 131072 + 777;
  const Signal signal = MakeSignal(count);
  WatchedOverview overview;
  AppendInRuns(overview, signal, {count});
  ExpectColumns(overview, signal, 0, count, 100);
  EXPECT_LE(overview.nodesRead, 100 * kOverviewFactor + 2 + 3 * kOverviewFactor);
  EXPECT_LT(overview.samplesRead, kOverviewBlockSamples);
}

}  // namespace
}  // namespace tavril
