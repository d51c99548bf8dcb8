#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "acquisition/board.h"
#include "acquisition/output_player.h"
#include "acquisition/wave_generator.h"

namespace tavril {

// One analog output to drive during an acquisition or a recording.
struct GeneratedOutput {
  int output = 0;
  WaveShape shape = WaveShape::kSine;
  double frequency = 0.0;  // Hz
  double amplitude = 0.0;  // V, peak
  double offset = 0.0;     // V

  bool operator==(const GeneratedOutput&) const = default;
};

// What a board's outputs are to play during one run: every wave checked
// against its output, all at the fastest update rate they all take.
struct GeneratedOutputsPlan {
  std::vector<PlayedOutput> played;
  double updateRate = 0.0;
  // What each output plays, in French ("Sortie 1 : sinus 500 Hz, ..."), in
  // the order asked.
  std::vector<std::string> descriptions;
  // What an output can play only poorly: the output and why.
  struct Warning {
    int output = 0;
    std::string text;
  };
  std::vector<Warning> warnings;
  // Why the board cannot play them as asked, in French; empty when it can.
  // `refusedOutput` names the output whose wave is refused, if one is.
  std::string refusal;
  std::optional<int> refusedOutput;
};

// Checks `wanted` against `board`'s outputs (each output's own noise). No
// output wanted: an empty plan.
GeneratedOutputsPlan PlanGeneratedOutputs(Board& board, std::span<const GeneratedOutput> wanted);

}  // namespace tavril
