#include "display/sample_pyramid.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tavril {

namespace {

// Written so that a NaN sample never wins: each comparison is false for NaN
// and keeps the running value.
inline double MinIgnoringNaN(double running, double value) {
  return value < running ? value : running;
}
inline double MaxIgnoringNaN(double running, double value) {
  return value > running ? value : running;
}

void Merge(SampleExtent& into, const PyramidNode& node, std::uint8_t nan) {
  into.minValue = std::min(into.minValue, node.minValue);
  into.maxValue = std::max(into.maxValue, node.maxValue);
  into.hasNaN = into.hasNaN || nan != 0;
}

void Merge(SampleExtent& into, const SampleExtent& other) {
  into.minValue = std::min(into.minValue, other.minValue);
  into.maxValue = std::max(into.maxValue, other.maxValue);
  into.hasNaN = into.hasNaN || other.hasNaN;
}

// The extent of `count` samples from `samples`. Two independent pairs of
// SSE2 lanes keep the comparisons from waiting on each other; MINPD and MAXPD
// return their second operand when the first is NaN, which is exactly "a NaN
// never wins".
SampleExtent ExtentOf(const double* samples, std::size_t count) {
  SampleExtent extent;
  std::size_t i = 0;
#if defined(__SSE2__)
  __m128d lo0 = _mm_set1_pd(extent.minValue);
  __m128d lo1 = lo0;
  __m128d hi0 = _mm_set1_pd(extent.maxValue);
  __m128d hi1 = hi0;
  __m128d nan0 = _mm_setzero_pd();
  __m128d nan1 = nan0;
  for (; i + 4 <= count; i += 4) {
    const __m128d a = _mm_loadu_pd(samples + i);
    const __m128d b = _mm_loadu_pd(samples + i + 2);
    lo0 = _mm_min_pd(a, lo0);
    lo1 = _mm_min_pd(b, lo1);
    hi0 = _mm_max_pd(a, hi0);
    hi1 = _mm_max_pd(b, hi1);
    nan0 = _mm_or_pd(nan0, _mm_cmpunord_pd(a, a));
    nan1 = _mm_or_pd(nan1, _mm_cmpunord_pd(b, b));
  }
  const __m128d lo = _mm_min_pd(lo0, lo1);
  const __m128d hi = _mm_max_pd(hi0, hi1);
  extent.minValue = std::min(_mm_cvtsd_f64(lo), _mm_cvtsd_f64(_mm_unpackhi_pd(lo, lo)));
  extent.maxValue = std::max(_mm_cvtsd_f64(hi), _mm_cvtsd_f64(_mm_unpackhi_pd(hi, hi)));
  extent.hasNaN = _mm_movemask_pd(_mm_or_pd(nan0, nan1)) != 0;
#endif
  for (; i < count; ++i) {
    const double value = samples[i];
    extent.minValue = MinIgnoringNaN(extent.minValue, value);
    extent.maxValue = MaxIgnoringNaN(extent.maxValue, value);
    extent.hasNaN = extent.hasNaN || value != value;
  }
  return extent;
}

}  // namespace

void BuildSamplePyramid(SamplePyramid& pyramid, std::span<const double> samples) {
  pyramid.sampleCount = samples.size();
  std::size_t nodes = samples.size() / kPyramidBlockSamples;
  std::size_t levelCount = 0;
  for (std::size_t n = nodes; n > 0; n /= 2) ++levelCount;
  pyramid.levels.resize(levelCount);
  pyramid.nanFlags.resize(levelCount);
  if (levelCount == 0) return;

  std::vector<PyramidNode>& base = pyramid.levels[0];
  std::vector<std::uint8_t>& baseNaN = pyramid.nanFlags[0];
  base.resize(nodes);
  baseNaN.resize(nodes);
  for (std::size_t i = 0; i < nodes; ++i) {
    const SampleExtent block =
        ExtentOf(samples.data() + i * kPyramidBlockSamples, kPyramidBlockSamples);
    base[i] = PyramidNode{block.minValue, block.maxValue};
    baseNaN[i] = block.hasNaN ? 1 : 0;
  }
  for (std::size_t level = 1; level < levelCount; ++level) {
    const std::vector<PyramidNode>& below = pyramid.levels[level - 1];
    const std::vector<std::uint8_t>& belowNaN = pyramid.nanFlags[level - 1];
    std::vector<PyramidNode>& here = pyramid.levels[level];
    std::vector<std::uint8_t>& hereNaN = pyramid.nanFlags[level];
    nodes = below.size() / 2;
    here.resize(nodes);
    hereNaN.resize(nodes);
    for (std::size_t i = 0; i < nodes; ++i) {
      here[i].minValue = std::min(below[2 * i].minValue, below[2 * i + 1].minValue);
      here[i].maxValue = std::max(below[2 * i].maxValue, below[2 * i + 1].maxValue);
      hereNaN[i] = belowNaN[2 * i] | belowNaN[2 * i + 1];
    }
  }
}

SampleExtent ScanExtent(std::span<const double> samples) {
  return ExtentOf(samples.data(), samples.size());
}

SampleExtent RangeExtent(const SamplePyramid& pyramid, std::span<const double> samples,
                         std::size_t first, std::size_t end) {
  end = std::min(end, samples.size());
  if (first >= end) return SampleExtent{};
  if (pyramid.sampleCount != samples.size()) return ScanExtent(samples.subspan(first, end - first));

  // Whole blocks go through the pyramid, the partial ones at both ends are read.
  std::size_t lo = (first + kPyramidBlockSamples - 1) / kPyramidBlockSamples;
  std::size_t hi = end / kPyramidBlockSamples;
  if (lo >= hi) return ScanExtent(samples.subspan(first, end - first));

  SampleExtent extent = ScanExtent(samples.subspan(first, lo * kPyramidBlockSamples - first));
  Merge(extent,
        ScanExtent(samples.subspan(hi * kPyramidBlockSamples, end - hi * kPyramidBlockSamples)));
  for (std::size_t level = 0; lo < hi; ++level) {
    const std::vector<PyramidNode>& nodes = pyramid.levels[level];
    const std::vector<std::uint8_t>& nan = pyramid.nanFlags[level];
    if (lo % 2 != 0) {
      Merge(extent, nodes[lo], nan[lo]);
      ++lo;
    }
    if (hi % 2 != 0) {
      --hi;
      Merge(extent, nodes[hi], nan[hi]);
    }
    lo /= 2;
    hi /= 2;
  }
  return extent;
}

}  // namespace tavril
