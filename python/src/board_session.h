#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "acquisition/acquisition_engine.h"
#include "acquisition/boards.h"
#include "acquisition/generated_outputs.h"
#include "acquisition/output_player.h"
#include "bindings.h"
#include "model/board_config.h"
#include "model/user_interaction.h"

namespace tavril::python {

// The board of one device, as tavril.Board holds it.
struct BoardSession {
  std::unique_ptr<Boards> boards;
  BoardConfig config;
  Board& board() { return boards->For(config.device); }
};
using BoardHandle = std::shared_ptr<BoardSession>;

// Answers every board question with "stop", keeping each box's text (one line,
// as tavril-cli prints it) for the exception or the warnings.
class CollectingUser : public UserInteraction {
 public:
  MessageAnswer ShowMessage(const MessageBoxRequest& box) override;
  // The texts so far, joined by spaces; empty when none.
  std::string Text() const;
  std::vector<std::string> Lines() const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
};

// The channels a run reads: one channel, or 0 to N; tavril.Error otherwise.
ChannelSelection SelectionOf(const std::vector<int>& channels);

// Sets the board's inputs as TAVRIL.INI says; tavril.Error when it refuses.
void ConfigureInputs(BoardSession& session);

// The outputs played during one run, at 0 V once it is over (or destroyed).
class RunOutputs {
 public:
  // Checks `waves` and starts them with the run's input; tavril.Error when
  // the board cannot play them (nothing then plays).
  RunOutputs(Board& board, const std::vector<GeneratedOutput>& waves);
  ~RunOutputs();
  bool Failed() const { return player_.Failure() != kDaqNoError; }
  void Halt() { player_.Halt(); }
  // Every output at 0 V; the board's reason when they failed during the run.
  std::string Stop();

 private:
  Board& board_;
  OutputPlayer player_;
  bool playing_ = false;
};

void BindStream(py::module_& m, py::class_<BoardSession, BoardHandle>& board);
void BindRecord(py::class_<BoardSession, BoardHandle>& board);

}  // namespace tavril::python
