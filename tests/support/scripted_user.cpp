#include "support/scripted_user.h"

namespace tavril::testing {

MessageAnswer ScriptedUser::ShowMessage(const MessageBoxRequest& box) {
  boxes_.push_back(box);
  if (!answers_.empty()) {
    const MessageAnswer answer = answers_.front();
    answers_.pop_front();
    return answer;
  }
  return box.buttons == MessageButtons::kYesNo ? MessageAnswer::kYes : MessageAnswer::kOk;
}

}  // namespace tavril::testing
