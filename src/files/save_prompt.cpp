#include "files/save_prompt.h"

#include "model/messages.h"
#include "text/system_error_text.h"

#include <system_error>

namespace tavril {

namespace {

// The questions before a write: a file that cannot be created is told (false
// with kFailed); an existing one is asked about (false with kDeclined).
bool MayWrite(UserInteraction& ui, const std::filesystem::path& path, AtomicFileWriter& writer,
              const char* caption, SaveOutcome& outcome) {
  if (!writer.Open(path)) {
    ui.ShowMessage({messages::kCannotCreate, caption, MessageIcon::kError, MessageButtons::kOk});
    outcome = SaveOutcome::kFailed;
    return false;
  }
  std::error_code error;
  if (std::filesystem::exists(path, error)) {
    const MessageAnswer answer = ui.ShowMessage(
        {messages::kOverwriteQuestion, caption, MessageIcon::kInformation, MessageButtons::kYesNo});
    if (answer != MessageAnswer::kYes) {
      outcome = SaveOutcome::kDeclined;
      return false;
    }
  }
  return true;
}

}  // namespace

SaveOutcome SaveWithOverwritePrompt(UserInteraction& ui, const std::filesystem::path& path,
                                    const std::function<void(AtomicFileWriter&)>& writeContent) {
  AtomicFileWriter writer;
  SaveOutcome refused = SaveOutcome::kFailed;
  if (!MayWrite(ui, path, writer, messages::kWriterCaption, refused)) return refused;
  writeContent(writer);
  return writer.Commit() ? SaveOutcome::kWritten : SaveOutcome::kFailed;
}

SaveOutcome SaveWithOverwritePrompt(
    UserInteraction& ui, const std::filesystem::path& path, const char* caption,
    const std::function<bool(const std::filesystem::path&, std::string* why)>& writeFile,
    std::string* why) {
  SaveOutcome refused = SaveOutcome::kFailed;
  {
    AtomicFileWriter probe;
    if (!MayWrite(ui, path, probe, caption, refused)) {
      if (refused == SaveOutcome::kFailed && why != nullptr) {
        *why = "Impossible de créer « " + path.filename().string() +
               " » : " + SystemErrorText(probe.Error()) + ".";
      }
      return refused;
    }
  }
  return writeFile(path, why) ? SaveOutcome::kWritten : SaveOutcome::kFailed;
}

}  // namespace tavril
