#pragma once

#include <vector>

namespace tavril {

// One range an analog output can drive, in volts.
struct OutputRange {
  double lowVolts = 0;
  double highVolts = 0;
};

// What one analog output of a board can do.
struct OutputDescription {
  int channel = 0;
  int resolutionBits = 0;
  std::vector<OutputRange> ranges;
  double maxUpdateRate = 0;  // updates per second
};

enum class OutputMode {
  kFinite,       // every value given, once
  kRegenerated,  // one period given, repeated until stopped
  kStreamed      // values supplied as the run goes, by WriteOutput
};

// One output run: `channels` updated together at `updateRate`. `volts` holds
// one update after another, each with one value per channel in the order of
// `channels` (finite: all of them; regenerated: one period; streamed: the
// first ones, possibly none, the rest coming by WriteOutput).
struct OutputRequest {
  std::vector<int> channels;
  double updateRate = 0;  // updates per second
  OutputMode mode = OutputMode::kFinite;
  std::vector<double> volts;
  // Starts with the next input Start() on the same clock, so that update k
  // and scan j of the acquisition share their time 0; otherwise at once.
  bool startWithInput = false;
};

}  // namespace tavril
