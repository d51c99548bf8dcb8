#pragma once

#include <string>

#include "model/user_interaction.h"

class QString;
class QWidget;

namespace tavril {

// Message boxes as QMessageBox, modal over their owner (the main window, or
// the dialog the user is working in).
class QtUserInteraction : public UserInteraction {
 public:
  // `owner` owns the boxes.
  void Attach(QWidget* owner);

  MessageAnswer ShowMessage(const MessageBoxRequest& box) override;

 private:
  QWidget* owner_ = nullptr;
};

// A message's UTF-8 text as shown: the file writers' "\r\n" and lone "\r"
// line breaks become "\n".
QString MessageBoxText(const std::string& text);

}  // namespace tavril
