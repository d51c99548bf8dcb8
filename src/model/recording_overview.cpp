#include "model/recording_overview.h"

#include <algorithm>
#include <cmath>

namespace tavril {

namespace {

void Merge(OverviewNode& into, const OverviewNode& node) {
  into.minimum = std::min(into.minimum, node.minimum);
  into.maximum = std::max(into.maximum, node.maximum);
  into.sum += node.sum;
  into.sumOfSquares += node.sumOfSquares;
}

// A sample as a node of its own: a NaN adds to the sums only, as in a block.
OverviewNode OneSample(double volt) {
  OverviewNode node;
  if (!std::isnan(volt)) node.minimum = node.maximum = volt;
  node.sum = volt;
  node.sumOfSquares = volt * volt;
  return node;
}

std::uint64_t CeilDiv(std::uint64_t value, std::uint64_t divisor) {
  return value / divisor + (value % divisor != 0 ? 1 : 0);
}

// Nodes of `level` the source holds, however many it claims.
std::uint64_t HeldNodes(const OverviewSource& source, std::size_t level) {
  if (level >= kOverviewMaxLevels) return 0;
  return std::min(source.NodeCount(level), OverviewNodeCount(source.SampleCount(), level));
}

// Calls fold(node, index) for nodes [first, end) of `level`, read in batches.
template <class Fold>
bool ForEachNode(OverviewSource& source, std::size_t level, std::uint64_t first, std::uint64_t end,
                 Fold fold) {
  std::array<OverviewNode, 64> batch;
  while (first < end) {
    const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(end - first, 64));
    if (!source.Nodes(level, first, std::span(batch.data(), count))) return false;
    for (std::size_t i = 0; i < count; ++i) fold(batch[i], first + i);
    first += count;
  }
  return true;
}

// Calls fold(volt, index) for samples [first, end), read in batches.
template <class Fold>
bool ForEachSample(OverviewSource& source, std::uint64_t first, std::uint64_t end, Fold fold) {
  constexpr std::size_t kBatch = kOverviewBlockSamples;
  std::array<double, kBatch> volts;
  while (first < end) {
    const std::size_t count =
        static_cast<std::size_t>(std::min<std::uint64_t>(end - first, kBatch));
    if (!source.Samples(first, std::span(volts.data(), count))) return false;
    for (std::size_t i = 0; i < count; ++i) fold(volts[i], first + i);
    first += count;
  }
  return true;
}

}  // namespace

void OverviewBuilder::Append(std::span<const double> volts) {
  const std::size_t count = volts.size();
  std::size_t i = 0;
  while (i < count) {
    OverviewNode& block = partial_[0];
    const std::size_t take = static_cast<std::size_t>(
        std::min<std::uint64_t>(count - i, kOverviewBlockSamples - partialCount_[0]));
    // Locals keep the loop in registers; the order of the additions is the
    // samples' whatever the runs, so any split gives the same nodes.
    double minimum = block.minimum;
    double maximum = block.maximum;
    double sum = block.sum;
    double sumOfSquares = block.sumOfSquares;
    for (std::size_t j = i; j < i + take; ++j) {
      const double volt = volts[j];
      minimum = volt < minimum ? volt : minimum;
      maximum = volt > maximum ? volt : maximum;
      sum += volt;
      sumOfSquares += volt * volt;
    }
    block = OverviewNode{minimum, maximum, sum, sumOfSquares};
    partialCount_[0] += take;
    sampleCount_ += take;
    i += take;
    if (partialCount_[0] == kOverviewBlockSamples) {
      const OverviewNode done = block;
      block = OverviewNode{};
      partialCount_[0] = 0;
      Complete(0, done);
    }
  }
}

