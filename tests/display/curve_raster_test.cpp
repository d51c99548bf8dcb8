#include "display/curve_raster.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace tavril {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

GraphScale ScaleOf(double pixelsPerSample, double pixelsPerVolt, std::int32_t originY,
                   std::int32_t scrollOffset = 0) {
  GraphScale scale;
  scale.pixelsPerSample = pixelsPerSample;
  scale.pixelsPerVolt = pixelsPerVolt;
  scale.originY = originY;
  scale.scrollOffset = scrollOffset;
  return scale;
}

CurveStrokes StrokesOf(const GraphScale& scale, const std::vector<double>& samples,
                       std::int32_t firstColumn, std::int32_t lastColumn) {
  SamplePyramid pyramid;
  BuildSamplePyramid(pyramid, samples);
  CurveStrokes strokes;
  ComputeCurveStrokes(scale, samples, pyramid, firstColumn, lastColumn, strokes);
  return strokes;
}

LineSegment Line(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2) {
  return LineSegment{{x1, y1}, {x2, y2}};
}

void ExpectStrokes(const CurveStrokes& actual, const std::vector<ColumnRun>& runs,
                   const std::vector<LineSegment>& lines) {
  EXPECT_EQ(actual.runs, runs);
  EXPECT_EQ(actual.lines, lines);
}

TEST(CurveStrokes, SingleSampleIsAZeroLengthRun) {
  ExpectStrokes(StrokesOf(ScaleOf(1.0, 1.0, 10), {2.0}, -2, 100), {{0, 8, 8}}, {});
}

TEST(CurveStrokes, OneSamplePerColumnKeepsEveryLine) {
  ExpectStrokes(StrokesOf(ScaleOf(1.0, 1.0, 10), {0.0, 1.0, 2.0}, -2, 100), {{0, 10, 10}},
                {Line(0, 10, 1, 9), Line(1, 9, 2, 8)});
}

TEST(CurveStrokes, ColumnBecomesOneRunFromItsExtremes) {
  // The line into column 1 is kept: its run (row -2) does not reach row -1.
  // Four samples per column; y = -volts.
  const std::vector<double> samples = {0.0, 5.0, -3.0, 1.0, 2.0, 2.0, 2.0, 2.0};
  ExpectStrokes(StrokesOf(ScaleOf(0.25, 1.0, 0), samples, -2, 100), {{0, -5, 3}, {1, -2, -2}},
                {Line(0, -1, 1, -2)});
}

TEST(CurveStrokes, LineBetweenCoveringRunsIsDropped) {
  const std::vector<double> samples = {0.0, 10.0, 0.0, 10.0};
  ExpectStrokes(StrokesOf(ScaleOf(0.5, 1.0, 0), samples, -2, 100), {{0, -10, 0}, {1, -10, 0}}, {});
}

TEST(CurveStrokes, NaNSampleReachesRowZero) {
  const std::vector<double> samples = {5.0, kNaN, 6.0, 7.0};
  ExpectStrokes(StrokesOf(ScaleOf(0.5, 1.0, 100), samples, -2, 100), {{0, 0, 95}, {1, 93, 94}},
                {Line(0, 0, 1, 94)});
}

TEST(CurveStrokes, LineAcrossTheViewWithoutSamplesInsideIsKept) {
  // Sample 0 lands at x = 0 and sample 1 at x = 1000, both outside 10..100.
  ExpectStrokes(StrokesOf(ScaleOf(1000.0, 1.0, 0), {1.0, 2.0, 3.0}, 10, 100), {},
                {Line(0, -1, 1000, -2)});
}

TEST(CurveStrokes, CurveEntirelyBesideTheViewGivesNothing) {
  const std::vector<double> samples(1000, 1.0);
  ExpectStrokes(StrokesOf(ScaleOf(1.0, 1.0, 0, 5000), samples, -2, 100), {}, {});
  ExpectStrokes(StrokesOf(ScaleOf(1.0, 1.0, 0), samples, 2000, 2100), {}, {});
}

TEST(CurveStrokes, ZeroVerticalScaleFindsFiniteSamplesBetweenInfinities) {
  // Finite samples sit on the 0 V line (y = 50), infinities and NaN on y = 0.
  ExpectStrokes(StrokesOf(ScaleOf(0.0, 0.0, 50), {kInf, 1.0, -kInf}, -2, 100), {{0, 0, 50}}, {});
  ExpectStrokes(StrokesOf(ScaleOf(0.0, 0.0, 50), {kInf, -kInf, kInf}, -2, 100), {{0, 0, 0}}, {});
}

TEST(CurveStrokes, NegativeHorizontalScaleRunsRightToLeft) {
  ExpectStrokes(StrokesOf(ScaleOf(-1.0, 1.0, 0, 3), {1.0, 2.0, 3.0}, -2, 100), {{3, -1, -1}},
                {Line(3, -1, 2, -2), Line(2, -2, 1, -3)});
}

TEST(CurveStrokes, AtMostOneRunPerColumnAndFewLinesOnNoise) {
  std::mt19937 random(5);
  std::normal_distribution<double> noise(0.0, 1.0);
  std::vector<double> samples(1'000'000);
  for (double& sample : samples) sample = noise(random);
  const GraphScale scale = ScaleOf(1920.0 / (samples.size() - 1), 100.0, 500);
  const CurveStrokes strokes = StrokesOf(scale, samples, -2, 1921);
  EXPECT_GE(strokes.runs.size(), 1920u);  // columns 0 to 1919, and 1920 if the last
  EXPECT_LE(strokes.runs.size(), 1921u);  // sample's x does not round below it
  // Neighbouring runs of noise overlap, so nearly every line between them is covered.
  EXPECT_LT(strokes.lines.size(), 20u);
}

TEST(CurveStrokes, SaturatedCoordinatesStayAtTheirBounds) {
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
  ExpectStrokes(StrokesOf(ScaleOf(0.5, 1.0, 0), {1e300, -1e300, kNaN, 0.0}, -2, 100),
                {{0, kMin, kMax}, {1, 0, 0}}, {Line(0, kMax, 1, 0)});
}

}  // namespace
}  // namespace tavril
