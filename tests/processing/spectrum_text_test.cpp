#include "processing/spectrum_text.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>
#include <vector>

#include "processing/spectrum_plot.h"
#include "support/python_client.h"
#include "support/temp_dir.h"

namespace tavril {
namespace {

// 500 Hz falls on bin 64 of a 8192-point block at 64 kHz: a sine of
// amplitude 1 there reads exactly -3.01 dBV through the rectangular window.
Spectrum SineOnABin() {
  std::vector<double> samples(8192);
  for (std::size_t i = 0; i < samples.size(); ++i)
    samples[i] = std::sin(2 * std::numbers::pi * 500.0 * static_cast<double>(i) / 64000.0);
  return ComputeSpectrum(samples, 64000.0, SpectrumWindow::kRectangular, 8192, 1);
}

TEST(SpectrumText, WindowWordsReadBackAndOthersAreRefused) {
  for (const SpectrumWindow window :
       {SpectrumWindow::kRectangular, SpectrumWindow::kHann, SpectrumWindow::kFlatTop})
    EXPECT_EQ(SpectrumWindowFromWord(SpectrumWindowWord(window)), window);
  EXPECT_EQ(SpectrumWindowLabel(SpectrumWindow::kFlatTop), "Flat-top");
  EXPECT_FALSE(SpectrumWindowFromWord("Hann").has_value());
  EXPECT_FALSE(SpectrumWindowFromWord("").has_value());
}

TEST(SpectrumText, PeakTextGivesFrequencyToTheBinAndDbvWithAPoint) {
  EXPECT_EQ(SpectrumPeakText(SineOnABin()), "Pic : 500 Hz, -3.01 dBV");
  EXPECT_EQ(SpectrumPeakText(Spectrum{}), "Pic : —");
  EXPECT_EQ(FrequencyText(12.207, 0.05), "12.21 Hz");
}

TEST(SpectrumText, CsvReadsBackExactlyInPython) {
  const Spectrum spectrum = SineOnABin();
  const testing::TempDir dir;
  testing::WriteFileBytes(dir / "s.csv", SpectrumCsv(spectrum));
  // Python checks every frequency and answers with the highest line.
  const std::string answer =
      testing::RunPython(dir.path(),
                         "import csv\n"
                         "rows = list(csv.reader(open('s.csv')))\n"
                         "assert rows[0] == ['frequence_hz', 'dbv']\n"
                         "bins = [(float(f), float(d)) for f, d in rows[1:]]\n"
                         "assert all(f == k * 7.8125 for k, (f, d) in "
                         "enumerate(bins))\n"
                         "f, d = max(bins[2:], key=lambda b: b[1])\n"
                         "print(len(bins), repr(f), repr(d))\n");
  char frequency[32], dbv[32];
  int count = 0;
  ASSERT_EQ(std::sscanf(answer.c_str(), "%d %31s %31s", &count, frequency, dbv), 3) << answer;
  EXPECT_EQ(count, 4097);
  double f = 0, d = 0;
  std::from_chars(frequency, frequency + std::strlen(frequency), f);
  std::from_chars(dbv, dbv + std::strlen(dbv), d);
  // The highest bin, 64, exactly as computed (the peak read between bins
  // falls on it).
  EXPECT_EQ(f, 64 * spectrum.binHz);
  EXPECT_EQ(d, spectrum.dbv[64]);
}

TEST(SpectrumPlot, ColumnsKeepEveryPeakAndJoinUp) {
  std::vector<double> dbv(32769, -100.0);
  dbv[12345] = 7.0;
  const std::vector<ColumnRange> columns = PlotColumns(dbv, 300);
  ASSERT_EQ(columns.size(), 300u);
  const std::size_t at = 12345 * 300 / 32769;
  EXPECT_EQ(columns[at].high, 7.0);
  int reaching = 0;
  for (const ColumnRange& column : columns) reaching += column.high == 7.0 ? 1 : 0;
  EXPECT_LE(reaching, 2);
  // Fewer bins than columns: each column takes the bin it falls on.
  const std::vector<ColumnRange> wide = PlotColumns(std::vector<double>{1, 2, 3}, 6);
  EXPECT_EQ(wide[5].low, 3.0);
  EXPECT_EQ(wide[2].high, 2.0);
  EXPECT_EQ(PlotDbvRange(-300, 9.03, 160).high, 20);
  EXPECT_EQ(PlotDbvRange(-300, 9.03, 160).low, -140);
}

}  // namespace
}  // namespace tavril
