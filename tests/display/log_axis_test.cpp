#include "display/log_axis.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace tavril {
namespace {

std::vector<std::string> Labels(const LogAxis& axis) {
  std::vector<std::string> labels;
  for (const LogTick& tick : LogAxisTicks(axis, "Hz")) {
    if (!tick.label.empty()) labels.push_back(tick.label);
  }
  return labels;
}

TEST(LogAxis, DecadesHoldTheSweepAndLabelTheirStepsWhenFew) {
  struct Case {
    double lowest, highest;
    double low, high;
    std::vector<std::string> labels;
    std::size_t ticks;
  };
  const Case cases[] = {
      {10, 10000, 10, 10000, {"10 Hz", "100 Hz", "1 kHz", "10 kHz"}, 28},
      {20, 5000, 10, 10000, {"10 Hz", "100 Hz", "1 kHz", "10 kHz"}, 28},
      {150,
       9000,
       100,
       10000,
       {"100 Hz", "200 Hz", "500 Hz", "1 kHz", "2 kHz", "5 kHz", "10 kHz"},
       19},
      {1000, 1000, 1000, 10000, {"1 kHz", "2 kHz", "5 kHz", "10 kHz"}, 10},
      {0.5,
       2e6,
       0.1,
       1e7,
       {"100 mHz", "1 Hz", "10 Hz", "100 Hz", "1 kHz", "10 kHz", "100 kHz", "1 MHz", "10 MHz"},
       73},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lowest);
    const LogAxis axis = DecadesAround(c.lowest, c.highest);
    EXPECT_DOUBLE_EQ(axis.low, c.low);
    EXPECT_DOUBLE_EQ(axis.high, c.high);
    EXPECT_EQ(Labels(axis), c.labels);
    EXPECT_EQ(LogAxisTicks(axis, "Hz").size(), c.ticks);
  }
}

TEST(LogAxis, FractionsAndValuesAreInverseAndEvenPerDecade) {
  const LogAxis axis{10, 10000};
  for (const auto& [hz, fraction] : {std::pair{10.0, 0.0}, {100.0, 1.0 / 3}, {10000.0, 1.0}}) {
    EXPECT_NEAR(LogAxisFraction(axis, hz), fraction, 1e-12);
    EXPECT_NEAR(LogAxisValue(axis, fraction), hz, hz * 1e-12);
  }
}

// Nearest by ratio, not by difference: 30 Hz is nearer 10 than 100.
TEST(LogAxis, NearestPointIsNearestByRatio) {
  const std::vector<double> hz = {10, 100, 1000};
  for (const auto& [at, index] : {std::pair{30.0, 0u}, {33.0, 1u}, {1.0, 0u}, {5000.0, 2u}}) {
    EXPECT_EQ(NearestOnLogAxis(hz, at), index) << at;
  }
}

TEST(LogAxis, LevelsRoundOutToTheirStepAndSpanTheLeast) {
  struct Case {
    double low, high, step, span;
    double wantLow, wantHigh;
  };
  const Case cases[] = {
      {-39.6, 6.0, 10, 20, -40, 10},
      {-0.01, 0.01, 10, 20, -10, 10},
      {-177.8, -0.6, 45, 90, -180, 0},
      {-5, -5, 45, 90, -90, 0},
  };
  for (const Case& c : cases) {
    const PlotRange range = RoundedOut(c.low, c.high, c.step, c.span);
    EXPECT_EQ(std::pair(range.low, range.high), std::pair(c.wantLow, c.wantHigh)) << c.low;
  }
}

}  // namespace
}  // namespace tavril
