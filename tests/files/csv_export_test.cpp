#include "files/csv_export.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "support/record_checks.h"
#include "support/temp_dir.h"

namespace tavril {
namespace {

using testing::ReadFileBytes;
using testing::TempDir;

std::string CsvOf(const ChannelRecord& record) {
  return testing::BytesWrittenBy([&](AtomicFileWriter& out) { WriteCsvFile(record, out); });
}

ChannelRecord MakeRecord(double rate, std::vector<double> samples) {
  ChannelRecord record;
  record.gain = 10;  // never applied
  record.rate = rate;
  record.count = static_cast<std::uint32_t>(samples.size());
  record.samples = std::move(samples);
  return record;
}

TEST(CsvFile, HeaderThenTimeAndSamplePerLine) {
  EXPECT_EQ(CsvOf(MakeRecord(2500.0, {0.5, -0.25, 1.0})),
            "time_s,volts\r\n"
            "0.000000000000,0.500000000000\r\n"
            "0.000400000000,-0.250000000000\r\n"
            "0.000800000000,1.000000000000\r\n");
}

TEST(CsvFile, RecordWithoutSamplesGivesTheHeaderOnly) {
  EXPECT_EQ(CsvOf(MakeRecord(1000.0, {})), "time_s,volts\r\n");
  // The reset state describes 1000 points without holding any.
  ChannelRecord described = MakeRecord(100000.0, {});
  described.count = 1000;
  EXPECT_EQ(CsvOf(described), "time_s,volts\r\n");
}

TEST(CsvFile, NonFiniteValuesAreSpeltInfAndNan) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  // Rate 0: 0/0 for the first time, i/0 after it.
  EXPECT_EQ(CsvOf(MakeRecord(0.0, {inf, -inf, nan})),
            "time_s,volts\r\n"
            "nan,inf\r\n"
            "inf,-inf\r\n"
            "inf,nan\r\n");
}

TEST(CsvFile, ExtremeMagnitudesAreWrittenWhole) {
  const double max = std::numeric_limits<double>::max();
  const std::string csv = CsvOf(MakeRecord(1.0, {-max, -1e-13}));
  const std::string maxText =
      "17976931348623157081452742373170435679807056752584499659891747680315726078002853876"
      "05895586327668781715404589535143824642343213268894641827684675467035375169860499105"
      "76551282076245490090389328944075868508455133942304583236903222948165808559332123348"
      "274797826204144723168738177180919299881250404026184124858368.000000000000";
  EXPECT_EQ(
      csv, "time_s,volts\r\n0.000000000000,-" + maxText + "\r\n1.000000000000,-0.000000000000\r\n");
}

}  // namespace
}  // namespace tavril
