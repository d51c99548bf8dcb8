#include "text/rate_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace tavril {

std::string RateText(double value) {
  if (!std::isfinite(value)) return "?";
  constexpr int kSignificant = 6;
  const int magnitude =
      value == 0.0 ? 0 : static_cast<int>(std::floor(std::log10(std::abs(value))));
  const int decimals = std::clamp(kSignificant - 1 - magnitude, 0, 9);
  char text[64];
  const auto [end, error] =
      std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
  if (error != std::errc()) return "?";
  std::string out(text, end);
  if (out.find('.') != std::string::npos) {
    out.erase(out.find_last_not_of('0') + 1);
    if (out.back() == '.') out.pop_back();
  }
  return out;
}

}  // namespace tavril
