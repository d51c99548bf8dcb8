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

void ExpectSameRecordBits(const ChannelRecord& actual, const ChannelRecord& expected) {
  const auto bits = [](double value) { return std::bit_cast<std::uint64_t>(value); };
  EXPECT_EQ(actual.device, expected.device);
  EXPECT_EQ(actual.chan, expected.chan);
  EXPECT_EQ(actual.gain, expected.gain);
  EXPECT_EQ(actual.count, expected.count);
  EXPECT_EQ(bits(actual.rate), bits(expected.rate));
  EXPECT_EQ(actual.title, expected.title);
  EXPECT_EQ(actual.acquiredAt, expected.acquiredAt);
  ASSERT_EQ(actual.samples.size(), expected.samples.size());
  if (!actual.samples.empty()) {
    EXPECT_EQ(std::memcmp(actual.samples.data(), expected.samples.data(),
                          actual.samples.size() * sizeof(double)),
              0);
  }
  EXPECT_EQ(actual.maxIndex, expected.maxIndex);
  EXPECT_EQ(bits(actual.maxValue), bits(expected.maxValue));
  EXPECT_EQ(actual.minIndex, expected.minIndex);
  EXPECT_EQ(bits(actual.minValue), bits(expected.minValue));
  EXPECT_EQ(bits(actual.mean), bits(expected.mean));
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
