#pragma once

#include <string>

namespace tavril {

enum class MessageIcon { kNone, kError, kQuestion, kExclamation, kInformation };
enum class MessageButtons { kOk, kOkCancel, kYesNo };
// Values follow the platform's button identifiers, which some callers compare with.
enum class MessageAnswer { kOk = 1, kCancel = 2, kYes = 6, kNo = 7 };

// One message box as the user sees it. Texts are UTF-8.
struct MessageBoxRequest {
  std::string text;
  std::string caption;
  MessageIcon icon = MessageIcon::kNone;
  MessageButtons buttons = MessageButtons::kOk;
};

// The only way the core reaches the user: the boxes and questions it must
// show. The Qt UI shows real boxes; tests script the answers and record every
// box.
class UserInteraction {
 public:
  virtual ~UserInteraction() = default;

  // Shows a modal box and returns the button chosen.
  virtual MessageAnswer ShowMessage(const MessageBoxRequest& box) = 0;
};

}  // namespace tavril
