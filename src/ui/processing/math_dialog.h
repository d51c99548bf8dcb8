#pragma once

#include <QDialog>

#include "model/user_interaction.h"
#include "processing/math_operation.h"
#include "ui/common/session_model.h"

class QButtonGroup;
class QListWidget;

namespace tavril {

// The math dialog's choices, kept between openings by its owner.
struct MathDialogMemory {
  int operandA = 0;
  int operandB = 1;  // -1 when no channel is selected
  int resultChannel = 2;
  MathOperation operation = MathOperation::kSum;
};

// "Operations Mathématiques": picks operand A, operand B, a result channel and
// one of the operations of math_operation.h, runs it on the session's records
// on OK, titles the result record, makes it the master channel and tells the
// model once. Its choices live in `memory` and change only when OK runs an
// operation. It stays above every other window; its end code means nothing to
// the caller.
class MathDialog : public QDialog {
  Q_OBJECT

 public:
  MathDialog(SessionModel& model, MathDialogMemory& memory, UserInteraction& user,
             QWidget* parent = nullptr);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void OnOperationClicked(int code);
  void OnOk();
  // The first missing channel the operation needs, as a box; false when one is missing.
  bool CheckSelections(MathOperation op, int a, int b, int r);

  SessionModel& model_;
  MathDialogMemory& memory_;
  UserInteraction& user_;
  QListWidget* listA_ = nullptr;
  QListWidget* listB_ = nullptr;
  QListWidget* listResult_ = nullptr;
  QButtonGroup* operations_ = nullptr;
};

}  // namespace tavril
