#include "display/recording_envelope.h"

namespace tavril {

RecordingEnvelope::RecordingEnvelope(RecordingReader& reader, std::size_t channel)
    : reader_(reader), channel_(channel) {}

bool RecordingEnvelope::Extents(std::span<const std::uint64_t> bounds,
                                std::span<ValueExtent> out) {
  OverviewSource& source = reader_.Source(channel_);
  for (std::size_t i = 0; i < out.size(); ++i) {
    OverviewStatistics statistics;
    if (!OverviewRange(source, bounds[i], bounds[i + 1], statistics)) {
      failure_ = reader_.LastFailure();
      return false;
    }
    out[i] = ValueExtent{statistics.minimum, statistics.maximum};
  }
  return true;
}

}  // namespace tavril
