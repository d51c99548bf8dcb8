#include "display/graph_zoom.h"
#include "support/record_checks.h"

#include <gtest/gtest.h>

#include <vector>

namespace tavril {
namespace {

using testing::SetSamples;

constexpr ClientSize kArea{400, 300};

ViewState ViewWithCursors() {
  ViewState view;
  view.scale.pixelsPerSample = 0.5;
  view.scale.pixelsPerVolt = 100.0;
  view.scale.originY = 150;
  view.scale.scrollOffset = 200;
  view.scale.autoScale = true;
  view.cursors = GraphCursors{40, 300, true, CursorDrag::kNone};
  return view;
}

std::int32_t CursorSample(const ViewState& view, std::int32_t x) {
  return PixelToSample(view.scale, x);
}

TEST(GraphZoom, TimeZoomKeepsThePointedSampleAndTheCursorsSamples) {
  for (const double factor : {1.25, 8.0, 0.8, 0.01}) {
    ViewState view = ViewWithCursors();
    const std::int32_t first = CursorSample(view, 40);
    const std::int32_t second = CursorSample(view, 300);
    ZoomTime(view, factor, 100);
    SCOPED_TRACE(factor);
    EXPECT_DOUBLE_EQ(view.scale.pixelsPerSample, 0.5 * factor);
    if (factor > 0.1) {
      EXPECT_NEAR(view.scale.scrollOffset + 100 / view.scale.pixelsPerSample, 400.0, 1.0);
    } else {  // sample 400 cannot stay at x = 100 without scrolling before sample 0
      EXPECT_EQ(view.scale.scrollOffset, 0);
    }
    EXPECT_FALSE(view.scale.autoScale);
    if (factor > 1.0) {  // every sample has a pixel of its own
      EXPECT_EQ(CursorSample(view, view.cursors.cursor1X), first);
      EXPECT_EQ(CursorSample(view, view.cursors.cursor2X), second);
    }
    EXPECT_LT(view.cursors.cursor1X, view.cursors.cursor2X);
    ASSERT_EQ(view.zoomHistory.size(), 1u);
    EXPECT_DOUBLE_EQ(view.zoomHistory.back().pixelsPerSample, 0.5);
  }
}

TEST(GraphZoom, TimeZoomNeverScrollsBeforeTheFirstSample) {
  ViewState view = ViewWithCursors();
  ZoomTime(view, 0.001, 0);
  EXPECT_EQ(view.scale.scrollOffset, 200);
  ZoomTime(view, 0.001, 399);
  EXPECT_EQ(view.scale.scrollOffset, 0);
}

TEST(GraphZoom, VoltZoomKeepsThePointedValue) {
  ViewState view = ViewWithCursors();
  ZoomVolts(view, 4.0, 50);  // 1 V at y = 50
  EXPECT_DOUBLE_EQ(view.scale.pixelsPerVolt, 400.0);
  EXPECT_EQ(view.scale.originY, 450);
}

TEST(GraphZoom, BoxFillsTheAreaAndTinyBoxesDoNothing) {
  ViewState view = ViewWithCursors();
  // Samples 400 to 800, 1 V down to -0.5 V.
  ASSERT_TRUE(ZoomToBox(view, PixelBox{300, 200, 100, 50}, kArea));
  EXPECT_EQ(view.scale.scrollOffset, 400);
  EXPECT_DOUBLE_EQ(view.scale.pixelsPerSample, 1.0);
  EXPECT_DOUBLE_EQ(view.scale.pixelsPerVolt, 200.0);
  EXPECT_EQ(view.scale.originY, 200);
  const GraphScale zoomed = view.scale;
  EXPECT_FALSE(ZoomToBox(view, PixelBox{10, 10, 11, 200}, kArea));
  EXPECT_DOUBLE_EQ(view.scale.pixelsPerSample, zoomed.pixelsPerSample);
}

TEST(GraphZoom, FitShowsEveryShownRecordAndBackReturnsStepByStep) {
  Session session;
  ViewState view = ViewWithCursors();
  auto fill = [&](int channel, std::size_t count, double low, double high) {
    ChannelRecord& record = session.channels[channel];
    std::vector<double> samples(count, 0.0);
    samples.front() = low;
    samples.back() = high;
    SetSamples(record, samples);
  };
  fill(1, 801, -1.0, 0.5);
  fill(2, 2001, -3.0, 3.0);  // hidden: neither its length nor its range counts
  fill(5, 101, 0.0, 2.0);
  view.channelShown[2] = false;
  ASSERT_TRUE(FitAllShown(view, session, kArea));
  EXPECT_DOUBLE_EQ(view.scale.pixelsPerSample, 0.5);
  EXPECT_EQ(view.scale.scrollOffset, 0);
  EXPECT_DOUBLE_EQ(view.scale.pixelsPerVolt, 260.0 / 3.0);
  EXPECT_EQ(view.scale.originY, 150 + 43);  // 0.5 V in the middle
  ZoomTime(view, 2.0, 0);
  ASSERT_TRUE(ZoomBack(view));
  EXPECT_DOUBLE_EQ(view.scale.pixelsPerSample, 0.5);
  ASSERT_TRUE(ZoomBack(view));
  EXPECT_EQ(view.scale.scrollOffset, 200);
  EXPECT_FALSE(ZoomBack(view));
  EXPECT_FALSE(FitAllShown(view, Session{}, kArea));
}

}  // namespace
}  // namespace tavril
