#pragma once

#include <deque>
#include <functional>
#include <vector>

#include "app/user_interaction.h"

namespace tavril::testing {

// Answers message boxes from a script and records every box and re-run
// command, so tests can assert the exact texts the user would see.
class ScriptedUser : public UserInteraction {
 public:
  // Queues the answer to the next box; unscripted boxes get kOk (or kYes for
  // a Yes/No question).
  void Answer(MessageAnswer answer) { answers_.push_back(answer); }

  // Called when a command is re-run, in place of the main window.
  void OnCommand(std::function<void(int)> handler) { onCommand_ = std::move(handler); }

  MessageAnswer ShowMessage(const MessageBoxRequest& box) override;
  void RunCommandAgain(int commandId) override;

  const std::vector<MessageBoxRequest>& boxes() const { return boxes_; }
  const std::vector<int>& commands() const { return commands_; }

 private:
  std::deque<MessageAnswer> answers_;
  std::vector<MessageBoxRequest> boxes_;
  std::vector<int> commands_;
  std::function<void(int)> onCommand_;
};

}  // namespace tavril::testing
