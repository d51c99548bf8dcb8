#include "acquisition/simulated_board.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <numbers>
#include <span>
#include <string>
#include <vector>

#include "acquisition/scan_timing.h"

namespace tavril {
namespace {

constexpr BoardReading kUntouched = 0x5A5A;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// What the converter gives for `volts`: the reference the board must follow.
int Quantised(double volts, double gain, bool unipolar) {
  double x = std::round(volts * gain * 2048.0 / 5.0);
  return static_cast<int>(std::clamp(x, unipolar ? 0.0 : -2048.0, unipolar ? 4095.0 : 2047.0));
}

// Runs one finite acquisition of `channels` (in scan order) into `readings`,
// as the engine does, and returns the first status that is not 0.
DaqStatus AcquireInto(SimulatedBoard& board, std::vector<int> channels, std::int16_t gain,
                      std::span<BoardReading> readings, double rate, double scanRate = 0.0) {
  const std::size_t scans = channels.empty() ? 0 : readings.size() / channels.size();
  DaqStatus status = board.Start({std::move(channels), gain, rate, scanRate, scans});
  if (status == kDaqNoError) {
    const ReadResult read = board.Read(readings);
    status = read.count == readings.size() ? read.status : kBadCountError;
  }
  board.Stop();
  return status;
}

// Channels n - 1 down to 0, as the engine scans them.
std::vector<int> ScanOf(int n) {
  std::vector<int> channels;
  for (int chan = n - 1; chan >= 0; --chan) channels.push_back(chan);
  return channels;
}

std::vector<BoardReading> Acquire(SimulatedBoard& board, int chan, std::uint32_t count,
                                  double rate = 100000.0, std::int16_t gain = 1) {
  std::vector<BoardReading> readings(count, kUntouched);
  EXPECT_EQ(AcquireInto(board, {chan}, gain, readings, rate), kDaqNoError);
  return readings;
}

void Configure(SimulatedBoard& board, Polarity polarity) {
  ASSERT_EQ(board.Configure({InputMode::kReferenced, polarity}), kDaqNoError);
}

bool AllUntouched(const std::vector<BoardReading>& values) {
  return std::all_of(values.begin(), values.end(), [](BoardReading v) { return v == kUntouched; });
}

// Indexes k where the readings go from < 0 to >= 0 between k - 1 and k.
std::vector<int> UpwardCrossings(const std::vector<BoardReading>& r, int from = 1,
                                 int to = std::numeric_limits<int>::max()) {
  std::vector<int> at;
  for (int k = std::max(from, 1); k < std::min<int>(to, static_cast<int>(r.size())); ++k) {
    if (r[k - 1] < 0 && r[k] >= 0) at.push_back(k);
  }
  return at;
}

// ---- Refusals ----

TEST(SimulatedBoardRefusals, StartRefusesWithItsStatusAndReadsNothing) {
  struct Case {
    std::vector<int> channels;
    std::int16_t gain;
    std::uint64_t scans;
    double rate, scanRate;
    DaqStatus expected;
  };
  const Case cases[] = {
      {{-1}, 1, 10, 1000.0, 0.0, kBadChanError},
      {{16}, 1, 10, 1000.0, 0.0, kBadChanError},
      {{}, 1, 8, 1000.0, 0.0, kBadChanError},
      {ScanOf(17), 1, 1, 1000.0, 0.0, kBadChanError},
      {{0}, 0, 10, 1000.0, 0.0, kBadGainError},
      {{0}, 3, 10, 1000.0, 0.0, kBadGainError},
      {ScanOf(2), -2, 4, 1000.0, 0.0, kBadGainError},
      {{0}, 1, 0, 1250000.5, 0.0, kBadIntervalError},  // a stream, too fast
      {{0}, 1, 10, 0.0, 0.0, kBadIntervalError},
      {{0}, 1, 10, -1000.0, 0.0, kBadIntervalError},
      {{0}, 1, 10, kNaN, 0.0, kBadIntervalError},
      {{0}, 1, 10, kInf, 0.0, kBadIntervalError},
      {{0}, 1, 10, 1250000.5, 0.0, kBadIntervalError},
      {ScanOf(2), 1, 4, 2e6, 0.0, kBadIntervalError},
      {ScanOf(2), 1, 4, 1000.0, -1.0, kBadIntervalError},
      {ScanOf(2), 1, 4, 1000.0, kNaN, kBadIntervalError},
      {ScanOf(2), 1, 4, 1000.0, 500.5, kBadIntervalError},
      {ScanOf(2), 1, 4, 1000.0, kInf, kBadIntervalError},
  };
  for (const Case& c : cases) {
    SimulatedBoard board;
    EXPECT_EQ(board.Start({c.channels, c.gain, c.rate, c.scanRate, c.scans}), c.expected)
        << "channels " << c.channels.size() << " gain " << c.gain << " scans " << c.scans
        << " rate " << c.rate << " scan " << c.scanRate;
    std::vector<BoardReading> buffer(10, kUntouched);
    EXPECT_EQ(board.Read(buffer).count, 0u);
    EXPECT_TRUE(AllUntouched(buffer));
  }
  // The top of every range, and a scan rate that uses up the whole conversion rate.
  SimulatedBoard board;
  std::vector<BoardReading> buffer(10, kUntouched);
  EXPECT_EQ(AcquireInto(board, {15}, 100, buffer, 1250000.0), kDaqNoError);
  EXPECT_EQ(AcquireInto(board, ScanOf(2), 1, buffer, 1000.0, 500.0), kDaqNoError);
}

TEST(SimulatedBoardRefusals, ARateTooFastIsRefusedWithTheBoardsLimit) {
  struct Case {
    std::vector<int> channels;
    double rate, scanRate;
    std::string says;  // after the status's sentence
  };
  const std::string refused =
      "La fréquence d'échantillonnage ou de balayage ne peut pas être obtenue par la carte";
  const Case cases[] = {
      {ScanOf(4), 2e6, 0.0,
       " : au plus 1250000 conversions par seconde en tout, soit 312500 échantillons par seconde "
       "et par voie avec 4 voies."},
      {{0}, 1250000.5, 0.0, " : au plus 1250000 conversions par seconde en tout."},
      {ScanOf(2), 1000.0, 600.0,
       " : 2 voies à 600 balayages par seconde font 1200 conversions par seconde, plus que les "
       "1000 demandées ; au plus 500 balayages par seconde."},
      // No limit to tell for a rate that is not one.
      {{0}, -5.0, 0.0, "."},
      {ScanOf(2), 1000.0, kNaN, "."},
  };
  for (const Case& c : cases) {
    SimulatedBoard board;
    EXPECT_EQ(board.Start({c.channels, 1, c.rate, c.scanRate, 10}), kBadIntervalError);
    EXPECT_EQ(board.StatusMessage(kBadIntervalError), refused + c.says) << c.rate;
    // The next start that succeeds forgets it.
    ASSERT_EQ(board.Start({{0}, 1, 1000.0, 0.0, 10}), kDaqNoError);
    EXPECT_EQ(board.StatusMessage(kBadIntervalError), refused + ".");
  }
}

TEST(SimulatedBoardRefusals, ScaleForRefusesUnknownChannelsAndGains) {
  SimulatedBoard board;
  VoltScale scale;
  EXPECT_EQ(board.ScaleFor(16, 1, scale), kBadChanError);
  EXPECT_EQ(board.ScaleFor(-1, 1, scale), kBadChanError);
  EXPECT_EQ(board.ScaleFor(0, 25, scale), kBadGainError);
  EXPECT_EQ(board.ScaleFor(15, -1, scale), kDaqNoError);
}

TEST(SimulatedBoardRefusals, ConfigurationCodesOutsideTheirListsAreRefused) {
  struct Case {
    std::int16_t inputMode, polarity;
    DaqStatus expected;
  };
  const Case cases[] = {{3, 1, kBadInputModeError},
                        {-1, 1, kBadInputModeError},
                        {1, 2, kBadPolarityError},
                        {0, 0, kDaqNoError},
                        {2, 1, kDaqNoError}};
  for (const Case& c : cases) {
    EXPECT_EQ(InputSettingsFromCodes(c.inputMode, c.polarity).status, c.expected);
  }
}

// ---- Time-out ----

TEST(SimulatedBoardTimeout, AcquisitionLongerThanTheTimeOutFailsAndReadsNothing) {
  SimulatedBoard board;
  EXPECT_EQ(board.SetTimeout(-2), kInvalidValueError);
  ASSERT_EQ(board.SetTimeout(1), kDaqNoError);  // 0.055 s

  std::vector<BoardReading> buffer(5502, kUntouched);
  const auto first = [&buffer](std::size_t n) { return std::span(buffer).first(n); };
  EXPECT_EQ(AcquireInto(board, {0}, 1, first(5500), 100000.0), kDaqNoError);
  std::fill(buffer.begin(), buffer.end(), kUntouched);
  EXPECT_EQ(AcquireInto(board, {0}, 1, first(5501), 100000.0), kTimeOutError);
  EXPECT_TRUE(AllUntouched(buffer));
  // Back-to-back scan: readings / sample rate.
  EXPECT_EQ(AcquireInto(board, ScanOf(2), 1, first(5500), 100000.0), kDaqNoError);
  EXPECT_EQ(AcquireInto(board, ScanOf(2), 1, first(5502), 100000.0), kTimeOutError);
  // Timed scans: scans / scan rate (2 × 55 scans at 1000 scans/s is 0.055 s).
  EXPECT_EQ(AcquireInto(board, ScanOf(2), 1, first(110), 100000.0, 1000.0), kDaqNoError);
  std::fill(buffer.begin(), buffer.end(), kUntouched);
  EXPECT_EQ(AcquireInto(board, ScanOf(2), 1, first(112), 100000.0, 1000.0), kTimeOutError);
  EXPECT_TRUE(AllUntouched(buffer));

  ASSERT_EQ(board.SetTimeout(0), kDaqNoError);
  EXPECT_EQ(AcquireInto(board, {0}, 1, first(1), 1250000.0), kTimeOutError);

  // -1 waits for ever: ten days of samples at one per second.
  ASSERT_EQ(board.SetTimeout(-1), kDaqNoError);
  std::vector<BoardReading> slow(864000);
  EXPECT_EQ(AcquireInto(board, {4}, 1, slow, 1.0), kDaqNoError);
  EXPECT_EQ(slow.back(), 1024);
}

// ---- Converter: gains, polarity, clipping ----

TEST(SimulatedBoardConverter, DcLevelsReadAsTheGainAndPolarityScaleThem) {
  struct Case {
    int chan;  // 4: +2.5 V, 12: -1.5 V
    std::int16_t gain;
    Polarity polarity;
    int expected;
  };
  constexpr Polarity kBi = Polarity::kBipolar;
  constexpr Polarity kUni = Polarity::kUnipolar;
  const Case cases[] = {
      {4, 1, kBi, 1024},   {4, -1, kBi, 512},   {4, 2, kBi, 2047},   {4, 100, kBi, 2047},
      {4, 1, kUni, 1024},  {4, 2, kUni, 2048},  {4, 5, kUni, 4095},  {12, 1, kBi, -614},
      {12, 2, kBi, -1229}, {12, 5, kBi, -2048}, {12, -1, kBi, -307}, {12, 1, kUni, 0},
  };
  for (const Case& c : cases) {
    SimulatedBoard board;
    Configure(board, c.polarity);
    std::vector<BoardReading> r = Acquire(board, c.chan, 100, 100000.0, c.gain);
    EXPECT_EQ(*std::min_element(r.begin(), r.end()), c.expected) << c.chan << " gain " << c.gain;
    EXPECT_EQ(*std::max_element(r.begin(), r.end()), c.expected) << c.chan << " gain " << c.gain;
  }
}

TEST(SimulatedBoardConverter, SignalsClipAtTheEndsOfTheRange) {
  SimulatedBoard board;
  // The 4 V sine at gain 10 (±0.5 V) spends most of its time clipped.
  std::vector<BoardReading> r = Acquire(board, 0, 1000, 100000.0, 10);
  EXPECT_EQ(*std::max_element(r.begin(), r.end()), 2047);
  EXPECT_EQ(*std::min_element(r.begin(), r.end()), -2048);
  EXPECT_GT(std::count(r.begin(), r.end(), 2047), 400);
  EXPECT_GT(std::count(r.begin(), r.end(), -2048), 400);

  // Unipolar: the negative half reads 0, the positive peak 4 V × 409.6.
  Configure(board, Polarity::kUnipolar);
  r = Acquire(board, 0, 1000);
  EXPECT_EQ(*std::min_element(r.begin(), r.end()), 0);
  EXPECT_NEAR(*std::max_element(r.begin(), r.end()), 1638, 1);
  EXPECT_NEAR(std::count(r.begin(), r.end(), 0), 500, 10);
}

TEST(SimulatedBoardConverter, ScaleFollowsTheDriverFormula) {
  struct Case {
    std::int16_t gain;
    Polarity polarity;
    double gainAdjust, offset;
    BoardReading reading;
    double volts;
  };
  constexpr Polarity kBi = Polarity::kBipolar;
  constexpr Polarity kUni = Polarity::kUnipolar;
  const Case cases[] = {
      {1, kBi, 1.0, 0.0, -2048, -5.0},
      {1, kBi, 1.0, 0.0, 1024, 2.5},
      {1, kBi, 1.0, 0.0, 2047, 2047.0 / 2048.0 * 5.0},
      {10, kBi, 1.0, 0.0, 1024, 0.25},
      {-1, kBi, 1.0, 0.0, 1024, 5.0},
      {1, kBi, 1.0, 24.0, 1024, 1000.0 / 2048.0 * 5.0},
      {1, kBi, 0.5, 0.0, 1024, 5.0},
      {2, kBi, 1.25, -2048.0, 0, 2.0},
      {1, kUni, 1.0, 0.0, 4095, 4095.0 / 4096.0 * 10.0},
      {1, kUni, 1.0, 0.0, 2048, 5.0},
      {-1, kUni, 2.0, 48.0, 2048, 2000.0 / 4096.0 * 10.0},
  };
  for (const Case& c : cases) {
    SimulatedBoard board;
    Configure(board, c.polarity);
    VoltScale scale;
    ASSERT_EQ(board.ScaleFor(0, c.gain, scale), kDaqNoError);
    EXPECT_DOUBLE_EQ(scale.Volts(c.reading, c.gainAdjust, c.offset), c.volts)
        << "gain " << c.gain << " reading " << c.reading;
    EXPECT_EQ(scale.lowestReading, c.polarity == kUni ? 0 : -2048);
    EXPECT_EQ(scale.highestReading, c.polarity == kUni ? 4095 : 2047);
  }
}

// ---- Scans ----

TEST(SimulatedBoardScan, ScansTheChannelsInTheOrderAsked) {
  SimulatedBoard board;
  std::vector<BoardReading> buffer(8 * 1000);
  ASSERT_EQ(AcquireInto(board, ScanOf(8), 1, buffer, 800000.0), kDaqNoError);
  // Position 3 of each scan is channel 4, the DC level.
  auto position = [&](int j) {
    std::vector<BoardReading> readings;
    for (int s = 0; s < 1000; ++s) readings.push_back(buffer[s * 8 + j]);
    return readings;
  };
  std::vector<BoardReading> chirp = position(0), dc = position(3), square = position(6);
  EXPECT_TRUE(std::all_of(dc.begin(), dc.end(), [](int v) { return v == 1024; }));
  std::sort(square.begin(), square.end());
  square.erase(std::unique(square.begin(), square.end()), square.end());
  EXPECT_EQ(square, (std::vector<BoardReading>{-1229, 1229}));
  // Position 0 is channel 7, converted first in every scan: exactly what a
  // lone acquisition of it at the scan interval (10 µs) reads.
  EXPECT_EQ(chirp, Acquire(board, 7, 1000));
}

// Reads may stop anywhere, inside a scan too: the readings come out the same.
TEST(SimulatedBoardScan, ReadsInPiecesGiveTheReadingsOfOneRead) {
  SimulatedBoard board;
  std::vector<BoardReading> whole(3 * 700);
  ASSERT_EQ(AcquireInto(board, ScanOf(3), 1, whole, 300000.0), kDaqNoError);
  std::vector<BoardReading> pieces(whole.size(), kUntouched);
  ASSERT_EQ(board.Start({ScanOf(3), 1, 300000.0, 0.0, 700}), kDaqNoError);
  std::size_t done = 0;
  for (const std::size_t size : {1, 2, 600, 1, 1000, 496}) {
    const ReadResult read = board.Read(std::span(pieces).subspan(done, size));
    ASSERT_EQ(read.status, kDaqNoError);
    ASSERT_EQ(read.count, size);
    done += size;
  }
  EXPECT_EQ(board.Read(std::span(pieces)).count, 0u);  // the acquisition is over
  board.Stop();
  EXPECT_EQ(pieces, whole);
}

// ---- Generator against the reference signal ----

void ExpectWithinOneLsb(const std::vector<BoardReading>& readings, int chan, double t0, double dt,
                        std::size_t stride, std::size_t first, double gain, bool unipolar) {
  int worst = 0;
  for (std::size_t k = 0; first + k * stride < readings.size(); ++k) {
    double volts = SimulatedBoard::SignalVolts(chan, t0 + static_cast<double>(k) * dt);
    worst =
        std::max(worst, std::abs(readings[first + k * stride] - Quantised(volts, gain, unipolar)));
  }
  EXPECT_LE(worst, 1) << "chan " << chan << " dt " << dt;
}

TEST(SimulatedBoardGenerator, LongSingleChannelRunsFollowTheReference) {
  SimulatedBoard board;
  for (int chan = 0; chan < SimulatedBoard::kChannelCount; ++chan) {
    const std::uint32_t count = chan < 8 ? 1000000 : 200000;
    for (double rate : {1250000.0, 33333.3}) {
      ExpectWithinOneLsb(Acquire(board, chan, count, rate), chan, 0.0, 1.0 / rate, 1, 0, 1.0,
                         false);
    }
  }
}

TEST(SimulatedBoardGenerator, HighGainAndUnipolarRunsFollowTheReference) {
  SimulatedBoard board;
  for (int chan = 0; chan < SimulatedBoard::kChannelCount; ++chan) {
    ExpectWithinOneLsb(Acquire(board, chan, 20000, 100000.0, 100), chan, 0.0, 1e-5, 1, 0, 100.0,
                       false);
  }
  Configure(board, Polarity::kUnipolar);
  for (int chan = 0; chan < SimulatedBoard::kChannelCount; ++chan) {
    ExpectWithinOneLsb(Acquire(board, chan, 20000, 7000.0, -1), chan, 0.0, 1.0 / 7000.0, 1, 0, 0.5,
                       true);
  }
}

TEST(SimulatedBoardGenerator, ScannedChannelsFollowTheReferenceAtTheirConversionTimes) {
  SimulatedBoard board;
  const int n = 16;
  const std::uint32_t scans = 40000;
  std::vector<BoardReading> buffer(n * scans);
  for (double scanRate : {0.0, 50000.0}) {
    const double rate = 1000000.0;
    ASSERT_EQ(AcquireInto(board, ScanOf(n), 1, buffer, rate, scanRate), kDaqNoError);
    const double interval = scanRate > 0 ? 1.0 / scanRate : n / rate;
    for (int j = 0; j < n; ++j) {
      ExpectWithinOneLsb(buffer, n - 1 - j, j / rate, interval, n, j, 1.0, false);
    }
  }
}

TEST(SimulatedBoardGenerator, ExtremeTimesStayDefined) {
  for (int chan = 0; chan < SimulatedBoard::kChannelCount; ++chan) {
    for (double t : {-1.0, 1e300, -1e300, kInf, -kInf, kNaN}) {
      (void)SimulatedBoard::SignalVolts(chan, t);
    }
  }
  // Absurdly slow rates put the samples at enormous or infinite times.
  SimulatedBoard board;
  for (double rate : {1e-300, 4e-320}) {
    std::vector<BoardReading> r = Acquire(board, 5, 50, rate);
    EXPECT_TRUE(std::all_of(r.begin(), r.end(), [](int v) { return v >= -2048 && v <= 2047; }));
  }
}

// ---- The shapes at the default 1000 points, 100 000 S/s ----

TEST(SimulatedBoardSignals, SineHasItsAmplitudeAndPeriod) {
  SimulatedBoard board;
  std::vector<BoardReading> r = Acquire(board, 0, 1000);
  EXPECT_EQ(r[0], 0);
  EXPECT_NEAR(*std::max_element(r.begin(), r.end()), 1638, 1);  // 4 V
  EXPECT_NEAR(*std::min_element(r.begin(), r.end()), -1638, 1);
  EXPECT_EQ(UpwardCrossings(r), (std::vector<int>{200, 400, 600, 800}));  // 500 Hz
}

TEST(SimulatedBoardSignals, SquareHasTwoLevelsAndHalfDuty) {
  SimulatedBoard board;
  std::vector<BoardReading> r = Acquire(board, 1, 1000);
  EXPECT_EQ(std::count(r.begin(), r.end(), 1229), 500);  // 3 V
  EXPECT_EQ(std::count(r.begin(), r.end(), -1229), 500);
  for (int k = 0; k < 1000; ++k) ASSERT_EQ(r[k], (k / 125) % 2 == 0 ? 1229 : -1229) << k;
}

TEST(SimulatedBoardSignals, TriangleRampsAtConstantSlope) {
  SimulatedBoard board;
  std::vector<BoardReading> r = Acquire(board, 2, 1000);
  // 4 V peak at 300 Hz: 4800 V/s, 0.048 V or 19.66 LSB per sample.
  int ramps = 0;
  for (int k = 2; k + 1 < 1000; ++k) {
    int before = r[k - 1] - r[k - 2], step = r[k] - r[k - 1], after = r[k + 1] - r[k];
    if ((before > 0) != (step > 0) || (step > 0) != (after > 0)) continue;  // near a turn
    ASSERT_NEAR(std::abs(step), 19.66, 1.0) << k;
    ++ramps;
  }
  EXPECT_GT(ramps, 980);
  EXPECT_NEAR(*std::max_element(r.begin(), r.end()), 1638, 10);
}

TEST(SimulatedBoardSignals, SawtoothRisesLinearlyAndFallsEveryPeriod) {
  SimulatedBoard board;
  std::vector<BoardReading> r = Acquire(board, 3, 1000);
  // ±2.5 V over 2 ms: 10.24 LSB per sample, falling back at 200, 400, ...
  std::vector<int> falls;
  for (int k = 1; k < 1000; ++k) {
    int d = r[k] - r[k - 1];
    if (d < 0) {
      falls.push_back(k);
      EXPECT_LT(d, -2000);
    } else {
      ASSERT_NEAR(d, 10.24, 1.0) << k;
    }
  }
  EXPECT_EQ(falls, (std::vector<int>{200, 400, 600, 800}));
}

TEST(SimulatedBoardSignals, DcIsConstant) {
  SimulatedBoard board;
  std::vector<BoardReading> r = Acquire(board, 4, 1000);
  EXPECT_TRUE(std::all_of(r.begin(), r.end(), [](int v) { return v == 1024; }));
}

TEST(SimulatedBoardSignals, NoisySineScattersAroundItsSine) {
  SimulatedBoard board;
  std::vector<BoardReading> r = Acquire(board, 5, 1000);
  double sum = 0, squares = 0, worst = 0;
  for (int k = 0; k < 1000; ++k) {
    double noise = r[k] / 409.6 - 3.0 * std::sin(2 * std::numbers::pi * 200.0 * k * 1e-5);
    sum += noise;
    squares += noise * noise;
    worst = std::max(worst, std::abs(noise));
  }
  double mean = sum / 1000, rms = std::sqrt(squares / 1000 - mean * mean);
  EXPECT_NEAR(mean, 0.0, 0.04);
  EXPECT_NEAR(rms, 0.29, 0.05);
  EXPECT_LT(worst, 1.01);
  // Deterministic: a second, shorter acquisition reads the same.
  std::vector<BoardReading> again = Acquire(board, 5, 300);
  EXPECT_TRUE(std::equal(again.begin(), again.end(), r.begin()));
}

TEST(SimulatedBoardSignals, DampedBurstsDecayAndRestart) {
  SimulatedBoard board;
  std::vector<BoardReading> r = Acquire(board, 6, 1000);
  // Bursts every 250 samples; 2 kHz ringing: one cycle each 50 samples,
  // decaying by e^-1 per cycle (time constant 0.5 ms).
  for (int burst = 0; burst < 4; ++burst) {
    int previous = 0;
    for (int cycle = 0; cycle < 4; ++cycle) {
      auto from = r.begin() + burst * 250 + cycle * 50;
      int peak = *std::max_element(from, from + 50);
      if (cycle == 0) {
        // 4.5 V × e^(-t/τ) sin(ωt) crests at ωt = atan(ωτ): 0.789 × 1843 LSB.
        EXPECT_NEAR(peak, 1454, 6);
      } else {
        EXPECT_NEAR(static_cast<double>(peak) / previous, std::exp(-1.0), 0.02);
      }
      previous = peak;
    }
  }
}

TEST(SimulatedBoardSignals, ChirpCrossesZeroEverFasterWithinASweep) {
  SimulatedBoard board;
  std::vector<BoardReading> r = Acquire(board, 7, 1000);
  // Sweeps of 5 ms (500 samples), 400 Hz to 2 kHz: 6 cycles per sweep.
  for (int sweep = 0; sweep < 2; ++sweep) {
    std::vector<int> up = UpwardCrossings(r, sweep * 500 + 1, sweep * 500 + 500);
    ASSERT_GE(up.size(), 4u);
    for (std::size_t i = 2; i < up.size(); ++i) {
      EXPECT_LT(up[i] - up[i - 1], up[i - 1] - up[i - 2]) << sweep;
    }
    // Phase 400 τ + 160000 τ² cycles: one cycle at τ = 1.545 ms, two at 2.5 ms.
    EXPECT_NEAR(up[0] - sweep * 500, 155, 1);
    EXPECT_EQ(up[1] - sweep * 500, 250);
  }
}

// ---- Streams ----

// Moves only when waited for or set, and remembers the waits.
struct FakeClock : StreamClock {
  double Now() override { return now; }
  void WaitUntil(double seconds) override {
    waits.push_back(seconds);
    now = std::max(now, seconds);
  }
  double now = 100.0;
  std::vector<double> waits;
};

TEST(SimulatedBoardStream, ReadsWaitForTheirLastReadingAndFollowTheReference) {
  for (const double rate : {1250000.0, 100000.0, 777.0}) {
    for (const std::vector<int>& channels : {std::vector<int>{5}, ScanOf(3), {7, 0, 13, 5, 14}}) {
      for (const double scanRate : {0.0, rate / (3.0 * channels.size())}) {
        FakeClock clock;
        SimulatedBoard board(clock);
        const AcquisitionRequest request{channels, 1, rate, scanRate, 0};
        ASSERT_EQ(board.Start(request), kDaqNoError);
        const std::size_t n = channels.size();
        EXPECT_EQ(board.RateUsed(), scanRate > 0 ? scanRate : rate / n);
        const ScanTiming timing = ScanTiming::For(request);
        std::vector<BoardReading> all(20000);
        for (std::size_t done = 0, k = 0; done < all.size(); ++k) {
          const std::size_t size = std::min<std::size_t>(k % 2 ? 4099 : 3, all.size() - done);
          const ReadResult read = board.Read(std::span(all).subspan(done, size));
          ASSERT_EQ(read.status, kDaqNoError);
          ASSERT_EQ(read.count, size);
          done += size;
          ASSERT_EQ(clock.waits.size(), k + 1);
          EXPECT_EQ(clock.waits.back(), 100.0 + timing.ReadingSeconds(done - 1));
        }
        const double interval = scanRate > 0 ? 1.0 / scanRate : n / rate;
        for (std::size_t j = 0; j < n; ++j) {
          ExpectWithinOneLsb(all, channels[j], j / rate, interval, n, j, 1.0, false);
        }
      }
    }
  }
}

TEST(SimulatedBoardStream, OverflowsWhenTheClockGetsAheadOfTheBufferAndStopKeepsWhatItHeld) {
  const std::uint64_t capacity = SimulatedBoard::kMinStreamBufferReadings;  // > 1 s here
  const AcquisitionRequest request{{3}, 1, 10000.0, 0.0, 0};
  std::vector<BoardReading> buffer(capacity + 1000);
  for (const bool stop : {false, true}) {
    FakeClock clock;
    SimulatedBoard board(clock);
    ASSERT_EQ(board.Start(request), kDaqNoError);
    ASSERT_EQ(board.Read(std::span(buffer).first(10)).count, 10u);
    // Stopped with the buffer full, or running with one reading too many.
    clock.now = 100.0 + ScanTiming::For(request).ReadingSeconds(10 + capacity - (stop ? 1 : 0));
    if (stop) board.Stop();
    const ReadResult rest = board.Read(buffer);
    EXPECT_EQ(rest.status, stop ? kDaqNoError : kOverWriteError);
    EXPECT_EQ(rest.count, capacity) << "what the buffer held";
    EXPECT_EQ(board.Read(buffer).status, rest.status);
    EXPECT_EQ(board.Read(buffer).count, 0u);
    EXPECT_EQ(clock.waits.size(), 1u) << "only the first read waited";
  }
}

}  // namespace
}  // namespace tavril
