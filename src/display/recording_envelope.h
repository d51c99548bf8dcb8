#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "files/recording_reader.h"
#include "model/recording_overview.h"

namespace tavril {

// The exact extents of the pixel columns of one recorded channel: what the
// graph draws of a recording too long to hold. Column i spans samples
// [bounds[i], bounds[i + 1]); its extent is the smallest and largest volts of
// exactly those samples, as a scan of them would find.
class RecordingEnvelope {
 public:
  RecordingEnvelope(RecordingReader& reader, std::size_t channel);

  // Fills out[i] for the columns between ascending `bounds` (out.size() + 1
  // of them, the last at most the channel's count); false, with the reason
  // in LastFailure(), when the file cannot be read.
  bool Extents(std::span<const std::uint64_t> bounds, std::span<ValueExtent> out);
  const std::string& LastFailure() const { return failure_; }

 private:
  RecordingReader& reader_;
  std::size_t channel_;
  std::string failure_;
};

}  // namespace tavril
