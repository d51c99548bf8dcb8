#include "processing/spectrum_window.h"

#include <cmath>
#include <complex>
#include <numbers>

namespace tavril {

std::span<const double> CosineSumTerms(SpectrumWindow window) {
  static constexpr double kRectangular[] = {1.0};
  static constexpr double kHann[] = {0.5, 0.5};
  // The flat top of MATLAB's flattopwin.
  static constexpr double kFlatTop[] = {0.21557895, 0.41663158, 0.277263158, 0.083578947,
                                        0.006947368};
  switch (window) {
    case SpectrumWindow::kRectangular:
      return kRectangular;
    case SpectrumWindow::kHann:
      return kHann;
    case SpectrumWindow::kFlatTop:
      return kFlatTop;
  }
  return kRectangular;
}

std::vector<double> WindowWeights(SpectrumWindow window, std::size_t length) {
  const std::span<const double> terms = CosineSumTerms(window);
  std::vector<double> weights(length);
  for (std::size_t n = 0; n < length; ++n) {
    const double angle =
        2 * std::numbers::pi * static_cast<double>(n) / static_cast<double>(length);
    double w = 0;
    for (std::size_t j = 0; j < terms.size(); ++j)
      w += (j % 2 == 0 ? 1 : -1) * terms[j] * std::cos(static_cast<double>(j) * angle);
    weights[n] = w;
  }
  return weights;
}

std::size_t MainLobeBins(SpectrumWindow window) {
  switch (window) {
    case SpectrumWindow::kRectangular:
      return 1;
    case SpectrumWindow::kHann:
      return 2;
    case SpectrumWindow::kFlatTop:
      return 5;
  }
  return 1;
}

namespace {

// The sum of exp(-2 pi i nu n) for n from 0 to length - 1.
std::complex<double> GeometricSum(double nu, double length) {
  const std::complex<double> turn = std::polar(1.0, -std::numbers::pi * nu * (length - 1));
  const double below = std::sin(std::numbers::pi * nu);
  // At a whole number of cycles the ratio of sines tends to the ratio of cosines.
  if (std::abs(below) < 1e-12)
    return turn *
           (length * std::cos(std::numbers::pi * nu * length) / std::cos(std::numbers::pi * nu));
  return turn * (std::sin(std::numbers::pi * nu * length) / below);
}

}  // namespace

double WindowResponse(SpectrumWindow window, std::size_t length, std::size_t transformLength,
                      double offset) {
  const std::span<const double> terms = CosineSumTerms(window);
  const double l = static_cast<double>(length);
  const double nu = offset / static_cast<double>(transformLength);
  // Each cosine is two complex exponentials, j cycles per block either way.
  std::complex<double> sum = terms[0] * GeometricSum(nu, l);
  for (std::size_t j = 1; j < terms.size(); ++j) {
    const double sign = j % 2 == 0 ? 1 : -1;
    const double shift = static_cast<double>(j) / l;
    sum += sign * terms[j] / 2 * (GeometricSum(nu - shift, l) + GeometricSum(nu + shift, l));
  }
  return std::abs(sum) / (terms[0] * l);
}

}  // namespace tavril
