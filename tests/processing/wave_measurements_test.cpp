#include "processing/wave_measurements.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <random>
#include <vector>

#include "support/board_signal.h"

namespace tavril {
namespace {

constexpr double kRate = 100000.0;
constexpr double kTwoPi = 6.283185307179586;

std::vector<double> Wave(std::size_t count, const std::function<double(double)>& at) {
  std::vector<double> samples(count);
  for (std::size_t i = 0; i < count; ++i) samples[i] = at(static_cast<double>(i) / kRate);
  return samples;
}

// Phase in [0, 1) of `hz` at `t`, started a little into a period.
double Phase(double hz, double t) {
  const double p = hz * t + 0.137;
  return p - std::floor(p);
}

TEST(WaveMeasurements, PeriodicShapesGiveTheirFrequencyDutyAndLevels) {
  std::mt19937_64 random(3);
  std::uniform_real_distribution<double> noise(-0.5, 0.5);
  struct Case {
    const char* name;
    double hz;
    std::function<double(double)> at;
    double duty;
  } cases[] = {
      {"sine on 1.5 V", 500, [](double t) { return 1.5 + 4 * std::sin(kTwoPi * Phase(500, t)); },
       0.5},
      {"noisy sine", 200,
       [&](double t) { return 3 * std::sin(kTwoPi * Phase(200, t)) + noise(random); }, 0.5},
      // 25 % high, edges of 10 samples.
      {"square", 400,
       [](double t) {
         const double p = Phase(400, t) * 250;
         const double up = std::clamp(p / 10, 0.0, 1.0) - std::clamp((p - 62.5) / 10, 0.0, 1.0);
         return -3 + 6 * up;
       },
       0.25},
      {"triangle", 300, [](double t) { return 4 * (2 * std::fabs(2 * Phase(300, t) - 1) - 1); },
       0.5},
      {"sawtooth", 500, [](double t) { return 2.5 * (2 * Phase(500, t) - 1); }, 0.5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<double> samples = Wave(20000, c.at);
    const WaveMeasurements m = MeasureWave(samples, kRate);
    ASSERT_TRUE(m.frequency.has_value());
    EXPECT_NEAR(*m.frequency, c.hz, c.hz * 1e-3);
    EXPECT_NEAR(*m.period * *m.frequency, 1.0, 1e-12);
    EXPECT_NEAR(*m.dutyCycle, c.duty, 0.005);
    EXPECT_DOUBLE_EQ(*m.peakToPeak, *m.maximum - *m.minimum);
    EXPECT_NEAR(*m.rms * *m.rms, *m.acRms * *m.acRms + *m.mean * *m.mean, 1e-9);
  }
  // The square's edges: 8 samples from 10 % to 90 %.
  const WaveMeasurements square = MeasureWave(Wave(20000, cases[2].at), kRate);
  EXPECT_NEAR(*square.riseTime, 8 / kRate, 0.01 / kRate);
  EXPECT_NEAR(*square.fallTime, 8 / kRate, 0.01 / kRate);
  // Two and a half periods of a clean sine are enough.
  const WaveMeasurements few = MeasureWave(Wave(500, cases[0].at), kRate);
  EXPECT_NEAR(*few.frequency, 500, 0.5);
}

TEST(WaveMeasurements, TheSimulatedBoardsShapesGiveTheirFrequencies) {
  const struct {
    int chan;
    double hz;
  } channels[] = {{0, 500}, {1, 400}, {2, 300}, {3, 500}, {5, 200}, {13, 700}};
  for (const auto& [chan, hz] : channels) {
    SCOPED_TRACE(chan);
    const WaveMeasurements m = MeasureWave(testing::BoardSignal(chan, 100000, kRate), kRate);
    ASSERT_TRUE(m.frequency.has_value());
    EXPECT_NEAR(*m.frequency, hz, hz * 1e-3);
    if (chan == 1) {
      EXPECT_NEAR(*m.dutyCycle, 0.5, 0.005);
    }
  }
}

TEST(WaveMeasurements, WhatTheSamplesDoNotDefineStaysEmpty) {
  EXPECT_FALSE(MeasureWave({}, kRate).minimum.has_value());
  const std::vector<double> one{2.5};
  const WaveMeasurements single = MeasureWave(one, kRate);
  EXPECT_EQ(*single.mean, 2.5);
  EXPECT_EQ(*single.acRms, 0.0);
  EXPECT_FALSE(single.frequency.has_value());
  const std::vector<double> flat(1000, -1.0);
  EXPECT_FALSE(MeasureWave(flat, kRate).frequency.has_value());
  std::vector<double> holed = Wave(2000, [](double t) { return std::sin(kTwoPi * 1000 * t); });
  holed[700] = std::numeric_limits<double>::quiet_NaN();
  const WaveMeasurements nan = MeasureWave(holed, kRate);
  EXPECT_EQ(nan.count, 2000u);
  EXPECT_FALSE(nan.mean.has_value() || nan.frequency.has_value() || nan.rms.has_value());
}

}  // namespace
}  // namespace tavril
