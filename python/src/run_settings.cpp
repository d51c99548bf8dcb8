#include "run_settings.h"

#include "acquisition/acquisition_settings.h"

namespace tavril::python {
namespace {

// Samples per channel the run keeps for a display; Python shows none.
constexpr std::uint32_t kWindow = 1024;

}  // namespace

RunTrigger TriggerOf(const py::object& trigger) {
  if (trigger.is_none()) return {};
  const auto parts = trigger.cast<std::vector<py::object>>();
  if (parts.size() < 2 || parts.size() > 3)
    RaiseError("Déclencheur non valide : (voie, niveau) ou (voie, niveau, \"rising\"|\"falling\")");
  RunTrigger run{SweepMode::kNormal, parts[0].cast<int>(), parts[1].cast<double>()};
  if (parts.size() == 3) {
    const std::string edge = parts[2].cast<std::string>();
    if (edge == "falling") {
      run.edge = TriggerEdge::kFalling;
    } else if (edge != "rising") {
      RaiseError("Front non valide : " + edge + " (rising ou falling)");
    }
  }
  return run;
}

ConfiguredRun ConfigureRun(BoardSession& session, RecordingRun& run, const RunRequest& request) {
  const ChannelSelection selected = SelectionOf(request.channels);
  ChannelTable table{};
  PrepareRecords(table, selected, {request.rate, 3, request.gain, "", request.scanRate},
                 session.config.device);
  const std::optional<AcquisitionPlan> plan =
      PlanAcquisition(table, selected, request.scanRate, session.config);
  if (!plan) RaiseError("Aucune voie choisie");
  const TriggerProblem problem =
      run.Configure(session.board(), {*plan, kWindow, request.trigger, request.seconds});
  if (problem.refusal) RaiseError(*problem.refusal);
  if (problem.unreachable) {
    py::module_::import("warnings")
        .attr("warn")(*problem.unreachable + " Aucun balayage ne se déclenchera.");
  }
  return {plan->request.channels, run.RateAsked()};
}

}  // namespace tavril::python
