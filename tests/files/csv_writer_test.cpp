#include "files/csv_file.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "support/record_checks.h"
#include "support/temp_dir.h"

namespace tavril {
namespace {

using testing::SetSamples;

using testing::ReadFileBytes;
using testing::TempDir;

std::string CsvOf(const ChannelRecord& record) {
  const SlotView view{0, &record};
  return testing::BytesWrittenBy(
      [&](AtomicFileWriter& out) { WriteCsvFile(std::span<const SlotView>(&view, 1), out); });
}

ChannelRecord MakeRecord(double rate, std::vector<double> samples) {
  ChannelRecord record;
  record.gain = 10;  // never applied
  record.rate = rate;
  SetSamples(record, std::move(samples));
  return record;
}

// The channel line of a record read from a data file, whose slot is 0.
std::string ChannelLine(const char* rate, const char* count) {
  return std::string(
             "# TAVRIL v1.02\r\n# channel slot=0 title=\"\" device=0 chan=0 gain=10 rate=") +
         rate + " count=" + count + " unit=V\r\ntime_s,slot0_V\r\n";
}

TEST(CsvFile, ChannelLineThenTimeAndSamplePerLine) {
  EXPECT_EQ(CsvOf(MakeRecord(2500.0, {0.5, -0.25, 1.0})),
            ChannelLine("2500", "3") + "0,0.5\r\n0.0004,-0.25\r\n0.0008,1\r\n");
}

TEST(CsvFile, RecordWithoutSamplesGivesTheHeaderOnly) {
  EXPECT_EQ(CsvOf(MakeRecord(1000.0, {})), ChannelLine("1000", "0"));
  // The reset state describes 1000 points without holding any.
  ChannelRecord described = MakeRecord(100000.0, {});
  described.SetCount(1000);
  EXPECT_EQ(CsvOf(described), ChannelLine("100000", "1000"));
}

TEST(CsvFile, NonFiniteValuesAreSpeltInfAndNan) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  // Rate 0: 0/0 for the first time, i/0 after it.
  EXPECT_EQ(CsvOf(MakeRecord(0.0, {inf, -inf, nan})),
            ChannelLine("0", "3") + "nan,inf\r\ninf,-inf\r\ninf,nan\r\n");
}

TEST(CsvFile, EveryDoubleInItsShortestExactText) {
  const double max = std::numeric_limits<double>::max();
  EXPECT_EQ(CsvOf(MakeRecord(1.0, {-max, -1e-13, 1e-4, 9999999999999998.0, 1e16, 5e-324})),
            ChannelLine("1", "6") +
                "0,-1.7976931348623157e+308\r\n1,-1e-13\r\n2,0.0001\r\n"
                "3,9999999999999998\r\n4,1e+16\r\n5,5e-324\r\n");
}

}  // namespace
}  // namespace tavril
