#include "support/record_checks.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace tavril::testing {

void ExpectSameRecord(const ChannelRecord& actual, const ChannelRecord& expected) {
  EXPECT_EQ(actual.device, expected.device);
  EXPECT_EQ(actual.chan, expected.chan);
  EXPECT_EQ(actual.gain, expected.gain);
  EXPECT_EQ(actual.count, expected.count);
  EXPECT_EQ(actual.rate, expected.rate);
  EXPECT_EQ(actual.samples, expected.samples);
  EXPECT_EQ(actual.title, expected.title);
  EXPECT_EQ(actual.maxIndex, expected.maxIndex);
  EXPECT_EQ(actual.maxValue, expected.maxValue);
  EXPECT_EQ(actual.minIndex, expected.minIndex);
  EXPECT_EQ(actual.minValue, expected.minValue);
  EXPECT_EQ(actual.mean, expected.mean);
}

std::string BytesWrittenBy(const std::function<void(AtomicFileWriter&)>& write) {
  TempDir dir;
  AtomicFileWriter out;
  EXPECT_TRUE(out.Open(dir / "written"));
  write(out);
  EXPECT_TRUE(out.Commit());
  return ReadFileBytes(dir / "written");
}

}  // namespace tavril::testing
