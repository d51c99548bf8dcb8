#pragma once

#include <QBrush>
#include <QImage>
#include <QLine>
#include <QPen>
#include <QRect>
#include <QSize>

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "display/channel_colours.h"
#include "display/curve_raster.h"
#include "display/graph_scale.h"
#include "display/sample_pyramid.h"
#include "display/view_state.h"
#include "model/session.h"

class QPainter;

namespace tavril {

inline constexpr QRgb kGraphBackground = 0xFFC8FFFF;  // RGB(200, 255, 255)
// The background under colours, on which they were chosen to stand apart.
inline constexpr QRgb kColourGraphBackground = 0xFFFFFFFF;
inline constexpr QRgb kColourBandFill = 0xFFE1E6FF;

// The graph's five drawing objects, and a pen per channel for the colours
// option. The curve pens draw one-pixel lines without antialiasing, which is
// what keeps the fast curve drawing exact.
struct GraphPens {
  QPen masterPen{QBrush(QColor(0, 0, 255)), 1};
  QPen otherPen{QBrush(QColor(81, 152, 183)), 0};
  QPen axisPen{QBrush(QColor(200, 200, 200)), 1};
  QPen cursorPen{QBrush(QColor(0, 0, 0)), 0};
  QBrush bandBrush{QColor(150, 150, 255)};
  std::array<QPen, kChannelCount> channelPens = ChannelPens();

 private:
  static std::array<QPen, kChannelCount> ChannelPens();
};

// A record is drawn when it holds samples and its channel is switched on.
bool IsChannelDrawn(const Session& session, const ViewState& view, int channel);

// The rate and title of what the graph shows of a channel: its record's, or
// the recording's channel of that slot (0 and empty where there is none).
double ShownRate(const Session& session, const ViewState& view, int channel);
std::string ShownTitle(const Session& session, const ViewState& view, int channel);

// The pen of a channel's curve: the master's and the others' in the classic
// picture, the channel's own colour with the colours option.
const QPen& CurvePen(const GraphPens& pens, const Session& session, const ViewState& view,
                     int channel);

// The scale a channel's curve is drawn with: with the axes option, a record
// of another rate than the master's at its own times on the master's time
// axis; otherwise (and for records without a usable rate) by sample number,
// as the classic picture does.
GraphScale CurveScale(const Session& session, const ViewState& view, int channel);

// The drawn channels in the order their curves are drawn: 0 to 7, except
// that with colours the master comes last, on top of the others.
std::vector<int> CurveDrawOrder(const Session& session, const ViewState& view);

// Everything under the curves, in a drawing area of `area` pixels: the
// background, the band and the cursor lines once the cursors are shown, the
// 0 V axis with its arrow head and the left axis. Lines end one pixel short
// of their far point, as the window system this graph was designed on draws
// them, so the arrow strokes are four pixels long.
void PaintGraphBackdrop(QPainter& painter, const GraphPens& pens, const GraphScale& scale,
                        const GraphCursors& cursors, QSize area);

// The same backdrop as data, in drawing order: fills of whole pixels, then
// one-pixel lines that light both end pixels. The screen and the vector
// export draw from it.
struct BackdropFill {
  QRect rect;
  QBrush brush;
};
struct BackdropLine {
  QLine line;
  QPen pen;
};
struct GraphBackdrop {
  std::vector<BackdropFill> fills;
  std::vector<BackdropLine> lines;
};
GraphBackdrop DescribeGraphBackdrop(const GraphPens& pens, const GraphScale& scale,
                                    const GraphCursors& cursors, QSize area);

// Draws into `image` (ARGB32 premultiplied) the pixels QPainter's aliased
// one-pixel line from `from` to `to` lights, for the short lines between
// neighbouring columns the curves are mostly made of; false, drawing
// nothing, for any other line (longer, wider, or not wholly inside).
bool LightShortLine(QImage& image, PixelPoint from, PixelPoint to, QRgb colour);

// The backdrop of the view: on white under the colours option.
GraphBackdrop DescribeViewBackdrop(const GraphPens& pens, const ViewState& view, QSize area);

// The curve as the graph defines it: one independent line per pair of
// neighbouring samples (and a zero-length one at sample 0), every sample
// converted on every call. Slow on long records; the fast drawing below must
// light exactly the same pixels.
void DrawCurveSegmentBySegment(QPainter& painter, const QPen& pen, const GraphScale& scale,
                               std::span<const double> samples);

// Every drawn channel, 0 to 7, the master with masterPen, segment by segment.
void DrawCurvesSegmentBySegment(QPainter& painter, const GraphPens& pens, const Session& session,
                                const ViewState& view);

// The drawn channels' curves on a transparent image, drawn column by column
// from min/max pyramids of the records, so that a redraw costs time in
// proportion to the width, not to the records' length. Vertical runs are
// written into the pixels directly (the pixels a vertical one-pixel line
// lights), the remaining lines go through QPainter. The image is kept
// until the records, the scale, the area, the master channel or the channel
// switches change, or until Invalidate(); a record's pyramid is rebuilt only
// when the record's samples changed. Composed with SourceOver over the
// backdrop, it gives the pixels of the backdrop with DrawCurvesSegmentBySegment
// on top.
class CurveLayer {
 public:
  const QImage& Render(const Session& session, const ViewState& view, const GraphPens& pens,
                       QSize area);
  void Invalidate() { valid_ = false; }

  // What Render draws for `channel` in an area of `area` pixels: its runs
  // and lines over the visible columns and a margin either side, from the
  // cached pyramid. Valid until the next call.
  const CurveStrokes& Strokes(const Session& session, const ViewState& view, int channel,
                              QSize area);

  // Number of pyramid builds so far, for tests of the cache.
  std::uint64_t pyramidBuilds() const { return pyramidBuilds_; }

 private:
  struct ImageKey {
    std::uint64_t pixelsPerSampleBits = 0;
    std::uint64_t pixelsPerVoltBits = 0;
    std::int32_t originY = 0;
    std::int64_t scrollOffset = 0;
    int width = 0;
    int height = 0;
    int masterChannel = 0;
    bool colours = false;
    std::array<std::uint64_t, kChannelCount> stretchBits{};
    std::array<bool, kChannelCount> drawn{};
    std::array<std::uint64_t, kChannelCount> revisions{};  // of the records drawn
    const void* recording = nullptr;                       // the recording drawn instead, if any
    std::uint64_t recordingRevision = 0;
    bool operator==(const ImageKey&) const = default;
  };
  struct CachedPyramid {
    std::uint64_t revision = 0;  // of the samples it was built from; 0 for none
    SamplePyramid pyramid;
  };

  const SamplePyramid& PyramidFor(int channel, const ChannelRecord& record);

  std::array<CachedPyramid, kChannelCount> pyramids_{};
  QImage image_;
  ImageKey drawnKey_{};
  bool valid_ = false;
  CurveStrokes strokes_;
  std::vector<QLine> lines_;
  std::vector<std::int32_t> tops_;
  std::vector<std::int32_t> bottoms_;
  std::uint64_t pyramidBuilds_ = 0;
};

// The whole drawing area as the graph shows it, clipped to `dirty`: the
// backdrop with the layer's curves on top, and what the view's options add
// (grid under the curves, graduations and legend over them).
void PaintGraphFrame(QPainter& painter, const GraphPens& pens, const Session& session,
                     const ViewState& view, QSize area, CurveLayer& curves, QRect dirty);

}  // namespace tavril
