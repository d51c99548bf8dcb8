#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tavril {

// The newest samples of one channel, in memory taken once: samples are
// numbered from 0 at the start of the run, and the ring holds the last
// Capacity() of them.
class SampleRing {
 public:
  // Empties the ring for a new run; keeps its memory when large enough.
  void Reset(std::size_t capacity);

  void Append(std::span<const double> samples);

  std::size_t Capacity() const { return values_.size(); }
  // Samples appended since Reset().
  std::uint64_t Total() const { return total_; }
  // The number of the oldest sample still held.
  std::uint64_t Oldest() const { return total_ > values_.size() ? total_ - values_.size() : 0; }

  // Copies samples first to first + out.size() - 1, which must all be held.
  void CopyOut(std::uint64_t first, std::span<double> out) const;

 private:
  std::vector<double> values_;
  std::uint64_t total_ = 0;
};

}  // namespace tavril
