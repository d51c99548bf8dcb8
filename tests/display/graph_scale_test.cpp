#include "display/graph_scale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "model/channel_record.h"
#include "support/record_checks.h"

namespace tavril {
namespace {

using testing::SetSamples;

constexpr std::int32_t kInt32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

ChannelRecord RecordOf(std::vector<double> samples) {
  ChannelRecord record;
  record.rate = 1000.0;
  SetSamples(record, std::move(samples));
  return record;
}

// A scale whose every field differs from what a fit would produce.
GraphScale ManualScale() {
  GraphScale scale;
  scale.pixelsPerSample = 3.25;
  scale.pixelsPerVolt = 42.0;
  scale.originY = -17;
  scale.scrollOffset = 250;
  scale.autoScale = true;
  return scale;
}

void ExpectSameScale(const GraphScale& actual, const GraphScale& expected) {
  EXPECT_EQ(actual.pixelsPerSample, expected.pixelsPerSample);
  EXPECT_EQ(actual.pixelsPerVolt, expected.pixelsPerVolt);
  EXPECT_EQ(actual.originY, expected.originY);
  EXPECT_EQ(actual.scrollOffset, expected.scrollOffset);
  EXPECT_EQ(actual.autoScale, expected.autoScale);
}

TEST(TruncateToInt32, TruncatesTowardZeroAndSaturates) {
  struct Case {
    double value;
    std::int32_t expected;
  };
  const Case cases[] = {
      {2.9, 2},
      {-0.7, 0},
      {-2.9, -2},
      {-0.0, 0},
      {2147483646.9, 2147483646},
      {2147483647.0, kInt32Max},
      {2147483647.5, kInt32Max},
      {2147483648.0, kInt32Max},
      {-2147483648.0, kInt32Min},
      {-2147483648.9, kInt32Min},
      {-2147483649.0, kInt32Min},
      {1e300, kInt32Max},
      {-1e300, kInt32Min},
      {kInf, kInt32Max},
      {-kInf, kInt32Min},
      {kNaN, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TruncateToInt32(c.value), c.expected) << c.value;
  }
}

TEST(GraphScale, StartsWithTheInitialValues) {
  const GraphScale scale;
  EXPECT_EQ(scale.pixelsPerSample, 0.5905907);
  EXPECT_EQ(scale.pixelsPerVolt, 100.0);
  EXPECT_EQ(scale.originY, 150);
  EXPECT_EQ(scale.scrollOffset, 0);
  EXPECT_FALSE(scale.autoScale);
}

TEST(ComputeAutoScale, RecordWithoutSamplesChangesNothing) {
  ChannelRecord record;
  record.SetCount(1000);  // the reset state: a count but no samples
  record.KeepStatistics({0, 1.0, 0, -1.0, 0.0});
  GraphScale scale = ManualScale();
  ComputeAutoScale(scale, record, {500, 340});
  ExpectSameScale(scale, ManualScale());
}

TEST(ComputeAutoScale, WholeRecordFillsTheWidth) {
  const ChannelRecord record = RecordOf(std::vector<double>(1001, 0.5));
  GraphScale scale = ManualScale();
  ComputeAutoScale(scale, record, {500, 340});
  EXPECT_EQ(scale.pixelsPerSample, 0.5);
  EXPECT_EQ(scale.scrollOffset, 0);
  EXPECT_TRUE(scale.autoScale);  // only the display panel switches modes
  EXPECT_EQ(SampleToPixel(scale, 0.0, 0.0).x, 0);
  EXPECT_EQ(SampleToPixel(scale, 1000.0, 0.0).x, 500);
}

TEST(ComputeRollScale, AFillingRollKeepsItsTimeScaleWithTheNewestSampleAtTheRight) {
  // Window of 1001: 251 samples held end at the right edge, the first one
  // three quarters across; a full window is the automatic scale.
  for (const auto& [held, firstX] : {std::pair{251, 375}, {1, 500}, {1001, 0}, {1500, 0}}) {
    const ChannelRecord record = RecordOf(std::vector<double>(held, 0.5));
    GraphScale scale = ManualScale();
    ComputeRollScale(scale, record, {500, 340}, 1001);
    EXPECT_EQ(SampleToPixel(scale, 0.0, 0.0).x, firstX) << held;
    EXPECT_EQ(SampleToPixel(scale, held - 1, 0.0).x, 500) << held;
    EXPECT_EQ(PixelToSample(scale, 0), held >= 1001 ? 0 : held - 1001) << held;
  }
}

TEST(ComputeAutoScale, RangeFillsTheHeightLessTwentyPixelMargins) {
  struct Case {
    std::int32_t height;
    double maxValue;
    double minValue;
    double pixelsPerVolt;
    std::int32_t originY;
    std::int32_t maxY;
    std::int32_t minY;
  };
  const Case cases[] = {
      {340, 2.0, -2.0, 75.0, 170, 20, 320},
      // The 0 V line falls below the client area.
      {240, 3.0, 1.0, 100.0, 320, 20, 220},
      // The 0 V line lies above the client area.
      {240, -1.0, -3.0, 100.0, -80, 20, 220},
      // An odd height halves to 120.
      {241, 2.0, -2.0, 50.25, 120, 19, 220},
      {241, 3.0, 1.0, 100.5, 321, 19, 220},
      // -233.33 truncates to -233, not -234.
      {240, -1.0, -2.5, 200.0 / 1.5, -113, 20, 220},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.height << " " << c.maxValue << " " << c.minValue);
    const ChannelRecord record = RecordOf({c.maxValue, c.minValue});
    GraphScale scale = ManualScale();
    ComputeAutoScale(scale, record, {500, c.height});
    EXPECT_DOUBLE_EQ(scale.pixelsPerVolt, c.pixelsPerVolt);
    EXPECT_EQ(scale.originY, c.originY);
    EXPECT_EQ(SampleToPixel(scale, 0.0, c.maxValue).y, c.maxY);
    EXPECT_EQ(SampleToPixel(scale, 0.0, c.minValue).y, c.minY);
  }
}

TEST(ComputeAutoScale, FlatRecordKeepsThePreviousPixelsPerVolt) {
  const ChannelRecord record = RecordOf({2.0, 2.0, 2.0});
  GraphScale scale = ManualScale();
  ComputeAutoScale(scale, record, {400, 240});
  EXPECT_EQ(scale.pixelsPerSample, 200.0);
  EXPECT_EQ(scale.pixelsPerVolt, 42.0);
  EXPECT_EQ(scale.originY, 84 + 120);
  EXPECT_EQ(scale.scrollOffset, 0);
}

TEST(ComputeAutoScale, SingleSampleKeepsThePreviousFactors) {
  const ChannelRecord record = RecordOf({-1.5});
  GraphScale scale = ManualScale();
  ComputeAutoScale(scale, record, {400, 240});
  EXPECT_EQ(scale.pixelsPerSample, 3.25);
  EXPECT_EQ(scale.pixelsPerVolt, 42.0);
  EXPECT_EQ(scale.originY, -63 + 120);
  EXPECT_EQ(scale.scrollOffset, 0);
}

TEST(ComputeAutoScale, NonFiniteStatisticsKeepTheScaleFinite) {
  struct Case {
    std::vector<double> samples;
    double pixelsPerVolt;
    std::int32_t originY;
  };
  const Case cases[] = {
      // The NaN becomes the minimum: the range is NaN, the middle too.
      {{1.0, kNaN}, 42.0, 120},
      // An infinite range would give 0 pixels per volt.
      {{kInf, 0.0}, 42.0, kInt32Max},
      // The middle saturates before half the height is added.
      {{0.0, -kInf}, 42.0, kInt32Min + 120},
      {{kInf, -kInf}, 42.0, 120},
      // Huge but finite: a tiny, still usable factor.
      {{1e300, -1e300}, 200.0 / 2e300, 120},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.samples[0] << " " << c.samples[1]);
    const ChannelRecord record = RecordOf(c.samples);
    GraphScale scale = ManualScale();
    ComputeAutoScale(scale, record, {400, 240});
    EXPECT_EQ(scale.pixelsPerSample, 400.0);
    EXPECT_DOUBLE_EQ(scale.pixelsPerVolt, c.pixelsPerVolt);
    EXPECT_EQ(scale.originY, c.originY);
    EXPECT_EQ(scale.scrollOffset, 0);
  }
}

