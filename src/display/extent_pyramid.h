#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "model/recording_overview.h"

namespace tavril {

// The extents of the nodes of one overview level held in memory, and of
// every level above made from them, so that the extent of any run of those
// nodes costs a few steps per level, however long the run.
class ExtentPyramid {
 public:
  std::size_t Level() const { return level_; }
  std::uint64_t NodeCount() const { return levels_.empty() ? 0 : levels_.front().size(); }
  const ValueExtent& Node(std::uint64_t index) const { return levels_.front()[index]; }
  // Memory held, in bytes.
  std::size_t Bytes() const;

  // Forgets every node and holds nodes of `level` from now on.
  void Reset(std::size_t level);
  // Makes room for `nodes` nodes of the level held, and the levels above.
  void Reserve(std::uint64_t nodes);
  // Adds the next nodes of the level held.
  void Append(std::span<const ValueExtent> nodes);
  // The extent of nodes [first, end) of the level held.
  ValueExtent Range(std::uint64_t first, std::uint64_t end) const;

 private:
  void BuildAbove(std::size_t from);

  std::size_t level_ = 0;
  std::vector<std::vector<ValueExtent>> levels_;  // levels_[0] is level_
};

// Widens `into` to hold `extent`.
inline void Widen(ValueExtent& into, const ValueExtent& extent) {
  into.minimum = extent.minimum < into.minimum ? extent.minimum : into.minimum;
  into.maximum = extent.maximum > into.maximum ? extent.maximum : into.maximum;
}

}  // namespace tavril
