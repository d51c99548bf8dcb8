#include "display/log_axis.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "text/number_text.h"
#include "text/si_prefix.h"

namespace tavril {
namespace {

// "20 Hz", "1 kHz", "2.5 MHz": the value with the engineering prefix that
// keeps it from 1 to 999.
std::string Label(double value, std::string_view unit) {
  const int power = static_cast<int>(std::floor(std::log10(value) / 3.0 + 1e-9)) * 3;
  const SiPrefix* prefix = &kSiPrefixes.front();
  for (const SiPrefix& candidate : kSiPrefixes) {
    if (candidate.exponent <= power) prefix = &candidate;
  }
  const double scaled = value / std::pow(10.0, prefix->exponent);
  return ShortestText(std::round(scaled * 1e6) / 1e6) + " " + std::string(prefix->symbol) +
         std::string(unit);
}

}  // namespace

LogAxis DecadesAround(double lowest, double highest) {
  if (!(lowest > 0.0) || !std::isfinite(lowest)) lowest = 1.0;
  if (!(highest >= lowest) || !std::isfinite(highest)) highest = lowest;
  const double low = std::floor(std::log10(lowest) + 1e-9);
  const double high = std::max(std::ceil(std::log10(highest) - 1e-9), low + 1.0);
  return {std::pow(10.0, low), std::pow(10.0, high)};
}

double LogAxisFraction(const LogAxis& axis, double value) {
  return std::log(value / axis.low) / std::log(axis.high / axis.low);
}

double LogAxisValue(const LogAxis& axis, double fraction) {
  return axis.low * std::pow(axis.high / axis.low, fraction);
}

std::vector<LogTick> LogAxisTicks(const LogAxis& axis, std::string_view unit) {
  std::vector<LogTick> ticks;
  if (!(axis.low > 0.0) || !(axis.high > axis.low)) return ticks;
  const bool labelSteps = axis.high / axis.low <= 100.0 * (1 + 1e-9);
  const int first = static_cast<int>(std::floor(std::log10(axis.low) + 1e-9));
  const int last = static_cast<int>(std::ceil(std::log10(axis.high) - 1e-9));
  for (int power = first; power <= last; ++power) {
    const double decade = std::pow(10.0, power);
    for (int step = 1; step <= 9; ++step) {
      const double value = decade * step;
      if (value < axis.low * (1 - 1e-9) || value > axis.high * (1 + 1e-9)) continue;
      const bool labelled = step == 1 || (labelSteps && (step == 2 || step == 5));
      ticks.push_back({value, step == 1, labelled ? Label(value, unit) : std::string()});
    }
  }
  return ticks;
}

std::size_t NearestOnLogAxis(std::span<const double> values, double value) {
  std::size_t nearest = 0;
  double best = std::numeric_limits<double>::infinity();
  for (std::size_t i = 0; i < values.size(); ++i) {
    const double distance = std::abs(std::log(values[i] / value));
    if (distance < best) {
      best = distance;
      nearest = i;
    }
  }
  return nearest;
}

PlotRange RoundedOut(double low, double high, double step, double minSpan) {
  if (!std::isfinite(low) || !std::isfinite(high) || high < low) return {0.0, minSpan};
  PlotRange range{std::floor(low / step) * step, std::ceil(high / step) * step};
  if (range.high - range.low < minSpan) {
    const double centre = (low + high) / 2.0;
    range.low = std::floor((centre - minSpan / 2.0) / step) * step;
    range.high = range.low + std::ceil(minSpan / step) * step;
    if (range.high < high) range.high += step;
  }
  return range;
}

}  // namespace tavril
