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
    // Indexes from `from`, which keeps the sums small and exact.
    double st = 0, sx = 0, stt = 0, stx = 0;
    for (std::size_t k = from; k <= to; ++k) {
      const double t = static_cast<double>(k - from);
      st += t;
      sx += samples[k];
      stt += t * t;
      stx += t * samples[k];
    }
    const double n = static_cast<double>(to - from + 1);
    meanT = st / n;
    meanX = sx / n;
    const double spread = stt - st * meanT;
    slope = spread > 0 ? (stx - st * meanX) / spread : 0;
    sloped = rising ? slope > 0 : slope < 0;
    meanT += static_cast<double>(from);
  }
  double Crossing(double level) const { return sloped ? meanT + (level - meanX) / slope : meanT; }

  double meanT = 0;
  double meanX = 0;
  double slope = 0;
  bool sloped = false;
};

// The minimum and maximum, and the sums of the samples' differences from the
// first and of their squares (differences keep the spread exact whatever the
// offset), in four lanes so that no lane waits on the one before; `finite`
// is false when any sample is not.
struct Sums {
  explicit Sums(std::span<const double> samples) : origin(samples[0]) {
    constexpr std::size_t kLanes = 4;
    double low[kLanes], high[kLanes], total[kLanes] = {}, squared[kLanes] = {}, odd[kLanes] = {};
    for (std::size_t j = 0; j < kLanes; ++j) low[j] = high[j] = origin;
    const auto add = [&](std::size_t j, double x) {
      const double d = x - origin;
      low[j] = x < low[j] ? x : low[j];
      high[j] = x > high[j] ? x : high[j];
      total[j] += d;
      squared[j] += d * d;
      odd[j] += d - d;  // 0 for a finite sample, NaN for any other
    };
    std::size_t i = 0;
    for (; i + kLanes <= samples.size(); i += kLanes) {
#pragma GCC unroll 4
      for (std::size_t j = 0; j < kLanes; ++j) add(j, samples[i + j]);
    }
    for (; i < samples.size(); ++i) add(0, samples[i]);
    minimum = *std::min_element(low, low + kLanes);
    maximum = *std::max_element(high, high + kLanes);
    differences = (total[0] + total[1]) + (total[2] + total[3]);
    squares = (squared[0] + squared[1]) + (squared[2] + squared[3]);
    finite = (odd[0] + odd[1]) + (odd[2] + odd[3]) == 0;
  }

  double origin;
  double minimum = 0, maximum = 0, differences = 0, squares = 0;
  bool finite = true;
};

// Where the samples cross `level` between index `k` and `k + 1`, in samples.
double Interpolated(std::span<const double> samples, std::size_t k, double level) {
  const double a = samples[k];
  const double b = samples[k + 1];
  return static_cast<double>(k) + (a == b ? 0.5 : (level - a) / (b - a));
}

struct Edge {
  double time;    // samples, where the signal crosses the mean
  double middle;  // samples, where it crosses halfway from minimum to maximum
};

// The mean of what is added.
class Average {
 public:
  void Add(double value) {
    sum_ += value;
    ++count_;
  }
  std::optional<double> Value() const {
    if (count_ == 0) return std::nullopt;
    return sum_ / count_;
  }

 private:
  double sum_ = 0;
  int count_ = 0;
};

}  // namespace

WaveMeasurements MeasureWave(std::span<const double> samples, double rate) {
  WaveMeasurements result;
  result.count = samples.size();
  if (samples.empty()) return result;
  const Sums sums(samples);
  if (!sums.finite) return result;
  const double minimum = sums.minimum;
  const double maximum = sums.maximum;
  const double n = static_cast<double>(samples.size());
  const double shift = sums.differences / n;
  const double mean = sums.origin + shift;
  const double variance = std::max(sums.squares / n - shift * shift, 0.0);
  result.minimum = minimum;
  result.maximum = maximum;
  result.peakToPeak = maximum - minimum;
  result.mean = mean;
  result.rms = std::sqrt(mean * mean + variance);
  result.acRms = std::sqrt(variance);

  // The trigger. Between edges a tight loop only looks for the sample that
  // crosses the other threshold (or, after an edge, the end of its 10-90 %
  // transition); where the edge began is then found by looking back.
  const double h = 0.25 * std::min(maximum - mean, mean - minimum);
  const double upper = mean + h;
  const double lower = mean - h;
  const double middle = 0.5 * (minimum + maximum);
  const double low10 = minimum + 0.1 * (maximum - minimum);
  const double high90 = minimum + 0.9 * (maximum - minimum);
  const std::size_t size = samples.size();
  std::vector<Edge> rises;
  std::vector<Edge> falls;
  Average riseTime;
  Average fallTime;
  std::size_t i = 0;
  while (h > 0 && i < size && samples[i] <= upper && samples[i] >= lower) ++i;
  bool onHigh = i < size && samples[i] > upper;
  std::size_t lastEdge = i;    // where the signal last came beyond a threshold
  bool waitingEnd = false;     // the last edge's transition has not reached its end level
  double transitionStart = 0;  // and began here, in samples
  for (++i; h > 0 && i < size; ++i) {
    if (onHigh && waitingEnd) {
      while (i < size && samples[i] >= lower && samples[i] < high90) ++i;
    } else if (onHigh) {
      while (i < size && samples[i] >= lower) ++i;
    } else if (waitingEnd) {
      while (i < size && samples[i] <= upper && samples[i] > low10) ++i;
    } else {
      while (i < size && samples[i] <= upper) ++i;
    }
    if (i == size) break;
    const double x = samples[i];
    if (waitingEnd && (onHigh ? x >= high90 : x <= low10)) {
      (onHigh ? riseTime : fallTime)
          .Add(Interpolated(samples, i - 1, onHigh ? high90 : low10) - transitionStart);
      waitingEnd = false;
    }
    if (onHigh ? x >= lower : x <= upper) continue;
    // An edge: the stretch it crosses the band in, and where it left the far level.
    const bool rising = !onHigh;
    std::size_t start = i - 1;
    while (start > lastEdge && (rising ? samples[start] >= lower : samples[start] <= upper))
      --start;
    const FittedLine line(samples, start, i, rising);
    (rising ? rises : falls).push_back({line.Crossing(mean), line.Crossing(middle)});
    const double from = rising ? low10 : high90;
    std::size_t left = i - 1;
    while (left > lastEdge && (rising ? samples[left] > from : samples[left] < from)) --left;
    waitingEnd = rising ? samples[left] <= from : samples[left] >= from;
    if (waitingEnd) transitionStart = Interpolated(samples, left, from);
    if (waitingEnd && (rising ? x >= high90 : x <= low10)) {
      (rising ? riseTime : fallTime)
          .Add(Interpolated(samples, i - 1, rising ? high90 : low10) - transitionStart);
      waitingEnd = false;
    }
    onHigh = rising;
    lastEdge = i;
  }
  if (!(rate > 0)) return result;
  if (const auto t = riseTime.Value()) result.riseTime = *t / rate;
  if (const auto t = fallTime.Value()) result.fallTime = *t / rate;
  if (rises.size() < 2) return result;

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

  return result;
}

}  // namespace tavril
