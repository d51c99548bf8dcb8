#include "ui/acquisition/frequency_response_plot.h"

#include <QBuffer>
#include <QFontMetrics>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QSvgGenerator>

#include <algorithm>
#include <functional>
#include <utility>

#include "display/channel_colours.h"
#include "display/graph_axes.h"
#include "display/log_axis.h"
#include "model/program.h"
#include "text/number_text.h"

namespace tavril {
namespace {

// Room for the labels on the left, the frequencies below, and a heading
// above each of the two plots.
constexpr int kLeft = 48, kRight = 24, kTop = 22, kGap = 30, kBottom = 24;
const QColor kGainColour = QColor::fromRgb(kChannelColours[5]);
const QColor kPhaseColour = QColor::fromRgb(kChannelColours[3]);
const QColor kMarkerColour = QColor::fromRgb(kChannelColours[6]);
const QColor kGridColour(0xDD, 0xDD, 0xDD);
const QColor kMinorGridColour(0xEE, 0xEE, 0xEE);

// Where the two plots lie in a picture of `size`.
struct PlotAreas {
  QRect gain;
  QRect phase;
};
PlotAreas AreasOf(QSize size) {
  const int height = std::max(2, (size.height() - kTop - kGap - kBottom) / 2);
  const int width = std::max(2, size.width() - kLeft - kRight);
  return {QRect(kLeft, kTop, width, height), QRect(kLeft, kTop + height + kGap, width, height)};
}

LogAxis FrequencyAxis(double fromHz, double toHz, const std::vector<FrequencyPoint>& points) {
  double lowest = fromHz, highest = toHz;
  for (const FrequencyPoint& point : points) {
    lowest = std::min(lowest, point.hz);
    highest = std::max(highest, point.hz);
  }
  return DecadesAround(lowest, highest);
}

double XOf(const LogAxis& axis, const QRect& area, double hz) {
  return area.left() + LogAxisFraction(axis, hz) * (area.width() - 1);
}

// One plot: its frame, the frequency grid, its level graduations and
// heading, and the curve of `value` over the points.
void PaintOnePlot(QPainter& painter, const QRect& area, const LogAxis& axis,
                  const std::vector<FrequencyPoint>& points,
                  const std::function<double(const FrequencyPoint&)>& value, PlotRange range,
                  double step, const QString& heading, const QColor& colour) {
  const QFontMetrics metrics = painter.fontMetrics();
  const auto yOf = [&](double v) {
    return area.bottom() - (v - range.low) / (range.high - range.low) * (area.height() - 1);
  };
  for (const LogTick& tick : LogAxisTicks(axis, "Hz")) {
    const int x = static_cast<int>(XOf(axis, area, tick.value) + 0.5);
    painter.setPen(tick.decade ? kGridColour : kMinorGridColour);
    painter.drawLine(x, area.top(), x, area.bottom());
  }
  const LabelExtent height = [&metrics](const std::string&) {
    return static_cast<double>(metrics.height());
  };
  const AxisSpan levels{range.high, range.low, static_cast<double>(area.height() - 1)};
  std::vector<AxisTick> ticks = ComputeAxisTicks(levels, "", height, metrics.height());
  // The phase reads best on its quarter turns, when they fit.
  const double steps = (range.high - range.low) / step;
  if (step > 0.0 && steps * metrics.height() * 1.5 <= area.height()) {
    ticks.clear();
    for (double v = range.low; v <= range.high + step / 2; v += step) {
      ticks.push_back({v, 0.0, ShortestText(v)});
    }
  }
  for (const AxisTick& tick : ticks) {
    const int y = static_cast<int>(yOf(tick.value) + 0.5);
    painter.setPen(kGridColour);
    painter.drawLine(area.left(), y, area.right(), y);
    painter.setPen(Qt::black);
    painter.drawText(QRect(0, y - metrics.height() / 2, kLeft - 4, metrics.height()),
                     Qt::AlignRight | Qt::AlignVCenter, QString::fromStdString(tick.label));
  }
  painter.setPen(Qt::black);
  painter.drawText(QRect(area.left(), area.top() - kTop, area.width(), kTop),
                   Qt::AlignLeft | Qt::AlignVCenter, heading);
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(area);
  if (points.empty()) return;

  painter.save();
  painter.setClipRect(area);
  painter.setRenderHint(QPainter::Antialiasing);
  QPainterPath curve;
  for (std::size_t i = 0; i < points.size(); ++i) {
    const QPointF at(XOf(axis, area, points[i].hz), yOf(value(points[i])));
    if (i == 0) {
      curve.moveTo(at);
    } else {
      curve.lineTo(at);
    }
  }
  painter.setPen(QPen(colour, 1.5));
  painter.drawPath(curve);
  painter.setBrush(colour);
  for (const FrequencyPoint& point : points) {
    painter.drawEllipse(QPointF(XOf(axis, area, point.hz), yOf(value(point))), 2.0, 2.0);
  }
  painter.restore();
}

}  // namespace

FrequencyResponsePlot::FrequencyResponsePlot(QWidget* parent) : QWidget(parent) {
  setMinimumSize(420, 320);
  setAutoFillBackground(true);
  QPalette white = palette();
  white.setColor(QPalette::Window, Qt::white);
  setPalette(white);
  setCursor(Qt::CrossCursor);
}

void FrequencyResponsePlot::SetSpan(double fromHz, double toHz) {
  fromHz_ = fromHz;
  toHz_ = toHz;
  update();
}

void FrequencyResponsePlot::SetPoints(std::vector<FrequencyPoint> points) {
  points_ = std::move(points);
  if (marker_ && *marker_ >= points_.size()) marker_.reset();
  update();
  emit markerMoved();
}

void FrequencyResponsePlot::AddPoint(const FrequencyPoint& point) {
  points_.push_back(point);
  update();
}

void FrequencyResponsePlot::SetMarker(std::optional<std::size_t> index) {
  marker_ = index && *index < points_.size() ? index : std::nullopt;
  update();
  emit markerMoved();
}

void FrequencyResponsePlot::PutMarkerAtColumn(int x) {
  if (points_.empty()) return;
  const LogAxis axis = FrequencyAxis(fromHz_, toHz_, points_);
  const QRect area = AreasOf(size()).gain;
  const double fraction =
      std::clamp(static_cast<double>(x - area.left()) / std::max(1, area.width() - 1), 0.0, 1.0);
  std::vector<double> frequencies(points_.size());
  std::transform(points_.begin(), points_.end(), frequencies.begin(),
                 [](const FrequencyPoint& p) { return p.hz; });
  SetMarker(NearestOnLogAxis(frequencies, LogAxisValue(axis, fraction)));
}

void FrequencyResponsePlot::Paint(QPainter& painter, QSize size) const {
  painter.fillRect(QRect(QPoint(0, 0), size), Qt::white);
  const PlotAreas areas = AreasOf(size);
  const LogAxis axis = FrequencyAxis(fromHz_, toHz_, points_);
  PlotRange gain{-40.0, 0.0}, phase{-180.0, 0.0};
  if (!points_.empty()) {
    const auto [lowGain, highGain] = std::minmax_element(
        points_.begin(), points_.end(),
        [](const FrequencyPoint& a, const FrequencyPoint& b) { return a.gainDb < b.gainDb; });
    const auto [lowPhase, highPhase] = std::minmax_element(
        points_.begin(), points_.end(), [](const FrequencyPoint& a, const FrequencyPoint& b) {
          return a.phaseDegrees < b.phaseDegrees;
        });
    // A little room, so that no point lies on the frame.
    gain = RoundedOut(lowGain->gainDb - 1.0, highGain->gainDb + 1.0, 10.0, 20.0);
    phase = RoundedOut(lowPhase->phaseDegrees, highPhase->phaseDegrees, 45.0, 90.0);
  }
  PaintOnePlot(painter, areas.gain, axis, points_, &FrequencyPoint::gainDb, gain, 0.0,
               QStringLiteral("Gain (dB)"), kGainColour);
  PaintOnePlot(painter, areas.phase, axis, points_, &FrequencyPoint::phaseDegrees, phase, 45.0,
               QStringLiteral("Phase (°)"), kPhaseColour);

  painter.setPen(Qt::black);
  for (const LogTick& tick : LogAxisTicks(axis, "Hz")) {
    if (tick.label.empty()) continue;
    const int x = static_cast<int>(XOf(axis, areas.phase, tick.value) + 0.5);
    painter.drawText(QRect(x - 40, areas.phase.bottom() + 4, 80, kBottom - 4),
                     Qt::AlignHCenter | Qt::AlignTop, QString::fromStdString(tick.label));
  }
  if (!marker_) return;
  const FrequencyPoint& point = points_[*marker_];
  const double x = XOf(axis, areas.gain, point.hz);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(kMarkerColour, 1.0, Qt::DashLine));
  painter.drawLine(QPointF(x, areas.gain.top()), QPointF(x, areas.phase.bottom()));
  painter.setPen(QPen(kMarkerColour, 2.0));
  painter.setBrush(Qt::NoBrush);
  const auto yIn = [](const QRect& area, PlotRange range, double v) {
    return area.bottom() - (v - range.low) / (range.high - range.low) * (area.height() - 1);
  };
  painter.drawEllipse(QPointF(x, yIn(areas.gain, gain, point.gainDb)), 4.5, 4.5);
  painter.drawEllipse(QPointF(x, yIn(areas.phase, phase, point.phaseDegrees)), 4.5, 4.5);
}

