#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "display/graph_scale.h"
#include "model/channel_record.h"

namespace tavril {

// One graduation of an axis: its value, where it falls along the axis in
// pixels from the axis' start, and its label with the unit.
struct AxisTick {
  double value = 0;
  double position = 0;
  std::string label;
};

// An axis `length` pixels long whose start shows `first` and whose end
// shows `last` (either may be the larger: the volt axis runs downwards).
struct AxisSpan {
  double first = 0;
  double last = 0;
  double length = 0;
};

// The extent along the axis that a label takes on the screen, in pixels.
using LabelExtent = std::function<double(const std::string&)>;

// Graduations on 1-2-5 steps, the finest whose labels, `gap` pixels apart
// at least, never overlap. Labels share one engineering prefix, chosen from
// the largest value shown ("250 ms", "1.5 s", "-20 mV"), with as many
// decimals as the step needs and a point as the decimal mark, as the
// information strip writes numbers. An empty `unit` writes bare numbers and
// keeps the steps whole (sample numbers). No ticks for a span that is empty,
// not finite or too narrow to tell values apart.
std::vector<AxisTick> ComputeAxisTicks(const AxisSpan& span, std::string_view unit,
                                       const LabelExtent& extent, double gap);

// What the graph's axes show in a drawing area of `area` pixels: time in
// seconds from the master record's start (sample numbers when its rate is
// not a positive number), and volts from the top to the bottom.
AxisSpan TimeSpanOf(const GraphScale& scale, double rate, ClientSize area);
AxisSpan VoltSpanOf(const GraphScale& scale, ClientSize area);
bool HasTimeBase(double rate);

}  // namespace tavril
