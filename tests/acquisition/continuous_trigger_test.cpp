#include "acquisition/continuous_trigger.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>
#include <tuple>
#include <vector>

#include "acquisition/sample_ring.h"
#include "acquisition/simulated_board.h"
#include "acquisition/trigger_reach.h"

namespace tavril {
namespace {

TEST(SampleRing, KeepsTheNewestInOrderAcrossWrapAround) {
  SampleRing ring;
  ring.Reset(5);
  const std::vector<double> a{1, 2, 3}, b{4, 5, 6, 7}, c{8, 9, 10, 11, 12, 13, 14};
  std::vector<double> out(5);
  ring.Append(a);
  ring.Append(b);
  ASSERT_EQ(ring.Oldest(), 2u);
  ring.CopyOut(2, out);
  EXPECT_EQ(out, (std::vector<double>{3, 4, 5, 6, 7}));
  ring.Append(c);  // more than the ring holds
  ring.CopyOut(ring.Oldest(), out);
  EXPECT_EQ(out, (std::vector<double>{10, 11, 12, 13, 14}));
  EXPECT_EQ(ring.Total(), 14u);
}

struct TriggerCase {
  const char* name;
  SweepMode mode;
  TriggerEdge edge;
  double level, prePercent, holdoff;
  std::uint32_t window;
  std::function<double(int)> signal;
  int fed;
  std::optional<std::uint64_t> first;  // of the last sweep completed; none: no sweep
  std::optional<std::uint32_t> trigger;
};

const auto kSine = [](int k) { return std::sin(2 * std::numbers::pi * k / 20); };
const auto kRamp = [](int k) { return static_cast<double>(k); };
const auto kSaw = [](int k) { return static_cast<double>(k % 4); };
const auto kFlat = [](int) { return 0.0; };

// The holdoff is in samples: one sample per second.
const TriggerCase kCases[] = {
    {"rising sine", SweepMode::kNormal, TriggerEdge::kRising, 0.5, 0, 0, 10, kSine, 12, 2, 0},
    {"rising sine, last of two", SweepMode::kNormal, TriggerEdge::kRising, 0.5, 0, 0, 10, kSine, 40,
     22, 0},
    {"falling sine, 50 %", SweepMode::kNormal, TriggerEdge::kFalling, 0.5, 50, 0, 10, kSine, 14, 4,
     5},
    {"ramp, 100 %", SweepMode::kNormal, TriggerEdge::kRising, 9.5, 100, 0, 10, kRamp, 11, 1, 9},
    {"ramp, post samples missing",
     SweepMode::kNormal,
     TriggerEdge::kRising,
     9.5,
     0,
     0,
     10,
     kRamp,
     19,
     {},
     {}},
    {"ramp, 0 %", SweepMode::kNormal, TriggerEdge::kRising, 9.5, 0, 0, 10, kRamp, 20, 10, 0},
    {"saw, no holdoff", SweepMode::kNormal, TriggerEdge::kRising, 2.5, 0, 0, 2, kSaw, 9, 7, 0},
    {"saw, holdoff of a period", SweepMode::kNormal, TriggerEdge::kRising, 2.5, 0, 4, 2, kSaw, 9, 7,
     0},
    {"saw, holdoff skips one", SweepMode::kNormal, TriggerEdge::kRising, 2.5, 0, 6, 2, kSaw, 9, 3,
     0},
    {"saw, holdoff ends", SweepMode::kNormal, TriggerEdge::kRising, 2.5, 0, 6, 2, kSaw, 13, 11, 0},
    {"pre samples missing",
     SweepMode::kNormal,
     TriggerEdge::kRising,
     2.5,
     90,
     0,
     10,
     kSaw,
     11,
     {},
     {}},
    {"flat, automatic",
     SweepMode::kAutomatic,
     TriggerEdge::kRising,
     1,
     0,
     0,
     10,
     kFlat,
     25,
     10,
     {}},
    {"flat, normal", SweepMode::kNormal, TriggerEdge::kRising, 1, 0, 0, 10, kFlat, 25, {}, {}},
    {"saw, automatic triggers", SweepMode::kAutomatic, TriggerEdge::kRising, 2.5, 0, 0, 2, kSaw, 9,
     7, 0},
    {"saw, single shot", SweepMode::kSingle, TriggerEdge::kRising, 2.5, 0, 0, 2, kSaw, 20, 3, 0},
    {"roll", SweepMode::kRoll, TriggerEdge::kRising, 2.5, 0, 0, 2, kSaw, 20, {}, {}},
};

TEST(SweepFinder, FindsTheKnownSweepsWhateverTheBlocks) {
  for (const TriggerCase& c : kCases) {
    std::vector<double> samples;
    for (int k = 0; k < c.fed; ++k) samples.push_back(c.signal(k));
    const TriggerSettings settings{c.mode, 0, c.level, c.edge, c.prePercent, c.holdoff};
    for (const std::size_t piece : {samples.size(), std::size_t{1}, std::size_t{3}}) {
      SweepFinder finder(settings, c.window, 1.0);
      std::optional<Sweep> last;
      for (std::size_t at = 0; at < samples.size(); at += piece) {
        const auto found =
            finder.Feed(std::span(samples).subspan(at, std::min(piece, samples.size() - at)));
        if (found) last = found;
      }
      ASSERT_EQ(last.has_value(), c.first.has_value()) << c.name << " / " << piece;
      if (!last) continue;
      EXPECT_EQ(last->first, *c.first) << c.name << " / " << piece;
      EXPECT_EQ(last->trigger, c.trigger) << c.name << " / " << piece;
    }
  }
}

TEST(SweepFinder, SingleShotShowsNothingAfterItsSweep) {
  SweepFinder finder({SweepMode::kSingle, 0, 2.5, TriggerEdge::kRising, 0, 0}, 2, 1.0);
  std::vector<double> saw;
  for (int k = 0; k < 40; ++k) saw.push_back(kSaw(k));
  ASSERT_TRUE(finder.Feed(std::span(saw).first(5)));
  EXPECT_FALSE(finder.Feed(std::span(saw).subspan(5)));
}

using enum SweepMode;
constexpr TriggerState kWait = TriggerState::kWaiting, kFree = TriggerState::kAutomatic,
                       kTrig = TriggerState::kTriggered;

// Window 10, rising through 9.5 (the ramp at sample 10): mode, signal, samples fed, forced
// before the last one, state, and the first sample of a sweep that last one completes.
const std::tuple<SweepMode, std::function<double(int)>, int, bool, TriggerState,
                 std::optional<std::uint64_t>>
    kStateCases[] = {
        {kNormal, kFlat, 25, false, kWait, {}},    {kNormal, kFlat, 25, true, kFree, 15},
        {kNormal, kRamp, 15, false, kTrig, {}},    {kNormal, kRamp, 15, true, kTrig, {}},
        {kNormal, kRamp, 20, false, kTrig, 10},    {kNormal, kRamp, 30, false, kWait, {}},
        {kAutomatic, kFlat, 25, false, kFree, {}}, {kSingle, kFlat, 25, true, kFree, 15},
};

TEST(SweepFinder, SaysWhetherItWaitsHasTriggeredOrRunsFreeAndSweepsWhenForced) {
  for (const auto& [mode, signal, fed, forced, state, first] : kStateCases) {
    std::vector<double> samples;
    for (int k = 0; k < fed; ++k) samples.push_back(signal(k));
    SweepFinder finder({mode, 0, 9.5, TriggerEdge::kRising, 0, 0}, 10, 1.0);
    finder.Feed(std::span(samples).first(samples.size() - 1));
    if (forced) finder.Force();
    const std::optional<Sweep> last = finder.Feed(std::span(samples).last(1));
    EXPECT_EQ(finder.State(), state) << static_cast<int>(mode) << " " << fed;
    EXPECT_EQ(last ? std::optional(last->first) : std::nullopt, first) << fed;
  }
}

TEST(TriggerReach, ALevelNoEdgeCanCrossIsOutOfReach) {
  SimulatedBoard board;  // -5 V to 4.998 V at gain 1
  AcquisitionPlan plan;
  plan.request.gain = 1;
  const InputRange range = InputRangeOf(board, plan).value();
  const std::tuple<double, bool, bool> cases[] = {// level, rising, reachable
                                                  {0.0, true, true},
                                                  {10.0, true, false},
                                                  {-5.0, true, false},
                                                  {-5.0, false, true},
                                                  {range.highest, false, false}};
  for (const auto& [level, rising, reachable] : cases) {
    const TriggerEdge edge = rising ? TriggerEdge::kRising : TriggerEdge::kFalling;
    EXPECT_EQ(!UnreachableTrigger({kNormal, 0, level, edge}, range, 3), reachable) << level;
  }
  // The level in plain decimals, as every message writes numbers.
  const std::optional<std::string> message =
      UnreachableTrigger({kNormal, 0, 100000.0, TriggerEdge::kRising}, range, 3);
  ASSERT_TRUE(message);
  EXPECT_EQ(message->rfind("Le niveau de déclenchement de 100000 V ", 0), 0u) << *message;
}

}  // namespace
}  // namespace tavril
