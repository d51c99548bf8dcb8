#include "generated_outputs.h"

#include <algorithm>
#include <string>

#include "cli_files.h"
#include "text/number_text.h"

namespace tavril::cli {
namespace {

const char* ShapeName(WaveShape shape) {
  switch (shape) {
    case WaveShape::kSine:
      return "sinus";
    case WaveShape::kSquare:
      return "carré";
    case WaveShape::kTriangle:
      return "triangle";
    case WaveShape::kRisingSawtooth:
      return "dent de scie";
    case WaveShape::kDc:
      return "continu";
    default:
      return "bruit";
  }
}

std::string Described(const GeneratedOutput& output, double updateRate) {
  std::string text = "Sortie " + std::to_string(output.output) + " : " + ShapeName(output.shape);
  if (output.shape != WaveShape::kDc && output.shape != WaveShape::kUniformNoise) {
    text += " " + ShortestText(output.frequency) + " Hz";
  }
  if (output.shape != WaveShape::kDc)
    text += ", amplitude " + ShortestText(output.amplitude) + " V";
  text += ", décalage " + ShortestText(output.offset) + " V, " + ShortestText(updateRate) +
          " mises à jour par seconde";
  return text;
}

}  // namespace

std::unique_ptr<GeneratedOutputs> GeneratedOutputs::Start(
    Board& board, const std::vector<GeneratedOutput>& wanted, std::ostream& out,
    std::ostream& err) {
  std::unique_ptr<GeneratedOutputs> outputs(new GeneratedOutputs(board));
  if (wanted.empty()) return outputs;
  const std::vector<OutputDescription> described = board.Outputs();
  if (described.empty()) {
    ReportError(err, "--generate : cette carte n'a pas de sortie analogique");
    return nullptr;
  }
  double updateRate = 0.0;
  for (const GeneratedOutput& output : wanted) {
    const auto found =
        std::find_if(described.begin(), described.end(),
                     [&](const OutputDescription& d) { return d.channel == output.output; });
    if (found == described.end()) {
      ReportError(err, "--generate : la carte n'a pas de sortie " + std::to_string(output.output) +
                           " (sorties 0 à " + std::to_string(described.size() - 1) + ")");
      return nullptr;
    }
    updateRate =
        updateRate == 0.0 ? found->maxUpdateRate : std::min(updateRate, found->maxUpdateRate);
  }
  std::vector<PlayedOutput> played;
  for (const GeneratedOutput& output : wanted) {
    const OutputDescription& description =
        *std::find_if(described.begin(), described.end(),
                      [&](const OutputDescription& d) { return d.channel == output.output; });
    WaveSettings wave;
    wave.shape = output.shape;
    wave.frequency = output.frequency;
    wave.amplitude = output.amplitude;
    wave.offset = output.offset;
    // Each output its own noise.
    wave.noiseSeed = static_cast<std::uint64_t>(output.output) + 1;
    const OutputRange range = description.ranges.front();
    std::string warning;
    const std::string refusal =
        WaveRefusal(wave, range.lowVolts, range.highVolts, updateRate, &warning);
    const std::string named = "--generate, sortie " + std::to_string(output.output) + " : ";
    if (!refusal.empty()) {
      ReportError(err, named + refusal);
      return nullptr;
    }
    if (!warning.empty()) err << "tavril-cli: attention : " << named << warning << '\n';
    played.push_back({output.output, wave});
    out << Described(output, updateRate) << '\n';
  }
  const DaqStatus status = outputs->player_.Start(played, updateRate, true);
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
