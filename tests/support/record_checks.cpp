#include "support/record_checks.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstring>

#include "support/temp_dir.h"

namespace tavril::testing {

void ExpectSameRecord(const ChannelRecord& actual, const ChannelRecord& expected) {
  EXPECT_EQ(actual.device, expected.device);
  EXPECT_EQ(actual.chan, expected.chan);
  EXPECT_EQ(actual.gain, expected.gain);
  EXPECT_EQ(actual.count(), expected.count());
  EXPECT_EQ(actual.rate, expected.rate);
  EXPECT_EQ(Values(actual), Values(expected));
  EXPECT_EQ(actual.title, expected.title);
  EXPECT_EQ(actual.statistics().maxIndex, expected.statistics().maxIndex);
  EXPECT_EQ(actual.statistics().maxValue, expected.statistics().maxValue);
  EXPECT_EQ(actual.statistics().minIndex, expected.statistics().minIndex);
  EXPECT_EQ(actual.statistics().minValue, expected.statistics().minValue);
  EXPECT_EQ(actual.statistics().mean, expected.statistics().mean);
}

void ExpectSameRecordBits(const ChannelRecord& actual, const ChannelRecord& expected) {
  const auto bits = [](double value) { return std::bit_cast<std::uint64_t>(value); };
  EXPECT_EQ(actual.device, expected.device);
  EXPECT_EQ(actual.chan, expected.chan);
  EXPECT_EQ(actual.gain, expected.gain);
  EXPECT_EQ(actual.count(), expected.count());
  EXPECT_EQ(bits(actual.rate), bits(expected.rate));
  EXPECT_EQ(actual.title, expected.title);
  EXPECT_EQ(actual.acquiredAt, expected.acquiredAt);
  ASSERT_EQ(actual.sampleCount(), expected.sampleCount());
  if (!actual.samples().empty()) {
    EXPECT_EQ(std::memcmp(actual.samples().data(), expected.samples().data(),
                          actual.sampleCount() * sizeof(double)),
              0);
  }
  EXPECT_EQ(actual.statistics().maxIndex, expected.statistics().maxIndex);
  EXPECT_EQ(bits(actual.statistics().maxValue), bits(expected.statistics().maxValue));
  EXPECT_EQ(actual.statistics().minIndex, expected.statistics().minIndex);
  EXPECT_EQ(bits(actual.statistics().minValue), bits(expected.statistics().minValue));
  EXPECT_EQ(bits(actual.statistics().mean), bits(expected.statistics().mean));
}

std::vector<double> Values(const ChannelRecord& record) {
  return {record.samples().begin(), record.samples().end()};
}

void SetSamples(ChannelRecord& record, std::vector<double> samples) {
  record.TakeSamples(samples);
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
