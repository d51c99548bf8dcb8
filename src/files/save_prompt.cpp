#include "files/save_prompt.h"

#include <system_error>

namespace tavril {

int SaveWithOverwritePrompt(UserInteraction& ui, const std::filesystem::path& path,
                            int commandIfDeclined,
                            const std::function<void(AtomicFileWriter&)>& writeContent,
                            SaveOutcome* outcome) {
  SaveOutcome ignored;
  SaveOutcome& result = outcome != nullptr ? *outcome : ignored;
  result = SaveOutcome::kFailed;
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
      result = SaveOutcome::kDeclined;
      ui.RunCommandAgain(commandIfDeclined);
      return 1;
    }
  }
  writeContent(writer);
  if (!writer.Commit()) return 0;
  result = SaveOutcome::kWritten;
  return 1;
}

}  // namespace tavril
