#include "processing/streamed_wave_measurements.h"

#include <algorithm>
#include <vector>

#include "processing/wave_timing.h"

namespace tavril {
namespace {

// Samples read by range into one buffer for the forward scan and one, made
// when first needed, for looking back.
class ReaderSource : public WaveSampleSource {
 public:
  ReaderSource(const SampleRangeReader& read, std::uint64_t count, std::size_t blockSamples)
      : read_(read),
        count_(count),
        blockSize_(static_cast<std::size_t>(
            std::clamp<std::uint64_t>(count, 1, std::max<std::size_t>(blockSamples, 1)))),
        scan_(blockSize_) {}

  std::uint64_t size() const override { return count_; }
  std::size_t blockSize() const override { return blockSize_; }
  std::optional<std::span<const double>> Read(std::uint64_t first, std::size_t count,
                                              Purpose purpose) override {
    std::vector<double>& buffer = purpose == Purpose::kScan ? scan_ : lookBack_;
    buffer.resize(blockSize_);
    const std::span<double> out(buffer.data(), count);
    if (!read_(first, out)) return std::nullopt;
    return out;
  }

 private:
  const SampleRangeReader& read_;
  std::uint64_t count_;
  std::size_t blockSize_;
  std::vector<double> scan_;
  std::vector<double> lookBack_;
};

std::optional<WaveLevels> GatherLevels(ReaderSource& source) {
  WaveLevelSums sums(source.size());
  for (std::uint64_t first = 0; first < source.size(); first += source.blockSize()) {
    const std::size_t count = static_cast<std::size_t>(
        std::min<std::uint64_t>(source.blockSize(), source.size() - first));
    const auto samples = source.Read(first, count, WaveSampleSource::Purpose::kScan);
    if (!samples) return std::nullopt;
    sums.Add(*samples);
  }
  return sums.Levels();
}

}  // namespace

std::optional<WaveMeasurements> MeasureWaveStreamed(const SampleRangeReader& read,
                                                    std::uint64_t count, double rate,
                                                    const WaveLevels* levels,
                                                    std::size_t blockSamples) {
  ReaderSource source(read, count, blockSamples);
  if (levels) return MeasureWaveFrom(source, *levels, rate);
  const auto gathered = GatherLevels(source);
  if (!gathered) return std::nullopt;
  return MeasureWaveFrom(source, *gathered, rate);
}

}  // namespace tavril
