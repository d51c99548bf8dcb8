#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace tavril {

// The windows a block of samples is weighed by before its transform:
// rectangular (none: the sharpest peaks, amplitudes exact only on a bin),
// Hann (the usual compromise) and flat top (amplitudes within 0.01 dB
// between bins, wide peaks).
enum class SpectrumWindow { kRectangular, kHann, kFlatTop };

struct SpectrumPeak {
  double frequency = 0;  // Hz, the centre of the highest bin
  double dbv = 0;        // its amplitude, dBV (RMS)
};

// The magnitude spectrum of a record: bin k at k * binHz, from 0 to half the
// rate, in dBV (20 log10 of the RMS volts of a sine at that frequency; the
// DC bin holds the mean's magnitude). Empty (no bins, no peak) when there
// are fewer than kMinBlock samples or a sample is not finite.
struct Spectrum {
  double binHz = 0;
  std::vector<double> dbv;
  int blocks = 0;  // the blocks averaged
  std::optional<SpectrumPeak> peak;
};

inline constexpr std::size_t kMinBlock = 16;
// Bins are never below this, so that an empty bin is a number to draw.
inline constexpr double kFloorDbv = -300.0;

// The spectrum of `samples` at `rate`, in blocks of `blockSize` samples (a
// power of two; the largest power of two the record holds when it holds
// fewer), averaging the powers of at most `maxBlocks` consecutive blocks
// from the start. The peak is the highest bin above the window's main lobe
// around 0 Hz, so that a DC offset is not taken for it.
Spectrum ComputeSpectrum(std::span<const double> samples, double rate, SpectrumWindow window,
                         std::size_t blockSize, int maxBlocks);

// ComputeSpectrum for whoever computes spectra again and again (a window that
// follows its records): the transform's plan, the window's weights and the
// work buffers stay from one call to the next and are made again only when
// the block size or the window changes, so that a call touches no fresh
// memory.
class SpectrumCalculator {
 public:
  SpectrumCalculator();
  ~SpectrumCalculator();
  SpectrumCalculator(const SpectrumCalculator&) = delete;
  SpectrumCalculator& operator=(const SpectrumCalculator&) = delete;

  // As ComputeSpectrum, into `result`, whose bins keep their memory.
  void Compute(std::span<const double> samples, double rate, SpectrumWindow window,
               std::size_t blockSize, int maxBlocks, Spectrum& result);

 private:
  struct Plan;
  std::unique_ptr<Plan> plan_;
};

}  // namespace tavril
