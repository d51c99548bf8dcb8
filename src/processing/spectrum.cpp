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

#include "processing/spectrum_peak.h"
#include "processing/spectrum_window.h"

namespace tavril {
namespace {

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

bool IsFastLength(std::size_t n) {
  for (const std::size_t factor : {2, 3, 5}) {
    while (n % factor == 0) n /= factor;
  }
  return n == 1;
}

}  // namespace

std::size_t FastTransformLength(std::size_t n) {
  std::size_t length = std::max<std::size_t>(n + n % 2, 2);
  while (!IsFastLength(length)) length += 2;
  return length;
}

std::size_t SpectrumBlocks::Start(int block, std::size_t samples) const {
  if (count <= 1 || block <= 0) return 0;
  // Spread evenly, the last block ending on the last sample.
  return static_cast<std::size_t>(block) * (samples - length) / static_cast<std::size_t>(count - 1);
}

SpectrumBlocks PlanSpectrumBlocks(std::size_t samples, std::size_t blockSize, int maxBlocks) {
  const std::size_t longest = std::max(blockSize, kMinBlock);
  if (samples <= longest) return {samples, FastTransformLength(samples), 1};
  const std::size_t beyond = samples - longest;
  const auto ceilDiv = [](std::size_t a, std::size_t b) { return (a + b - 1) / b; };
  const std::size_t byHalves = ceilDiv(beyond, longest / 2) + 1;
  const std::size_t holdingAll = ceilDiv(beyond, longest) + 1;
  const std::size_t count =
      std::min(byHalves, std::max(static_cast<std::size_t>(std::max(maxBlocks, 1)), holdingAll));
  return {longest, FastTransformLength(longest), static_cast<int>(count)};
}

struct SpectrumCalculator::Plan {
  std::size_t size = 0;
  std::size_t transformSize = 0;
  SpectrumWindow window = SpectrumWindow::kRectangular;
  std::vector<double> weights;
  double gain = 0;
  std::optional<kissfft<double>> transform;
  std::vector<double> block;
  std::vector<std::complex<double>> bins;
  std::vector<double> power;

  void Prepare(std::size_t newSize, std::size_t newTransformSize, SpectrumWindow newWindow) {
    if (newSize != size || newWindow != window || weights.empty()) {
      weights = WindowWeights(newWindow, newSize);
      gain = 0;
      for (const double w : weights) gain += w;
    }
    if (newTransformSize != transformSize) {
      transform.emplace(newTransformSize / 2, false);
      bins.resize(newTransformSize / 2);
      power.resize(newTransformSize / 2 + 1);
    }
    if (newSize != size || newTransformSize != transformSize) {
      // The zeros after the block stay: each block writes only its samples.
      block.assign(newTransformSize, 0.0);
    }
    size = newSize;
    transformSize = newTransformSize;
    window = newWindow;
  }
};

SpectrumCalculator::SpectrumCalculator() : plan_(std::make_unique<Plan>()) {}
SpectrumCalculator::~SpectrumCalculator() = default;

namespace {

void Clear(Spectrum& spectrum) {
  spectrum.binHz = 0;
  spectrum.dbv.clear();
  spectrum.blocks = 0;
  spectrum.blockLength = 0;
  spectrum.transformLength = 0;
  spectrum.overlap = 0;
  spectrum.peak.reset();
}

}  // namespace

void SpectrumCalculator::Compute(std::span<const double> samples, double rate,
                                 SpectrumWindow window, std::size_t blockSize, int maxBlocks,
                                 Spectrum& spectrum) {
  Clear(spectrum);
  if (!AllFinite(samples)) return;
  Run(
      samples.size(), rate, window, blockSize, maxBlocks,
      [&samples](std::size_t start) { return samples.data() + start; }, spectrum);
}

bool SpectrumCalculator::ComputeByRange(const SpectrumSampleReader& read, std::uint64_t samples,
                                        double rate, SpectrumWindow window, std::size_t blockSize,
                                        int maxBlocks, Spectrum& spectrum) {
  Clear(spectrum);
  // Blocks hold every sample between them, so checking each one read checks them all.
  bool failed = false;
  std::vector<double> block;
  const auto blockAt = [&](std::size_t start) -> const double* {
    block.resize(std::min<std::uint64_t>(samples, std::max(blockSize, kMinBlock)));
    if (!read(start, block)) {
      failed = true;
      return nullptr;
    }
    return AllFinite(block) ? block.data() : nullptr;
  };
  return Run(samples, rate, window, blockSize, maxBlocks, blockAt, spectrum) || !failed;
}

template <typename BlockAt>
bool SpectrumCalculator::Run(std::uint64_t sampleCount, double rate, SpectrumWindow window,
                             std::size_t blockSize, int maxBlocks, const BlockAt& blockAt,
                             Spectrum& spectrum) {
  const auto count = static_cast<std::size_t>(sampleCount);
  if (count < kMinBlock || !(rate > 0)) return true;
  const SpectrumBlocks plannedBlocks = PlanSpectrumBlocks(count, blockSize, maxBlocks);
  const std::size_t size = plannedBlocks.length;
  const std::size_t transformSize = plannedBlocks.transformLength;
  const int blocks = plannedBlocks.count;

  Plan& plan = *plan_;
  plan.Prepare(size, transformSize, window);
  const std::size_t half = transformSize / 2;
  const double* const weights = plan.weights.data();
  double* const block = plan.block.data();
  const std::complex<double>* const bins = plan.bins.data();
  double* const power = plan.power.data();
  spectrum.binHz = rate / static_cast<double>(transformSize);
  spectrum.blocks = blocks;
  spectrum.blockLength = size;
  spectrum.transformLength = transformSize;
  if (blocks > 1) {
    const double step = static_cast<double>(count - size) / static_cast<double>(blocks - 1);
    spectrum.overlap = 1 - step / static_cast<double>(size);
  }
  spectrum.dbv.resize(half + 1);
  double* const dbv = spectrum.dbv.data();
  const double toMean = 1 / (plan.gain * plan.gain * blocks);
  // The blocks before the last add their powers up in `power`; the last one
  // writes the bins' dBV straight away, saving a pass over every bin.
  for (int b = 0; b < blocks; ++b) {
    const double* const first = blockAt(plannedBlocks.Start(b, count));
    if (first == nullptr) {
      Clear(spectrum);
      return false;
    }
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
  spectrum.peak = ReadSpectrumPeak(spectrum.dbv, spectrum.binHz, window, size, transformSize);
  return true;
}

Spectrum ComputeSpectrum(std::span<const double> samples, double rate, SpectrumWindow window,
                         std::size_t blockSize, int maxBlocks) {
  SpectrumCalculator calculator;
  Spectrum spectrum;
  calculator.Compute(samples, rate, window, blockSize, maxBlocks, spectrum);
  return spectrum;
}

bool ComputeSpectrumByRange(const SpectrumSampleReader& read, std::uint64_t samples, double rate,
                            SpectrumWindow window, std::size_t blockSize, int maxBlocks,
                            Spectrum& spectrum) {
  SpectrumCalculator calculator;
  return calculator.ComputeByRange(read, samples, rate, window, blockSize, maxBlocks, spectrum);
}

}  // namespace tavril
