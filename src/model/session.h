#pragma once

#include "model/board_config.h"
#include "model/channel_record.h"
#include "model/spare_samples.h"

namespace tavril {

// The session's data: the eight records, the channel the strip describes, the
// board configuration in force, and the memory kept aside for the records.
struct Session {
  ChannelTable channels{};
  int masterChannel = 0;
  BoardConfig boardConfig{};
  SpareSamples spare;

  ChannelRecord& Master() { return channels[masterChannel]; }
  const ChannelRecord& Master() const { return channels[masterChannel]; }
};

}  // namespace tavril
