#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <numbers>
#include <span>
#include <vector>

#include "acquisition/simulated_board.h"

namespace tavril {
namespace {

using Cplx = std::complex<double>;
constexpr double kPi = std::numbers::pi;
constexpr std::int16_t kHalfGain = -1;  // ±10 V: a reading equals the output's code

std::vector<BoardReading> AcquireFinite(SimulatedBoard& board, std::vector<int> channels,
                                        std::int16_t gain, double rate, std::size_t count) {
  std::vector<BoardReading> readings(count);
  const std::size_t scans = count / channels.size();
  EXPECT_EQ(board.Start({std::move(channels), gain, rate, 0.0, scans}), kDaqNoError);
  EXPECT_EQ(board.Read(readings).count, count);
  board.Stop();
  return readings;
}

int OutputCode(double volts) {
  return static_cast<int>(std::clamp(std::round(volts * 204.8), -2048.0, 2047.0));
}

TEST(SimulatedOutputsLoopback, FiniteOutputReadsBackAsItsHeldCodesSampleForSample) {
  struct Case {
    int output;
    int input;
    double updateRate;
    double inputRate;
  };
  const Case cases[] = {
      {0, 5, 100e3, 100e3}, {0, 5, 100e3, 1e6}, {1, 6, 1e6, 1e6}, {1, 6, 30e3, 100e3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.updateRate);
    std::vector<double> volts;
    for (int k = 0; k < 300; ++k) volts.push_back(-12.0 + 0.0813 * k);  // clamps at both ends
    SimulatedBoard board;
    ASSERT_EQ(board.StartOutput({{c.output}, c.updateRate, OutputMode::kFinite, volts, true}),
              kDaqNoError);
    const std::size_t count = static_cast<std::size_t>(400 * c.inputRate / c.updateRate);
    const auto readings = AcquireFinite(board, {c.input}, kHalfGain, c.inputRate, count);
    for (std::size_t j = 0; j < count; ++j) {
      const std::size_t k =
          j * static_cast<std::size_t>(c.updateRate) / static_cast<std::size_t>(c.inputRate);
      ASSERT_EQ(readings[j], k < volts.size() ? OutputCode(volts[k]) : 0) << j;  // 0 V after
    }
  }
}

TEST(SimulatedOutputsLoopback, RegeneratedOutputRepeatsItsPeriod) {
  const std::vector<double> period = {1.0, -2.0, 3.5, 0.25, -9.0, 7.0, 0.0};
  SimulatedBoard board;
  ASSERT_EQ(board.StartOutput({{0}, 100e3, OutputMode::kRegenerated, period, true}), kDaqNoError);
  const auto readings = AcquireFinite(board, {5}, kHalfGain, 100e3, 1000);
  for (std::size_t j = 0; j < readings.size(); ++j) {
    ASSERT_EQ(readings[j], OutputCode(period[j % period.size()])) << j;
  }
}

TEST(SimulatedOutputsLoopback, OutputStartedAtOnceIsReadFromWhereItStandsAtTheInputsStart) {
  InstantStreamClock clock;
  SimulatedBoard board(clock);
  std::vector<double> volts;
  for (int k = 0; k < 500; ++k) volts.push_back(0.01 * k);
  ASSERT_EQ(board.StartOutput({{0}, 100e3, OutputMode::kFinite, volts, false}), kDaqNoError);
  clock.WaitUntil(1e-3);  // 100 updates later
  const auto readings = AcquireFinite(board, {5}, kHalfGain, 100e3, 300);
  for (std::size_t j = 0; j < readings.size(); ++j) {
    ASSERT_EQ(readings[j], OutputCode(volts[j + 100])) << j;
  }
}

// The test circuit's response at f to the held sine, analytically: the
// circuit's H(j2πf) times the hold's sinc(f/fs) e^{-jπf/fs} times the
// fundamental of the output's quantised values.
Cplx ExpectedResponse(const std::vector<double>& held, double f, double fs) {
  Cplx fundamental = 0;
  for (std::size_t k = 0; k < held.size(); ++k) {
    fundamental += held[k] * std::polar(1.0, -2 * kPi * f * static_cast<double>(k) / fs);
  }
  fundamental *= 2.0 / static_cast<double>(held.size());
  const double w0 = 2 * kPi * 1000.0;
  const Cplx s(0, 2 * kPi * f);
  const Cplx circuit = w0 * w0 / (s * s + (w0 / 2.0) * s + w0 * w0);
  const double x = kPi * f / fs;
  return circuit * (std::sin(x) / x) * std::polar(1.0, -x) * fundamental;
}

TEST(SimulatedOutputsCircuit, HeldSineOnInput7MatchesTheCircuitWithin10mdBAnd0Point1Degree) {
  struct Case {
    double hz;
    int periodUpdates;  // whole cycles of the sine
    double inputRate;
    std::int16_t gain;
  };
  const Case cases[] = {{200, 500, 100e3, 2}, {200, 500, 1e6, 2},     {1000, 100, 100e3, 1},
                        {1000, 100, 1e6, 1},  {3000, 100, 100e3, 10}, {3000, 100, 1e6, 10}};
  const double fs = 100e3;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.hz);
    SCOPED_TRACE(c.inputRate);
    std::vector<double> period;
    for (int k = 0; k < c.periodUpdates; ++k)
      period.push_back(2.0 * std::sin(2 * kPi * c.hz * k / fs));
    SimulatedBoard board;
    ASSERT_EQ(board.StartOutput({{1}, fs, OutputMode::kRegenerated, period, true}), kDaqNoError);
    const std::size_t settle = static_cast<std::size_t>(0.02 * c.inputRate);  // 60 time constants
    const std::size_t window = static_cast<std::size_t>(0.1 * c.inputRate);   // whole periods
    const auto readings = AcquireFinite(board, {7}, c.gain, c.inputRate, settle + window);
    Cplx measured = 0;
    for (std::size_t j = settle; j < readings.size(); ++j) {
      const double volts = readings[j] / (409.6 * c.gain);
      measured += volts * std::polar(1.0, -2 * kPi * c.hz * static_cast<double>(j) / c.inputRate);
    }
    measured *= 2.0 / static_cast<double>(window);
    std::vector<double> held;
    for (double v : period) held.push_back(OutputCode(v) / 204.8);
    const Cplx expected = ExpectedResponse(held, c.hz, fs);
    EXPECT_NEAR(20 * std::log10(std::abs(measured) / std::abs(expected)), 0.0, 0.01);
    EXPECT_NEAR(std::arg(measured / expected) * 180 / kPi, 0.0, 0.1);
  }
}

