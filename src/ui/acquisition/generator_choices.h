#pragma once

#include <string>
#include <vector>

#include "acquisition/analog_output.h"
#include "acquisition/wave_generator.h"

namespace tavril {

// The shapes in the order the "Forme" list shows them.
inline constexpr WaveShape kGeneratorShapes[] = {
    WaveShape::kSine,           WaveShape::kSquare,          WaveShape::kTriangle,
    WaveShape::kRisingSawtooth, WaveShape::kFallingSawtooth, WaveShape::kDc,
    WaveShape::kUniformNoise,   WaveShape::kGaussianNoise,   WaveShape::kArbitrary,
};
const char* ShapeName(WaveShape shape);

enum class SweepChoice { kNone, kLinear, kLogarithmic };

// What an arbitrary wave plays: a record of the session, or a file's
// channel read when it was chosen.
struct ArbitrarySource {
  int slot = -1;         // the record's slot, -1 for the file
  std::string fileName;  // UTF-8, as the list shows it
  std::vector<double> fileVolts;
  double fileRate = 0.0;
};

// One output's panel of the Générateur window, as the user left it.
struct OutputChoices {
  bool active = false;
  WaveShape shape = WaveShape::kSine;
  double frequency = 1000.0;  // Hz
  double amplitude = 1.0;     // V
  double offset = 0.0;        // V
  double phaseDegrees = 0.0;
  double dutyPercent = 50.0;
  SweepChoice sweep = SweepChoice::kNone;
  double sweepStartHz = 10.0;
  double sweepStopHz = 1000.0;
  double sweepSeconds = 1.0;
  ArbitrarySource source;
};

// What the Générateur window keeps while the program runs.
struct GeneratorChoices {
  std::vector<OutputChoices> outputs;  // by output, grown to the board's count
  double updateRate = 100000.0;
  bool withAcquisition = false;
};

// Which of a panel's fields mean something for its shape and sweep; the
// others are greyed.
struct FieldsInUse {
  bool frequency = false;
  bool amplitude = false;
  bool phase = false;
  bool duty = false;
  bool sweep = false;        // the "Balayage" list
  bool sweepFields = false;  // its start, stop and duration
  bool source = false;
};
FieldsInUse FieldsFor(WaveShape shape, SweepChoice sweep);

// The wave `choices` ask for. An arbitrary wave takes `recorded`
// (RecordWave of its source), with the panel's offset and phase.
WaveSettings WaveFromChoices(const OutputChoices& choices, const WaveSettings& recorded = {});

// Why `output` cannot play `wave` updated `updateRate` times a second, in
// French; empty when it can. `warning` as WaveRefusal's.
std::string OutputRefusal(const WaveSettings& wave, const OutputDescription& output,
                          double updateRate, std::string* warning);

}  // namespace tavril
