#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>
#include <vector>

#include "acquisition/board.h"
#include "acquisition/frequency_sweep_plan.h"

namespace tavril {

// The response measured at one frequency: each input's sine fitted at that
// frequency over whole periods, at the instants each was converted (so the
// delay between the two inputs' conversions within a scan is accounted for).
struct FrequencyPoint {
  double hz = 0.0;
  double gainDb = 0.0;         // 20 log10(|response| / |stimulus|)
  double phaseDegrees = 0.0;   // arg(response / stimulus), in (-180, 180]
  double stimulusVolts = 0.0;  // peak amplitudes fitted
  double responseVolts = 0.0;
  std::int16_t responseGain = 1;  // the gain code the response was read at
  bool clipped = false;           // an input stayed at the end of its range
};

enum class SweepEnd { kFinished, kCancelled, kRefused, kFailed };

struct SweepResult {
  SweepEnd end = SweepEnd::kFinished;
  std::vector<FrequencyPoint> points;  // those measured, in order
  std::string message;                 // why refused or failed, in French
};

// Told of each point once measured, on the sweep's thread: the point, how many
// are done and how many there are in all.
using SweepProgress =
    std::function<void(const FrequencyPoint& point, std::size_t done, std::size_t count)>;

// Runs the sweep on `board` from the calling thread, which makes both the
// output and the input calls. At each frequency the outputs play the sine as a
// regenerated run started with the input, both inputs are read at a gain whose
// range holds the amplitude, then, while the response uses little of its
// range (or clips), it is read again alone at the gain that suits it
// (autoranging). A stop asked through `stop`, from any thread, ends the sweep
// within a twentieth of a second. The outputs are at 0 V after every point and
// whenever the sweep ends, refused, failed or stopped.
SweepResult RunFrequencySweep(Board& board, const SweepSettings& settings,
                              std::stop_token stop = {}, const SweepProgress& progress = {});

}  // namespace tavril
