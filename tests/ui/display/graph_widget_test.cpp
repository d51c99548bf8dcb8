#include "ui/display/graph_widget.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QWheelEvent>

#include "graph_test_support.h"
#include "support/record_checks.h"
#include "ui/display/graph_painter.h"

namespace tavril {
namespace {

using testing::SetSamples;

constexpr int kWidth = 400;
constexpr int kHeight = 300;

class GraphWidgetTest : public ::testing::Test {
 protected:
  GraphWidgetTest() : widget_(session_, view_) {
    widget_.resize(kWidth, kHeight);
    widget_.show();
    QApplication::processEvents();  // the window is exposed, so repaint() paints at once
    QObject::connect(&widget_, &GraphWidget::CursorsOrScrollMoved, &widget_,
                     [this] { ++repaintRequests_; });
  }

  void Send(QEvent::Type type, int x, Qt::MouseButton button, Qt::MouseButtons buttons) {
    const QPointF local(x, 20);
    QMouseEvent event(type, local, widget_.mapToGlobal(local), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(&widget_, &event);
  }
  void Press(Qt::MouseButton button, int x) { Send(QEvent::MouseButtonPress, x, button, button); }
  void Move(int x, Qt::MouseButtons held) { Send(QEvent::MouseMove, x, Qt::NoButton, held); }
  void Release(Qt::MouseButton button, int x) {
    Send(QEvent::MouseButtonRelease, x, button, Qt::NoButton);
  }
  // Left drag from wherever cursor 1 is to x, released there.
  void DragCursor1(int x) {
    Press(Qt::LeftButton, x);
    Move(x, Qt::LeftButton);
    Release(Qt::LeftButton, x);
  }
  void DragCursor2(int x) {
    Press(Qt::RightButton, x);
    Move(x, Qt::RightButton);
    Release(Qt::RightButton, x);
  }

  QScrollBar& Bar() { return *widget_.findChild<QScrollBar*>(); }
  void Paint() { widget_.repaint(); }
  void Scroll(QAbstractSlider::SliderAction action) { Bar().triggerAction(action); }

  const GraphCursors& Cursors() const { return view_.cursors; }
  std::int32_t ScrollOffset() const { return view_.scale.scrollOffset; }

  Session session_;
  ViewState view_;
  GraphWidget widget_;
  int repaintRequests_ = 0;
};

TEST_F(GraphWidgetTest, CreationPlacesCursorsAtTheEdgesAndTheAxisAtHalfHeight) {
  const ClientSize area = widget_.DrawingArea();
  EXPECT_EQ(area.width, kWidth);
  EXPECT_EQ(area.height, kHeight - Bar().sizeHint().height());
  EXPECT_EQ(Cursors().cursor1X, 0);
  EXPECT_EQ(Cursors().cursor2X, kWidth);
  EXPECT_EQ(view_.scale.originY, area.height / 2);
  EXPECT_FALSE(Cursors().cursorsShown);
  EXPECT_EQ(Cursors().drag, CursorDrag::kNone);
}

TEST(GraphWidgetCreation, FirstShowKeepsWhatWasSetAfterConstruction) {
  const Session session;
  ViewState view;
  GraphWidget widget(session, view);
  view.scale.originY = 7;  // as an automatic fit before the window appears would
  view.cursors.cursor1X = 3;
  widget.resize(kWidth, kHeight);
  widget.show();
  EXPECT_EQ(view.scale.originY, 7);
  EXPECT_EQ(view.cursors.cursor1X, 3);
  EXPECT_NE(view.cursors.cursor2X, kWidth);
}

TEST_F(GraphWidgetTest, PressShowsTheCursorsWithoutMovingThem) {
  Press(Qt::LeftButton, 120);
  EXPECT_TRUE(Cursors().cursorsShown);
  EXPECT_EQ(Cursors().drag, CursorDrag::kCursor1);
  EXPECT_EQ(Cursors().cursor1X, 0);
  EXPECT_EQ(repaintRequests_, 0);
}

TEST_F(GraphWidgetTest, LeftDragMovesCursor1AndRepaintsBoth) {
  Press(Qt::LeftButton, 120);
  Move(130, Qt::LeftButton);
  EXPECT_EQ(Cursors().cursor1X, 130);
  EXPECT_EQ(repaintRequests_, 1);
  Move(140, Qt::LeftButton);
  Release(Qt::LeftButton, 150);
  EXPECT_EQ(Cursors().cursor1X, 150);
  EXPECT_EQ(Cursors().drag, CursorDrag::kNone);
  EXPECT_EQ(repaintRequests_, 3);
  Move(20, Qt::NoButton);  // no drag: nothing moves
  EXPECT_EQ(Cursors().cursor1X, 150);
}

TEST_F(GraphWidgetTest, RightDragMovesCursor2) {
  DragCursor2(250);
  EXPECT_EQ(Cursors().cursor2X, 250);
  EXPECT_EQ(Cursors().drag, CursorDrag::kNone);
  EXPECT_TRUE(Cursors().cursorsShown);
}

TEST_F(GraphWidgetTest, Cursor1PastTheRightEdgeGoesToZero) {
  DragCursor1(100);
  Press(Qt::LeftButton, 100);
  Move(kWidth + 1, Qt::LeftButton);
  EXPECT_EQ(Cursors().cursor1X, 0);
  Move(kWidth, Qt::LeftButton);  // the right edge itself, where cursor 2 is, is allowed
  EXPECT_EQ(Cursors().cursor1X, kWidth);
}

TEST_F(GraphWidgetTest, Cursor1LeftOfTheWindowReadsLargeAndGoesToZero) {
  DragCursor1(100);
  DragCursor1(-3);
  EXPECT_EQ(Cursors().cursor1X, 0);
}

TEST_F(GraphWidgetTest, Cursor1StopsJustLeftOfCursor2) {
  DragCursor2(200);
  DragCursor1(300);
  EXPECT_EQ(Cursors().cursor1X, 199);
}

TEST_F(GraphWidgetTest, Cursor2StopsJustRightOfCursor1) {
  DragCursor1(150);
  DragCursor2(100);
  EXPECT_EQ(Cursors().cursor2X, 151);
}

TEST_F(GraphWidgetTest, Cursor2LeftOfTheWindowGoesToTheRightEdge) {
  DragCursor2(200);
  Press(Qt::RightButton, 200);
  Move(-5, Qt::RightButton);
  EXPECT_EQ(Cursors().cursor2X, kWidth);
  Release(Qt::RightButton, -5);
  EXPECT_EQ(Cursors().cursor2X, kWidth);
}

TEST_F(GraphWidgetTest, Cursor2PastTheRightEdgeStopsAtIt) {
  DragCursor2(kWidth + 50);
  EXPECT_EQ(Cursors().cursor2X, kWidth);
}

TEST_F(GraphWidgetTest, PressDuringADragIsIgnored) {
  Press(Qt::LeftButton, 50);
  Press(Qt::RightButton, 60);
  EXPECT_EQ(Cursors().drag, CursorDrag::kCursor1);
  Move(70, Qt::LeftButton | Qt::RightButton);
  EXPECT_EQ(Cursors().cursor1X, 70);
  EXPECT_EQ(Cursors().cursor2X, kWidth);
}

TEST_F(GraphWidgetTest, ReleaseOfTheOtherButtonEndsTheDragAndPlacesItsCursor) {
  Press(Qt::LeftButton, 50);
  Move(60, Qt::LeftButton);
  Release(Qt::RightButton, 300);
  EXPECT_EQ(Cursors().drag, CursorDrag::kNone);
  EXPECT_EQ(Cursors().cursor1X, 60);
  EXPECT_EQ(Cursors().cursor2X, 300);
  Move(10, Qt::LeftButton);  // the drag is over
  EXPECT_EQ(Cursors().cursor1X, 60);

  Press(Qt::RightButton, 300);
  Release(Qt::LeftButton, 80);
  EXPECT_EQ(Cursors().drag, CursorDrag::kNone);
  EXPECT_EQ(Cursors().cursor1X, 80);
  EXPECT_EQ(Cursors().cursor2X, 300);
}

TEST_F(GraphWidgetTest, DoubleClickActsAsAPress) {
  Press(Qt::LeftButton, 50);
  Release(Qt::LeftButton, 50);
  Send(QEvent::MouseButtonDblClick, 50, Qt::LeftButton, Qt::LeftButton);
  EXPECT_EQ(Cursors().drag, CursorDrag::kCursor1);
  Release(Qt::LeftButton, 55);
  EXPECT_EQ(Cursors().cursor1X, 55);
}

TEST_F(GraphWidgetTest, LineAndPageStepsAreHundredthsAndTenthsOfScrollMax) {
  SetSamples(session_.channels[0], std::vector<double>(1000, 0.5));
  Paint();
  ASSERT_EQ(widget_.ScrollMax(), 999u);
  EXPECT_EQ(Bar().maximum(), 999);

  Scroll(QAbstractSlider::SliderSingleStepAdd);
  EXPECT_EQ(ScrollOffset(), 9);
  EXPECT_EQ(repaintRequests_, 1);
  Scroll(QAbstractSlider::SliderPageStepAdd);
  EXPECT_EQ(ScrollOffset(), 108);
  Scroll(QAbstractSlider::SliderPageStepSub);
  EXPECT_EQ(ScrollOffset(), 9);
  Scroll(QAbstractSlider::SliderSingleStepSub);
  EXPECT_EQ(ScrollOffset(), 0);
}

// A notch is one line step (9 samples here) whether the wheel turns over the
// bar or over the curves, away or to the left for left; fine turns add up.
TEST_F(GraphWidgetTest, WheelNotchIsOneLineStepOverTheBarAndTheCurves) {
  SetSamples(session_.channels[0], std::vector<double>(1000, 0.5));
  Paint();
  const std::tuple<QWidget*, QPoint, int> turns[] = {
      {&Bar(), {0, -120}, 9},   {&widget_, {0, -120}, 18}, {&Bar(), {-120, 0}, 27},
      {&widget_, {0, 120}, 18}, {&Bar(), {0, -60}, 18},    {&Bar(), {0, -60}, 27}};
  for (const auto& [target, angle, offset] : turns) {
    QWheelEvent event(QPointF(5, 5), target->mapToGlobal(QPointF(5, 5)), QPoint(), angle,
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &event);
    EXPECT_EQ(ScrollOffset(), offset);
  }
}

TEST_F(GraphWidgetTest, LineLeftStepNeverGoesBelowZero) {
  SetSamples(session_.channels[0], std::vector<double>(1000, 0.5));
  Paint();
  view_.scale.scrollOffset = 3;
  Scroll(QAbstractSlider::SliderSingleStepSub);
  EXPECT_EQ(ScrollOffset(), 0);
  Scroll(QAbstractSlider::SliderPageStepSub);
  EXPECT_EQ(ScrollOffset(), 0);
}

TEST_F(GraphWidgetTest, StepsMoveNothingWhileScrollMaxIsOne) {
  Paint();
  ASSERT_EQ(widget_.ScrollMax(), 1u);
  Scroll(QAbstractSlider::SliderSingleStepAdd);
  Scroll(QAbstractSlider::SliderPageStepAdd);
  EXPECT_EQ(ScrollOffset(), 0);
}

TEST_F(GraphWidgetTest, StepsGoOnPastScrollMaxWhileTheBarStaysAtItsEnd) {
  SetSamples(session_.channels[0], std::vector<double>(101, 0.5));
  Paint();
  ASSERT_EQ(widget_.ScrollMax(), 100u);
  for (int i = 0; i < 12; ++i) Scroll(QAbstractSlider::SliderPageStepAdd);
  EXPECT_EQ(ScrollOffset(), 120);
  Paint();
  EXPECT_EQ(Bar().value(), 100);
}

TEST_F(GraphWidgetTest, ToStartAndToEndKeepThePreviousProposal) {
  SetSamples(session_.channels[0], std::vector<double>(1000, 0.5));
  Paint();
  Scroll(QAbstractSlider::SliderPageStepAdd);
  Scroll(QAbstractSlider::SliderToMaximum);
  EXPECT_EQ(ScrollOffset(), 99);
  Scroll(QAbstractSlider::SliderToMinimum);
  EXPECT_EQ(ScrollOffset(), 99);
}

TEST_F(GraphWidgetTest, ThumbReachesOffsetsBeyondSixteenBits) {
  SetSamples(session_.channels[0], std::vector<double>(200000, 0.5));
  Paint();
  ASSERT_EQ(Bar().maximum(), 199999);
  Bar().setSliderPosition(150000);
  EXPECT_EQ(ScrollOffset(), 150000);
  Scroll(QAbstractSlider::SliderSingleStepAdd);
  EXPECT_EQ(ScrollOffset(), 151999);
}

TEST_F(GraphWidgetTest, ScrollMaxOnlyGrows) {
  SetSamples(session_.channels[0], std::vector<double>(10000, 0.5));
  Paint();
  SetSamples(session_.channels[0], std::vector<double>(100, 0.5));
  Paint();
  EXPECT_EQ(widget_.ScrollMax(), 9999u);
  EXPECT_EQ(Bar().maximum(), 9999);
}

TEST_F(GraphWidgetTest, HiddenOrEmptyChannelsLeaveScrollMax) {
  SetSamples(session_.channels[4], std::vector<double>(5000, 0.5));
  view_.channelShown[4] = false;
  session_.channels[5].SetCount(7000);  // a count without samples
  Paint();
  EXPECT_EQ(widget_.ScrollMax(), 1u);
  view_.channelShown[4] = true;
  Paint();
  EXPECT_EQ(widget_.ScrollMax(), 4999u);
}

TEST_F(GraphWidgetTest, PaintsExactlyTheStraightforwardPicture) {
  std::uint32_t seed = 1;
  for (int channel = 0; channel < kChannelCount; ++channel) {
    SetSamples(session_.channels[channel],
               testing::MakeSignal(testing::kAllSignals[channel], 20000 + channel, seed++));
  }
  session_.masterChannel = 2;
  const ClientSize area = widget_.DrawingArea();
  ComputeAutoScale(view_.scale, session_.channels[2], area);
  DragCursor1(70);
  DragCursor2(310);
  widget_.RefreshCurves();

  const QSize size(area.width, area.height);
  const QImage shown = widget_.grab().toImage().copy(QRect(QPoint(0, 0), size));
  const testing::ImageDifference difference =
      testing::CompareImages(shown, testing::ReferenceFrame(session_, view_, size));
  EXPECT_EQ(difference.count, 0) << "first at " << difference.first.x() << ","
                                 << difference.first.y();

  // A cursor move repaints the band and lines over the same curves.
  DragCursor1(20);
  const QImage moved = widget_.grab().toImage().copy(QRect(QPoint(0, 0), size));
  EXPECT_EQ(testing::CompareImages(moved, testing::ReferenceFrame(session_, view_, size)).count, 0);
}

TEST_F(GraphWidgetTest, DragRepaintsOnlyWhatChangedAndTheScreenStaysExact) {
  SetSamples(session_.channels[0], testing::MakeSignal(testing::Signal::kSineWithNoise, 50000, 3));
  const ClientSize area = widget_.DrawingArea();
  ComputeAutoScale(view_.scale, session_.channels[0], area);
  const QSize size(area.width, area.height);
  auto onScreen = [&] {
    QApplication::processEvents();  // the partial repaints reach the window
    return widget_.screen()->grabWindow(widget_.winId()).toImage().copy(QRect(QPoint(0, 0), size));
  };
  auto expectExact = [&](const char* step) {
    const testing::ImageDifference difference =
        testing::CompareImages(onScreen(), testing::ReferenceFrame(session_, view_, size));
    EXPECT_EQ(difference.count, 0)
        << step << ", first at " << difference.first.x() << "," << difference.first.y();
  };
  onScreen();
  Press(Qt::LeftButton, 10);  // shows the cursors, repaints nothing yet
  for (const int x : {30, 31, 80, 12, 200}) {
    Move(x, Qt::LeftButton);
    expectExact("dragging cursor 1");
  }
  Release(Qt::LeftButton, 150);
  expectExact("cursor 1 released");
  Press(Qt::RightButton, 150);
  for (const int x : {150, 390, 160}) {  // 150: equal cursors, neither band nor lines
    Move(x, Qt::RightButton);
    expectExact("dragging cursor 2");
  }
  Release(Qt::RightButton, 160);
  expectExact("cursor 2 released");
}

// The pixels of the backdrop: background, band, cursor lines and axes.
class BackdropTest : public ::testing::Test {
 protected:
  QImage Draw(const GraphScale& scale, const GraphCursors& cursors) {
    QImage image(kWidth, 100, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    PaintGraphBackdrop(painter, GraphPens{}, scale, cursors, image.size());
    return image;
  }
  static QRgb Rgb(int r, int g, int b) { return qRgb(r, g, b); }
};

TEST_F(BackdropTest, AxesWithAFourPixelArrowHead) {
  GraphScale scale;
  scale.originY = 50;
  const QImage image = Draw(scale, GraphCursors{});
  const QRgb axis = Rgb(200, 200, 200);
  const QRgb background = Rgb(200, 255, 255);
  for (int x = 0; x < kWidth; ++x) EXPECT_EQ(image.pixel(x, 50), axis) << x;
  for (int y = 0; y < 100; ++y) EXPECT_EQ(image.pixel(0, y), axis) << y;
  for (int k = 1; k <= 4; ++k) {
    EXPECT_EQ(image.pixel(kWidth - k, 50 - k), axis) << k;
    EXPECT_EQ(image.pixel(kWidth - k, 50 + k), axis) << k;
  }
  EXPECT_EQ(image.pixel(kWidth - 5, 45), background);
  EXPECT_EQ(image.pixel(kWidth - 5, 55), background);
  EXPECT_EQ(image.pixel(200, 49), background);
}

TEST_F(BackdropTest, NoBandNorLinesBeforeTheCursorsAreShown) {
  GraphScale scale;
  scale.originY = -100;
  const QImage image = Draw(scale, GraphCursors{50, 300, false, CursorDrag::kNone});
  EXPECT_EQ(image.pixel(50, 10), Rgb(200, 255, 255));
  EXPECT_EQ(image.pixel(100, 10), Rgb(200, 255, 255));
}

TEST_F(BackdropTest, BandFromCursor1UpToCursor2WithBlackLines) {
  GraphScale scale;
  scale.originY = -100;
  const QImage image = Draw(scale, GraphCursors{50, 300, true, CursorDrag::kNone});
  const QRgb band = Rgb(150, 150, 255);
  for (int y = 0; y < 100; ++y) {
    EXPECT_EQ(image.pixel(50, y), Rgb(0, 0, 0)) << y;
    EXPECT_EQ(image.pixel(300, y), Rgb(0, 0, 0)) << y;
  }
  EXPECT_EQ(image.pixel(49, 5), Rgb(200, 255, 255));
  EXPECT_EQ(image.pixel(51, 5), band);
  EXPECT_EQ(image.pixel(299, 99), band);
  EXPECT_EQ(image.pixel(301, 5), Rgb(200, 255, 255));
}

TEST_F(BackdropTest, BandStillFillsWhenCursor1IsRightOfCursor2) {
  GraphScale scale;
  scale.originY = -100;
  const QImage image = Draw(scale, GraphCursors{300, 50, true, CursorDrag::kNone});
  EXPECT_EQ(image.pixel(51, 5), Rgb(150, 150, 255));
  EXPECT_EQ(image.pixel(299, 5), Rgb(150, 150, 255));
  EXPECT_EQ(image.pixel(300, 5), Rgb(0, 0, 0));
}

TEST_F(BackdropTest, EqualCursorsDrawNeitherBandNorLines) {
  GraphScale scale;
  scale.originY = -100;
  const QImage image = Draw(scale, GraphCursors{120, 120, true, CursorDrag::kNone});
  EXPECT_EQ(image.pixel(120, 5), Rgb(200, 255, 255));
}

TEST_F(BackdropTest, CursorAtTheRightEdgeIsOutOfSight) {
  GraphScale scale;
  scale.originY = -100;
  const QImage image = Draw(scale, GraphCursors{0, kWidth, true, CursorDrag::kNone});
  EXPECT_EQ(image.pixel(kWidth - 1, 5), Rgb(150, 150, 255));
}

TEST_F(BackdropTest, FarAwayOriginDrawsNoAxis) {
  for (const std::int32_t originY : {std::numeric_limits<std::int32_t>::min(), -6, 106,
                                     std::numeric_limits<std::int32_t>::max()}) {
    GraphScale scale;
    scale.originY = originY;
    const QImage image = Draw(scale, GraphCursors{});
    EXPECT_EQ(image.pixel(kWidth - 1, 0), Rgb(200, 255, 255)) << originY;
    EXPECT_EQ(image.pixel(kWidth - 1, 99), Rgb(200, 255, 255)) << originY;
  }
}

}  // namespace
}  // namespace tavril