TEST(ComputeAutoScale, ClientTooSmallForTheMarginsKeepsThePreviousFactors) {
  const ChannelRecord record = RecordOf({1.0, -1.0});
  GraphScale scale = ManualScale();
  ComputeAutoScale(scale, record, {0, 30});
  EXPECT_EQ(scale.pixelsPerSample, 3.25);
  EXPECT_EQ(scale.pixelsPerVolt, 42.0);
  EXPECT_EQ(scale.originY, 15);
}

TEST(SampleToPixel, TruncatesTowardZeroNotFloor) {
  GraphScale scale;
  scale.pixelsPerSample = 0.7;
  scale.scrollOffset = 3;
  scale.pixelsPerVolt = 10.0;
  scale.originY = 0;
  EXPECT_EQ(SampleToPixel(scale, 2.0, 0.0), (PixelPoint{0, 0}));   // -0.7
  EXPECT_EQ(SampleToPixel(scale, 1.0, 0.0), (PixelPoint{-1, 0}));  // -1.4
  EXPECT_EQ(SampleToPixel(scale, 0.0, 0.25), (PixelPoint{-2, -2}));
  EXPECT_EQ(SampleToPixel(scale, 0.0, -0.25), (PixelPoint{-2, 2}));
}

TEST(SampleToPixel, FormsTheVerticalSumBeforeTruncating) {
  GraphScale scale;
  scale.pixelsPerVolt = 1.0;
  scale.originY = 5;
  // -0.6 + 5 = 4.4 gives 4; truncating -0.6 first would give 5.
  EXPECT_EQ(SampleToPixel(scale, 0.0, 0.6).y, 4);
}

