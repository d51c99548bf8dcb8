#pragma once

#include <QWidget>

#include <cstdint>
#include <string>
#include <vector>

#include "ui/common/app_state.h"

namespace tavril {

// The 70-pixel strip under the graph: the master channel's number, title,
// gain, points, rate and statistics, and the index, value and time under
// each cursor with their differences. It keeps no state of its own.
// Texts use the application's font family at 12 pixels, so that a row fits
// the 17 pixels of the 70-pixel strip.
class InfoStripWidget : public QWidget {
  Q_OBJECT

 public:
  explicit InfoStripWidget(const AppState& state, QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  const AppState& state_;
};

}  // namespace tavril
