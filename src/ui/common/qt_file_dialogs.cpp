#include "ui/common/qt_file_dialogs.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QStringList>

#include "ui/common/owner_modal.h"
#include "ui/common/qt_file_filters.h"
#include "ui/common/stat_only_icon_provider.h"

namespace tavril {
namespace {

std::string FileSystemBytes(const QString& path) {
  return QFile::encodeName(path).toStdString();
}

QString PathText(const std::string& bytes) {
  return QFile::decodeName(QByteArray::fromStdString(bytes));
}

}  // namespace

FileDialogResult QtFileDialogs::ChooseFileToOpen(const FileDialogRequest& request,
                                                 FileDialogState& memory) {
  return Run(false, request, memory);
}

FileDialogResult QtFileDialogs::ChooseFileToSave(const FileDialogRequest& request,
                                                 FileDialogState& memory) {
  return Run(true, request, memory);
}

FileDialogResult QtFileDialogs::Run(bool forSaving, const FileDialogRequest& request,
                                    FileDialogState& memory) {
  // Declared first: the dialog's listing uses it until the dialog is gone.
  StatOnlyIconProvider icons;
  const QString startDirectory = memory.filePath.empty()
                                     ? PathText(request.startDirectory)
                                     : QFileInfo(PathText(memory.filePath)).absolutePath();
  QFileDialog dialog(DialogOwner(owner_), QString::fromUtf8(request.title), startDirectory);
  // Qt's own dialog, whatever the desktop offers, so that the listing is ours.
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setIconProvider(&icons);
  if (forSaving) {
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
  } else {
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
  }
  ApplyFileFilters(dialog, request.filters, memory.filterIndex);
  dialog.setDefaultSuffix(QString::fromUtf8(request.defaultExtension));

  // The dialog opens where the last chosen file was, with its name filled in.
  if (!memory.filePath.empty()) dialog.selectFile(QFileInfo(PathText(memory.filePath)).fileName());
  // What the user types goes into the name, whatever else the window system
  // would give the focus to.
  if (auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
    name->setFocus(Qt::OtherFocusReason);
    name->selectAll();
  }

  if (RunOwnerModal(dialog) != QDialog::Accepted) return {FileDialogOutcome::kCancelled, 0};
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return {FileDialogOutcome::kCancelled, 0};

  const QString path = chosen.constFirst();
  memory.filePath = FileSystemBytes(path);
  memory.fileTitle = FileSystemBytes(QFileInfo(path).fileName());
  const int filterNumber = SelectedFilterNumber(dialog, request.filters);
  if (filterNumber >= 1) memory.filterIndex = filterNumber;
  return {FileDialogOutcome::kChosen, 0};
}

}  // namespace tavril
