#include "model/code_polynomial.h"

#include <gtest/gtest.h>

#include <cmath>

namespace tavril {
namespace {

// Each form of a board's scale, folded into one polynomial of the reading,
// gives its volts to within the rounding of a few terms.
TEST(CodePolynomial, GivesTheVoltsOfEachFormOfScale) {
  ReadingConversion fullScale;
  fullScale.scale.fullScaleReading = 2048;
  fullScale.scale.fullScaleVolts = 10;
  fullScale.scale.gainFactor = 10;
  fullScale.gainAdjust = 0.98;
  fullScale.offset = -2.5;

  ReadingConversion range;
  range.scale.form = VoltScale::Form::kRange;
  range.scale.zeroCode = 32768;
  range.scale.codeShift = 2;
  range.scale.codeCentre = 1.5;
  range.scale.rangeMin = -5;
  range.scale.rangeMax = 5;
  range.scale.maxCode = 262143;
  range.gainAdjust = 1.02;
  range.offset = 7;

  ReadingConversion calibrated = range;
  calibrated.scale.form = VoltScale::Form::kPolynomial;
  calibrated.scale.order = 3;
  calibrated.scale.origin = 131071.5;
  const double coefficients[] = {0.01, 3.8e-5, 2e-14, -1e-19};
  std::copy(coefficients, coefficients + 4, calibrated.scale.coefficients);

  for (const ReadingConversion& conversion : {fullScale, range, calibrated}) {
    const CodePolynomial polynomial = CodePolynomial::Of(conversion);
    for (const BoardReading reading : {-32768, -2048, -1, 0, 1, 777, 2047, 32767}) {
      const double expected = conversion.Volts(reading);
      EXPECT_NEAR(polynomial.Volts(reading), expected, 1e-13 * (1 + std::abs(expected)))
          << static_cast<int>(conversion.scale.form) << " " << reading;
    }
  }
  const CodeVolts table(CodePolynomial::Of(calibrated), -4, 4);
  EXPECT_EQ(table(3), CodePolynomial::Of(calibrated).Volts(3));
  EXPECT_EQ(table(99), CodePolynomial::Of(calibrated).Volts(99));
}

}  // namespace
}  // namespace tavril
