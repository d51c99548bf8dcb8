#include "processing/spectrum.h"

#include <kissfft.hh>

#include <algorithm>
#include <bit>
#include <cmath>
#include <complex>
#include <cstdint>
#include <numbers>
#include <optional>
#include <span>

namespace tavril {
namespace {

// Cosine-sum windows over a period of `size` samples.
std::vector<double> WindowWeights(SpectrumWindow window, std::size_t size) {
  static constexpr double kRectangular[] = {1.0};
  static constexpr double kHann[] = {0.5, 0.5};
  // The flat top of MATLAB's flattopwin.
  static constexpr double kFlatTop[] = {0.21557895, 0.41663158, 0.277263158, 0.083578947,
                                        0.006947368};
  std::span<const double> terms = kRectangular;
  if (window == SpectrumWindow::kHann) terms = kHann;
  if (window == SpectrumWindow::kFlatTop) terms = kFlatTop;
  std::vector<double> weights(size);
  for (std::size_t n = 0; n < size; ++n) {
    const double angle = 2 * std::numbers::pi * static_cast<double>(n) / static_cast<double>(size);
    double w = 0;
    for (std::size_t j = 0; j < terms.size(); ++j)
      w += (j % 2 == 0 ? 1 : -1) * terms[j] * std::cos(static_cast<double>(j) * angle);
    weights[n] = w;
  }
  return weights;
}

// Bins on either side of 0 Hz that the window's main lobe covers.
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

bool AllFinite(std::span<const double> samples) {
  // All exponent bits set: an infinity or a NaN. With no branch per sample
  // the loop vectorises.
  std::uint64_t notFinite = 0;
  for (const double x : samples)
    notFinite |= ((std::bit_cast<std::uint64_t>(x) >> 52) & 0x7FF) == 0x7FF;
  return notFinite == 0;
}

// The dBV of a mean square, never below the floor; log rather than log10,
// which costs a third more on every bin.
double Dbv(double meanSquare) {
  constexpr double kDbPerNeper = 10 / std::numbers::ln10;
  return meanSquare > 0 ? std::max(kDbPerNeper * std::log(meanSquare), kFloorDbv) : kFloorDbv;
}

}  // namespace

struct SpectrumCalculator::Plan {
  std::size_t size = 0;
  SpectrumWindow window = SpectrumWindow::kRectangular;
  std::vector<double> weights;
  double gain = 0;
  std::optional<kissfft<double>> transform;
  std::vector<double> block;
  std::vector<std::complex<double>> bins;
  std::vector<double> power;

  void Prepare(std::size_t newSize, SpectrumWindow newWindow) {
    if (newSize != size || newWindow != window || weights.empty()) {
      weights = WindowWeights(newWindow, newSize);
      gain = 0;
      for (const double w : weights) gain += w;
    }
    if (newSize != size) {
      transform.emplace(newSize / 2, false);
      block.resize(newSize);
      bins.resize(newSize / 2);
      power.resize(newSize / 2 + 1);
    }
    size = newSize;
    window = newWindow;
  }
};

SpectrumCalculator::SpectrumCalculator() : plan_(std::make_unique<Plan>()) {}
SpectrumCalculator::~SpectrumCalculator() = default;

void SpectrumCalculator::Compute(std::span<const double> samples, double rate,
                                 SpectrumWindow window, std::size_t blockSize, int maxBlocks,
                                 Spectrum& spectrum) {
  spectrum.binHz = 0;
  spectrum.dbv.clear();
  spectrum.blocks = 0;
  spectrum.peak.reset();
  if (samples.size() < kMinBlock || !(rate > 0) || !AllFinite(samples)) return;
  std::size_t size = kMinBlock;
  while (size * 2 <= std::min(std::max(blockSize, kMinBlock), samples.size())) size *= 2;
  const int blocks =
      static_cast<int>(std::min<std::size_t>(samples.size() / size, std::max(maxBlocks, 1)));

  Plan& plan = *plan_;
  plan.Prepare(size, window);
  const std::size_t half = size / 2;
  const double* const weights = plan.weights.data();
  double* const block = plan.block.data();
  const std::complex<double>* const bins = plan.bins.data();
  double* const power = plan.power.data();
  spectrum.binHz = rate / static_cast<double>(size);
  spectrum.blocks = blocks;
  spectrum.dbv.resize(half + 1);
  double* const dbv = spectrum.dbv.data();
  const double toMean = 1 / (plan.gain * plan.gain * blocks);
  // The blocks before the last add their powers up in `power`; the last one
  // writes the bins' dBV straight away, saving a pass over every bin.
  for (int b = 0; b < blocks; ++b) {
    const double* const first = samples.data() + static_cast<std::size_t>(b) * size;
    for (std::size_t n = 0; n < size; ++n) block[n] = first[n] * weights[n];
    plan.transform->transform_real(block, plan.bins.data());
    // bins[0] packs the DC bin and the one at half the rate. A sine of
    // amplitude A gives A / 2 on each side: its RMS is sqrt(2) |X| / gain.
    const auto binPower = [bins, half](std::size_t k) {
      if (k == 0) return bins[0].real() * bins[0].real();
      if (k == half) return bins[0].imag() * bins[0].imag();
      return 2 * std::norm(bins[k]);
    };
    const bool firstBlock = b == 0;
    if (b + 1 < blocks) {
      power[0] = (firstBlock ? 0 : power[0]) + binPower(0);
      power[half] = (firstBlock ? 0 : power[half]) + binPower(half);
      for (std::size_t k = 1; k < half; ++k)
        power[k] = (firstBlock ? 0 : power[k]) + 2 * std::norm(bins[k]);
    } else {
      dbv[0] = Dbv(((firstBlock ? 0 : power[0]) + binPower(0)) * toMean);
      dbv[half] = Dbv(((firstBlock ? 0 : power[half]) + binPower(half)) * toMean);
      for (std::size_t k = 1; k < half; ++k)
        dbv[k] = Dbv(((firstBlock ? 0 : power[k]) + 2 * std::norm(bins[k])) * toMean);
    }
  }
  const std::size_t from = MainLobeBins(window) + 1;
  if (from <= half) {
    const auto highest = std::max_element(spectrum.dbv.begin() + from, spectrum.dbv.end());
    spectrum.peak = SpectrumPeak{
        static_cast<double>(highest - spectrum.dbv.begin()) * spectrum.binHz, *highest};
  }
}

Spectrum ComputeSpectrum(std::span<const double> samples, double rate, SpectrumWindow window,
                         std::size_t blockSize, int maxBlocks) {
  SpectrumCalculator calculator;
  Spectrum spectrum;
  calculator.Compute(samples, rate, window, blockSize, maxBlocks, spectrum);
  return spectrum;
}

}  // namespace tavril
