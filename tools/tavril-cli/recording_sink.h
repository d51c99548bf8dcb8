#pragma once

#include <atomic>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "files/hdf5_recording.h"
#include "model/sample_sink.h"

namespace tavril::cli {

// Hands a run's samples to its recording, and tells the command's thread how
// far the recording got: the recording itself belongs to the run's thread.
// With a duration, it keeps exactly that duration's samples at the rate the
// board really runs at, and then lets the rest go by.
class RecordingSink final : public SampleSink {
 public:
  // `seconds` 0: no end.
  RecordingSink(Hdf5Recording& recording, double seconds);

  bool Append(const SampleBlock& block, std::string* why) override;
  bool Flush(std::string* why) override;
  bool Started(double rate, std::string* why) override;
  std::uint64_t SamplesPerChannel() const override { return recording_.SamplesPerChannel(); }
  std::uint64_t BytesOnDisk() const override { return recording_.BytesOnDisk(); }

  // For any thread.
  std::uint64_t Samples() const { return samples_.load(std::memory_order_relaxed); }
  std::uint64_t Bytes() const { return bytes_.load(std::memory_order_relaxed); }
  double Rate() const { return rate_.load(std::memory_order_relaxed); }  // 0 until known
  bool Done() const { return done_.load(std::memory_order_relaxed); }

 private:
  Hdf5Recording& recording_;
  double seconds_;
  std::uint64_t limit_ = UINT64_MAX;
  std::vector<std::span<const double>> kept_;  // the part of a block within the duration
  std::atomic<std::uint64_t> samples_{0};
  std::atomic<std::uint64_t> bytes_{0};
  std::atomic<double> rate_{0.0};
  std::atomic<bool> done_{false};
};

}  // namespace tavril::cli
