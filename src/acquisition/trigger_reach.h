#pragma once

#include <optional>
#include <string>

#include "acquisition/acquisition_engine.h"
#include "acquisition/board.h"
#include "acquisition/continuous_trigger.h"

namespace tavril {

// The volts a plan's readings can take, from the lowest to the highest
// reading of the board's scale, with the configuration's gain adjustment
// and offset.
struct InputRange {
  double lowest = 0.0;
  double highest = 0.0;
};

// Empty when the board cannot give the plan's scale (the run then says why).
std::optional<InputRange> InputRangeOf(Board& board, const AcquisitionPlan& plan);

// Why the trigger can never fire on samples within `range` (its level lies
// where no edge can cross it), in French, naming the source as `channel`;
// empty when it can fire.
std::optional<std::string> UnreachableTrigger(const TriggerSettings& trigger, InputRange range,
                                              int channel);

}  // namespace tavril
