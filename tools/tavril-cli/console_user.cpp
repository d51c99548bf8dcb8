#include "console_user.h"

#include <ostream>
#include <string>

namespace tavril::cli {

MessageAnswer ConsoleUser::ShowMessage(const MessageBoxRequest& box) {
  std::string_view text = box.text;
  const bool question = box.buttons != MessageButtons::kOk;
  if (question) {
    const std::size_t lastParagraph = text.rfind("\n\n");
    if (lastParagraph != std::string_view::npos) text = text.substr(0, lastParagraph);
  }
  std::string line = "tavril-cli: ";
  for (const char c : text) {
    if (c == '\r') continue;
    line += c == '\n' ? ' ' : c;
  }
  err_ << line << '\n';
  switch (box.buttons) {
    case MessageButtons::kOk:
      return MessageAnswer::kOk;
    case MessageButtons::kOkCancel:
      return MessageAnswer::kCancel;
    case MessageButtons::kYesNo:
      return MessageAnswer::kNo;
  }
  return MessageAnswer::kNo;
}

}  // namespace tavril::cli
