#include "display/graph_axes.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

#include "text/si_prefix.h"

namespace tavril {

namespace {

// More graduations than this never fit on a screen; the search starts above.
constexpr double kMostTicks = 1000.0;

// The graduations' labels go no further than giga.
constexpr int kLargestPrefixExponent = 9;

// The smallest 1, 2 or 5 times a power of ten at or above `at_least`.
double NiceStepAbove(double atLeast) {
  const double decade = std::pow(10.0, std::floor(std::log10(atLeast)));
  for (const double mantissa : {1.0, 2.0, 5.0, 10.0}) {
    if (mantissa * decade >= atLeast * (1.0 - 1e-12)) return mantissa * decade;
  }
  return 10.0 * decade;
}

double NextNiceStep(double step) {
  return NiceStepAbove(step * 1.0001);
}

struct LabelStyle {
  double divisor = 1.0;
  std::string_view prefix;
  int decimals = 0;
};

LabelStyle StyleFor(double largest, double step, bool withUnit) {
  LabelStyle style;
  if (withUnit) {
    const double magnitude = largest > 0.0 ? largest : step;
    const int exponent = static_cast<int>(std::floor(std::log10(magnitude) / 3.0)) * 3;
    const SiPrefix* chosen = &kSiPrefixes.front();
    for (const SiPrefix& prefix : kSiPrefixes) {
      if (prefix.exponent <= std::min(exponent, kLargestPrefixExponent)) chosen = &prefix;
    }
    style.divisor = std::pow(10.0, chosen->exponent);
    style.prefix = chosen->symbol;
  }
  const double scaledStep = step / style.divisor;
  style.decimals = std::max(0, static_cast<int>(std::ceil(-std::log10(scaledStep) - 1e-9)));
  return style;
}

std::string Label(double value, const LabelStyle& style, std::string_view unit) {
  std::array<char, 64> text{};
  const double scaled = value / style.divisor;
  const auto [end, error] = std::to_chars(text.data(), text.data() + text.size(), scaled,
                                          std::chars_format::fixed, style.decimals);
  std::string label(text.data(), error == std::errc{} ? end : text.data());
  if (!unit.empty()) {
    label += ' ';
    label += style.prefix;
    label += unit;
  }
  return label;
}

}  // namespace

std::vector<AxisTick> ComputeAxisTicks(const AxisSpan& span, std::string_view unit,
                                       const LabelExtent& extent, double gap) {
  std::vector<AxisTick> ticks;
  const double low = std::min(span.first, span.last);
  const double high = std::max(span.first, span.last);
  const double range = high - low;
  if (!std::isfinite(low) || !std::isfinite(high) || !(range > 0.0) || !(span.length >= 1.0)) {
    return ticks;
  }
  const double pixelsPerUnit = span.length / range;
  const double largest = std::max(std::abs(low), std::abs(high));
  // Steps below this no longer change the last digit a double holds.
  if (range < largest * 1e-12) return ticks;
  double step = NiceStepAbove(range / kMostTicks);
  if (unit.empty()) step = std::max(step, 1.0);
  for (int attempt = 0; attempt < 64; ++attempt, step = NextNiceStep(step)) {
    if (step * pixelsPerUnit < gap) continue;
    const LabelStyle style = StyleFor(largest, step, !unit.empty());
    // The widest labels are at the ends of the values shown.
    const double room = step * pixelsPerUnit - gap;
    if (extent(Label(std::floor(low / step) * step, style, unit)) > room ||
        extent(Label(std::ceil(high / step) * step, style, unit)) > room) {
      continue;
    }
    const double firstIndex = std::ceil(low / step);
    const double lastIndex = std::floor(high / step);
    for (double index = firstIndex; index <= lastIndex; index += 1.0) {
      // Multiplying the index, not adding steps, keeps "0" at exactly zero;
      // adding zero turns -0 into 0.
      const double value = index * step + 0.0;
      ticks.push_back(AxisTick{value, (value - span.first) / (span.last - span.first) * span.length,
                               Label(value, style, unit)});
    }
    return ticks;
  }
  return ticks;
}

bool HasTimeBase(double rate) {
  return std::isfinite(rate) && rate > 0.0;
}

AxisSpan TimeSpanOf(const GraphScale& scale, double rate, ClientSize area) {
  const double perSecond = HasTimeBase(rate) ? rate : 1.0;
  const double firstSample = static_cast<double>(scale.scrollOffset);
  const double lastSample = firstSample + area.width / scale.pixelsPerSample;
  return AxisSpan{firstSample / perSecond, lastSample / perSecond, static_cast<double>(area.width)};
}

AxisSpan VoltSpanOf(const GraphScale& scale, ClientSize area) {
  return AxisSpan{scale.originY / scale.pixelsPerVolt,
                  (scale.originY - area.height) / scale.pixelsPerVolt,
                  static_cast<double>(area.height)};
}

}  // namespace tavril
