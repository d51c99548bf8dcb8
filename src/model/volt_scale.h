#pragma once

#include <cmath>
#include <cstdint>

#include "model/board_reading.h"

namespace tavril {

// How one channel's readings at one gain become volts, given the gain
// adjustment and the offset (in readings) of the configuration.
struct VoltScale {
  enum class Form {
    // (reading - offset) / fullScaleReading * fullScaleVolts / (gainFactor * gainAdjust)
    kFullScale,
    // The reading is turned back into the converter's code, less the offset;
    // the code's range (min + code * (max - min) / maxCode) or the
    // calibration polynomial gives volts, divided by gainAdjust.
    kRange,
    kPolynomial,
  };
  static constexpr int kMaxCoefficients = 4;

  Form form = Form::kFullScale;
  // The readings the converter can give: a table over them converts large
  // acquisitions without a division per reading.
  BoardReading lowestReading = 0;
  BoardReading highestReading = 0;

  double fullScaleReading = 1.0;
  double fullScaleVolts = 1.0;
  double gainFactor = 1.0;

  // Code = the reading plus zeroCode (half scale on bipolar ranges), then
  // shifted left by codeShift (converters wider than 31 bits), plus
  // codeCentre: a shifted reading stands for 2^codeShift raw codes, and the
  // middle of them is its best guess.
  std::int32_t zeroCode = 0;
  int codeShift = 0;
  double codeCentre = 0.0;
  double rangeMin = 0.0;
  double rangeMax = 0.0;
  double maxCode = 1.0;
  double coefficients[kMaxCoefficients] = {};
  int order = 0;
  double origin = 0.0;

  double Volts(BoardReading reading, double gainAdjust, double offset) const {
    if (form == Form::kFullScale) {
      return (reading - offset) / fullScaleReading * fullScaleVolts / (gainFactor * gainAdjust);
    }
    const double code = static_cast<double>(reading) + zeroCode;
    const double x = std::ldexp(code - offset, codeShift) + codeCentre;
    if (form == Form::kRange) return (rangeMin + x * (rangeMax - rangeMin) / maxCode) / gainAdjust;
    const double u = x - origin;
    double term = 1.0;
    double volts = 0.0;
    for (int i = 0; i <= order; ++i) {
      volts += coefficients[i] * term;
      term *= u;
    }
    return volts / gainAdjust;
  }
};

// How a run's readings become volts: every channel's with one scale, and the
// configuration's gain adjustment and offset.
struct ReadingConversion {
  VoltScale scale;
  double gainAdjust = 1.0;
  double offset = 0.0;

  double Volts(BoardReading reading) const { return scale.Volts(reading, gainAdjust, offset); }
};

}  // namespace tavril
