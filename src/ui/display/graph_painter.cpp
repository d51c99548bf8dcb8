#include "ui/display/graph_painter.h"

#include <QPainter>
#include <QPoint>
#include <QRect>

#include <algorithm>
#include <bit>

#include "display/shown_recording.h"
#include "ui/display/graph_decorations.h"

namespace tavril {

namespace {

// Columns drawn beyond each side of the area, so that no line that could
// reach a pixel of the area is left out.
constexpr std::int32_t kColumnMargin = 2;

// The most rows a line is drawn over by LightShortLine.
constexpr std::int64_t kLongestShortLine = 128;

QPoint ToQPoint(PixelPoint point) {
  return QPoint(point.x, point.y);
}

// Sets the pixels of the runs that fall inside the image to `colour`: the
// pixels a vertical one-pixel line from top to bottom lights. Short runs are
// written column by column; when they cover much of the image, a pass row by
// row over a table of the runs is cheaper than strided writes.
void FillColumnRuns(uchar* bits, qsizetype bytesPerLine, int width, int height,
                    const std::vector<ColumnRun>& runs, QRgb colour,
                    std::vector<std::int32_t>& tops, std::vector<std::int32_t>& bottoms) {
  auto rowAt = [&](std::int32_t y) {
    return reinterpret_cast<QRgb*>(bits + static_cast<qsizetype>(y) * bytesPerLine);
  };
  tops.assign(static_cast<std::size_t>(width), 1);
  bottoms.assign(static_cast<std::size_t>(width), 0);
  std::int64_t pixels = 0;
  for (const ColumnRun& run : runs) {
    if (run.x < 0 || run.x >= width || run.bottom < 0 || run.top >= height) continue;
    const std::int32_t top = std::max(run.top, 0);
    const std::int32_t bottom = std::min(run.bottom, height - 1);
    tops[static_cast<std::size_t>(run.x)] = top;
    bottoms[static_cast<std::size_t>(run.x)] = bottom;
    pixels += bottom - top + 1;
  }
  if (pixels * 8 < std::int64_t{width} * height) {
    for (int x = 0; x < width; ++x) {
      for (std::int32_t y = tops[x]; y <= bottoms[x]; ++y) rowAt(y)[x] = colour;
    }
    return;
  }
  for (int y = 0; y < height; ++y) {
    QRgb* row = rowAt(y);
    for (int x = 0; x < width; ++x) {
      if (tops[x] <= y && y <= bottoms[x]) row[x] = colour;
    }
  }
}

// Lights the pixels QPainter's one-pixel aliased line from `from` to `to`
// lights, for a line between neighbouring columns (or within one) that lies
// inside the image: row by row from `from`, column from.x + floor(t * dx)
// with t the share of the rows gone, so the far column only on the last
// row when it is to the right, from the second row on when it is to the
// left, both end pixels lit. Such lines are most of a dense curve's; writing
// them here spares QPainter's per-line cost. Longer ones are left to
// QPainter, whose fixed-point slope keeps the last row in the first column
// for some lengths beyond about 190 rows (a test compares both up to this
// bound). False, drawing nothing, for any other line.
bool LightShortLine(uchar* bits, qsizetype bytesPerLine, int width, int height, PixelPoint from,
                    PixelPoint to, QRgb colour) {
  const std::int64_t dx = std::int64_t{to.x} - from.x;
  const std::int64_t dy = std::int64_t{to.y} - from.y;
  if (dx < -1 || dx > 1 || dy == 0) return false;
  for (const PixelPoint& end : {from, to}) {
    if (end.x < 0 || end.x >= width || end.y < 0 || end.y >= height) return false;
  }
  const std::int64_t rows = dy < 0 ? -dy : dy;
  if (rows > kLongestShortLine) return false;
  const std::int64_t step = dy < 0 ? -1 : 1;
  for (std::int64_t i = 0; i <= rows; ++i) {
    const std::int64_t y = from.y + step * i;
    std::int64_t x = from.x;
    if (dx > 0 && i == rows) x += 1;
    if (dx < 0 && i > 0) x -= 1;
    reinterpret_cast<QRgb*>(bits + y * bytesPerLine)[x] = colour;
  }
  return true;
}

}  // namespace

bool LightShortLine(QImage& image, PixelPoint from, PixelPoint to, QRgb colour) {
  return LightShortLine(image.bits(), image.bytesPerLine(), image.width(), image.height(), from, to,
                        qPremultiply(colour));
}

namespace {

void PaintBackdrop(QPainter& painter, const GraphBackdrop& backdrop) {
  for (const BackdropFill& fill : backdrop.fills) painter.fillRect(fill.rect, fill.brush);
  for (const BackdropLine& line : backdrop.lines) {
    painter.setPen(line.pen);
    painter.drawLine(line.line);
  }
}

}  // namespace

std::array<QPen, kChannelCount> GraphPens::ChannelPens() {
  std::array<QPen, kChannelCount> channelPens;
  for (int channel = 0; channel < kChannelCount; ++channel) {
    channelPens[channel] = QPen(QBrush(QColor::fromRgb(kChannelColours[channel])), 0);
  }
  return channelPens;
}

bool IsChannelDrawn(const Session& session, const ViewState& view, int channel) {
  if (view.recording) return view.channelShown[channel] && view.recording->SampleCount(channel) > 0;
  return HoldsSamples(session.channels[channel]) && view.channelShown[channel];
}

double ShownRate(const Session& session, const ViewState& view, int channel) {
  if (!view.recording) return session.channels[channel].rate;
  const RecordedChannel* recorded = view.recording->Channel(channel);
  return recorded == nullptr ? 0.0 : recorded->settings.rate;
}

std::string ShownTitle(const Session& session, const ViewState& view, int channel) {
  if (!view.recording) return session.channels[channel].title;
  const RecordedChannel* recorded = view.recording->Channel(channel);
  return recorded == nullptr ? std::string() : recorded->settings.title;
}

const QPen& CurvePen(const GraphPens& pens, const Session& session, const ViewState& view,
                     int channel) {
  if (view.options.colours) return pens.channelPens[channel];
  return channel == session.masterChannel ? pens.masterPen : pens.otherPen;
}

GraphScale CurveScale(const Session& session, const ViewState& view, int channel) {
  if (!view.options.axes) return view.scale;
  return ScaleAtOwnRate(view.scale, ShownRate(session, view, session.masterChannel),
                        ShownRate(session, view, channel));
}

std::vector<int> CurveDrawOrder(const Session& session, const ViewState& view) {
  std::vector<int> order;
  for (int channel = 0; channel < kChannelCount; ++channel) {
    if (!IsChannelDrawn(session, view, channel)) continue;
    if (view.options.colours && channel == session.masterChannel) continue;
    order.push_back(channel);
  }
  if (view.options.colours && IsChannelDrawn(session, view, session.masterChannel)) {
    order.push_back(session.masterChannel);
  }
  return order;
}

GraphBackdrop DescribeGraphBackdrop(const GraphPens& pens, const GraphScale& scale,
                                    const GraphCursors& cursors, QSize area) {
  GraphBackdrop backdrop;
  const int width = area.width();
  const int height = area.height();
  if (width <= 0 || height <= 0) return backdrop;
  backdrop.fills.push_back({QRect(0, 0, width, height), QColor::fromRgb(kGraphBackground)});

  if (cursors.cursorsShown) {
    // The band covers the columns from the left cursor up to, not including,
    // the right one, whichever cursor is on the left.
    const std::int64_t left =
        std::clamp<std::int64_t>(std::min(cursors.cursor1X, cursors.cursor2X), 0, width);
    const std::int64_t right =
        std::clamp<std::int64_t>(std::max(cursors.cursor1X, cursors.cursor2X), 0, width);
    if (right > left) {
      backdrop.fills.push_back(
          {QRect(static_cast<int>(left), 0, static_cast<int>(right - left), height),
           pens.bandBrush});
    }
    if (cursors.cursor1X != cursors.cursor2X) {
      for (const std::int32_t x : {cursors.cursor1X, cursors.cursor2X}) {
        if (x >= 0 && x < width) {
          backdrop.lines.push_back({QLine(x, 0, x, height - 1), pens.cursorPen});
        }
      }
    }
  }

  // Beyond these rows no pixel of the axis or of its arrow head is visible,
  // and staying inside them keeps the arithmetic far from overflow.
  const std::int32_t originY = scale.originY;
  if (originY >= -5 && originY <= height + 5) {
    backdrop.lines.push_back({QLine(0, originY, width - 1, originY), pens.axisPen});
    backdrop.lines.push_back({QLine(width, originY, width - 4, originY - 4), pens.axisPen});
    backdrop.lines.push_back({QLine(width, originY, width - 4, originY + 4), pens.axisPen});
  }
  backdrop.lines.push_back({QLine(0, 0, 0, height - 1), pens.axisPen});
  return backdrop;
}

GraphBackdrop DescribeViewBackdrop(const GraphPens& pens, const ViewState& view, QSize area) {
  GraphBackdrop backdrop = DescribeGraphBackdrop(pens, view.scale, view.cursors, area);
  if (view.options.colours && !backdrop.fills.empty()) {
    backdrop.fills.front().brush = QColor::fromRgb(kColourGraphBackground);
    // The classic band would drown the paler colours between the cursors.
    for (std::size_t fill = 1; fill < backdrop.fills.size(); ++fill) {
      backdrop.fills[fill].brush = QColor::fromRgb(kColourBandFill);
    }
  }
  return backdrop;
}

void PaintGraphBackdrop(QPainter& painter, const GraphPens& pens, const GraphScale& scale,
                        const GraphCursors& cursors, QSize area) {
  PaintBackdrop(painter, DescribeGraphBackdrop(pens, scale, cursors, area));
}

void PaintGraphFrame(QPainter& painter, const GraphPens& pens, const Session& session,
                     const ViewState& view, QSize area, CurveLayer& curves, QRect dirty) {
  painter.setClipRect(dirty);
  PaintBackdrop(painter, DescribeViewBackdrop(pens, view, area));
  const GraphDecorations decorations =
      DescribeGraphDecorations(session, view, area, painter.fontMetrics());
  PaintGridLines(painter, decorations, area);
  const QImage& image = curves.Render(session, view, pens, area);
  if (!image.isNull()) painter.drawImage(dirty.topLeft(), image, dirty);
  PaintGraduationsAndLegend(painter, decorations, area);
}

void DrawCurveSegmentBySegment(QPainter& painter, const QPen& pen, const GraphScale& scale,
                               std::span<const double> samples) {
  if (samples.empty()) return;
  painter.setPen(pen);
  QPoint previous = ToQPoint(SampleToPixel(scale, 0.0, samples[0]));
  for (std::size_t j = 0; j < samples.size(); ++j) {
    const QPoint point = ToQPoint(SampleToPixel(scale, static_cast<double>(j), samples[j]));
    painter.drawLine(previous, point);
    previous = point;
  }
}

void DrawCurvesSegmentBySegment(QPainter& painter, const GraphPens& pens, const Session& session,
                                const ViewState& view) {
  for (const int channel : CurveDrawOrder(session, view)) {
    DrawCurveSegmentBySegment(painter, CurvePen(pens, session, view, channel),
                              CurveScale(session, view, channel),
                              session.channels[channel].samples());
  }
}

const SamplePyramid& CurveLayer::PyramidFor(int channel, const ChannelRecord& record) {
  CachedPyramid& cached = pyramids_[channel];
  if (cached.revision != record.revision()) {
    BuildSamplePyramid(cached.pyramid, record.samples());
    cached.revision = record.revision();
    ++pyramidBuilds_;
  }
  return cached.pyramid;
}

const CurveStrokes& CurveLayer::Strokes(const Session& session, const ViewState& view, int channel,
                                        QSize area) {
  const ChannelRecord& record = session.channels[channel];
  strokes_.clear();
  if (view.recording) {
    // A channel the file fails to give is left out of the picture.
    if (!view.recording->Curve(channel).Compute(CurveScale(session, view, channel), -kColumnMargin,
                                                std::max(area.width(), 0) - 1 + kColumnMargin,
                                                strokes_))
      strokes_.clear();
    return strokes_;
  }
  ComputeCurveStrokes(CurveScale(session, view, channel), record.samples(),
                      PyramidFor(channel, record), -kColumnMargin,
                      std::max(area.width(), 0) - 1 + kColumnMargin, strokes_);
  return strokes_;
}

const QImage& CurveLayer::Render(const Session& session, const ViewState& view,
                                 const GraphPens& pens, QSize area) {
  const GraphScale& scale = view.scale;
  ImageKey key;
  key.pixelsPerSampleBits = std::bit_cast<std::uint64_t>(scale.pixelsPerSample);
  key.pixelsPerVoltBits = std::bit_cast<std::uint64_t>(scale.pixelsPerVolt);
  key.originY = scale.originY;
  key.scrollOffset = scale.scrollOffset;
  key.width = std::max(area.width(), 0);
  key.height = std::max(area.height(), 0);
  key.masterChannel = session.masterChannel;
  key.colours = view.options.colours;
  key.recording = view.recording.get();
  key.recordingRevision = view.recording ? view.recording->revision() : 0;
  for (int channel = 0; channel < kChannelCount; ++channel) {
    key.drawn[channel] = IsChannelDrawn(session, view, channel);
    if (key.drawn[channel]) {
      if (!view.recording) key.revisions[channel] = session.channels[channel].revision();
      key.stretchBits[channel] =
          std::bit_cast<std::uint64_t>(CurveScale(session, view, channel).sampleStretch);
    }
    // A record that lost its samples gives its pyramid's memory back.
    if (!HoldsSamples(session.channels[channel]) && pyramids_[channel].revision != 0) {
      pyramids_[channel] = CachedPyramid{};
    }
  }
  if (valid_ && key == drawnKey_) return image_;

  if (image_.width() != key.width || image_.height() != key.height) {
    image_ = key.width > 0 && key.height > 0
                 ? QImage(key.width, key.height, QImage::Format_ARGB32_Premultiplied)
                 : QImage();
  }
  drawnKey_ = key;
  valid_ = true;
  if (image_.isNull()) return image_;

  image_.fill(Qt::transparent);
  // Taken before painting starts: the runs are written straight into the
  // same pixels the painter draws the lines into, channel after channel.
  uchar* bits = image_.bits();
  const qsizetype bytesPerLine = image_.bytesPerLine();
  QPainter painter(&image_);
  for (const int channel : CurveDrawOrder(session, view)) {
    const QPen& pen = CurvePen(pens, session, view, channel);
    Strokes(session, view, channel, area);
    FillColumnRuns(bits, bytesPerLine, key.width, key.height, strokes_.runs,
                   qPremultiply(pen.color().rgba()), tops_, bottoms_);
    const QRgb colour = qPremultiply(pen.color().rgba());
    lines_.clear();
    for (const LineSegment& segment : strokes_.lines) {
      if (!LightShortLine(bits, bytesPerLine, key.width, key.height, segment.from, segment.to,
                          colour)) {
        lines_.emplace_back(ToQPoint(segment.from), ToQPoint(segment.to));
      }
    }
    painter.setPen(pen);
    painter.drawLines(lines_.data(), static_cast<int>(lines_.size()));
  }
  return image_;
}

}  // namespace tavril
