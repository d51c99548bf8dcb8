#include "ui/common/qt_file_filters.h"

#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QPointer>
#include <QSortFilterProxyModel>
#include <QStringList>
#include <memory>

namespace tavril {
namespace {

// Hides the files the user may not run while switched on; folders stay, so
// that the user can go through them.
class ExecutablesFilter : public QSortFilterProxyModel {
 public:
  void SetOn(bool on) {
    if (on_ == on) return;
    on_ = on;
    invalidateRowsFilter();
  }

 protected:
  bool filterAcceptsRow(int row, const QModelIndex& parent) const override {
    if (!on_) return true;
    const auto* files = static_cast<const QFileSystemModel*>(sourceModel());
    const QModelIndex entry = files->index(row, 0, parent);
    // The status read when the folder was listed; nothing is opened.
    return files->isDir(entry) || files->fileInfo(entry).isExecutable();
  }

 private:
  bool on_ = false;
};

// Qt reads a filter's patterns from the parentheses at the end of its text.
QString NameFilterText(const FileFilter& filter) {
  const QString description = QString::fromUtf8(filter.description);
  const QString pattern = QString::fromUtf8(filter.pattern);
  if (pattern.isEmpty()) return description;
  if (description.endsWith(QLatin1Char('(') + pattern + QLatin1Char(')'))) return description;
  return description + QStringLiteral(" (") + pattern + QLatin1Char(')');
}

bool ListsEveryName(const FileFilter& filter) {
  return filter.pattern == "*.*" || filter.executablesOnly;
}

// Corrects what Qt made of the filter just selected.
void FollowFilter(QFileDialog& dialog, const FileFilter& filter, ExecutablesFilter* executables) {
  if (ListsEveryName(filter)) {
    if (auto* files = dialog.findChild<QFileSystemModel*>()) {
      files->setNameFilters({QStringLiteral("*")});
    }
  }
  if (executables != nullptr) executables->SetOn(filter.executablesOnly);
}

}  // namespace

void ApplyFileFilters(QFileDialog& dialog, const std::vector<FileFilter>& filters, int number) {
  QStringList texts;
  bool anyExecutablesFilter = false;
  for (const FileFilter& filter : filters) {
    texts << NameFilterText(filter);
    anyExecutablesFilter = anyExecutablesFilter || filter.executablesOnly;
  }
  dialog.setNameFilters(texts);
  QPointer<ExecutablesFilter> executables;
  if (anyExecutablesFilter) {
    executables = new ExecutablesFilter;
    dialog.setProxyModel(executables);  // the dialog owns it
  }
  if (number >= 1 && number <= texts.size()) dialog.selectNameFilter(texts.at(number - 1));

  // Saving, Qt gives the typed name the filter's extension when another
  // filter is picked: "*.*" would turn "essai.tvr" into "essai.*". The name
  // typed before stays.
  auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  auto typed = std::make_shared<QString>();
  if (name != nullptr) {
    QObject::connect(name, &QLineEdit::textChanged, &dialog, [typed](const QString& text) {
      if (!text.endsWith(QStringLiteral(".*"))) *typed = text;
    });
  }
  // Qt tells of the user's picks only; the selection above is followed here.
  const auto follow = [&dialog, filters, executables, name, typed](int selected) {
    if (selected < 1) return;
    FollowFilter(dialog, filters.at(selected - 1), executables);
    if (name != nullptr && name->text().endsWith(QStringLiteral(".*"))) name->setText(*typed);
  };
  follow(SelectedFilterNumber(dialog, filters));
  QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                   [&dialog, filters, follow] { follow(SelectedFilterNumber(dialog, filters)); });
}

int SelectedFilterNumber(const QFileDialog& dialog, const std::vector<FileFilter>& filters) {
  const QString selected = dialog.selectedNameFilter();
  for (std::size_t i = 0; i < filters.size(); ++i) {
    if (NameFilterText(filters[i]) == selected) return static_cast<int>(i) + 1;
  }
  return 0;
}

}  // namespace tavril
