#include "processing/spectrum.h"

#include <kissfft.hh>

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
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

}  // namespace

Spectrum ComputeSpectrum(std::span<const double> samples, double rate, SpectrumWindow window,
                         std::size_t blockSize, int maxBlocks) {
  Spectrum spectrum;
  if (samples.size() < kMinBlock || !(rate > 0) ||
      !std::all_of(samples.begin(), samples.end(), [](double x) { return std::isfinite(x); })) {
    return spectrum;
  }
  std::size_t size = kMinBlock;
  while (size * 2 <= std::min(std::max(blockSize, kMinBlock), samples.size())) size *= 2;
  const int blocks =
      static_cast<int>(std::min<std::size_t>(samples.size() / size, std::max(maxBlocks, 1)));

  const std::vector<double> weights = WindowWeights(window, size);
  double gain = 0;
  for (const double w : weights) gain += w;
  const std::size_t half = size / 2;
  const kissfft<double> transform(half, false);
  std::vector<double> block(size);
  std::vector<std::complex<double>> bins(half);
  std::vector<double> power(half + 1, 0.0);
  for (int b = 0; b < blocks; ++b) {
    const double* const first = samples.data() + static_cast<std::size_t>(b) * size;
    for (std::size_t n = 0; n < size; ++n) block[n] = first[n] * weights[n];
    transform.transform_real(block.data(), bins.data());
    // bins[0] packs the DC bin and the one at half the rate.
    power[0] += std::norm(bins[0].real() / gain);
    power[half] += std::norm(bins[0].imag() / gain);
    // A sine of amplitude A gives A / 2 on each side: its RMS is sqrt(2) |X| / gain.
    for (std::size_t k = 1; k < half; ++k) power[k] += 2 * std::norm(bins[k] / gain);
  }
  spectrum.binHz = rate / static_cast<double>(size);
  spectrum.blocks = blocks;
  spectrum.dbv.resize(half + 1);
  for (std::size_t k = 0; k <= half; ++k) {
    const double mean = power[k] / blocks;
    spectrum.dbv[k] = mean > 0 ? std::max(10 * std::log10(mean), kFloorDbv) : kFloorDbv;
  }
  const std::size_t from = MainLobeBins(window) + 1;
  if (from <= half) {
    const auto highest = std::max_element(spectrum.dbv.begin() + from, spectrum.dbv.end());
    spectrum.peak = SpectrumPeak{
        static_cast<double>(highest - spectrum.dbv.begin()) * spectrum.binHz, *highest};
  }
  return spectrum;
}

}  // namespace tavril
