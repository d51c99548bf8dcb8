#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "display/graph_scale.h"
#include "display/sample_pyramid.h"

namespace tavril {

struct LineSegment {
  PixelPoint from;
  PixelPoint to;
  bool operator==(const LineSegment&) const = default;
};

// The pixels of column x from row top to row bottom, both included.
struct ColumnRun {
  std::int32_t x = 0;
  std::int32_t top = 0;
  std::int32_t bottom = 0;
  bool operator==(const ColumnRun&) const = default;
};

// A curve drawn as few strokes: vertical runs, at most one per column, and
// the lines between columns that still add pixels.
struct CurveStrokes {
  std::vector<ColumnRun> runs;
  std::vector<LineSegment> lines;
  void clear() {
    runs.clear();
    lines.clear();
  }
};

// A curve is defined as one independent one-pixel line per pair of
// neighbouring samples, from SampleToPixel(j - 1) to SampleToPixel(j), plus
// the zero-length line at sample 0. This computes strokes that, drawn the same
// way (independent lines, one-pixel pen, no antialiasing; a run as a vertical
// line), light exactly the same pixels in the columns firstColumn..lastColumn:
// - the samples of one column form a contiguous index range (x is monotonic in
//   the index) whose lines within the column are vertical and chained, so
//   together they cover one vertical run from their smallest to their largest
//   y; y is monotonic in volts, so the run's ends come from the range's
//   extreme samples, and a NaN sample adds y = 0;
// - the line between two columns is kept as it is, unless the columns are
//   neighbours and both their runs cover the rows between its ends: a line
//   lights pixels only inside the rectangle spanned by its ends, all drawn
//   already;
// - lines with both ends left of firstColumn or both right of lastColumn are
//   dropped, so the caller gives a margin of a column or two around what it
//   shows.
// `pyramid` must be built from `samples` (another one only makes it slow).
// The cost is O(columns x log n), whatever the number of samples.
void ComputeCurveStrokes(const GraphScale& scale, std::span<const double> samples,
                         const SamplePyramid& pyramid, std::int32_t firstColumn,
                         std::int32_t lastColumn, CurveStrokes& out);

}  // namespace tavril
