#include "ui/display/graph_widget.h"

#include <QMouseEvent>
#include <QPainter>
#include <QRubberBand>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <limits>

#include "display/graph_zoom.h"
#include "display/shown_recording.h"

namespace tavril {

namespace {

std::int32_t SaturateToInt32(std::int64_t value) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(
      value, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

// The mouse x as a 16-bit unsigned coordinate: a position left of the window,
// which arrives while the mouse is captured, reads as a large number.
std::uint16_t MouseX(const QMouseEvent* event) {
  const double x = std::floor(event->position().x());
  const std::int64_t whole = std::isfinite(x) ? static_cast<std::int64_t>(x) : 0;
  return static_cast<std::uint16_t>(static_cast<std::uint64_t>(whole));
}

}  // namespace

GraphWidget::GraphWidget(const Session& session, ViewState& view, QWidget* parent)
    : QWidget(parent),
      session_(session),
      view_(view),
      scrollBar_(new QScrollBar(Qt::Horizontal, this)) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setCursor(Qt::ArrowCursor);
  // The bar's range is the whole 32-bit sample offset, so that dragging the
  // thumb reaches every sample of long records.
  scrollBar_->setRange(0, static_cast<int>(scrollMax_));
  scrollBar_->setSingleStep(1);
  scrollBar_->setPageStep(1);
  connect(scrollBar_, &QScrollBar::actionTriggered, this, &GraphWidget::OnScrollAction);
  // The bar would step by its own single step (one sample) three at a time.
  scrollBar_->installEventFilter(this);
  scrollBar_->setGeometry(0, height() - ScrollBarHeight(), width(), ScrollBarHeight());
  ApplyCreationState();
}

GraphWidget::~GraphWidget() = default;

int GraphWidget::ScrollBarHeight() const {
  return scrollBar_->sizeHint().height();
}

ClientSize GraphWidget::DrawingArea() const {
  return ClientSize{width(), std::max(0, height() - ScrollBarHeight())};
}

void GraphWidget::ApplyCreationState() {
  const ClientSize area = DrawingArea();
  graphRight_ = area.width;
  view_.scale.originY = area.height / 2;
  view_.cursors.cursor1X = 0;
  view_.cursors.cursor2X = area.width;
  createdOriginY_ = view_.scale.originY;
  createdCursor2X_ = view_.cursors.cursor2X;
}

void GraphWidget::RefreshCurves() {
  curves_.Invalidate();
  update();
}

void GraphWidget::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!shownOnce_) {
    shownOnce_ = true;
    // The size is known now. What was set after construction (an automatic
    // fit, a cursor placed by hand) stays as it is.
    const ClientSize area = DrawingArea();
    graphRight_ = area.width;
    if (view_.scale.originY == createdOriginY_) view_.scale.originY = area.height / 2;
    const GraphCursors& cursors = view_.cursors;
    if (!cursors.cursorsShown && cursors.cursor1X == 0 && cursors.cursor2X == createdCursor2X_) {
      view_.cursors.cursor2X = area.width;
    }
    emit CursorsOrScrollMoved();
  }
}

void GraphWidget::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  const int barHeight = ScrollBarHeight();
  scrollBar_->setGeometry(0, std::max(0, height() - barHeight), width(), barHeight);
  graphRight_ = DrawingArea().width;
}

void GraphWidget::GrowScrollRange() {
  for (int channel = 0; channel < kChannelCount; ++channel) {
    if (!IsChannelDrawn(session_, view_, channel)) continue;
    const std::uint32_t steps =
        static_cast<std::uint32_t>(session_.channels[channel].sampleCount()) - 1u;
    if (steps > scrollMax_) {
      scrollMax_ = steps;
      const int barMax =
          static_cast<int>(std::min<std::uint32_t>(scrollMax_, std::numeric_limits<int>::max()));
      const QSignalBlocker blocker(scrollBar_);
      scrollBar_->setRange(0, barMax);
      // Only the thumb's length follows the page: the steps are computed here.
      scrollBar_->setPageStep(std::max(1, barMax / 10));
    }
  }
}

