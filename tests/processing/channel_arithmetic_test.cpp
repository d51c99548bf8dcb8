#include "processing/channel_arithmetic.h"
#include "processing/math_operation.h"

#include <gtest/gtest.h>

#include "support/record_checks.h"

#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "model/channel_record.h"

namespace tavril {
namespace {

using testing::Values;

using testing::SetSamples;

using testing::ExpectSameRecord;

ChannelRecord RecordOf(std::vector<double> samples, std::int16_t gain = 1, double rate = 1000.0) {
  ChannelRecord record;
  record.device = 3;
  record.chan = 1;
  record.gain = gain;
  record.rate = rate;
  SetSamples(record, std::move(samples));
  record.title = "operande";
  return record;
}

// A result record full of old content that every operation must replace.
ChannelRecord OldResult() {
  ChannelRecord record;
  record.device = 9;
  record.chan = 6;
  record.gain = 7;
  record.rate = 5.0;
  // Statistics that are not those of the samples, to see that they change.
  std::vector<double> samples = {9.0, 9.0, 9.0, 9.0};
  record.TakeSamples(samples, {2, 11.0, 3, -11.0, 0.25});
  record.title = "ancien";
  return record;
}

void ExpectSamplesNear(std::span<const double> actual, const std::vector<double>& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (std::size_t i = 0; i < actual.size(); ++i) EXPECT_DOUBLE_EQ(actual[i], expected[i]) << i;
}

TEST(CombineChannels, AppliesEachOperationToGainedSamples) {
  struct Case {
    MathOperation op;
    std::vector<double> expected;
  };
  const Case cases[] = {
      {MathOperation::kSum, {3.0, 4.0, 5.0}},
      {MathOperation::kDifference, {-1.0, 0.0, 1.0}},
      {MathOperation::kProduct, {2.0, 4.0, 6.0}},
      {MathOperation::kQuotient, {0.5, 1.0, 1.5}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(MathOperationCode(c.op));
    ChannelRecord a = RecordOf({1.0, 2.0, 3.0}, 1);
    a.device = 4;
    const ChannelRecord b = RecordOf({1.0, 1.0, 1.0}, 2);
    ChannelRecord result = OldResult();
    ASSERT_EQ(CombineChannels(a, b, result, c.op), MathResult::kOk);
    EXPECT_EQ(Values(result), c.expected);
    EXPECT_EQ(result.count(), 3u);
    EXPECT_EQ(result.gain, 1);
    EXPECT_EQ(result.rate, 1000.0);
    EXPECT_EQ(result.device, 4);
    EXPECT_EQ(result.chan, 6);
    EXPECT_EQ(result.title, "ancien");
    EXPECT_EQ(result.statistics().maxValue, c.expected[2]);
    EXPECT_EQ(result.statistics().minValue, c.expected[0]);
    EXPECT_EQ(result.statistics().maxIndex, 2u);
  }
}

TEST(CombineChannels, DifferentRatesChangeNothing) {
  const ChannelRecord a = RecordOf({1.0, 2.0}, 1, 1000.0);
  const ChannelRecord b = RecordOf({1.0, 2.0}, 1, 2000.0);
  ChannelRecord result = OldResult();
  EXPECT_EQ(CombineChannels(a, b, result, MathOperation::kSum), MathResult::kRatesDiffer);
  ExpectSameRecord(result, OldResult());
}

TEST(CombineChannels, ShorterSecondOperandLeavesTrailingZeros) {
  const ChannelRecord a = RecordOf({1.0, 2.0, 3.0, 4.0, 5.0});
  const ChannelRecord b = RecordOf({1.0, 1.0, 1.0});
  ChannelRecord result = OldResult();
  ASSERT_EQ(CombineChannels(a, b, result, MathOperation::kSum), MathResult::kOk);
  EXPECT_EQ(result.count(), 5u);
  EXPECT_EQ(Values(result), (std::vector<double>{2.0, 3.0, 4.0, 0.0, 0.0}));
  // The statistics see the zeros too.
  EXPECT_EQ(result.statistics().minValue, 0.0);
  EXPECT_EQ(result.statistics().minIndex, 3u);
  EXPECT_DOUBLE_EQ(result.statistics().mean, 9.0 / 5.0);
}

TEST(CombineChannels, ShorterFirstOperandSetsTheCount) {
  const ChannelRecord a = RecordOf({1.0, 2.0, 3.0});
  const ChannelRecord b = RecordOf({1.0, 1.0, 1.0, 1.0, 1.0});
  ChannelRecord result = OldResult();
  ASSERT_EQ(CombineChannels(a, b, result, MathOperation::kProduct), MathResult::kOk);
  EXPECT_EQ(result.count(), 3u);
  EXPECT_EQ(Values(result), (std::vector<double>{1.0, 2.0, 3.0}));
}

TEST(CombineChannels, QuotientByZeroStoresInfinitiesAndNaN) {
  const ChannelRecord a = RecordOf({1.0, 0.0, -1.0});
  const ChannelRecord b = RecordOf({0.0, 0.0, 0.0});
  ChannelRecord result = OldResult();
  ASSERT_EQ(CombineChannels(a, b, result, MathOperation::kQuotient), MathResult::kOk);
  ASSERT_EQ(result.sampleCount(), 3u);
  EXPECT_TRUE(std::isinf(result.samples()[0]) && result.samples()[0] > 0.0);
  EXPECT_TRUE(std::isnan(result.samples()[1]));
  EXPECT_TRUE(std::isinf(result.samples()[2]) && result.samples()[2] < 0.0);
}

TEST(CombineChannels, GainMultipliesEachOperandSample) {
  const ChannelRecord a = RecordOf({0.1}, 5);
  const ChannelRecord b = RecordOf({0.0}, 1);
  ChannelRecord result = OldResult();
  ASSERT_EQ(CombineChannels(a, b, result, MathOperation::kSum), MathResult::kOk);
  ASSERT_EQ(result.sampleCount(), 1u);
  EXPECT_DOUBLE_EQ(result.samples()[0], 0.5);
}

TEST(CombineChannels, ResultThatIsAReadsAsZeros) {
  ChannelRecord a = RecordOf({1.0, 2.0, 3.0}, 3);
  const ChannelRecord b = RecordOf({1.0, 2.0, 4.0}, 2);
  ASSERT_EQ(CombineChannels(a, b, a, MathOperation::kSum), MathResult::kOk);
  EXPECT_EQ(Values(a), (std::vector<double>{2.0, 4.0, 8.0}));
  EXPECT_EQ(a.gain, 1);
}

TEST(CombineChannels, ResultThatIsBReadsAsZeros) {
  const ChannelRecord a = RecordOf({1.0, 2.0, 3.0}, 2);
  ChannelRecord b = RecordOf({5.0, 5.0, 5.0, 5.0, 5.0}, 4);
  ASSERT_EQ(CombineChannels(a, b, b, MathOperation::kSum), MathResult::kOk);
  EXPECT_EQ(b.count(), 3u);
  EXPECT_EQ(Values(b), (std::vector<double>{2.0, 4.0, 6.0}));
}

TEST(CombineChannels, ResultThatIsBothOperandsDividesZeroByZero) {
  ChannelRecord a = RecordOf({1.0, 2.0});
  ASSERT_EQ(CombineChannels(a, a, a, MathOperation::kQuotient), MathResult::kOk);
  ASSERT_EQ(a.sampleCount(), 2u);
  EXPECT_TRUE(std::isnan(a.samples()[0]));
  EXPECT_TRUE(std::isnan(a.samples()[1]));
}

TEST(CombineChannels, OperandWithoutSamplesReadsAsZeros) {
  ChannelRecord a;  // the reset state: a count but no samples
  a.gain = 1;
  a.SetCount(4);
  a.rate = 1000.0;
  const ChannelRecord b = RecordOf({1.0, 2.0, 3.0, 4.0});
  ChannelRecord result = OldResult();
  ASSERT_EQ(CombineChannels(a, b, result, MathOperation::kDifference), MathResult::kOk);
  EXPECT_EQ(Values(result), (std::vector<double>{-1.0, -2.0, -3.0, -4.0}));
  ASSERT_EQ(CombineChannels(b, a, result, MathOperation::kSum), MathResult::kOk);
  EXPECT_EQ(Values(result), (std::vector<double>{1.0, 2.0, 3.0, 4.0}));
}

TEST(CombineChannels, BadOperationLeavesNewFieldsAndZerosWithoutStatistics) {
  for (const MathOperation op : {MathOperation::kRectangle, MathOperation::kMidpoint}) {
    SCOPED_TRACE(static_cast<int>(op));
    ChannelRecord a = RecordOf({1.0, 2.0, 3.0}, 2);
    a.device = 4;
    const ChannelRecord b = RecordOf({1.0, 1.0, 1.0});
    ChannelRecord result = OldResult();
    EXPECT_EQ(CombineChannels(a, b, result, op), MathResult::kBadOperation);
    EXPECT_EQ(result.count(), 3u);
    EXPECT_EQ(result.device, 4);
    EXPECT_EQ(result.gain, 1);
    EXPECT_EQ(result.rate, 1000.0);
    EXPECT_EQ(Values(result), (std::vector<double>{0.0, 0.0, 0.0}));
    EXPECT_EQ(result.statistics().maxValue, 11.0);
    EXPECT_EQ(result.statistics().minValue, -11.0);
    EXPECT_EQ(result.statistics().mean, 0.25);
  }
}

TEST(CombineChannels, DifferentRatesWinOverABadOperation) {
  const ChannelRecord a = RecordOf({1.0}, 1, 10.0);
  const ChannelRecord b = RecordOf({1.0}, 1, 20.0);
  ChannelRecord result = OldResult();
  EXPECT_EQ(CombineChannels(a, b, result, MathOperation::kRectangle), MathResult::kRatesDiffer);
  ExpectSameRecord(result, OldResult());
}

TEST(IntegrateRectangle, GivesOneStripAreaPerSample) {
  ChannelRecord a = RecordOf({1.0, 2.0, 3.0}, 1, 10.0);
  a.device = 4;
  ChannelRecord result = OldResult();
  ASSERT_EQ(IntegrateRectangle(a, result), MathResult::kOk);
  EXPECT_EQ(result.count(), 3u);
  ExpectSamplesNear(result.samples(), {0.1, 0.2, 0.3});
  EXPECT_EQ(result.gain, 1);
  EXPECT_EQ(result.rate, 10.0);
  EXPECT_EQ(result.device, 4);
  EXPECT_EQ(result.chan, 6);
  EXPECT_DOUBLE_EQ(result.statistics().maxValue, 0.3);
  EXPECT_DOUBLE_EQ(result.statistics().mean, 0.2);
}

TEST(IntegrateRectangle, GainMultipliesEachSample) {
  const ChannelRecord a = RecordOf({0.1}, 5, 1.0);
  ChannelRecord result = OldResult();
  ASSERT_EQ(IntegrateRectangle(a, result), MathResult::kOk);
  ExpectSamplesNear(result.samples(), {0.5});
}

TEST(IntegrateRectangle, ResultThatIsTheOperandIsAllZeros) {
  ChannelRecord a = RecordOf({1.0, 2.0, 3.0}, 2, 10.0);
  ASSERT_EQ(IntegrateRectangle(a, a), MathResult::kOk);
  EXPECT_EQ(a.count(), 3u);
  EXPECT_EQ(Values(a), (std::vector<double>{0.0, 0.0, 0.0}));
  EXPECT_EQ(a.statistics().mean, 0.0);
}

TEST(IntegrateRectangle, OperandWithoutSamplesGivesZerosOfItsCount) {
  ChannelRecord a;
  a.gain = 1;
  a.SetCount(1000);
  a.rate = 100000.0;
  ChannelRecord result = OldResult();
  ASSERT_EQ(IntegrateRectangle(a, result), MathResult::kOk);
  EXPECT_EQ(Values(result), std::vector<double>(1000, 0.0));
}

TEST(IntegrateMidpoint, GivesOneStripAreaBetweenNeighbours) {
  ChannelRecord a = RecordOf({1.0, 2.0, 3.0}, 1, 10.0);
  a.device = 4;
  ChannelRecord result = OldResult();
  ASSERT_EQ(IntegrateMidpoint(a, result), MathResult::kOk);
  EXPECT_EQ(result.count(), 2u);
  ExpectSamplesNear(result.samples(), {0.15, 0.25});
  EXPECT_EQ(result.gain, 1);
  EXPECT_EQ(result.rate, 10.0);
  EXPECT_EQ(result.device, 4);
  EXPECT_EQ(result.chan, 6);
  EXPECT_DOUBLE_EQ(result.statistics().mean, 0.2);
}

TEST(IntegrateMidpoint, GainMultipliesEachStrip) {
  const ChannelRecord a = RecordOf({0.1, 0.3}, 5, 1.0);
  ChannelRecord result = OldResult();
  ASSERT_EQ(IntegrateMidpoint(a, result), MathResult::kOk);
  ExpectSamplesNear(result.samples(), {1.0});
}

TEST(IntegrateMidpoint, SingleSampleGivesAnEmptyResult) {
  const ChannelRecord a = RecordOf({4.0}, 1, 10.0);
  ChannelRecord result = OldResult();
  ASSERT_EQ(IntegrateMidpoint(a, result), MathResult::kOk);
  EXPECT_EQ(result.count(), 0u);
  EXPECT_TRUE(result.samples().empty());
  EXPECT_EQ(result.statistics().maxValue, 0.0);
  EXPECT_EQ(result.statistics().minValue, 0.0);
  EXPECT_EQ(result.statistics().mean, 0.0);
}

TEST(IntegrateMidpoint, EmptyOperandIsRefusedAndLeavesAnEmptyResult) {
  ChannelRecord a;
  a.device = 4;
  a.gain = 3;
  a.rate = 10.0;
  ChannelRecord result = OldResult();
  EXPECT_EQ(IntegrateMidpoint(a, result), MathResult::kNoMemory);
  EXPECT_EQ(result.count(), 0u);
  EXPECT_TRUE(result.samples().empty());
  EXPECT_EQ(result.device, 4);
  EXPECT_EQ(result.gain, 1);
  EXPECT_EQ(result.rate, 10.0);
  EXPECT_EQ(result.chan, 6);
  EXPECT_EQ(result.statistics().mean, 0.25);  // statistics not updated
}

TEST(IntegrateMidpoint, ResultThatIsTheOperandIsAllZeros) {
  ChannelRecord a = RecordOf({1.0, 2.0, 3.0}, 2, 10.0);
  ASSERT_EQ(IntegrateMidpoint(a, a), MathResult::kOk);
  EXPECT_EQ(a.count(), 2u);
  EXPECT_EQ(Values(a), (std::vector<double>{0.0, 0.0}));
}

TEST(IntegrateMidpoint, ReadsOnlyTheSamplesTheOperandHolds) {
  ChannelRecord a;
  a.gain = 1;
  SetSamples(a, {2.0});
  a.SetCount(3);  // promises three samples but holds one
  a.rate = 1.0;
  ChannelRecord result = OldResult();
  ASSERT_EQ(IntegrateMidpoint(a, result), MathResult::kOk);
  EXPECT_EQ(Values(result), (std::vector<double>{1.0, 0.0}));
}

}  // namespace
}  // namespace tavril
