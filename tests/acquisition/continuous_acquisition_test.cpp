#include "acquisition/continuous_acquisition.h"

#include <gtest/gtest.h>

#include <limits>
#include <thread>

#include "acquisition/recording_run.h"
#include "acquisition/simulated_board.h"
#include "support/scripted_user.h"

namespace tavril {
namespace {

// Streams a counter: reading k of the run is k modulo 30000. After
// `failAfter` readings it fails with `failStatus`.
class CounterBoard : public Board {
 public:
  std::uint64_t failAfter = std::numeric_limits<std::uint64_t>::max();
  DaqStatus failStatus = kTimeOutError;
  double rateUsed = 0.0;  // 0: the board cannot say
  double RateUsed() const override { return rateUsed; }

  DaqStatus Configure(const InputSettings&) override { return kDaqNoError; }
  DaqStatus SetTimeout(std::int32_t) override { return kDaqNoError; }
  DaqStatus Start(const AcquisitionRequest& request) override {
    next_ = 0;
    left_ = request.scans == 0 ? failAfter : request.scans * request.channels.size();
    return kDaqNoError;
  }
  ReadResult Read(std::span<BoardReading> readings) override {
    const std::size_t count =
        static_cast<std::size_t>(std::min<std::uint64_t>(readings.size(), left_));
    for (std::size_t k = 0; k < count; ++k) readings[k] = Reading(next_++);
    left_ -= count;
    return {count < readings.size() ? failStatus : kDaqNoError, count};
  }
  void Stop() override {}
  DaqStatus ScaleFor(int, std::int16_t, VoltScale& scale) override {
    scale = VoltScale{};
    scale.lowestReading = -2048;
    scale.highestReading = 32767;
    scale.fullScaleReading = 2048;
    scale.fullScaleVolts = 5;
    scale.gainFactor = 2;
    return kDaqNoError;
  }
  static BoardReading Reading(std::uint64_t k) { return static_cast<BoardReading>(k % 30000); }
  // Reading k in volts, with the plans' gain adjustment and offset.
  double Volts(std::uint64_t k) {
    VoltScale scale;
    ScaleFor(0, 1, scale);
    return scale.Volts(Reading(k), 0.987, 3.5);
  }

 private:
  std::uint64_t next_ = 0;
  std::uint64_t left_ = 0;
};

// The simulated board on a clock that jumps to each reading's time; its clock rounds the rate.
class InstantBoard : public SimulatedBoard {
 public:
  InstantBoard() : SimulatedBoard(clock) {}
  double RateUsed() const override { return rateUsed; }
  InstantStreamClock clock;
  double rateUsed = 100000.0;
};

// Keeps every sample, checking its reading's conversion; fails its
// `failOnAppend`-th append.
class KeepingSink : public SampleSink {
 public:
  std::vector<std::vector<double>> kept;
  int misconverted = 0;  // readings whose conversion is not their volts
  int failOnAppend = -1;
  int flushes = 0;

  bool Append(const SampleBlock& block, std::string* why) override {
    if (appends_++ == failOnAppend) {
      *why = "Le disque est plein.";
      return false;
    }
    kept.resize(block.volts.size());
    for (std::size_t j = 0; j < block.volts.size(); ++j) {
      kept[j].insert(kept[j].end(), block.volts[j].begin(), block.volts[j].end());
      for (std::size_t s = 0; s < block.Scans(); ++s) {
        misconverted += block.conversion->Volts(block.Reading(j, s)) != block.volts[j][s];
      }
    }
    return true;
  }
  bool Flush(std::string*) override {
    ++flushes;
    return true;
  }
  bool Started(double samplesPerSecond, const ReadingConversion&, std::string*) override {
    rate = samplesPerSecond;
    return kept.empty();
  }
  std::uint64_t SamplesPerChannel() const override { return kept.empty() ? 0 : kept[0].size(); }
  double rate = 0.0;
  std::uint64_t BytesOnDisk() const override { return 0; }

