#pragma once

#include <cstdint>

#include "display/graph_scale.h"
#include "display/view_state.h"
#include "model/session.h"

namespace tavril {

// Zooms change the view's manual scale and scroll position, as the display
// panel would: each switches the scale to manual, remembers the scale it
// left for ZoomBack, and moves the cursors with their samples (a cursor
// designates the same sample after a zoom, wherever that puts it on the
// screen). The factors are bounded so that the scale stays finite and a
// record of any length fits in the width.

// Time: `factor` more pixels per sample, the sample under `pointerX` staying
// under it.
void ZoomTime(ViewState& view, double factor, std::int32_t pointerX);

// Volts: `factor` more pixels per volt, the value at `pointerY` staying there.
void ZoomVolts(ViewState& view, double factor, std::int32_t pointerY);

// The box from (left, top) to (right, bottom), in pixels, fills the area.
// A box narrower or lower than 2 pixels changes nothing and returns false.
struct PixelBox {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;
};
bool ZoomToBox(ViewState& view, PixelBox box, ClientSize area);

// Every shown record that holds samples (or every shown channel of the
// recording shown in their place), whole, across the width, and the range of
// all of them in the height with 20 pixels above and below.
// Returns false when no shown record holds samples.
bool FitAllShown(ViewState& view, const Session& session, ClientSize area);
// The same fit of `scale` alone, for a scale kept automatic: nothing else of
// the view changes.
bool FitShownScale(GraphScale& scale, const ViewState& view, const Session& session,
                   ClientSize area);

// Goes back to the scale the last zoom left; false when there is none.
bool ZoomBack(ViewState& view);

}  // namespace tavril
