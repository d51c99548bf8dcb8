#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>

#include "processing/wave_levels.h"
#include "processing/wave_measurements.h"

namespace tavril {

// Reads samples [first, first + out.size()) of a channel into `out`; false
// when the read failed.
using SampleRangeReader = std::function<bool(std::uint64_t first, std::span<double> out)>;

inline constexpr std::size_t kStreamedBlockSamples = std::size_t{1} << 20;

// Measures the `count` samples of a channel that can only be read by range,
// as MeasureWave measures samples in memory, and with the same results to
// the bit given the same level statistics. The samples are read forward a
// block of `blockSamples` at a time into one buffer; an edge that began
// before the current block is looked back at by reading earlier samples
// again, a block at a time, into a second buffer: memory stays within two
// blocks whatever the count. With `levels` empty, a first pass over the
// samples gathers them (as MeasureWave does); a recording gives them from its
// overview at once. Empty when a read failed.
std::optional<WaveMeasurements> MeasureWaveStreamed(
    const SampleRangeReader& read, std::uint64_t count, double rate, const WaveLevels* levels,
    std::size_t blockSamples = kStreamedBlockSamples);

}  // namespace tavril
