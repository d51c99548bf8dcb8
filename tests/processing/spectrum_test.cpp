#include "processing/spectrum.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <span>
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
    // Eight blocks of 8192 points cannot hold 100000 samples; 13 can.
    EXPECT_EQ(spectrum.blocks, 13);
    ASSERT_EQ(spectrum.dbv.size(), 4097u);
    ASSERT_TRUE(spectrum.peak.has_value());
    EXPECT_NEAR(spectrum.peak->frequency, 500.0, spectrum.binHz);
    if (window == SpectrumWindow::kFlatTop) {
      EXPECT_NEAR(spectrum.peak->dbv, dbv, 0.1);
    }
  }
}

// The board's 4 V sine of 500 Hz, one block of the whole record: 2000
// points at 25 kHz put it on bin 40, 2025 points half-way between bins 40
// and 41 (and zeros up to 2048 points then put it near bin 41).
TEST(Spectrum, ThePeakIsReadBetweenBinsToATenthOfAHertzAndATwentiethOfADecibel) {
  const double dbv = 20 * std::log10(4 / std::numbers::sqrt2);
  for (const std::size_t points : {2000, 2025}) {
    for (const SpectrumWindow window :
         {SpectrumWindow::kRectangular, SpectrumWindow::kHann, SpectrumWindow::kFlatTop}) {
      const Spectrum spectrum =
          ComputeSpectrum(testing::BoardSignal(0, points, 25000), 25000, window, 65536, 16);
      EXPECT_NEAR(spectrum.peak->frequency, 500.0, 0.1) << points << " " << int(window);
      EXPECT_NEAR(spectrum.peak->dbv, dbv, 0.05) << points << " " << int(window);
    }
  }
}

// Every sample lies in a block; blocks overlap by half when the blocks asked
// for allow it, and there are never fewer than it takes to hold the record.
TEST(SpectrumBlocks, EverySampleIsInABlock) {
  struct Case {
    std::size_t samples, blockSize;
    int maxBlocks;
    SpectrumBlocks expected;
  };
  for (const Case c : {
           Case{2027, 65536, 1, {2027, 2048, 1}},  // a prime length: zeros up to 2048
           Case{100000, 65536, 16, {65536, 65536, 3}},
           Case{100000, 65536, 1, {65536, 65536, 2}},
           Case{10000000, 65536, 16, {65536, 65536, 153}},
       }) {
    const SpectrumBlocks blocks = PlanSpectrumBlocks(c.samples, c.blockSize, c.maxBlocks);
    EXPECT_EQ(blocks.length, c.expected.length) << c.samples;
    EXPECT_EQ(blocks.transformLength, c.expected.transformLength) << c.samples;
    ASSERT_EQ(blocks.count, c.expected.count) << c.samples;
    EXPECT_EQ(blocks.Start(0, c.samples), 0u);
    EXPECT_EQ(blocks.Start(blocks.count - 1, c.samples) + blocks.length, c.samples);
    for (int b = 1; b < blocks.count; ++b)
      EXPECT_LE(blocks.Start(b, c.samples), blocks.Start(b - 1, c.samples) + blocks.length);
  }
}

TEST(Spectrum, AnOffsetStaysInTheDcBinAndIsNotThePeak) {
  std::vector<double> samples(20000);
  for (std::size_t i = 0; i < samples.size(); ++i)
    samples[i] = 1.5 + 0.5 * std::sin(2 * std::numbers::pi * 1000.0 * i / kRate);
  const Spectrum spectrum = ComputeSpectrum(samples, kRate, SpectrumWindow::kFlatTop, 4096, 100);
  // Blocks overlapping by half or more over the whole record.
  EXPECT_EQ(spectrum.blocks, 9);
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
  // A short record is one block; silence sits on the floor.
  const Spectrum quiet =
      ComputeSpectrum(std::vector<double>(100, 0.0), kRate, SpectrumWindow::kHann, 1024, 4);
  EXPECT_EQ(quiet.dbv.size(), 51u);
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
    EXPECT_EQ(reused.blocks, fresh.blocks);
    EXPECT_EQ(reused.peak->frequency, fresh.peak->frequency);
  }
  calculator.Compute(std::vector<double>(10, 1.0), kRate, SpectrumWindow::kHann, 1024, 1, reused);
  EXPECT_TRUE(reused.dbv.empty());
  EXPECT_FALSE(reused.peak.has_value());
}

// A file read by range gives the spectrum of the same samples in memory.
TEST(Spectrum, ReadByRangeIsTheSameAsInMemoryBitForBit) {
  std::vector<double> square = testing::BoardSignal(1, 20000, kRate);
  std::uint64_t samplesRead = 0;
  const SpectrumSampleReader read = [&](std::uint64_t first, std::span<double> out) {
    if (first + out.size() > square.size()) return false;
    std::copy_n(square.begin() + static_cast<std::ptrdiff_t>(first), out.size(), out.begin());
    samplesRead += out.size();
    return true;
  };
  struct Call {
    std::size_t samples;
    std::size_t size;
    int blocks;
  };
  for (const Call call :
       {Call{20000, 4096, 3}, Call{20000, 1024, 40}, Call{3000, 4096, 1}, Call{15, 1024, 1}}) {
    const std::span<const double> record(square.data(), call.samples);
    const Spectrum inMemory =
        ComputeSpectrum(record, kRate, SpectrumWindow::kHann, call.size, call.blocks);
    Spectrum byRange;
    samplesRead = 0;
    EXPECT_TRUE(ComputeSpectrumByRange(read, call.samples, kRate, SpectrumWindow::kHann, call.size,
                                       call.blocks, byRange));
    EXPECT_EQ(byRange.dbv, inMemory.dbv);
    EXPECT_EQ(byRange.blocks, inMemory.blocks);
    EXPECT_EQ(byRange.overlap, inMemory.overlap);
    EXPECT_EQ(samplesRead, static_cast<std::uint64_t>(byRange.blocks) * byRange.blockLength);
  }
  square[19999] = std::numeric_limits<double>::quiet_NaN();
  Spectrum none;
  EXPECT_TRUE(ComputeSpectrumByRange(read, 20000, kRate, SpectrumWindow::kHann, 1024, 4, none));
  EXPECT_TRUE(none.dbv.empty());
  EXPECT_FALSE(ComputeSpectrumByRange(read, 30000, kRate, SpectrumWindow::kHann, 1024, 4, none));
  EXPECT_TRUE(none.dbv.empty());
}

}  // namespace
}  // namespace tavril
