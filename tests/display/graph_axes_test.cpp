#include "display/graph_axes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace tavril {
namespace {

// Seven pixels a character, as a small screen font.
double SevenPerCharacter(const std::string& label) {
  return 7.0 * static_cast<double>(label.size());
}

std::vector<std::string> Labels(const std::vector<AxisTick>& ticks) {
  std::vector<std::string> labels;
  for (const AxisTick& tick : ticks) labels.push_back(tick.label);
  return labels;
}

std::vector<AxisTick> Ticks(AxisSpan span, const char* unit) {
  return ComputeAxisTicks(span, unit, SevenPerCharacter, 12.0);
}

TEST(AxisTicks, StepOnOneTwoFiveWithOnePrefixForTheAxis) {
  struct Case {
    AxisSpan span;
    const char* unit;
    std::vector<std::string> labels;
  };
  const Case cases[] = {
      {{0.0, 0.02, 500.0},
       "s",
       {"0 ms", "2 ms", "4 ms", "6 ms", "8 ms", "10 ms", "12 ms", "14 ms", "16 ms", "18 ms",
        "20 ms"}},
      {{0.0012, 0.00125, 400.0},
       "s",
       {"1.20 ms", "1.21 ms", "1.22 ms", "1.23 ms", "1.24 ms", "1.25 ms"}},
      {{2.0, -2.0, 200.0}, "V", {"-2 V", "-1 V", "0 V", "1 V", "2 V"}},
      {{0.0, 40e-6, 200.0}, "s", {"0 \xC2\xB5s", "20 \xC2\xB5s", "40 \xC2\xB5s"}},
      {{0.0, 1234.0, 200.0}, "", {"0", "500", "1000"}},
      {{0.0, 3.0, 2000.0}, "", {"0", "1", "2", "3"}},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.labels.front());
    EXPECT_EQ(Labels(Ticks(test.span, test.unit)), test.labels);
  }
}

TEST(AxisTicks, LabelsNeverOverlapAndSitWhereTheirValuesAre) {
  for (const double length : {90.0, 400.0, 1920.0}) {
    for (const double last : {1e-7, 0.37, 8.5, 123456.0}) {
      const AxisSpan span{last / 3.0, last, length};
      const std::vector<AxisTick> ticks = Ticks(span, "s");
      ASSERT_FALSE(ticks.empty()) << length << " " << last;
      for (std::size_t i = 0; i < ticks.size(); ++i) {
        EXPECT_NEAR(ticks[i].position,
                    (ticks[i].value - span.first) / (span.last - span.first) * length, 1e-6);
        if (i == 0) continue;
        const double apart = ticks[i].position - ticks[i - 1].position;
        const double halfWidths =
            (SevenPerCharacter(ticks[i].label) + SevenPerCharacter(ticks[i - 1].label)) / 2.0;
        EXPECT_GE(apart, halfWidths + 12.0 - 1e-9) << ticks[i].label;
      }
    }
  }
}

TEST(AxisTicks, NothingForSpansThatShowNoRange) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  for (const AxisSpan span :
       {AxisSpan{1.0, 1.0, 500.0}, AxisSpan{0.0, kInf, 500.0}, AxisSpan{kNaN, 1.0, 500.0},
        AxisSpan{0.0, 1.0, 0.0}, AxisSpan{1e300, 1e300 * (1 + 1e-15), 500.0}}) {
    EXPECT_TRUE(Ticks(span, "V").empty());
  }
}

TEST(AxisSpans, FollowTheScaleAndTheMastersRate) {
  GraphScale scale;
  scale.pixelsPerSample = 0.5;
  scale.scrollOffset = 1000;
  scale.pixelsPerVolt = 100.0;
  scale.originY = 150;
  const AxisSpan time = TimeSpanOf(scale, 1000.0, ClientSize{400, 300});
  EXPECT_DOUBLE_EQ(time.first, 1.0);
  EXPECT_DOUBLE_EQ(time.last, 1.8);
  EXPECT_DOUBLE_EQ(TimeSpanOf(scale, 0.0, ClientSize{400, 300}).last, 1800.0);
  const AxisSpan volts = VoltSpanOf(scale, ClientSize{400, 300});
  EXPECT_DOUBLE_EQ(volts.first, 1.5);
  EXPECT_DOUBLE_EQ(volts.last, -1.5);
}

}  // namespace
}  // namespace tavril
