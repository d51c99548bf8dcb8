#include "acquisition/output_player.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

#include "acquisition/simulated_board.h"
#include "processing/wave_measurements.h"

namespace tavril {
namespace {

constexpr std::int16_t kHalfGain = -1;  // x0.5: the input's range holds ±10 V
constexpr double kFullScale = 10.0;

std::vector<double> Volts(SimulatedBoard& board, const std::vector<BoardReading>& readings) {
  VoltScale scale;
  EXPECT_EQ(board.ScaleFor(5, kHalfGain, scale), kDaqNoError);
  std::vector<double> volts;
  for (const BoardReading reading : readings) volts.push_back(scale.Volts(reading, 1.0, 0.0));
  return volts;
}

// One second at 1 MS/s of a wave on output 0, read back on input 5 and
// measured as the Mesures window measures a record.
TEST(GeneratorLoopback, MeasuredFrequencyWithin10ppmAndLevelsWithinAThousandthOfFullScale) {
  struct Case {
    WaveShape shape;
    double hz;
    double amplitude;
    double offset;
  };
  const Case cases[] = {
      {WaveShape::kSine, 1000.0, 5.0, 0.0},
      {WaveShape::kSine, 12345.6, 9.0, 0.5},
      {WaveShape::kSquare, 777.7, 4.0, -1.0},
      {WaveShape::kTriangle, 2500.0, 8.0, 1.0},
      {WaveShape::kRisingSawtooth, 333.3, 3.0, 2.0},
      {WaveShape::kFallingSawtooth, 50.0, 7.5, 0.0},
      {WaveShape::kDc, 0.0, 0.0, -3.21},
  };
  constexpr double kRate = 1e6;
  constexpr std::size_t kCount = 1'000'000;
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.shape));
    WaveSettings wave;
    wave.shape = c.shape;
    wave.frequency = c.hz;
    wave.amplitude = c.amplitude;
    wave.offset = c.offset;
    WaveGenerator generator(wave, kRate);
    std::vector<double> volts(kCount);
    generator.Fill(volts);
    SimulatedBoard board;
    ASSERT_EQ(board.StartOutput({{0}, kRate, OutputMode::kFinite, volts, true}), kDaqNoError);
    std::vector<BoardReading> readings(kCount);
    ASSERT_EQ(board.Start({{5}, kHalfGain, kRate, 0.0, kCount}), kDaqNoError);
    ASSERT_EQ(board.Read(readings).count, kCount);
    board.Stop();
    const WaveMeasurements measured = MeasureWave(Volts(board, readings), kRate);
    const double tolerance = 1e-3 * kFullScale;
    if (c.shape == WaveShape::kDc) {
      EXPECT_NEAR(*measured.mean, c.offset, tolerance);
      continue;
    }
    ASSERT_TRUE(measured.frequency.has_value());
    EXPECT_NEAR(*measured.frequency / c.hz - 1.0, 0.0, 10e-6);
    EXPECT_NEAR(*measured.peakToPeak / 2, c.amplitude, tolerance);
    EXPECT_NEAR((*measured.maximum + *measured.minimum) / 2, c.offset, tolerance);
  }
}

// A player's run is the generator's values, block after block, on the same
// clock as the input that started with it.
TEST(OutputPlayer, StreamedRunReadsBackAsTheGeneratorsValuesSampleForSample) {
  SimulatedBoard board;
  OutputPlayer player(board);
  WaveSettings sine;
  sine.frequency = 1234.5;
  sine.amplitude = 7.0;
  WaveSettings noise;
  noise.shape = WaveShape::kGaussianNoise;
  noise.amplitude = 2.0;
  constexpr double kRate = 200e3;
  ASSERT_EQ(player.Start({{0, sine}, {1, noise}}, kRate, true), kDaqNoError);
  // The rate is of samples: two a scan.
  ASSERT_EQ(board.Start({{5, 6}, kHalfGain, 2 * kRate, 0.0, 0}), kDaqNoError);
  // Several blocks past the first ones given with the start.
  std::vector<BoardReading> readings(2 * 5 * OutputPlayer::kBlockUpdates);
  ASSERT_EQ(board.Read(readings).count, readings.size());
  board.Stop();
  EXPECT_EQ(player.Stop(), kDaqNoError);
  const WaveGenerator expectedSine(sine, kRate);
  const WaveGenerator expectedNoise(noise, kRate);
  for (std::size_t k = 0; k < readings.size() / 2; ++k) {
    ASSERT_EQ(SimulatedOutputs::Volts(readings[2 * k]),
              SimulatedOutputs::Volts(SimulatedOutputs::Code(expectedSine.At(k))))
        << k;
    ASSERT_EQ(SimulatedOutputs::Volts(readings[2 * k + 1]),
              SimulatedOutputs::Volts(SimulatedOutputs::Code(expectedNoise.At(k))))
        << k;
  }
}

