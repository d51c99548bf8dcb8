#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

namespace tavril {

// What a run of samples holds as far as drawing it needs: its smallest and
// largest sample that is not NaN (infinities count), and whether it holds a
// NaN. A run without any non-NaN sample keeps minValue = +inf above
// maxValue = -inf. Values are the samples' exact doubles.
struct SampleExtent {
  double minValue = std::numeric_limits<double>::infinity();
  double maxValue = -std::numeric_limits<double>::infinity();
  bool hasNaN = false;

  bool HoldsNumbers() const { return minValue <= maxValue; }
};

// Extents of the samples of one record over blocks of kPyramidBlockSamples at
// level 0 and over pairs of nodes of the level below at each further level
// (about an eighth of the samples' own memory), so that the extent of any
// range costs O(log n) plus at most two partial blocks.
inline constexpr std::size_t kPyramidBlockSamples = 32;

struct PyramidNode {
  double minValue;
  double maxValue;
};

struct SamplePyramid {
  std::size_t sampleCount = 0;
  // levels[0][i] covers samples [32 i, 32 i + 32); levels[k + 1][i] covers
  // levels[k][2 i] and [2 i + 1]. A trailing partial block has no node.
  std::vector<std::vector<PyramidNode>> levels;
  std::vector<std::vector<std::uint8_t>> nanFlags;  // 1 when the node covers a NaN
};

// Rebuilds `pyramid` from `samples` (reusing its memory where it can).
void BuildSamplePyramid(SamplePyramid& pyramid, std::span<const double> samples);

// Extent of samples[first, end) read one by one.
SampleExtent ScanExtent(std::span<const double> samples);

// Extent of samples[first, end), with `pyramid` built from exactly these
// samples. Gives the same result as ScanExtent of that range; a pyramid built
// from another sample count is ignored and the range scanned.
SampleExtent RangeExtent(const SamplePyramid& pyramid, std::span<const double> samples,
                         std::size_t first, std::size_t end);

}  // namespace tavril
