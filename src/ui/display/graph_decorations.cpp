#include "ui/display/graph_decorations.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPen>

#include <algorithm>
#include <cmath>

#include "display/channel_colours.h"
#include "text/text_encoding.h"
#include "ui/display/graph_painter.h"

namespace tavril {

namespace {

constexpr int kTickLength = 5;
// Between a volt tick and its label: a tick that touched it would read as a
// minus sign ("-2.2 V" for +2.2 V).
constexpr int kTickLabelGap = 7;
constexpr int kLabelPadding = 2;
// Labels of one axis stay this far apart at least, in pixels.
constexpr double kLabelGap = 12.0;
constexpr int kLegendMargin = 8;
constexpr int kSwatchWidth = 18;
constexpr int kLegendTitleWidth = 260;  // longer titles are cut with "…"

const QColor kGraduationColour(40, 40, 40);
const QColor kGridColour(150, 150, 150);
const QColor kPatchColour(255, 255, 255, 210);
const QColor kTriggerColour(213, 94, 0);
constexpr int kTriggerMarkHalfWidth = 6;

void PaintTriggerMark(QPainter& painter, int x) {
  const QPoint corners[3] = {QPoint(x - kTriggerMarkHalfWidth, 0),
                             QPoint(x + kTriggerMarkHalfWidth, 0),
                             QPoint(x, kTriggerMarkHalfWidth + 2)};
  painter.setPen(Qt::NoPen);
  painter.setBrush(kTriggerColour);
  painter.drawPolygon(corners, 3);
  painter.setBrush(Qt::NoBrush);
}

QString ChannelLabel(const Session& session, const ViewState& view, int channel,
                     const QFontMetrics& metrics) {
  QString text = QStringLiteral("Canal %1").arg(channel);
  const QString title =
      QString::fromStdString(Windows1252ToUtf8(ShownTitle(session, view, channel))).trimmed();
  if (!title.isEmpty()) {
    text += QStringLiteral(" : ") + metrics.elidedText(title, Qt::ElideRight, kLegendTitleWidth);
  }
  if (channel == session.masterChannel) text += QStringLiteral(" (maître)");
  return text;
}

bool InsideWidth(double x, QSize area) {
  return x >= 0.0 && x < area.width();
}
bool InsideHeight(double y, QSize area) {
  return y >= 0.0 && y < area.height();
}

// A label on its patch, the patch clear of the area's edges or not drawn.
void PaintLabel(QPainter& painter, const QRect& box, const QString& text) {
  painter.fillRect(box.adjusted(-kLabelPadding, 0, kLabelPadding, 0), kPatchColour);
  painter.setPen(kGraduationColour);
  painter.drawText(box, Qt::AlignCenter, text);
}

void PaintLegend(QPainter& painter, const std::vector<LegendEntry>& legend, QSize area) {
  if (legend.empty()) return;
  const QFontMetrics metrics = painter.fontMetrics();
  QFont bold = painter.font();
  bold.setBold(true);
  const QFontMetrics boldMetrics(bold);
  int textWidth = 0;
  for (const LegendEntry& entry : legend) {
    textWidth =
        std::max(textWidth, (entry.master ? boldMetrics : metrics).horizontalAdvance(entry.text));
  }
  const int lineHeight = boldMetrics.height();
  const int width = kSwatchWidth + 6 + textWidth + 2 * kLegendMargin;
  const int height = lineHeight * static_cast<int>(legend.size()) + kLegendMargin;
  const QRect box(area.width() - width - kLegendMargin, kLegendMargin, width, height);
  painter.fillRect(box, kPatchColour);
  painter.setPen(kGridColour);
  painter.drawRect(box.adjusted(0, 0, -1, -1));
  const QFont regular = painter.font();
  int y = box.top() + kLegendMargin / 2;
  for (const LegendEntry& entry : legend) {
    const int middle = y + lineHeight / 2;
    painter.fillRect(QRect(box.left() + kLegendMargin, middle - 1, kSwatchWidth, 3), entry.colour);
    painter.setFont(entry.master ? bold : regular);
    painter.setPen(kGraduationColour);
    painter.drawText(QRect(box.left() + kLegendMargin + kSwatchWidth + 6, y, textWidth, lineHeight),
                     Qt::AlignLeft | Qt::AlignVCenter, entry.text);
    y += lineHeight;
  }
  painter.setFont(regular);
}

}  // namespace

GraphDecorations DescribeGraphDecorations(const Session& session, const ViewState& view, QSize area,
                                          const QFontMetrics& metrics) {
  GraphDecorations decorations;
  const GraphOptions& options = view.options;
  decorations.grid = options.grid;
  decorations.graduations = options.axes;
  if ((options.axes || options.grid) && !area.isEmpty()) {
    const ClientSize client{area.width(), area.height()};
    const double rate = ShownRate(session, view, session.masterChannel);
    const LabelExtent width = [&metrics](const std::string& label) {
      return static_cast<double>(metrics.horizontalAdvance(QString::fromStdString(label)));
    };
    const LabelExtent height = [&metrics](const std::string&) {
      return static_cast<double>(metrics.height());
    };
    decorations.timeTicks = ComputeAxisTicks(TimeSpanOf(view.scale, rate, client),
                                             HasTimeBase(rate) ? "s" : "", width, kLabelGap);
    decorations.voltTicks =
        ComputeAxisTicks(VoltSpanOf(view.scale, client), "V", height, kLabelGap / 2);
  }
  if (view.triggerMark && !area.isEmpty()) {
    const PixelPoint mark = SampleToPixel(view.scale, static_cast<double>(*view.triggerMark), 0.0);
    if (mark.x >= 0 && mark.x < area.width()) decorations.triggerX = mark.x;
  }
  if (options.colours) {
    for (int channel = 0; channel < kChannelCount; ++channel) {
      if (!IsChannelDrawn(session, view, channel)) continue;
      decorations.legend.push_back(LegendEntry{QColor::fromRgb(kChannelColours[channel]),
                                               ChannelLabel(session, view, channel, metrics),
                                               channel == session.masterChannel});
    }
  }
  return decorations;
}

void PaintGridLines(QPainter& painter, const GraphDecorations& decorations, QSize area) {
  if (!decorations.grid) return;
  painter.setPen(QPen(kGridColour, 0, Qt::DotLine));
  for (const AxisTick& tick : decorations.timeTicks) {
    const int x = static_cast<int>(std::floor(tick.position));
    if (InsideWidth(x, area)) painter.drawLine(x, 0, x, area.height() - 1);
  }
  for (const AxisTick& tick : decorations.voltTicks) {
    const int y = static_cast<int>(std::floor(tick.position));
    if (InsideHeight(y, area)) painter.drawLine(0, y, area.width() - 1, y);
  }
}

void PaintGraduationsAndLegend(QPainter& painter, const GraphDecorations& decorations, QSize area) {
  if (decorations.graduations) {
    const QFontMetrics metrics = painter.fontMetrics();
    const int textHeight = metrics.height();
    const int bottom = area.height() - 1;
    // The time labels' row, kept clear of volt labels.
    const int timeRowTop = bottom - kTickLength - textHeight;
    for (const AxisTick& tick : decorations.timeTicks) {
      const int x = static_cast<int>(std::floor(tick.position));
      if (!InsideWidth(x, area)) continue;
      painter.setPen(kGraduationColour);
      painter.drawLine(x, bottom - kTickLength + 1, x, bottom);
      const QString text = QString::fromStdString(tick.label);
      const int width = metrics.horizontalAdvance(text);
      const QRect box(x - width / 2, timeRowTop, width, textHeight);
      if (box.left() - kLabelPadding < 0 || box.right() + kLabelPadding >= area.width()) continue;
      PaintLabel(painter, box, text);
    }
    for (const AxisTick& tick : decorations.voltTicks) {
      const int y = static_cast<int>(std::floor(tick.position));
      if (!InsideHeight(y, area)) continue;
      painter.setPen(kGraduationColour);
      painter.drawLine(1, y, kTickLength, y);
      const QString text = QString::fromStdString(tick.label);
      const QRect box(kTickLength + 1 + kTickLabelGap, y - textHeight / 2,
                      metrics.horizontalAdvance(text), textHeight);
      if (box.top() < 0 || box.bottom() >= timeRowTop) continue;
      PaintLabel(painter, box, text);
    }
  }
  PaintLegend(painter, decorations.legend, area);
  if (decorations.triggerX) PaintTriggerMark(painter, *decorations.triggerX);
}

}  // namespace tavril
