#include "acquisition/acquisition_engine.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "acquisition/error_handler.h"
#include "acquisition/simulated_board.h"
#include "app/allocation.h"
#include "support/scripted_user.h"

namespace tavril {
namespace {

using testing::ScriptedUser;

// A board whose readings say where they come from (channel * 1000 + index),
// whose conversion to volts is the identity, and whose statuses are scripted
// per call label. It records every call.
class FakeBoard : public BoardDriver {
 public:
  std::map<std::string, DaqStatus> statuses;
  std::vector<std::string> calls;

  DaqStatus Timeout_Config(std::int16_t device, std::int32_t ticks) override {
    return Record("Timeout_Config(" + std::to_string(device) + "," + std::to_string(ticks) + ")",
                  "Timeout_Config");
  }
  DaqStatus DAQ_Op(std::int16_t device, std::int16_t chan, std::int16_t gain, std::int16_t* buffer,
                   std::uint32_t count, double rate) override {
    for (std::uint32_t k = 0; k < count; ++k)
      buffer[k] = static_cast<std::int16_t>(chan * 1000 + k);
    return Record("DAQ_Op(" + std::to_string(device) + "," + std::to_string(chan) + "," +
                      std::to_string(gain) + "," + std::to_string(count) + "," +
                      std::to_string(static_cast<int>(rate)) + ")",
                  "DAQ_Op");
  }
  DaqStatus SCAN_Op(std::int16_t device, std::int16_t numChans, std::int16_t gain,
                    std::int16_t* buffer, std::uint32_t count, double rate, double scanRate,
                    std::int16_t* scanOrder) override {
    const std::uint32_t scans = count / numChans;
    for (std::uint32_t s = 0; s < scans; ++s) {
      for (int j = 0; j < numChans; ++j) {
        buffer[s * numChans + j] = static_cast<std::int16_t>((numChans - 1 - j) * 1000 + s);
      }
    }
    for (int j = 0; j < numChans; ++j) scanOrder[j] = static_cast<std::int16_t>(numChans - 1 - j);
    return Record("SCAN_Op(" + std::to_string(device) + "," + std::to_string(numChans) + "," +
                      std::to_string(gain) + "," + std::to_string(count) + "," +
                      std::to_string(static_cast<int>(rate)) + "," +
                      std::to_string(static_cast<int>(scanRate)) + ")",
                  "SCAN_Op");
  }
  DaqStatus SCAN_Demux(std::int16_t* buffer, std::uint32_t count, std::int16_t numChans,
                       std::int16_t muxBoards) override {
    const std::vector<std::int16_t> scanned(buffer, buffer + count);
    const std::uint32_t scans = count / numChans;
    for (std::uint32_t s = 0; s < scans; ++s) {
      for (int j = 0; j < numChans; ++j) buffer[j * scans + s] = scanned[s * numChans + j];
    }
    return Record("SCAN_Demux(" + std::to_string(count) + "," + std::to_string(numChans) + "," +
                      std::to_string(muxBoards) + ")",
                  "SCAN_Demux");
  }
  DaqStatus DAQ_VScale(std::int16_t device, std::int16_t chan, std::int16_t gain, double gainAdjust,
                       double offset, std::uint32_t count, const std::int16_t* readings,
                       double* volts) override {
    for (std::uint32_t k = 0; k < count; ++k) volts[k] = readings[k];
    return Record("DAQ_VScale(" + std::to_string(device) + "," + std::to_string(chan) + "," +
                      std::to_string(gain) + "," + std::to_string(gainAdjust) + "," +
                      std::to_string(offset) + "," + std::to_string(count) + ")",
                  "DAQ_VScale");
  }
  DaqStatus AI_Configure(std::int16_t device, std::int16_t chan, std::int16_t inputMode,
                         std::int16_t inputRange, std::int16_t polarity,
                         std::int16_t driveAIS) override {
    return Record("AI_Configure(" + std::to_string(device) + "," + std::to_string(chan) + "," +
                      std::to_string(inputMode) + "," + std::to_string(inputRange) + "," +
                      std::to_string(polarity) + "," + std::to_string(driveAIS) + ")",
                  "AI_Configure");
  }

 private:
  DaqStatus Record(std::string call, const std::string& label) {
    calls.push_back(std::move(call));
    const auto scripted = statuses.find(label);
    return scripted == statuses.end() ? kDaqNoError : scripted->second;
  }
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
      record.count = 4;
      record.rate = 100000.0;
      record.samples = {-7.0};  // old samples every acquisition must replace
    }
  }

  // Selects channel `only`, or channels 0 to `last` when `last` is given.
  static std::array<std::int32_t, kChannelCount> Select(int first, int last) {
    std::array<std::int32_t, kChannelCount> selected{};
    for (int j = first; j <= last; ++j) selected[j] = 1;
    return selected;
  }

  int Acquire(int first, int last, double scanRate = 0.0) {
    return AcquireChannels({board, user, config}, table, Select(first, last), scanRate);
  }

