#pragma once

#include <QDialog>

namespace tavril {

// "A propos": the icon, the program's name, version, authors and date of
// last revision, and an OK button. Nothing in it changes at run time.
class AboutDialog : public QDialog {
  Q_OBJECT

 public:
  explicit AboutDialog(QWidget* parent = nullptr);
};

}  // namespace tavril
