#include "ui/acquisition/generator_choices.h"

#include <algorithm>

#include "text/number_text.h"

namespace tavril {

const char* ShapeName(WaveShape shape) {
  switch (shape) {
    case WaveShape::kSine:
      return "Sinus";
    case WaveShape::kSquare:
      return "Carré";
    case WaveShape::kTriangle:
      return "Triangle";
    case WaveShape::kRisingSawtooth:
      return "Dent de scie montante";
    case WaveShape::kFallingSawtooth:
      return "Dent de scie descendante";
    case WaveShape::kDc:
      return "Continu";
    case WaveShape::kUniformNoise:
      return "Bruit uniforme";
    case WaveShape::kGaussianNoise:
      return "Bruit gaussien";
    case WaveShape::kArbitrary:
      return "Forme arbitraire";
  }
  return "";
}

FieldsInUse FieldsFor(WaveShape shape, SweepChoice sweep) {
  FieldsInUse fields;
  const bool noise = shape == WaveShape::kUniformNoise || shape == WaveShape::kGaussianNoise;
  const bool periodic = !noise && shape != WaveShape::kDc;
  // An arbitrary wave keeps its record's own times and volts.
  const bool drawn = periodic && shape != WaveShape::kArbitrary;
  fields.sweep = drawn;
  fields.sweepFields = drawn && sweep != SweepChoice::kNone;
  fields.frequency = drawn && sweep == SweepChoice::kNone;
  fields.amplitude = drawn || noise;
  fields.phase = periodic;
  fields.duty = shape == WaveShape::kSquare;
  fields.source = shape == WaveShape::kArbitrary;
  return fields;
}

WaveSettings WaveFromChoices(const OutputChoices& choices, const WaveSettings& recorded) {
  WaveSettings wave;
  if (choices.shape == WaveShape::kArbitrary) wave = recorded;
  wave.shape = choices.shape;
  wave.offset = choices.offset;
  const FieldsInUse fields = FieldsFor(choices.shape, choices.sweep);
  if (fields.frequency) wave.frequency = choices.frequency;
  if (fields.amplitude) wave.amplitude = choices.amplitude;
  if (fields.phase) wave.phaseDegrees = choices.phaseDegrees;
  if (fields.duty) wave.duty = choices.dutyPercent / 100.0;
  if (fields.sweepFields) {
    const FrequencySweep::Law law = choices.sweep == SweepChoice::kLogarithmic
                                        ? FrequencySweep::Law::kLogarithmic
                                        : FrequencySweep::Law::kLinear;
    wave.sweep =
        FrequencySweep{law, choices.sweepStartHz, choices.sweepStopHz, choices.sweepSeconds};
  }
  return wave;
}

std::string OutputRefusal(const WaveSettings& wave, const OutputDescription& output,
                          double updateRate, std::string* warning) {
  if (warning != nullptr) warning->clear();
  if (!(updateRate > 0.0) || updateRate > output.maxUpdateRate) {
    return "la sortie fait au plus " + ShortestText(output.maxUpdateRate) +
           " mises à jour par seconde";
  }
  if (output.ranges.empty()) return "la sortie ne dit pas sa plage";
  // The wave may use any of the output's ranges: the board picks the one
  // that holds it.
  double low = output.ranges.front().lowVolts;
  double high = output.ranges.front().highVolts;
  for (const OutputRange& range : output.ranges) {
    low = std::min(low, range.lowVolts);
    high = std::max(high, range.highVolts);
  }
  return WaveRefusal(wave, low, high, updateRate, warning);
}

}  // namespace tavril
