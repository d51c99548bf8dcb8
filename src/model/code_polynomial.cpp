#include "model/code_polynomial.h"

#include <algorithm>
#include <cmath>

namespace tavril {

// Built without fused multiply-adds (CMakeLists.txt), which would round
// differently from numpy.
double CodePolynomial::Volts(double code) const {
  if (coefficientCount == 0) return 0.0;
  const double u = code - origin;
  double volts = coefficients[coefficientCount - 1];
  for (std::size_t i = coefficientCount - 1; i-- > 0;) volts = coefficients[i] + volts * u;
  return volts;
}

CodePolynomial CodePolynomial::Of(const ReadingConversion& conversion) {
  const VoltScale& scale = conversion.scale;
  const double gainAdjust = conversion.gainAdjust;
  CodePolynomial polynomial;
  if (scale.form == VoltScale::Form::kFullScale) {
    polynomial.origin = conversion.offset;
    polynomial.coefficients = {
        0.0, scale.fullScaleVolts / scale.fullScaleReading / (scale.gainFactor * gainAdjust)};
    polynomial.coefficientCount = 2;
    return polynomial;
  }
  // The converter's code x = 2^shift (reading - origin) + centre.
  const double step = std::ldexp(1.0, scale.codeShift);
  polynomial.origin = conversion.offset - scale.zeroCode;
  if (scale.form == VoltScale::Form::kRange) {
    const double perCode = (scale.rangeMax - scale.rangeMin) / scale.maxCode;
    polynomial.coefficients = {(scale.rangeMin + scale.codeCentre * perCode) / gainAdjust,
                               step * perCode / gainAdjust};
    polynomial.coefficientCount = 2;
    return polynomial;
  }
  // x - origin of the calibration = 2^shift (reading - the origin moved).
  polynomial.origin += (scale.origin - scale.codeCentre) / step;
  const int order = std::clamp(scale.order, 0, VoltScale::kMaxCoefficients - 1);
  double power = 1.0;
  for (int i = 0; i <= order; ++i) {
    polynomial.coefficients[static_cast<std::size_t>(i)] =
        scale.coefficients[i] * power / gainAdjust;
    power *= step;
  }
  polynomial.coefficientCount = static_cast<std::size_t>(order) + 1;
  return polynomial;
}

CodeVolts::CodeVolts(const CodePolynomial& polynomial, std::int64_t lowest, std::int64_t highest)
    : polynomial_(polynomial), lowest_(lowest) {
  if (highest < lowest || highest - lowest >= (std::int64_t{1} << 20)) return;
  table_.resize(static_cast<std::size_t>(highest - lowest + 1));
  for (std::size_t i = 0; i < table_.size(); ++i)
    table_[i] = polynomial.Volts(static_cast<double>(lowest + static_cast<std::int64_t>(i)));
}

}  // namespace tavril
