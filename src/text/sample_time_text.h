#pragma once

#include <cstddef>
#include <cstdint>

namespace tavril {

// The time of sample `index` at `rate` samples per second, index / rate, as
// AppendShortest writes it. Every row of an export carries one, and finding
// the shortest digits of a double is slow: when 1 / rate is a short decimal
// (rates of the form 2^a 5^b: 1000, 2000, 100000, 1024 Hz...), the time's
// exact decimal is written instead. It has at most 15 significant digits,
// and no other decimal of 15 digits or fewer reads back as the same double,
// so it is the shortest text, digit for digit.
class SampleTimeText {
 public:
  explicit SampleTimeText(double rate);

  // Writes the time at `out`; one past the end is returned.
  char* Append(char* out, std::size_t index) const;

 private:
  double rate_;
  // 1 / rate = step_ / 10^decimals_ for the indexes [0] and [fastFrom_,
  // fastTo_): their times are 0, or below 10^15 in at most 15 digits and no
  // smaller than 1e-4, where AppendShortest writes plain decimals.
  std::uint64_t step_ = 0;
  int decimals_ = 0;
  std::uint64_t scale_ = 1;  // 10^decimals_
  std::uint64_t fastFrom_ = 0;
  std::uint64_t fastTo_ = 0;
};

}  // namespace tavril
