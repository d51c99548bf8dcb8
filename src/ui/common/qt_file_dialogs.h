#pragma once

#include "ui/common/file_dialogs.h"

class QWidget;

namespace tavril {

// The file dialogs as Qt's own QFileDialog, modal over their owner (the main
// window, or the dialog the user is working in).
class QtFileDialogs : public FileDialogs {
 public:
  void SetOwner(QWidget* owner) { owner_ = owner; }

  FileDialogResult ChooseFileToOpen(const FileDialogRequest& request,
                                    FileDialogState& memory) override;
  FileDialogResult ChooseFileToSave(const FileDialogRequest& request,
                                    FileDialogState& memory) override;

 private:
  FileDialogResult Run(bool forSaving, const FileDialogRequest& request, FileDialogState& memory);

  QWidget* owner_ = nullptr;
};

}  // namespace tavril
