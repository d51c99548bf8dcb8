#include "recording_sink.h"

#include <algorithm>
#include <cmath>

namespace tavril::cli {

RecordingSink::RecordingSink(Hdf5Recording& recording, double seconds)
    : recording_(recording), seconds_(seconds) {}

bool RecordingSink::Started(double rate, std::string* why) {
  if (!recording_.Started(rate, why)) return false;
  if (seconds_ > 0.0) limit_ = static_cast<std::uint64_t>(std::llround(seconds_ * rate));
  rate_.store(rate, std::memory_order_relaxed);
  return true;
}

bool RecordingSink::Append(const SampleBlock& block, std::string* why) {
  const std::uint64_t recorded = Samples();
  const std::span<const std::span<const double>> channels = block.volts;
  const std::size_t length = block.Scans();
  const std::size_t take =
      static_cast<std::size_t>(std::min<std::uint64_t>(length, limit_ - recorded));
  if (take == 0) return true;
  kept_.resize(channels.size());
  for (std::size_t j = 0; j < channels.size(); ++j) kept_[j] = channels[j].first(take);
  if (!recording_.Append(kept_, why)) return false;
  samples_.store(recorded + take, std::memory_order_relaxed);
  bytes_.store(recording_.BytesOnDisk(), std::memory_order_relaxed);
  if (recorded + take == limit_) done_.store(true, std::memory_order_relaxed);
  return true;
}

bool RecordingSink::Flush(std::string* why) {
  const bool flushed = recording_.Flush(why);
  bytes_.store(recording_.BytesOnDisk(), std::memory_order_relaxed);
  return flushed;
}

}  // namespace tavril::cli
