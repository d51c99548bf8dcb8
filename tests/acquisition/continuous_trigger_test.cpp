#include "acquisition/continuous_trigger.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>
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

struct StateCase {
  const char* name;
  SweepMode mode;
  std::function<double(int)> signal;
  int fed;
  bool forcedBeforeTheLastSample;
  TriggerState state;
  std::optional<std::uint64_t> first;  // of a sweep the last sample completes
};

// Window 10, rising through 9.5: the ramp triggers once, at sample 10.
const StateCase kStateCases[] = {
    {"normal, nothing yet", SweepMode::kNormal, kFlat, 25, false, TriggerState::kWaiting, {}},
    {"normal, forced", SweepMode::kNormal, kFlat, 25, true, TriggerState::kAutomatic, 15},
    {"normal, forced before a window",
     SweepMode::kNormal,
     kFlat,
     5,
     true,
     TriggerState::kWaiting,
     {}},
    {"normal, triggered sweep under way",
     SweepMode::kNormal,
     kRamp,
     15,
     false,
     TriggerState::kTriggered,
     {}},
    {"normal, forced while a triggered sweep is under way",
     SweepMode::kNormal,
     kRamp,
     15,
     true,
     TriggerState::kTriggered,
     {}},
    {"normal, triggered", SweepMode::kNormal, kRamp, 20, false, TriggerState::kTriggered, 10},
    {"normal, a window without trigger since",
     SweepMode::kNormal,
     kRamp,
     30,
     false,
     TriggerState::kWaiting,
     {}},
    {"automatic, first window", SweepMode::kAutomatic, kFlat, 5, false, TriggerState::kWaiting, {}},
    {"automatic, free sweeps",
     SweepMode::kAutomatic,
     kFlat,
     25,
     false,
     TriggerState::kAutomatic,
     {}},
    {"single shot, forced", SweepMode::kSingle, kFlat, 25, true, TriggerState::kAutomatic, 15},
};

TEST(SweepFinder, SaysWhetherItWaitsHasTriggeredOrRunsFreeAndSweepsWhenForced) {
  for (const StateCase& c : kStateCases) {
    std::vector<double> samples;
    for (int k = 0; k < c.fed; ++k) samples.push_back(c.signal(k));
    SweepFinder finder({c.mode, 0, 9.5, TriggerEdge::kRising, 0, 0}, 10, 1.0);
    finder.Feed(std::span(samples).first(samples.size() - 1));
    if (c.forcedBeforeTheLastSample) finder.Force();
    const std::optional<Sweep> last = finder.Feed(std::span(samples).last(1));
    EXPECT_EQ(finder.State(), c.state) << c.name;
    ASSERT_EQ(last.has_value(), c.first.has_value()) << c.name;
    if (last) {
      EXPECT_EQ(last->first, *c.first) << c.name;
    }
  }
}

TEST(TriggerReach, ALevelNoEdgeCanCrossIsOutOfReach) {
  SimulatedBoard board;  // ±5 V at gain 1, 12 bits
  AcquisitionPlan plan;
  plan.request.gain = 1;
  const std::optional<InputRange> range = InputRangeOf(board, plan);
  ASSERT_TRUE(range);
  EXPECT_EQ(range->lowest, -5.0);
  EXPECT_EQ(range->highest, 2047 / 409.6);
  const struct {
    double level;
    TriggerEdge edge;
    bool reachable;
  } cases[] = {
      {0.0, TriggerEdge::kRising, true},          {10.0, TriggerEdge::kRising, false},
      {-5.0, TriggerEdge::kRising, false},        {-5.0, TriggerEdge::kFalling, true},
      {2047 / 409.6, TriggerEdge::kRising, true}, {2047 / 409.6, TriggerEdge::kFalling, false},
      {-10.0, TriggerEdge::kFalling, false},
  };
  for (const auto& c : cases) {
    const TriggerSettings trigger{SweepMode::kNormal, 0, c.level, c.edge, 0, 0};
    EXPECT_EQ(!UnreachableTrigger(trigger, *range, 3), c.reachable) << c.level;
  }
  EXPECT_EQ(UnreachableTrigger({SweepMode::kNormal, 0, 10.0}, *range, 3),
            "Le niveau de déclenchement de 10 V ne peut jamais être franchi : le canal 3 mesure "
            "de -5.000 V à 4.998 V.");
}

}  // namespace
}  // namespace tavril
