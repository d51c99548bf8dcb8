#pragma once

#include <QByteArray>
#include <QWidget>

#include <optional>
#include <vector>

#include "acquisition/frequency_response.h"

namespace tavril {

enum class PlotImageFormat { kPng, kSvg };

// The frequency response as it is measured: the gain in dB above, the phase
// in degrees below, against one logarithmic frequency axis (decades, with
// the 2 to 9 between), in the graph's colours on white. A click or a drag
// puts the marker on the measured point nearest in frequency. It only draws
// what it is given.
class FrequencyResponsePlot : public QWidget {
  Q_OBJECT

 public:
  explicit FrequencyResponsePlot(QWidget* parent = nullptr);

  // The frequencies the sweep goes through: the axis spans their decades.
  void SetSpan(double fromHz, double toHz);
  void SetPoints(std::vector<FrequencyPoint> points);
  void AddPoint(const FrequencyPoint& point);
  const std::vector<FrequencyPoint>& points() const { return points_; }

  std::optional<std::size_t> marker() const { return marker_; }
  void SetMarker(std::optional<std::size_t> index);
  // Puts the marker on the point nearest in frequency to the plot's column `x`.
  void PutMarkerAtColumn(int x);

  // Paints the plot in a picture of `size` (what the widget shows at that size).
  void Paint(QPainter& painter, QSize size) const;
  // The plot as the widget shows it, as a PNG or SVG file's bytes; empty on failure.
  QByteArray Encode(PlotImageFormat format) const;

 signals:
  void markerMoved();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  double fromHz_ = 10.0;
  double toHz_ = 10000.0;
  std::vector<FrequencyPoint> points_;
  std::optional<std::size_t> marker_;
};

}  // namespace tavril
