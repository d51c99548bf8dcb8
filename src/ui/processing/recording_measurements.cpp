#include "ui/processing/recording_measurements.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "processing/streamed_wave_measurements.h"

namespace tavril {
namespace {

// Small enough that the progress moves often, large enough that the reads
// stay few.
constexpr std::size_t kStretchBlockSamples = std::size_t{1} << 18;

}  // namespace

std::optional<SampleRange> RecordedSamplesBetween(std::int64_t a, std::int64_t b,
                                                  std::uint64_t count) {
  const std::int64_t low = std::max<std::int64_t>(std::min(a, b), 0);
  const std::int64_t high = std::max(a, b);
  if (count == 0 || high < 0 || static_cast<std::uint64_t>(low) >= count) return std::nullopt;
  const std::uint64_t last = std::min(static_cast<std::uint64_t>(high), count - 1);
  return SampleRange{static_cast<std::size_t>(low), static_cast<std::size_t>(last)};
}

WaveMeasurements LevelMeasurements(const OverviewStatistics& statistics) {
  return LevelMeasurements(LevelsOf(statistics), static_cast<std::size_t>(statistics.sampleCount));
}

std::optional<WaveMeasurements> MeasureRecordedStretch(ShownRecording& recording, int slot,
                                                       const SampleRange& range,
                                                       const MeasureProgress& progress,
                                                       std::string* why) {
  const RecordedChannel* channel = recording.Channel(slot);
  if (channel == nullptr) return std::nullopt;
  const std::uint64_t first = range.first;
  const std::uint64_t count = std::uint64_t{range.last} - range.first + 1;
  OverviewStatistics statistics;
  if (!OverviewRange(recording.Source(slot), first, first + count, statistics)) {
    if (why != nullptr) *why = recording.reader().LastFailure();
    return std::nullopt;
  }
  const WaveLevels levels = LevelsOf(statistics);
  if (!levels.finite) return LevelMeasurements(statistics);
  std::uint64_t reached = 0;
  const SampleRangeReader read = [&](std::uint64_t at, std::span<double> out) {
    if (!recording.ReadVolts(slot, first + at, out, why)) return false;
    // Looking back reads earlier samples again: only the scan moves forward.
    reached = std::max<std::uint64_t>(reached, at + out.size());
    return !progress || progress(reached);
  };
  return MeasureWaveStreamed(read, count, channel->settings.rate, &levels, kStretchBlockSamples);
}

CursorDifferences RecordedCursorDifferences(ShownRecording& recording, int slot,
                                            std::int64_t index1, std::int64_t index2) {
  CursorDifferences differences;
  const RecordedChannel* channel = recording.Channel(slot);
  if (channel == nullptr) return differences;
  const double rate = channel->settings.rate;
  if (rate > 0 && std::isfinite(rate)) {
    differences.deltaT = static_cast<double>(index2 - index1) / rate;
    if (*differences.deltaT != 0) differences.inverse = 1 / *differences.deltaT;
  }
  double volts1 = 0;
  double volts2 = 0;
  if (index1 >= 0 && index2 >= 0 &&
      recording.ReadSample(slot, static_cast<std::uint64_t>(index1), volts1) &&
      recording.ReadSample(slot, static_cast<std::uint64_t>(index2), volts2)) {
    differences.deltaV = volts2 - volts1;
  }
  return differences;
}

}  // namespace tavril
