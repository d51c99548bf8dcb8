#include "display/curve_raster.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace tavril {

namespace {

// First index in [lo, hi) where `pred` holds, for a predicate that is false
// and then true over the range; hi when it never holds.
template <typename Pred>
std::size_t FirstTrue(std::size_t lo, std::size_t hi, Pred pred) {
  while (lo < hi) {
    const std::size_t mid = lo + (hi - lo) / 2;
    if (pred(mid)) {
      hi = mid;
    } else {
      lo = mid + 1;
    }
  }
  return lo;
}

// The same answer, searched outwards from `hint`: the cost grows with the
// distance between the hint and the answer, not with the range.
template <typename Pred>
std::size_t FirstTrueNear(std::size_t lo, std::size_t hi, std::size_t hint, Pred pred) {
  hint = std::clamp(hint, lo, hi);
  std::size_t step = 1;
  if (hint == hi || pred(hint)) {
    std::size_t knownTrue = hint;
    while (knownTrue - lo > step) {
      const std::size_t probe = knownTrue - step;
      if (!pred(probe)) return FirstTrue(probe + 1, knownTrue, pred);
      knownTrue = probe;
      step *= 2;
    }
    return FirstTrue(lo, knownTrue, pred);
  }
  std::size_t knownFalse = hint;
  while (hi - knownFalse > step) {
    const std::size_t probe = knownFalse + step;
    if (pred(probe)) return FirstTrue(knownFalse + 1, probe, pred);
    knownFalse = probe;
    step *= 2;
  }
  return FirstTrue(knownFalse + 1, hi, pred);
}

class VerticalRun {
 public:
  void Include(std::int32_t y) {
    top_ = std::min(top_, y);
    bottom_ = std::max(bottom_, y);
  }
  std::int32_t top() const { return top_; }
  std::int32_t bottom() const { return bottom_; }

 private:
  std::int32_t top_ = std::numeric_limits<std::int32_t>::max();
  std::int32_t bottom_ = std::numeric_limits<std::int32_t>::min();
};

}  // namespace

void ComputeCurveStrokes(const GraphScale& scale, std::span<const double> samples,
                         const SamplePyramid& pyramid, std::int32_t firstColumn,
                         std::int32_t lastColumn, CurveStrokes& out) {
  const std::size_t n = samples.size();
  if (n == 0) return;

  auto columnOf = [&](std::size_t j) {
    return SampleToPixel(scale, static_cast<double>(j), 0.0).x;
  };
  auto pointOf = [&](std::size_t j) {
    return SampleToPixel(scale, static_cast<double>(j), samples[j]);
  };
  auto rowOf = [&](double volts) { return SampleToPixel(scale, 0.0, volts).y; };

  // x never decreases with the index, except with a negative scale where it
  // never increases; the shown samples are one contiguous index range either way.
  const bool rising = !(scale.pixelsPerSample < 0.0);
  auto beforeShown = [&](std::size_t j) {
    const std::int32_t x = columnOf(j);
    return rising ? x < firstColumn : x > lastColumn;
  };
  auto afterShown = [&](std::size_t j) {
    const std::int32_t x = columnOf(j);
    return rising ? x > lastColumn : x < firstColumn;
  };
  const std::size_t shownBegin = FirstTrue(0, n, [&](std::size_t j) { return !beforeShown(j); });
  const std::size_t shownEnd = FirstTrue(shownBegin, n, afterShown);

  if (shownBegin == shownEnd) {
    // Nothing inside: only a line from one side to the other can cross.
    if (shownBegin > 0 && shownBegin < n) {
      out.lines.push_back({pointOf(shownBegin - 1), pointOf(shownBegin)});
    }
    return;
  }

  bool havePrevious = shownBegin > 0;
  PixelPoint previous = havePrevious ? pointOf(shownBegin - 1) : PixelPoint{};
  bool previousHasRun = false;  // the column left before the shown ones is not known
  ColumnRun previousRun;
  std::size_t lastRunLength = 1;
  for (std::size_t begin = shownBegin; begin < shownEnd;) {
    const std::int32_t column = columnOf(begin);
    // Neighbouring columns hold about as many samples: that is the first guess.
    const std::size_t end = FirstTrueNear(begin + 1, shownEnd, begin + lastRunLength,
                                          [&](std::size_t j) { return columnOf(j) != column; });

    // A lone sample has no line inside its column, except sample 0 with its
    // zero-length line.
    const bool hasRun = end - begin > 1 || begin == 0;
    ColumnRun run{column, 0, 0};
    if (hasRun) {
      const SampleExtent extent = RangeExtent(pyramid, samples, begin, end);
      VerticalRun rows;
      if (extent.HoldsNumbers()) {
        rows.Include(rowOf(extent.minValue));
        rows.Include(rowOf(extent.maxValue));
        // With a zero vertical scale y stops being monotonic: finite samples
        // sit on the 0 V line and infinities (0 x inf) on row 0, so a finite
        // sample between two infinite extremes must be looked for.
        if (scale.pixelsPerVolt == 0.0 && std::isinf(extent.minValue) &&
            std::isinf(extent.maxValue)) {
          for (std::size_t j = begin; j < end; ++j) {
            if (std::isfinite(samples[j])) {
              rows.Include(rowOf(samples[j]));
              break;
            }
          }
        }
      }
      if (extent.hasNaN) rows.Include(rowOf(std::numeric_limits<double>::quiet_NaN()));
      run.top = rows.top();
      run.bottom = rows.bottom();
    }

    const PixelPoint first = pointOf(begin);
    if (havePrevious) {
      const std::int32_t low = std::min(previous.y, first.y);
      const std::int32_t high = std::max(previous.y, first.y);
      auto covers = [low, high](const ColumnRun& r) { return r.top <= low && r.bottom >= high; };
      const bool neighbours = std::abs(std::int64_t{column} - std::int64_t{previous.x}) == 1;
      if (!(neighbours && previousHasRun && hasRun && covers(previousRun) && covers(run))) {
        out.lines.push_back({previous, first});
      }
    }
    if (hasRun) out.runs.push_back(run);

    previous = pointOf(end - 1);
    havePrevious = true;
    previousHasRun = hasRun;
    previousRun = run;
    lastRunLength = end - begin;
    begin = end;
  }
  if (shownEnd < n) out.lines.push_back({previous, pointOf(shownEnd)});
}

}  // namespace tavril
