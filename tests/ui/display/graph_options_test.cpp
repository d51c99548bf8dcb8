#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QWheelEvent>

#include <algorithm>
#include <limits>

#include "graph_test_support.h"
#include "ui/display/graph_options_settings.h"
#include "ui/display/graph_painter.h"
#include "ui/display/graph_widget.h"

namespace tavril {
namespace {

constexpr int kWidth = 400;
constexpr int kHeight = 300;

class GraphOptionsTest : public ::testing::Test {
 protected:
  GraphOptionsTest() : widget_(session_, view_) {
    for (int channel : {0, 3}) {
      testing::SetSamples(session_.channels[channel],
                          testing::MakeSignal(testing::Signal::kSineWithNoise, 4000, channel + 1));
    }
    widget_.resize(kWidth, kHeight);
    widget_.show();
    QApplication::processEvents();
    ComputeAutoScale(view_.scale, session_.channels[0], widget_.DrawingArea());
    QObject::connect(&widget_, &GraphWidget::ScaleZoomed, &widget_, [this] { ++zooms_; });
  }

  QImage Shown() {
    widget_.RefreshCurves();
    const ClientSize area = widget_.DrawingArea();
    return widget_.grab().toImage().copy(0, 0, area.width, area.height);
  }
  int CountColour(const QImage& image, QRgb colour) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) count += (image.pixel(x, y) | 0xFF000000) == colour;
    }
    return count;
  }
  void Wheel(Qt::KeyboardModifiers modifiers, QPoint angle, QPointF at) {
    QWheelEvent event(at, widget_.mapToGlobal(at), QPoint(), angle, Qt::NoButton, modifiers,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(&widget_, &event);
  }
  void Mouse(QEvent::Type type, QPoint at, Qt::MouseButtons held) {
    QMouseEvent event(type, at, widget_.mapToGlobal(QPointF(at)), Qt::LeftButton, held,
                      Qt::ControlModifier);
    QApplication::sendEvent(&widget_, &event);
  }

  Session session_;
  ViewState view_;
  GraphWidget widget_;
  int zooms_ = 0;
};

TEST_F(GraphOptionsTest, ColoursAxesAndGridAddToThePictureAndGoAwayWhenOff) {
  const QSize size(widget_.DrawingArea().width, widget_.DrawingArea().height);
  const QImage classic = Shown();
  EXPECT_EQ(testing::CompareImages(classic, testing::ReferenceFrame(session_, view_, size)).count,
            0);

  view_.options = GraphOptions{true, true, true};
  const QImage decorated = Shown();
  EXPECT_GT(CountColour(decorated, 0xFF000000 | kChannelColours[0]), 500);
  EXPECT_GT(CountColour(decorated, 0xFF000000 | kChannelColours[3]), 100);
  EXPECT_EQ(CountColour(decorated, kGraphBackground), 0);
  EXPECT_EQ(CountColour(decorated, QColor(0, 0, 255).rgb()), 0);  // no classic master pen

  view_.options = GraphOptions{};
  EXPECT_EQ(testing::CompareImages(Shown(), classic).count, 0);
}

// A volt tick that touches its label reads as a minus sign: right of each
// tick (x = 1 to 5), the label's first dark pixel comes after a clear gap.
TEST_F(GraphOptionsTest, VoltLabelsStandClearOfTheirTicks) {
  view_.options.axes = true;
  view_.channelShown.fill(false);  // nothing but the graduations is dark
  const QImage image = Shown();
  const auto dark = [&image](int x, int y) { return qGray(image.pixel(x, y)) < 128; };
  int labels = 0;
  for (int y = 8; y + 8 < image.height(); ++y) {
    if (!dark(1, y) || !dark(5, y) || dark(6, y)) continue;
    // The first column right of the tick with ink in the rows its label spans.
    const auto clear = [&](int x) {
      for (int row = y - 8; row <= y + 8; ++row) {
        if (dark(x, row)) return false;
      }
      return true;
    };
    int ink = 6;
    while (ink < 40 && clear(ink)) ++ink;
    if (ink == 40) continue;  // a tick without its label
    ++labels;
    EXPECT_GE(ink - 6, 5) << "tick at row " << y;
  }
  EXPECT_GE(labels, 3);
}

TEST_F(GraphOptionsTest, TriggerMarkPointsAtItsSampleOnlyWhenSet) {
  const QImage classic = Shown();
  view_.triggerMark = 1000;
  const QImage marked = Shown();
  const int x = SampleToPixel(view_.scale, 1000.0, 0.0).x;
  EXPECT_EQ(marked.pixel(x, 2), QColor(213, 94, 0).rgb());
  EXPECT_EQ(marked.pixel(x + 20, 2), classic.pixel(x + 20, 2));
  view_.triggerMark.reset();
  EXPECT_EQ(testing::CompareImages(Shown(), classic).count, 0);
}

