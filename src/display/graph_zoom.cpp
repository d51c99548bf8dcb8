#include "display/graph_zoom.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "display/shown_recording.h"

namespace tavril {

namespace {

// Finer than a 2^32-sample record across one pixel, coarser than one sample
// across a thousand screens: beyond both a zoom is no longer useful.
constexpr double kLeastPixelsPerSample = 1e-10;
constexpr double kMostPixelsPerSample = 1e6;
constexpr double kLeastPixelsPerVolt = 1e-9;
constexpr double kMostPixelsPerVolt = 1e15;
constexpr std::size_t kHistoryDepth = 64;

// Where a cursor points, as a sample, before the scale changes.
struct CursorSamples {
  std::int64_t first = 0;
  std::int64_t second = 0;
};

// Records count samples in 32 bits, recordings in 64.
std::int64_t SampleAt(const ViewState& view, const GraphScale& scale, std::int32_t x) {
  return view.recording ? PixelToSample64(scale, x) : PixelToSample(scale, x);
}

CursorSamples ReadCursors(const ViewState& view) {
  return CursorSamples{SampleAt(view, view.scale, view.cursors.cursor1X),
                       SampleAt(view, view.scale, view.cursors.cursor2X)};
}

// The leftmost pixel that designates `sample` under the view's scale (the
// nearest one when the scale shows several samples per pixel).
std::int32_t PixelOfSample(const ViewState& view, std::int64_t sample) {
  const GraphScale& scale = view.scale;
  const double exact =
      std::ceil((static_cast<double>(sample) - static_cast<double>(scale.scrollOffset)) *
                scale.pixelsPerSample);
  std::int32_t x = TruncateToInt32(exact);
  // Rounding in the product may leave the pixel one short of the sample.
  if (SampleAt(view, scale, x) < sample && x < std::numeric_limits<std::int32_t>::max()) ++x;
  if (x > std::numeric_limits<std::int32_t>::min() && SampleAt(view, scale, x - 1) == sample) --x;
  return x;
}

void PlaceCursors(ViewState& view, const CursorSamples& samples) {
  if (!view.cursors.cursorsShown) return;
  view.cursors.cursor1X = PixelOfSample(view, samples.first);
  view.cursors.cursor2X = PixelOfSample(view, samples.second);
  // Two cursors on one pixel would hide the band between them.
  if (view.cursors.cursor2X <= view.cursors.cursor1X && samples.second > samples.first &&
      view.cursors.cursor1X < std::numeric_limits<std::int32_t>::max()) {
    view.cursors.cursor2X = view.cursors.cursor1X + 1;
  }
}

void Remember(ViewState& view) {
  if (view.zoomHistory.size() == kHistoryDepth) view.zoomHistory.erase(view.zoomHistory.begin());
  view.zoomHistory.push_back(view.scale);
}

std::int64_t ScrollFor(const ViewState& view, double firstSample) {
  const double rounded = std::round(firstSample);
  return std::max<std::int64_t>(
      0, view.recording ? TruncateToInt64(rounded) : TruncateToInt32(rounded));
}

bool UsableFactor(double factor) {
  return std::isfinite(factor) && factor > 0.0;
}

}  // namespace

void ZoomTime(ViewState& view, double factor, std::int32_t pointerX) {
  if (!UsableFactor(factor)) return;
  const CursorSamples cursors = ReadCursors(view);
  Remember(view);
  GraphScale& scale = view.scale;
  const double pointed = static_cast<double>(scale.scrollOffset) + pointerX / scale.pixelsPerSample;
  scale.pixelsPerSample =
      std::clamp(scale.pixelsPerSample * factor, kLeastPixelsPerSample, kMostPixelsPerSample);
  scale.scrollOffset = ScrollFor(view, pointed - pointerX / scale.pixelsPerSample);
  scale.autoScale = false;
  PlaceCursors(view, cursors);
}

void ZoomVolts(ViewState& view, double factor, std::int32_t pointerY) {
  if (!UsableFactor(factor)) return;
  Remember(view);
  GraphScale& scale = view.scale;
  const double pointed = (scale.originY - static_cast<double>(pointerY)) / scale.pixelsPerVolt;
  scale.pixelsPerVolt =
      std::clamp(scale.pixelsPerVolt * factor, kLeastPixelsPerVolt, kMostPixelsPerVolt);
  scale.originY = TruncateToInt32(std::round(pointerY + pointed * scale.pixelsPerVolt));
  scale.autoScale = false;
}

bool ZoomToBox(ViewState& view, PixelBox box, ClientSize area) {
  const std::int32_t left = std::min(box.left, box.right);
  const std::int32_t right = std::max(box.left, box.right);
  const std::int32_t top = std::min(box.top, box.bottom);
  const std::int32_t bottom = std::max(box.top, box.bottom);
  if (right - left < 2 || bottom - top < 2 || area.width <= 0 || area.height <= 0) return false;
  const CursorSamples cursors = ReadCursors(view);
  Remember(view);
  GraphScale& scale = view.scale;
  const double firstSample = static_cast<double>(scale.scrollOffset) + left / scale.pixelsPerSample;
  const double boxSamples = (right - left) / scale.pixelsPerSample;
  const double topVolts = (scale.originY - static_cast<double>(top)) / scale.pixelsPerVolt;
  const double boxVolts = (bottom - top) / scale.pixelsPerVolt;
  scale.pixelsPerSample =
      std::clamp(area.width / boxSamples, kLeastPixelsPerSample, kMostPixelsPerSample);
  scale.scrollOffset = ScrollFor(view, firstSample);
  scale.pixelsPerVolt = std::clamp(area.height / boxVolts, kLeastPixelsPerVolt, kMostPixelsPerVolt);
  scale.originY = TruncateToInt32(std::round(topVolts * scale.pixelsPerVolt));
  scale.autoScale = false;
  PlaceCursors(view, cursors);
  return true;
}

bool FitShownScale(GraphScale& scale, const ViewState& view, const Session& session,
                   ClientSize area) {
  std::uint64_t longest = 0;
  double lowest = std::numeric_limits<double>::infinity();
  double highest = -std::numeric_limits<double>::infinity();
  for (int channel = 0; channel < kChannelCount && view.recording; ++channel) {
    OverviewStatistics statistics;
    if (!view.channelShown[channel] ||
        !view.recording->WholeStatistics(channel, statistics, nullptr) ||
        !statistics.HoldsSamples())
      continue;
    longest = std::max(longest, statistics.sampleCount);
    lowest = std::min(lowest, statistics.minimum);
    highest = std::max(highest, statistics.maximum);
  }
  for (int channel = 0; channel < kChannelCount && !view.recording; ++channel) {
    const ChannelRecord& record = session.channels[channel];
    if (!view.channelShown[channel] || !record.holdsSamples()) continue;
    longest = std::max<std::uint64_t>(longest, record.sampleCount());
    // Statistics that are not finite say nothing of where to look.
    if (std::isfinite(record.statistics().minValue))
      lowest = std::min(lowest, record.statistics().minValue);
    if (std::isfinite(record.statistics().maxValue))
      highest = std::max(highest, record.statistics().maxValue);
  }
  if (longest == 0) return false;
  if (longest > 1 && area.width > 0) {
    scale.pixelsPerSample = std::clamp(area.width / static_cast<double>(longest - 1),
                                       kLeastPixelsPerSample, kMostPixelsPerSample);
  }
  scale.scrollOffset = 0;
  const double range = highest - lowest;
  if (std::isfinite(range) && range > 0.0 && area.height > 40) {
    scale.pixelsPerVolt =
        std::clamp((area.height - 40.0) / range, kLeastPixelsPerVolt, kMostPixelsPerVolt);
  }
  if (std::isfinite(range)) {
    const double middle = (highest + lowest) / 2.0;
    scale.originY = TruncateToInt32(std::round(area.height / 2.0 + middle * scale.pixelsPerVolt));
  }
  return true;
}

bool FitAllShown(ViewState& view, const Session& session, ClientSize area) {
  GraphScale fitted = view.scale;
  if (!FitShownScale(fitted, view, session, area)) return false;
  const CursorSamples cursors = ReadCursors(view);
  Remember(view);
  view.scale = fitted;
  view.scale.autoScale = false;
  PlaceCursors(view, cursors);
  return true;
}

bool ZoomBack(ViewState& view) {
  if (view.zoomHistory.empty()) return false;
  const CursorSamples cursors = ReadCursors(view);
  view.scale = view.zoomHistory.back();
  view.zoomHistory.pop_back();
  PlaceCursors(view, cursors);
  return true;
}

}  // namespace tavril
