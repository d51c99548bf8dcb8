#pragma once

#include <QFileIconProvider>

namespace tavril {

// Icons and type names for a file dialog's listing, decided from each entry's
// name and file status alone. Qt's own provider guesses a file's type from
// its content when the name does not tell it, and the read never returns on
// a file that has nothing to give yet (/proc/kmsg, a pipe or a device seen
// through a link): the dialog, and the program with it, would freeze.
class StatOnlyIconProvider : public QFileIconProvider {
 public:
  using QFileIconProvider::icon;
  QIcon icon(const QFileInfo& info) const override;
  QString type(const QFileInfo& info) const override;
};

}  // namespace tavril
