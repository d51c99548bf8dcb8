#include "text/size_text.h"

#include "text/number_text.h"

namespace tavril {

std::string SizeText(std::uint64_t bytes) {
  const double value = static_cast<double>(bytes);
  if (value < 1e3) return std::to_string(bytes) + " octets";
  if (value < 1e6) return FormatFixed(value / 1e3, 1) + " Ko";
  if (value < 1e9) return FormatFixed(value / 1e6, 1) + " Mo";
  return FormatFixed(value / 1e9, 1) + " Go";
}

}  // namespace tavril
