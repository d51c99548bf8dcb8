#include "model/sine_fit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <vector>

namespace tavril {
namespace {

constexpr double kPi = std::numbers::pi;

TEST(SineFit, FindsAmplitudePhaseAndOffsetOfKnownSines) {
  struct Case {
    double hz, rate, first, amplitude, degrees, offset, noise;
    std::size_t count;
    double amplitudeTolerance, degreesTolerance;
  };
  const Case cases[] = {
      {50, 1000, 0, 1, 0, 0, 0, 200, 1e-12, 1e-9},
      {50, 1000, 0.0123, 2.5, -135, 0.7, 0, 203, 1e-12, 1e-9},  // not whole periods
      {9999, 26000, 3.5, 0.01, 90, -4, 0, 5000, 1e-12, 1e-7},   // 2.6 samples a period
      {1000, 100000, 0, 1, 30, 0.2, 0.1, 100000, 2e-3, 0.1},    // noise of 0.1 V rms
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.hz);
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0.0, c.noise > 0 ? c.noise : 1.0);
    std::vector<double> volts;
    for (std::size_t k = 0; k < c.count; ++k) {
      const double t = c.first + static_cast<double>(k) / c.rate;
      volts.push_back(c.offset +
                      c.amplitude * std::cos(2 * kPi * c.hz * t + c.degrees * kPi / 180) +
                      (c.noise > 0 ? noise(random) : 0.0));
    }
    const auto fit = FitSine(volts, c.first, 1 / c.rate, c.hz);
    ASSERT_TRUE(fit.has_value());
    EXPECT_NEAR(fit->Amplitude(), c.amplitude, c.amplitudeTolerance);
    EXPECT_NEAR(std::arg(fit->Phasor()) * 180 / kPi, c.degrees, c.degreesTolerance);
    EXPECT_NEAR(fit->offset, c.offset, c.noise > 0 ? 2e-3 : 1e-9);
  }
}

TEST(SineFit, RefusesSamplesThatCannotTellTheSineApart) {
  EXPECT_FALSE(FitSine(std::vector<double>{1, 2}, 0, 1e-3, 10).has_value());
  // Two samples a period, every one on a zero of the sine.
  EXPECT_FALSE(FitSine(std::vector<double>(100, 1.0), 0, 1e-3, 500).has_value());
}

}  // namespace
}  // namespace tavril