TEST_F(GraphOptionsTest, CtrlWheelZoomsTimeShiftWheelZoomsVoltsPlainWheelScrolls) {
  const GraphScale before = view_.scale;
  Wheel(Qt::ControlModifier, QPoint(0, 120), QPointF(200, 50));
  EXPECT_DOUBLE_EQ(view_.scale.pixelsPerSample, before.pixelsPerSample * 1.25);
  EXPECT_DOUBLE_EQ(view_.scale.pixelsPerVolt, before.pixelsPerVolt);
  // Shift may turn the wheel horizontal.
  Wheel(Qt::ShiftModifier, QPoint(-120, 0), QPointF(200, 50));
  EXPECT_DOUBLE_EQ(view_.scale.pixelsPerVolt, before.pixelsPerVolt / 1.25);
  EXPECT_EQ(zooms_, 2);
  EXPECT_EQ(view_.zoomHistory.size(), 2u);
  const std::int32_t scroll = view_.scale.scrollOffset;
  Wheel(Qt::NoModifier, QPoint(0, -120), QPointF(200, 50));
  EXPECT_GT(view_.scale.scrollOffset, scroll);
  EXPECT_EQ(zooms_, 2);
}

TEST_F(GraphOptionsTest, CtrlDragZoomsIntoTheBoxWithoutTouchingTheCursors) {
  const GraphCursors cursors = view_.cursors;
  Mouse(QEvent::MouseButtonPress, QPoint(100, 50), Qt::LeftButton);
  Mouse(QEvent::MouseMove, QPoint(200, 150), Qt::LeftButton);
  Mouse(QEvent::MouseButtonRelease, QPoint(300, 250), Qt::NoButton);
  EXPECT_EQ(zooms_, 1);
  EXPECT_FALSE(view_.cursors.cursorsShown);
  EXPECT_EQ(view_.cursors.cursor1X, cursors.cursor1X);
  EXPECT_NEAR(view_.scale.scrollOffset, PixelToSample(view_.zoomHistory.back(), 100), 1);
}

// The rightmost column a curve reaches.
std::int32_t RightmostColumn(const CurveStrokes& strokes) {
  std::int32_t right = std::numeric_limits<std::int32_t>::min();
  for (const LineSegment& line : strokes.lines) right = std::max({right, line.from.x, line.to.x});
  for (const ColumnRun& run : strokes.runs) right = std::max(right, run.x);
  return right;
}

// A 1 kHz master of 3 samples (0 to 2 ms) beside a 25 kHz record of 51 (the
// same 2 ms): with graduations it is drawn at its own times, exactly as
// segment by segment; without them, by sample number.
TEST(GraphRates, WithGraduationsEachRecordIsDrawnAtItsOwnTimes) {
  Session session;
  ViewState view;
  testing::SetSamples(session.channels[0], {0.0, 1.0, -1.0});
  session.channels[0].rate = 1000;
  testing::SetSamples(session.channels[1],
                      testing::MakeSignal(testing::Signal::kSineWithNoise, 51, 1));
  session.channels[1].rate = 25000;
  const QSize area(401, 300);
  ComputeAutoScale(view.scale, session.channels[0], {400, 300});
  const std::int32_t masterEnd = SampleToPixel(view.scale, 2.0, 0.0).x;
  CurveLayer layer;

  view.options.axes = true;
  EXPECT_EQ(RightmostColumn(layer.Strokes(session, view, 1, area)), masterEnd);
  EXPECT_EQ(testing::CompareImages(testing::LayeredFrame(session, view, area, layer),
                                   testing::ReferenceFrame(session, view, area))
                .count,
            0);
  view.options.axes = false;
  EXPECT_GT(RightmostColumn(layer.Strokes(session, view, 1, area)), masterEnd);
}

TEST(GraphOptionsSettings, KeptInTheUsersSettingsFileAndOffWhenMissing) {
  const QTemporaryDir folder;
  const QString path = folder.filePath("tavril.conf");
  EXPECT_EQ(LoadGraphOptions(QSettings(path, QSettings::IniFormat)), GraphOptions{});
  {
    QSettings settings(path, QSettings::IniFormat);
    SaveGraphOptions(settings, GraphOptions{true, false, true});
  }
  EXPECT_EQ(LoadGraphOptions(QSettings(path, QSettings::IniFormat)),
            (GraphOptions{true, false, true}));
}

}  // namespace
}  // namespace tavril
