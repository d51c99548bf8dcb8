#pragma once

#include <array>

#include "display/graph_scale.h"
#include "model/channel_record.h"

namespace tavril {

// How the records are shown: the graph's scale, the two cursors and which
// channels the graph draws.
struct ViewState {
  GraphScale scale{};
  GraphCursors cursors{};
  std::array<bool, kChannelCount> channelShown{true, true, true, true, true, true, true, true};
};

}  // namespace tavril
