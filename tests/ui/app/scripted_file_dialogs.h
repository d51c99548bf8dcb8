#pragma once

#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "ui/common/file_dialogs.h"

namespace tavril::testing {

// File dialogs answered from a script. Each dialog shown is recorded with
// what the user would have seen: its kind, request, and the path and filter
// it opened on. An unscripted dialog is cancelled.
class ScriptedFileDialogs : public FileDialogs {
 public:
  enum class Kind { kOpen, kSave };

  struct Shown {
    Kind kind;
    FileDialogRequest request;
    std::string initialPath;
    int initialFilterIndex;
  };

  // The next dialog chooses `path` (and, when given, the filter at `filterIndex`).
  void Choose(const std::filesystem::path& path, int filterIndex = 0);
  void Cancel();
  void Fail(unsigned long errorCode);

  FileDialogResult ChooseFileToOpen(const FileDialogRequest& request,
                                    FileDialogState& memory) override;
  FileDialogResult ChooseFileToSave(const FileDialogRequest& request,
                                    FileDialogState& memory) override;

  const std::vector<Shown>& shown() const { return shown_; }

 private:
  struct Step {
    FileDialogOutcome outcome;
    std::string path;
    int filterIndex;
    unsigned long errorCode;
  };
  FileDialogResult Answer(Kind kind, const FileDialogRequest& request, FileDialogState& memory);

  std::deque<Step> script_;
  std::vector<Shown> shown_;
};

}  // namespace tavril::testing
