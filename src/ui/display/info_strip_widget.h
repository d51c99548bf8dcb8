#pragma once

#include <QWidget>

#include <cstdint>
#include <string>
#include <vector>

#include "display/view_state.h"
#include "model/session.h"

namespace tavril {

// The 70-pixel strip under the graph: the master channel's number, title,
// gain, points, rate and statistics, and the index, value and time under
// each cursor with their differences. It keeps no state of its own: its owner
// repaints it (update()) whenever the graph repaints or its cursors or scroll
// offset move.
// Texts use the application's font family at 12 pixels, so that a row fits
// the 17 pixels of the 70-pixel strip.
class InfoStripWidget : public QWidget {
  Q_OBJECT

 public:
  InfoStripWidget(const Session& session, const ViewState& view, QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  const Session& session_;
  const ViewState& view_;
};

}  // namespace tavril