// ---- Stopping ----

std::vector<BoardReading> ReadStream(SimulatedBoard& board, std::size_t count) {
  std::vector<BoardReading> readings(count);
  EXPECT_EQ(board.Read(readings).count, count);
  return readings;
}

TEST(SimulatedOutputsStop, StopAndZeroPutTheRunsOutputsAt0VForTheAcquisitionReadingThem) {
  for (const bool zero : {false, true}) {
    InstantStreamClock clock;
    SimulatedBoard board(clock);
    ASSERT_EQ(board.StartOutput({{0, 1}, 100e3, OutputMode::kRegenerated, {3.0, -4.0}, true}),
              kDaqNoError);
    ASSERT_EQ(board.Start({{5, 6, 7}, kHalfGain, 300e3, 0.0, 0}), kDaqNoError);
    const auto running = ReadStream(board, 3000);
    EXPECT_EQ(running[2997], OutputCode(3.0));
    EXPECT_EQ(running[2998], OutputCode(-4.0));
    ASSERT_EQ(zero ? board.ZeroOutputs() : board.StopOutput(), kDaqNoError);
    const auto stopped = ReadStream(board, 3000);
    for (std::size_t j = 0; j < stopped.size(); j += 3) {
      ASSERT_EQ(stopped[j], 0) << j;
      ASSERT_EQ(stopped[j + 1], 0) << j;
    }
    EXPECT_LT(std::abs(stopped[2999]), std::abs(running[2999]));  // the circuit decays
    board.Stop();
  }
}

TEST(SimulatedOutputsStop, WithoutAnOutputRunInputs5To7ReadTheirOwnSignals) {
  SimulatedBoard board;
  ASSERT_EQ(board.StartOutput({{0, 1}, 100e3, OutputMode::kRegenerated, {3.0, -4.0}, false}),
            kDaqNoError);
  ASSERT_EQ(board.StopOutput(), kDaqNoError);
  const auto readings = AcquireFinite(board, {5, 6, 7}, 1, 300e3, 3000);
  SimulatedBoard untouched;
  EXPECT_EQ(readings, AcquireFinite(untouched, {5, 6, 7}, 1, 300e3, 3000));
}

