#include "files/save_prompt.h"

#include "model/messages.h"

#include <system_error>

namespace tavril {

SaveOutcome SaveWithOverwritePrompt(UserInteraction& ui, const std::filesystem::path& path,
                                    const std::function<void(AtomicFileWriter&)>& writeContent) {
  AtomicFileWriter writer;
  if (!writer.Open(path)) {
    ui.ShowMessage({messages::kCannotCreate, messages::kWriterCaption, MessageIcon::kError,
                    MessageButtons::kOk});
    return SaveOutcome::kFailed;
  }
  std::error_code error;
  if (std::filesystem::exists(path, error)) {
    const MessageAnswer answer =
        ui.ShowMessage({messages::kOverwriteQuestion, messages::kWriterCaption,
                        MessageIcon::kInformation, MessageButtons::kYesNo});
    if (answer != MessageAnswer::kYes) return SaveOutcome::kDeclined;
  }
  writeContent(writer);
  return writer.Commit() ? SaveOutcome::kWritten : SaveOutcome::kFailed;
}

}  // namespace tavril
