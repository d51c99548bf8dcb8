#include "processing/spectrum.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

#include "support/board_signal.h"

namespace tavril {
namespace {

constexpr double kRate = 100000.0;

// The board's 500 Hz sine of 4 V: 2.83 V RMS, 9.03 dBV.
TEST(Spectrum, TheBoardsSineIsFoundAtItsFrequencyAndAmplitude) {
  const std::vector<double> sine = testing::BoardSignal(0, 100000, kRate);
  const double dbv = 20 * std::log10(4 / std::numbers::sqrt2);
  for (const SpectrumWindow window :
       {SpectrumWindow::kRectangular, SpectrumWindow::kHann, SpectrumWindow::kFlatTop}) {
    const Spectrum spectrum = ComputeSpectrum(sine, kRate, window, 8192, 8);
    EXPECT_EQ(spectrum.blocks, 8);
    ASSERT_EQ(spectrum.dbv.size(), 4097u);
    ASSERT_TRUE(spectrum.peak.has_value());
    EXPECT_NEAR(spectrum.peak->frequency, 500.0, spectrum.binHz);
    if (window == SpectrumWindow::kFlatTop) {
      EXPECT_NEAR(spectrum.peak->dbv, dbv, 0.1);
    }
  }
}

TEST(Spectrum, AnOffsetStaysInTheDcBinAndIsNotThePeak) {
  std::vector<double> samples(20000);
  for (std::size_t i = 0; i < samples.size(); ++i)
    samples[i] = 1.5 + 0.5 * std::sin(2 * std::numbers::pi * 1000.0 * i / kRate);
  const Spectrum spectrum = ComputeSpectrum(samples, kRate, SpectrumWindow::kFlatTop, 4096, 100);
  EXPECT_EQ(spectrum.blocks, 4);
  EXPECT_NEAR(spectrum.peak->frequency, 1000.0, spectrum.binHz);
  EXPECT_NEAR(spectrum.dbv[0], 20 * std::log10(1.5), 0.01);
}

TEST(Spectrum, TooFewOrNonFiniteSamplesGiveNoSpectrum) {
  EXPECT_TRUE(ComputeSpectrum(std::vector<double>(15, 1.0), kRate, SpectrumWindow::kHann, 1024, 1)
                  .dbv.empty());
  std::vector<double> holed(1000, 0.0);
  holed[500] = std::numeric_limits<double>::infinity();
  const Spectrum none = ComputeSpectrum(holed, kRate, SpectrumWindow::kHann, 256, 2);
  EXPECT_TRUE(none.dbv.empty());
  EXPECT_FALSE(none.peak.has_value());
  // A short record takes the largest block it holds; silence sits on the floor.
  const Spectrum quiet =
      ComputeSpectrum(std::vector<double>(100, 0.0), kRate, SpectrumWindow::kHann, 1024, 4);
  EXPECT_EQ(quiet.dbv.size(), 33u);
  EXPECT_EQ(quiet.dbv[10], kFloorDbv);
}

// Nothing of one call (plan, weights, sums of several blocks) may leak into the next.
TEST(Spectrum, AReusedCalculatorGivesWhatAFreshOneGives) {
  const std::vector<double> square = testing::BoardSignal(1, 20000, kRate);
  struct Call {
    SpectrumWindow window;
    std::size_t size;
    int blocks;
  };
  SpectrumCalculator calculator;
  Spectrum reused;
  for (const Call call :
       {Call{SpectrumWindow::kFlatTop, 4096, 3}, Call{SpectrumWindow::kHann, 1024, 5},
        Call{SpectrumWindow::kHann, 4096, 1}, Call{SpectrumWindow::kRectangular, 1024, 2}}) {
    calculator.Compute(square, kRate, call.window, call.size, call.blocks, reused);
    const Spectrum fresh = ComputeSpectrum(square, kRate, call.window, call.size, call.blocks);
    EXPECT_EQ(reused.dbv, fresh.dbv);
    EXPECT_EQ(reused.blocks, call.blocks);
  }
  calculator.Compute(std::vector<double>(10, 1.0), kRate, SpectrumWindow::kHann, 1024, 1, reused);
  EXPECT_TRUE(reused.dbv.empty());
  EXPECT_FALSE(reused.peak.has_value());
}

}  // namespace
}  // namespace tavril