 private:
  int appends_ = 0;
};

AcquisitionPlan ThreeChannels(std::uint32_t count) {
  ChannelTable table{};
  for (ChannelRecord& record : table) {
    record.SetCount(count);
    record.rate = 300000.0;
    record.gain = 1;
  }
  BoardConfig config = DefaultBoardConfig();
  config.gainAdjust = 0.987;
  config.offset = 3.5;
  return *PlanAcquisition(table, {true, true, true}, 0.0, config);
}

ContinuousOutcome RunUntilItEnds(CounterBoard& board, ContinuousSettings settings,
                                 ContinuousAcquisition& run) {
  EXPECT_TRUE(run.Start(board, settings));
  run.Wait();
  ContinuousSnapshot snapshot;
  run.TakeSnapshot(snapshot);
  EXPECT_FALSE(snapshot.running);
  // Three channels at 300,000 conversions a second: 100,000 scans asked.
  EXPECT_EQ(snapshot.rateUsed, board.rateUsed > 0.0 ? board.rateUsed : 100000.0);
  return snapshot.outcome.value();
}

TEST(ContinuousAcquisition, LastSnapshotMatchesTheFiniteAcquisitionsVolts) {
  CounterBoard board;
  testing::ScriptedUser user;
  const AcquisitionPlan plan = ThreeChannels(70000);
  SpareSamples finite;
  ASSERT_EQ(RunAcquisition(plan, board, user, finite).outcome, AcquisitionOutcome::kAcquired);
  board.failAfter = 3 * 70000;  // exactly the finite acquisition's readings
  ContinuousAcquisition run;
  RunUntilItEnds(board, {plan, 70000, {}, nullptr}, run);
  ContinuousSnapshot last;
  run.TakeSnapshot(last);
  for (const int i : {0, 1, 2}) EXPECT_EQ(last.channels[i], finite.samples[plan.records[i]]) << i;
}

TEST(ContinuousAcquisition, SinkGetsEverySampleInOrderUntilABoardError) {
  CounterBoard board;
  board.failAfter = 3 * 250001 + 2;  // a partial scan at the end
  board.failStatus = kMemFullError;
  board.rateUsed = 99999.5;  // the board's clock rounded the 100,000 scans asked
  KeepingSink sink;
  ContinuousAcquisition run;
  const AcquisitionPlan plan = ThreeChannels(1000);
  const ContinuousOutcome outcome = RunUntilItEnds(board, {plan, 1000, {}, &sink}, run);
  EXPECT_EQ(sink.rate, 99999.5);  // told before the first samples
  EXPECT_EQ(outcome.end, ContinuousEnd::kBoardError);
  EXPECT_EQ(outcome.status, kMemFullError);
  EXPECT_EQ(outcome.message, board.StatusMessage(kMemFullError));
  EXPECT_EQ(outcome.samplesRead, 250001u);
  EXPECT_EQ(outcome.samplesRecorded, 250001u);
  EXPECT_EQ(sink.misconverted, 0);
  for (std::size_t j = 0; j < 3; ++j) {
    ASSERT_EQ(sink.kept[j].size(), 250001u);
    for (std::uint64_t s = 0; s < 250001; ++s) {
      ASSERT_EQ(sink.kept[j][s], board.Volts(s * 3 + j)) << j << " " << s;
    }
  }
}

TEST(ContinuousAcquisition, SinkFailureStopsTheRunWithItsWhy) {
  CounterBoard board;
  KeepingSink sink;
  sink.failOnAppend = 5;
  ContinuousAcquisition run;
  const ContinuousOutcome outcome =
      RunUntilItEnds(board, {ThreeChannels(100), 100, {}, &sink}, run);
  EXPECT_EQ(outcome.end, ContinuousEnd::kSinkError);
  EXPECT_EQ(outcome.message, "Le disque est plein.");
  EXPECT_EQ(outcome.samplesRecorded, sink.SamplesPerChannel());
  EXPECT_EQ(outcome.samplesRead, outcome.samplesRecorded + 1000);  // 1000 scans a block at 100 kHz
}

TEST(ContinuousAcquisition, UserStopKeepsCountsAndTheNewestWindow) {
  CounterBoard board;
  KeepingSink sink;
  ContinuousAcquisition run;
  ASSERT_TRUE(run.Start(board, {ThreeChannels(500), 500, {}, &sink}));
  ContinuousSnapshot snapshot;
  do {
    std::this_thread::yield();
    run.TakeSnapshot(snapshot);
  } while (snapshot.samplesRead < 5000);
  EXPECT_FALSE(run.Start(board, {ThreeChannels(500), 500, {}, &sink}));
  run.Stop();
  run.TakeSnapshot(snapshot);
  ASSERT_EQ(snapshot.outcome->end, ContinuousEnd::kStoppedByUser);
  EXPECT_EQ(snapshot.outcome->samplesRecorded, snapshot.samplesRead);
  ASSERT_EQ(snapshot.channels[2].size(), 500u);
  EXPECT_TRUE(std::equal(snapshot.channels[2].begin(), snapshot.channels[2].end(),
                         sink.kept[2].end() - 500));
}

TEST(ContinuousAcquisition, TriggeredSnapshotShowsTheLastSweep) {
  CounterBoard board;  // channel 0 reads 0, 3, 6, ... 29997, then wraps: one rising edge a block
  board.failAfter = 3 * 15000;
  ContinuousSettings settings{ThreeChannels(100), 100, {}, nullptr};
  settings.trigger = {SweepMode::kNormal, 0, 0.0, TriggerEdge::kRising, 50, 0};
  ContinuousAcquisition run;
  RunUntilItEnds(board, settings, run);
  ContinuousSnapshot snapshot;
  run.TakeSnapshot(snapshot);
  ASSERT_EQ(snapshot.sweeps, 1u);
  ASSERT_EQ(snapshot.trigger, 50u);
  // The offset puts 0 V at reading 3.5: the trigger is scan 2 of channel 0
  // after the wrap at scan 10000.
  EXPECT_EQ(snapshot.channels[0][50], board.Volts(10002 * 3));
  EXPECT_EQ(snapshot.channels[1][0], board.Volts(9952 * 3 + 1));
}

// A window copied in pieces while the run goes on: a snapshot's channels hold the same scans.
TEST(ContinuousAcquisition, ASnapshotTakenMidRunHoldsTheSameScansInEveryChannel) {
  CounterBoard board;
  ContinuousAcquisition run;
  ASSERT_TRUE(run.Start(board, {ThreeChannels(100000), 100000, {}, nullptr}));
  ContinuousSnapshot shot;
  for (int whole = 0; whole < 20; whole += shot.channels[0].size() == 100000) {
    run.TakeSnapshot(shot);
    for (const auto& channel : shot.channels) ASSERT_EQ(channel.size(), shot.channels[0].size());
    for (std::size_t k = 0; k < 3 * shot.channels[0].size(); ++k) {
      ASSERT_EQ(shot.channels[k % 3][k / 3], board.Volts(shot.first * 3 + k)) << k;
    }
  }
}

TEST(RecordingRun, SetsTheTriggerUpOnTheChannelsPlaceAndSaysWhyItCannotFire) {
  const struct {
    RunTrigger trigger;
    std::optional<std::string> refusal;
    bool unreachable;
  } cases[] = {
      {{}, {}, false},
      {{SweepMode::kAutomatic, 5},
       "Le canal 5 du déclenchement ne fait pas partie de l'acquisition.",
       false},
      {{SweepMode::kSingle, 2, 10.0}, {}, true},
  };
  InstantBoard board;
  for (const auto& c : cases) {
    RecordingRun run(board.clock);
    const TriggerProblem problem = run.Configure(board, {ThreeChannels(1000), 1000, c.trigger});
    EXPECT_EQ(problem.refusal, c.refusal);
    EXPECT_EQ(problem.unreachable.has_value(), c.unreachable) << c.trigger.level;
    EXPECT_EQ(run.Start(nullptr), !c.refusal);
  }
}

// A single shot ends the run with its sweep (channel 0's 500 Hz sine rises
// through 0 V 2 ms in), a duration at the rate the board really runs at,
// which the run tells once; flushes follow the board's time.
TEST(RecordingRun, EndsByItselfOnTheBoardsTime) {
  const struct {
    RunTrigger trigger;
    double seconds;
    double rateUsed;
    std::uint64_t scans;
    std::uint64_t sweeps;
    int flushes;  // each second, and at the end
  } cases[] = {
      {{SweepMode::kSingle, 0, 0.0, {}, 10}, 0.0, 100000.0, 2000, 1, 1},
      {{}, 2.5, 99000.0, 247500, 0, 3},
  };
  for (const auto& c : cases) {
    InstantBoard board;
    board.rateUsed = c.rateUsed;
    RecordingRun run(board.clock);
    KeepingSink sink;
    run.Configure(board, {ThreeChannels(1000), 1000, c.trigger, c.seconds});
    ASSERT_TRUE(run.Start(&sink));
    run.Wait();
    ContinuousSnapshot snapshot;
    const std::optional<double> told = run.Watch(snapshot);
    EXPECT_EQ(told, c.rateUsed != run.RateAsked() ? std::optional(c.rateUsed) : std::nullopt);
    EXPECT_EQ(run.Watch(snapshot), std::nullopt);
    EXPECT_EQ(snapshot.outcome.value().end, ContinuousEnd::kStoppedByUser);
    EXPECT_EQ(snapshot.samplesRead, c.scans);
    EXPECT_EQ(sink.rate, c.rateUsed);
    EXPECT_EQ(snapshot.sweeps, c.sweeps);
    EXPECT_EQ(sink.flushes, c.flushes);
  }
}

}  // namespace
}  // namespace tavril
