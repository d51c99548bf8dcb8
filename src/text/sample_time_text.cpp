#include "text/sample_time_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "text/number_text.h"

namespace tavril {
namespace {

constexpr std::uint64_t kFifteenDigits = 1'000'000'000'000'000;  // 10^15
constexpr int kMaxDecimals = 18;

char* AppendDigits(char* out, std::uint64_t value, int width) {
  for (int i = width - 1; i >= 0; --i) {
    out[i] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
  return out + width;
}

}  // namespace

SampleTimeText::SampleTimeText(double rate) : rate_(rate) {
  if (!(rate >= 1.0 && rate <= 1e9) || rate != std::floor(rate)) return;
  auto rest = static_cast<std::uint64_t>(rate);
  int twos = 0;
  int fives = 0;
  for (; rest % 2 == 0; rest /= 2) ++twos;
  for (; rest % 5 == 0; rest /= 5) ++fives;
  decimals_ = std::max(twos, fives);
  if (rest != 1 || decimals_ > kMaxDecimals) return;
  for (int i = 0; i < decimals_; ++i) scale_ *= 10;
  step_ = scale_ / static_cast<std::uint64_t>(rate);
  // index * step_ / scale_ >= 1e-4, and index * step_ < 10^15.
  const unsigned __int128 tenThousandth = (static_cast<unsigned __int128>(scale_) + 9999) / 10000;
  fastFrom_ = static_cast<std::uint64_t>((tenThousandth + step_ - 1) / step_);
  fastTo_ = (kFifteenDigits - 1) / step_ + 1;
}

char* SampleTimeText::Append(char* out, std::size_t index) const {
  if (step_ == 0 || (index != 0 && (index < fastFrom_ || index >= fastTo_)))
    return AppendShortest(out, static_cast<double>(index) / rate_);
  const std::uint64_t units = index * step_;
  out = std::to_chars(out, out + 20, units / scale_).ptr;
  std::uint64_t fraction = units % scale_;
  if (fraction == 0) return out;
  int width = decimals_;
  for (; fraction % 10 == 0; fraction /= 10) --width;
  *out++ = '.';
  return AppendDigits(out, fraction, width);
}

}  // namespace tavril