// A clock that stands still until the test moves it: the board's buffer
// runs dry on demand.
class SteppedClock final : public StreamClock {
 public:
  double Now() override { return now_.load(); }
  void WaitUntil(double seconds) override {
    while (Now() < seconds && !released_.load()) std::this_thread::yield();
  }
  void Jump(double seconds) { now_.store(now_.load() + seconds); }
  void Release() { released_.store(true); }

 private:
  std::atomic<double> now_ = 0.0;
  std::atomic<bool> released_ = false;
};

TEST(OutputPlayer, UnderrunEndsTheRunAt0VAndSaysSoOnce) {
  SteppedClock clock;
  SimulatedBoard board(clock);
  std::atomic<int> failures = 0;
  std::atomic<DaqStatus> reported = kDaqNoError;
  OutputPlayer player(board, [&](DaqStatus status) {
    reported.store(status);
    failures.fetch_add(1);
  });
  WaveSettings dc;
  dc.shape = WaveShape::kDc;
  dc.offset = 4.0;
  ASSERT_EQ(player.Start({{0, dc}}, 1e6, false), kDaqNoError);
  ASSERT_EQ(board.Start({{5}, kHalfGain, 1000.0, 0.0, 0}), kDaqNoError);
  while (player.Written() + OutputPlayer::kBlockUpdates < 1'000'000) std::this_thread::yield();
  clock.Jump(10.0);  // ten seconds with the player's thread held back
  clock.Release();
  while (failures.load() == 0) std::this_thread::yield();
  EXPECT_EQ(reported.load(), kOutputUnderrunError);
  EXPECT_EQ(player.Failure(), kOutputUnderrunError);
  EXPECT_EQ(player.Stop(), kOutputUnderrunError);
  EXPECT_EQ(failures.load(), 1);
  // Held until the buffer of one second ran dry, then 0 V.
  std::vector<BoardReading> readings(3000);
  ASSERT_EQ(board.Read(readings).count, readings.size());
  board.Stop();
  EXPECT_EQ(readings[500], SimulatedOutputs::Code(4.0));
  for (std::size_t j = 2000; j < readings.size(); ++j) ASSERT_EQ(readings[j], 0) << j;
}

TEST(OutputPlayer, StopAndTheEndOfThePlayerLeaveTheOutputsAt0V) {
  WaveSettings dc;
  dc.shape = WaveShape::kDc;
  dc.offset = 4.0;
  for (const bool destroyed : {false, true}) {
    SimulatedBoard board;
    std::vector<BoardReading> readings(2000);
    {
      OutputPlayer player(board);
      ASSERT_EQ(player.Start({{0, dc}, {1, dc}}, 100e3, false), kDaqNoError);
      ASSERT_EQ(board.Start({{5, 6}, kHalfGain, 200e3, 0.0, 0}), kDaqNoError);
      ASSERT_EQ(board.Read(readings).count, readings.size());
      EXPECT_EQ(readings.back(), SimulatedOutputs::Code(4.0));
      if (!destroyed) {
        EXPECT_EQ(player.Stop(), kDaqNoError);
      }
    }
    // What the input had not yet read when the run stopped comes first.
    std::vector<BoardReading> after(20000);
    ASSERT_EQ(board.Read(after).count, after.size());
    for (std::size_t j = after.size() / 2; j < after.size(); ++j) ASSERT_EQ(after[j], 0) << j;
    board.Stop();
  }
}

}  // namespace
}  // namespace tavril
