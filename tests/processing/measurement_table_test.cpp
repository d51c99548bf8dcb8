#include "processing/measurement_table.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "support/python_client.h"
#include "support/temp_dir.h"

namespace tavril {
namespace {

using testing::TempDir;

const MeasurementColumn& Column(std::string_view key) {
  for (const MeasurementColumn& column : kMeasurementColumns) {
    if (column.key == key) return column;
  }
  throw std::logic_error("no column");
}

std::string Text(const MeasurementRow& row, std::string_view key) {
  const MeasurementColumn& column = Column(key);
  return MeasurementText(column, row.values.*column.value);
}

ChannelRecord Record(std::vector<double> samples, double rate, std::string title = "") {
  ChannelRecord record;
  record.samples = std::move(samples);
  record.count = static_cast<std::uint32_t>(record.samples.size());
  record.rate = rate;
  record.title = std::move(title);
  return record;
}

// 1 kHz between -2 V and 3 V, high for the first quarter of each period, at 100 kHz.
ChannelRecord Square() {
  std::vector<double> samples(2000);
  for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = (i + 10) % 100 < 25 ? 3 : -2;
  return Record(std::move(samples), 100000, "carr\xE9");
}

TEST(MeasurementTable, RowsShowKnownValuesWithPrefixesAndUnits) {
  ChannelTable channels{};
  channels[1] = Square();
  channels[4] = Square();
  channels[6] = Record({}, 1000);  // no samples: no row
  std::array<bool, kChannelCount> measured{};
  measured.fill(true);
  measured[4] = false;
  const auto latin = [](std::string_view bytes) {
    std::string text;
    for (const char c : bytes) {
      const auto byte = static_cast<unsigned char>(c);
      text += byte < 0x80 ? std::string(1, c)
                          : std::string{static_cast<char>(0xC0 | byte >> 6),
                                        static_cast<char>(0x80 | (byte & 0x3F))};
    }
    return text;
  };
  const std::vector<MeasurementRow> rows =
      MeasureChannels(channels, measured, 1, MeasuredStretch::WholeRecord(), +latin);
  ASSERT_EQ(rows.size(), 1u);
  const MeasurementRow& row = rows[0];
  EXPECT_EQ(row.channel, 1);
  EXPECT_EQ(row.title, "carré");
  EXPECT_TRUE(row.master);
  EXPECT_EQ(row.range, (SampleRange{0, 1999}));
  EXPECT_EQ(Text(row, "minimum"), "-2.000 V");
  EXPECT_EQ(Text(row, "peakToPeak"), "5.000 V");
  EXPECT_EQ(Text(row, "mean"), "-750.0 mV");
  EXPECT_EQ(Text(row, "frequency"), "1.000 kHz");
  EXPECT_EQ(Text(row, "period"), "1.000 ms");
  EXPECT_EQ(Text(row, "dutyCycle"), "25.00 %");
}

TEST(MeasurementTable, EngineeringTextRoundsIntoTheNextPrefixAndClampsAtTheEnds) {
  const MeasurementColumn& volts = Column("mean");
  const MeasurementColumn& seconds = Column("period");
  EXPECT_EQ(MeasurementText(volts, 999.96), "1.000 kV");
  EXPECT_EQ(MeasurementText(volts, -0.0012344), "-1.234 mV");
  EXPECT_EQ(MeasurementText(seconds, 1.234e-5), "12.34 µs");
  EXPECT_EQ(MeasurementText(volts, -0.0), "0.000 V");
  EXPECT_EQ(MeasurementText(volts, 5e15), "5000 TV");
  EXPECT_EQ(MeasurementText(volts, 2e-15), "0.002000 pV");
  EXPECT_EQ(MeasurementText(volts, std::nullopt), "—");
  EXPECT_EQ(MeasurementText(Column("dutyCycle"), 0.33333), "33.33 %");
}

TEST(MeasurementTable, TooShortOrNonFiniteRecordsShowDashes) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (const std::vector<double>& samples :
       {std::vector<double>{1.5}, {1, 2}, {0, 1, nan, 0, 1, 0, 1, 0}}) {
    const MeasurementRow row =
        MeasureChannel(Record(samples, 1000), 0, false, MeasuredStretch::WholeRecord(), nullptr);
    for (const std::string_view key : {"frequency", "period", "dutyCycle"}) {
      EXPECT_EQ(Text(row, key), "—") << key << " of " << samples.size();
    }
    if (samples.size() == 8) {
      EXPECT_EQ(Text(row, "minimum"), "—");
    }
  }
  // A stretch beside the record measures nothing.
  const MeasurementRow row = MeasureChannel(Record({1, 2, 3}, 1000), 0, false,
                                            MeasuredStretch::BetweenTimes(1, 2), nullptr);
  EXPECT_FALSE(row.range);
  EXPECT_EQ(row.values.count, 0u);
  EXPECT_EQ(Text(row, "maximum"), "—");
}

TEST(MeasurementTable, StretchesMapToInclusiveClippedSamples) {
  using S = MeasuredStretch;
  EXPECT_EQ(SamplesOf(S::BetweenTimes(0.3, 0.7), 100, 10), (SampleRange{3, 7}));
  EXPECT_EQ(SamplesOf(S::BetweenTimes(-1, 0.055), 100, 100), (SampleRange{0, 5}));
  EXPECT_EQ(SamplesOf(S::BetweenTimes(0.01, 0.01), 100, 100), (SampleRange{1, 1}));
  EXPECT_EQ(SamplesOf(S::BetweenTimes(0.5, 1e300), 100, 100), (SampleRange{50, 99}));
  EXPECT_FALSE(SamplesOf(S::BetweenTimes(0.015, 0.019), 100, 100));  // between two samples
  EXPECT_FALSE(SamplesOf(S::BetweenTimes(0.7, 0.3), 100, 10));
  EXPECT_FALSE(SamplesOf(S::BetweenTimes(0, 1), 100, 0));
  EXPECT_FALSE(SamplesOf(S::BetweenTimes(0, 1), 0, 100));
  EXPECT_EQ(SamplesOf(S::BetweenSamples(9, -3), 5, 0), (SampleRange{0, 4}));
  EXPECT_FALSE(SamplesOf(S::BetweenSamples(7, 9), 5, 0));
  EXPECT_EQ(SamplesOf(S::WholeRecord(), 5, 0), (SampleRange{0, 4}));
}

TEST(MeasurementTable, CursorDifferencesNeedARateSamplesAndTwoPlaces) {
  const ChannelRecord record = Record({0, 0.5, 1, 1.5}, 1000);
  auto texts = CursorDifferenceTexts(MeasureCursorDifferences(record, 3, 1));
  EXPECT_EQ(texts,
            (std::array<std::string, 3>{"Δt = -2.000 ms", "ΔV = -1.000 V", "1/Δt = -500.0 Hz"}));
  texts = CursorDifferenceTexts(MeasureCursorDifferences(record, 2, 2));
  EXPECT_EQ(texts[2], "1/Δt = —");
  texts = CursorDifferenceTexts(MeasureCursorDifferences(record, 0, 4));
  EXPECT_EQ(texts[0], "Δt = 4.000 ms");
  EXPECT_EQ(texts[1], "ΔV = —");
  texts = CursorDifferenceTexts(MeasureCursorDifferences(Record({1, 2}, 0), 0, 1));
  EXPECT_EQ(texts, (std::array<std::string, 3>{"Δt = —", "ΔV = 1.000 V", "1/Δt = —"}));
}

TEST(MeasurementTable, TsvReadsBackThroughPythonsCsvModule) {
  if (!testing::PythonHas("csv")) GTEST_SKIP() << testing::kSystemPython << " is missing";
  ChannelTable channels{};
  channels[0] = Square();
  channels[0].title = "a\tb\nc";
  channels[3] = Record({1e-5, 2e-5}, 1000);
  std::array<bool, kChannelCount> measured{};
  measured.fill(true);
  const std::vector<MeasurementRow> rows =
      MeasureChannels(channels, measured, 3, MeasuredStretch::WholeRecord(), nullptr);
  TempDir dir;
  testing::WriteFileBytes(dir / "m.tsv", MeasurementsTsv(rows));
  const std::string printed = testing::RunPython(dir.path(), R"(import csv
rows = list(csv.reader(open('m.tsv', encoding='utf-8', newline=''), delimiter='\t'))
print(len(rows), *[len(r) for r in rows])
print(rows[0][2], rows[0][11], rows[1][1], rows[1][2], rows[2][2])
print(float(rows[1][9]) == 1000.0, float(rows[1][11]) == 25.0, rows[2][9] == '')
print(float(rows[2][4]) == 2e-5, float(rows[2][5]) == 1e-5)
)");
  EXPECT_EQ(printed,
            "3 14 14 14\nMaître Rapport cyclique (%) a b c non oui\nTrue True True\nTrue True\n");
}

}  // namespace
}  // namespace tavril
