#pragma once

#include <span>
#include <string>
#include <vector>

// What the spectrum's plot is drawn from: its graduations (frequencies from 0
// and dBV, at steps of 1, 2 or 5 times a power of ten, each with its text),
// its dBV range and the bins reduced to one range per pixel column.

namespace tavril {

struct AxisTick {
  double value = 0;
  std::string label;  // UTF-8
};

// The smallest step of 1, 2 or 5 times a power of ten that cuts `span` into
// at most `maxSteps` steps; 1 for an empty or non-finite span.
double NiceStep(double span, int maxSteps);

// The graduations from 0 to `maxHz`, at most `maxSteps` steps apart, named
// in Hz ("500 Hz") or, once the step reaches 1 kHz, in kHz ("20 kHz"); 0 is
// plain "0".
std::vector<AxisTick> FrequencyTicks(double maxHz, int maxSteps);

// The graduations from `low` to `high` dBV, named by their number alone ("-60").
std::vector<AxisTick> DbvTicks(double low, double high, int maxSteps);

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