void OverviewBuilder::Complete(std::size_t level, const OverviewNode& node) {
  completed_[level].push_back(node);
  const std::size_t up = level + 1;
  if (up >= kOverviewMaxLevels) return;
  Merge(partial_[up], node);
  if (++partialCount_[up] < kOverviewFactor) return;
  const OverviewNode done = partial_[up];
  partial_[up] = OverviewNode{};
  partialCount_[up] = 0;
  Complete(up, done);
}

void OverviewBuilder::TakeCompleted(std::size_t level, std::vector<OverviewNode>& into) {
  into.clear();
  if (level < kOverviewMaxLevels) into.swap(completed_[level]);
}

std::size_t OverviewBuilder::LevelCount() const {
  std::size_t levels = 0;
  while (OverviewNodeCount(sampleCount_, levels) > 0) ++levels;
  return levels;
}

bool OverviewRange(OverviewSource& source, std::uint64_t first, std::uint64_t end,
                   OverviewStatistics& statistics) {
  statistics = OverviewStatistics{};
  end = std::min(end, source.SampleCount());
  if (first >= end) return true;
  statistics.sampleCount = end - first;

  const auto addNode = [&](const OverviewNode& node, std::uint64_t) {
    statistics.minimum = std::min(statistics.minimum, node.minimum);
    statistics.maximum = std::max(statistics.maximum, node.maximum);
    statistics.sum += node.sum;
    statistics.sumOfSquares += node.sumOfSquares;
  };
  const auto addSamples = [&](std::uint64_t from, std::uint64_t to) {
    return ForEachSample(source, from, to,
                         [&](double volt, std::uint64_t) { addNode(OneSample(volt), 0); });
  };

  // Whole blocks [lo, hi) go through the nodes, the partial ones are read.
  std::uint64_t lo = CeilDiv(first, kOverviewBlockSamples);
  std::uint64_t hi = std::min(end / kOverviewBlockSamples, HeldNodes(source, 0));
  if (lo >= hi) return addSamples(first, end);
  if (!addSamples(first, lo * kOverviewBlockSamples) ||
      !addSamples(hi * kOverviewBlockSamples, end))
    return false;
  // Each level takes the nodes at both ends that do not make a whole node of
  // the level above, and leaves the rest to it.
  for (std::size_t level = 0; lo < hi; ++level) {
    const std::uint64_t upLo = CeilDiv(lo, kOverviewFactor);
    const std::uint64_t upHi = std::min(hi / kOverviewFactor, HeldNodes(source, level + 1));
    if (upLo >= upHi) return ForEachNode(source, level, lo, hi, addNode);
    if (!ForEachNode(source, level, lo, upLo * kOverviewFactor, addNode) ||
        !ForEachNode(source, level, upHi * kOverviewFactor, hi, addNode))
      return false;
    lo = upLo;
    hi = upHi;
  }
  return true;
}

void MemoryOverview::Append(std::span<const double> volts) {
  volts_.insert(volts_.end(), volts.begin(), volts.end());
  builder_.Append(volts);
  for (std::size_t level = 0; level < kOverviewMaxLevels; ++level) {
    builder_.TakeCompleted(level, taken_);
    levels_[level].insert(levels_[level].end(), taken_.begin(), taken_.end());
  }
}

bool MemoryOverview::Nodes(std::size_t level, std::uint64_t firstIndex,
                           std::span<OverviewNode> out) {
  if (level >= kOverviewMaxLevels) return false;
  const std::vector<OverviewNode>& nodes = levels_[level];
  if (firstIndex > nodes.size() || out.size() > nodes.size() - firstIndex) return false;
  std::copy_n(nodes.begin() + static_cast<std::ptrdiff_t>(firstIndex), out.size(), out.begin());
  return true;
}

bool MemoryOverview::Samples(std::uint64_t firstSample, std::span<double> volts) {
  if (firstSample > volts_.size() || volts.size() > volts_.size() - firstSample) return false;
  const auto from = static_cast<std::ptrdiff_t>(firstSample);
  std::copy_n(volts_.begin() + from, volts.size(), volts.begin());
  return true;
}

}  // namespace tavril
