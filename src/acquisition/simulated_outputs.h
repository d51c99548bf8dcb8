#pragma once

#include <atomic>
#include <climits>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "acquisition/analog_output.h"
#include "acquisition/daq_status.h"
#include "acquisition/stream_clock.h"

namespace tavril {

// One output run of the simulated board: the codes each output holds, update
// after update. Shared by the board and the acquisitions whose inputs read
// the outputs back; every member call is safe from any thread.
class SimulatedOutputRun {
 public:
  SimulatedOutputRun(const OutputRequest& request, std::vector<std::int16_t> codes,
                     std::size_t streamCapacity);

  double UpdateRate() const { return rate_; }
  // Counts the stops (StopOutput, an underrun): what was read of the run
  // before one may have changed since.
  std::uint64_t Stops() const { return stops_.load(std::memory_order_acquire); }

  // What `output` holds at updates first .. first + count - 1, in volts: 0 V
  // for an output the run does not drive, before the run's start, after a
  // finite run's last value, after the run stopped or underran, and for a
  // streamed update not written yet or older than the buffer keeps. Returns
  // how many of them are settled: all, except the streamed updates not
  // written yet of a run still going, which may still come.
  std::size_t HeldVolts(int output, std::int64_t first, std::size_t count, double* volts) const;

 private:
  friend class SimulatedOutputs;

  // Under mutex_:
  std::int64_t UpdateAt(double clockSeconds) const;
  // Whether a streamed run has run out of values by `clockSeconds`; stops it
  // at 0 V from the first update missing when it has.
  bool Underran(double clockSeconds);

  mutable std::mutex mutex_;
  std::condition_variable startedOrStopped_;
  std::vector<int> channels_;
  double rate_ = 0;
  OutputMode mode_ = OutputMode::kFinite;
  std::deque<std::int16_t> codes_;  // update after update, one code per channel
  std::int64_t firstKept_ = 0;      // streamed: the update codes_ starts at
  std::int64_t written_ = 0;        // updates given so far
  std::int64_t stoppedAt_ = INT64_MAX;
  bool underran_ = false;
  std::atomic<std::uint64_t> stops_ = 0;
  std::size_t capacity_ = 0;  // streamed: updates written ahead at most
  bool started_ = false;
  double startClock_ = 0;  // clock seconds of update 0
};

// The simulated board's two analog outputs: 12 bits, ±10 V, up to 1 000 000
// updates a second each, each a zero-order hold at its update rate.
class SimulatedOutputs {
 public:
  static constexpr int kOutputCount = 2;
  static constexpr int kResolutionBits = 12;
  static constexpr double kFullScaleVolts = 10.0;
  static constexpr double kMaxUpdateRate = 1'000'000.0;
  static constexpr std::size_t kMinStreamBufferUpdates = 65536;

  explicit SimulatedOutputs(StreamClock& clock) : clock_(clock) {}

  std::vector<OutputDescription> Describe() const;
  DaqStatus Start(const OutputRequest& request);
  DaqStatus Write(std::span<const double> volts);
  // Ends the run, its outputs at 0 V from now on: kOutputUnderrunError when
  // it had run out of values before.
  DaqStatus Stop();

  // At an input acquisition's start, `nowClock` on the shared clock: starts
  // a run waiting for it, and gives the run the inputs read back (none when
  // no run exists) with the output's time at the acquisition's time 0.
  std::shared_ptr<const SimulatedOutputRun> ForInputStart(double nowClock, double* outputSeconds);

  // The code an output holds for `volts` (rounded, clamped to the range).
  static std::int16_t Code(double volts);
  static double Volts(std::int16_t code);

 private:
  StreamClock& clock_;
  std::mutex mutex_;
  std::shared_ptr<SimulatedOutputRun> run_;
};

// An input wired to an output: directly, or through the board's test
// circuit, a second-order low-pass (f0 = 1 kHz, Q = 2) whose response to the
// held output is computed exactly, event by event, from rest at the output's
// start. Samples come in order, at outputStart + k * dt output seconds.
class LoopbackInput {
 public:
  static constexpr double kCircuitHz = 1000.0;
  static constexpr double kCircuitQ = 2.0;

  LoopbackInput(std::shared_ptr<const SimulatedOutputRun> run, int output, bool throughCircuit,
                double firstSeconds, double dtSeconds);

  // volts[k] for samples first .. first + len - 1; `first` never goes back.
  void Fill(std::uint64_t first, int len, double* volts);

 private:
  struct State {
    double y = 0;
    double dy = 0;
  };
  // The state after `seconds` more with the input held at `u`.
  State Advance(State x, double u, double seconds) const;
  State Advance(State x, double u, double c, double s) const;
  std::int64_t UpdateAt(double seconds) const;
  // What the output holds at `update`, fetched from the run a chunk at a time.
  double Held(std::int64_t update);
  static constexpr std::size_t kHeldChunk = 4096;

  std::shared_ptr<const SimulatedOutputRun> run_;
  int output_;
  bool throughCircuit_;
  double first_;
  double dt_;
  State state_;
  std::int64_t stateUpdate_ = 0;  // the state is at this update's instant
  double sigma_ = 0;              // decay rate of the circuit (negative)
  double omegaD_ = 0;             // its ringing, radians per second
  double omega0_ = 0;
  // e^{A/rate}: one whole update, the step taken most often.
  double stepC_ = 0;
  double stepS_ = 0;
  std::vector<double> held_;  // updates heldFrom_ on
  std::int64_t heldFrom_ = 0;
  std::uint64_t heldStops_ = 0;  // the run's stops when held_ was fetched
};

}  // namespace tavril