TEST(SimulatedOutputsStop, StreamedOutputNotFedUnderrunsAt0VWithItsStatus) {
  InstantStreamClock clock;
  SimulatedBoard board(clock);
  ASSERT_EQ(board.StartOutput({{0}, 100e3, OutputMode::kStreamed, {}, true}), kDaqNoError);
  const std::vector<double> block(1000, 2.0);
  ASSERT_EQ(board.WriteOutput(block), kDaqNoError);
  ASSERT_EQ(board.Start({{5}, kHalfGain, 100e3, 0.0, 0}), kDaqNoError);
  const auto readings = ReadStream(board, 3000);
  EXPECT_EQ(board.WriteOutput(block), kOutputUnderrunError);
  EXPECT_EQ(board.WriteOutput(block), kOutputUnderrunError);
  EXPECT_EQ(board.StopOutput(), kOutputUnderrunError);
  EXPECT_EQ(board.StopOutput(), kDaqNoError);
  for (std::size_t j = 0; j < readings.size(); ++j) {
    ASSERT_EQ(readings[j], j < block.size() ? OutputCode(2.0) : 0) << j;
  }
  EXPECT_NE(board.StatusMessage(kOutputUnderrunError).find("0 V"), std::string::npos);
  board.Stop();
}

TEST(SimulatedOutputsStream, OutputWrittenBlockByBlockFromWhatWasJustReadFollowsIt) {
  InstantStreamClock clock;
  SimulatedBoard board(clock);
  ASSERT_EQ(board.StartOutput({{0}, 100e3, OutputMode::kStreamed, {}, true}), kDaqNoError);
  std::vector<double> block(1000, 0.5);  // one block ahead of the reads
  ASSERT_EQ(board.WriteOutput(block), kDaqNoError);
  ASSERT_EQ(board.Start({{5}, kHalfGain, 100e3, 0.0, 0}), kDaqNoError);
  for (int round = 1; round <= 20; ++round) {
    const auto readings = ReadStream(board, block.size());
    for (std::size_t j = 0; j < block.size(); ++j) {
      ASSERT_EQ(readings[j], OutputCode(block[j])) << round;
      block[j] = readings[j] / 204.8 + 0.25;  // the next block: what was read, raised
    }
    ASSERT_EQ(board.WriteOutput(block), kDaqNoError) << round;
  }
  EXPECT_EQ(board.StopOutput(), kDaqNoError);
  board.Stop();
}

TEST(SimulatedOutputsRefusals, StartOutputRefusesWithItsStatus) {
  struct Case {
    OutputRequest request;
    DaqStatus status;
  };
  const Case cases[] = {
      {{{2}, 1e3, OutputMode::kFinite, {1.0}}, kBadChanError},
      {{{0, 0}, 1e3, OutputMode::kFinite, {1.0, 1.0}}, kBadChanError},
      {{{}, 1e3, OutputMode::kFinite, {}}, kBadChanError},
      {{{0}, 1.5e6, OutputMode::kFinite, {1.0}}, kBadIntervalError},
      {{{0}, 0.0, OutputMode::kFinite, {1.0}}, kBadIntervalError},
      {{{0}, 1e3, OutputMode::kRegenerated, {}}, kBadCountError},
      {{{0, 1}, 1e3, OutputMode::kFinite, {1.0, 2.0, 3.0}}, kBadCountError},
      {{{0}, 1e3, OutputMode::kFinite, {std::nan("")}}, kInvalidValueError},
  };
  for (const Case& c : cases) {
    SimulatedBoard board;
    EXPECT_EQ(board.StartOutput(c.request), c.status);
  }
}

TEST(SimulatedOutputsRefusals, ABoardWithoutOutputsRefusesEveryOutputCall) {
  struct NoOutputs : SimulatedBoard {
    std::vector<OutputDescription> Outputs() const override { return {}; }
  };
  // The interface's own answers, reached past the simulated board's.
  NoOutputs board;
  Board& plain = board;
  EXPECT_EQ(plain.Board::StartOutput({}), kNoOutputError);
  EXPECT_EQ(plain.Board::WriteOutput({}), kNoOutputError);
  EXPECT_EQ(plain.Board::StopOutput(), kNoOutputError);
  EXPECT_EQ(plain.Board::ZeroOutputs(), kNoOutputError);
  EXPECT_TRUE(plain.Board::Outputs().empty());
}

}  // namespace
}  // namespace tavril
