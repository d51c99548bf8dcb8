#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "acquisition/board.h"
#include "acquisition/simulated_outputs.h"
#include "acquisition/stream_clock.h"

namespace tavril {

// A 12-bit multifunction board with 16 analog inputs, each carrying its own
// deterministic test signal, for working without hardware. A finite
// acquisition is ready at once (the board never sleeps through the
// acquisition time); a stream (scans 0) is paced by the board's clock, its
// buffer holding one second of readings (at least kMinStreamBufferReadings).
// It refuses what a real board of its kind refuses, with the matching status.
//
// Its two analog outputs (SimulatedOutputs) are wired back to its inputs for
// an acquisition started while an output run exists: input 5 reads output 0,
// input 6 reads output 1, and input 7 reads output 1 through the board's test
// circuit (LoopbackInput). Acquisitions started with no output run read the
// inputs' own signals. A finite output holds 0 V after its last value; an
// acquisition keeps reading its run after StopOutput, at 0 V from the stop.
class SimulatedBoard : public Board {
 public:
  static constexpr int kChannelCount = 16;
  static constexpr double kMaxConversionRate = 1'250'000.0;  // conversions per second
  static constexpr double kSecondsPerTick = 0.055;
  static constexpr std::uint64_t kMinStreamBufferReadings = 65536;

  // Streams run by `clock`, which must outlive the board.
  explicit SimulatedBoard(StreamClock& clock = SteadyClock());
  ~SimulatedBoard() override;

  DaqStatus Configure(const InputSettings& settings) override;
  DaqStatus SetTimeout(std::int32_t ticks) override;
  DaqStatus Start(const AcquisitionRequest& request) override;
  ReadResult Read(std::span<BoardReading> readings) override;
  // A stream stopped keeps what its buffer held for the reads that follow.
  void Stop() override;
  double RateUsed() const override;
  // A rate refused by the last Start() with the board's limit.
  std::string StatusMessage(DaqStatus status) const override;
  DaqStatus ScaleFor(int channel, std::int16_t gain, VoltScale& scale) override;

  std::vector<OutputDescription> Outputs() const override;
  DaqStatus StartOutput(const OutputRequest& request) override;
  DaqStatus WriteOutput(std::span<const double> volts) override;
  DaqStatus StopOutput() override;
  DaqStatus ZeroOutputs() override;

  // The signal of `chan` at `seconds` after the start of an acquisition, in
  // volts, before the converter (no range limit, no quantisation); 0 for a
  // channel the board does not have. Acquisitions read these values.
  static double SignalVolts(int chan, double seconds);

 private:
  struct Run;

  static constexpr int kFirstLoopbackInput = 5;  // 5 and 6 read outputs 0 and 1
  static constexpr int kLastLoopbackInput = 7;   // output 1 through the test circuit

  // The volts of scan position `position` for scans scan .. scan + len - 1.
  static void FillSignal(Run& run, std::size_t position, std::uint64_t scan, int len,
                         double* volts);

  // Whether an acquisition lasting `seconds` outlasts the configured time-out.
  bool TimesOut(double seconds) const;

  StreamClock& clock_;
  std::int32_t timeoutTicks_ = -1;
  InputSettings settings_;
  SimulatedOutputs outputs_;
  std::unique_ptr<Run> run_;  // the acquisition started, if any
  std::string refusal_;       // why the last Start() refused a rate
  // A Stop() from another thread waits for the Read it would cut short.
  mutable std::mutex mutex_;
};

}  // namespace tavril