  static std::vector<double> Expected(int chan, std::uint32_t count) {
    std::vector<double> values;
    for (std::uint32_t k = 0; k < count; ++k) values.push_back(chan * 1000.0 + k);
    return values;
  }

  FakeBoard board;
  ScriptedUser user;
  BoardConfig config;
  ChannelTable table;
};

TEST(AcquisitionEngine, AcquiresOneChannelAlone) {
  EngineRig rig;
  ASSERT_EQ(1, rig.Acquire(3, 3, 5000.0));
  EXPECT_EQ(EngineRig::Expected(3, 4), rig.table[3].samples);
  EXPECT_EQ(3003.0, rig.table[3].maxValue);
  EXPECT_EQ(3000.0, rig.table[3].minValue);
  EXPECT_EQ(100000.0, rig.table[3].rate);  // the scan rate plays no part
  EXPECT_EQ((std::vector<double>{-7.0}), rig.table[2].samples);
  EXPECT_EQ(
      (std::vector<std::string>{"Timeout_Config(1,180)", "DAQ_Op(1,3,1,4,100000)",
                                "DAQ_VScale(1,3,1,1.000000,0.000000,4)", "Timeout_Config(1,-1)"}),
      rig.board.calls);
  EXPECT_TRUE(rig.user.boxes().empty());
}

TEST(AcquisitionEngine, AsksForThreeReadingsAndKeepsTheRequestedCount) {
  EngineRig rig;
  for (std::uint32_t count : {0u, 1u, 2u}) {
    rig.table[0].count = count;
    rig.board.calls.clear();
    ASSERT_EQ(1, rig.Acquire(0, 0)) << count;
    EXPECT_EQ("DAQ_Op(1,0,1,3,100000)", rig.board.calls[1]);
    EXPECT_EQ(count, rig.table[0].count);
    EXPECT_EQ(EngineRig::Expected(0, count), rig.table[0].samples);
  }
  rig.table[0].count = 2;
  rig.table[1].count = 2;
  rig.board.calls.clear();
  ASSERT_EQ(1, rig.Acquire(0, 1));
  EXPECT_EQ("SCAN_Op(1,2,1,6,100000,0)", rig.board.calls[1]);
  EXPECT_EQ(EngineRig::Expected(1, 2), rig.table[1].samples);
}

// With a scan rate, each channel is read once per scan: that is its rate.
TEST(AcquisitionEngine, ScansChannelsDownToZeroIntoTheirOwnRecords) {
  EngineRig rig;
  ASSERT_EQ(1, rig.Acquire(0, 1, 20000.0));
  EXPECT_EQ(EngineRig::Expected(0, 4), rig.table[0].samples);
  EXPECT_EQ(EngineRig::Expected(1, 4), rig.table[1].samples);
  EXPECT_EQ(20000.0, rig.table[0].rate);
  EXPECT_EQ(20000.0, rig.table[1].rate);
  EXPECT_EQ((std::vector<std::string>{"Timeout_Config(1,180)", "SCAN_Op(1,2,1,8,100000,20000)",
                                      "SCAN_Demux(8,2,0)", "DAQ_VScale(1,0,1,1.000000,0.000000,8)",
                                      "Timeout_Config(1,-1)"}),
            rig.board.calls);
}

TEST(AcquisitionEngine, DividesTheRateAmongTheScannedChannels) {
  EngineRig rig;
  ASSERT_EQ(1, rig.Acquire(0, 3));
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(25000.0, rig.table[i].rate) << i;
    EXPECT_EQ(EngineRig::Expected(i, 4), rig.table[i].samples) << i;
  }
  EXPECT_EQ(100000.0, rig.table[4].rate);
}

// After every board call, No in the handler's question stops the
// acquisition: the selected records hold no samples, the engine adds no box
// of its own, and the board's time-out is not reset.
TEST(AcquisitionEngine, StopsWhenTheUserAbandonsAfterAnyCall) {
  struct Case {
    const char* label;
    int first;
    int last;
  };
  const Case cases[] = {{"Timeout_Config", 2, 2}, {"DAQ_Op", 2, 2},  {"DAQ_VScale", 2, 2},
                        {"Timeout_Config", 0, 2}, {"SCAN_Op", 0, 2}, {"SCAN_Demux", 0, 2},
                        {"DAQ_VScale", 0, 2}};
  for (const Case& c : cases) {
    EngineRig fresh;
    fresh.board.statuses[c.label] = kBadGainError;
    fresh.user.Answer(MessageAnswer::kNo);
    EXPECT_EQ(0, fresh.Acquire(c.first, c.last)) << c.label;
    for (int j = c.first; j <= c.last; ++j) EXPECT_FALSE(HoldsSamples(fresh.table[j])) << c.label;
    EXPECT_EQ((std::vector<double>{-7.0}), fresh.table[5].samples);
    ASSERT_EQ(1u, fresh.user.boxes().size()) << c.label;
    EXPECT_NE(std::string::npos, fresh.user.boxes()[0].text.find(c.label));
    EXPECT_NE("Timeout_Config(1,-1)", fresh.board.calls.back()) << c.label;
  }
}

