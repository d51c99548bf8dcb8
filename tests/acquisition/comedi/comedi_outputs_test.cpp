#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/comedi/comedi_board.h"
#include "acquisition/comedi/default_boards.h"
#include "fake_comedi.h"

namespace tavril {
namespace {

using testing::FakeComediDevice;
using testing::FakeComediLibrary;
using Held = std::map<unsigned, lsampl_t>;

constexpr lsampl_t kZeroCode = 32768;  // 0 V in a bipolar 16-bit range

// A PCI-6251 or a comedi_test board behind /fake/comedi0, serving device 1.
struct Rig {
  explicit Rig(bool comediTest = false) : device(library.devices["/fake/comedi0"]) {
    device.ranges = testing::MSeriesRanges();
    comediTest ? testing::ModelComediTest(device) : testing::ModelNiMio(device);
    Reopen();
  }
  // After a change to what the device declares.
  void Reopen() { boards = MakeDefaultBoards({"/fake/comedi", &library}); }
  Board& board() { return boards->For(1); }

  FakeComediLibrary library;
  FakeComediDevice& device;
  std::unique_ptr<Boards> boards;
};

OutputRequest Request(OutputMode mode, std::vector<int> channels, double rate,
                      std::vector<double> volts, bool withInput = false) {
  return {std::move(channels), rate, mode, std::move(volts), withInput};
}

// The board's output thread acts on its own: waits for it, a few seconds at most.
template <typename Done>
bool Eventually(Done done) {
  for (int i = 0; i < 500 && !done(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return done();
}

TEST(ComediOutputs, EachModelDescribesItsOutputs) {
  for (const bool comediTest : {false, true}) {
    Rig rig(comediTest);
    const std::vector<OutputDescription> outputs = rig.board().Outputs();
    ASSERT_EQ(comediTest ? 8u : 2u, outputs.size());
    EXPECT_EQ(16, outputs[1].resolutionBits);
    ASSERT_EQ(2u, outputs[1].ranges.size());
    EXPECT_EQ(-5.0, outputs[1].ranges[1].lowVolts);
    EXPECT_DOUBLE_EQ(comediTest ? 1e6 : 1e9 / 350, outputs[1].maxUpdateRate);
  }
  Rig noOutputs;
  noOutputs.device.hasAnalogOutput = false;
  noOutputs.Reopen();
  EXPECT_TRUE(noOutputs.board().Outputs().empty());
  EXPECT_EQ(kNoOutputError,
            noOutputs.board().StartOutput(Request(OutputMode::kFinite, {0}, 1e3, {1})));
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
    Board& board = rig.board();
    ASSERT_EQ(kDaqNoError, board.StartOutput(Request(OutputMode::kStreamed, {0}, 1e4,
                                                     {-10, 0, 5, 10, 12, -1e-4})));
    // More than the kernel's buffer holds: written as the board takes them.
    EXPECT_EQ(kDaqNoError, board.WriteOutput(std::vector<double>(5000, 2.5)));
    EXPECT_EQ(kDaqNoError, board.StopOutput());
    const std::vector<lsampl_t> codes = FakeComediLibrary::OutputCodes(rig.device);
    ASSERT_EQ(5006u, codes.size());
    const std::vector<lsampl_t> first(codes.begin(), codes.begin() + 7);
    if (calibrated) {
      EXPECT_EQ((std::vector<lsampl_t>{2, 32770, 49154, 65535, 65535, 32770, 40962}), first);
    } else {
      EXPECT_EQ((std::vector<lsampl_t>{0, kZeroCode, 49151, 65535, 65535, 32767, 40959}), first);
    }
    EXPECT_EQ((Held{{0, calibrated ? 32770 : kZeroCode}}), rig.library.Held(rig.device));
  }
}

TEST(ComediOutputs, AnUnderrunStopsTheRunWithItsStatusEveryOutputAtZeroVolts) {
  Rig rig;
  Board& board = rig.board();
  ASSERT_EQ(kDaqNoError,
            board.StartOutput(Request(OutputMode::kStreamed, {0, 1}, 1e3, {1, 2, 3, 4})));
  rig.library.TakeOutput(rig.device, 3);  // the board's clock outpaces the writer
  EXPECT_EQ(kOutputUnderrunError, board.WriteOutput(std::vector<double>{1, 1}));
  EXPECT_EQ((Held{{0, kZeroCode}, {1, kZeroCode}}), rig.library.Held(rig.device));
  EXPECT_EQ(kOutputUnderrunError, board.StopOutput());
  EXPECT_FALSE(rig.device.aoBusy);
}

TEST(ComediOutputs, StopEndAndZeroPutTheOutputsAtZeroVolts) {
  Rig rig;
  Board& board = rig.board();
  // Within ±5 V, the ±5 V range: 5 V is its top code.
  ASSERT_EQ(kDaqNoError,
            board.StartOutput(Request(OutputMode::kRegenerated, {0, 1}, 1e5, {5, -3})));
  EXPECT_TRUE(Eventually([&] {
    return rig.library.Held(rig.device) == Held{{0, 65535}, {1, 13107}};
  }));
  EXPECT_EQ(kDaqNoError, board.StopOutput());
  EXPECT_EQ((Held{{0, kZeroCode}, {1, kZeroCode}}), rig.library.Held(rig.device));

  // A finite run ends on 0 V by itself, and frees the outputs.
  ASSERT_EQ(kDaqNoError, board.StartOutput(Request(OutputMode::kFinite, {1}, 1e3, {1, 2})));
  rig.library.TakeOutput(rig.device, 10);
  EXPECT_TRUE(Eventually([&] { return !rig.library.OutputBusy(rig.device); }));
  EXPECT_EQ(kZeroCode, rig.library.Held(rig.device)[1]);
  EXPECT_EQ(kDaqNoError, board.StopOutput());

  rig.device.aoHeld = {{0, 7}, {1, 9}};
  EXPECT_EQ(kDaqNoError, board.ZeroOutputs());
  EXPECT_EQ((Held{{0, kZeroCode}, {1, kZeroCode}}), rig.library.Held(rig.device));
}

TEST(ComediOutputs, OnAnNiBoardAnOutputStartedWithTheInputStartsOnTheInputsStart) {
  Rig rig;
  Board& board = rig.board();
  ASSERT_EQ(kDaqNoError,
            board.StartOutput(Request(OutputMode::kFinite, {0}, 1e4, {1, 2, 3}, true)));
  EXPECT_TRUE(rig.device.aoArmed);
  EXPECT_FALSE(rig.device.aoStarted);
  ASSERT_EQ(kDaqNoError, board.Start({{0}, 1, 1e4, 0.0, 100}));
  EXPECT_TRUE(rig.device.aoStartedWithInput);
  EXPECT_EQ(unsigned{TRIG_EXT}, rig.device.aoCommand.start_src);
  EXPECT_EQ(ComediOutputs::kNiAiStartTrigger, rig.device.aoCommand.start_arg);
  // One clock period for both: update k and scan k together.
  EXPECT_EQ(rig.device.command.scan_begin_arg, rig.device.aoCommand.scan_begin_arg);
  board.Stop();
  EXPECT_EQ(kDaqNoError, board.StopOutput());
  EXPECT_EQ(std::string(), board.DescriptionRemark());
}

TEST(ComediOutputs, OnComediTestAnOutputAskedWithTheInputStartsAtOnceAndTheBoardSaysSo) {
  Rig rig(true);
  ASSERT_EQ(kDaqNoError,
            rig.board().StartOutput(Request(OutputMode::kFinite, {0}, 1e4, {1, 2, 3}, true)));
  EXPECT_EQ(unsigned{TRIG_INT}, rig.device.aoCommand.start_src);
  EXPECT_TRUE(rig.device.aoStarted);
  EXPECT_NE(std::string::npos, rig.boards->DescribeDevice(1).find(
                                   "démarre aussitôt, sans alignement sur les entrées"));
  EXPECT_EQ(kDaqNoError, rig.board().StopOutput());
}

TEST(ComediOutputs, ARefusedRunLeavesNothingRunning) {
  struct Case {
    std::vector<int> channels;
    double rate;
    int commandErrno;
    DaqStatus status;
    std::string message;
  };
  const Case cases[] = {
      {{0}, 3e6, 0, kBadIntervalError, "dépasse ce que la sortie peut faire : au plus 2857143"},
      {{0}, 1e-3, 0, kBadIntervalError, "plus lente que ce que la sortie peut faire"},
      {{2}, 1e3, 0, kBadChanError, ""},
      {{0}, 1e3, EBUSY, ComediStatus(EBUSY), ""},
  };
  for (const Case& c : cases) {
    Rig rig;
    rig.device.aoCommandErrno = c.commandErrno;
    Board& board = rig.board();
    EXPECT_EQ(c.status,
              board.StartOutput(Request(OutputMode::kRegenerated, c.channels, c.rate, {1})));
    EXPECT_NE(std::string::npos, board.StatusMessage(c.status).find(c.message)) << c.message;
    EXPECT_FALSE(rig.device.aoBusy);
    EXPECT_TRUE(rig.library.Held(rig.device).empty());
    EXPECT_EQ(kDaqNoError, board.StopOutput());
  }
}

}  // namespace
}  // namespace tavril
