#pragma once

#include <deque>
#include <vector>

#include "model/user_interaction.h"

namespace tavril::testing {

// Answers message boxes from a script and records every box, so tests can
// assert the exact texts the user would see.
class ScriptedUser : public UserInteraction {
 public:
  // Queues the answer to the next box; unscripted boxes get kOk (or kYes for
  // a Yes/No question).
  void Answer(MessageAnswer answer) { answers_.push_back(answer); }

  MessageAnswer ShowMessage(const MessageBoxRequest& box) override;

  const std::vector<MessageBoxRequest>& boxes() const { return boxes_; }

 private:
  std::deque<MessageAnswer> answers_;
  std::vector<MessageBoxRequest> boxes_;
};

}  // namespace tavril::testing
