#include "display/recording_curve.h"

#include <algorithm>
#include <cmath>

namespace tavril {

namespace {

std::int32_t ColumnOf(const GraphScale& scale, std::uint64_t sample) {
  return SampleToPixel(scale, static_cast<double>(sample), 0.0).x;
}

}  // namespace

std::uint64_t FirstSampleOfColumn(const GraphScale& scale, std::uint64_t count, std::int32_t x) {
  if (count == 0) return 0;
  const auto atOrRight = [&](std::uint64_t j) { return ColumnOf(scale, j) >= x; };
  // The column of a sample is (j - scroll) x pixelsPerSample, truncated: the
  // answer is near x / pixelsPerSample + scroll, a bracket around it is
  // searched, and the whole range when the guess misses.
  std::uint64_t lo = 0;
  std::uint64_t hi = count;
  const double guess =
      static_cast<double>(x) / scale.pixelsPerSample + static_cast<double>(scale.scrollOffset);
  const double width = 2.0 / scale.pixelsPerSample + 2.0;
  if (std::isfinite(guess) && std::isfinite(width)) {
    const double from = std::clamp(guess - width, 0.0, static_cast<double>(count));
    const double to = std::clamp(guess + width, 0.0, static_cast<double>(count));
    const auto tryLo = static_cast<std::uint64_t>(from);
    const auto tryHi = static_cast<std::uint64_t>(to);
    if ((tryLo == 0 || !atOrRight(tryLo - 1)) && (tryHi == count || atOrRight(tryHi))) {
      lo = tryLo;
      hi = tryHi;
    }
  }
  while (lo < hi) {
    const std::uint64_t mid = lo + (hi - lo) / 2;
    if (atOrRight(mid)) {
      hi = mid;
    } else {
      lo = mid + 1;
    }
  }
  return lo;
}

bool RecordingCurve::Compute(const GraphScale& scale, std::int32_t firstColumn,
                             std::int32_t lastColumn, CurveStrokes& out) {
  out.clear();
  const std::uint64_t count = reader_.Channels()[channel_].sampleCount;
  if (count == 0 || lastColumn < firstColumn || !(scale.pixelsPerSample > 0.0)) return true;
  bounds_.clear();
  for (std::int64_t x = firstColumn; x <= std::int64_t{lastColumn} + 1; ++x) {
    bounds_.push_back(FirstSampleOfColumn(scale, count, static_cast<std::int32_t>(x)));
  }
  const std::uint64_t first = bounds_.front();
  const std::uint64_t end = bounds_.back();
  if (end - first <= kMostSamplesDrawnOneByOne)
    return FromSamples(scale, first, end, firstColumn, lastColumn, out);
  return FromExtents(scale, firstColumn, out);
}

bool RecordingCurve::FromSamples(const GraphScale& scale, std::uint64_t first, std::uint64_t end,
                                 std::int32_t firstColumn, std::int32_t lastColumn,
                                 CurveStrokes& out) {
  const std::uint64_t count = reader_.Channels()[channel_].sampleCount;
  // One sample more on each side, for the lines that come in and go out.
  const std::uint64_t from = first > 0 ? first - 1 : 0;
  const std::uint64_t to = std::min(count, end + 1);
  samples_.resize(static_cast<std::size_t>(to - from));
  if (!reader_.ReadVolts(channel_, from, samples_, &failure_)) return false;
  BuildSamplePyramid(pyramid_, samples_);
  // The same columns with the samples counted from `from`: the differences
  // between indexes stay exact in doubles, and so does every column.
  GraphScale shifted = scale;
  shifted.scrollOffset = scale.scrollOffset - static_cast<std::int64_t>(from);
  ComputeCurveStrokes(shifted, samples_, pyramid_, firstColumn, lastColumn, out);
  return true;
}

bool RecordingCurve::FromExtents(const GraphScale& scale, std::int32_t firstColumn,
                                 CurveStrokes& out) {
  extents_.resize(bounds_.size() - 1);
  if (!envelope_.Extents(bounds_, extents_)) {
    failure_ = envelope_.LastFailure();
    return false;
  }
  const auto rowOf = [&](double volts) { return SampleToPixel(scale, 0.0, volts).y; };
  bool havePrevious = false;
  ColumnRun previous;
  for (std::size_t i = 0; i < extents_.size(); ++i) {
    if (!extents_[i].HoldsSamples()) {
      havePrevious = false;
      continue;
    }
    const std::int32_t a = rowOf(extents_[i].minimum);
    const std::int32_t b = rowOf(extents_[i].maximum);
    const ColumnRun run{static_cast<std::int32_t>(firstColumn + static_cast<std::int64_t>(i)),
                        std::min(a, b), std::max(a, b)};
    out.runs.push_back(run);
    if (havePrevious) {
      if (std::int64_t{previous.bottom} + 1 < run.top) {
        out.lines.push_back({{previous.x, previous.bottom}, {run.x, run.top}});
      } else if (std::int64_t{run.bottom} + 1 < previous.top) {
        out.lines.push_back({{previous.x, previous.top}, {run.x, run.bottom}});
      }
    }
    previous = run;
    havePrevious = true;
  }
  return true;
}

}  // namespace tavril