GraphWidget::RecordingScroll GraphWidget::ScrollOfRecording() const {
  RecordingScroll scroll;
  const std::uint64_t longest = view_.recording->LongestCount();
  scroll.last = longest > 0 ? longest - 1 : 0;
  // The bar counts in units of several samples once the recording is
  // longer than its integer range.
  constexpr std::uint64_t kBarRange = std::uint64_t{1} << 30;
  scroll.unit = scroll.last / kBarRange + 1;
  const double shown = DrawingArea().width / view_.scale.pixelsPerSample;
  scroll.page =
      std::isfinite(shown) && shown >= 1.0
          ? static_cast<std::uint64_t>(std::min(shown, static_cast<double>(scroll.last) + 1))
          : 1;
  return scroll;
}

void GraphWidget::ShowScrollPosition() {
  const QSignalBlocker blocker(scrollBar_);
  if (!view_.recording) {
    if (showsRecording_) {
      // Back to the records: their range, as it had grown.
      scrollBar_->setRange(0, static_cast<int>(std::min<std::uint32_t>(
                                  scrollMax_, std::numeric_limits<int>::max())));
      scrollBar_->setPageStep(std::max(1, scrollBar_->maximum() / 10));
      showsRecording_ = false;
    }
    GrowScrollRange();
    scrollBar_->setValue(static_cast<int>(
        std::clamp<std::int64_t>(view_.scale.scrollOffset, 0, std::numeric_limits<int>::max())));
    return;
  }
  showsRecording_ = true;
  const RecordingScroll scroll = ScrollOfRecording();
  scrollBar_->setRange(0, static_cast<int>(scroll.last / scroll.unit));
  scrollBar_->setPageStep(static_cast<int>(std::max<std::uint64_t>(1, scroll.page / scroll.unit)));
  scrollBar_->setValue(static_cast<int>(
      std::clamp<std::uint64_t>(
          static_cast<std::uint64_t>(std::max<std::int64_t>(view_.scale.scrollOffset, 0)), 0,
          scroll.last) /
      scroll.unit));
}

void GraphWidget::paintEvent(QPaintEvent* event) {
  const ClientSize area = DrawingArea();
  graphRight_ = area.width;
  ShowScrollPosition();

  // A cursor drag invalidates only the columns it changed; everything is
  // drawn clipped to what was invalidated.
  const QSize size(area.width, area.height);
  const QRect dirty = event->rect() & QRect(QPoint(0, 0), size);
  if (dirty.isEmpty()) return;
  paintedCursorsShown_ = view_.cursors.cursorsShown;
  QPainter painter(this);
  PaintGraphFrame(painter, pens_, session_, view_, size, curves_, dirty);
}

std::int64_t GraphWidget::ProposedScroll(int action, const ScrollSteps& steps) const {
  const std::int64_t offset = view_.scale.scrollOffset;
  switch (action) {
    case QAbstractSlider::SliderSingleStepSub:
      return offset - steps.line;
    case QAbstractSlider::SliderSingleStepAdd:
      return offset + steps.line;
    case QAbstractSlider::SliderPageStepSub:
      return offset - steps.page;
    case QAbstractSlider::SliderPageStepAdd:
      return offset + steps.page;
    case QAbstractSlider::SliderMove:
      return std::int64_t{scrollBar_->sliderPosition()} * steps.unit;
    default:
      return steps.otherwise;
  }
}

