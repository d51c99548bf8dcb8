#include "acquisition/recording_run.h"

#include <algorithm>

#include "acquisition/trigger_reach.h"

namespace tavril {

TriggerProblem RecordingRun::Configure(Board& board, const RunSettings& settings) {
  board_ = &board;
  settings_ = settings;
  const AcquisitionRequest& request = settings.plan.request;
  rateAsked_ = request.scanRate > 0.0
                   ? request.scanRate
                   : request.sampleRate /
                         static_cast<double>(std::max<std::size_t>(request.channels.size(), 1));
  TriggerProblem problem;
  trigger_.emplace();
  const RunTrigger& asked = settings.trigger;
  if (asked.mode == SweepMode::kRoll) return problem;
  const std::vector<int>& records = settings.plan.records;
  const auto found = std::find(records.begin(), records.end(), asked.channel);
  if (found == records.end()) {
    trigger_.reset();
    problem.refusal = "Le canal " + std::to_string(asked.channel) +
                      " du déclenchement ne fait pas partie de l'acquisition.";
    return problem;
  }
  *trigger_ = {asked.mode,       static_cast<std::size_t>(found - records.begin()),
               asked.level,      asked.edge,
               asked.prePercent, asked.holdoffSeconds};
  if (const std::optional<InputRange> range = InputRangeOf(board, settings.plan)) {
    problem.unreachable = UnreachableTrigger(*trigger_, *range, asked.channel);
  }
  return problem;
}

bool RecordingRun::Start(SampleSink* sink) {
  if (board_ == nullptr || !trigger_) return false;
  rateTold_ = false;
  return acquisition_.Start(*board_,
                            {settings_.plan, settings_.window, *trigger_, sink, settings_.seconds});
}

std::optional<double> RecordingRun::Watch(ContinuousSnapshot& snapshot) {
  acquisition_.TakeSnapshot(snapshot);
  if (rateTold_ || !(snapshot.rateUsed > 0.0)) return std::nullopt;
  rateTold_ = true;
  if (snapshot.rateUsed == rateAsked_) return std::nullopt;
  return snapshot.rateUsed;
}

}  // namespace tavril
