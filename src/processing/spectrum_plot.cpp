#include "processing/spectrum_plot.h"

#include <algorithm>
#include <cmath>

#include "processing/spectrum_text.h"

namespace tavril {
namespace {

// The decimals that write every multiple of `step` exactly as a 1-2-5 step has it.
int StepDecimals(double step) {
  return std::max(0, static_cast<int>(std::ceil(-std::log10(step) - 1e-9)));
}

std::vector<AxisTick> Ticks(double low, double high, int maxSteps, double unit,
                            const char* suffix) {
  std::vector<AxisTick> ticks;
  if (!(high > low) || !std::isfinite(high - low)) return ticks;
  const double step = NiceStep(high - low, maxSteps);
  const int decimals = std::min(17, StepDecimals(step / unit));
  for (double i = std::ceil(low / step - 1e-9); i * step <= high + step * 1e-9; i += 1) {
    const double value = i * step;
    std::string label = value == 0 ? "0" : FormatDecimals(value / unit, decimals);
    if (value != 0) label += suffix;
    ticks.push_back({value, std::move(label)});
  }
  return ticks;
}

}  // namespace

double NiceStep(double span, int maxSteps) {
  if (!(span > 0) || !std::isfinite(span) || maxSteps < 1) return 1;
  const double rough = span / maxSteps;
  const double decade = std::pow(10.0, std::floor(std::log10(rough)));
  for (const double factor : {1.0, 2.0, 5.0, 10.0}) {
    if (factor * decade >= rough * (1 - 1e-12)) return factor * decade;
  }
  return 10 * decade;
}

std::vector<AxisTick> FrequencyTicks(double maxHz, int maxSteps) {
  const bool kilo = NiceStep(maxHz, maxSteps) >= 1000;
  return Ticks(0, maxHz, maxSteps, kilo ? 1000 : 1, kilo ? " kHz" : " Hz");
}

std::vector<AxisTick> DbvTicks(double low, double high, int maxSteps) {
  return Ticks(low, high, maxSteps, 1, "");
}

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
