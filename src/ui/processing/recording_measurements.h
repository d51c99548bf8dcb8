#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "display/shown_recording.h"
#include "model/recording_overview.h"
#include "processing/measurement_table.h"
#include "processing/wave_levels.h"
#include "processing/wave_measurements.h"
#include "processing/wave_timing.h"

namespace tavril {

// What the tool windows measure of a recording shown in the graph, whose
// channels stay in their file and are read by range: the level statistics
// come from the overview at once, the rest from the samples a block at a time.

// Samples from index `a` to index `b` (in either order, both included) of a
// channel of `count` samples, clipped to them; none when the stretch lies
// beside them.
std::optional<SampleRange> RecordedSamplesBetween(std::int64_t a, std::int64_t b,
                                                  std::uint64_t count);

// The extent, mean and RMS values of `statistics`, the timing left empty: as
// MeasureWave, a sample that is not finite leaves everything empty.
WaveMeasurements LevelMeasurements(const OverviewStatistics& statistics);

// Told the samples of the stretch measured so far; false asks to stop.
using MeasureProgress = std::function<bool(std::uint64_t done)>;

// Measures samples `range` of the channel of `slot`: its levels from the
// overview, its timing from its samples streamed a block at a time. Empty
// when `progress` asked to stop, or when the file could not be read (with
// `why`).
std::optional<WaveMeasurements> MeasureRecordedStretch(ShownRecording& recording, int slot,
                                                       const SampleRange& range,
                                                       const MeasureProgress& progress,
                                                       std::string* why);

// The cursors' differences on the channel of `slot`, as MeasureCursorDifferences
// gives them on a record: ΔV needs both cursors on samples that can be read.
CursorDifferences RecordedCursorDifferences(ShownRecording& recording, int slot,
                                            std::int64_t index1, std::int64_t index2);

}  // namespace tavril
