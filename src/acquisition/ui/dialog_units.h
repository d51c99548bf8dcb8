#pragma once

#include <cmath>

#include <QFont>
#include <QRect>
#include <QSize>

namespace tavril {

// Dialog units of the templates' 8-point font, in pixels: x × 1.5, y × 1.625,
// so that the windows keep the proportions of their templates.
inline int DialogX(int units) {
  return static_cast<int>(std::lround(units * 1.5));
}
inline int DialogY(int units) {
  return static_cast<int>(std::lround(units * 1.625));
}
inline QRect DialogRect(int x, int y, int width, int height) {
  return QRect(DialogX(x), DialogY(y), DialogX(width), DialogY(height));
}
inline QSize DialogSize(int width, int height) {
  return QSize(DialogX(width), DialogY(height));
}

// The templates' 8-point font; the family falls back to the system's sans serif.
inline QFont DialogFont() {
  QFont font(QStringLiteral("MS Sans Serif"), 8);
  font.setStyleHint(QFont::SansSerif);
  return font;
}

}  // namespace tavril
