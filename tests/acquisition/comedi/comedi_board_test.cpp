#include "acquisition/comedi/comedi_board.h"

#include <comedi_errno.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <numeric>
#include <span>
#include <stop_token>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "acquisition/acquisition_engine.h"
#include "acquisition/comedi/default_boards.h"
#include "acquisition/error_handler.h"
#include "acquisition/volt_conversion.h"
#include "fake_comedi.h"
#include "model/messages.h"
#include "support/scripted_user.h"
#include "support/temp_dir.h"
#include "text/rate_text.h"

namespace tavril {
namespace {

using testing::ESeriesRanges;
using testing::FakeComediDevice;
using testing::FakeComediLibrary;
using testing::MSeriesRanges;
using testing::ScriptedUser;

constexpr InputMode kDiff = InputMode::kDifferential;
constexpr InputMode kRse = InputMode::kReferenced;
constexpr InputMode kNrse = InputMode::kNonReferenced;
constexpr InputSettings kRseBipolar{kRse, Polarity::kBipolar};

InputSettings Settings(InputMode mode, std::int16_t polarity) {
  return {mode, polarity == 1 ? Polarity::kUnipolar : Polarity::kBipolar};
}

// An E series board behind /fake/comedi<minor>.
FakeComediDevice& AddBoard(FakeComediLibrary& library, int minor = 0) {
  FakeComediDevice& device = library.devices["/fake/comedi" + std::to_string(minor)];
  device.ranges = ESeriesRanges();
  return device;
}

std::unique_ptr<Boards> Probe(FakeComediLibrary& library) {
  return MakeDefaultBoards({"/fake/comedi", &library});
}

// Acquires `scans` scans of `channels` as the engine does (start, one read
// of the whole acquisition, stop) into `readings`, as the board interleaves
// them; with `piece` > 0, reads that many readings at a time instead.
DaqStatus Acquire(Board& board, std::vector<int> channels, std::int16_t gain, std::uint64_t scans,
                  double sampleRate, double scanRate, std::vector<BoardReading>& readings,
                  std::size_t piece = 0) {
  readings.assign(static_cast<std::size_t>(scans) * channels.size(), 0);
  AcquisitionRequest request;
  request.channels = std::move(channels);
  request.gain = gain;
  request.sampleRate = sampleRate;
  request.scanRate = scanRate;
  request.scans = scans;
  DaqStatus status = board.Start(request);
  const std::span<BoardReading> all(readings);
  for (std::size_t at = 0; status == kDaqNoError && at < all.size();) {
    const std::size_t size = piece == 0 ? all.size() : std::min(piece, all.size() - at);
    const ReadResult read = board.Read(all.subspan(at, size));
    status = read.status;
    EXPECT_TRUE(status != kDaqNoError || read.count == size);
    at += size;
  }
  board.Stop();
  return status;
}

// `count` readings of `chan` at 100 kS/s on device 1.
DaqStatus ReadChannel(Boards& boards, int chan, std::int16_t gain,
                      std::vector<BoardReading>& readings, std::uint32_t count = 4) {
  return Acquire(boards.For(1), {chan}, gain, count, 100000.0, 0.0, readings);
}

// A scan of channels numChans - 1 down to 0 on device 1, as the engine asks.
DaqStatus Scan(Boards& boards, int numChans, std::int16_t gain, std::uint64_t scans,
               double sampleRate, double scanRate, std::vector<BoardReading>& readings,
               std::size_t piece = 0) {
  std::vector<int> channels;
  for (int chan = numChans - 1; chan >= 0; --chan) channels.push_back(chan);
  return Acquire(boards.For(1), channels, gain, scans, sampleRate, scanRate, readings, piece);
}

// Channels 0 to numChans - 1 of record-table `table`, each `count` points at
// `rate`, acquired as the panel asks on device 1; the boxes the user saw.
std::vector<MessageBoxRequest> AcquireRecords(Boards& boards, ChannelTable& table, int numChans,
                                              std::uint32_t count, double rate) {
  ScriptedUser user;
  ChannelSelection selected{};
  for (int j = 0; j < numChans; ++j) {
    table[j].device = 1;
    table[j].chan = static_cast<std::int16_t>(j);
    table[j].gain = 1;
    table[j].SetCount(count);
    table[j].rate = rate;
    selected[j] = true;
  }
  SpareSamples buffers;
  AcquireChannels({boards, user, DefaultBoardConfig(), buffers}, table, selected, 0.0);
  return user.boxes();
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// What the board's scale makes of `readings`.
std::vector<double> Volts(const VoltScale& scale, const std::vector<BoardReading>& readings,
                          double gainAdjust, double offset) {
  std::vector<double> volts;
  for (const BoardReading reading : readings) {
    volts.push_back(scale.Volts(reading, gainAdjust, offset));
  }
  return volts;
}

// ---- Which board serves which device number ----

TEST(ComediBoards, ABoardFoundServesItsDeviceNumberWithDriverAndBoardNames) {
  FakeComediLibrary library;
  AddBoard(library, 0);
  FakeComediDevice& isa = AddBoard(library, 2);
  isa.driver = "ni_atmio";
  isa.board = "at-mio-16e-1";
  const auto boards = Probe(library);
  EXPECT_EQ("Carte Comedi /fake/comedi0 : ni_pcimio, pci-6251", boards->DescribeDevice(1));
  EXPECT_EQ("Carte Comedi /fake/comedi2 : ni_atmio, at-mio-16e-1", boards->DescribeDevice(3));
  EXPECT_EQ("Comedi at-mio-16e-1", boards->Describe(3).brief);
  EXPECT_FALSE(boards->HasBoard(2));
  EXPECT_EQ(kDeviceNotFoundError, boards->For(2).Configure(kRseBipolar));
}

TEST(ComediBoards, DeviceOneIsTheSimulatedBoardWhenComedi0HoldsNoAnalogInputBoard) {
  for (const bool comedi0WithoutInputs : {false, true}) {
    FakeComediLibrary library;
    AddBoard(library, 1);
    if (comedi0WithoutInputs) AddBoard(library, 0).hasAnalogInput = false;
    const auto boards = Probe(library);
    EXPECT_EQ(kSimulatedBoardDescription, boards->DescribeDevice(1));
    EXPECT_EQ("Carte Comedi /fake/comedi1 : ni_pcimio, pci-6251", boards->DescribeDevice(2));
    if (comedi0WithoutInputs) {
      EXPECT_EQ(1, library.devices["/fake/comedi0"].closed);
    }
  }
}

TEST(ComediBoards, ABoardThatCannotBeOpenedKeepsItsNumberAndSaysWhy) {
  FakeComediLibrary library;
  AddBoard(library, 0).openErrno = EACCES;
  AddBoard(library, 1).openErrno = ENODEV;  // a Comedi minor without a board
  const auto boards = Probe(library);
  EXPECT_EQ(std::string("Carte Comedi /fake/comedi0 inaccessible : ") + comedi_strerror(EACCES),
            boards->DescribeDevice(1));
  EXPECT_EQ("comedi0 inaccessible", boards->Describe(1).brief);
  EXPECT_EQ(ComediStatus(EACCES), boards->For(1).Configure(kRseBipolar));
  EXPECT_EQ(ComediStatus(EACCES), boards->For(1).ZeroOutputs());
  EXPECT_EQ(std::string("La carte Comedi signale : ") + comedi_strerror(EACCES),
            boards->For(1).StatusMessage(ComediStatus(EACCES)));
  EXPECT_FALSE(boards->HasBoard(2));
}

TEST(ComediBoards, WithoutDeviceFilesTheProgramKeepsTheSimulatedBoard) {
  testing::TempDir dir;
  const std::string prefix = (dir.path() / "comedi").string();
  EXPECT_EQ(kSimulatedBoardDescription, MakeDefaultBoards({prefix})->DescribeDevice(1));
  if (std::filesystem::exists("/dev/comedi0")) GTEST_SKIP() << "this machine has /dev/comedi0";
  EXPECT_EQ(kSimulatedBoardDescription, MakeDefaultBoards()->DescribeDevice(1));
}

TEST(ComediBoards, TheBoardsCloseTheDevicesTheyOpened) {
  FakeComediLibrary library;
  FakeComediDevice& device = AddBoard(library);
  Probe(library).reset();
  EXPECT_EQ(1, device.opened);
  EXPECT_EQ(1, device.closed);
}

// ---- Input mode, polarity and gain ----

TEST(ComediRanges, TheGainPicksTheRangeOfMatchingSpan) {
  struct Case {
    std::int16_t polarity;
    std::int16_t gain;
    unsigned range;  // in ESeriesRanges
  };
  const Case cases[] = {
      {0, -1, 0},  {0, 1, 1},   {0, 2, 2},   {0, 5, 3},    {0, 10, 4}, {0, 20, 5},
      {0, 50, 6},  {0, 100, 7}, {1, -1, 8},  {1, 1, 9},    {1, 2, 10}, {1, 5, 11},
      {1, 10, 12}, {1, 20, 13}, {1, 50, 14}, {1, 100, 15},
  };
  FakeComediLibrary library;
  FakeComediDevice& device = AddBoard(library);
  const auto boards = Probe(library);
  std::vector<BoardReading> readings;
  for (const Case& c : cases) {
    ASSERT_EQ(kDaqNoError, boards->For(1).Configure(Settings(kRse, c.polarity)));
    ASSERT_EQ(kDaqNoError, ReadChannel(*boards, 2, c.gain, readings)) << c.gain;
    EXPECT_EQ(c.range, CR_RANGE(device.chanlist.at(0))) << c.polarity << " " << c.gain;
    EXPECT_EQ(2u, CR_CHAN(device.chanlist[0]));
  }
}

TEST(ComediRanges, AGainWithoutMatchingRangeIsBadGain) {
  FakeComediLibrary library;
  FakeComediDevice& device = AddBoard(library);
  device.ranges = MSeriesRanges();  // ±10, 5, 2, 1, 0.5, 0.2, 0.1 V
  const auto boards = Probe(library);
  std::vector<BoardReading> readings;
  for (const std::int16_t gain : {-1, 1, 5, 10, 50}) {
    EXPECT_EQ(kDaqNoError, ReadChannel(*boards, 0, gain, readings)) << gain;
  }
  for (const std::int16_t gain : {2, 20, 100, 3, 0}) {
    EXPECT_EQ(kBadGainError, ReadChannel(*boards, 0, gain, readings)) << gain;
  }
  VoltScale scale;
  EXPECT_EQ(kBadGainError, boards->For(1).ScaleFor(0, 2, scale));
  EXPECT_EQ(5, device.commands);
}

TEST(ComediConfigure, TheInputModeChoosesTheAnalogReference) {
  const std::pair<InputMode, unsigned> cases[] = {
      {kDiff, AREF_DIFF}, {kRse, AREF_GROUND}, {kNrse, AREF_COMMON}};
  FakeComediLibrary library;
  FakeComediDevice& device = AddBoard(library);
  const auto boards = Probe(library);
  std::vector<BoardReading> readings;
  ASSERT_EQ(kDaqNoError, ReadChannel(*boards, 0, 1, readings));
  EXPECT_EQ(unsigned{AREF_GROUND}, CR_AREF(device.chanlist[0])) << "before any configuration";
  for (const auto& [mode, aref] : cases) {
    ASSERT_EQ(kDaqNoError, boards->For(1).Configure(Settings(mode, 0)));
    ASSERT_EQ(kDaqNoError, ReadChannel(*boards, 7, 1, readings));
    EXPECT_EQ(aref, CR_AREF(device.chanlist[0])) << static_cast<int>(mode);
  }
}

TEST(ComediConfigure, TheLastSettingsApplyToEveryChannel) {
  FakeComediLibrary library;
  FakeComediDevice& device = AddBoard(library);
  const auto boards = Probe(library);
  ASSERT_EQ(kDaqNoError, boards->For(1).Configure(kRseBipolar));
  ASSERT_EQ(kDaqNoError, boards->For(1).Configure(Settings(kDiff, 1)));
  std::vector<BoardReading> raw;
  ASSERT_EQ(kDaqNoError, Scan(*boards, 3, 1, 3, 100000.0, 0.0, raw));
  ASSERT_EQ(3u, device.chanlist.size());
  EXPECT_EQ(CR_PACK(0, 9, AREF_DIFF), device.chanlist[0]);  // 0 to 10 V
  EXPECT_EQ(CR_PACK(1, 9, AREF_DIFF), device.chanlist[1]);
  EXPECT_EQ(CR_PACK(2, 9, AREF_DIFF), device.chanlist[2]);
}

TEST(ComediConfigure, RefusesWhatTheBoardCannotDo) {
  FakeComediLibrary library;
  FakeComediDevice& device = AddBoard(library);
  device.ranges = MSeriesRanges();  // no unipolar range
  device.flags &= ~SDF_COMMON;
  const auto boards = Probe(library);
  Board& board = boards->For(1);
  EXPECT_EQ(kBadInputModeError, board.Configure(Settings(kNrse, 0)));
  EXPECT_EQ(kBadPolarityError, board.Configure(Settings(kRse, 1)));
  EXPECT_EQ(kDaqNoError, board.Configure(Settings(kDiff, 0)));
}

// ---- Raw codes to readings, readings to volts ----

// The readings one channel gives for raw codes `codes`, one per scan, read
// `piece` readings at a time (0: at once).
std::vector<BoardReading> ReadingsOf(lsampl_t maxdata, std::int16_t polarity,
                                     const std::vector<lsampl_t>& codes, int extraFlags = 0,
                                     std::size_t readChunkBytes = 4096, std::size_t piece = 0) {
  FakeComediLibrary library;
  FakeComediDevice& device = AddBoard(library);
  device.maxdata = maxdata;
  device.flags |= extraFlags;
  device.readChunkBytes = readChunkBytes;
  device.sample = [&codes](unsigned, unsigned, std::size_t scan) { return codes.at(scan); };
  const auto boards = Probe(library);
  EXPECT_EQ(kDaqNoError, boards->For(1).Configure(Settings(kRse, polarity)));
  std::vector<BoardReading> readings;
  EXPECT_EQ(kDaqNoError,
            Acquire(boards->For(1), {0}, 1, codes.size(), 100000.0, 0.0, readings, piece));
  return readings;
}

TEST(ComediReadings, OffsetBinaryBecomesTwosComplementOnBipolarRanges) {
  EXPECT_EQ((std::vector<BoardReading>{-32768, -1, 0, 1, 32767}),
            ReadingsOf(0xFFFF, 0, {0, 32767, 32768, 32769, 65535}));
  EXPECT_EQ((std::vector<BoardReading>{-2048, 0, 2047}), ReadingsOf(0xFFF, 0, {0, 2048, 4095}));
}

TEST(ComediReadings, UnipolarRangesKeepTheRawCodes) {
  EXPECT_EQ((std::vector<BoardReading>{0, 2048, 4095}), ReadingsOf(0xFFF, 1, {0, 2048, 4095}));
  EXPECT_EQ((std::vector<BoardReading>{0, 32767, 32768, 65535}),
            ReadingsOf(0xFFFF, 1, {0, 32767, 32768, 65535}));
}

TEST(ComediReadings, EighteenBitConvertersKeepTheirLastBit) {
  EXPECT_EQ((std::vector<BoardReading>{-131072, -1, 0, 1, 131071}),
            ReadingsOf(0x3FFFF, 0, {0, 0x1FFFF, 0x20000, 0x20001, 0x3FFFF}, SDF_LSAMPL));
  EXPECT_EQ((std::vector<BoardReading>{0, 1, 0x3FFFF}),
            ReadingsOf(0x3FFFF, 1, {0, 1, 0x3FFFF}, SDF_LSAMPL));
}

TEST(ComediReadings, SamplesCutBetweenReadsAreReassembled) {
  std::vector<lsampl_t> codes;
  for (lsampl_t k = 0; k < 50; ++k) codes.push_back(k * 1301 % 65536);
  for (const int flags : {0, SDF_LSAMPL}) {
    const std::vector<BoardReading> atOnce = ReadingsOf(0xFFFF, 0, codes, flags);
    EXPECT_EQ(atOnce, ReadingsOf(0xFFFF, 0, codes, flags, 3));
    EXPECT_EQ(atOnce, ReadingsOf(0xFFFF, 0, codes, flags, 3, 7)) << "read 7 at a time";
  }
}

TEST(ComediVolts, WithoutCalibrationUsesTheRangeFormula) {
  FakeComediLibrary library;
  AddBoard(library);
  const auto boards = Probe(library);
  Board& board = boards->For(1);
  const std::vector<BoardReading> readings = {-32768, 0, 32767};
  VoltScale scale;
  // ±0.5 V (gain 10), 16 bits: volts = (-0.5 + raw / 65535) / gainAdjust.
  ASSERT_EQ(kDaqNoError, board.ScaleFor(0, 10, scale));
  std::vector<double> volts = Volts(scale, readings, 1.0, 0.0);
  EXPECT_DOUBLE_EQ(-0.5, volts[0]);
  EXPECT_DOUBLE_EQ(-0.5 + 32768.0 / 65535.0, volts[1]);
  EXPECT_DOUBLE_EQ(0.5, volts[2]);
  EXPECT_EQ(-32768, scale.lowestReading);
  EXPECT_EQ(32767, scale.highestReading);
  // The offset is in readings; the gain adjustment divides.
  volts = Volts(scale, readings, 2.0, -100.0);
  EXPECT_DOUBLE_EQ((-0.5 + 100.0 / 65535.0) / 2.0, volts[0]);
  // Unipolar 0 to 10 V: reading 65535 is the top of the range.
  ASSERT_EQ(kDaqNoError, board.Configure(Settings(kRse, 1)));
  ASSERT_EQ(kDaqNoError, board.ScaleFor(0, 1, scale));
  volts = Volts(scale, {0, 65535}, 1.0, 0.0);
  EXPECT_DOUBLE_EQ(0.0, volts[0]);
  EXPECT_DOUBLE_EQ(10.0, volts[1]);
}

TEST(ComediVolts, UsesTheCalibrationComedilibProvides) {
  comedi_polynomial_t hardcal{};
  hardcal.order = 1;
  hardcal.coefficients[0] = -5.01;
  hardcal.coefficients[1] = 10.02 / 65535.0;
  comedi_polynomial_t softcal{};
  softcal.order = 2;
  softcal.expansion_origin = 32768.0;
  softcal.coefficients[0] = 0.003;
  softcal.coefficients[1] = 1.5e-4;
  softcal.coefficients[2] = 1e-12;
  const auto Poly = [](const comedi_polynomial_t& p, double raw) {
    const double x = raw - p.expansion_origin;
    return p.coefficients[0] + p.coefficients[1] * x + p.coefficients[2] * x * x;
  };
  const double linear = -5.0 + 33768.0 * 10.0 / 65535.0;
  struct Case {
    bool soft;
    bool fileExists;
    double expected;  // for reading 1000 (raw 33768) at ±5 V
  };
  const Case cases[] = {
      {false, false, Poly(hardcal, 33768.0)},
      {true, true, Poly(softcal, 33768.0)},
      {true, false, linear},  // soft-calibrated board never calibrated
  };
  for (const Case& c : cases) {
    FakeComediLibrary library;
    FakeComediDevice& device = AddBoard(library);
    if (c.soft) device.flags |= SDF_SOFT_CALIBRATED;
    device.calibrationFileExists = c.fileExists;
    device.hasHardcal = true;
    device.hardcal = hardcal;
    device.hasSoftcal = true;
    device.softcal = softcal;
    const auto boards = Probe(library);
    VoltScale scale;
    ASSERT_EQ(kDaqNoError, boards->For(1).ScaleFor(0, 1, scale));
    EXPECT_DOUBLE_EQ(c.expected, scale.Volts(1000, 1.0, 0.0)) << c.soft << c.fileExists;
  }
}

TEST(ComediCalibration, HardwareCalibrationIsAppliedForTheChannelsOfEachCommand) {
  for (const bool soft : {false, true}) {
    FakeComediLibrary library;
    FakeComediDevice& device = AddBoard(library);
    device.calibrationFileExists = true;
    if (soft) device.flags |= SDF_SOFT_CALIBRATED;
    const auto boards = Probe(library);
    ASSERT_EQ(kDaqNoError, boards->For(1).Configure(Settings(kDiff, 0)));
    std::vector<BoardReading> raw;
    ASSERT_EQ(kDaqNoError, Scan(*boards, 2, 10, 2, 100000.0, 0.0, raw));
    const std::vector<std::vector<unsigned>> applied{{0, 4, AREF_DIFF}, {1, 4, AREF_DIFF}};
    EXPECT_EQ(soft ? std::vector<std::vector<unsigned>>{} : applied, device.appliedCalibrations);
  }
}

// ---- Timed commands ----

TEST(ComediCommand, RunsATimedCommandUntilTheCountAsked) {
  FakeComediLibrary library;
  FakeComediDevice& device = AddBoard(library);
  const auto boards = Probe(library);
  Board& board = boards->For(1);
  AcquisitionRequest request;
  request.channels = {5};
  request.sampleRate = 100000.0;
  request.scans = 1000;
  ASSERT_EQ(kDaqNoError, board.Start(request));
  std::vector<BoardReading> readings(1010);
  const ReadResult read = board.Read(readings);
  EXPECT_EQ(kDaqNoError, read.status);
  EXPECT_EQ(1000u, read.count) << "fewer readings at the end of the acquisition";
  EXPECT_EQ(0, device.cancels);
  board.Stop();
  EXPECT_EQ(1, device.commands);
  EXPECT_EQ(unsigned{TRIG_COUNT}, device.command.stop_src);
  EXPECT_EQ(1000u, device.command.stop_arg);
  EXPECT_EQ(10000u, device.command.convert_arg);
  EXPECT_EQ(std::vector<unsigned>{CR_PACK(5, 1, AREF_GROUND)}, device.chanlist);
  for (std::int16_t k = 0; k < 1000; ++k) ASSERT_EQ(5000 + k, readings[k]);
  EXPECT_EQ(1, device.cancels) << "the finished command frees the subdevice";
  EXPECT_EQ(1u << 20, device.bufferBytes) << "the kernel buffer is enlarged at start";
}

TEST(ComediCommand, TakesTheTimingTheBoardSettlesOn) {
  struct Case {
    double rate;
    DaqStatus status;
    unsigned convertNs;  // settled by the board
  };
  const Case cases[] = {
      {100000.0, kDaqNoError, 10000},       // exact
      {300000.0, kDaqNoError, 3350},        // 3333 ns rounded by 0.5 %
      {700000.0, kDaqNoError, 1450},        // 1429 ns rounded by 1.5 %
      {2000000.0, kBadIntervalError, 800},  // beyond the board's fastest conversion
  };
  for (const Case& c : cases) {
    FakeComediLibrary library;
    FakeComediDevice& device = AddBoard(library);
    const auto boards = Probe(library);
    std::vector<BoardReading> readings;
    EXPECT_EQ(c.status, Acquire(boards->For(1), {0}, 1, 8, c.rate, 0.0, readings)) << c.rate;
    ASSERT_FALSE(device.commandTests.empty());
    EXPECT_EQ(c.status == kDaqNoError ? 1 : 0, device.commands) << c.rate;
    if (c.status == kDaqNoError) {
      EXPECT_EQ(c.convertNs, device.command.convert_arg) << c.rate;
    } else {
      EXPECT_EQ(c.convertNs, device.commandTests.back().convert_arg) << c.rate;
    }
  }
}

TEST(ComediCommand, TheScanRateSetsTheScanClock) {
  FakeComediLibrary library;
  FakeComediDevice& device = AddBoard(library);
  const auto boards = Probe(library);
  std::vector<BoardReading> raw;
  ASSERT_EQ(kDaqNoError, Scan(*boards, 4, 1, 10, 100000.0, 1000.0, raw));
  EXPECT_EQ(10000u, device.command.convert_arg);
  EXPECT_EQ(1000000u, device.command.scan_begin_arg);
  EXPECT_EQ(10u, device.command.stop_arg) << "scans, not readings";
  ASSERT_EQ(kDaqNoError, Scan(*boards, 4, 1, 10, 100000.0, 0.0, raw));
  EXPECT_EQ(40000u, device.command.scan_begin_arg) << "scan rate 0: channels back to back";
}

TEST(ComediCommand, ScansFollowEachOtherUnlessASlowerScanRateNeedsTheScanClock) {
  for (const bool hasScanClock : {true, false}) {
    FakeComediLibrary library;
    FakeComediDevice& device = AddBoard(library);
    device.canFollow = true;
    device.hasScanClock = hasScanClock;
    const auto boards = Probe(library);
    std::vector<BoardReading> raw;
    for (const double backToBack : {0.0, 25000.0}) {
      ASSERT_EQ(kDaqNoError, Scan(*boards, 4, 1, 10, 100000.0, backToBack, raw));
      EXPECT_EQ(unsigned{TRIG_FOLLOW}, device.command.scan_begin_src);
    }
    EXPECT_EQ(hasScanClock ? kDaqNoError : kBadIntervalError,
              Scan(*boards, 4, 1, 10, 100000.0, 1000.0, raw));
    if (hasScanClock) {
      EXPECT_EQ(unsigned{TRIG_TIMER}, device.command.scan_begin_src);
      EXPECT_EQ(1000000u, device.command.scan_begin_arg);
    }
  }
}

TEST(ComediCommand, RefusesBadArgumentsBeforeTouchingTheBoard) {
  FakeComediLibrary library;
  FakeComediDevice& device = AddBoard(library);
  const auto boards = Probe(library);
  Board& board = boards->For(1);
  std::vector<BoardReading> raw;
  EXPECT_EQ(kBadChanError, Acquire(board, {16}, 1, 8, 1e5, 0.0, raw));
  EXPECT_EQ(kBadCountError, board.Start({{0}, 1, 1e5, 0.0, std::uint64_t{UINT_MAX} + 1}));
  EXPECT_EQ(kBadIntervalError, Acquire(board, {0}, 1, 8, 0.0, 0.0, raw));
  EXPECT_EQ(kBadIntervalError, Acquire(board, {0}, 1, 8, 0.1, 0.0, raw));  // 10 s > 2^32 ns
  EXPECT_EQ(kBadChanError, Scan(*boards, 17, 1, 16, 1e5, 0.0, raw));
  EXPECT_EQ(kBadChanError, Acquire(board, {1, 16}, 1, 8, 1e5, 0.0, raw));
  EXPECT_EQ(kBadIntervalError, Scan(*boards, 3, 1, 16, 1e5, 40000.0, raw));
  EXPECT_EQ(0, device.commands);
  device.maxChanlist = 2;  // the command test refuses the channel list
  EXPECT_EQ(kBadChanError, Scan(*boards, 3, 1, 16, 1e5, 0.0, raw));
}

// ---- Scan layout ----

TEST(ComediScan, ScansTheChannelsUpwardsAndGivesThemBackInTheOrderAsked) {
  FakeComediLibrary library;
  FakeComediDevice& device = AddBoard(library);
  device.ascendingOnly = true;
  const auto boards = Probe(library);
  constexpr std::uint32_t kScans = 5;
  std::vector<BoardReading> raw;
  ASSERT_EQ(kDaqNoError, Scan(*boards, 3, 1, kScans, 1e5, 0.0, raw));
  ASSERT_EQ(3u, device.chanlist.size());
  EXPECT_EQ(0u, CR_CHAN(device.chanlist[0]));
  EXPECT_EQ(1u, CR_CHAN(device.chanlist[1]));
  EXPECT_EQ(2u, CR_CHAN(device.chanlist[2]));
  for (std::uint32_t s = 0; s < kScans; ++s) {
    for (std::uint32_t j = 0; j < 3; ++j) {
      // Scan s of channels 2, 1, 0.
      EXPECT_EQ(static_cast<BoardReading>((2 - j) * 1000 + s), raw[s * 3 + j]);
    }
  }
  // Reads that end inside a scan carry the position in the scan over.
  for (const std::size_t chunkBytes : {std::size_t{4096}, std::size_t{3}}) {
    device.readChunkBytes = chunkBytes;
    std::vector<BoardReading> inPieces;
    ASSERT_EQ(kDaqNoError, Scan(*boards, 3, 1, kScans, 1e5, 0.0, inPieces, 2));
    EXPECT_EQ(raw, inPieces);
  }
}

TEST(ComediScan, TheEngineFillsEachRecordWithItsOwnChannel) {
  FakeComediLibrary library;
  AddBoard(library);
  const auto boards = Probe(library);
  ScriptedUser user;
  BoardConfig config = DefaultBoardConfig();
  ASSERT_TRUE(ConfigureBoard(*boards, user, 1, kInputModeReferencedSingleEnded, kPolarityBipolar));
  ChannelTable table{};
  ChannelSelection selected{};
  for (int j = 0; j < 3; ++j) {
    table[j].device = 1;
    table[j].chan = static_cast<std::int16_t>(j);
    table[j].gain = 1;
    table[j].SetCount(6);
    table[j].rate = 60000.0;  // scans of 50 µs, whole 50 ns ticks
    selected[j] = true;
  }
  SpareSamples buffers;
  ASSERT_TRUE(AcquireChannels({*boards, user, config, buffers}, table, selected, 0.0));
  EXPECT_TRUE(user.boxes().empty());
  for (int j = 0; j < 3; ++j) {
    ASSERT_EQ(6u, table[j].sampleCount());
    for (int s = 0; s < 6; ++s) {
      // Reading j * 1000 + s at ±5 V over 16 bits.
      EXPECT_DOUBLE_EQ(-5.0 + (32768.0 + j * 1000 + s) * 10.0 / 65535.0, table[j].samples()[s]);
    }
    EXPECT_DOUBLE_EQ(20000.0, table[j].rate);
  }
}

// ---- Time-out ----

TEST(ComediTimeOut, AStalledAcquisitionTimesOutAndIsCancelled) {
  FakeComediLibrary library;
  FakeComediDevice& device = AddBoard(library);
  device.stallAfterBytes = 100;
  const auto boards = Probe(library);
  ASSERT_EQ(kDaqNoError, boards->For(1).SetTimeout(2));
  std::vector<BoardReading> readings;
  EXPECT_EQ(kTimeOutError, ReadChannel(*boards, 0, 1, readings, 1000));
  EXPECT_EQ(1, device.cancels);
  ASSERT_FALSE(device.waits.empty());
  EXPECT_GT(device.waits.back(), 0);
  EXPECT_LE(device.waits.back(), 2 * 55);
  EXPECT_EQ(kInvalidValueError, boards->For(1).SetTimeout(-2));
}

TEST(ComediTimeOut, MinusOneWaitsForEver) {
  FakeComediLibrary library;
  FakeComediDevice& device = AddBoard(library);
  device.readChunkBytes = 64;
  const auto boards = Probe(library);
  ASSERT_EQ(kDaqNoError, boards->For(1).SetTimeout(-1));
  std::vector<BoardReading> readings;
  ASSERT_EQ(kDaqNoError, ReadChannel(*boards, 0, 1, readings, 100));
  // In slices, to see whether Stop() was asked meanwhile.
  EXPECT_EQ(std::vector<int>(device.waits.size(), ComediBoard::kStopCheckMs), device.waits);
  EXPECT_EQ(4u, device.waits.size());  // 200 bytes, 64 at a time
}

// ---- Streams ----

TEST(ComediStream, RunsWithoutStopCountAtTheSettledRateUntilTheBufferOverflows) {
  for (const bool canFollow : {false, true}) {
    FakeComediLibrary library;
    FakeComediDevice& device = AddBoard(library);
    device.canFollow = canFollow;
    device.readChunkBytes = 7;  // cuts samples in two
    const auto boards = Probe(library);
    Board& board = boards->For(1);
    ASSERT_EQ(kDaqNoError, board.Start({{2, 0}, 1, 59990.0, 0.0, 0}));
    EXPECT_EQ(unsigned{TRIG_NONE}, device.command.stop_src);
    // To the 50 ns tick: conversions 16 669 -> 16 650 ns, timed scans 33 339 -> 33 350 ns.
    const std::uint64_t scanNs = canFollow ? 2 * 16650 : 33350;
    EXPECT_EQ(1e9 / scanNs, board.RateUsed());
    std::vector<BoardReading> raw(2 * 300);
    for (std::size_t at = 0; at < raw.size(); at += 100) {
      ASSERT_EQ(100u, board.Read(std::span(raw).subspan(at, 100)).count);
      // No scan past the last one read was waited for.
      EXPECT_EQ((at + 99) / 2 * scanNs, device.nanoseconds);
    }
    for (std::size_t s = 0; s < 300; ++s) {
      EXPECT_EQ(static_cast<BoardReading>(2000 + s), raw[2 * s]);
      EXPECT_EQ(static_cast<BoardReading>(s), raw[2 * s + 1]);
    }
    device.bufferBytes = 200;
    device.nanoseconds += 200 * scanNs;  // 200 scans while nobody reads
    const ReadResult overflow = board.Read(raw);
    EXPECT_EQ(kOverWriteError, overflow.status);
    EXPECT_EQ(100u, overflow.count) << "what the buffer held";
    EXPECT_EQ(kOverWriteError, board.Read(raw).status);
    EXPECT_NE(std::string::npos, board.StatusMessage(kOverWriteError).find("pilote Comedi"));
    // EPIPE also stands for the board's own errors, which the kernel log tells.
    EXPECT_NE(std::string::npos, board.StatusMessage(kOverWriteError).find("dmesg"));
    board.Stop();
    EXPECT_EQ(1, device.cancels);
    EXPECT_EQ(0.0, board.RateUsed());
  }
}

// ---- The kernel's NI and comedi_test drivers ----

TEST(ComediDriverTiming, SettlesAsTheDriverDoesAndRefusesWithTheBoardsLimit) {
  struct Case {
    int channels;
    double sampleRate, scanRate;
    unsigned convertNs;  // as settled; 0 for a refusal
    double rateUsed;
    const char* says;  // in the refusal
  };
  const Case cases[] = {
      // Conversions stop at 0xFFFF ticks; one channel keeps that and its scan clock.
      {1, 100.0, 0.0, 50 * 0xFFFF, 100.0, ""},
      {4, 100.0, 10.0, 50 * 0xFFFF, 10.0, ""},
      {1, 420000.0, 0.0, 2400, 1e9 / 2400, ""},
      {1, 1.2, 0.0, 50 * 0xFFFF, 1e9 / 833333350, ""},
      {1, 1.0, 0.0, 0, 0, "au moins 1.19209 "},
      {1, 0.1, 0.0, 0, 0, "(0.1 échantillons par seconde et par voie) est plus lente"},
      {1, 2e6, 0.0, 0, 0, "au plus 1250000 "},
      {4, 2e6, 1e5, 0, 0, "au plus 1250000 conversions"},
      // Beyond what a command's nanoseconds hold, and scans faster than their conversions.
      {1, 3e9, 0.0, 0, 0, "au plus 1250000 "},
      {4, 3e9, 1e5, 0, 0, "au plus 1250000 conversions"},
      {2, 1000.0, 600.0, 0, 0, "au plus 500 balayages par seconde"},
  };
  for (const Case& c : cases) {
    FakeComediLibrary library;
    FakeComediDevice& device = AddBoard(library);
    testing::ModelNiMio(device);
    const auto boards = Probe(library);
    Board& board = boards->For(1);
    std::vector<int> channels(static_cast<std::size_t>(c.channels));
    std::iota(channels.begin(), channels.end(), 0);
    const DaqStatus status = board.Start({channels, 1, c.sampleRate, c.scanRate, 10});
    EXPECT_EQ(c.convertNs == 0 ? kBadIntervalError : kDaqNoError, status) << c.sampleRate;
    EXPECT_TRUE(Contains(board.StatusMessage(status), c.says)) << board.StatusMessage(status);
    if (c.convertNs == 0) continue;
    EXPECT_EQ(c.convertNs, device.command.convert_arg) << c.sampleRate;
    EXPECT_DOUBLE_EQ(c.rateUsed, board.RateUsed()) << c.sampleRate;
  }
}

TEST(ComediDriverTiming, TheRecordsTakeTheRateTheClockGivesAndTheUserIsTold) {
  struct Case {
    bool comediTest;  // 1 µs ticks; else NI's 50 ns
    int channels;
    double rate, recorded;
  };
  const Case cases[] = {
      {false, 1, 420000.0, 1e9 / 2400}, {false, 1, 100000.0, 100000.0},
      {false, 2, 300000.0, 1e9 / 6700}, {true, 1, 300000.0, 1e6 / 3},
      {true, 2, 10000.0, 5000.0},
  };
  for (const Case& c : cases) {
    FakeComediLibrary library;
    FakeComediDevice& device = AddBoard(library);
    c.comediTest ? testing::ModelComediTest(device) : testing::ModelNiMio(device);
    const auto boards = Probe(library);
    ChannelTable table{};
    const auto boxes = AcquireRecords(*boards, table, c.channels, 10, c.rate);
    EXPECT_DOUBLE_EQ(c.recorded, table[0].rate) << c.rate;
    const bool rounded = c.recorded * c.channels != c.rate;
    ASSERT_EQ(rounded ? 1u : 0u, boxes.size()) << c.rate;
    if (rounded) {
      EXPECT_TRUE(Contains(boxes[0].text, RateText(c.recorded) + " échantillons") &&
                  Contains(boxes[0].text, RateText(c.rate / c.channels) + " demandés"))
          << boxes[0].text;
    }
  }
}

TEST(ComediTestDriver, ASawtoothAndASquareWaveEachInItsOwnRecord) {
  FakeComediLibrary library;
  testing::ModelComediTest(AddBoard(library));
  const auto boards = Probe(library);
  ChannelTable table{};
  ASSERT_TRUE(AcquireRecords(*boards, table, 2, 2000, 20000.0).empty());
  for (std::size_t s = 0; s < 2000; ++s) {  // two periods of 0.1 s
    const double phase = static_cast<double>(s % 1000) / 1000.0;
    EXPECT_NEAR(-1.0 + 2.0 * phase, table[0].sample(s), 1e-3) << s;
    EXPECT_NEAR(phase < 0.5 ? -1.0 : 1.0, table[1].sample(s), 1e-3) << s;
  }
}

// ---- Boards that cannot run commands ----

TEST(ComediBoards, ACommandCannotRunWithoutCmdReadOrOnAnotherReadSubdevice) {
  struct Case {
    int flagsRemoved;
    unsigned subdevice;  // the file reads subdevice 0
    bool settable;
    const char* says;  // nullptr: the board runs commands
  };
  const Case cases[] = {
      {SDF_CMD_READ, 0, true, "interruption"},  // an ISA board configured without IRQ
      {0, 2, true, nullptr},
      {0, 2, false, "sous-périphérique 2"},
  };
  for (const Case& c : cases) {
    FakeComediLibrary library;
    FakeComediDevice& device = AddBoard(library);
    device.flags &= ~c.flagsRemoved;
    device.subdevice = c.subdevice;
    device.readSubdeviceSettable = c.settable;
    const auto boards = Probe(library);
    std::vector<BoardReading> readings;
    const DaqStatus status = ReadChannel(*boards, 0, 1, readings);
    EXPECT_EQ(c.says == nullptr ? kDaqNoError : kDeviceSupportError, status) << c.subdevice;
    EXPECT_EQ(c.says != nullptr, Contains(boards->DescribeDevice(1), "cadencée impossible"));
    if (c.says == nullptr) continue;
    EXPECT_TRUE(device.commandTests.empty());
    EXPECT_TRUE(Contains(boards->For(1).StatusMessage(status), c.says));
  }
}

// ---- Calibration files, 18-bit readings ----

TEST(ComediCalibration, AnUncalibratedMSeriesBoardSaysSoAndTakesACalibrationMadeLater) {
  FakeComediLibrary library;
  FakeComediDevice& device = AddBoard(library);
  device.flags |= SDF_SOFT_CALIBRATED;
  device.hasSoftcal = true;
  device.softcal.order = 1;
  const auto boards = Probe(library);
  EXPECT_TRUE(Contains(boards->DescribeDevice(1),
                       "non étalonnée : lancer « sudo comedi_soft_calibrate -f /fake/comedi0 »"));
  std::vector<BoardReading> readings;
  VoltScale scale;
  for (const bool calibrated : {false, true}) {
    device.calibrationFileExists = calibrated;
    ASSERT_EQ(kDaqNoError, ReadChannel(*boards, 0, 1, readings));
    ASSERT_EQ(kDaqNoError, boards->For(1).ScaleFor(0, 1, scale));
    EXPECT_EQ(calibrated ? VoltScale::Form::kPolynomial : VoltScale::Form::kRange, scale.form);
    EXPECT_EQ(!calibrated, Contains(boards->DescribeDevice(1), "non étalonnée"));
  }
}

TEST(ComediVolts, AReadingOfAnEighteenBitBoardIsItsOwnCode) {
  FakeComediLibrary library;
  FakeComediDevice& device = AddBoard(library);
  device.maxdata = 0x3FFFF;
  device.flags |= SDF_LSAMPL;
  const auto boards = Probe(library);
  VoltScale scale;
  ASSERT_EQ(kDaqNoError, boards->For(1).ScaleFor(0, 1, scale));  // ±5 V
  const VoltConverter table(scale, 1.0, 0.0, true);
  for (const BoardReading reading : {-131072, 0, 1, 131071}) {
    const double volts = -5.0 + (reading + 131072) * 10.0 / 0x3FFFF;
    EXPECT_NEAR(volts, scale.Volts(reading, 1.0, 0.0), 1e-12);
    EXPECT_EQ(scale.Volts(reading, 1.0, 0.0), table(reading));
  }
}

// ---- Time-outs and giving up ----

TEST(ComediTimeOut, AnAcquisitionLongerThanTheTimeOutIsRefusedBeforeItRuns) {
  FakeComediLibrary library;
  FakeComediDevice& device = AddBoard(library);
  const auto boards = Probe(library);
  Board& board = boards->For(1);
  std::vector<BoardReading> readings;
  ASSERT_EQ(kDaqNoError, board.SetTimeout(18));  // 0.99 s
  EXPECT_EQ(kDaqNoError, Acquire(board, {0}, 1, 990, 1000.0, 0.0, readings));
  EXPECT_EQ(kTimeOutError, Acquire(board, {0}, 1, 1000, 1000.0, 0.0, readings));
  EXPECT_EQ(1, device.commands);
  EXPECT_EQ("L'acquisition durerait 1 s, plus que le délai d'attente configuré (0.99 s).",
            board.StatusMessage(kTimeOutError));
}

TEST(ComediTimeOut, AStopFromAnotherThreadEndsAReadThatWaitsForEver) {
  FakeComediLibrary library;
  FakeComediDevice& device = AddBoard(library);
  device.stallAfterBytes = 100;
  const auto boards = Probe(library);
  Board& board = boards->For(1);
  ASSERT_EQ(kDaqNoError, board.SetTimeout(-1));
  ASSERT_EQ(kDaqNoError, board.Start({{0}, 1, 1000.0, 0.0, 1000}));
  std::vector<BoardReading> readings(1000);
  ReadResult read;
  {
    const std::jthread giver([&board] {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      board.Stop();
    });
    read = board.Read(readings);
  }
  EXPECT_EQ(kInvalidValueError, read.status);
  EXPECT_EQ(50u, read.count) << "what came before the board stalled";
  EXPECT_EQ(1, device.cancels);
}

// ---- Errors ----

TEST(ComediErrors, AFailedCallGivesItsErrorNumberAsStatus) {
  struct Case {
    const char* what;
    void (*set)(FakeComediDevice&);
    DaqStatus status;
    int cancels;
  };
  const Case cases[] = {
      {"generic timed", [](FakeComediDevice& d) { d.genericTimedErrno = ENOTSUPPORTED; },
       ComediStatus(ENOTSUPPORTED), 0},
      {"command test", [](FakeComediDevice& d) { d.commandTestErrno = EINVAL; },
       ComediStatus(EINVAL), 0},
      {"command", [](FakeComediDevice& d) { d.commandErrno = EBUSY; }, ComediStatus(EBUSY), 0},
      {"read",
       [](FakeComediDevice& d) {
         d.readErrno = EIO;
         d.readFailAfterBytes = 10;
       },
       ComediStatus(EIO), 1},
      {"overflow",
       [](FakeComediDevice& d) {
         d.readErrno = EPIPE;
         d.readFailAfterBytes = 10;
       },
       kOverWriteError, 1},
      {"early end",
       [](FakeComediDevice& d) {
         d.stallAfterBytes = 10;
         d.endEarly = true;
       },
       ComediStatus(EIO), 1},
  };
  for (const Case& c : cases) {
    FakeComediLibrary library;
    FakeComediDevice& device = AddBoard(library);
    c.set(device);
    const auto boards = Probe(library);
    std::vector<BoardReading> readings;
    EXPECT_EQ(c.status, ReadChannel(*boards, 0, 1, readings, 100)) << c.what;
    EXPECT_EQ(c.cancels, device.cancels) << c.what;
  }
}

TEST(ComediErrors, TheErrorHandlerShowsComedilibsText) {
  FakeComediLibrary library;
  AddBoard(library).commandErrno = EBUSY;
  const auto boards = Probe(library);
  const Board& board = boards->For(1);
  const auto text = [&board](DaqStatus status, std::string_view label) {
    return BoardErrorText(status, label, board.StatusMessage(status));
  };
  EXPECT_EQ(std::string("DAQ_Op a renvoyé l'erreur -20016 (comediError) :\n"
                        "La carte Comedi signale : ") +
                comedi_strerror(EBUSY) + "\n\nVoulez-vous continuer?",
            text(ComediStatus(EBUSY), "DAQ_Op"));
  EXPECT_NE(std::string::npos, text(ComediStatus(EBUF_OVR), "SCAN_Op").find("Buffer overflow"));
  EXPECT_EQ(DaqStatusMessage(kTimeOutError), board.StatusMessage(kTimeOutError));

  ScriptedUser user;
  user.Answer(MessageAnswer::kNo);
  ChannelTable table{};
  table[0].device = 1;
  table[0].gain = 1;
  table[0].SetCount(10);
  table[0].rate = 1000.0;
  ChannelSelection selected{};
  selected[0] = true;
  const BoardConfig config = DefaultBoardConfig();
  SpareSamples buffers;
  EXPECT_FALSE(AcquireChannels({*boards, user, config, buffers}, table, selected, 0.0));
  ASSERT_EQ(1u, user.boxes().size());
  EXPECT_EQ(text(ComediStatus(EBUSY), "DAQ_Op"), user.boxes()[0].text);
}

TEST(ComediStatus, CarriesTheErrorNumberBelowTheDriversStatuses) {
  EXPECT_EQ(-20001, ComediStatus(1));
  EXPECT_EQ(-32767, ComediStatus(kMaxComediErrnum));
  EXPECT_EQ(kComediStatusBase, ComediStatus(0));
  EXPECT_EQ(kComediStatusBase, ComediStatus(kMaxComediErrnum + 1));
  EXPECT_EQ(EBUF_OVR, ComediErrnum(ComediStatus(EBUF_OVR)));
  EXPECT_EQ(0, ComediErrnum(kTimeOutError));
  EXPECT_EQ(0, ComediErrnum(-32768));
  EXPECT_EQ("comediError", DaqStatusName(kComediStatusBase));
  EXPECT_EQ("unknownError", DaqStatusName(-32768));
  EXPECT_EQ(DaqStatusExplanation(kTimeOutError), DaqStatusMessage(kTimeOutError));
  EXPECT_EQ(DaqStatusExplanation(kComediStatusBase), DaqStatusMessage(kComediStatusBase));
}

}  // namespace
}  // namespace tavril