TEST(SampleToPixel, NonFiniteAndHugeInputsSaturateOrGiveZero) {
  GraphScale scale;
  scale.pixelsPerSample = 0.5;
  scale.pixelsPerVolt = 100.0;
  scale.originY = 150;
  EXPECT_EQ(SampleToPixel(scale, 0.0, kNaN), (PixelPoint{0, 0}));
  EXPECT_EQ(SampleToPixel(scale, 0.0, kInf), (PixelPoint{0, kInt32Min}));
  EXPECT_EQ(SampleToPixel(scale, 0.0, -kInf), (PixelPoint{0, kInt32Max}));
  EXPECT_EQ(SampleToPixel(scale, 0.0, 1e300), (PixelPoint{0, kInt32Min}));
  EXPECT_EQ(SampleToPixel(scale, 1e300, 0.0), (PixelPoint{kInt32Max, 150}));
  EXPECT_EQ(SampleToPixel(scale, -1e300, 0.0), (PixelPoint{kInt32Min, 150}));
  EXPECT_EQ(SampleToPixel(scale, kNaN, 0.0), (PixelPoint{0, 150}));
}

TEST(SampleToPixel, ZeroScaleDrawsEverySampleAtTheLeftEdge) {
  GraphScale scale;
  scale.pixelsPerSample = 0.0;
  scale.pixelsPerVolt = 0.0;
  scale.originY = 150;
  EXPECT_EQ(SampleToPixel(scale, 1000.0, 5.0), (PixelPoint{0, 150}));
  EXPECT_EQ(SampleToPixel(scale, kInf, kInf), (PixelPoint{0, 0}));  // inf * 0 is NaN
}

TEST(PixelToSample, DividesByTheScaleThenAddsTheScroll) {
  struct Case {
    double pixelsPerSample;
    std::int32_t scrollOffset;
    std::int32_t x;
    std::int32_t expected;
  };
  const Case cases[] = {
      {3.0, 5, 10, 8},  // 3.33 + 5
      {0.5, 0, 7, 14},  // two samples per pixel: the first of them
      {0.7, 3, -2, 0},  // -2.86 + 3 = 0.14
      {0.7, 0, -2, -2},
      {1.0, 0, kInt32Max, kInt32Max},
      {0.5, 10, kInt32Max, kInt32Max},
      {0.5, 0, kInt32Min, kInt32Min},
  };
  for (const Case& c : cases) {
    GraphScale scale;
    scale.pixelsPerSample = c.pixelsPerSample;
    scale.scrollOffset = c.scrollOffset;
    EXPECT_EQ(PixelToSample(scale, c.x), c.expected)
        << c.pixelsPerSample << " " << c.scrollOffset << " " << c.x;
  }
}

TEST(PixelToSample, TwoSamplesPerPixelShareOneColumn) {
  GraphScale scale;
  scale.pixelsPerSample = 0.5;
  scale.scrollOffset = 0;
  EXPECT_EQ(SampleToPixel(scale, 14.0, 0.0).x, 7);
  EXPECT_EQ(SampleToPixel(scale, 15.0, 0.0).x, 7);
  EXPECT_EQ(PixelToSample(scale, 7), 14);
}

TEST(PixelToSample, ZeroScaleGivesADefinedIndex) {
  GraphScale scale;
  scale.pixelsPerSample = 0.0;
  scale.scrollOffset = 4;
  EXPECT_EQ(PixelToSample(scale, 10), kInt32Max);
  EXPECT_EQ(PixelToSample(scale, -10), kInt32Min);
  EXPECT_EQ(PixelToSample(scale, 0), 0);  // 0 / 0 is NaN
}

}  // namespace
}  // namespace tavril
