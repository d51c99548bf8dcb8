#pragma once

#include <span>
#include <string>
#include <vector>

// What the spectrum's plot is drawn from: its dBV range and the bins reduced
// to one range per pixel column.

namespace tavril {

struct DbvRange {
  double low = 0;
  double high = 0;
};

// The dBV the plot shows for bins from `lowest` to `highest`: at most
// `depth` dB below the highest, so that an empty bin's floor does not crush
// the curve, with a little room above it, bounds on multiples of 10 dB.
DbvRange PlotDbvRange(double lowest, double highest, double depth);

// The lowest and highest dBV of one pixel column.
struct ColumnRange {
  double low = 0;
  double high = 0;
};

// The bins `dbv` spread evenly over `columns` pixel columns, each column the
// range of its bins. A column's range also reaches the last bin of the column
// before, so that drawn as vertical lines the columns join into one curve;
// with fewer bins than columns, a column takes the bin it falls on.
std::vector<ColumnRange> PlotColumns(std::span<const double> dbv, int columns);

}  // namespace tavril
