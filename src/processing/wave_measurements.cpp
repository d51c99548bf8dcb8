#include "processing/wave_measurements.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace tavril {
namespace {

// The line fitted to samples [from, to] (x against the index), and where it
// crosses a level: the middle of the stretch when the fit is flat or slopes
// the wrong way.
struct FittedLine {
  FittedLine(std::span<const double> samples, std::size_t from, std::size_t to, bool rising) {
    const double n = static_cast<double>(to - from + 1);
    for (std::size_t k = from; k <= to; ++k) {
      meanT += static_cast<double>(k);
      meanX += samples[k];
    }
    meanT /= n;
    meanX /= n;
    double covariance = 0;
    double spread = 0;
    for (std::size_t k = from; k <= to; ++k) {
      const double dt = static_cast<double>(k) - meanT;
      covariance += dt * (samples[k] - meanX);
      spread += dt * dt;
    }
    slope = covariance / spread;
    sloped = rising ? slope > 0 : slope < 0;
  }
  double Crossing(double level) const { return sloped ? meanT + (level - meanX) / slope : meanT; }

  double meanT = 0;
  double meanX = 0;
  double slope = 0;
  bool sloped = false;
};

// Where the samples cross `level` between index `k` and `k + 1`, in samples.
double Interpolated(std::span<const double> samples, std::size_t k, double level) {
  const double a = samples[k];
  const double b = samples[k + 1];
  return static_cast<double>(k) + (a == b ? 0.5 : (level - a) / (b - a));
}

struct Edge {
  double time;        // samples, where the signal crosses the mean
  double middle;      // samples, where it crosses halfway from minimum to maximum
  std::size_t start;  // the last sample beyond the other threshold
  std::size_t end;    // the first sample beyond this edge's threshold
};

// The time from `low` to `high` (or back, for a falling edge) around `edge`,
// in samples, looked for no further than the edges on either side (`from`
// and `to`); empty when the signal does not reach both levels there.
std::optional<double> TransitionTime(std::span<const double> samples, const Edge& edge,
                                     std::size_t from, std::size_t to, double low, double high,
                                     bool rising) {
  const auto before = [&](double x) { return rising ? x <= low : x >= high; };
  const auto after = [&](double x) { return rising ? x >= high : x <= low; };
  std::size_t first = edge.start;
  while (first > from && !before(samples[first])) --first;
  std::size_t last = edge.end;
  while (last < to && !after(samples[last])) ++last;
  if (!before(samples[first]) || !after(samples[last])) return std::nullopt;
  return Interpolated(samples, last - 1, rising ? high : low) -
         Interpolated(samples, first, rising ? low : high);
}

// The mean time of the transitions of `edges` between 10 % and 90 %, each
// looked for between the edges of `others` (the opposite ones) around it.
std::optional<double> MeanTransition(std::span<const double> samples,
                                     const std::vector<Edge>& edges,
                                     const std::vector<Edge>& others, double low, double high,
                                     bool rising) {
  double sum = 0;
  int counted = 0;
  for (const Edge& edge : edges) {
    const auto next = std::lower_bound(others.begin(), others.end(), edge.end,
                                       [](const Edge& e, std::size_t i) { return e.start < i; });
    const std::size_t from = next == others.begin() ? 0 : std::prev(next)->end;
    const std::size_t to = next == others.end() ? samples.size() - 1 : next->start;
    if (const auto t = TransitionTime(samples, edge, from, to, low, high, rising)) {
      sum += *t;
      ++counted;
    }
  }
  if (counted == 0) return std::nullopt;
  return sum / counted;
}

}  // namespace

WaveMeasurements MeasureWave(std::span<const double> samples, double rate) {
  WaveMeasurements result;
  result.count = samples.size();
  if (samples.empty()) return result;
  double minimum = samples[0];
  double maximum = samples[0];
  double sum = 0;
  double squares = 0;
  bool finite = true;
  for (const double x : samples) {
    finite = finite && std::isfinite(x);
    minimum = std::min(minimum, x);
    maximum = std::max(maximum, x);
    sum += x;
    squares += x * x;
  }
  if (!finite) return result;
  const double n = static_cast<double>(samples.size());
  const double mean = sum / n;
  result.minimum = minimum;
  result.maximum = maximum;
  result.peakToPeak = maximum - minimum;
  result.mean = mean;
  result.rms = std::sqrt(squares / n);

  // The trigger, and the spread about the mean, in one more pass.
  const double h = 0.25 * std::min(maximum - mean, mean - minimum);
  const double upper = mean + h;
  const double lower = mean - h;
  const double middle = 0.5 * (minimum + maximum);
  enum class Side { kUnknown, kLow, kHigh } side = Side::kUnknown;
  std::size_t lastLow = 0;
  std::size_t lastHigh = 0;
  std::vector<Edge> rises;
  std::vector<Edge> falls;
  double deviations = 0;
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const double x = samples[i];
    deviations += (x - mean) * (x - mean);
    if (h <= 0) continue;
    if (x > upper) {
      if (side == Side::kLow) {
        const FittedLine line(samples, lastLow, i, true);
        rises.push_back({line.Crossing(mean), line.Crossing(middle), lastLow, i});
      }
      side = Side::kHigh;
      lastHigh = i;
    } else if (x < lower) {
      if (side == Side::kHigh) {
        const FittedLine line(samples, lastHigh, i, false);
        falls.push_back({line.Crossing(mean), line.Crossing(middle), lastHigh, i});
      }
      side = Side::kLow;
      lastLow = i;
    }
  }
  result.acRms = std::sqrt(deviations / n);
  if (rises.size() < 2 || !(rate > 0)) return result;

  const double span = rises.back().time - rises.front().time;
  if (!(span > 0)) return result;
  result.frequency = static_cast<double>(rises.size() - 1) * rate / span;
  result.period = 1.0 / *result.frequency;
  double high = 0;
  for (const Edge& fall : falls) {
    if (fall.time <= rises.front().time || fall.time >= rises.back().time) continue;
    // The rising edge that this fall ends: the last one before it.
    const auto rise = std::upper_bound(rises.begin(), rises.end(), fall.time,
                                       [](double t, const Edge& e) { return t < e.time; });
    high += fall.middle - std::prev(rise)->middle;
  }
  result.dutyCycle = high / span;

  const double low10 = minimum + 0.1 * (maximum - minimum);
  const double high90 = minimum + 0.9 * (maximum - minimum);
  if (const auto t = MeanTransition(samples, rises, falls, low10, high90, true))
    result.riseTime = *t / rate;
  if (const auto t = MeanTransition(samples, falls, rises, low10, high90, false))
    result.fallTime = *t / rate;
  return result;
}

}  // namespace tavril