void GraphWidget::OnScrollAction(int action) {
  if (view_.recording) {
    const RecordingScroll scroll = ScrollOfRecording();
    const auto last = static_cast<std::int64_t>(scroll.last);
    std::int64_t otherwise = view_.scale.scrollOffset;
    if (action == QAbstractSlider::SliderToMinimum) otherwise = 0;
    if (action == QAbstractSlider::SliderToMaximum) otherwise = last;
    const auto page = static_cast<std::int64_t>(scroll.page);
    const ScrollSteps steps{std::max<std::int64_t>(1, page / 10), page,
                            static_cast<std::int64_t>(scroll.unit), otherwise};
    view_.scale.scrollOffset = std::clamp<std::int64_t>(ProposedScroll(action, steps), 0, last);
    ShowScrollPosition();
    scrollBar_->setSliderPosition(scrollBar_->value());
    RepaintBoth();
    return;
  }
  // To the start, to the end: the previous proposal stands.
  const ScrollSteps steps{scrollMax_ / 100u, scrollMax_ / 10u, 1, proposedScroll_};
  proposedScroll_ = SaturateToInt32(ProposedScroll(action, steps));
  const std::int32_t scrolled = std::max(proposedScroll_, 0);
  view_.scale.scrollOffset = scrolled;
  // The bar would otherwise apply its own step after this slot returns.
  scrollBar_->setSliderPosition(std::min(scrolled, scrollBar_->maximum()));
  RepaintBoth();
}

