#pragma once

#include <QDialog>
#include <functional>

#include "ui/common/app_state.h"
#include "model/user_interaction.h"

class QButtonGroup;
class QListWidget;

namespace tavril {

// "Operations Mathématiques": picks operand A, operand B, a result channel and
// one of the operations of channel_arithmetic.h, runs it on the channel table
// on OK, titles the result record, makes it the master channel and asks the
// main window to refresh. Its choices live in state.mathDialog and change only
// when OK runs an operation. It stays above every other window; its end code
// means nothing to the caller.
class MathDialog : public QDialog {
  Q_OBJECT

 public:
  MathDialog(AppState& state, UserInteraction& user, std::function<void()> requestRefresh,
             QWidget* parent = nullptr);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void OnOperationClicked(int op);
  void OnOk();
  // The first missing channel the operation needs, as a box; false when one is missing.
  bool CheckSelections(int op, int a, int b, int r);
  int RunOperation(int op, int a, int b, int r);

  AppState& state_;
  UserInteraction& user_;
  std::function<void()> requestRefresh_;
  QListWidget* listA_ = nullptr;
  QListWidget* listB_ = nullptr;
  QListWidget* listResult_ = nullptr;
  QButtonGroup* operations_ = nullptr;
};

}  // namespace tavril
