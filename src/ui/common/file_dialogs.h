#pragma once

#include <string>
#include <vector>

namespace tavril {

// A file dialog's memory: the Open, Save and Export dialogs of the data files
// share one, which opens each dialog where the last chosen file was. Paths
// are UTF-8 (Qt's side of the edge).
struct FileDialogState {
  std::string filePath;   // full path of the last chosen file
  std::string fileTitle;  // its name without folders
  int filterIndex = 1;    // the filter last used, from 1
};

struct FileFilter {
  std::string description;  // what the user reads, such as "Fichiers TAVRIL (*.tvr)"
  // Such as "*.tvr", or several names or patterns separated by spaces; "*.*"
  // means every file, names without a dot included.
  std::string pattern;
  // Lists only the files the user may run, whatever their names (`pattern` is
  // then left empty): no name pattern can say that.
  bool executablesOnly = false;
};

// One use of a file dialog. Texts are UTF-8.
struct FileDialogRequest {
  std::string title;
  std::vector<FileFilter> filters;
  std::string defaultExtension;  // added after a dot to a name typed without an extension
  // The folder the dialog opens in when the memory holds no path; empty for
  // the current directory.
  std::string startDirectory = {};
};

enum class FileDialogOutcome { kChosen, kCancelled, kFailed };

struct FileDialogResult {
  FileDialogOutcome outcome = FileDialogOutcome::kCancelled;
  unsigned long errorCode = 0;  // the dialog's own error number when it failed
};

// The Open and Save As dialogs. Each opens on the remembered path and filter
// of `memory`; when a file is chosen it stores there the full path, the
// file's name and the filter used, and on cancel or failure leaves `memory`
// as it was. A dialog that must not share the data files' memory gets a
// fresh one of its own. The window program shows Qt dialogs; tests script the
// answers.
class FileDialogs {
 public:
  virtual ~FileDialogs() = default;

  // Only an existing file can be chosen.
  virtual FileDialogResult ChooseFileToOpen(const FileDialogRequest& request,
                                            FileDialogState& memory) = 0;

  // Any name can be chosen; the dialog does not ask about replacing an
  // existing file, since the writers ask themselves.
  virtual FileDialogResult ChooseFileToSave(const FileDialogRequest& request,
                                            FileDialogState& memory) = 0;
};

}  // namespace tavril
