#include "acquisition/simulated_board.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <numbers>
#include <vector>

namespace tavril {
namespace {

constexpr std::int16_t kDevice = 3;
constexpr std::int16_t kUntouched = 0x5A5A;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// What the converter gives for `volts`: the reference the board must follow.
int Quantised(double volts, double gain, bool unipolar) {
  double x = std::round(volts * gain * 2048.0 / 5.0);
  return static_cast<int>(std::clamp(x, unipolar ? 0.0 : -2048.0, unipolar ? 4095.0 : 2047.0));
}

std::vector<std::int16_t> Acquire(SimulatedBoard& board, int chan, std::uint32_t count,
                                  double rate = 100000.0, std::int16_t gain = 1) {
  std::vector<std::int16_t> readings(count, kUntouched);
  EXPECT_EQ(
      board.DAQ_Op(kDevice, static_cast<std::int16_t>(chan), gain, readings.data(), count, rate),
      kDaqNoError);
  return readings;
}

bool AllUntouched(const std::vector<std::int16_t>& values) {
  return std::all_of(values.begin(), values.end(), [](std::int16_t v) { return v == kUntouched; });
}

// Indexes k where the readings go from < 0 to >= 0 between k - 1 and k.
std::vector<int> UpwardCrossings(const std::vector<std::int16_t>& r, int from = 1,
                                 int to = std::numeric_limits<int>::max()) {
  std::vector<int> at;
  for (int k = std::max(from, 1); k < std::min<int>(to, static_cast<int>(r.size())); ++k) {
    if (r[k - 1] < 0 && r[k] >= 0) at.push_back(k);
  }
  return at;
}

// ---- Refusals ----

TEST(SimulatedBoardRefusals, DaqOpRefusesWithItsStatusAndWritesNothing) {
  struct Case {
    std::int16_t device, chan, gain;
    std::uint32_t count;
    double rate;
    bool nullBuffer;
    DaqStatus expected;
  };
  const Case cases[] = {
      {1, 0, 1, 10, 1000.0, false, kBadDeviceError},
      {kDevice, -1, 1, 10, 1000.0, false, kBadChanError},
      {kDevice, 16, 1, 10, 1000.0, false, kBadChanError},
      {kDevice, 0, 0, 10, 1000.0, false, kBadGainError},
      {kDevice, 0, 3, 10, 1000.0, false, kBadGainError},
      {kDevice, 0, -2, 10, 1000.0, false, kBadGainError},
      {kDevice, 0, 1, 0, 1000.0, false, kBadCountError},
      {kDevice, 0, 1, 10, 0.0, false, kBadIntervalError},
      {kDevice, 0, 1, 10, -1000.0, false, kBadIntervalError},
      {kDevice, 0, 1, 10, kNaN, false, kBadIntervalError},
      {kDevice, 0, 1, 10, kInf, false, kBadIntervalError},
      {kDevice, 0, 1, 10, 1250000.5, false, kBadIntervalError},
      {kDevice, 0, 1, 10, 1000.0, true, kInvalidValueError},
  };
  for (const Case& c : cases) {
    SimulatedBoard board(kDevice);
    std::vector<std::int16_t> buffer(10, kUntouched);
    EXPECT_EQ(board.DAQ_Op(c.device, c.chan, c.gain, c.nullBuffer ? nullptr : buffer.data(),
                           c.count, c.rate),
              c.expected)
        << "chan " << c.chan << " gain " << c.gain << " count " << c.count << " rate " << c.rate;
    EXPECT_TRUE(AllUntouched(buffer));
  }
  SimulatedBoard board(kDevice);
  std::vector<std::int16_t> buffer(10, kUntouched);
  EXPECT_EQ(board.DAQ_Op(kDevice, 15, 100, buffer.data(), 10, 1250000.0), kDaqNoError);
}

TEST(SimulatedBoardRefusals, ScanOpRefusesWithItsStatusAndWritesNothing) {
  struct Case {
    std::int16_t device, numChans, gain;
    std::uint32_t count;
    double rate, scanRate;
    bool nullBuffer, nullOrder;
    DaqStatus expected;
  };
  const Case cases[] = {
      {7, 2, 1, 8, 1000.0, 0.0, false, false, kBadDeviceError},
      {kDevice, 0, 1, 8, 1000.0, 0.0, false, false, kBadChanError},
      {kDevice, 17, 1, 17, 1000.0, 0.0, false, false, kBadChanError},
      {kDevice, 2, 4, 8, 1000.0, 0.0, false, false, kBadGainError},
      {kDevice, 2, 1, 0, 1000.0, 0.0, false, false, kBadCountError},
      {kDevice, 3, 1, 8, 1000.0, 0.0, false, false, kBadCountError},
      {kDevice, 2, 1, 8, 0.0, 0.0, false, false, kBadIntervalError},
      {kDevice, 2, 1, 8, kNaN, 0.0, false, false, kBadIntervalError},
      {kDevice, 2, 1, 8, 2e6, 0.0, false, false, kBadIntervalError},
      {kDevice, 2, 1, 8, 1000.0, -1.0, false, false, kBadIntervalError},
      {kDevice, 2, 1, 8, 1000.0, kNaN, false, false, kBadIntervalError},
      {kDevice, 2, 1, 8, 1000.0, 500.5, false, false, kBadIntervalError},
      {kDevice, 2, 1, 8, 1000.0, kInf, false, false, kBadIntervalError},
      {kDevice, 2, 1, 8, 1000.0, 0.0, true, false, kInvalidValueError},
      {kDevice, 2, 1, 8, 1000.0, 0.0, false, true, kInvalidValueError},
  };
  for (const Case& c : cases) {
    SimulatedBoard board(kDevice);
    std::vector<std::int16_t> buffer(20, kUntouched);
    std::vector<std::int16_t> order(8, kUntouched);
    EXPECT_EQ(board.SCAN_Op(c.device, c.numChans, c.gain, c.nullBuffer ? nullptr : buffer.data(),
                            c.count, c.rate, c.scanRate, c.nullOrder ? nullptr : order.data()),
              c.expected)
        << "numChans " << c.numChans << " count " << c.count << " rate " << c.rate << " scan "
        << c.scanRate;
    EXPECT_TRUE(AllUntouched(buffer));
    EXPECT_TRUE(AllUntouched(order));
  }
  // The scan rate may use up the whole conversion rate.
  SimulatedBoard board(kDevice);
  std::vector<std::int16_t> buffer(8);
  std::int16_t order[8];
  EXPECT_EQ(board.SCAN_Op(kDevice, 2, 1, buffer.data(), 8, 1000.0, 500.0, order), kDaqNoError);
}

TEST(SimulatedBoardRefusals, DemuxRefusesWithItsStatusAndLeavesTheBufferAlone) {
  struct Case {
    std::uint32_t count;
    std::int16_t numChans, muxBoards;
    bool nullBuffer;
    DaqStatus expected;
  };
  const Case cases[] = {
      {8, 2, 1, false, kInvalidValueError}, {8, 0, 0, false, kBadChanError},
      {8, 17, 0, false, kBadChanError},     {0, 2, 0, false, kBadCountError},
      {9, 2, 0, false, kBadCountError},     {8, 2, 0, true, kInvalidValueError},
  };
  for (const Case& c : cases) {
    SimulatedBoard board(kDevice);
    std::vector<std::int16_t> buffer(10, kUntouched);
    buffer[1] = 1;
    EXPECT_EQ(
        board.SCAN_Demux(c.nullBuffer ? nullptr : buffer.data(), c.count, c.numChans, c.muxBoards),
        c.expected);
    EXPECT_EQ(buffer[1], 1);
  }
}

TEST(SimulatedBoardRefusals, VScaleRefusesWithItsStatusAndWritesNothing) {
  struct Case {
    std::int16_t device, chan, gain;
    double gainAdjust;
    bool nullReadings, nullVolts;
    DaqStatus expected;
  };
  const Case cases[] = {
      {2, 0, 1, 1.0, false, false, kBadDeviceError},
      {kDevice, 16, 1, 1.0, false, false, kBadChanError},
      {kDevice, -1, 1, 1.0, false, false, kBadChanError},
      {kDevice, 0, 25, 1.0, false, false, kBadGainError},
      {kDevice, 0, 1, 0.0, false, false, kInvalidValueError},
      {kDevice, 0, 1, kNaN, false, false, kInvalidValueError},
      {kDevice, 0, 1, -kInf, false, false, kInvalidValueError},
      {kDevice, 0, 1, 1.0, true, false, kInvalidValueError},
      {kDevice, 0, 1, 1.0, false, true, kInvalidValueError},
  };
  for (const Case& c : cases) {
    SimulatedBoard board(kDevice);
    const std::int16_t readings[2] = {100, -100};
    double volts[2] = {7.0, 7.0};
    EXPECT_EQ(board.DAQ_VScale(c.device, c.chan, c.gain, c.gainAdjust, 0.0, 2,
                               c.nullReadings ? nullptr : readings, c.nullVolts ? nullptr : volts),
              c.expected);
    EXPECT_EQ(volts[0], 7.0);
    EXPECT_EQ(volts[1], 7.0);
  }
}

TEST(SimulatedBoardRefusals, AiConfigureChecksEveryArgumentAndKeepsTheOldSettings) {
  struct Case {
    std::int16_t device, chan, inputMode, inputRange, polarity, driveAIS;
    DaqStatus expected;
  };
  const Case cases[] = {
      {0, -1, 1, 0, 1, 0, kBadDeviceError},           {kDevice, -2, 1, 0, 1, 0, kBadChanError},
      {kDevice, 16, 1, 0, 1, 0, kBadChanError},       {kDevice, -1, 3, 0, 1, 0, kBadInputModeError},
      {kDevice, -1, -1, 0, 1, 0, kBadInputModeError}, {kDevice, -1, 1, 5, 1, 0, kInvalidValueError},
      {kDevice, -1, 1, 20, 1, 0, kInvalidValueError}, {kDevice, -1, 1, 0, 2, 0, kBadPolarityError},
      {kDevice, -1, 1, 0, 1, 2, kInvalidValueError},
  };
  for (const Case& c : cases) {
    SimulatedBoard board(kDevice);
    EXPECT_EQ(
        board.AI_Configure(c.device, c.chan, c.inputMode, c.inputRange, c.polarity, c.driveAIS),
        c.expected);
    // Still bipolar: the negative DC channel reads below zero.
    EXPECT_LT(Acquire(board, 12, 3)[0], 0);
  }
  SimulatedBoard board(kDevice);
  EXPECT_EQ(board.AI_Configure(kDevice, -1, 0, 0, 0, 0), kDaqNoError);
  EXPECT_EQ(board.AI_Configure(kDevice, 15, 2, 10, 1, 1), kDaqNoError);
}

// ---- Time-out ----

TEST(SimulatedBoardTimeout, AcquisitionLongerThanTheTimeOutFailsAndWritesNothing) {
  SimulatedBoard board(kDevice);
  EXPECT_EQ(board.Timeout_Config(kDevice, -2), kInvalidValueError);
  EXPECT_EQ(board.Timeout_Config(1, 5), kBadDeviceError);
  ASSERT_EQ(board.Timeout_Config(kDevice, 1), kDaqNoError);  // 0.055 s

  std::vector<std::int16_t> buffer(5502, kUntouched);
  std::int16_t order[8];
  EXPECT_EQ(board.DAQ_Op(kDevice, 0, 1, buffer.data(), 5500, 100000.0), kDaqNoError);
  std::fill(buffer.begin(), buffer.end(), kUntouched);
  EXPECT_EQ(board.DAQ_Op(kDevice, 0, 1, buffer.data(), 5501, 100000.0), kTimeOutError);
  EXPECT_TRUE(AllUntouched(buffer));
  // Back-to-back scan: count / sample rate.
  EXPECT_EQ(board.SCAN_Op(kDevice, 2, 1, buffer.data(), 5500, 100000.0, 0.0, order), kDaqNoError);
  EXPECT_EQ(board.SCAN_Op(kDevice, 2, 1, buffer.data(), 5502, 100000.0, 0.0, order), kTimeOutError);
  // Timed scans: scans / scan rate (2 × 55 scans at 1000 scans/s is 0.055 s).
  EXPECT_EQ(board.SCAN_Op(kDevice, 2, 1, buffer.data(), 110, 100000.0, 1000.0, order), kDaqNoError);
  std::fill(buffer.begin(), buffer.end(), kUntouched);
  EXPECT_EQ(board.SCAN_Op(kDevice, 2, 1, buffer.data(), 112, 100000.0, 1000.0, order),
            kTimeOutError);
  EXPECT_TRUE(AllUntouched(buffer));

  ASSERT_EQ(board.Timeout_Config(kDevice, 0), kDaqNoError);
  EXPECT_EQ(board.DAQ_Op(kDevice, 0, 1, buffer.data(), 1, 1250000.0), kTimeOutError);

  // -1 waits for ever: ten days of samples at one per second.
  ASSERT_EQ(board.Timeout_Config(kDevice, -1), kDaqNoError);
  std::vector<std::int16_t> slow(864000);
  EXPECT_EQ(board.DAQ_Op(kDevice, 4, 1, slow.data(), 864000, 1.0), kDaqNoError);
  EXPECT_EQ(slow.back(), 1024);
}

// ---- Converter: gains, polarity, clipping ----

TEST(SimulatedBoardConverter, DcLevelsReadAsTheGainAndPolarityScaleThem) {
  struct Case {
    int chan;  // 4: +2.5 V, 12: -1.5 V
    std::int16_t gain, polarity;
    int expected;
  };
  const Case cases[] = {
      {4, 1, 0, 1024},   {4, -1, 0, 512},   {4, 2, 0, 2047},   {4, 100, 0, 2047},
      {4, 1, 1, 1024},   {4, 2, 1, 2048},   {4, 5, 1, 4095},   {12, 1, 0, -614},
      {12, 2, 0, -1229}, {12, 5, 0, -2048}, {12, -1, 0, -307}, {12, 1, 1, 0},
  };
  for (const Case& c : cases) {
    SimulatedBoard board(kDevice);
    ASSERT_EQ(board.AI_Configure(kDevice, -1, 1, 0, c.polarity, 0), kDaqNoError);
    std::vector<std::int16_t> r = Acquire(board, c.chan, 100, 100000.0, c.gain);
    EXPECT_EQ(*std::min_element(r.begin(), r.end()), c.expected) << c.chan << " gain " << c.gain;
    EXPECT_EQ(*std::max_element(r.begin(), r.end()), c.expected) << c.chan << " gain " << c.gain;
  }
}

TEST(SimulatedBoardConverter, SignalsClipAtTheEndsOfTheRange) {
  SimulatedBoard board(kDevice);
  // The 4 V sine at gain 10 (±0.5 V) spends most of its time clipped.
  std::vector<std::int16_t> r = Acquire(board, 0, 1000, 100000.0, 10);
  EXPECT_EQ(*std::max_element(r.begin(), r.end()), 2047);
  EXPECT_EQ(*std::min_element(r.begin(), r.end()), -2048);
  EXPECT_GT(std::count(r.begin(), r.end(), 2047), 400);
  EXPECT_GT(std::count(r.begin(), r.end(), -2048), 400);

  // Unipolar: the negative half reads 0, the positive peak 4 V × 409.6.
  ASSERT_EQ(board.AI_Configure(kDevice, -1, 1, 0, 1, 0), kDaqNoError);
  r = Acquire(board, 0, 1000);
  EXPECT_EQ(*std::min_element(r.begin(), r.end()), 0);
  EXPECT_NEAR(*std::max_element(r.begin(), r.end()), 1638, 1);
  EXPECT_NEAR(std::count(r.begin(), r.end(), 0), 500, 10);
}

TEST(SimulatedBoardConverter, VScaleFollowsTheDriverFormula) {
  struct Case {
    std::int16_t gain, polarity;
    double gainAdjust, offset;
    std::int16_t reading;
    double volts;
  };
  const Case cases[] = {
      {1, 0, 1.0, 0.0, -2048, -5.0},
      {1, 0, 1.0, 0.0, 1024, 2.5},
      {1, 0, 1.0, 0.0, 2047, 2047.0 / 2048.0 * 5.0},
      {10, 0, 1.0, 0.0, 1024, 0.25},
      {-1, 0, 1.0, 0.0, 1024, 5.0},
      {1, 0, 1.0, 24.0, 1024, 1000.0 / 2048.0 * 5.0},
      {1, 0, 0.5, 0.0, 1024, 5.0},
      {2, 0, 1.25, -2048.0, 0, 2.0},
      {1, 1, 1.0, 0.0, 4095, 4095.0 / 4096.0 * 10.0},
      {1, 1, 1.0, 0.0, 2048, 5.0},
      {-1, 1, 2.0, 48.0, 2048, 2000.0 / 4096.0 * 10.0},
  };
  for (const Case& c : cases) {
    SimulatedBoard board(kDevice);
    ASSERT_EQ(board.AI_Configure(kDevice, -1, 1, 0, c.polarity, 0), kDaqNoError);
    double volts = 0;
    ASSERT_EQ(board.DAQ_VScale(kDevice, 0, c.gain, c.gainAdjust, c.offset, 1, &c.reading, &volts),
              kDaqNoError);
    EXPECT_DOUBLE_EQ(volts, c.volts) << "gain " << c.gain << " reading " << c.reading;
  }
}

TEST(SimulatedBoardConverter, LongVScaleGivesTheFormulaBitForBit) {
  // Long conversions go through a table: every reading, in range or not,
  // must still give exactly the formula's double.
  for (std::int16_t polarity : {0, 1}) {
    SimulatedBoard board(kDevice);
    ASSERT_EQ(board.AI_Configure(kDevice, -1, 1, 0, polarity, 0), kDaqNoError);
    std::vector<std::int16_t> readings;
    for (int r = -32768; r <= 32767; ++r) readings.push_back(static_cast<std::int16_t>(r));
    readings.push_back(0);
    std::vector<double> volts(readings.size());
    const double gainAdjust = 0.987, offset = 3.5;
    ASSERT_EQ(board.DAQ_VScale(kDevice, 2, 5, gainAdjust, offset,
                               static_cast<std::uint32_t>(readings.size()), readings.data(),
                               volts.data()),
              kDaqNoError);
    const double maxReading = polarity ? 4096.0 : 2048.0, maxVolt = polarity ? 10.0 : 5.0;
    for (std::size_t k = 0; k < readings.size(); ++k) {
      ASSERT_EQ(volts[k], (readings[k] - offset) / maxReading * maxVolt / (5 * gainAdjust)) << k;
    }
  }
}

// ---- Scans and demultiplexing ----

TEST(SimulatedBoardScan, ScansChannelsDownToZeroAndListsTheOrder) {
  SimulatedBoard board(kDevice);
  std::int16_t order[8];
  std::vector<std::int16_t> buffer(8 * 1000);
  ASSERT_EQ(board.SCAN_Op(kDevice, 8, 1, buffer.data(), 8000, 800000.0, 0.0, order), kDaqNoError);
  const std::int16_t expectedOrder[8] = {7, 6, 5, 4, 3, 2, 1, 0};
  EXPECT_TRUE(std::equal(order, order + 8, expectedOrder));
  // Position 3 of each scan is channel 4, the DC level.
  for (int s = 0; s < 1000; ++s) ASSERT_EQ(buffer[s * 8 + 3], 1024);

  ASSERT_EQ(board.SCAN_Demux(buffer.data(), 8000, 8, 0), kDaqNoError);
  auto block = [&](int i) {
    return std::vector<std::int16_t>(buffer.begin() + i * 1000, buffer.begin() + (i + 1) * 1000);
  };
  std::vector<std::int16_t> chirp = block(0), dc = block(3), square = block(6);
  EXPECT_TRUE(std::all_of(dc.begin(), dc.end(), [](int v) { return v == 1024; }));
  std::sort(square.begin(), square.end());
  square.erase(std::unique(square.begin(), square.end()), square.end());
  EXPECT_EQ(square, (std::vector<std::int16_t>{-1229, 1229}));
  // Block 0 is channel 7, converted first in every scan: exactly what a lone
  // acquisition of it at the scan interval (10 µs) reads.
  EXPECT_EQ(chirp, Acquire(board, 7, 1000));

  // A scan of 12 lists its first 8 channels; a scan of 3 pads with zeros.
  std::vector<std::int16_t> wide(12 * 4);
  ASSERT_EQ(board.SCAN_Op(kDevice, 12, 1, wide.data(), 48, 1e6, 0.0, order), kDaqNoError);
  const std::int16_t wideOrder[8] = {11, 10, 9, 8, 7, 6, 5, 4};
  EXPECT_TRUE(std::equal(order, order + 8, wideOrder));
  ASSERT_EQ(board.SCAN_Op(kDevice, 3, 1, wide.data(), 48, 1e6, 0.0, order), kDaqNoError);
  const std::int16_t shortOrder[8] = {2, 1, 0, 0, 0, 0, 0, 0};
  EXPECT_TRUE(std::equal(order, order + 8, shortOrder));
}

TEST(SimulatedBoardScan, DemuxGathersEachScanPositionIntoItsBlock) {
  SimulatedBoard board(kDevice);
  for (int n = 1; n <= 16; ++n) {
    const int scans = 150;  // crosses the demultiplexer's internal chunks
    std::vector<std::int16_t> buffer(n * scans);
    for (int s = 0; s < scans; ++s) {
      for (int j = 0; j < n; ++j) buffer[s * n + j] = static_cast<std::int16_t>(j * 1000 + s);
    }
    ASSERT_EQ(board.SCAN_Demux(buffer.data(), n * scans, static_cast<std::int16_t>(n), 0),
              kDaqNoError);
    for (int i = 0; i < n; ++i) {
      for (int s = 0; s < scans; ++s) ASSERT_EQ(buffer[i * scans + s], i * 1000 + s) << n;
    }
  }
}

// ---- Generator against the reference signal ----

void ExpectWithinOneLsb(const std::vector<std::int16_t>& readings, int chan, double t0, double dt,
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
  SimulatedBoard board(kDevice);
  for (int chan = 0; chan < SimulatedBoard::kChannelCount; ++chan) {
    const std::uint32_t count = chan < 8 ? 1000000 : 200000;
    for (double rate : {1250000.0, 33333.3}) {
      ExpectWithinOneLsb(Acquire(board, chan, count, rate), chan, 0.0, 1.0 / rate, 1, 0, 1.0,
                         false);
    }
  }
}

TEST(SimulatedBoardGenerator, HighGainAndUnipolarRunsFollowTheReference) {
  SimulatedBoard board(kDevice);
  for (int chan = 0; chan < SimulatedBoard::kChannelCount; ++chan) {
    ExpectWithinOneLsb(Acquire(board, chan, 20000, 100000.0, 100), chan, 0.0, 1e-5, 1, 0, 100.0,
                       false);
  }
  ASSERT_EQ(board.AI_Configure(kDevice, -1, 1, 0, 1, 0), kDaqNoError);
  for (int chan = 0; chan < SimulatedBoard::kChannelCount; ++chan) {
    ExpectWithinOneLsb(Acquire(board, chan, 20000, 7000.0, -1), chan, 0.0, 1.0 / 7000.0, 1, 0, 0.5,
                       true);
  }
}

TEST(SimulatedBoardGenerator, ScannedChannelsFollowTheReferenceAtTheirConversionTimes) {
  SimulatedBoard board(kDevice);
  std::int16_t order[8];
  const int n = 16;
  const std::uint32_t scans = 40000;
  std::vector<std::int16_t> buffer(n * scans);
  for (double scanRate : {0.0, 50000.0}) {
    const double rate = 1000000.0;
    ASSERT_EQ(board.SCAN_Op(kDevice, n, 1, buffer.data(), n * scans, rate, scanRate, order),
              kDaqNoError);
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
  SimulatedBoard board(kDevice);
  for (double rate : {1e-300, 4e-320}) {
    std::vector<std::int16_t> r = Acquire(board, 5, 50, rate);
    EXPECT_TRUE(std::all_of(r.begin(), r.end(), [](int v) { return v >= -2048 && v <= 2047; }));
  }
}

// ---- The shapes at the default 1000 points, 100 000 S/s ----

TEST(SimulatedBoardSignals, SineHasItsAmplitudeAndPeriod) {
  SimulatedBoard board(kDevice);
  std::vector<std::int16_t> r = Acquire(board, 0, 1000);
  EXPECT_EQ(r[0], 0);
  EXPECT_NEAR(*std::max_element(r.begin(), r.end()), 1638, 1);  // 4 V
  EXPECT_NEAR(*std::min_element(r.begin(), r.end()), -1638, 1);
  EXPECT_EQ(UpwardCrossings(r), (std::vector<int>{200, 400, 600, 800}));  // 500 Hz
}

TEST(SimulatedBoardSignals, SquareHasTwoLevelsAndHalfDuty) {
  SimulatedBoard board(kDevice);
  std::vector<std::int16_t> r = Acquire(board, 1, 1000);
  EXPECT_EQ(std::count(r.begin(), r.end(), 1229), 500);  // 3 V
  EXPECT_EQ(std::count(r.begin(), r.end(), -1229), 500);
  for (int k = 0; k < 1000; ++k) ASSERT_EQ(r[k], (k / 125) % 2 == 0 ? 1229 : -1229) << k;
}

TEST(SimulatedBoardSignals, TriangleRampsAtConstantSlope) {
  SimulatedBoard board(kDevice);
  std::vector<std::int16_t> r = Acquire(board, 2, 1000);
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
  SimulatedBoard board(kDevice);
  std::vector<std::int16_t> r = Acquire(board, 3, 1000);
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
  SimulatedBoard board(kDevice);
  std::vector<std::int16_t> r = Acquire(board, 4, 1000);
  EXPECT_TRUE(std::all_of(r.begin(), r.end(), [](int v) { return v == 1024; }));
}

TEST(SimulatedBoardSignals, NoisySineScattersAroundItsSine) {
  SimulatedBoard board(kDevice);
  std::vector<std::int16_t> r = Acquire(board, 5, 1000);
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
  std::vector<std::int16_t> again = Acquire(board, 5, 300);
  EXPECT_TRUE(std::equal(again.begin(), again.end(), r.begin()));
}

TEST(SimulatedBoardSignals, DampedBurstsDecayAndRestart) {
  SimulatedBoard board(kDevice);
  std::vector<std::int16_t> r = Acquire(board, 6, 1000);
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
  SimulatedBoard board(kDevice);
  std::vector<std::int16_t> r = Acquire(board, 7, 1000);
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

}  // namespace
}  // namespace tavril
