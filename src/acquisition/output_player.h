#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>
#include <vector>

#include "acquisition/board.h"
#include "acquisition/wave_generator.h"

namespace tavril {

// One output's part in a player's run.
struct PlayedOutput {
  int channel = 0;
  WaveSettings wave;
};

// Plays waves on a board's analog outputs as one streamed run: a thread of
// its own computes the values block by block and writes them as the board
// makes room, so that noise never repeats, a sweep goes on where it is, and
// a run lasts as long as it is let. Start and Stop come from one thread; the
// rest from any.
class OutputPlayer {
 public:
  // Updates per block written; the first ones go with the start.
  static constexpr std::size_t kBlockUpdates = 8192;
  static constexpr std::size_t kFirstUpdates = 2 * kBlockUpdates;

  // `failed` is called once, from the player's thread, when the run ends by
  // itself (an underrun, a board's failure); the outputs are then at 0 V.
  explicit OutputPlayer(Board& board, std::function<void(DaqStatus)> failed = {});
  OutputPlayer(const OutputPlayer&) = delete;
  OutputPlayer& operator=(const OutputPlayer&) = delete;
  ~OutputPlayer();

  // Starts `outputs` updated `updateRate` times a second, replacing any run.
  // With `withInput` the run starts with the board's next input Start(), on
  // its clock.
  DaqStatus Start(const std::vector<PlayedOutput>& outputs, double updateRate, bool withInput);

  // Ends the run, its outputs at 0 V: how it went (the failure that ended
  // it before, if one did). Nothing when none runs.
  DaqStatus Stop();
  // From any thread, a signal's watcher for one: the outputs at 0 V at once,
  // no failure said. Stop() must still follow.
  void Halt();

  bool Running() const { return thread_.joinable(); }
  // The failure that ended the run while it went; 0 while it goes well.
  DaqStatus Failure() const { return failure_.load(); }
  // Updates handed to the board so far.
  std::uint64_t Written() const { return written_.load(std::memory_order_relaxed); }

 private:
  // The next `updates` values of every output, interleaved as the run takes them.
  void FillBlock(std::size_t updates);
  void Feed();

  Board& board_;
  std::function<void(DaqStatus)> failed_;
  std::vector<WaveGenerator> generators_;
  std::vector<double> block_;
  std::vector<double> column_;
  std::thread thread_;
  std::atomic<bool> stopping_ = false;
  std::atomic<DaqStatus> failure_ = kDaqNoError;
  std::atomic<std::uint64_t> written_ = 0;
};

}  // namespace tavril
