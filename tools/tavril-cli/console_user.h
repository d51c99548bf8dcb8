#pragma once

#include <iosfwd>

#include "model/user_interaction.h"

namespace tavril::cli {

// The program's message boxes on a terminal: each box becomes one line on
// `err` and every question is answered No (or Cancel), since nobody is there
// to answer it; the question itself, the box's last paragraph, is not printed.
class ConsoleUser : public UserInteraction {
 public:
  explicit ConsoleUser(std::ostream& err) : err_(err) {}

  MessageAnswer ShowMessage(const MessageBoxRequest& box) override;

 private:
  std::ostream& err_;
};

}  // namespace tavril::cli
