#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "model/board_reading.h"
#include "model/volt_scale.h"

namespace tavril {

// How a recording turns a stored code into volts: a polynomial of the code
// less an origin, volts = sum of coefficients[i] (code - origin)^i, evaluated
// as numpy's polyval evaluates it (Horner's rule from the highest
// coefficient, with no fused multiply-add), so that a script reading the
// recording gets the very doubles the program computes.
struct CodePolynomial {
  static constexpr std::size_t kMaxCoefficients = VoltScale::kMaxCoefficients;

  double origin = 0.0;
  std::array<double, kMaxCoefficients> coefficients{};
  std::size_t coefficientCount = 0;

  // The polynomial equal to `conversion`, up to the rounding of its terms:
  // the gain, the gain adjustment, the offset and the calibration folded in.
  static CodePolynomial Of(const ReadingConversion& conversion);

  std::span<const double> Coefficients() const { return {coefficients.data(), coefficientCount}; }
  double Volts(double code) const;
};

// Volts of codes through a table over the codes a board gives, and the
// polynomial itself outside them.
class CodeVolts {
 public:
  CodeVolts() = default;
  // A table for codes [lowest, highest] when they are at most 2^20.
  CodeVolts(const CodePolynomial& polynomial, std::int64_t lowest, std::int64_t highest);

  double operator()(std::int64_t code) const {
    const auto index = static_cast<std::uint64_t>(code - lowest_);
    return index < table_.size() ? table_[index] : polynomial_.Volts(static_cast<double>(code));
  }
  const CodePolynomial& polynomial() const { return polynomial_; }

 private:
  CodePolynomial polynomial_;
  std::int64_t lowest_ = 0;
  std::vector<double> table_;
};

}  // namespace tavril
