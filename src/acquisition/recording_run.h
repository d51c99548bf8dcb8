#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "acquisition/acquisition_engine.h"
#include "acquisition/board.h"
#include "acquisition/continuous_acquisition.h"
#include "acquisition/continuous_trigger.h"
#include "acquisition/stream_clock.h"
#include "model/sample_sink.h"

namespace tavril {

// The trigger as the user gives it: a channel rather than its place in the
// scan.
struct RunTrigger {
  SweepMode mode = SweepMode::kRoll;  // kRoll: no trigger
  int channel = 0;                    // the record whose samples it watches
  double level = 0.0;                 // volts
  TriggerEdge edge = TriggerEdge::kRising;
  double prePercent = 0.0;
  double holdoffSeconds = 0.0;
};

// What the continuous window and `tavril-cli record` ask of a run.
struct RunSettings {
  AcquisitionPlan plan;
  std::uint32_t window = 0;  // samples per channel shown
  RunTrigger trigger;
  // The run ends once it has read this long of samples at the rate the
  // board really runs at, and the sink keeps exactly those; 0: until stopped.
  double seconds = 0.0;
};

// What is wrong with a run's trigger, in French.
struct TriggerProblem {
  // The channel is not one the run reads: the run cannot start.
  std::optional<std::string> refusal;
  // The level lies where no edge can cross it, at the input's range: no
  // sweep would ever trigger. Whether to start all the same is the caller's.
  std::optional<std::string> unreachable;
};

// One continuous run of a board, recorded or not, as the window and
// `tavril-cli record` both run it: Configure it (the trigger's set-up and
// check), Start it with the sink the caller made, Watch it until its
// snapshot says it has ended (the user's stop, a single shot's sweep, the
// duration, a failure), then read the outcome there. Watch, Stop, ForceSweep
// and Wait belong to one thread; the run reads the board on its own.
class RecordingRun {
 public:
  // The run's time is `clock`'s (see ContinuousAcquisition).
  explicit RecordingRun(StreamClock& clock = SteadyClock()) : acquisition_(clock) {}

  // Sets the next run up on `board`; what stops its trigger from firing, if
  // anything. Nothing starts yet.
  TriggerProblem Configure(Board& board, const RunSettings& settings);

  // Starts the run configured; `sink`, when given, receives every sample
  // and is told the rate the board really runs at. False when a run goes, no
  // run is configured, the trigger is refused or the plan cannot stream
  // (see ContinuousAcquisition::Start). The board's own refusal ends the run
  // at once: see the outcome.
  bool Start(SampleSink* sink);

  // The run's state as of now. Once in a run, when the board turns out to run
  // at another rate than the one asked: that rate, in scans per second.
  std::optional<double> Watch(ContinuousSnapshot& snapshot);

  void Stop() { acquisition_.Stop(); }
  void Wait() { acquisition_.Wait(); }
  void ForceSweep() { acquisition_.ForceSweep(); }

  // Scans per second asked of the board by the run configured.
  double RateAsked() const { return rateAsked_; }
  // The run configured looks for a trigger.
  bool Triggered() const { return trigger_ && trigger_->mode != SweepMode::kRoll; }

 private:
  ContinuousAcquisition acquisition_;
  Board* board_ = nullptr;
  RunSettings settings_;
  std::optional<TriggerSettings> trigger_;  // none when refused
  double rateAsked_ = 0.0;
  bool rateTold_ = false;
};

}  // namespace tavril
