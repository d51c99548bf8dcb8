#include "processing/measurement_table.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "support/python_client.h"
#include "support/record_checks.h"
#include "support/temp_dir.h"

namespace tavril {
namespace {

using testing::SetSamples;

std::string Text(const MeasurementRow& row, std::size_t column) {
  return MeasurementText(kMeasurementColumns[column],
                         row.values.*kMeasurementColumns[column].value);
}

ChannelRecord Record(std::vector<double> samples, double rate) {
  ChannelRecord record;
  SetSamples(record, std::move(samples));
  record.rate = rate;
  return record;
}

// 1 kHz between -2 V and 3 V, high a quarter of each period, at 100 kHz.
ChannelRecord Square() {
  std::vector<double> samples(2000);
  for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = (i + 10) % 100 < 25 ? 3 : -2;
  return Record(std::move(samples), 100000);
}

TEST(MeasurementTable, RowsOfShownChannelsWithSamplesAndTheirTexts) {
  ChannelTable channels{};
  channels[1] = Square();
  channels[4] = Square();
  std::array<bool, kChannelCount> measured{};
  measured.fill(true);
  measured[4] = false;
  const std::vector<MeasurementRow> rows =
      MeasureChannels(channels, measured, 1, MeasuredStretch::WholeRecord(), nullptr);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].channel, 1);
  EXPECT_TRUE(rows[0].master);
  EXPECT_EQ(rows[0].range, (SampleRange{0, 1999}));
  const char* expected[] = {"-2.000 V", "3.000 V",   "5.000 V",  "-750.0 mV", "2.291 V",
                            "2.165 V",  "1.000 kHz", "1.000 ms", "25.00 %"};
  for (std::size_t column = 0; column < std::size(expected); ++column) {
    EXPECT_EQ(Text(rows[0], column), expected[column]) << column;
  }
  EXPECT_EQ(MeasurementText(kMeasurementColumns[3], 999.96), "1.000 kV");
  EXPECT_EQ(MeasurementText(kMeasurementColumns[3], -0.0012344), "-1.234 mV");
  EXPECT_EQ(MeasurementText(kMeasurementColumns[7], 1.234e-5), "12.34 µs");
  EXPECT_EQ(MeasurementText(kMeasurementColumns[3], -0.0), "0.000 V");
  EXPECT_EQ(MeasurementText(kMeasurementColumns[3], 5e15), "5000 TV");
  EXPECT_EQ(MeasurementText(kMeasurementColumns[3], 2e-15), "0.002000 pV");
  // Spelt as the files spell them, whatever the NaN's sign.
  EXPECT_EQ(MeasurementText(kMeasurementColumns[3], -std::numeric_limits<double>::quiet_NaN()),
            "nan V");
  EXPECT_EQ(MeasurementText(kMeasurementColumns[3], -INFINITY), "-inf V");

  // Too short for a period, or not finite: dashes.
  for (const std::vector<double>& samples :
       {std::vector<double>{1.5}, {1, 2}, {0, 1, NAN, 0, 1, 0, 1, 0}}) {
    const MeasurementRow row =
        MeasureChannel(Record(samples, 1000), 0, false, MeasuredStretch::WholeRecord(), nullptr);
    EXPECT_EQ(Text(row, 6) + Text(row, 8), "——") << samples.size();
    EXPECT_EQ(Text(row, 0) == "—", samples.size() == 8);
  }
}

TEST(MeasurementTable, StretchesMapToInclusiveClippedSamples) {
  using S = MeasuredStretch;
  EXPECT_EQ(SamplesOf(S::BetweenTimes(0.3, 0.7), 100, 10), (SampleRange{3, 7}));
  EXPECT_EQ(SamplesOf(S::BetweenTimes(-1, 0.055), 100, 100), (SampleRange{0, 5}));
  EXPECT_EQ(SamplesOf(S::BetweenTimes(0.01, 0.01), 100, 100), (SampleRange{1, 1}));
  EXPECT_EQ(SamplesOf(S::BetweenTimes(0.5, 1e300), 100, 100), (SampleRange{50, 99}));
  EXPECT_FALSE(SamplesOf(S::BetweenTimes(0.015, 0.019), 100, 100));  // between two samples
  EXPECT_FALSE(SamplesOf(S::BetweenTimes(20, 30), 100, 10));
  EXPECT_FALSE(SamplesOf(S::BetweenTimes(0, 1), 100, 0));
  EXPECT_EQ(SamplesOf(S::BetweenSamples(9, -3), 5, 0), (SampleRange{0, 4}));
  EXPECT_FALSE(SamplesOf(S::BetweenSamples(7, 9), 5, 0));
}

TEST(MeasurementTable, CursorDifferencesNeedARateBothSamplesAndTwoPlaces) {
  using Texts = std::array<std::string, 3>;
  const ChannelRecord record = Record({0, 0.5, 1, 1.5}, 1000);
  EXPECT_EQ(CursorDifferenceTexts(MeasureCursorDifferences(record, 3, 1)),
            (Texts{"Δt = -2.000 ms", "ΔV = -1.000 V", "1/Δt = -500.0 Hz"}));
  EXPECT_EQ(CursorDifferenceTexts(MeasureCursorDifferences(record, 2, 2))[2], "1/Δt = —");
  EXPECT_EQ(CursorDifferenceTexts(MeasureCursorDifferences(record, 0, 4))[1], "ΔV = —");
  EXPECT_EQ(CursorDifferenceTexts(MeasureCursorDifferences(Record({1, 2}, 0), 0, 1)),
            (Texts{"Δt = —", "ΔV = 1.000 V", "1/Δt = —"}));
}

TEST(MeasurementTable, TsvReadsBackThroughPythonsCsvModule) {
  ChannelTable channels{};
  channels[0] = Square();
  channels[0].title = "a\tb\nc";
  channels[3] = Record({1e-5, 2e-5}, 1000);
  std::array<bool, kChannelCount> measured{};
  measured.fill(true);
  const std::vector<MeasurementRow> rows =
      MeasureChannels(channels, measured, 3, MeasuredStretch::WholeRecord(), nullptr);
  testing::TempDir dir;
  testing::WriteFileBytes(dir / "m.tsv", MeasurementsTsv(rows));
  EXPECT_EQ(testing::RunPython(dir.path(), R"(import csv
rows = list(csv.reader(open('m.tsv', encoding='utf-8', newline=''), delimiter='\t'))
print(len(rows), *[len(r) for r in rows])
print(rows[0][2], rows[0][11], rows[1][1], rows[1][2], rows[2][2])
print(float(rows[1][9]) == 1000.0, float(rows[1][11]) == 25.0, rows[2][9] == '')
print(float(rows[2][4]) == 2e-5, float(rows[2][5]) == 1e-5)
)"),
            "3 14 14 14\nMaître Rapport cyclique (%) a b c non oui\nTrue True True\nTrue True\n");
}

}  // namespace
}  // namespace tavril
