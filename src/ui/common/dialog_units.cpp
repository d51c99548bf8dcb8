#include "ui/common/dialog_units.h"

#include <QFontMetricsF>
#include <QListWidget>
#include <QStringList>
#include <algorithm>
#include <cmath>

namespace tavril {
namespace {

constexpr double kTemplateCharWidth = 6.0;
constexpr int kLargestPixelSize = 11;  // 8 points at 96 dots per inch, rounded up
constexpr int kSmallestPixelSize = 8;

// The width the platform's dialog mapping measures a font by.
double AverageCharWidth(const QFont& font) {
  static const QString kAlphabet =
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  return QFontMetricsF(font).horizontalAdvance(kAlphabet) / kAlphabet.size();
}

}  // namespace

int DialogX(int units) {
  return static_cast<int>(std::lround(units * 1.5));
}

int DialogY(int units) {
  return static_cast<int>(std::lround(units * 1.625));
}

QRect DialogRect(int x, int y, int width, int height) {
  return QRect(QPoint(DialogX(x), DialogY(y)),
               QPoint(DialogX(x + width) - 1, DialogY(y + height) - 1));
}

QSize DialogSize(int width, int height) {
  return QSize(DialogX(width), DialogY(height));
}

QFont DialogFont() {
  QFont font;
  font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                    QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                    QStringLiteral("Arimo"), QStringLiteral("Nimbus Sans"),
                    QStringLiteral("Helvetica")});
  font.setStyleHint(QFont::SansSerif);
  for (int pixels = kLargestPixelSize; pixels >= kSmallestPixelSize; --pixels) {
    font.setPixelSize(pixels);
    if (AverageCharWidth(font) <= kTemplateCharWidth) break;
  }
  return font;
}

void ShowWholeRows(QListWidget& list) {
  if (list.count() == 0) return;
  const int rowHeight = list.sizeHintForRow(0);
  const int frame = 2 * list.frameWidth();
  if (rowHeight <= 0) return;
  const int rows = std::max(1, (list.height() - frame) / rowHeight);
  list.resize(list.width(), frame + rows * rowHeight);
}

}  // namespace tavril
