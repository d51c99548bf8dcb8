#include "processing/spectrum_plot.h"

#include <algorithm>
#include <cmath>

namespace tavril {

DbvRange PlotDbvRange(double lowest, double highest, double depth) {
  const double high = std::ceil((highest + 5) / 10) * 10;
  const double low = std::floor(std::max(lowest, high - depth) / 10) * 10;
  return {low < high ? low : high - 10, high};
}

std::vector<ColumnRange> PlotColumns(std::span<const double> dbv, int columns) {
  std::vector<ColumnRange> ranges;
  if (dbv.empty() || columns <= 0) return ranges;
  ranges.reserve(static_cast<std::size_t>(columns));
  const std::size_t n = dbv.size();
  const auto width = static_cast<std::size_t>(columns);
  std::size_t previous = 0;
  for (std::size_t c = 0; c < width; ++c) {
    std::size_t first = c * n / width;
    const std::size_t end = std::max((c + 1) * n / width, first + 1);
    first = std::min(first, n - 1);
    const auto [low, high] = std::minmax_element(dbv.begin() + first, dbv.begin() + end);
    ColumnRange range{*low, *high};
    if (c > 0) {
      range.low = std::min(range.low, dbv[previous]);
      range.high = std::max(range.high, dbv[previous]);
    }
    ranges.push_back(range);
    previous = end - 1;
  }
  return ranges;
}

}  // namespace tavril
