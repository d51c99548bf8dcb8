#pragma once

#include <vector>

#include "acquisition/generated_outputs.h"
#include "acquisition/recording_run.h"
#include "board_session.h"

namespace tavril::python {

// What Board.stream and Board.record ask of a continuous run.
struct RunRequest {
  std::vector<int> channels;
  double rate = 0.0;
  std::int16_t gain = 1;
  double scanRate = 0.0;
  double seconds = 0.0;  // 0: until stopped
  RunTrigger trigger;
  std::vector<GeneratedOutput> generate;
};

// None, or (channel, level[, "rising"|"falling"]): a trigger as the
// continuous window sets it (normal sweeps); tavril.Error for anything else.
RunTrigger TriggerOf(const py::object& trigger);

struct ConfiguredRun {
  std::vector<int> channels;  // in the run's scan order
  double rateAsked = 0.0;
};

// Sets `run` up on the session's board as tavril-cli record does; a trigger
// level no edge can reach is warned of. tavril.Error when refused.
ConfiguredRun ConfigureRun(BoardSession& session, RecordingRun& run, const RunRequest& request);

}  // namespace tavril::python
