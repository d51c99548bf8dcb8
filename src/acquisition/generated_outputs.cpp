#include "acquisition/generated_outputs.h"

#include <algorithm>

#include "text/number_text.h"

namespace tavril {
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

GeneratedOutputsPlan PlanGeneratedOutputs(Board& board, std::span<const GeneratedOutput> wanted) {
  GeneratedOutputsPlan plan;
  if (wanted.empty()) return plan;
  const std::vector<OutputDescription> described = board.Outputs();
  if (described.empty()) {
    plan.refusal = "cette carte n'a pas de sortie analogique";
    return plan;
  }
  const auto find = [&](int output) {
    return std::find_if(described.begin(), described.end(),
                        [&](const OutputDescription& d) { return d.channel == output; });
  };
  for (const GeneratedOutput& output : wanted) {
    const auto found = find(output.output);
    if (found == described.end()) {
      plan.refusal = "la carte n'a pas de sortie " + std::to_string(output.output) +
                     " (sorties 0 à " + std::to_string(described.size() - 1) + ")";
      return plan;
    }
    plan.updateRate = plan.updateRate == 0.0 ? found->maxUpdateRate
                                             : std::min(plan.updateRate, found->maxUpdateRate);
  }
  for (const GeneratedOutput& output : wanted) {
    WaveSettings wave;
    wave.shape = output.shape;
    wave.frequency = output.frequency;
    wave.amplitude = output.amplitude;
    wave.offset = output.offset;
    // Each output its own noise.
    wave.noiseSeed = static_cast<std::uint64_t>(output.output) + 1;
    const OutputRange range = find(output.output)->ranges.front();
    std::string warning;
    plan.refusal = WaveRefusal(wave, range.lowVolts, range.highVolts, plan.updateRate, &warning);
    if (!plan.refusal.empty()) {
      plan.refusedOutput = output.output;
      return plan;
    }
    if (!warning.empty()) plan.warnings.push_back({output.output, warning});
    plan.played.push_back({output.output, wave});
    plan.descriptions.push_back(Described(output, plan.updateRate));
  }
  return plan;
}

}  // namespace tavril
