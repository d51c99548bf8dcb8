#include "ui/display/graph_image.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QSvgGenerator>

#include <algorithm>
#include <string_view>
#include <utility>

#include "files/file_writer.h"
#include "model/program.h"
#include "text/system_error_text.h"
#include "ui/display/graph_decorations.h"
#include "ui/display/graph_painter.h"
#include "ui/display/graph_widget.h"

namespace tavril {

namespace {

// Screen pixel (x, y) is the square [x, x + 1) x [y, y + 1); the screen
// draws its one-pixel lines aliased through those squares.
QPointF Centre(QPoint pixel) {
  return QPointF(pixel.x() + 0.5, pixel.y() + 0.5);
}
QPointF Centre(PixelPoint pixel) {
  return Centre(QPoint(pixel.x, pixel.y));
}

// Square caps make a line cover its end pixels whole, as the screen's does.
QPen VectorPen(const QPen& screenPen, Qt::PenCapStyle cap) {
  return QPen(screenPen.brush(), 1.0, Qt::SolidLine, cap, Qt::MiterJoin);
}

// Cuts the line from a to b to `box` (Liang-Barsky); false when none of it is
// inside. A line inside keeps its ends exactly.
bool ClipToBox(QPointF& a, QPointF& b, const QRectF& box) {
  const QPointF delta = b - a;
  const double p[4] = {-delta.x(), delta.x(), -delta.y(), delta.y()};
  const double q[4] = {a.x() - box.left(), box.right() - a.x(), a.y() - box.top(),
                       box.bottom() - a.y()};
  double enter = 0.0;
  double leave = 1.0;
  for (int side = 0; side < 4; ++side) {
    if (p[side] == 0.0) {
      if (q[side] < 0.0) return false;
      continue;
    }
    const double t = q[side] / p[side];
    if (p[side] < 0.0) {
      enter = std::max(enter, t);
    } else {
      leave = std::min(leave, t);
    }
  }
  if (enter > leave) return false;
  const QPointF start = a;
  if (leave < 1.0) b = start + leave * delta;
  if (enter > 0.0) a = start + enter * delta;
  return true;
}

void StrokeVectorPath(QPainter& painter, const QPainterPath& path, const QPen& pen) {
  if (path.isEmpty()) return;
  painter.setPen(pen);
  painter.setBrush(Qt::NoBrush);
  painter.drawPath(path);
}

// One curve: its vertical runs, each from the top edge of its highest pixel
// to the bottom edge of its lowest (flat caps), then the lines between
// columns.
void PaintCurveVectors(QPainter& painter, const QPen& screenPen, const CurveStrokes& strokes,
                       QSize area) {
  QPainterPath runs;
  for (const ColumnRun& run : strokes.runs) {
    if (run.x < 0 || run.x >= area.width() || run.bottom < 0 || run.top >= area.height()) continue;
    runs.moveTo(run.x + 0.5, std::max(run.top, 0));
    runs.lineTo(run.x + 0.5, std::min(run.bottom, area.height() - 1) + 1.0);
  }
  // A margin around the picture keeps the cut ends' caps out of sight.
  const QRectF box(-2.0, -2.0, area.width() + 4.0, area.height() + 4.0);
  QPainterPath lines;
  for (const LineSegment& segment : strokes.lines) {
    QPointF from = Centre(segment.from);
    QPointF to = Centre(segment.to);
    if (!ClipToBox(from, to, box)) continue;
    lines.moveTo(from);
    lines.lineTo(to);
  }
  StrokeVectorPath(painter, runs, VectorPen(screenPen, Qt::FlatCap));
  StrokeVectorPath(painter, lines, VectorPen(screenPen, Qt::SquareCap));
}

void PaintGraphVectors(QPainter& painter, const GraphWidget& graph, QSize area) {
  const GraphPens& pens = graph.pens();
  const Session& session = graph.session();
  const ViewState& view = graph.view();
  const GraphBackdrop backdrop = DescribeViewBackdrop(pens, view, area);
  for (const BackdropFill& fill : backdrop.fills) painter.fillRect(QRectF(fill.rect), fill.brush);
  for (const BackdropLine& line : backdrop.lines) {
    painter.setPen(VectorPen(line.pen, Qt::SquareCap));
    painter.drawLine(QLineF(Centre(line.line.p1()), Centre(line.line.p2())));
  }
  const GraphDecorations decorations =
      DescribeGraphDecorations(session, view, area, painter.fontMetrics());
  PaintGridLines(painter, decorations, area);
  for (const int channel : CurveDrawOrder(session, view)) {
    PaintCurveVectors(painter, CurvePen(pens, session, view, channel),
                      graph.curveCache().Strokes(session, view, channel, area), area);
  }
  PaintGraduationsAndLegend(painter, decorations, area);
}

QByteArray EncodeSvg(const GraphWidget& graph, QSize area) {
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  QSvgGenerator generator;
  generator.setOutputDevice(&buffer);
  generator.setViewBox(QRect(QPoint(0, 0), area));
  generator.setTitle(QStringLiteral("Graphique"));
  generator.setDescription(QString::fromUtf8(kProgramName));
  QPainter painter;
  if (!painter.begin(&generator)) return {};
  PaintGraphVectors(painter, graph, area);
  if (!painter.end()) return {};
  return buffer.data();
}

QByteArray EncodeRaster(const GraphWidget& graph, QSize area, const char* format) {
  QImage frame(area, QImage::Format_RGB32);
  if (frame.isNull()) return {};
  {
    QPainter painter(&frame);
    PaintGraphFrame(painter, graph.pens(), graph.session(), graph.view(), area, graph.curveCache(),
                    QRect(QPoint(0, 0), area));
  }
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  if (!frame.save(&buffer, format)) return {};
  return buffer.data();
}

QByteArray Encode(const GraphWidget& graph, QSize area, GraphImageFormat format) {
  switch (format) {
    case GraphImageFormat::kPng:
      return EncodeRaster(graph, area, "PNG");
    case GraphImageFormat::kSvg:
      return EncodeSvg(graph, area);
    case GraphImageFormat::kBmp:
      return EncodeRaster(graph, area, "BMP");
  }
  return {};
}

bool Fail(std::string* why, std::string text) {
  if (why != nullptr) *why = std::move(text);
  return false;
}

}  // namespace

bool ExportGraphImage(const GraphWidget& graph, const std::filesystem::path& path,
                      GraphImageFormat format, std::string* why) {
  const ClientSize drawing = graph.DrawingArea();
  const QSize area(drawing.width, drawing.height);
  if (area.isEmpty()) {
    return Fail(why, "Le graphique n'a aucune surface visible : il n'y a rien à enregistrer.");
  }
  const QByteArray bytes = Encode(graph, area, format);
  if (bytes.isEmpty()) {
    return Fail(why, "L'image du graphique n'a pas pu être produite (mémoire insuffisante).");
  }

  const std::string name = "« " + path.filename().string() + " »";
  AtomicFileWriter writer;
  if (!writer.Open(path)) {
    return Fail(why, "Impossible de créer le fichier " + name + " : " +
                         SystemErrorText(writer.Error()) + ".");
  }
  writer.Append(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
  if (!writer.Commit()) {
    return Fail(why, "L'image n'a pas pu être écrite dans " + name + " : " +
                         SystemErrorText(writer.Error()) + ".");
  }
  return true;
}

}  // namespace tavril
