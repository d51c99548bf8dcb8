#include "app/ui/qt_file_dialogs.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>

#include "app/ui/owner_modal.h"
#include "app/ui/stat_only_icon_provider.h"

namespace tavril {
namespace {

// Qt reads a filter's patterns from the parentheses at the end of its text.
QString NameFilterText(const FileFilter& filter) {
  const QString description = QString::fromUtf8(filter.description);
  const QString pattern = QString::fromUtf8(filter.pattern);
  if (description.endsWith(QLatin1Char('(') + pattern + QLatin1Char(')'))) return description;
  return description + QStringLiteral(" (") + pattern + QLatin1Char(')');
}

std::string FileSystemBytes(const QString& path) {
  return QFile::encodeName(path).toStdString();
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
  QFileDialog dialog(DialogOwner(owner_), QString::fromUtf8(request.title));
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

  QStringList filters;
  for (const FileFilter& filter : request.filters) filters << NameFilterText(filter);
  dialog.setNameFilters(filters);
  if (memory.filterIndex >= 1 && memory.filterIndex <= filters.size()) {
    dialog.selectNameFilter(filters.at(memory.filterIndex - 1));
  }
  dialog.setDefaultSuffix(QString::fromUtf8(request.defaultExtension));

  // The dialog opens where the last chosen file was, with its name filled in.
  if (!memory.filePath.empty()) {
    const QFileInfo last(QFile::decodeName(QByteArray::fromStdString(memory.filePath)));
    dialog.setDirectory(last.absolutePath());
    dialog.selectFile(last.fileName());
  }

  if (RunOwnerModal(dialog) != QDialog::Accepted) return {FileDialogOutcome::kCancelled, 0};
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return {FileDialogOutcome::kCancelled, 0};

  const QString path = chosen.constFirst();
  memory.filePath = FileSystemBytes(path);
  memory.fileTitle = FileSystemBytes(QFileInfo(path).fileName());
  const qsizetype filterPosition = filters.indexOf(dialog.selectedNameFilter());
  if (filterPosition >= 0) memory.filterIndex = static_cast<int>(filterPosition) + 1;
  return {FileDialogOutcome::kChosen, 0};
}

}  // namespace tavril
