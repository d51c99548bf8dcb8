#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace tavril {

enum class TriggerEdge { kRising, kFalling };

// How a continuous acquisition's display follows the signal.
enum class SweepMode {
  kRoll,       // no trigger: the newest window scrolls by
  kAutomatic,  // triggered sweeps, and a free one after a window's time without trigger
  kNormal,     // triggered sweeps only
  kSingle,     // the first triggered sweep only, which ends the run
};

struct TriggerSettings {
  SweepMode mode = SweepMode::kRoll;
  std::size_t source = 0;  // index of the channel in the plan's scan order
  double level = 0.0;      // volts
  TriggerEdge edge = TriggerEdge::kRising;
  // Share of the window before the trigger, 0 to 100; at 100 the trigger is
  // the window's last sample.
  double prePercent = 0.0;
  // Crossings this soon after a trigger do not trigger.
  double holdoffSeconds = 0.0;
};

// What the trigger is doing, as a scope shows it.
enum class TriggerState {
  kWaiting,    // no sweep yet, or no trigger for a window's time: the display keeps its last sweep
  kTriggered,  // the last sweep came from a trigger, a window's time ago at most
  kAutomatic,  // the last sweep came without trigger (automatic mode, or forced)
};

// A completed sweep: the samples first to first + window - 1 of the run.
struct Sweep {
  std::uint64_t first = 0;
  // Where the trigger sample lies in the sweep; none for a free sweep.
  std::optional<std::uint32_t> trigger;
};

// Finds the sweeps in the source channel's samples, fed block after block. A
// rising edge triggers on the first sample at or above the level after one
// below it (a falling edge: at or below after above). Once triggered, no
// other crossing counts until the sweep is complete and the holdoff past.
class SweepFinder {
 public:
  SweepFinder(const TriggerSettings& settings, std::uint32_t window, double samplesPerSecond);

  // Takes the next samples; the last sweep they complete, if any.
  std::optional<Sweep> Feed(std::span<const double> samples);

  // Samples before the trigger in a triggered sweep.
  std::uint32_t PreSamples() const { return pre_; }

  // The next Feed completes a sweep of the newest samples without trigger,
  // as a scope's "force" button does, unless a triggered sweep is under
  // way; as soon as a window's samples have come.
  void Force() { forced_ = true; }

  TriggerState State() const;

 private:
  bool Crosses(double before, double now) const;

  SweepMode mode_;
  TriggerEdge edge_;
  double level_;
  std::uint32_t window_;
  std::uint32_t pre_;
  std::uint64_t holdoff_;
  std::uint64_t seen_ = 0;
  std::optional<double> previous_;
  std::optional<std::uint64_t> pending_;      // a trigger whose sweep is not complete
  std::optional<std::uint64_t> lastTrigger_;  // for the holdoff
  std::uint64_t lastEnd_ = 0;                 // where the last sweep ended (automatic mode)
  bool done_ = false;                         // single shot taken
  bool forced_ = false;
  std::optional<bool> lastTriggered_;  // whether the last sweep came from a trigger
};

}  // namespace tavril
