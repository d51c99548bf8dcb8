#include "ui/display/info_strip_widget.h"

#include <QColor>
#include <QFontMetrics>
#include <QPainter>
#include <QString>

#include "display/info_strip_text.h"

namespace tavril {

namespace {

constexpr QRgb kStripBackground = 0xFFC0C0C0;  // RGB(192, 192, 192)
constexpr int kTextPixelSize = 12;

}  // namespace

InfoStripWidget::InfoStripWidget(const Session& session, const ViewState& view, QWidget* parent)
    : QWidget(parent), session_(session), view_(view) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setCursor(Qt::ArrowCursor);
  QFont textFont = font();
  textFont.setPixelSize(kTextPixelSize);
  setFont(textFont);
}

void InfoStripWidget::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.fillRect(rect(), QColor::fromRgb(kStripBackground));
  const int ascent = QFontMetrics(font()).ascent();
  const std::vector<StripText> texts =
      view_.recording ? RecordingStripTexts(*view_.recording, session_.masterChannel, view_.scale,
                                            view_.cursors, height())
                      : InfoStripTexts(session_.Master(), session_.masterChannel, view_.scale,
                                       view_.cursors, height());
  for (const StripText& item : texts) {
    painter.setPen(QColor::fromRgb(item.rgb));
    painter.drawText(QPoint(item.x, item.y + ascent), QString::fromStdString(item.text));
  }
}

}  // namespace tavril
