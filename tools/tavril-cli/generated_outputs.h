#pragma once

#include <memory>
#include <ostream>
#include <vector>

#include "acquisition/board.h"
#include "acquisition/output_player.h"
#include "cli_arguments.h"

namespace tavril::cli {

// The outputs --generate drives during one acquisition or recording: started
// to begin with the run's input, on its clock, at the fastest update rate
// all of them take, and at 0 V once the run is over.
class GeneratedOutputs {
 public:
  // Checks `wanted` against the board's outputs and starts them; null, with
  // the reason on `err`, when the board cannot play them as asked (nothing
  // then runs). Says on `out` what each output plays. No output wanted: an
  // empty object, which does nothing.
  static std::unique_ptr<GeneratedOutputs> Start(Board& board,
                                                 const std::vector<GeneratedOutput>& wanted,
                                                 std::ostream& out, std::ostream& err);

  // Whether the outputs stopped by themselves (an underrun, a failure).
  bool Failed() const { return player_.Failure() != kDaqNoError; }

  // Every output at 0 V; false, with the board's reason on `err`, when the
  // outputs failed during the run.
  bool Stop(std::ostream& err);
  // From any thread: every output at 0 V at once; Stop() still follows.
  void Halt() { player_.Halt(); }

 private:
  explicit GeneratedOutputs(Board& board) : board_(board), player_(board) {}

  Board& board_;
  OutputPlayer player_;
  bool playing_ = false;
};

}  // namespace tavril::cli
