#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "display/graph_scale.h"
#include "model/channel_record.h"

namespace tavril {

class ShownRecording;

// What the graph adds to the classic picture, each off by default: with all
// three off it draws exactly as it always has.
struct GraphOptions {
  bool axes = false;     // time and volt graduations with their units
  bool grid = false;     // lines across the graph at the graduations
  bool colours = false;  // a colour per channel and a legend
  bool operator==(const GraphOptions&) const = default;
};

// How the records are shown: the graph's scale, the two cursors, which
// channels the graph draws and with what, the scales the zooms left, newest
// last, for "back", and the sample a continuous acquisition triggered on.
struct ViewState {
  GraphScale scale{};
  GraphCursors cursors{};
  std::array<bool, kChannelCount> channelShown{true, true, true, true, true, true, true, true};
  GraphOptions options{};
  std::vector<GraphScale> zoomHistory;
  std::optional<std::int64_t> triggerMark;  // a sample index of the records shown
  // While a live roll fills: the samples its window will hold.
  std::optional<std::uint32_t> rollWindow;
  // The recording the graph shows in place of the records; none for the
  // records. The scale, cursors and zoom steps are then the recording's, the
  // records' waiting in recordsView until they are shown again.
  std::shared_ptr<ShownRecording> recording;
  struct RecordsView {
    GraphScale scale;
    GraphCursors cursors;
    std::vector<GraphScale> zoomHistory;
    std::optional<std::int64_t> triggerMark;
  };
  std::optional<RecordsView> recordsView;
};

}  // namespace tavril
