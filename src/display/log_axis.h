#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tavril {

// A logarithmic axis from `low` to `high`, both positive.
struct LogAxis {
  double low = 1.0;
  double high = 10.0;
};

// The whole decades that hold `lowest` to `highest` (at least one decade).
LogAxis DecadesAround(double lowest, double highest);

// Where `value` falls along the axis: 0 at its low end, 1 at its high end.
double LogAxisFraction(const LogAxis& axis, double value);
// The value at `fraction` of the axis.
double LogAxisValue(const LogAxis& axis, double fraction);

// A graduation of a logarithmic axis: each decade and the 2 to 9 between;
// `label` is set on the decades, and on the 2 and 5 when the axis spans at
// most two decades ("10 Hz", "2 kHz"), empty on the others.
struct LogTick {
  double value = 0.0;
  bool decade = false;
  std::string label;
};
std::vector<LogTick> LogAxisTicks(const LogAxis& axis, std::string_view unit);

// The index of the value of `values` (not empty) nearest to `value` on a
// logarithmic axis.
std::size_t NearestOnLogAxis(std::span<const double> values, double value);

// A linear range: `low` to `high` taken out to multiples of `step`, and
// widened evenly to span `minSpan` at least.
struct PlotRange {
  double low = 0.0;
  double high = 1.0;
};
PlotRange RoundedOut(double low, double high, double step, double minSpan);

}  // namespace tavril
