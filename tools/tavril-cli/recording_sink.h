#pragma once

#include <atomic>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "acquisition/board.h"
#include "files/hdf5_recording.h"
#include "model/sample_sink.h"

namespace tavril::cli {

// Hands a run's samples to its recording, and tells the command's thread how
// far the recording got: the recording itself belongs to the run's thread.
// On the first samples it asks the board, on that same thread, which rate it
// really runs at, and gives the recording that rate when it differs from the
// one asked. With a duration, it keeps exactly that duration's samples and
// then lets the rest go by.
class RecordingSink final : public SampleSink {
 public:
  // `seconds` 0: no end.
  RecordingSink(Hdf5Recording& recording, const Board& board, double rateAsked, double seconds);

  bool Append(std::span<const std::span<const double>> channels, std::string* why) override;
  bool Flush(std::string* why) override;
  // The rate is learnt from the board at the first samples (see LearnRate).
  bool SetRate(double rate, std::string* why) override { return recording_.SetRate(rate, why); }
  std::uint64_t SamplesPerChannel() const override { return recording_.SamplesPerChannel(); }
  std::uint64_t BytesOnDisk() const override { return recording_.BytesOnDisk(); }

  // For any thread.
  std::uint64_t Samples() const { return samples_.load(std::memory_order_relaxed); }
  std::uint64_t Bytes() const { return bytes_.load(std::memory_order_relaxed); }
  double Rate() const { return rate_.load(std::memory_order_relaxed); }  // 0 until known
  bool Done() const { return done_.load(std::memory_order_relaxed); }

 private:
  bool LearnRate(std::string* why);

  Hdf5Recording& recording_;
  const Board& board_;
  double rateAsked_;
  double seconds_;
  std::uint64_t limit_ = UINT64_MAX;
  std::vector<std::span<const double>> kept_;  // the part of a block within the duration
  std::atomic<std::uint64_t> samples_{0};
  std::atomic<std::uint64_t> bytes_{0};
  std::atomic<double> rate_{0.0};
  std::atomic<bool> done_{false};
};

}  // namespace tavril::cli
