#include "display/extent_pyramid.h"

#include <algorithm>

namespace tavril {

std::size_t ExtentPyramid::Bytes() const {
  std::size_t bytes = 0;
  for (const std::vector<ValueExtent>& level : levels_)
    bytes += level.capacity() * sizeof(ValueExtent);
  return bytes;
}

void ExtentPyramid::Reset(std::size_t level) {
  level_ = level;
  levels_.assign(1, {});
}

void ExtentPyramid::Reserve(std::uint64_t nodes) {
  for (std::size_t k = 0; nodes > 0; ++k, nodes /= kOverviewFactor) {
    if (k == levels_.size()) levels_.emplace_back();
    levels_[k].reserve(nodes);
  }
}

void ExtentPyramid::Append(std::span<const ValueExtent> nodes) {
  if (levels_.empty()) levels_.emplace_back();
  levels_.front().insert(levels_.front().end(), nodes.begin(), nodes.end());
  BuildAbove(0);
}

// Completes the levels above `from` with the groups its last nodes made.
void ExtentPyramid::BuildAbove(std::size_t from) {
  for (std::size_t k = from; levels_[k].size() >= kOverviewFactor; ++k) {
    if (k + 1 == levels_.size()) levels_.emplace_back();
    const std::vector<ValueExtent>& below = levels_[k];
    std::vector<ValueExtent>& above = levels_[k + 1];
    for (std::size_t group = above.size(); group < below.size() / kOverviewFactor; ++group) {
      ValueExtent extent;
      for (std::size_t i = 0; i < kOverviewFactor; ++i)
        Widen(extent, below[group * kOverviewFactor + i]);
      above.push_back(extent);
    }
  }
}

ValueExtent ExtentPyramid::Range(std::uint64_t first, std::uint64_t end) const {
  ValueExtent extent;
  const auto scan = [&](const std::vector<ValueExtent>& level, std::uint64_t from,
                        std::uint64_t to) {
    for (std::uint64_t i = from; i < to; ++i) Widen(extent, level[i]);
  };
  // Each level takes the nodes at both ends that do not make a whole node of
  // the level above, and leaves the rest to it.
  for (std::size_t k = 0; first < end; ++k) {
    const std::uint64_t upFirst = (first + kOverviewFactor - 1) / kOverviewFactor;
    const std::uint64_t upEnd = end / kOverviewFactor;
    if (k + 1 == levels_.size() || upFirst >= upEnd) {
      scan(levels_[k], first, end);
      break;
    }
    scan(levels_[k], first, upFirst * kOverviewFactor);
    scan(levels_[k], upEnd * kOverviewFactor, end);
    first = upFirst;
    end = upEnd;
  }
  return extent;
}

}  // namespace tavril