// A board that refuses a call writes nothing: going on anyway gives zeros,
// never what the buffers' memory held before.
TEST(AcquisitionEngine, GoingOnAfterARefusedCallGivesZeros) {
  for (const int last : {0, 3}) {
    EngineRig rig;
    SimulatedBoard board(1);
    for (int i = 0; i <= last; ++i) rig.table[i].rate = 0.0;  // refused: badIntervalError
    for (int k = 0; k < 3; ++k) rig.user.Answer(MessageAnswer::kYes);
    ASSERT_EQ(1, AcquireChannels({board, rig.user, rig.config}, rig.table,
                                 EngineRig::Select(0, last), 0.0));
    for (int i = 0; i <= last; ++i) {
      EXPECT_EQ(std::vector<double>(4, 0.0), rig.table[i].samples) << last << " " << i;
    }
  }
}

TEST(AcquisitionEngine, GoesOnWhenTheUserSaysSo) {
  EngineRig rig;
  rig.board.statuses["DAQ_Op"] = kBadGainError;
  rig.user.Answer(MessageAnswer::kYes);
  EXPECT_EQ(1, rig.Acquire(1, 1));
  EXPECT_EQ(EngineRig::Expected(1, 4), rig.table[1].samples);
}

TEST(AcquisitionEngine, ReportsEveryAllocationFailure) {
  struct Case {
    int failingRequest;
    int first;
    int last;
    std::vector<bool> holding;  // records 0 to 2 afterwards
  };
  const Case cases[] = {
      {1, 2, 2, {true, true, false}},    // the record's samples
      {2, 2, 2, {true, true, false}},    // the raw readings: no stale statistics left
      {1, 0, 2, {false, false, false}},  // the volts buffer
      {2, 0, 2, {false, false, false}},  // the raw readings
      {3, 0, 2, {false, false, false}},  // record 2, the first filled
      {4, 0, 2, {false, false, true}},   // record 1: record 2 keeps what it got
  };
  for (const Case& c : cases) {
    EngineRig fresh;
    int result = -1;
    {
      ScopedAllocationFailure failure(c.failingRequest);
      result = fresh.Acquire(c.first, c.last);
    }
    EXPECT_EQ(0, result);
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
  // One channel of 100: samples 800 + raw 200. A scan of 2 x 40: volts 640,
  // raw 160, records 2 x 320.
  const Case cases[] = {{3, 3, 100, 900}, {0, 1, 40, 1200}};
  for (const Case& c : cases) {
    EngineRig rig;
    for (int i = 0; i < kChannelCount; ++i) rig.table[i].count = c.count;
    int result = -1;
    {
      ScopedMemoryLimit memory(c.memoryBytes);
      result = rig.Acquire(c.first, c.last);
    }
    EXPECT_EQ(0, result) << c.first << "-" << c.last;
    EXPECT_TRUE(rig.board.calls.empty());
    ASSERT_EQ(1u, rig.user.boxes().size());
    EXPECT_EQ("Erreur d'allocation memoire", rig.user.boxes()[0].text);
    EXPECT_FALSE(HoldsSamples(rig.table[c.last]));
  }
}

TEST(AcquisitionEngine, RefusesAScanTooLargeForTheBoardsCounts) {
  EngineRig rig;
  rig.table[0].count = 3'000'000'000u;
  EXPECT_EQ(kSamplesMemoryFailed,
            AcquireScan({rig.board, rig.user, rig.config}, rig.table, 1, 0.0));
  EXPECT_TRUE(rig.board.calls.empty());
}

TEST(AcquisitionEngine, TellsTheUserWhenNoChannelIsSelected) {
  EngineRig rig;
  EXPECT_EQ(0, AcquireChannels({rig.board, rig.user, rig.config}, rig.table, {}, 0.0));
  ASSERT_EQ(1u, rig.user.boxes().size());
  EXPECT_EQ(kNoChannelSelectedMessage, rig.user.boxes()[0].text);
  EXPECT_TRUE(rig.board.calls.empty());
  EXPECT_EQ((std::vector<double>{-7.0}), rig.table[0].samples);
}

TEST(AcquisitionEngine, ConfiguresTheBoardAndGoesOnUnlessTheUserStops) {
  EngineRig rig;
  EXPECT_EQ(1, ConfigureBoard(rig.board, rig.user, 1, -1, 2, 1));
  EXPECT_EQ("AI_Configure(1,-1,2,0,1,0)", rig.board.calls.back());
  rig.board.statuses["AI_Configure"] = kDeviceNotFoundError;
  rig.user.Answer(MessageAnswer::kYes);
  EXPECT_EQ(1, ConfigureBoard(rig.board, rig.user, 3, -1, 1, 0));
  rig.user.Answer(MessageAnswer::kNo);
  EXPECT_EQ(0, ConfigureBoard(rig.board, rig.user, 3, -1, 1, 0));
}

}  // namespace
}  // namespace tavril
