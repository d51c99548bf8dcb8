#include "display/sample_pyramid.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <limits>
#include <random>
#include <vector>

namespace tavril {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Samples with every kind of value the extent must tell apart.
std::vector<double> MixedSamples(std::size_t count, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> kind(0, 19);
  std::uniform_real_distribution<double> value(-5.0, 5.0);
  std::vector<double> samples(count);
  for (double& sample : samples) {
    switch (kind(random)) {
      case 0:
        sample = kNaN;
        break;
      case 1:
        sample = kInf;
        break;
      case 2:
        sample = -kInf;
        break;
      case 3:
        sample = -0.0;
        break;
      default:
        sample = value(random);
        break;
    }
  }
  return samples;
}

void ExpectSameExtent(const SampleExtent& actual, const SampleExtent& expected, std::size_t first,
                      std::size_t end) {
  EXPECT_EQ(actual.minValue, expected.minValue) << first << ".." << end;
  EXPECT_EQ(actual.maxValue, expected.maxValue) << first << ".." << end;
  EXPECT_EQ(actual.hasNaN, expected.hasNaN) << first << ".." << end;
}

TEST(SampleExtent, NaNNeverBecomesAnExtreme) {
  const std::vector<double> samples = {kNaN, 2.0, kNaN, -3.0, kNaN};
  const SampleExtent extent = ScanExtent(samples);
  EXPECT_EQ(extent.minValue, -3.0);
  EXPECT_EQ(extent.maxValue, 2.0);
  EXPECT_TRUE(extent.hasNaN);
  EXPECT_TRUE(extent.HoldsNumbers());
}

TEST(SampleExtent, OnlyNaNHoldsNoNumbers) {
  const std::vector<double> samples(70, kNaN);
  SamplePyramid pyramid;
  BuildSamplePyramid(pyramid, samples);
  const SampleExtent extent = RangeExtent(pyramid, samples, 0, samples.size());
  EXPECT_FALSE(extent.HoldsNumbers());
  EXPECT_TRUE(extent.hasNaN);
}

TEST(SampleExtent, InfinitiesAreExtremes) {
  const std::vector<double> samples = {1.0, kInf, -kInf, kNaN};
  const SampleExtent extent = ScanExtent(samples);
  EXPECT_EQ(extent.minValue, -kInf);
  EXPECT_EQ(extent.maxValue, kInf);
  EXPECT_TRUE(extent.hasNaN);
}

TEST(SampleExtent, EmptyRangeHoldsNothing) {
  const std::vector<double> samples = {1.0, 2.0};
  SamplePyramid pyramid;
  BuildSamplePyramid(pyramid, samples);
  const SampleExtent extent = RangeExtent(pyramid, samples, 1, 1);
  EXPECT_FALSE(extent.HoldsNumbers());
  EXPECT_FALSE(extent.hasNaN);
}

TEST(SamplePyramid, EveryRangeOfASmallRecordMatchesAScan) {
  // Long enough for four levels and a partial block at the end.
  const std::vector<double> samples = MixedSamples(kPyramidBlockSamples * 9 + 13, 7);
  SamplePyramid pyramid;
  BuildSamplePyramid(pyramid, samples);
  ASSERT_EQ(pyramid.levels.size(), 4u);
  for (std::size_t first = 0; first <= samples.size(); ++first) {
    for (std::size_t end = first; end <= samples.size(); ++end) {
      const std::span<const double> range(samples.data() + first, end - first);
      ExpectSameExtent(RangeExtent(pyramid, samples, first, end), ScanExtent(range), first, end);
      if (::testing::Test::HasFailure()) return;
    }
  }
}

TEST(SamplePyramid, RandomRangesOfALongRecordMatchAScan) {
  const std::vector<double> samples = MixedSamples(1'000'003, 11);
  SamplePyramid pyramid;
  BuildSamplePyramid(pyramid, samples);
  std::mt19937 random(3);
  std::uniform_int_distribution<std::size_t> position(0, samples.size());
  for (int i = 0; i < 300; ++i) {
    std::size_t first = position(random);
    std::size_t end = position(random);
    if (first > end) std::swap(first, end);
    const std::span<const double> range(samples.data() + first, end - first);
    ExpectSameExtent(RangeExtent(pyramid, samples, first, end), ScanExtent(range), first, end);
  }
}

TEST(SamplePyramid, NaNInOneBlockDoesNotLeakIntoOthers) {
  std::vector<double> samples(kPyramidBlockSamples * 8, 1.0);
  samples[kPyramidBlockSamples * 5 + 3] = kNaN;
  SamplePyramid pyramid;
  BuildSamplePyramid(pyramid, samples);
  EXPECT_FALSE(RangeExtent(pyramid, samples, 0, kPyramidBlockSamples * 5).hasNaN);
  EXPECT_TRUE(RangeExtent(pyramid, samples, 0, samples.size()).hasNaN);
  EXPECT_FALSE(RangeExtent(pyramid, samples, kPyramidBlockSamples * 6, samples.size()).hasNaN);
}

TEST(SamplePyramid, CostsAboutAnEighthOfTheSamples) {
  const std::vector<double> samples(1 << 20, 0.5);
  SamplePyramid pyramid;
  BuildSamplePyramid(pyramid, samples);
  std::size_t bytes = 0;
  for (std::size_t level = 0; level < pyramid.levels.size(); ++level) {
    bytes += pyramid.levels[level].size() * sizeof(PyramidNode) + pyramid.nanFlags[level].size();
  }
  const double share = static_cast<double>(bytes) / (samples.size() * sizeof(double));
  EXPECT_GT(share, 0.12);
  EXPECT_LT(share, 0.14);
}

TEST(SamplePyramid, PyramidOfAnotherRecordIsNotTrusted) {
  const std::vector<double> shorter(64, 100.0);
  const std::vector<double> samples = {
      1.0, 2.0, 3.0,  4.0, 5.0, 6.0,  7.0, 8.0, 9.0,  10.0, 1.0, 2.0, 3.0,  4.0, 5.0, 6.0,  7.0,
      8.0, 9.0, 10.0, 1.0, 2.0, 3.0,  4.0, 5.0, 6.0,  7.0,  8.0, 9.0, 10.0, 1.0, 2.0, 3.0,  4.0,
      5.0, 6.0, 7.0,  8.0, 9.0, 10.0, 1.0, 2.0, 3.0,  4.0,  5.0, 6.0, 7.0,  8.0, 9.0, 10.0, 1.0,
      2.0, 3.0, 4.0,  5.0, 6.0, 7.0,  8.0, 9.0, 10.0, 1.0,  2.0, 3.0, 4.0,  5.0};
  SamplePyramid pyramid;
  BuildSamplePyramid(pyramid, shorter);
  const SampleExtent extent = RangeExtent(pyramid, samples, 0, samples.size());
  EXPECT_EQ(extent.minValue, 1.0);
  EXPECT_EQ(extent.maxValue, 10.0);
}

TEST(SamplePyramid, RebuildForgetsTheOldRecord) {
  SamplePyramid pyramid;
  BuildSamplePyramid(pyramid, std::vector<double>(5000, -7.0));
  const std::vector<double> samples(100, 3.0);
  BuildSamplePyramid(pyramid, samples);
  EXPECT_EQ(pyramid.sampleCount, 100u);
  const SampleExtent extent = RangeExtent(pyramid, samples, 0, samples.size());
  EXPECT_EQ(extent.minValue, 3.0);
  EXPECT_EQ(extent.maxValue, 3.0);
}

}  // namespace
}  // namespace tavril
