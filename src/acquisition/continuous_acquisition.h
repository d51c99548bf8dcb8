#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/acquisition_engine.h"
#include "acquisition/board.h"
#include "acquisition/continuous_trigger.h"
#include "acquisition/sample_ring.h"
#include "acquisition/stream_clock.h"
#include "acquisition/volt_conversion.h"
#include "model/sample_sink.h"

namespace tavril {

// Why a continuous acquisition ended.
enum class ContinuousEnd {
  kStoppedByUser,  // or by the run itself: a single shot's sweep, the duration asked
  kBoardError,     // a call to the board failed (an overrun included)
  kBoardEnded,     // the board stopped handing out readings without an error
  kSinkError,      // the sink could not keep the samples
};

struct ContinuousOutcome {
  ContinuousEnd end = ContinuousEnd::kStoppedByUser;
  DaqStatus status = kDaqNoError;  // the board's, on kBoardError
  // In French: the board's message or the sink's why; empty when the user
  // stopped the run.
  std::string message;
  std::uint64_t samplesRead = 0;      // per channel
  std::uint64_t samplesRecorded = 0;  // per channel, as the sink counts them; 0 without sink
};

struct ContinuousSettings {
  // Channels, gain, rates, time-out and conversion; its scan count is
  // ignored, as the run streams until it stops.
  AcquisitionPlan plan;
  std::uint32_t window = 0;  // samples per channel shown
  TriggerSettings trigger;
  SampleSink* sink = nullptr;  // receives every sample when given
  // The run ends by itself once it has read this long of scans at the rate
  // the board really runs at, no more; 0: until stopped.
  double seconds = 0.0;
};

// What the display shows, as of one moment of the run.
struct ContinuousSnapshot {
  // Per channel in the plan's scan order: the newest window (roll mode, fewer
  // samples at the start) or the last completed sweep (none before the first).
  std::vector<std::vector<double>> channels;
  std::uint64_t first = 0;                   // the index in the run of the channels' first sample
  std::optional<std::uint32_t> trigger;      // the trigger sample's index in the sweep
  std::optional<TriggerState> triggerState;  // none without trigger
  std::uint64_t sweeps = 0;                  // completed so far: a new number is a new sweep
  std::uint64_t samplesRead = 0;             // per channel
  // As the sink counts them (0 without sink): the samples per channel it
  // keeps and the bytes they take on disk.
  std::uint64_t samplesRecorded = 0;
  std::uint64_t bytesRecorded = 0;
  double elapsedSeconds = 0.0;
  // Scans per second the board really runs at, once started (0 before);
  // a board's clock may round the rate asked.
  double rateUsed = 0.0;
  // When the board started: the time of the run's first sample.
  std::optional<std::chrono::system_clock::time_point> boardStarted;
  bool running = false;
  std::optional<ContinuousOutcome> outcome;  // once the run has ended
};

// Reads a board without end on a thread of its own, in blocks of about 10 ms,
// converts to volts, keeps the newest window of every channel, finds the
// trigger's sweeps and hands every sample to the sink. A single shot ends the
// run with its sweep. Memory is taken when a run starts and kept for the
// next: it does not grow with a run's length.
//
// Start, Stop and Wait belong to one controlling thread; TakeSnapshot may be
// called from any thread at any time. The board is the run's alone until it
// has ended.
class ContinuousAcquisition {
 public:
  // The run's time (its duration, the sink's flushes once a second) is
  // `clock`'s, asked from the run's thread and TakeSnapshot's.
  explicit ContinuousAcquisition(StreamClock& clock = SteadyClock()) : clock_(clock) {}
  ContinuousAcquisition(const ContinuousAcquisition&) = delete;
  ContinuousAcquisition& operator=(const ContinuousAcquisition&) = delete;
  ~ContinuousAcquisition();  // stops a run still going

  // Starts a run; false when one is going, the plan has no channel or no
  // rate, the window is empty or the trigger's source is not a channel of
  // the plan. The board's own failures end the run (see the outcome).
  bool Start(Board& board, const ContinuousSettings& settings);

  // Ends the run (when it still goes) and waits for its thread; within about
  // one block's time, or the board's time-out.
  void Stop();

  // Waits for the run to end by itself (a board or sink failure).
  void Wait();

  // Asks for one sweep of the newest samples without waiting for the
  // trigger (see SweepFinder::Force), within a block's time; for any thread.
  void ForceSweep() { forceRequested_.store(true, std::memory_order_relaxed); }

  // The channels of one snapshot come from the same scans.
  void TakeSnapshot(ContinuousSnapshot& snapshot) const;

 private:
  struct StoredSweep {
    Sweep sweep;
    bool saved = false;  // copied to sweeps_ before the rings overwrote it
  };

  void Run();
  // True when the block completed a single shot's sweep.
  bool ProcessBlock(std::size_t scans, SweepFinder& finder);
  // Hands the block to the sink; false, with the sink's why, when it failed.
  bool Record(std::size_t scans, double& lastFlush, std::string& why);
  // Notes how far the sink got, for the snapshots.
  void NoteSink();
  void End(ContinuousEnd end, DaqStatus status, std::string message);
  // False when the run overtook the copy: the samples shown were overwritten.
  bool TryTakeSnapshot(ContinuousSnapshot& snapshot, std::size_t piece) const;

  StreamClock& clock_;
  Board* board_ = nullptr;
  ContinuousSettings settings_;
  std::size_t channels_ = 0;
  std::size_t blockScans_ = 0;
  double scansPerSecond_ = 0.0;
  std::atomic<double> rateUsed_{0.0};
  std::thread thread_;
  std::atomic<bool> stopRequested_{false};
  std::atomic<bool> forceRequested_{false};
  std::atomic<std::uint64_t> samplesRecorded_{0};
  std::atomic<std::uint64_t> bytesRecorded_{0};

  // Only the run's thread touches these while it goes.
  std::vector<BoardReading> readings_;
  std::vector<std::vector<double>> block_;
  std::vector<std::span<double>> blockColumns_;
  std::vector<std::span<const double>> sinkColumns_;
  ReadingConversion conversion_;
  std::optional<VoltConverter> convert_;

  // Shared with TakeSnapshot, under mutex_.
  mutable std::mutex mutex_;
  std::vector<SampleRing> rings_;
  std::vector<std::vector<double>> sweeps_;
  std::optional<StoredSweep> lastSweep_;
  std::uint64_t sweepCount_ = 0;
  std::optional<TriggerState> triggerState_;
  bool running_ = false;
  double started_ = 0.0;  // the clock's seconds
  double ended_ = 0.0;
  std::optional<std::chrono::system_clock::time_point> boardStarted_;
  std::optional<ContinuousOutcome> outcome_;
};

}  // namespace tavril
