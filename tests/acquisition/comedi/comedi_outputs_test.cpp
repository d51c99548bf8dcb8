#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <tuple>

#include "acquisition/comedi/comedi_board.h"
#include "acquisition/comedi/default_boards.h"
#include "fake_comedi.h"

namespace tavril {
namespace {

using testing::FakeComediLibrary;
using Held = std::map<unsigned, lsampl_t>;
using Codes = std::vector<sampl_t>;
constexpr lsampl_t kZero = 32768;  // 0 V in a bipolar 16-bit range
using enum OutputMode;

// A PCI-6251 or a comedi_test board behind /fake/comedi0, serving device 1.
struct Rig {
  explicit Rig(bool comediTest = false) {
    device.ranges = testing::MSeriesRanges();
    comediTest ? testing::ModelComediTest(device) : testing::ModelNiMio(device);
    Reopen();
  }
  void Reopen() { boards = MakeDefaultBoards({"/fake/comedi", &library}); }
  Board& board() { return boards->For(1); }
  Held held() { return library.Held(device); }

  FakeComediLibrary library;
  testing::FakeComediDevice& device = library.devices["/fake/comedi0"];
  std::unique_ptr<Boards> boards;
};

// The board's output thread acts on its own: waits for it, a few seconds at most.
template <typename Done>
bool Eventually(Done done) {
  for (int i = 0; i < 500 && !done(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return done();
}

TEST(ComediOutputs, EachModelDescribesItsOutputs) {
  for (const bool comediTest : {false, true}) {
    const std::vector<OutputDescription> outputs = Rig(comediTest).board().Outputs();
    ASSERT_EQ(comediTest ? 8u : 2u, outputs.size());
    EXPECT_EQ(16, outputs[1].resolutionBits);
    ASSERT_EQ(2u, outputs[1].ranges.size());
    EXPECT_EQ(-5.0, outputs[1].ranges[1].lowVolts);
    EXPECT_DOUBLE_EQ(comediTest ? 1e6 : 1e9 / 350, outputs[1].maxUpdateRate);
  }
}

TEST(ComediOutputs, AStreamedRunWritesTheCodesOfTheVoltsAskedThroughRangeOrCalibration) {
  for (const bool calibrated : {false, true}) {
    Rig rig;
    if (calibrated) {
      rig.device.aoFlags |= SDF_SOFT_CALIBRATED;
      rig.device.calibrationFileExists = rig.device.hasAoSoftcal = true;
      rig.device.aoSoftcal = {{32770.0, 3276.8}, 0.0, 1};
      rig.Reopen();
    }
    ASSERT_EQ(kDaqNoError,
              rig.board().StartOutput({{0}, 1e4, kStreamed, {-10, 0, 5, 10, 12, -1e-4}}));
    // More than the kernel's buffer holds: written as the board takes them.
    EXPECT_EQ(kDaqNoError, rig.board().WriteOutput(std::vector<double>(5000, 2.5)));
    EXPECT_EQ(kDaqNoError, rig.board().StopOutput());
    const Codes& codes = rig.device.aoWritten;
    ASSERT_EQ(5006u, codes.size());
    const Codes expected = calibrated ? Codes{2, 32770, 49154, 65535, 65535, 32770, 40962}
                                      : Codes{0, kZero, 49151, 65535, 65535, 32767, 40959};
    EXPECT_EQ(expected, Codes(codes.begin(), codes.begin() + 7));
    EXPECT_EQ((Held{{0, calibrated ? 32770 : kZero}}), rig.held());
  }
}

TEST(ComediOutputs, AnUnderrunStopsTheRunWithItsStatusEveryOutputAtZeroVolts) {
  Rig rig;
  ASSERT_EQ(kDaqNoError, rig.board().StartOutput({{0, 1}, 1e3, kStreamed, {1, 2, 3, 4}}));
  rig.library.TakeOutput(rig.device, 3);  // the board's clock outpaces the writer
  EXPECT_EQ(kOutputUnderrunError, rig.board().WriteOutput(std::vector<double>{1, 1}));
  EXPECT_EQ((Held{{0, kZero}, {1, kZero}}), rig.held());
  EXPECT_EQ(kOutputUnderrunError, rig.board().StopOutput());
}

TEST(ComediOutputs, StopEndAndZeroPutTheOutputsAtZeroVolts) {
  Rig rig;
  Board& board = rig.board();
  // Within ±5 V, the ±5 V range: 5 V is its top code.
  ASSERT_EQ(kDaqNoError, board.StartOutput({{0, 1}, 1e5, kRegenerated, {5, -3}}));
  EXPECT_TRUE(Eventually([&] { return rig.held() == Held{{0, 65535}, {1, 13107}}; }));
  EXPECT_EQ(kDaqNoError, board.StopOutput());
  EXPECT_EQ((Held{{0, kZero}, {1, kZero}}), rig.held());

  // A finite run ends on 0 V by itself: no underrun.
  ASSERT_EQ(kDaqNoError, board.StartOutput({{1}, 1e3, kFinite, {1, 2}}));
  rig.library.TakeOutput(rig.device, 10);
  EXPECT_EQ((Held{{0, kZero}, {1, kZero}}), rig.held());
  EXPECT_EQ(kDaqNoError, board.StopOutput());

  rig.device.aoHeld = {{0, 7}, {1, 9}};
  EXPECT_EQ(kDaqNoError, board.ZeroOutputs());
  EXPECT_EQ((Held{{0, kZero}, {1, kZero}}), rig.held());
}

// NI boards start it on the input's start; comedi_test at once, and says so.
TEST(ComediOutputs, AnOutputStartedWithTheInputStartsOnTheInputsStartWhereTheBoardCan) {
  for (const bool comediTest : {false, true}) {
    Rig rig(comediTest);
    Board& board = rig.board();
    ASSERT_EQ(kDaqNoError, board.StartOutput({{0}, 1e4, kFinite, {1, 2, 3}, true}));
    EXPECT_EQ(comediTest, rig.device.aoStarted);
    EXPECT_EQ(comediTest ? unsigned{TRIG_INT} : unsigned{TRIG_EXT}, rig.device.aoCommand.start_src);
    ASSERT_EQ(kDaqNoError, board.Start({{0}, 1, 1e4, 0.0, 100}));
    EXPECT_TRUE(rig.device.aoStarted);
    // On one clock period, and the same start: update k and scan k together.
    if (!comediTest) {
      EXPECT_EQ(rig.device.command.scan_begin_arg, rig.device.aoCommand.scan_begin_arg);
    }
    board.Stop();
    EXPECT_EQ(kDaqNoError, board.StopOutput());
    EXPECT_EQ(comediTest,
              rig.boards->DescribeDevice(1).find("démarre aussitôt, sans alignement "
                                                 "sur les entrées") != std::string::npos);
  }
}

TEST(ComediOutputs, ARefusedRunLeavesNothingRunning) {
  // Output, rate, the command's error number, status and message.
  const std::tuple<int, double, int, DaqStatus, std::string> cases[] = {
      {0, 3e6, 0, kBadIntervalError, "dépasse ce que la sortie peut faire : au plus 2857143"},
      {0, 1e-3, 0, kBadIntervalError, "plus lente que ce que la sortie peut faire"},
      {2, 1e3, 0, kBadChanError, ""},
      {0, 1e3, EBUSY, ComediStatus(EBUSY), ""},
  };
  for (const auto& [chan, rate, commandErrno, status, message] : cases) {
    Rig rig;
    rig.device.commandErrno = commandErrno;
    EXPECT_EQ(status, rig.board().StartOutput({{chan}, rate, kFinite, {1}}));
    EXPECT_NE(std::string::npos, rig.board().StatusMessage(status).find(message));
    EXPECT_FALSE(rig.device.aoBusy);
    EXPECT_TRUE(rig.held().empty());
  }
}

}  // namespace
}  // namespace tavril
