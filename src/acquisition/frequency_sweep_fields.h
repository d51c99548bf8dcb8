#pragma once

#include <string>

#include "acquisition/frequency_sweep_plan.h"

namespace tavril {

// The texts of a sweep's settings as a window's fields hold them.
struct SweepFields {
  std::string outputs;  // "1" or "0, 1"
  std::string stimulus;
  std::string response;
  std::string fromHz;
  std::string toHz;
  std::string points;  // in all, or per decade
  bool pointsPerDecade = false;
  bool linear = false;
  std::string amplitude;
  std::string settlingPeriods;
  std::string measuringPeriods;
};

// The fields that show `settings`.
SweepFields FieldsOf(const SweepSettings& settings);

// Reads `fields` into `settings`, whose other members stay as they are.
// Returns why a field is refused, in French, naming it; empty when every
// field reads. A decimal comma is taken for the point. What the board
// cannot do is SweepRefusal's to say.
std::string ReadSweepFields(const SweepFields& fields, SweepSettings& settings);

}  // namespace tavril
