#include "acquisition/acquisition_engine.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "acquisition/boards.h"
#include "acquisition/error_handler.h"
#include "model/allocation.h"
#include "model/messages.h"
#include "support/record_checks.h"
#include "support/scripted_user.h"

namespace tavril {
namespace {

using testing::Values;

using testing::SetSamples;

using testing::ScriptedUser;

// A board whose readings say where they come from (channel * 1000 + scan),
// whose conversion to volts is the identity, and whose statuses are scripted
// per method. It records every call.
class FakeBoard : public Board {
 public:
  std::map<std::string, DaqStatus> statuses;
  std::vector<std::string> calls;

  DaqStatus Configure(const InputSettings& settings) override {
    return Record("Configure(" + std::to_string(static_cast<int>(settings.mode)) + "," +
                      std::to_string(static_cast<int>(settings.polarity)) + ")",
                  "Configure");
  }
  DaqStatus SetTimeout(std::int32_t ticks) override {
    return Record("SetTimeout(" + std::to_string(ticks) + ")", "SetTimeout");
  }
  DaqStatus Start(const AcquisitionRequest& request) override {
    std::string channels;
    for (const int chan : request.channels) channels += std::to_string(chan) + ";";
    channels_ = request.channels;
    return Record("Start(" + channels + "," + std::to_string(request.gain) + "," +
                      std::to_string(static_cast<int>(request.sampleRate)) + "," +
                      std::to_string(static_cast<int>(request.scanRate)) + "," +
                      std::to_string(request.scans) + ")",
                  "Start");
  }
  ReadResult Read(std::span<BoardReading> readings) override {
    const DaqStatus status = Record("Read(" + std::to_string(readings.size()) + ")", "Read");
    if (status != kDaqNoError) return {status, 0};
    const std::size_t n = channels_.size();
    for (std::size_t k = 0; k < readings.size(); ++k) {
      readings[k] = static_cast<BoardReading>(channels_[k % n] * 1000 + static_cast<int>(k / n));
    }
    return {kDaqNoError, readings.size()};
  }
  void Stop() override { calls.push_back("Stop"); }
  DaqStatus ScaleFor(int channel, std::int16_t gain, VoltScale& scale) override {
    scale = VoltScale{};
    scale.lowestReading = -32768;
    scale.highestReading = 32767;
    return Record("ScaleFor(" + std::to_string(channel) + "," + std::to_string(gain) + ")",
                  "ScaleFor");
  }

 private:
  DaqStatus Record(std::string call, const std::string& method) {
    calls.push_back(std::move(call));
    const auto scripted = statuses.find(method);
    return scripted == statuses.end() ? kDaqNoError : scripted->second;
  }
  std::vector<int> channels_;
};

// One acquisition's world: the fake board, the user, the configuration and
// a channel table whose records all hold one old sample.
struct EngineRig {
  EngineRig() {
    config = DefaultBoardConfig();
    for (int i = 0; i < kChannelCount; ++i) {
      ChannelRecord& record = table[i];
      record.device = 1;
      record.chan = static_cast<std::int16_t>(i);
      record.gain = 1;
      SetSamples(record, {-7.0});  // old samples every acquisition must replace
      record.SetCount(4);
      record.rate = 100000.0;
    }
    boards.Attach(1, std::unique_ptr<Board>(board = new FakeBoard), "fausse carte");
  }

  // Channels `first` to `last`.
  static ChannelSelection Select(int first, int last) {
    ChannelSelection selected{};
    for (int j = first; j <= last; ++j) selected[j] = true;
    return selected;
  }

  bool Acquire(int first, int last, double scanRate = 0.0) {
    return AcquireChannels({boards, user, config, buffers}, table, Select(first, last), scanRate);
  }

  static std::vector<double> Expected(int chan, std::uint32_t count) {
    std::vector<double> values;
    for (std::uint32_t k = 0; k < count; ++k) values.push_back(chan * 1000.0 + k);
    return values;
  }

