#include "display/graph_scale.h"

#include <cmath>
#include <cstddef>
#include <limits>

namespace tavril {

namespace {

// A fitted factor is used only when it can actually scale: positive and finite.
bool IsUsableFactor(double value) {
  return std::isfinite(value) && value > 0.0;
}

}  // namespace

std::int32_t TruncateToInt32(double value) {
  constexpr double kMax = static_cast<double>(std::numeric_limits<std::int32_t>::max());
  constexpr double kMin = static_cast<double>(std::numeric_limits<std::int32_t>::min());
  if (std::isnan(value)) return 0;
  if (value >= kMax) return std::numeric_limits<std::int32_t>::max();
  if (value <= kMin) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(value);
}

std::int64_t TruncateToInt64(double value) {
  // 2^63 itself is the first double past the range.
  constexpr double kLimit = 9223372036854775808.0;
  if (std::isnan(value)) return 0;
  if (value >= kLimit) return std::numeric_limits<std::int64_t>::max();
  if (value <= -kLimit) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(value);
}

void ComputeAutoScale(GraphScale& scale, const ChannelRecord& master, ClientSize client) {
  if (!master.holdsSamples()) return;

  // The sample steps across the record, in 32-bit unsigned arithmetic like the
  // record's count; the vector is never larger than a count can say.
  const std::uint32_t steps = static_cast<std::uint32_t>(master.sampleCount()) - 1u;
  if (steps != 0) {
    const double pixelsPerSample = static_cast<double>(client.width) / static_cast<double>(steps);
    if (IsUsableFactor(pixelsPerSample)) scale.pixelsPerSample = pixelsPerSample;
  }

  // A 20-pixel margin above the maximum and below the minimum.
  const double pixelsPerVolt = (static_cast<double>(client.height) - 40.0) /
                               (master.statistics().maxValue - master.statistics().minValue);
  if (IsUsableFactor(pixelsPerVolt)) scale.pixelsPerVolt = pixelsPerVolt;

  // The middle of the range goes to half the height; the sum is formed in 64
  // bits so that a saturated offset cannot overflow.
  const double mid = (master.statistics().maxValue + master.statistics().minValue) / 2.0;
  const std::int64_t originY =
      static_cast<std::int64_t>(TruncateToInt32(mid * scale.pixelsPerVolt)) + client.height / 2;
  scale.originY = TruncateToInt32(static_cast<double>(originY));
  scale.scrollOffset = 0;
}

void ComputeRollScale(GraphScale& scale, const ChannelRecord& master, ClientSize client,
                      std::uint32_t window) {
  ComputeAutoScale(scale, master, client);
  const std::size_t held = master.sampleCount();
  if (held == 0 || held >= window) return;
  const double pixelsPerSample =
      static_cast<double>(client.width) / static_cast<double>(window - 1u);
  if (IsUsableFactor(pixelsPerSample)) scale.pixelsPerSample = pixelsPerSample;
  scale.scrollOffset = -TruncateToInt32(static_cast<double>(window - held));
}

PixelPoint SampleToPixel(const GraphScale& scale, double sampleIndex, double volts) {
  PixelPoint point;
  point.x = TruncateToInt32(
      (sampleIndex * scale.sampleStretch - static_cast<double>(scale.scrollOffset)) *
      scale.pixelsPerSample);
  point.y = TruncateToInt32(volts * -1.0 * scale.pixelsPerVolt + scale.originY);
  return point;
}

GraphScale ScaleAtOwnRate(const GraphScale& scale, double masterRate, double recordRate) {
  GraphScale own = scale;
  if (IsUsableFactor(masterRate) && IsUsableFactor(recordRate) && masterRate != recordRate) {
    const double stretch = masterRate / recordRate;
    if (IsUsableFactor(stretch)) own.sampleStretch = stretch;
  }
  return own;
}

std::int32_t PixelToSample(const GraphScale& scale, std::int32_t x) {
  // A zero scale divides to an infinity (saturated) or, at x = 0, to NaN (0).
  return TruncateToInt32(x / scale.pixelsPerSample + static_cast<double>(scale.scrollOffset));
}

std::int64_t PixelToSample64(const GraphScale& scale, std::int32_t x) {
  return TruncateToInt64(x / scale.pixelsPerSample + static_cast<double>(scale.scrollOffset));
}

}  // namespace tavril
