#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "display/view_state.h"
#include "model/channel_record.h"
#include "model/session.h"

namespace tavril {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

ChannelRecord RecordOf(std::vector<double> samples) {
  ChannelRecord record;
  record.count = static_cast<std::uint32_t>(samples.size());
  record.samples = std::move(samples);
  return record;
}

struct Statistics {
  std::uint32_t maxIndex;
  double maxValue;
  std::uint32_t minIndex;
  double minValue;
};

void ExpectStatistics(const ChannelRecord& record, const Statistics& expected) {
  EXPECT_EQ(record.maxIndex, expected.maxIndex);
  EXPECT_EQ(record.maxValue, expected.maxValue);
  EXPECT_EQ(record.minIndex, expected.minIndex);
  EXPECT_EQ(record.minValue, expected.minValue);
}

TEST(UpdateChannelStatistics, EqualSamplesGiveIndexZeroAndThatValue) {
  ChannelRecord record = RecordOf({2.5, 2.5, 2.5, 2.5});
  UpdateChannelStatistics(record);
  ExpectStatistics(record, {0, 2.5, 0, 2.5});
  EXPECT_EQ(record.mean, 2.5);
}

TEST(UpdateChannelStatistics, FirstIndexOfAnExtremeWins) {
  struct Case {
    std::vector<double> samples;
    Statistics expected;
  };
  const Case cases[] = {
      {{0.0, 1.0, 2.0, 9.0, 3.0, 4.0, 5.0, 9.0, 1.0}, {3, 9.0, 0, 0.0}},
      {{5.0, -1.0, 2.0, 3.0, -1.0}, {0, 5.0, 1, -1.0}},
      {{-3.0, 7.0, -3.0, 7.0}, {1, 7.0, 0, -3.0}},
  };
  for (const Case& c : cases) {
    ChannelRecord record = RecordOf(c.samples);
    UpdateChannelStatistics(record);
    ExpectStatistics(record, c.expected);
  }
}

TEST(UpdateChannelStatistics, MeanIsTheSameOnEveryCall) {
  ChannelRecord record = RecordOf({0.1, 0.2, 0.7, -0.3});
  UpdateChannelStatistics(record);
  const double first = record.mean;
  EXPECT_DOUBLE_EQ(first, 0.175);
  UpdateChannelStatistics(record);
  EXPECT_EQ(record.mean, first);
}

TEST(UpdateChannelStatistics, NaNTakesTheMinimumUntilTheNextSample) {
  {
    ChannelRecord record = RecordOf({1.0, kNaN});
    UpdateChannelStatistics(record);
    EXPECT_EQ(record.maxIndex, 0u);
    EXPECT_EQ(record.maxValue, 1.0);
    EXPECT_EQ(record.minIndex, 1u);
    EXPECT_TRUE(std::isnan(record.minValue));
    EXPECT_TRUE(std::isnan(record.mean));
  }
  {
    // 5.0 replaces the NaN although 1.0 came earlier; the maximum ignores the NaN.
    ChannelRecord record = RecordOf({1.0, kNaN, 5.0, 3.0, 4.0});
    UpdateChannelStatistics(record);
    ExpectStatistics(record, {2, 5.0, 3, 3.0});
  }
  {
    // A first NaN is the starting maximum, and nothing is greater than it.
    ChannelRecord record = RecordOf({kNaN, 2.0, 1.0});
    UpdateChannelStatistics(record);
    EXPECT_EQ(record.maxIndex, 0u);
    EXPECT_TRUE(std::isnan(record.maxValue));
    EXPECT_EQ(record.minIndex, 2u);
    EXPECT_EQ(record.minValue, 1.0);
  }
}

TEST(UpdateChannelStatistics, RecordWithoutSamplesGetsZeros) {
  ChannelRecord record;
  record.count = 1000;  // a count with no array behind it must not be read
  record.maxIndex = 5;
  record.maxValue = 1.0;
  record.minIndex = 6;
  record.minValue = -1.0;
  record.mean = 0.5;
  UpdateChannelStatistics(record);
  ExpectStatistics(record, {0, 0.0, 0, 0.0});
  EXPECT_EQ(record.mean, 0.0);
  EXPECT_EQ(record.count, 1000u);
}

TEST(ResetChannels, PutsEveryRecordInTheResetState) {
  ChannelTable table;
  for (int i = 0; i < kChannelCount; ++i) {
    ChannelRecord& record = table[i];
    record = RecordOf({1.0, -4.0, 8.0});
    record.device = 9;
    record.chan = 5;
    record.gain = 10;
    record.rate = 20.0;
    record.title = "Essai";
    UpdateChannelStatistics(record);
    record.mean = 0.5 + i;
  }
  ResetChannels(table, 3);
  for (int i = 0; i < kChannelCount; ++i) {
    SCOPED_TRACE(i);
    const ChannelRecord& record = table[i];
    EXPECT_EQ(record.device, 3);
    EXPECT_EQ(record.chan, i);
    EXPECT_EQ(record.gain, 1);
    EXPECT_EQ(record.count, 1000u);
    EXPECT_EQ(record.rate, 100000.0);
    EXPECT_FALSE(HoldsSamples(record));
    EXPECT_TRUE(record.title.empty());
    ExpectStatistics(record, {0, 1.0, 0, -1.0});
    EXPECT_EQ(record.mean, 0.5 + i);
  }
}

TEST(SessionAndView, StartWithTheInitialValues) {
  const Session session;
  const ViewState view;
  EXPECT_EQ(view.scale.pixelsPerSample, 0.5905907);
  EXPECT_EQ(view.scale.pixelsPerVolt, 100.0);
  EXPECT_EQ(view.scale.originY, 150);
  EXPECT_EQ(view.scale.scrollOffset, 0);
  EXPECT_FALSE(view.scale.autoScale);
  EXPECT_FALSE(view.cursors.cursorsShown);
  EXPECT_EQ(view.cursors.drag, CursorDrag::kNone);
  for (int i = 0; i < kChannelCount; ++i) {
    SCOPED_TRACE(i);
    EXPECT_TRUE(view.channelShown[i]);
    const ChannelRecord& record = session.channels[i];
    EXPECT_EQ(record.count, 0u);
    EXPECT_EQ(record.rate, 0.0);
    EXPECT_FALSE(HoldsSamples(record));
    EXPECT_TRUE(record.title.empty());
    EXPECT_EQ(record.mean, 0.0);
  }
  EXPECT_EQ(session.masterChannel, 0);
}

}  // namespace
}  // namespace tavril
