#pragma once

#include <QWidget>

#include <cstdint>

#include "display/graph_scale.h"
#include "display/view_state.h"
#include "model/session.h"
#include "ui/display/graph_painter.h"

class QRubberBand;
class QScrollBar;

namespace tavril {

// The graph: every shown channel that holds samples, the 0 V axis, the left
// axis, the two measuring cursors with their band, and the horizontal scroll
// bar. It reads the session's records and master channel and the view's
// scale and channel switches; it writes the view's cursors and scroll offset
// (and, at creation, the 0 V line).
//
// It follows no signal itself: its owner calls RefreshCurves() once the
// records, the master channel, the scale or the switches have changed (after
// refitting an automatic scale), and repaints the strip on
// CursorsOrScrollMoved().
//
// The drawing area is the widget less the scroll bar along its bottom; its
// "right edge" is its width, one column past the last visible one, as the
// cursor clamps and the automatic scale count it. Creation puts the 0 V line
// at half the drawing height, cursor 1 at 0 and cursor 2 at the right edge;
// the constructor does so with the size it has, and the first show does it
// again with the size the layout gave, for whichever of the two nothing else
// has changed in between.
class GraphWidget : public QWidget {
  Q_OBJECT

 public:
  GraphWidget(const Session& session, ViewState& view, QWidget* parent = nullptr);
  ~GraphWidget() override;

  // The drawing area's size in pixels (the client rectangle without the
  // border and the scroll bar), as the automatic scale needs it.
  ClientSize DrawingArea() const;

  // The records, the scale or the channel switches changed: redraw.
  void RefreshCurves();

  // What pictures of the graph are drawn from: the records, the view, the
  // drawing objects and the curve cache, whose pyramids an image export
  // reuses rather than building its own.
  const Session& session() const { return session_; }
  const ViewState& view() const { return view_; }
  const GraphPens& pens() const { return pens_; }
  CurveLayer& curveCache() const { return curves_; }

  // The largest count - 1 of any record drawn so far (1 at start); it only grows.
  std::uint32_t ScrollMax() const { return scrollMax_; }

 signals:
  // A cursor moved or the graph scrolled: the information strip must repaint.
  void CursorsOrScrollMoved();
  // The mouse zoomed: the view's scale changed to manual with new values
  // (and the cursors moved with their samples). The owner refreshes the
  // graph and the panels, as after a change of the scale's settings.
  void ScaleZoomed();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ApplyCreationState();
  void OnScrollAction(int action);
  // A recording scrolls by its view: a tenth of it per line, all of it per
  // page, the bar counting in units that keep its range within an int.
  struct RecordingScroll {
    std::uint64_t last = 0;  // the furthest scroll, the longest channel's last sample
    std::uint64_t unit = 1;  // samples per unit of the bar
    std::uint64_t page = 1;  // samples across the drawing area
  };
  RecordingScroll ScrollOfRecording() const;
  // Where a scroll bar action would take the view: a line or a page either
  // way, the thumb's place in units of samples, or `otherwise`.
  struct ScrollSteps {
    std::int64_t line = 0;
    std::int64_t page = 0;
    std::int64_t unit = 1;
    std::int64_t otherwise = 0;
  };
  std::int64_t ProposedScroll(int action, const ScrollSteps& steps) const;
  // Puts the bar's range and thumb where the view's scroll is.
  void ShowScrollPosition();
  // Each whole notch (120 eighths of a degree) is one line step, as the bar's
  // arrows make; the wheel away from the user, or to the left, goes left.
  void ScrollByWheel(const QWheelEvent& event);
  // With Ctrl the wheel zooms time around the pointer, with Shift volts; one
  // notch away from the user zooms in by a quarter. False for a plain wheel.
  bool ZoomByWheel(const QWheelEvent& event);
  void FinishBoxZoom(QPoint end);
  void GrowScrollRange();
  void PlaceCursor1(std::uint16_t mouseX);
  void PlaceCursor2(std::uint16_t mouseX);
  void RepaintBoth();
  // Repaints what moving the cursors from `before` changed, and the strip.
  void RepaintCursorChange(const GraphCursors& before);
  int ScrollBarHeight() const;

  const Session& session_;
  ViewState& view_;
  QScrollBar* scrollBar_ = nullptr;
  GraphPens pens_;
  mutable CurveLayer curves_;  // a cache: drawing from it changes nothing shown
  // Right edge of the drawing area as last read (at creation, resize and
  // paint); the cursor clamps use it. The left edge is always 0.
  std::int32_t graphRight_ = 0;
  std::uint32_t scrollMax_ = 1;
  std::int32_t proposedScroll_ = 0;
  int wheelDelta_ = 0;  // what a fine-grained wheel turned short of a whole notch
  // The box a Ctrl+drag draws, from where the press was.
  QRubberBand* zoomBox_ = nullptr;
  QPoint zoomBoxStart_;
  bool shownOnce_ = false;
  bool showsRecording_ = false;       // the bar's range is a recording's
  bool paintedCursorsShown_ = false;  // cursorsShown as the last paint drew it
  // What construction set, so that the first show only moves what nobody
  // changed since.
  std::int32_t createdOriginY_ = 0;
  std::int32_t createdCursor2X_ = 0;
};

}  // namespace tavril
