#pragma once

#include <functional>
#include <string>

#include "app/user_interaction.h"

class QString;
class QWidget;

namespace tavril {

// Message boxes as QMessageBox, modal over their owner (the main window, or
// the dialog the user is working in), and re-run commands handed to the main
// window.
class QtUserInteraction : public UserInteraction {
 public:
  // `owner` owns the boxes; `runCommand` runs a menu command to its end.
  void Attach(QWidget* owner, std::function<void(int)> runCommand);

  MessageAnswer ShowMessage(const MessageBoxRequest& box) override;
  void RunCommandAgain(int commandId) override;

 private:
  QWidget* owner_ = nullptr;
  std::function<void(int)> runCommand_;
};

// A message's UTF-8 text as shown: the file writers' "\r\n" and lone "\r"
// line breaks become "\n".
QString MessageBoxText(const std::string& text);

}  // namespace tavril
