#include "graph_test_support.h"
#include "support/record_checks.h"

#include <QPainter>

#include <cmath>
#include <limits>
#include <numbers>
#include <random>
#include <utility>

namespace tavril::testing {

namespace {

using testing::SetSamples;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

}  // namespace

std::string SignalName(Signal signal) {
  switch (signal) {
    case Signal::kRandomWalk:
      return "random walk";
    case Signal::kSineWithNoise:
      return "sine with noise";
    case Signal::kSpikes:
      return "spikes";
    case Signal::kSteps:
      return "steps";
    case Signal::kFullHeightNoise:
      return "full-height noise";
    case Signal::kNaNBursts:
      return "NaN bursts";
    case Signal::kHugeValues:
      return "huge values";
    case Signal::kAlternatingExtremes:
      return "alternating extremes";
  }
  return "?";
}

std::vector<double> MakeSignal(Signal signal, std::size_t count, std::uint32_t seed) {
  std::mt19937_64 random(seed);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  std::uniform_int_distribution<int> percent(0, 99);
  std::vector<double> samples(count);
  double level = 0.0;
  std::size_t nanRunLeft = 0;
  for (std::size_t j = 0; j < count; ++j) {
    double& sample = samples[j];
    switch (signal) {
      case Signal::kRandomWalk:
        level += 0.02 * unit(random);
        sample = level;
        break;
      case Signal::kSineWithNoise:
        sample =
            std::sin(2.0 * std::numbers::pi * static_cast<double>(j) / 997.0) + 0.01 * unit(random);
        break;
      case Signal::kSpikes:
        sample = percent(random) == 0 ? 40.0 * unit(random) : 0.001 * unit(random);
        break;
      case Signal::kSteps:
        if (percent(random) < 2) level = std::round(unit(random) * 4.0) / 4.0;
        sample = level;
        break;
      case Signal::kFullHeightNoise:
        sample = unit(random);
        break;
      case Signal::kNaNBursts: {
        // Single NaNs among a walk, and runs of a few hundred NaNs.
        level += 0.05 * unit(random);
        const int dice = percent(random);
        if (dice == 99) nanRunLeft = static_cast<std::size_t>(percent(random)) * 5;
        sample = (nanRunLeft > 0 || dice < 3) ? kNaN : level;
        if (nanRunLeft > 0) --nanRunLeft;
        break;
      }
      case Signal::kHugeValues: {
        const double huge[] = {1e300, -1e300, kInf, -kInf, 3e9, -3e9, 2.5e7, -2.5e7, 0.0, kNaN};
        sample = percent(random) < 40 ? huge[percent(random) % 10] : unit(random);
        break;
      }
      case Signal::kAlternatingExtremes:
        sample = (j % 2 == 0) ? 1.0 : -1.0;
        if (percent(random) == 0) sample = -sample;
        break;
    }
  }
  return samples;
}

QImage ReferenceFrame(const Session& session, const ViewState& view, QSize area) {
  const GraphPens pens;
  QImage frame(area, QImage::Format_RGB32);
  frame.fill(Qt::black);
  QPainter painter(&frame);
  PaintGraphBackdrop(painter, pens, view.scale, view.cursors, area);
  DrawCurvesSegmentBySegment(painter, pens, session, view);
  return frame;
}

QImage LayeredFrame(const Session& session, const ViewState& view, QSize area, CurveLayer& layer) {
  const GraphPens pens;
  QImage frame(area, QImage::Format_RGB32);
  frame.fill(Qt::black);
  QPainter painter(&frame);
  PaintGraphBackdrop(painter, pens, view.scale, view.cursors, area);
  const QImage& curves = layer.Render(session, view, pens, area);
  if (!curves.isNull()) painter.drawImage(QPoint(0, 0), curves);
  return frame;
}

QImage ReferenceCurves(const Session& session, const ViewState& view, QSize area) {
  const GraphPens pens;
  QImage curves(area, QImage::Format_ARGB32_Premultiplied);
  curves.fill(Qt::transparent);
  QPainter painter(&curves);
  DrawCurvesSegmentBySegment(painter, pens, session, view);
  return curves;
}

ImageDifference CompareImages(const QImage& actual, const QImage& expected) {
  ImageDifference difference;
  if (actual.size() != expected.size()) {
    difference.count = std::max(actual.width() * actual.height(), 1);
    return difference;
  }
  const QImage a = actual.convertToFormat(QImage::Format_ARGB32);
  const QImage b = expected.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < a.height(); ++y) {
    const QRgb* rowA = reinterpret_cast<const QRgb*>(a.constScanLine(y));
    const QRgb* rowB = reinterpret_cast<const QRgb*>(b.constScanLine(y));
    for (int x = 0; x < a.width(); ++x) {
      if (rowA[x] == rowB[x]) continue;
      if (difference.count == 0) difference.first = QPoint(x, y);
      ++difference.count;
    }
  }
  return difference;
}

}  // namespace tavril::testing
