#include "files/save_prompt.h"

#include <system_error>

namespace tavril {

int SaveWithOverwritePrompt(UserInteraction& ui, const std::filesystem::path& path,
                            int commandIfDeclined,
                            const std::function<void(AtomicFileWriter&)>& writeContent) {
  AtomicFileWriter writer;
  if (!writer.Open(path)) {
    ui.ShowMessage(
        {kCannotCreateMessage, kWriterCaption, MessageIcon::kError, MessageButtons::kOk});
    return 0;
  }
  std::error_code error;
  if (std::filesystem::exists(path, error)) {
    const MessageAnswer answer = ui.ShowMessage(
        {kOverwriteQuestion, kWriterCaption, MessageIcon::kInformation, MessageButtons::kYesNo});
    if (answer != MessageAnswer::kYes) {
      writer.Discard();
      ui.RunCommandAgain(commandIfDeclined);
      return 1;
    }
  }
  writeContent(writer);
  return writer.Commit() ? 1 : 0;
}

}  // namespace tavril
