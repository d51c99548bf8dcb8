#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "acquisition/board.h"

namespace tavril {

enum class FrequencySpacing { kLogarithmic, kLinear };

// A stepped-sine sweep: at each frequency the outputs play a sine, the
// stimulus input reads it where it enters the circuit and the response input
// where it leaves, both from the outputs' start on the same clock.
struct SweepSettings {
  std::vector<int> outputs = {1};  // each plays the same sine
  int stimulus = 6;
  int response = 7;
  double fromHz = 10.0;
  double toHz = 10000.0;
  int points = 30;  // ends included
  // Above 0: this many points per decade from fromHz, in place of `points`.
  double pointsPerDecade = 0.0;
  FrequencySpacing spacing = FrequencySpacing::kLogarithmic;
  double amplitude = 1.0;  // V, peak
  // Played before measuring, so that the circuit forgets its start.
  double settlingPeriods = 3.0;
  double minSettlingSeconds = 0.01;
  // Measured, in whole periods.
  double measuringPeriods = 4.0;
  double minMeasuringSeconds = 0.02;
  double conversionRate = 200000.0;  // conversions per second the inputs take at most
};

// The frequencies of the sweep, from fromHz to toHz.
std::vector<double> SweepFrequencies(const SweepSettings& settings);

// How one frequency is played and read. The period is a whole number of
// updates (a regenerated run); the scan interval is a whole number of updates
// plus an irrational part, so that the stimulus input reads the held output at
// every phase of its updates and measures the hold's fundamental, which the
// circuit receives: the hold then cancels in response / stimulus.
struct SweepPoint {
  double hz = 0.0;
  std::size_t periodUpdates = 0;
  double updateRate = 0.0;
  double scanRate = 0.0;
  std::uint64_t settlingScans = 0;
  std::uint64_t measuringScans = 0;
};
SweepPoint PlanSweepPoint(const SweepSettings& settings, double hz, double maxUpdateRate);

// The stimulus is read at the narrowest range above its amplitude by this much.
inline constexpr double kStimulusHeadroom = 1.05;

// One range of an input: ±volts at a gain code.
struct InputRange {
  std::int16_t gain = 1;
  double volts = 0.0;
};
// The bipolar ranges `channel` measures, widest first; none for an input the
// board lacks, or unipolar inputs.
std::vector<InputRange> InputRanges(Board& board, int channel);

// The narrowest range holding ±volts, or none.
const InputRange* NarrowestHolding(const std::vector<InputRange>& ranges, double volts);

// The fastest update rate every output of the sweep takes.
double SweepUpdateRate(Board& board, const SweepSettings& settings);

// Why the sweep cannot be made on `board`, in French; empty when it can.
std::string SweepRefusal(Board& board, const SweepSettings& settings);

}  // namespace tavril
