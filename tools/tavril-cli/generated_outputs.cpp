#include "generated_outputs.h"

#include <string>

#include "cli_files.h"

namespace tavril::cli {

std::unique_ptr<GeneratedOutputs> GeneratedOutputs::Start(
    Board& board, const std::vector<GeneratedOutput>& wanted, std::ostream& out,
    std::ostream& err) {
  std::unique_ptr<GeneratedOutputs> outputs(new GeneratedOutputs(board));
  if (wanted.empty()) return outputs;
  const GeneratedOutputsPlan plan = PlanGeneratedOutputs(board, wanted);
  for (const GeneratedOutputsPlan::Warning& warning : plan.warnings) {
    err << "tavril-cli: attention : --generate, sortie " << warning.output << " : " << warning.text
        << '\n';
  }
  // What passed the check is said even when a later output is refused.
  for (const std::string& description : plan.descriptions) out << description << '\n';
  if (!plan.refusal.empty()) {
    ReportError(err, (plan.refusedOutput
                          ? "--generate, sortie " + std::to_string(*plan.refusedOutput) + " : "
                          : std::string("--generate : ")) +
                         plan.refusal);
    return nullptr;
  }
  const DaqStatus status = outputs->player_.Start(plan.played, plan.updateRate, true);
  if (status != kDaqNoError) {
    ReportError(err, "--generate : " + board.StatusMessage(status));
    return nullptr;
  }
  outputs->playing_ = true;
  return outputs;
}

bool GeneratedOutputs::Stop(std::ostream& err) {
  if (!playing_) return true;
  playing_ = false;
  const DaqStatus status = player_.Stop();
  if (status == kDaqNoError) return true;
  ReportError(err,
              "les sorties se sont arrêtées pendant la mesure : " + board_.StatusMessage(status));
  return false;
}

}  // namespace tavril::cli
