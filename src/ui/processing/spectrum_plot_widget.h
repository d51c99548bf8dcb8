#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

#include <optional>
#include <vector>

#include "processing/spectrum.h"

namespace tavril {

// The spectrum's plot: dBV against Hz, linear from 0 to half the rate, with
// graduations, each curve in its colour, and a marker on one peak with its
// text beside it. It only draws what it is given.
class SpectrumPlot : public QWidget {
  Q_OBJECT

 public:
  struct Curve {
    Spectrum spectrum;
    QColor colour;
  };

  explicit SpectrumPlot(QWidget* parent = nullptr);

  // `marked` is the curve whose peak is marked, if any.
  void SetCurves(std::vector<Curve> curves, std::optional<std::size_t> marked);
  const std::vector<Curve>& curves() const { return curves_; }
  // The marker's text ("Pic : 500 Hz, 9.03 dBV"), "Pic : —" without one.
  const QString& markerText() const { return markerText_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::vector<Curve> curves_;
  std::optional<std::size_t> marked_;
  QString markerText_;
};

}  // namespace tavril