QByteArray FrequencyResponsePlot::Encode(PlotImageFormat format) const {
  const QSize area = size();
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  if (format == PlotImageFormat::kSvg) {
    QSvgGenerator generator;
    generator.setOutputDevice(&buffer);
    generator.setViewBox(QRect(QPoint(0, 0), area));
    generator.setTitle(QStringLiteral("Réponse en fréquence"));
    generator.setDescription(QString::fromUtf8(kProgramName));
    QPainter painter;
    if (!painter.begin(&generator)) return {};
    painter.setFont(font());
    Paint(painter, area);
    if (!painter.end()) return {};
    return buffer.data();
  }
  QImage image(area, QImage::Format_RGB32);
  if (image.isNull()) return {};
  {
    QPainter painter(&image);
    painter.setFont(font());
    Paint(painter, area);
  }
  if (!image.save(&buffer, "PNG")) return {};
  return buffer.data();
}

void FrequencyResponsePlot::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  Paint(painter, size());
}

void FrequencyResponsePlot::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) PutMarkerAtColumn(event->position().toPoint().x());
}

void FrequencyResponsePlot::mouseMoveEvent(QMouseEvent* event) {
  if (event->buttons() & Qt::LeftButton) PutMarkerAtColumn(event->position().toPoint().x());
}

}  // namespace tavril
