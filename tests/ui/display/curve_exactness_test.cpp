// The fast curve drawing must light exactly the pixels of the straightforward
// one: one independent line per pair of neighbouring samples with the same
// pens. Every test renders both ways and counts differing pixels.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include <cmath>
#include <limits>
#include <random>
#include <string>

#include "graph_test_support.h"
#include "support/record_checks.h"
#include "ui/display/graph_painter.h"

namespace tavril {
namespace {

using testing::Values;

using testing::CompareImages;
using testing::ImageDifference;
using testing::kAllSignals;
using testing::MakeSignal;
using testing::SetSamples;
using testing::Signal;
using testing::SignalName;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr std::int32_t kInt32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kInt32Min = std::numeric_limits<std::int32_t>::min();

// Both the curve image alone (transparent where no curve is) and the composed
// frame must match; returns false after the first mismatch so that a broken
// build does not print thousands of failures.
bool ExpectDrawnAlike(const Session& session, const ViewState& view, QSize area,
                      const std::string& label) {
  CurveLayer layer;
  const ImageDifference curves = CompareImages(layer.Render(session, view, GraphPens{}, area),
                                               testing::ReferenceCurves(session, view, area));
  EXPECT_EQ(curves.count, 0) << label << ": curve image, first at " << curves.first.x() << ","
                             << curves.first.y();
  const ImageDifference frame = CompareImages(testing::LayeredFrame(session, view, area, layer),
                                              testing::ReferenceFrame(session, view, area));
  EXPECT_EQ(frame.count, 0) << label << ": composed frame, first at " << frame.first.x() << ","
                            << frame.first.y();
  return curves.count == 0 && frame.count == 0;
}

std::string ScaleText(const GraphScale& scale) {
  return "pps " + std::to_string(scale.pixelsPerSample) + " ppv " +
         std::to_string(scale.pixelsPerVolt) + " originY " + std::to_string(scale.originY) +
         " scroll " + std::to_string(scale.scrollOffset);
}

TEST(CurveExactness, EverySignalAtScalesFromAThousandthToAThousandPixelsPerSample) {
  constexpr std::size_t kCount = 3000;
  const QSize area(320, 200);
  const double pixelsPerSample[] = {0.001, 0.0137, 0.25, 0.5905907, 1.0, 1.5, 3.7, 1000.0};
  const double pixelsPerVolt[] = {100.0, 37.5, 0.001, 5e6};
  const std::int32_t scrolls[] = {0, 37, kCount / 2, kCount - 1, kCount + 25};
  std::uint32_t seed = 1;
  for (const Signal signal : kAllSignals) {
    Session session;
    ViewState view;
    SetSamples(session.channels[0], MakeSignal(signal, kCount, seed++));
    view.cursors.cursorsShown = true;
    view.cursors.cursor1X = 40;
    view.cursors.cursor2X = 250;
    for (const double pps : pixelsPerSample) {
      for (const double ppv : pixelsPerVolt) {
        for (const std::int32_t scroll : scrolls) {
          view.scale = GraphScale{pps, ppv, area.height() / 2, scroll, false};
          if (!ExpectDrawnAlike(session, view, area,
                                SignalName(signal) + ", " + ScaleText(view.scale)))
            return;
        }
      }
    }
  }
}

TEST(CurveExactness, AutomaticScaleOfEverySignal) {
  const QSize area(640, 300);
  std::uint32_t seed = 100;
  for (const Signal signal : kAllSignals) {
    for (const std::size_t count : {1u, 2u, 3u, 641u, 20000u}) {
      Session session;
      ViewState view;
      SetSamples(session.channels[0], MakeSignal(signal, count, seed++));
      ComputeAutoScale(view.scale, session.channels[0], ClientSize{640, 300});
      if (!ExpectDrawnAlike(
              session, view, area,
              SignalName(signal) + " x" + std::to_string(count) + ", " + ScaleText(view.scale)))
        return;
    }
  }
}

TEST(CurveExactness, OverlappingChannelsDrawInChannelOrderWithTheMasterPen) {
  const QSize area(500, 260);
  Session session;
  ViewState view;
  std::uint32_t seed = 200;
  for (int channel = 0; channel < kChannelCount; ++channel) {
    if (channel == 6) continue;  // holds no samples
    SetSamples(session.channels[channel],
               MakeSignal(kAllSignals[channel], 4000 + 500 * channel, seed++));
  }
  view.channelShown[5] = false;
  session.masterChannel = 3;
  view.scale = GraphScale{0.137, 90.0, 130, 120, false};
  view.cursors = GraphCursors{60, 400, true, CursorDrag::kNone};
  ASSERT_TRUE(ExpectDrawnAlike(session, view, area, "eight channels"));
  session.masterChannel = 6;  // a master without samples: every curve in the other pen
  ASSERT_TRUE(ExpectDrawnAlike(session, view, area, "master without samples"));
}

TEST(CurveExactness, DegenerateScalesAndExtremeOrigins) {
  const QSize area(200, 150);
  struct Case {
    double pps;
    double ppv;
    std::int32_t originY;
    std::int32_t scroll;
  };
  const Case cases[] = {
      {0.0, 100.0, 75, 0},         {kNaN, 100.0, 75, 0},      {kInf, 100.0, 75, 10},
      {-kInf, 100.0, 75, 10},      {-0.37, 100.0, 75, 700},   {-3.0, 50.0, 75, 60},
      {0.5, 0.0, 75, 0},           {0.5, kNaN, 75, 0},        {0.5, kInf, 75, 0},
      {0.5, -kInf, 75, 0},         {0.5, -80.0, 75, 0},       {0.5, 100.0, kInt32Max, 0},
      {0.5, 100.0, kInt32Min, 0},  {0.5, 1e300, 75, 0},       {1e300, 100.0, 75, 3},
      {0.5, 100.0, 75, kInt32Max}, {2.5, 100.0, -1000000, 5}, {0.01, 3e8, 75, 0},
  };
  std::uint32_t seed = 300;
  for (const Signal signal : kAllSignals) {
    Session session;
    ViewState view;
    SetSamples(session.channels[0], MakeSignal(signal, 2000, seed++));
    for (const Case& c : cases) {
      view.scale = GraphScale{c.pps, c.ppv, c.originY, c.scroll, false};
      if (!ExpectDrawnAlike(session, view, area, SignalName(signal) + ", " + ScaleText(view.scale)))
        return;
    }
  }
}

TEST(CurveExactness, ZeroVerticalScaleWithInfinitiesAroundFiniteSamples) {
  Session session;
  ViewState view;
  SetSamples(session.channels[0], {kInf, 0.5, -kInf, kNaN, -kInf, kInf, 2.0, kInf, -kInf});
  view.scale = GraphScale{0.3, 0.0, 40, 0, false};
  EXPECT_TRUE(ExpectDrawnAlike(session, view, QSize(20, 60), "zero vertical scale"));
}

TEST(CurveExactness, SaturatedLinesClipAsTheStraightforwardDrawing) {
  // Every point saturates to a corner of the 32-bit plane or sits in view.
  Session session;
  ViewState view;
  SetSamples(session.channels[0], {1e300, -1e300, 0.1, 1e300, -0.2, -1e300, 1e300, kNaN, -1e300});
  for (const double pps : {1e12, 40.0, 0.9}) {
    for (const std::int32_t scroll : {0, 2, 4, 8}) {
      view.scale = GraphScale{pps, 100.0, 50, scroll, false};
      if (!ExpectDrawnAlike(session, view, QSize(120, 100), ScaleText(view.scale))) return;
    }
  }
}

TEST(CurveExactness, TinyAreas) {
  Session session;
  ViewState view;
  SetSamples(session.channels[2], MakeSignal(Signal::kFullHeightNoise, 500, 9));
  for (const QSize area : {QSize(1, 1), QSize(1, 40), QSize(40, 1), QSize(3, 3)}) {
    view.scale = GraphScale{0.2, 1.0, area.height() / 2, 0, false};
    EXPECT_TRUE(ExpectDrawnAlike(
        session, view, area,
        "area " + std::to_string(area.width()) + "x" + std::to_string(area.height())));
  }
}

// Random records, scales, areas and channel mixes; the seed is printed with
// any failure.
TEST(CurveExactness, RandomStates) {
  std::mt19937_64 random(2024);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  auto logUniform = [&](double low, double high) {
    return std::exp(std::log(low) + unit(random) * (std::log(high) - std::log(low)));
  };
  for (int round = 0; round < 250; ++round) {
    Session session;
    ViewState view;
    const QSize area(1 + static_cast<int>(unit(random) * 400),
                     1 + static_cast<int>(unit(random) * 300));
    const int channels = 1 + static_cast<int>(unit(random) * 3);
    std::size_t longest = 1;
    for (int i = 0; i < channels; ++i) {
      const int channel = static_cast<int>(unit(random) * kChannelCount);
      const std::size_t count = static_cast<std::size_t>(logUniform(1.0, 30000.0));
      longest = std::max(longest, count);
      SetSamples(session.channels[channel],
                 MakeSignal(kAllSignals[static_cast<int>(unit(random) * 8)], count,
                            static_cast<std::uint32_t>(round * 10 + i)));
      session.masterChannel = channel;
    }
    GraphScale& scale = view.scale;
    scale.pixelsPerSample = logUniform(1e-3, 1e3);
    if (unit(random) < 0.05) scale.pixelsPerSample = -scale.pixelsPerSample;
    scale.pixelsPerVolt = logUniform(1e-3, 1e7) * (unit(random) < 0.1 ? -1.0 : 1.0);
    if (unit(random) < 0.03) scale.pixelsPerVolt = 0.0;
    scale.originY = static_cast<std::int32_t>((unit(random) * 5.0 - 2.0) * area.height());
    scale.scrollOffset =
        static_cast<std::int32_t>(unit(random) * 1.2 * static_cast<double>(longest));
    view.cursors = GraphCursors{static_cast<std::int32_t>(unit(random) * area.width()),
                                static_cast<std::int32_t>(unit(random) * area.width()),
                                unit(random) < 0.5, CursorDrag::kNone};
    if (!ExpectDrawnAlike(session, view, area,
                          "round " + std::to_string(round) + ", " + ScaleText(scale)))
      return;
  }
}

TEST(CurveLayer, CursorMoveKeepsTheCurveImage) {
  Session session;
  ViewState view;
  SetSamples(session.channels[0], MakeSignal(Signal::kSineWithNoise, 10000, 4));
  ComputeAutoScale(view.scale, session.channels[0], ClientSize{300, 200});
  CurveLayer layer;
  const GraphPens pens;
  const qint64 first = layer.Render(session, view, pens, QSize(300, 200)).cacheKey();
  view.cursors = GraphCursors{10, 200, true, CursorDrag::kCursor1};
  EXPECT_EQ(layer.Render(session, view, pens, QSize(300, 200)).cacheKey(), first);
  EXPECT_EQ(layer.pyramidBuilds(), 1u);
}

TEST(CurveLayer, ScaleOrSwitchChangeRedrawsWithoutRebuildingThePyramid) {
  Session session;
  ViewState view;
  SetSamples(session.channels[0], MakeSignal(Signal::kRandomWalk, 10000, 4));
  SetSamples(session.channels[1], MakeSignal(Signal::kSteps, 10000, 5));
  CurveLayer layer;
  const GraphPens pens;
  const QSize area(300, 200);
  qint64 key = layer.Render(session, view, pens, area).cacheKey();
  auto redrawn = [&] {
    const qint64 now = layer.Render(session, view, pens, area).cacheKey();
    const bool changed = now != key;
    key = now;
    return changed;
  };
  view.scale.scrollOffset = 100;
  EXPECT_TRUE(redrawn());
  view.scale.pixelsPerVolt = 20.0;
  EXPECT_TRUE(redrawn());
  view.channelShown[1] = false;
  EXPECT_TRUE(redrawn());
  session.masterChannel = 1;
  EXPECT_TRUE(redrawn());
  EXPECT_FALSE(redrawn());
  layer.Invalidate();
  EXPECT_TRUE(redrawn());
  EXPECT_EQ(layer.pyramidBuilds(), 2u);
}

TEST(CurveLayer, ChangedSamplesRebuildOnlyTheirPyramid) {
  Session session;
  ViewState view;
  SetSamples(session.channels[0], MakeSignal(Signal::kRandomWalk, 5000, 4));
  SetSamples(session.channels[1], MakeSignal(Signal::kSteps, 5000, 5));
  CurveLayer layer;
  const GraphPens pens;
  const QSize area(300, 200);
  layer.Render(session, view, pens, area);
  ASSERT_EQ(layer.pyramidBuilds(), 2u);

  // New samples.
  std::vector<double> changed = Values(session.channels[1]);
  changed[10] = 3.0;
  SetSamples(session.channels[1], changed);
  layer.Render(session, view, pens, area);
  EXPECT_EQ(layer.pyramidBuilds(), 3u);
  EXPECT_EQ(CompareImages(layer.Render(session, view, pens, area),
                          testing::ReferenceCurves(session, view, area))
                .count,
            0);

  ResetChannels(session.channels, 1);
  EXPECT_TRUE(layer.Render(session, view, pens, area).isNull() == false);
  EXPECT_EQ(CompareImages(layer.Render(session, view, pens, area),
                          testing::ReferenceCurves(session, view, area))
                .count,
            0);
  EXPECT_EQ(layer.pyramidBuilds(), 3u);
}

TEST(ShortLines, LightWhatQPainterLightsOrAreLeftToIt) {
  QImage direct(8, 400, QImage::Format_ARGB32_Premultiplied);
  QImage painted(direct.size(), direct.format());
  const QRgb colour = qRgb(0, 0, 255);
  for (int dx = -1; dx <= 1; ++dx) {
    for (int dy = -130; dy <= 130; ++dy) {
      for (const int y0 : {131, 200, 263}) {
        const PixelPoint from{3, y0};
        const PixelPoint to{3 + dx, y0 + dy};
        direct.fill(Qt::transparent);
        painted.fill(Qt::transparent);
        QPainter painter(&painted);
        painter.setPen(QPen(QColor(colour), 0));
        painter.drawLine(QPoint(from.x, from.y), QPoint(to.x, to.y));
        painter.end();
        if (!LightShortLine(direct, from, to, colour)) {
          EXPECT_TRUE(dy == 0 || std::abs(dy) > 128) << dx << "," << dy;
          continue;
        }
        ASSERT_EQ(CompareImages(direct, painted).count, 0) << dx << "," << dy << " at " << y0;
      }
    }
  }
  EXPECT_FALSE(LightShortLine(direct, {3, 0}, {5, 10}, colour));   // two columns apart
  EXPECT_FALSE(LightShortLine(direct, {3, -1}, {3, 10}, colour));  // not inside
}

}  // namespace
}  // namespace tavril
