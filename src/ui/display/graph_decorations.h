#pragma once

#include <QColor>
#include <QSize>
#include <QString>

#include <optional>
#include <vector>

#include "display/graph_axes.h"
#include "display/view_state.h"
#include "model/session.h"

class QFontMetrics;
class QPainter;

namespace tavril {

// What the view's options add to the curves, worked out once per paint from
// the records, the view and the font the graph writes with.
struct LegendEntry {
  QColor colour;
  QString text;
  bool master = false;
};
struct GraphDecorations {
  bool grid = false;
  bool graduations = false;
  std::vector<AxisTick> timeTicks;
  std::vector<AxisTick> voltTicks;
  std::vector<LegendEntry> legend;  // empty without the colours option
  std::optional<int> triggerX;      // the column of the trigger's sample, when marked
};

GraphDecorations DescribeGraphDecorations(const Session& session, const ViewState& view, QSize area,
                                          const QFontMetrics& metrics);

// Under the curves: dotted lines across the area at every graduation.
void PaintGridLines(QPainter& painter, const GraphDecorations& decorations, QSize area);

// Over the curves: tick marks and labels along the bottom (time) and the
// left edge (volts), each label on a pale patch so that curves do not hide
// it, the legend in the top right corner, the master in bold, and the
// trigger's mark, a small triangle pointing down at the top of its column.
void PaintGraduationsAndLegend(QPainter& painter, const GraphDecorations& decorations, QSize area);

}  // namespace tavril
