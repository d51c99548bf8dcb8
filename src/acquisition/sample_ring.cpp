#include "acquisition/sample_ring.h"

#include <algorithm>
#include <cassert>

namespace tavril {

void SampleRing::Reset(std::size_t capacity) {
  values_.resize(capacity);
  total_ = 0;
}

void SampleRing::Append(std::span<const double> samples) {
  const std::size_t capacity = values_.size();
  if (capacity == 0) return;
  total_ += samples.size();
  // Only the newest `capacity` can stay.
  if (samples.size() > capacity) samples = samples.last(capacity);
  const std::size_t at = static_cast<std::size_t>((total_ - samples.size()) % capacity);
  const std::size_t before = std::min(samples.size(), capacity - at);
  std::copy_n(samples.begin(), before, values_.begin() + static_cast<std::ptrdiff_t>(at));
  std::copy(samples.begin() + static_cast<std::ptrdiff_t>(before), samples.end(), values_.begin());
}

void SampleRing::CopyOut(std::uint64_t first, std::span<double> out) const {
  assert(first >= Oldest() && first + out.size() <= total_);
  if (out.empty()) return;
  const std::size_t capacity = values_.size();
  const std::size_t at = static_cast<std::size_t>(first % capacity);
  const std::size_t before = std::min(out.size(), capacity - at);
  std::copy_n(values_.begin() + static_cast<std::ptrdiff_t>(at), before, out.begin());
  std::copy_n(values_.begin(), out.size() - before,
              out.begin() + static_cast<std::ptrdiff_t>(before));
}

}  // namespace tavril
