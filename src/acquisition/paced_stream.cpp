#include "acquisition/paced_stream.h"

#include <algorithm>

namespace tavril {

PacedStream::PacedStream(StreamClock& clock, const ScanTiming& timing, std::uint64_t capacity)
    : clock_(clock), timing_(timing), capacity_(capacity), origin_(clock.Now()) {}

std::uint64_t PacedStream::Converted(std::uint64_t limit) {
  const double now = clock_.Now();
  // Reading times grow with n: bisect for the first one still to come.
  std::uint64_t lo = 0;
  std::uint64_t hi = limit;
  while (lo < hi) {
    const std::uint64_t mid = lo + (hi - lo + 1) / 2;
    if (origin_ + timing_.ReadingSeconds(taken_ + mid - 1) <= now) {
      lo = mid;
    } else {
      hi = mid - 1;
    }
  }
  return lo;
}

void PacedStream::Freeze() {
  const std::uint64_t converted = Converted(capacity_ + 1);
  // One reading more than the buffer holds was converted: it had nowhere to go.
  overflowed_ = converted > capacity_;
  end_ = taken_ + std::min(converted, capacity_);
  running_ = false;
}

std::uint64_t PacedStream::Take(std::uint64_t wanted) {
  if (running_ && Converted(capacity_ + 1) > capacity_) Freeze();
  const std::uint64_t count = running_ ? wanted : std::min(wanted, end_ - taken_);
  if (running_ && count > 0) {
    clock_.WaitUntil(origin_ + timing_.ReadingSeconds(taken_ + count - 1));
  }
  taken_ += count;
  return count;
}

void PacedStream::Stop() {
  if (running_) Freeze();
}

}  // namespace tavril
