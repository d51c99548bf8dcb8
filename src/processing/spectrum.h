#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace tavril {

// The windows a block of samples is weighed by before its transform:
// rectangular (none: the sharpest peaks, the strongest leakage), Hann (the
// usual compromise) and flat top (wide peaks, the bins' own amplitudes
// within 0.01 dB between bins).
enum class SpectrumWindow { kRectangular, kHann, kFlatTop };

// The highest peak, read between the bins: the frequency and amplitude of
// the sine whose response through the window best matches the bins around
// the highest one.
struct SpectrumPeak {
  double frequency = 0;  // Hz
  double dbv = 0;        // its amplitude, dBV (RMS)
};

// The magnitude spectrum of a record: bin k at k * binHz, from 0 to half the
// rate, in dBV (20 log10 of the RMS volts of a sine at that frequency; the
// DC bin holds the mean's magnitude). Empty (no bins, no peak) when there
// are fewer than kMinBlock samples or a sample is not finite.
struct Spectrum {
  double binHz = 0;
  std::vector<double> dbv;
  int blocks = 0;                   // the blocks averaged
  std::size_t blockLength = 0;      // samples in each block
  std::size_t transformLength = 0;  // the block and the zeros after it
  double overlap = 0;               // share of a block that the next one also holds
  std::optional<SpectrumPeak> peak;
};

inline constexpr std::size_t kMinBlock = 16;
// Bins are never below this, so that an empty bin is a number to draw.
inline constexpr double kFloorDbv = -300.0;

// How a record of `samples` is cut into blocks of at most `blockSize`
// samples so that every sample counts. A record that fits is one block; a
// longer one is cut into blocks of blockSize spread evenly from its first
// sample to its last, overlapping by half or more when `maxBlocks` allows as
// many, less otherwise, and never fewer than it takes to hold every sample.
// A block whose length is not a product of 2, 3 and 5 (the transform's fast
// lengths) is transformed with zeros after it up to the next even one.
struct SpectrumBlocks {
  std::size_t length = 0;
  std::size_t transformLength = 0;
  int count = 0;
  std::size_t Start(int block, std::size_t samples) const;
};
SpectrumBlocks PlanSpectrumBlocks(std::size_t samples, std::size_t blockSize, int maxBlocks);

// The smallest even product of 2, 3 and 5 that is at least `n`.
std::size_t FastTransformLength(std::size_t n);

// The spectrum of `samples` at `rate`, averaging the powers of the blocks
// PlanSpectrumBlocks gives. The peak is the highest bin above the window's
// main lobe around 0 Hz, so that a DC offset is not taken for it, read
// between the bins.
Spectrum ComputeSpectrum(std::span<const double> samples, double rate, SpectrumWindow window,
                         std::size_t blockSize, int maxBlocks);

// Reads samples [first, first + out.size()) of a record into `out`; false
// when they cannot be read.
using SpectrumSampleReader = std::function<bool(std::uint64_t first, std::span<double> out)>;

// ComputeSpectrum of a record of `samples` samples read block by block
// through `read` (a file read by range): memory holds one block whatever the
// record's length, and the result is ComputeSpectrum's, bit for bit. False,
// the spectrum then empty, when a read failed.
bool ComputeSpectrumByRange(const SpectrumSampleReader& read, std::uint64_t samples, double rate,
                            SpectrumWindow window, std::size_t blockSize, int maxBlocks,
                            Spectrum& spectrum);

// ComputeSpectrum for whoever computes spectra again and again (a window that
// follows its records): the transform's plan, the window's weights and the
// work buffers stay from one call to the next and are made again only when
// the block's or the transform's length or the window changes, so that a call touches no fresh
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
  // As ComputeSpectrumByRange.
  bool ComputeByRange(const SpectrumSampleReader& read, std::uint64_t samples, double rate,
                      SpectrumWindow window, std::size_t blockSize, int maxBlocks,
                      Spectrum& result);

 private:
  struct Plan;
  // Computes the spectrum of `samples` samples from the blocks `blockAt`
  // gives (a pointer to the block starting at a sample, or null to give up,
  // leaving the spectrum empty); false when it gave up.
  template <typename BlockAt>
  bool Run(std::uint64_t samples, double rate, SpectrumWindow window, std::size_t blockSize,
           int maxBlocks, const BlockAt& blockAt, Spectrum& result);
  std::unique_ptr<Plan> plan_;
};

}  // namespace tavril