  Boards boards;
  FakeBoard* board = nullptr;
  ScriptedUser user;
  BoardConfig config;
  SpareSamples buffers;
  ChannelTable table;
};

TEST(AcquisitionEngine, AcquiresOneChannelAlone) {
  EngineRig rig;
  ASSERT_TRUE(rig.Acquire(3, 3, 5000.0));
  EXPECT_EQ(EngineRig::Expected(3, 4), Values(rig.table[3]));
  EXPECT_EQ(3003.0, rig.table[3].statistics().maxValue);
  EXPECT_EQ(3000.0, rig.table[3].statistics().minValue);
  EXPECT_EQ(100000.0, rig.table[3].rate);  // the scan rate plays no part
  EXPECT_EQ((std::vector<double>{-7.0}), Values(rig.table[2]));
  EXPECT_EQ((std::vector<std::string>{"SetTimeout(180)", "Start(3;,1,100000,0,4)", "Read(4)",
                                      "Stop", "ScaleFor(3,1)", "SetTimeout(-1)"}),
            rig.board->calls);
  EXPECT_TRUE(rig.user.boxes().empty());
}

TEST(AcquisitionEngine, AsksForThreeReadingsAndKeepsTheRequestedCount) {
  EngineRig rig;
  for (std::uint32_t count : {0u, 1u, 2u}) {
    rig.table[0].SetCount(count);
    rig.board->calls.clear();
    ASSERT_TRUE(rig.Acquire(0, 0)) << count;
    EXPECT_EQ("Start(0;,1,100000,0,3)", rig.board->calls[1]);
    EXPECT_EQ(count, rig.table[0].count());
    EXPECT_EQ(EngineRig::Expected(0, count), Values(rig.table[0]));
    EXPECT_EQ(count == 0 ? 0.0 : count - 1.0, rig.table[0].statistics().maxValue);
  }
  rig.table[0].SetCount(2);
  rig.table[1].SetCount(2);
  rig.board->calls.clear();
  ASSERT_TRUE(rig.Acquire(0, 1));
  EXPECT_EQ("Start(1;0;,1,100000,0,3)", rig.board->calls[1]);
  EXPECT_EQ(EngineRig::Expected(1, 2), Values(rig.table[1]));
}

// With a scan rate, each channel is read once per scan: that is its rate.
TEST(AcquisitionEngine, ScansChannelsDownToZeroIntoTheirOwnRecords) {
  EngineRig rig;
  ASSERT_TRUE(rig.Acquire(0, 1, 20000.0));
  EXPECT_EQ(EngineRig::Expected(0, 4), Values(rig.table[0]));
  EXPECT_EQ(EngineRig::Expected(1, 4), Values(rig.table[1]));
  EXPECT_EQ(20000.0, rig.table[0].rate);
  EXPECT_EQ(20000.0, rig.table[1].rate);
  EXPECT_EQ((std::vector<std::string>{"SetTimeout(180)", "Start(1;0;,1,100000,20000,4)", "Read(8)",
                                      "Stop", "ScaleFor(0,1)", "SetTimeout(-1)"}),
            rig.board->calls);
}

TEST(AcquisitionEngine, DividesTheRateAmongTheScannedChannels) {
  EngineRig rig;
  ASSERT_TRUE(rig.Acquire(0, 3));
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(25000.0, rig.table[i].rate) << i;
    EXPECT_EQ(EngineRig::Expected(i, 4), Values(rig.table[i])) << i;
  }
  EXPECT_EQ(100000.0, rig.table[4].rate);
}

// After every board call, No in the handler's question stops the
// acquisition: the selected records hold no samples, the engine adds no box
// of its own, and the board's time-out is not reset.
TEST(AcquisitionEngine, StopsWhenTheUserAbandonsAfterAnyCall) {
  struct Case {
    const char* method;  // what fails
    const char* label;   // what the user is told failed
    int first;
    int last;
  };
  const Case cases[] = {
      {"SetTimeout", "Timeout_Config", 2, 2},
      {"Start", "DAQ_Op", 2, 2},
      {"Read", "DAQ_Op", 2, 2},
      {"ScaleFor", "DAQ_VScale", 2, 2},
      {"SetTimeout", "Timeout_Config", 0, 2},
      {"Start", "SCAN_Op", 0, 2},
      {"Read", "SCAN_Op", 0, 2},
      {"ScaleFor", "DAQ_VScale", 0, 2},
  };
  for (const Case& c : cases) {
    EngineRig fresh;
    fresh.board->statuses[c.method] = kBadGainError;
    fresh.user.Answer(MessageAnswer::kNo);
    EXPECT_FALSE(fresh.Acquire(c.first, c.last)) << c.method;
    for (int j = c.first; j <= c.last; ++j) EXPECT_FALSE(HoldsSamples(fresh.table[j])) << c.method;
    EXPECT_EQ((std::vector<double>{-7.0}), Values(fresh.table[5]));
    ASSERT_EQ(1u, fresh.user.boxes().size()) << c.method;
    EXPECT_NE(std::string::npos, fresh.user.boxes()[0].text.find(c.label)) << c.method;
    EXPECT_NE("SetTimeout(-1)", fresh.board->calls.back()) << c.method;
  }
}

// A board that refuses a call writes nothing: going on anyway gives zeros,
// never what the buffers' memory held before.
TEST(AcquisitionEngine, GoingOnAfterARefusedCallGivesZeros) {
  for (const int last : {0, 3}) {
    EngineRig rig;
    Boards boards;
    AttachSimulatedBoard(boards);
    for (int i = 0; i <= last; ++i) rig.table[i].rate = 0.0;  // refused: badIntervalError
    for (int k = 0; k < 3; ++k) rig.user.Answer(MessageAnswer::kYes);
    // Old readings in the buffers must not come back either.
    rig.buffers.readings.assign(64, 999);
    ASSERT_TRUE(AcquireChannels({boards, rig.user, rig.config, rig.buffers}, rig.table,
                                EngineRig::Select(0, last), 0.0));
    for (int i = 0; i <= last; ++i) {
      EXPECT_EQ(std::vector<double>(4, 0.0), Values(rig.table[i])) << last << " " << i;
    }
  }
  // A scale the board refuses leaves zeros too.
  EngineRig rig;
  rig.board->statuses["ScaleFor"] = kBadGainError;
  rig.user.Answer(MessageAnswer::kYes);
  ASSERT_TRUE(rig.Acquire(2, 2));
  EXPECT_EQ(std::vector<double>(4, 0.0), Values(rig.table[2]));
}

TEST(AcquisitionEngine, GoesOnWhenTheUserSaysSo) {
  EngineRig rig;
  rig.board->statuses["SetTimeout"] = kBadGainError;
  rig.user.Answer(MessageAnswer::kYes);
  EXPECT_TRUE(rig.Acquire(1, 1));
  EXPECT_EQ(EngineRig::Expected(1, 4), Values(rig.table[1]));
}

TEST(AcquisitionEngine, ReportsEveryAllocationFailure) {
  struct Case {
    int failingRequest;
    int first;
    int last;
    std::vector<bool> holding;  // records 0 to 2 afterwards
  };
  const Case cases[] = {
      {1, 2, 2, {true, true, false}},    // the readings
      {2, 2, 2, {true, true, false}},    // the record's samples
      {1, 0, 2, {false, false, false}},  // the readings
      {2, 0, 2, {false, false, false}},  // record 2, the first filled
      {3, 0, 2, {false, false, true}},   // record 1: record 2 keeps what it got
      {4, 0, 2, {false, true, true}},    // record 0
  };
  for (const Case& c : cases) {
    EngineRig fresh;
    bool result = true;
    {
      ScopedAllocationFailure failure(c.failingRequest);
      result = fresh.Acquire(c.first, c.last);
    }
    EXPECT_FALSE(result);
    ASSERT_EQ(1u, fresh.user.boxes().size());
    EXPECT_EQ("Erreur d'allocation memoire", fresh.user.boxes()[0].text);
    EXPECT_EQ("ERREUR!", fresh.user.boxes()[0].caption);
    for (int j = 0; j < 3; ++j) {
      EXPECT_EQ(c.holding[j], HoldsSamples(fresh.table[j]))
          << "request " << c.failingRequest << ", record " << j;
    }
  }
}

// Buffers of one acquisition are held at once: each fitting in memory alone
// must not let them through together.
TEST(AcquisitionEngine, ChecksTheBuffersOfOneAcquisitionTogether) {
  struct Case {
    int first;
    int last;
    std::uint32_t count;
    std::size_t memoryBytes;  // more than any one buffer, less than all of them
  };
  // One channel of 100: samples 800 + readings 200. A scan of 2 x 40:
  // readings 160, records 2 x 320.
  const Case cases[] = {{3, 3, 100, 900}, {0, 1, 40, 700}};
  for (const Case& c : cases) {
    EngineRig rig;
    for (int i = 0; i < kChannelCount; ++i) rig.table[i].SetCount(c.count);
    bool result = true;
    {
      ScopedMemoryLimit memory(c.memoryBytes);
      result = rig.Acquire(c.first, c.last);
    }
    EXPECT_FALSE(result) << c.first << "-" << c.last;
    EXPECT_TRUE(rig.board->calls.empty());
    ASSERT_EQ(1u, rig.user.boxes().size());
    EXPECT_EQ("Erreur d'allocation memoire", rig.user.boxes()[0].text);
    EXPECT_FALSE(HoldsSamples(rig.table[c.last]));
  }
}

TEST(AcquisitionEngine, RefusesAScanTooLargeForTheBoardsCounts) {
  EngineRig rig;
  for (int i = 0; i < 2; ++i) rig.table[i].SetCount(3'000'000'000u);
  EXPECT_FALSE(rig.Acquire(0, 1));
  EXPECT_TRUE(rig.board->calls.empty());
  EXPECT_EQ(messages::kAllocationError, rig.user.boxes().at(0).text);
}

TEST(AcquisitionEngine, TellsTheUserWhenNoChannelIsSelected) {
  EngineRig rig;
  EXPECT_FALSE(
      AcquireChannels({rig.boards, rig.user, rig.config, rig.buffers}, rig.table, {}, 0.0));
  ASSERT_EQ(1u, rig.user.boxes().size());
  EXPECT_EQ(messages::kNoChannelSelected, rig.user.boxes()[0].text);
  EXPECT_TRUE(rig.board->calls.empty());
  EXPECT_EQ((std::vector<double>{-7.0}), Values(rig.table[0]));
}

// The conversion runs through a table for large acquisitions and piece by
// piece through the scans: every reading must still give the scale's own
// value, in its own record.
TEST(AcquisitionEngine, ConvertsEveryReadingAsTheBoardsScaleSays) {
  for (const Polarity polarity : {Polarity::kBipolar, Polarity::kUnipolar}) {
    EngineRig rig;
    Boards boards;
    AttachSimulatedBoard(boards);
    ASSERT_EQ(boards.For(1).Configure({InputMode::kReferenced, polarity}), kDaqNoError);
    rig.config.gainAdjust = 0.987;
    rig.config.offset = 3.5;
    for (int i = 0; i < kChannelCount; ++i) {
      rig.table[i].SetCount(70000);
      rig.table[i].gain = 5;
    }
    ASSERT_TRUE(AcquireChannels({boards, rig.user, rig.config, rig.buffers}, rig.table,
                                EngineRig::Select(0, 7), 0.0));
    VoltScale scale;
    ASSERT_EQ(boards.For(1).ScaleFor(0, 5, scale), kDaqNoError);
    for (int k = 0; k < 8; ++k) {
      const std::span<const double> samples = rig.table[k].samples();
      ASSERT_EQ(samples.size(), 70000u);
      for (std::size_t s = 0; s < samples.size(); ++s) {
        ASSERT_EQ(samples[s], scale.Volts(rig.buffers.readings[s * 8 + 7 - k], 0.987, 3.5))
            << k << " " << s;
      }
    }
  }
}

// Acquiring again refills the memory of the acquisition before last: the
// records take new samples without fresh pages.
TEST(AcquisitionEngine, AcquiringAgainReusesTheSessionsMemory) {
  EngineRig rig;
  for (int i = 0; i < kChannelCount; ++i) rig.table[i].SetCount(1000);
  ASSERT_TRUE(rig.Acquire(0, 3));
  ASSERT_TRUE(rig.Acquire(0, 3));
  const double* before = rig.table[2].samples().data();
  const BoardReading* readings = rig.buffers.readings.data();
  ASSERT_TRUE(rig.Acquire(0, 3));
  ASSERT_TRUE(rig.Acquire(0, 3));
  EXPECT_EQ(before, rig.table[2].samples().data());
  EXPECT_EQ(readings, rig.buffers.readings.data());
  EXPECT_EQ(EngineRig::Expected(2, 1000), Values(rig.table[2]));
}

TEST(AcquisitionEngine, ConfiguresTheBoardAndGoesOnUnlessTheUserStops) {
  EngineRig rig;
  EXPECT_TRUE(ConfigureBoard(rig.boards, rig.user, 1, 2, 1));
  EXPECT_EQ("Configure(2,1)", rig.board->calls.back());
  rig.board->statuses["Configure"] = kBadInputModeError;
  rig.user.Answer(MessageAnswer::kYes);
  EXPECT_TRUE(ConfigureBoard(rig.boards, rig.user, 1, 1, 0));
  rig.user.Answer(MessageAnswer::kNo);
  EXPECT_FALSE(ConfigureBoard(rig.boards, rig.user, 3, 1, 0));
  EXPECT_NE(std::string::npos, rig.user.boxes().back().text.find("-10402 (deviceNotFoundError)"));
  // Codes outside their lists are refused before the board is asked.
  rig.user.Answer(MessageAnswer::kNo);
  EXPECT_FALSE(ConfigureBoard(rig.boards, rig.user, 1, 3, 0));
  EXPECT_NE(std::string::npos, rig.user.boxes().back().text.find("AI_Configure a renvoyé"));
}

}  // namespace
}  // namespace tavril
