#include "acquisition/trigger_reach.h"

#include <algorithm>

#include "text/number_text.h"

namespace tavril {
namespace {

// Locale-free: the shortest text that reads back, or `decimals` decimals.
std::string VoltsText(double volts, std::optional<int> decimals = std::nullopt) {
  return (decimals ? FormatFixed(volts, *decimals) : ShortestText(volts)) + " V";
}

}  // namespace

std::optional<InputRange> InputRangeOf(Board& board, const AcquisitionPlan& plan) {
  VoltScale scale;
  if (board.ScaleFor(plan.scaleChannel, plan.request.gain, scale) != kDaqNoError) {
    return std::nullopt;
  }
  // Every reading (2^18 for the widest converters): a calibration
  // polynomial, a negative gain adjustment or unsigned codes need not keep
  // the extremes at the ends.
  InputRange range{scale.Volts(scale.lowestReading, plan.gainAdjust, plan.offset), 0.0};
  range.highest = range.lowest;
  for (BoardReading reading = scale.lowestReading; reading <= scale.highestReading; ++reading) {
    const double volts = scale.Volts(reading, plan.gainAdjust, plan.offset);
    range.lowest = std::min(range.lowest, volts);
    range.highest = std::max(range.highest, volts);
  }
  return range;
}

std::optional<std::string> UnreachableTrigger(const TriggerSettings& trigger, InputRange range,
                                              int channel) {
  // A rising edge needs a sample below the level and one at or above it; a
  // falling edge one above it and one at or below it.
  const double level = trigger.level;
  const bool reachable = trigger.edge == TriggerEdge::kRising
                             ? range.lowest < level && level <= range.highest
                             : range.lowest <= level && level < range.highest;
  if (reachable) return std::nullopt;
  return "Le niveau de déclenchement de " + VoltsText(level) +
         " ne peut jamais être franchi : le canal " + std::to_string(channel) + " mesure de " +
         VoltsText(range.lowest, 3) + " à " + VoltsText(range.highest, 3) + ".";
}

}  // namespace tavril
