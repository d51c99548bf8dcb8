#pragma once

#include <QWidget>

#include <cstdint>
#include <string>
#include <vector>

#include "app/app_state.h"

namespace tavril {

// One text of the strip: its top-left corner, its colour as 0xRRGGBB and its
// UTF-8 characters.
struct StripText {
  std::int32_t x = 0;
  std::int32_t y = 0;
  std::uint32_t rgb = 0;
  std::string text;
  bool operator==(const StripText&) const = default;
};

// What the strip shows for `state` in a strip `stripHeight` pixels high, in
// drawing order: row 0, the right-hand column, then the statistics, the
// cursor columns and the differences as far as the master record allows.
std::vector<StripText> InfoStripTexts(const AppState& state, std::int32_t stripHeight);

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
