#include "processing/spectrum_peak.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "processing/spectrum_window.h"

namespace tavril {
namespace {

// Bins on either side of the highest one that the fit reads, in bins of a
// transform as long as the block: inside the main lobe, where the response
// is steep enough to tell the offset and well above the leakage of other
// sines.
double FitBins(SpectrumWindow window) {
  return window == SpectrumWindow::kFlatTop ? 3 : 1;
}

// Magnitudes a[j] of bins first + j, against the window's response to a
// sine `offset` bins from bin `centre`.
class PeakFit {
 public:
  PeakFit(SpectrumWindow window, std::size_t length, std::size_t transformLength,
          std::vector<double> magnitudes, std::ptrdiff_t firstFromCentre)
      : window_(window),
        length_(length),
        transformLength_(transformLength),
        magnitudes_(std::move(magnitudes)),
        firstFromCentre_(firstFromCentre) {}

  // How much of the bins' energy a sine at `offset` explains: the larger the better.
  double Match(double offset) const {
    double cross = 0, model = 0;
    Sums(offset, cross, model);
    return model > 0 ? cross * cross / model : 0;
  }
  // The amplitude of the sine at `offset` that fits the bins best.
  double Amplitude(double offset) const {
    double cross = 0, model = 0;
    Sums(offset, cross, model);
    return model > 0 ? cross / model : 0;
  }

 private:
  void Sums(double offset, double& cross, double& model) const {
    for (std::size_t j = 0; j < magnitudes_.size(); ++j) {
      const double bin = static_cast<double>(firstFromCentre_ + static_cast<std::ptrdiff_t>(j));
      const double response = WindowResponse(window_, length_, transformLength_, bin - offset);
      cross += magnitudes_[j] * response;
      model += response * response;
    }
  }

  SpectrumWindow window_;
  std::size_t length_;
  std::size_t transformLength_;
  std::vector<double> magnitudes_;
  std::ptrdiff_t firstFromCentre_;
};

// The offset in [low, high] where `fit` matches best: the best of a grid,
// then a golden-section search around it.
double BestOffset(const PeakFit& fit, double low, double high) {
  constexpr int kSteps = 40;
  const double step = (high - low) / kSteps;
  double best = 0;
  double bestMatch = -1;
  for (int i = 0; i <= kSteps; ++i) {
    const double offset = low + step * i;
    const double match = fit.Match(offset);
    if (match > bestMatch) {
      bestMatch = match;
      best = offset;
    }
  }
  double a = std::max(low, best - step);
  double b = std::min(high, best + step);
  const double ratio = (std::sqrt(5.0) - 1) / 2;
  double c = b - ratio * (b - a);
  double d = a + ratio * (b - a);
  double matchC = fit.Match(c);
  double matchD = fit.Match(d);
  for (int i = 0; i < 60 && b - a > 1e-9; ++i) {
    if (matchC > matchD) {
      b = d;
      d = c;
      matchD = matchC;
      c = b - ratio * (b - a);
      matchC = fit.Match(c);
    } else {
      a = c;
      c = d;
      matchC = matchD;
      d = a + ratio * (b - a);
      matchD = fit.Match(d);
    }
  }
  return (a + b) / 2;
}

}  // namespace

std::optional<SpectrumPeak> ReadSpectrumPeak(std::span<const double> dbv, double binHz,
                                             SpectrumWindow window, std::size_t length,
                                             std::size_t transformLength) {
  if (length == 0 || dbv.empty()) return std::nullopt;
  // Zeros after the block narrow the bins: the lobes span more of them.
  const double binsPerBlockBin = static_cast<double>(transformLength) / static_cast<double>(length);
  const std::size_t from = static_cast<std::size_t>(std::ceil(
                               static_cast<double>(MainLobeBins(window)) * binsPerBlockBin)) +
                           1;
  if (from >= dbv.size()) return std::nullopt;
  const std::size_t centre = static_cast<std::size_t>(
      std::max_element(dbv.begin() + static_cast<std::ptrdiff_t>(from), dbv.end()) - dbv.begin());

  const std::size_t reach = static_cast<std::size_t>(std::ceil(FitBins(window) * binsPerBlockBin));
  const std::size_t first = centre >= reach ? centre - reach : 0;
  const std::size_t last = std::min(centre + reach, dbv.size() - 1);
  std::vector<double> magnitudes;
  for (std::size_t k = first; k <= last; ++k) magnitudes.push_back(std::pow(10.0, dbv[k] / 20));
  const PeakFit fit(window, length, transformLength, std::move(magnitudes),
                    static_cast<std::ptrdiff_t>(first) - static_cast<std::ptrdiff_t>(centre));

  const double highest = static_cast<double>(dbv.size() - 1);
  const double low = std::max(-1.0, -static_cast<double>(centre));
  const double high = std::min(1.0, highest - static_cast<double>(centre));
  const double offset = BestOffset(fit, low, high);
  const double amplitude = fit.Amplitude(offset);
  return SpectrumPeak{(static_cast<double>(centre) + offset) * binHz,
                      amplitude > 0 ? std::max(20 * std::log10(amplitude), kFloorDbv) : kFloorDbv};
}

}  // namespace tavril
