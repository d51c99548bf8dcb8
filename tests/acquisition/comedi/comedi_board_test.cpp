#include "acquisition/comedi/comedi_board.h"

#include <comedi_errno.h>
#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "acquisition/acquisition_engine.h"
#include "acquisition/board_router.h"
#include "acquisition/error_handler.h"
#include "fake_comedi.h"
#include "support/scripted_user.h"
#include "support/temp_dir.h"

namespace tavril {
namespace {

using testing::ESeriesRanges;
using testing::FakeComediDevice;
using testing::FakeComediLibrary;
using testing::MSeriesRanges;
using testing::ScriptedUser;

constexpr std::int16_t kDiff = kInputModeDifferential;
constexpr std::int16_t kRse = kInputModeReferencedSingleEnded;
constexpr std::int16_t kNrse = kInputModeNonReferencedSingleEnded;

// An E series board behind /fake/comedi<minor>.
FakeComediDevice& AddBoard(FakeComediLibrary& library, int minor = 0) {
  FakeComediDevice& device = library.devices["/fake/comedi" + std::to_string(minor)];
  device.ranges = ESeriesRanges();
  return device;
}

std::unique_ptr<BoardRouter> Probe(FakeComediLibrary& library) {
  return MakeDefaultBoards({"/fake/comedi", &library});
}

// DAQ_Op of `count` readings of `chan` at 100 kS/s on device 1.
DaqStatus ReadChannel(BoardDriver& board, std::int16_t chan, std::int16_t gain,
                      std::vector<std::int16_t>& readings, std::uint32_t count = 4) {
  readings.assign(count, 0);
  return board.DAQ_Op(1, chan, gain, readings.data(), count, 100000.0);
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
  EXPECT_FALSE(boards->HasBoard(2));
  EXPECT_EQ(kDeviceNotFoundError, boards->AI_Configure(2, -1, kRse, 0, 0, 0));
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
  EXPECT_EQ(ComediStatus(EACCES), boards->AI_Configure(1, -1, kRse, 0, 0, 0));
  EXPECT_FALSE(boards->HasBoard(2));
}

TEST(ComediBoards, WithoutDeviceFilesTheProgramKeepsTheSimulatedBoard) {
  testing::TempDir dir;
  const std::string prefix = (dir.path() / "comedi").string();
  EXPECT_EQ(kSimulatedBoardDescription, MakeDefaultBoards({prefix})->DescribeDevice(1));
  if (std::filesystem::exists("/dev/comedi0")) GTEST_SKIP() << "this machine has /dev/comedi0";
  EXPECT_EQ(kSimulatedBoardDescription, MakeDefaultBoards()->DescribeDevice(1));
}

TEST(ComediBoards, TheRouterClosesTheDevicesItOpened) {
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
  std::vector<std::int16_t> readings;
  for (const Case& c : cases) {
    ASSERT_EQ(kDaqNoError, boards->AI_Configure(1, -1, kRse, 0, c.polarity, 0));
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
  std::vector<std::int16_t> readings;
  for (const std::int16_t gain : {-1, 1, 5, 10, 50}) {
    EXPECT_EQ(kDaqNoError, ReadChannel(*boards, 0, gain, readings)) << gain;
  }
  for (const std::int16_t gain : {2, 20, 100, 3, 0}) {
    EXPECT_EQ(kBadGainError, ReadChannel(*boards, 0, gain, readings)) << gain;
  }
  double volts[4];
  EXPECT_EQ(kBadGainError, boards->DAQ_VScale(1, 0, 2, 1.0, 0.0, 4, readings.data(), volts));
  EXPECT_EQ(5, device.commands);
}

TEST(ComediConfigure, TheInputModeChoosesTheAnalogReference) {
  const std::pair<std::int16_t, unsigned> cases[] = {
      {kDiff, AREF_DIFF}, {kRse, AREF_GROUND}, {kNrse, AREF_COMMON}};
  FakeComediLibrary library;
  FakeComediDevice& device = AddBoard(library);
  const auto boards = Probe(library);
  std::vector<std::int16_t> readings;
  ASSERT_EQ(kDaqNoError, ReadChannel(*boards, 0, 1, readings));
  EXPECT_EQ(unsigned{AREF_GROUND}, CR_AREF(device.chanlist[0])) << "before any configuration";
  for (const auto& [mode, aref] : cases) {
    ASSERT_EQ(kDaqNoError, boards->AI_Configure(1, -1, mode, 0, 0, 0));
    ASSERT_EQ(kDaqNoError, ReadChannel(*boards, 7, 1, readings));
    EXPECT_EQ(aref, CR_AREF(device.chanlist[0])) << mode;
  }
}

TEST(ComediConfigure, OneChannelKeepsItsOwnSettings) {
  FakeComediLibrary library;
  FakeComediDevice& device = AddBoard(library);
  const auto boards = Probe(library);
  ASSERT_EQ(kDaqNoError, boards->AI_Configure(1, -1, kRse, 0, 0, 0));
  ASSERT_EQ(kDaqNoError, boards->AI_Configure(1, 1, kDiff, 0, 1, 0));
  std::vector<std::int16_t> raw(9);
  std::int16_t order[8];
  ASSERT_EQ(kDaqNoError, boards->SCAN_Op(1, 3, 1, raw.data(), 9, 100000.0, 0.0, order));
  ASSERT_EQ(3u, device.chanlist.size());
  EXPECT_EQ(CR_PACK(2, 1, AREF_GROUND), device.chanlist[0]);
  EXPECT_EQ(CR_PACK(1, 9, AREF_DIFF), device.chanlist[1]);  // 0 to 10 V
  EXPECT_EQ(CR_PACK(0, 1, AREF_GROUND), device.chanlist[2]);
}

TEST(ComediConfigure, RefusesWhatTheBoardCannotDo) {
  FakeComediLibrary library;
  FakeComediDevice& device = AddBoard(library);
  device.ranges = MSeriesRanges();  // no unipolar range
  device.flags &= ~SDF_COMMON;
  const auto boards = Probe(library);
  EXPECT_EQ(kBadInputModeError, boards->AI_Configure(1, -1, kNrse, 0, 0, 0));
  EXPECT_EQ(kBadInputModeError, boards->AI_Configure(1, -1, 3, 0, 0, 0));
  EXPECT_EQ(kBadPolarityError, boards->AI_Configure(1, -1, kRse, 0, 1, 0));
  EXPECT_EQ(kBadPolarityError, boards->AI_Configure(1, -1, kRse, 0, 2, 0));
  EXPECT_EQ(kBadChanError, boards->AI_Configure(1, 16, kRse, 0, 0, 0));
  EXPECT_EQ(kInvalidValueError, boards->AI_Configure(1, -1, kRse, 10, 0, 0));
  EXPECT_EQ(kInvalidValueError, boards->AI_Configure(1, -1, kRse, 0, 0, 2));
  EXPECT_EQ(kDaqNoError, boards->AI_Configure(1, -1, kDiff, 0, 0, 1));
}

// ---- Raw codes to readings, readings to volts ----

// The readings DAQ_Op gives for raw codes `codes`, one per scan.
std::vector<std::int16_t> ReadingsOf(lsampl_t maxdata, std::int16_t polarity,
                                     const std::vector<lsampl_t>& codes, int extraFlags = 0,
                                     std::size_t readChunkBytes = 4096) {
  FakeComediLibrary library;
  FakeComediDevice& device = AddBoard(library);
  device.maxdata = maxdata;
  device.flags |= extraFlags;
  device.readChunkBytes = readChunkBytes;
  device.sample = [&codes](unsigned, unsigned, std::size_t scan) { return codes.at(scan); };
  const auto boards = Probe(library);
  EXPECT_EQ(kDaqNoError, boards->AI_Configure(1, -1, kRse, 0, polarity, 0));
  std::vector<std::int16_t> readings;
  const auto count = static_cast<std::uint32_t>(codes.size());
  EXPECT_EQ(kDaqNoError, ReadChannel(*boards, 0, 1, readings, count));
  return readings;
}

TEST(ComediReadings, OffsetBinaryBecomesTwosComplementOnBipolarRanges) {
  EXPECT_EQ((std::vector<std::int16_t>{-32768, -1, 0, 1, 32767}),
            ReadingsOf(0xFFFF, 0, {0, 32767, 32768, 32769, 65535}));
  EXPECT_EQ((std::vector<std::int16_t>{-2048, 0, 2047}), ReadingsOf(0xFFF, 0, {0, 2048, 4095}));
}

TEST(ComediReadings, UnipolarRangesKeepTheRawCodesSixteenBits) {
  EXPECT_EQ((std::vector<std::int16_t>{0, 2048, 4095}), ReadingsOf(0xFFF, 1, {0, 2048, 4095}));
  EXPECT_EQ((std::vector<std::int16_t>{0, 32767, -32768, -1}),
            ReadingsOf(0xFFFF, 1, {0, 32767, 32768, 65535}));
}

TEST(ComediReadings, ConvertersWiderThanSixteenBitsLoseTheirLowestBits) {
  EXPECT_EQ((std::vector<std::int16_t>{-32768, -1, 0, 32767}),
            ReadingsOf(0x3FFFF, 0, {0, 0x1FFFF, 0x20003, 0x3FFFF}, SDF_LSAMPL));
}

TEST(ComediReadings, SamplesCutBetweenReadsAreReassembled) {
  std::vector<lsampl_t> codes;
  for (lsampl_t k = 0; k < 50; ++k) codes.push_back(k * 1301 % 65536);
  for (const int flags : {0, SDF_LSAMPL}) {
    EXPECT_EQ(ReadingsOf(0xFFFF, 0, codes, flags), ReadingsOf(0xFFFF, 0, codes, flags, 3));
  }
}

TEST(ComediVScale, WithoutCalibrationUsesTheRangeFormula) {
  FakeComediLibrary library;
  AddBoard(library);
  const auto boards = Probe(library);
  const std::int16_t readings[] = {-32768, 0, 32767};
  double volts[3];
  // ±0.5 V (gain 10), 16 bits: volts = (-0.5 + raw / 65535) / gainAdjust.
  ASSERT_EQ(kDaqNoError, boards->DAQ_VScale(1, 0, 10, 1.0, 0.0, 3, readings, volts));
  EXPECT_DOUBLE_EQ(-0.5, volts[0]);
  EXPECT_DOUBLE_EQ(-0.5 + 32768.0 / 65535.0, volts[1]);
  EXPECT_DOUBLE_EQ(0.5, volts[2]);
  // The offset is in readings; the gain adjustment divides.
  ASSERT_EQ(kDaqNoError, boards->DAQ_VScale(1, 0, 10, 2.0, -100.0, 3, readings, volts));
  EXPECT_DOUBLE_EQ((-0.5 + 100.0 / 65535.0) / 2.0, volts[0]);
  // Unipolar 0 to 10 V: reading -1 is code 65535, the top of the range.
  ASSERT_EQ(kDaqNoError, boards->AI_Configure(1, -1, kRse, 0, 1, 0));
  const std::int16_t top[] = {0, -1};
  ASSERT_EQ(kDaqNoError, boards->DAQ_VScale(1, 0, 1, 1.0, 0.0, 2, top, volts));
  EXPECT_DOUBLE_EQ(0.0, volts[0]);
  EXPECT_DOUBLE_EQ(10.0, volts[1]);
}

TEST(ComediVScale, UsesTheCalibrationComedilibProvides) {
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
    const std::int16_t reading = 1000;
    double volts = 0.0;
    ASSERT_EQ(kDaqNoError, boards->DAQ_VScale(1, 0, 1, 1.0, 0.0, 1, &reading, &volts));
    EXPECT_DOUBLE_EQ(c.expected, volts) << c.soft << c.fileExists;
  }
}

TEST(ComediCalibration, HardwareCalibrationIsAppliedForTheChannelsOfEachCommand) {
  for (const bool soft : {false, true}) {
    FakeComediLibrary library;
    FakeComediDevice& device = AddBoard(library);
    device.calibrationFileExists = true;
    if (soft) device.flags |= SDF_SOFT_CALIBRATED;
    const auto boards = Probe(library);
    ASSERT_EQ(kDaqNoError, boards->AI_Configure(1, -1, kDiff, 0, 0, 0));
    std::vector<std::int16_t> raw(4);
    std::int16_t order[8];
    ASSERT_EQ(kDaqNoError, boards->SCAN_Op(1, 2, 10, raw.data(), 4, 100000.0, 0.0, order));
    const std::vector<std::vector<unsigned>> applied{{1, 4, AREF_DIFF}, {0, 4, AREF_DIFF}};
    EXPECT_EQ(soft ? std::vector<std::vector<unsigned>>{} : applied, device.appliedCalibrations);
  }
}

// ---- Timed commands ----

TEST(ComediCommand, RunsATimedCommandUntilTheCountAsked) {
  FakeComediLibrary library;
  FakeComediDevice& device = AddBoard(library);
  const auto boards = Probe(library);
  std::vector<std::int16_t> readings;
  ASSERT_EQ(kDaqNoError, ReadChannel(*boards, 5, 1, readings, 1000));
  EXPECT_EQ(1, device.commands);
  EXPECT_EQ(unsigned{TRIG_COUNT}, device.command.stop_src);
  EXPECT_EQ(1000u, device.command.stop_arg);
  EXPECT_EQ(10000u, device.command.convert_arg);
  EXPECT_EQ(std::vector<unsigned>{CR_PACK(5, 1, AREF_GROUND)}, device.chanlist);
  for (std::int16_t k = 0; k < 1000; ++k) ASSERT_EQ(5000 + k, readings[k]);
  EXPECT_EQ(1, device.cancels) << "the finished command frees the subdevice";
  EXPECT_EQ(1u << 20, device.bufferBytes) << "the kernel buffer is enlarged at start";
}

TEST(ComediCommand, TakesTheTimingTheBoardSettlesOnWithinOnePercent) {
  struct Case {
    double rate;
    DaqStatus status;
    unsigned convertNs;  // settled by the board
  };
  const Case cases[] = {
      {100000.0, kDaqNoError, 10000},       // exact
      {300000.0, kDaqNoError, 3350},        // 3333 ns rounded by 0.5 %
      {700000.0, kBadIntervalError, 1450},  // 1429 ns rounded by 1.5 %
      {2000000.0, kBadIntervalError, 800},  // beyond the board's fastest conversion
  };
  for (const Case& c : cases) {
    FakeComediLibrary library;
    FakeComediDevice& device = AddBoard(library);
    const auto boards = Probe(library);
    std::vector<std::int16_t> readings(8);
    EXPECT_EQ(c.status, boards->DAQ_Op(1, 0, 1, readings.data(), 8, c.rate)) << c.rate;
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
  std::vector<std::int16_t> raw(40);
  std::int16_t order[8];
  ASSERT_EQ(kDaqNoError, boards->SCAN_Op(1, 4, 1, raw.data(), 40, 100000.0, 1000.0, order));
  EXPECT_EQ(10000u, device.command.convert_arg);
  EXPECT_EQ(1000000u, device.command.scan_begin_arg);
  EXPECT_EQ(10u, device.command.stop_arg) << "scans, not readings";
  ASSERT_EQ(kDaqNoError, boards->SCAN_Op(1, 4, 1, raw.data(), 40, 100000.0, 0.0, order));
  EXPECT_EQ(40000u, device.command.scan_begin_arg) << "scan rate 0: channels back to back";
}

TEST(ComediCommand, ScansFollowEachOtherUnlessASlowerScanRateNeedsTheScanClock) {
  for (const bool hasScanClock : {true, false}) {
    FakeComediLibrary library;
    FakeComediDevice& device = AddBoard(library);
    device.canFollow = true;
    device.hasScanClock = hasScanClock;
    const auto boards = Probe(library);
    std::vector<std::int16_t> raw(40);
    std::int16_t order[8];
    for (const double backToBack : {0.0, 25000.0}) {
      ASSERT_EQ(kDaqNoError, boards->SCAN_Op(1, 4, 1, raw.data(), 40, 100000.0, backToBack, order));
      EXPECT_EQ(unsigned{TRIG_FOLLOW}, device.command.scan_begin_src);
    }
    EXPECT_EQ(hasScanClock ? kDaqNoError : kBadIntervalError,
              boards->SCAN_Op(1, 4, 1, raw.data(), 40, 100000.0, 1000.0, order));
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
  std::vector<std::int16_t> raw(48);
  std::int16_t order[8];
  EXPECT_EQ(kBadChanError, boards->DAQ_Op(1, 16, 1, raw.data(), 8, 1e5));
  EXPECT_EQ(kBadCountError, boards->DAQ_Op(1, 0, 1, raw.data(), 0, 1e5));
  EXPECT_EQ(kBadIntervalError, boards->DAQ_Op(1, 0, 1, raw.data(), 8, 0.0));
  EXPECT_EQ(kBadIntervalError, boards->DAQ_Op(1, 0, 1, raw.data(), 8, 0.1));  // 10 s > 2^32 ns
  EXPECT_EQ(kBadChanError, boards->SCAN_Op(1, 17, 1, raw.data(), 48, 1e5, 0.0, order));
  EXPECT_EQ(kBadCountError, boards->SCAN_Op(1, 3, 1, raw.data(), 47, 1e5, 0.0, order));
  EXPECT_EQ(kBadIntervalError, boards->SCAN_Op(1, 3, 1, raw.data(), 48, 1e5, 40000.0, order));
  EXPECT_EQ(kInvalidValueError, boards->SCAN_Op(1, 3, 1, raw.data(), 48, 1e5, 0.0, nullptr));
  EXPECT_EQ(0, device.commands);
  device.maxChanlist = 2;  // the command test refuses the channel list
  EXPECT_EQ(kBadChanError, boards->SCAN_Op(1, 3, 1, raw.data(), 48, 1e5, 0.0, order));

  // Device numbers are the router's to check, then the board's own.
  const ComediProbe probe = ComediProbe::Open(library, 3, "/fake/comedi0");
  ASSERT_NE(nullptr, probe.board);
  EXPECT_EQ(kBadDeviceError, probe.board->DAQ_Op(1, 0, 1, raw.data(), 8, 1e5));
  EXPECT_EQ(kBadDeviceError, probe.board->Timeout_Config(1, 10));
  EXPECT_EQ(kDaqNoError, probe.board->Timeout_Config(3, 10));
}

// ---- Scan layout ----

TEST(ComediScan, ScansChannelsDownToZeroAndDemultiplexesIntoBlocks) {
  FakeComediLibrary library;
  FakeComediDevice& device = AddBoard(library);
  const auto boards = Probe(library);
  constexpr std::uint32_t kScans = 5;
  std::vector<std::int16_t> raw(3 * kScans);
  std::int16_t order[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
  ASSERT_EQ(kDaqNoError, boards->SCAN_Op(1, 3, 1, raw.data(), 3 * kScans, 1e5, 0.0, order));
  ASSERT_EQ(3u, device.chanlist.size());
  EXPECT_EQ(2u, CR_CHAN(device.chanlist[0]));
  EXPECT_EQ(1u, CR_CHAN(device.chanlist[1]));
  EXPECT_EQ(0u, CR_CHAN(device.chanlist[2]));
  EXPECT_EQ((std::array<std::int16_t, 8>{2, 1, 0, 0, 0, 0, 0, 0}), std::to_array(order));
  EXPECT_EQ(2000, raw[0]);  // interleaved: scan 0 of channels 2, 1, 0
  EXPECT_EQ(1000, raw[1]);
  EXPECT_EQ(0, raw[2]);
  ASSERT_EQ(kDaqNoError, boards->SCAN_Demux(raw.data(), 3 * kScans, 3, 0));
  for (std::uint32_t block = 0; block < 3; ++block) {
    for (std::uint32_t s = 0; s < kScans; ++s) {
      EXPECT_EQ(static_cast<std::int16_t>((2 - block) * 1000 + s), raw[block * kScans + s]);
    }
  }
  EXPECT_EQ(kInvalidValueError, boards->SCAN_Demux(raw.data(), 15, 3, 1));
  EXPECT_EQ(kBadCountError, boards->SCAN_Demux(raw.data(), 14, 3, 0));
}

TEST(ComediScan, TheEngineFillsEachRecordWithItsOwnChannel) {
  FakeComediLibrary library;
  AddBoard(library);
  const auto boards = Probe(library);
  ScriptedUser user;
  BoardConfig config = DefaultBoardConfig();
  ASSERT_EQ(1, ConfigureBoard(*boards, user, 1, -1, kRse, kPolarityBipolar));
  ChannelTable table{};
  std::array<std::int32_t, kChannelCount> selected{};
  for (int j = 0; j < 3; ++j) {
    table[j].device = 1;
    table[j].chan = static_cast<std::int16_t>(j);
    table[j].gain = 1;
    table[j].count = 6;
    table[j].rate = 90000.0;
    selected[j] = 1;
  }
  ASSERT_EQ(1, AcquireChannels({*boards, user, config}, table, selected, 0.0));
  EXPECT_TRUE(user.boxes().empty());
  for (int j = 0; j < 3; ++j) {
    ASSERT_EQ(6u, table[j].samples.size());
    for (int s = 0; s < 6; ++s) {
      // Reading j * 1000 + s at ±5 V over 16 bits.
      EXPECT_DOUBLE_EQ(-5.0 + (32768.0 + j * 1000 + s) * 10.0 / 65535.0, table[j].samples[s]);
    }
    EXPECT_DOUBLE_EQ(30000.0, table[j].rate);
  }
}

// ---- Time-out ----

TEST(ComediTimeOut, AStalledAcquisitionTimesOutAndIsCancelled) {
  FakeComediLibrary library;
  FakeComediDevice& device = AddBoard(library);
  device.stallAfterBytes = 100;
  const auto boards = Probe(library);
  ASSERT_EQ(kDaqNoError, boards->Timeout_Config(1, 180));
  std::vector<std::int16_t> readings;
  EXPECT_EQ(kTimeOutError, ReadChannel(*boards, 0, 1, readings, 1000));
  EXPECT_EQ(1, device.cancels);
  ASSERT_FALSE(device.waits.empty());
  EXPECT_GT(device.waits.back(), 0);
  EXPECT_LE(device.waits.back(), 180 * 55);
  EXPECT_EQ(kInvalidValueError, boards->Timeout_Config(1, -2));
}

TEST(ComediTimeOut, MinusOneWaitsForEver) {
  FakeComediLibrary library;
  FakeComediDevice& device = AddBoard(library);
  device.readChunkBytes = 64;
  const auto boards = Probe(library);
  ASSERT_EQ(kDaqNoError, boards->Timeout_Config(1, -1));
  std::vector<std::int16_t> readings;
  ASSERT_EQ(kDaqNoError, ReadChannel(*boards, 0, 1, readings, 100));
  EXPECT_EQ(std::vector<int>(device.waits.size(), -1), device.waits);
  EXPECT_EQ(4u, device.waits.size());  // 200 bytes, 64 at a time
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
       ComediStatus(EBUF_OVR), 1},
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
    std::vector<std::int16_t> readings;
    EXPECT_EQ(c.status, ReadChannel(*boards, 0, 1, readings, 100)) << c.what;
    EXPECT_EQ(c.cancels, device.cancels) << c.what;
  }
}

TEST(ComediErrors, TheErrorHandlerShowsComedilibsText) {
  EXPECT_EQ(std::string("DAQ_Op a renvoyé l'erreur -20016 (comediError) :\n"
                        "La carte Comedi signale : ") +
                comedi_strerror(EBUSY) + "\n\nVoulez-vous continuer?",
            BoardErrorText(ComediStatus(EBUSY), "DAQ_Op"));
  EXPECT_NE(std::string::npos,
            BoardErrorText(ComediStatus(EBUF_OVR), "SCAN_Op").find("Buffer overflow"));

  FakeComediLibrary library;
  AddBoard(library).commandErrno = EBUSY;
  const auto boards = Probe(library);
  ScriptedUser user;
  user.Answer(MessageAnswer::kNo);
  ChannelTable table{};
  table[0].device = 1;
  table[0].gain = 1;
  table[0].count = 10;
  table[0].rate = 1000.0;
  std::array<std::int32_t, kChannelCount> selected{};
  selected[0] = 1;
  const BoardConfig config = DefaultBoardConfig();
  EXPECT_EQ(0, AcquireChannels({*boards, user, config}, table, selected, 0.0));
  ASSERT_EQ(1u, user.boxes().size());
  EXPECT_EQ(BoardErrorText(ComediStatus(EBUSY), "DAQ_Op"), user.boxes()[0].text);
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