bool GraphWidget::eventFilter(QObject* watched, QEvent* event) {
  if (watched == scrollBar_ && event->type() == QEvent::Wheel) {
    ScrollByWheel(*static_cast<QWheelEvent*>(event));
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

void GraphWidget::wheelEvent(QWheelEvent* event) {
  if (!ZoomByWheel(*event)) ScrollByWheel(*event);
  event->accept();
}

bool GraphWidget::ZoomByWheel(const QWheelEvent& event) {
  const Qt::KeyboardModifiers modifiers = event.modifiers();
  const bool time = modifiers.testFlag(Qt::ControlModifier);
  const bool volts = modifiers.testFlag(Qt::ShiftModifier);
  if (time == volts) return false;
  // Some systems turn a wheel held with Shift into a horizontal one.
  const QPoint angle = event.angleDelta();
  int delta = angle.y() != 0 ? angle.y() : angle.x();
  if (event.inverted()) delta = -delta;
  if (delta == 0) return true;
  constexpr double kZoomPerNotch = 1.25;
  const double factor = std::pow(kZoomPerNotch, delta / 120.0);
  const QPoint pointer = event.position().toPoint();
  if (time) {
    ZoomTime(view_, factor, pointer.x());
  } else {
    ZoomVolts(view_, factor, pointer.y());
  }
  emit ScaleZoomed();
  emit CursorsOrScrollMoved();
  return true;
}

void GraphWidget::FinishBoxZoom(QPoint end) {
  zoomBox_->hide();
  const PixelBox box{zoomBoxStart_.x(), zoomBoxStart_.y(), end.x(), end.y()};
  if (!ZoomToBox(view_, box, DrawingArea())) return;
  emit ScaleZoomed();
  emit CursorsOrScrollMoved();
}

void GraphWidget::ScrollByWheel(const QWheelEvent& event) {
  const QPoint angle = event.angleDelta();
  int delta = angle.y() != 0 ? angle.y() : angle.x();
  if (event.inverted()) delta = -delta;
  wheelDelta_ += delta;
  constexpr int kNotch = 120;
  for (; wheelDelta_ >= kNotch; wheelDelta_ -= kNotch) {
    OnScrollAction(QAbstractSlider::SliderSingleStepSub);
  }
  for (; wheelDelta_ <= -kNotch; wheelDelta_ += kNotch) {
    OnScrollAction(QAbstractSlider::SliderSingleStepAdd);
  }
}

void GraphWidget::PlaceCursor1(std::uint16_t mouseX) {
  GraphCursors& cursors = view_.cursors;
  cursors.cursor1X = mouseX;
  if (cursors.cursor1X > graphRight_) cursors.cursor1X = 0;
  if (cursors.cursor1X > cursors.cursor2X) {
    cursors.cursor1X = SaturateToInt32(std::int64_t{cursors.cursor2X} - 1);
  }
}

void GraphWidget::PlaceCursor2(std::uint16_t mouseX) {
  GraphCursors& cursors = view_.cursors;
  cursors.cursor2X = mouseX;
  if (cursors.cursor2X < cursors.cursor1X) {
    cursors.cursor2X = SaturateToInt32(std::int64_t{cursors.cursor1X} + 1);
  }
  if (cursors.cursor2X > graphRight_) cursors.cursor2X = graphRight_;
}

void GraphWidget::RepaintBoth() {
  update();
  emit CursorsOrScrollMoved();
}

void GraphWidget::RepaintCursorChange(const GraphCursors& before) {
  const GraphCursors& after = view_.cursors;
  // The press that shows the cursors repaints nothing: the first repaint
  // after it draws the whole band.
  if (paintedCursorsShown_ != after.cursorsShown) {
    RepaintBoth();
    return;
  }
  // The band and the lines change only between the old and the new place of
  // each cursor, both lines' columns included.
  const ClientSize area = DrawingArea();
  auto span = [area](std::int32_t from, std::int32_t to) {
    const int left = std::clamp(std::min(from, to), 0, area.width);
    const int right = std::clamp(std::max(from, to), -1, area.width);
    return QRect(QPoint(left, 0), QPoint(right, area.height - 1));
  };
  if (before.cursor1X != after.cursor1X) update(span(before.cursor1X, after.cursor1X));
  if (before.cursor2X != after.cursor2X) update(span(before.cursor2X, after.cursor2X));
  emit CursorsOrScrollMoved();
}

void GraphWidget::mousePressEvent(QMouseEvent* event) {
  GraphCursors& cursors = view_.cursors;
  const Qt::MouseButton button = event->button();
  if (button != Qt::LeftButton && button != Qt::RightButton) {
    QWidget::mousePressEvent(event);
    return;
  }
  if (cursors.drag != CursorDrag::kNone || (zoomBox_ != nullptr && zoomBox_->isVisible())) return;
  if (button == Qt::LeftButton && event->modifiers().testFlag(Qt::ControlModifier)) {
    if (zoomBox_ == nullptr) zoomBox_ = new QRubberBand(QRubberBand::Rectangle, this);
    zoomBoxStart_ = event->position().toPoint();
    zoomBox_->setGeometry(QRect(zoomBoxStart_, QSize()));
    zoomBox_->show();
    return;
  }
  cursors.cursorsShown = true;
  // The press itself captures the mouse: Qt sends this widget every mouse
  // event, from outside the window too, until the buttons are released.
  cursors.drag = button == Qt::LeftButton ? CursorDrag::kCursor1 : CursorDrag::kCursor2;
}

void GraphWidget::mouseMoveEvent(QMouseEvent* event) {
  if (zoomBox_ != nullptr && zoomBox_->isVisible()) {
    zoomBox_->setGeometry(QRect(zoomBoxStart_, event->position().toPoint()).normalized());
    return;
  }
  const GraphCursors before = view_.cursors;
  switch (before.drag) {
    case CursorDrag::kCursor1:
      PlaceCursor1(MouseX(event));
      RepaintCursorChange(before);
      break;
    case CursorDrag::kCursor2:
      PlaceCursor2(MouseX(event));
      RepaintCursorChange(before);
      break;
    case CursorDrag::kNone:
      break;
  }
}

void GraphWidget::mouseReleaseEvent(QMouseEvent* event) {
  const GraphCursors before = view_.cursors;
  const Qt::MouseButton button = event->button();
  if (zoomBox_ != nullptr && zoomBox_->isVisible()) {
    if (button == Qt::LeftButton) FinishBoxZoom(event->position().toPoint());
    return;
  }
  if (button == Qt::LeftButton) {
    PlaceCursor1(MouseX(event));
  } else if (button == Qt::RightButton) {
    PlaceCursor2(MouseX(event));
  } else {
    QWidget::mouseReleaseEvent(event);
    return;
  }
  RepaintCursorChange(before);
  view_.cursors.drag = CursorDrag::kNone;
}

}  // namespace tavril
