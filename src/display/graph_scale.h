#pragma once

#include <cstdint>

#include "model/channel_record.h"

namespace tavril {

// The one mapping between samples (index, volts) and graph client pixels,
// shared by every curve.
struct GraphScale {
  double pixelsPerSample = 0.5905907;
  double pixelsPerVolt = 100.0;
  std::int32_t originY = 150;  // client y of the 0 V line
  // Sample drawn at x = 0, never below 0 (a live roll aside); records keep it
  // within 32 bits, a recording of any length needs 64.
  std::int64_t scrollOffset = 0;
  bool autoScale = false;  // "Automatique" rather than "Manuel"
  // Master samples per sample of the record drawn: 1 for the master and
  // whenever records are drawn by sample number; the master's rate over the
  // record's when a record of another rate is drawn at its own times.
  double sampleStretch = 1.0;
};

// Which cursor follows the mouse while a button is held.
enum class CursorDrag { kNone, kCursor1, kCursor2 };

struct GraphCursors {
  std::int32_t cursor1X = 0;
  std::int32_t cursor2X = 0;
  bool cursorsShown = false;  // from the first press in the graph on
  CursorDrag drag = CursorDrag::kNone;
};

struct ClientSize {
  std::int32_t width = 0;
  std::int32_t height = 0;
};

struct PixelPoint {
  std::int32_t x = 0;
  std::int32_t y = 0;
  bool operator==(const PixelPoint&) const = default;
};

// Fits the scale to `master` in a client area of `client` pixels: the whole
// record across the width, its range in the height less 20 pixels above and
// below, scroll back to sample 0. Does nothing at all when the record holds no
// samples. A fitted factor that would not be finite and positive (a single
// sample, a flat record, NaN or infinite statistics, a too small client area)
// keeps its previous value, so the scale always stays finite; originY is then
// placed with the kept pixelsPerVolt.
void ComputeAutoScale(GraphScale& scale, const ChannelRecord& master, ClientSize client);

// The automatic scale of a live roll that will show `window` samples: until
// the master holds that many, the width spans `window` samples and the
// master's last sample sits at the right edge, so new samples enter at the
// right and the time scale holds still; the scroll offset is then negative.
void ComputeRollScale(GraphScale& scale, const ChannelRecord& master, ClientSize client,
                      std::uint32_t window);

// The scale that draws a record of `recordRate` at its own times on the time
// axis of a master of `masterRate`: its sample i where the master's sample
// i x masterRate / recordRate is. `scale` itself when either rate is not
// finite and positive (the record is then drawn by sample number) or both
// are the same.
GraphScale ScaleAtOwnRate(const GraphScale& scale, double masterRate, double recordRate);

// Every float-to-integer step truncates toward zero. A result that is NaN maps
// to 0 and one beyond the 32-bit range saturates at its bound.
PixelPoint SampleToPixel(const GraphScale& scale, double sampleIndex, double volts);
std::int32_t PixelToSample(const GraphScale& scale, std::int32_t x);
// The same for a recording, whose samples go past 32 bits: saturates at the
// 64-bit bounds instead.
std::int64_t PixelToSample64(const GraphScale& scale, std::int32_t x);

// Truncation toward zero into 32 bits without undefined behaviour: NaN gives 0,
// values beyond the range saturate.
std::int32_t TruncateToInt32(double value);
std::int64_t TruncateToInt64(double value);

}  // namespace tavril
