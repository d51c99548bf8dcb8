#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "display/view_state.h"
#include "model/channel_record.h"
#include "model/session.h"
#include "support/record_checks.h"

namespace tavril {
namespace {

using testing::SetSamples;
using testing::Values;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

ChannelRecord RecordOf(std::vector<double> samples) {
  ChannelRecord record;
  SetSamples(record, std::move(samples));
  return record;
}

struct Statistics {
  std::uint32_t maxIndex;
  double maxValue;
  std::uint32_t minIndex;
  double minValue;
};

void ExpectStatistics(const ChannelRecord& record, const Statistics& expected) {
  EXPECT_EQ(record.statistics().maxIndex, expected.maxIndex);
  EXPECT_EQ(record.statistics().maxValue, expected.maxValue);
  EXPECT_EQ(record.statistics().minIndex, expected.minIndex);
  EXPECT_EQ(record.statistics().minValue, expected.minValue);
}

TEST(ChannelRecordStatistics, EqualSamplesGiveIndexZeroAndThatValue) {
  ChannelRecord record = RecordOf({2.5, 2.5, 2.5, 2.5});
  ExpectStatistics(record, {0, 2.5, 0, 2.5});
  EXPECT_EQ(record.statistics().mean, 2.5);
}

TEST(ChannelRecordStatistics, FirstIndexOfAnExtremeWins) {
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
    ExpectStatistics(record, c.expected);
  }
}

TEST(ChannelRecordStatistics, MeanIsTheSameOnEveryCall) {
  ChannelRecord record = RecordOf({0.1, 0.2, 0.7, -0.3});
  const double first = record.statistics().mean;
  EXPECT_DOUBLE_EQ(first, 0.175);
  std::vector<double> again = Values(record);
  record.TakeSamples(again);
  EXPECT_EQ(record.statistics().mean, first);
}

TEST(ChannelRecordStatistics, NaNTakesTheMinimumUntilTheNextSample) {
  {
    ChannelRecord record = RecordOf({1.0, kNaN});
    EXPECT_EQ(record.statistics().maxIndex, 0u);
    EXPECT_EQ(record.statistics().maxValue, 1.0);
    EXPECT_EQ(record.statistics().minIndex, 1u);
    EXPECT_TRUE(std::isnan(record.statistics().minValue));
    EXPECT_TRUE(std::isnan(record.statistics().mean));
  }
  {
    // 5.0 replaces the NaN although 1.0 came earlier; the maximum ignores the NaN.
    ChannelRecord record = RecordOf({1.0, kNaN, 5.0, 3.0, 4.0});
    ExpectStatistics(record, {2, 5.0, 3, 3.0});
  }
  {
    // A first NaN is the starting maximum, and nothing is greater than it.
    ChannelRecord record = RecordOf({kNaN, 2.0, 1.0});
    EXPECT_EQ(record.statistics().maxIndex, 0u);
    EXPECT_TRUE(std::isnan(record.statistics().maxValue));
    EXPECT_EQ(record.statistics().minIndex, 2u);
    EXPECT_EQ(record.statistics().minValue, 1.0);
  }
}

TEST(ChannelRecordStatistics, TakingNoSamplesGivesZerosAndKeepsTheCount) {
  ChannelRecord record;
  record.SetCount(1000);  // a count with no array behind it must not be read
  record.KeepStatistics({5, 1.0, 6, -1.0, 0.5});
  std::vector<double> none;
  record.TakeSamples(none);
  ExpectStatistics(record, {0, 0.0, 0, 0.0});
  EXPECT_EQ(record.statistics().mean, 0.0);
  EXPECT_EQ(record.count(), 1000u);
}

TEST(ResetChannels, PutsEveryRecordInTheResetState) {
  ChannelTable table;
  for (int i = 0; i < kChannelCount; ++i) {
    ChannelRecord& record = table[i];
    record = RecordOf({1.0, -4.0, 3.0 * (0.5 + i) + 3.0});  // a mean of 0.5 + i
    record.device = 9;
    record.chan = 5;
    record.gain = 10;
    record.rate = 20.0;
    record.title = "Essai";
  }
  ResetChannels(table, 3);
  for (int i = 0; i < kChannelCount; ++i) {
    SCOPED_TRACE(i);
    const ChannelRecord& record = table[i];
    EXPECT_EQ(record.device, 3);
    EXPECT_EQ(record.chan, i);
    EXPECT_EQ(record.gain, 1);
    EXPECT_EQ(record.count(), 1000u);
    EXPECT_EQ(record.rate, 100000.0);
    EXPECT_FALSE(HoldsSamples(record));
    EXPECT_TRUE(record.title.empty());
    ExpectStatistics(record, {0, 1.0, 0, -1.0});
    EXPECT_EQ(record.statistics().mean, 0.5 + i);
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
    EXPECT_EQ(record.count(), 0u);
    EXPECT_EQ(record.rate, 0.0);
    EXPECT_FALSE(HoldsSamples(record));
    EXPECT_TRUE(record.title.empty());
    EXPECT_EQ(record.statistics().mean, 0.0);
  }
  EXPECT_EQ(session.masterChannel, 0);
}

}  // namespace
}  // namespace tavril
