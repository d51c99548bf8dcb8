#include "ui/processing/spectrum_plot_widget.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <numeric>
#include <utility>

#include "display/graph_axes.h"
#include "processing/spectrum_plot.h"
#include "processing/spectrum_text.h"

namespace tavril {
namespace {

// Room for the dBV labels on the left and the frequency labels below.
constexpr int kLeft = 44, kRight = 30, kTop = 26, kBottom = 24;
// What the plot shows below the highest bin: deeper lies only noise and floor.
constexpr double kDepthDb = 160;

}  // namespace

SpectrumPlot::SpectrumPlot(QWidget* parent) : QWidget(parent) {
  setMinimumSize(320, 200);
  setAutoFillBackground(true);
  QPalette white = palette();
  white.setColor(QPalette::Window, Qt::white);
  setPalette(white);
  markerText_ = QString::fromStdString(SpectrumPeakText(Spectrum{}));
}

void SpectrumPlot::SetCurves(std::vector<Curve> curves, std::optional<std::size_t> marked) {
  curves_ = std::move(curves);
  marked_ = marked && *marked < curves_.size() ? marked : std::nullopt;
  markerText_ =
      QString::fromStdString(SpectrumPeakText(marked_ ? curves_[*marked_].spectrum : Spectrum{}));
  update();
}

void SpectrumPlot::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect area = rect().adjusted(kLeft, kTop, -kRight, -kBottom);
  if (area.width() < 2 || area.height() < 2) return;
  const QFontMetrics metrics = painter.fontMetrics();

  double maxHz = 0, lowest = kFloorDbv, highest = kFloorDbv;
  bool first = true;
  for (const Curve& curve : curves_) {
    if (curve.spectrum.dbv.empty()) continue;
    const auto [low, high] =
        std::minmax_element(curve.spectrum.dbv.begin(), curve.spectrum.dbv.end());
    lowest = first ? *low : std::min(lowest, *low);
    highest = first ? *high : std::max(highest, *high);
    maxHz =
        std::max(maxHz, curve.spectrum.binHz * static_cast<double>(curve.spectrum.dbv.size() - 1));
    first = false;
  }
  if (first) {
    painter.drawRect(area);
    painter.drawText(area, Qt::AlignCenter, QStringLiteral("Aucun enregistrement à analyser"));
    return;
  }
  const DbvRange range = PlotDbvRange(lowest, highest, kDepthDb);
  const auto xOf = [&](double hz) { return area.left() + hz / maxHz * (area.width() - 1); };
  const auto yOf = [&](double dbv) {
    const double clamped = std::clamp(dbv, range.low, range.high);
    return area.bottom() - (clamped - range.low) / (range.high - range.low) * (area.height() - 1);
  };

  const QPen grid(QColor(0xDD, 0xDD, 0xDD));
  const LabelExtent width = [&metrics](const std::string& label) {
    return static_cast<double>(metrics.horizontalAdvance(QString::fromStdString(label)));
  };
  const AxisSpan frequencies{0.0, maxHz, static_cast<double>(area.width() - 1)};
  for (const AxisTick& tick : ComputeAxisTicks(frequencies, "Hz", width, 16.0)) {
    const int x = static_cast<int>(xOf(tick.value));
    painter.setPen(grid);
    painter.drawLine(x, area.top(), x, area.bottom());
    painter.setPen(Qt::black);
    const QString label = QString::fromStdString(tick.label);
    painter.drawText(QRect(x - 40, area.bottom() + 4, 80, kBottom - 4),
                     Qt::AlignHCenter | Qt::AlignTop, label);
  }
  const LabelExtent height = [&metrics](const std::string&) {
    return static_cast<double>(metrics.height());
  };
  const AxisSpan levels{range.high, range.low, static_cast<double>(area.height() - 1)};
  for (const AxisTick& tick : ComputeAxisTicks(levels, "", height, metrics.height())) {
    const int y = static_cast<int>(yOf(tick.value));
    painter.setPen(grid);
    painter.drawLine(area.left(), y, area.right(), y);
    painter.setPen(Qt::black);
    painter.drawText(QRect(0, y - metrics.height() / 2, kLeft - 4, metrics.height()),
                     Qt::AlignRight | Qt::AlignVCenter, QString::fromStdString(tick.label));
  }
  painter.drawText(QRect(0, 0, kLeft - 4, kTop), Qt::AlignRight | Qt::AlignVCenter,
                   QStringLiteral("dBV"));
  painter.drawRect(area);

  // Each curve spans the width its own rate gives it; the marked one comes
  // last, on top of the others.
  std::vector<std::size_t> order(curves_.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  if (marked_) std::rotate(order.begin() + *marked_, order.begin() + *marked_ + 1, order.end());
  for (const std::size_t i : order) {
    const Curve& curve = curves_[i];
    const std::vector<double>& dbv = curve.spectrum.dbv;
    if (dbv.empty()) continue;
    const double curveHz = curve.spectrum.binHz * static_cast<double>(dbv.size() - 1);
    const int columns = std::max(1, static_cast<int>(xOf(curveHz) - area.left()) + 1);
    painter.setPen(curve.colour);
    const std::vector<ColumnRange> ranges = PlotColumns(dbv, columns);
    for (int c = 0; c < columns; ++c) {
      const int x = area.left() + c;
      painter.drawLine(x, static_cast<int>(yOf(ranges[c].low)), x,
                       static_cast<int>(yOf(ranges[c].high)));
    }
  }

  if (!marked_ || !curves_[*marked_].spectrum.peak) return;
  const SpectrumPeak& peak = *curves_[*marked_].spectrum.peak;
  const QPointF at(xOf(peak.frequency), yOf(peak.dbv));
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(QColor(0xD5, 0x5E, 0x00), 2));
  painter.drawEllipse(at, 4, 4);
  const int textWidth = metrics.horizontalAdvance(markerText_);
  // Beside the marker, on whichever side has room, and inside the plot.
  double x = at.x() + 8;
  if (x + textWidth > area.right()) x = at.x() - 8 - textWidth;
  const double y = std::max(at.y() - 6, static_cast<double>(area.top() + metrics.ascent()));
  painter.setPen(Qt::black);
  painter.drawText(QPointF(std::max(x, static_cast<double>(area.left() + 2)), y), markerText_);
}

}  // namespace tavril
