#include "scripted_file_dialogs.h"

namespace tavril::testing {

void ScriptedFileDialogs::Choose(const std::filesystem::path& path, int filterIndex) {
  script_.push_back({FileDialogOutcome::kChosen, path.string(), filterIndex, 0});
}

void ScriptedFileDialogs::Cancel() {
  script_.push_back({FileDialogOutcome::kCancelled, {}, 0, 0});
}

void ScriptedFileDialogs::Fail(unsigned long errorCode) {
  script_.push_back({FileDialogOutcome::kFailed, {}, 0, errorCode});
}

FileDialogResult ScriptedFileDialogs::ChooseFileToOpen(const FileDialogRequest& request,
                                                       FileDialogState& memory) {
  return Answer(Kind::kOpen, request, memory);
}

FileDialogResult ScriptedFileDialogs::ChooseFileToSave(const FileDialogRequest& request,
                                                       FileDialogState& memory) {
  return Answer(Kind::kSave, request, memory);
}

FileDialogResult ScriptedFileDialogs::Answer(Kind kind, const FileDialogRequest& request,
                                             FileDialogState& memory) {
  shown_.push_back({kind, request, memory.filePath, memory.filterIndex});
  if (script_.empty()) return {FileDialogOutcome::kCancelled, 0};
  const Step step = script_.front();
  script_.pop_front();
  if (step.outcome == FileDialogOutcome::kChosen) {
    memory.filePath = step.path;
    memory.fileTitle = std::filesystem::path(step.path).filename().string();
    if (step.filterIndex != 0) memory.filterIndex = step.filterIndex;
  }
  return {step.outcome, step.errorCode};
}

}  // namespace tavril::testing
