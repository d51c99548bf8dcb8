// The whole pipeline, simulated board to HDF5 file, at the board's full rate.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "acquisition/continuous_acquisition.h"
#include "acquisition/simulated_board.h"
#include "files/hdf5_recording.h"
#include "support/recorded_signal.h"
#include "support/temp_dir.h"

namespace tavril {
namespace {

// Channels 3 to 0 at 1,250,000 conversions per second: 312,500 scans per second.
AcquisitionPlan FullRate() {
  ChannelTable table{};
  for (ChannelRecord& record : table)
    record.rate = SimulatedBoard::kMaxConversionRate, record.gain = 1;
  return *PlanAcquisition(table, {true, true, true, true}, 0.0, DefaultBoardConfig());
}

// One channel per board channel, in the plan's scan order as the run gives them.
std::unique_ptr<Hdf5Recording> CreateRecording(const std::filesystem::path& path,
                                               const AcquisitionPlan& plan) {
  std::vector<RecordingChannel> channels;
  for (const int chan : plan.request.channels) {
    channels.push_back({chan, "", 1, static_cast<std::int16_t>(chan), 1, 312500.0, {}});
  }
  return Hdf5Recording::Create(path, channels, nullptr);
}

// Time that passes only when waited for, or when a stalled reader lets it jump.
class JumpingClock : public StreamClock {
 public:
  double now = 0.0;
  double Now() override { return now; }
  void WaitUntil(double seconds) override { now = std::max(now, seconds); }
};

// Records, but its 50th append takes two seconds, twice the board's buffer.
class StallingSink : public SampleSink {
 public:
  StallingSink(SampleSink& recording, JumpingClock& clock) : recording_(recording), clock_(clock) {}
  bool Append(std::span<const std::span<const double>> channels, std::string* why) override {
    if (++appends_ == 50) clock_.now += 2.0;
    return recording_.Append(channels, why);
  }
  bool Flush(std::string* why) override { return recording_.Flush(why); }
  std::uint64_t SamplesPerChannel() const override { return recording_.SamplesPerChannel(); }
  std::uint64_t BytesOnDisk() const override { return recording_.BytesOnDisk(); }

 private:
  SampleSink& recording_;
  JumpingClock& clock_;
  int appends_ = 0;
};

TEST(ContinuousRecording, TenSecondsAtTheFullRateKeepEverySampleOnTime) {
  testing::TempDir dir;
  const AcquisitionPlan plan = FullRate();
  auto recording = CreateRecording(dir / "rec.h5", plan);
  ASSERT_TRUE(recording);
  SimulatedBoard board;  // paced by the steady clock
  ContinuousAcquisition run;
  ASSERT_TRUE(run.Start(board, {plan, 1000, {}, recording.get()}));
  ContinuousSnapshot snapshot;
  do {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    run.TakeSnapshot(snapshot);
  } while (snapshot.running && snapshot.samplesRead < 3'125'000);
  run.Stop();
  run.TakeSnapshot(snapshot);
  EXPECT_EQ(snapshot.outcome->end, ContinuousEnd::kStoppedByUser) << snapshot.outcome->message;
  ASSERT_TRUE(recording->Close(nullptr));
  EXPECT_EQ(testing::ExpectRecordedSignal(dir / "rec.h5", plan.request),
            snapshot.outcome->samplesRecorded);
  EXPECT_GE(snapshot.outcome->samplesRecorded, 3'125'000u);
}

TEST(ContinuousRecording, AStalledReaderEndsOnTheOverrunKeepingWhatItRead) {
  testing::TempDir dir;
  const AcquisitionPlan plan = FullRate();
  auto recording = CreateRecording(dir / "rec.h5", plan);
  ASSERT_TRUE(recording);
  JumpingClock clock;
  SimulatedBoard board(clock);
  StallingSink sink(*recording, clock);
  ContinuousAcquisition run;
  ASSERT_TRUE(run.Start(board, {plan, 1000, {}, &sink}));
  run.Wait();
  ContinuousSnapshot snapshot;
  run.TakeSnapshot(snapshot);
  const ContinuousOutcome& outcome = snapshot.outcome.value();
  EXPECT_EQ(outcome.end, ContinuousEnd::kBoardError);
  EXPECT_EQ(outcome.message,
            "Le tampon de la carte a débordé : les mesures n'ont pas été lues à temps.");
  // 50 blocks of 10 ms, then what the first read after the stall gave.
  EXPECT_EQ(outcome.samplesRecorded, 51u * 3125u);
  ASSERT_TRUE(recording->Close(nullptr));
  EXPECT_EQ(testing::ExpectRecordedSignal(dir / "rec.h5", plan.request), outcome.samplesRecorded);
}

}  // namespace
}  // namespace tavril
