#pragma once

#include <QDialog>

namespace tavril {

// "Veuillez patientez..." shown while the board works. It has no close box,
// ignores Escape and swallows every command; the acquisition deletes it.
class WaitBox : public QDialog {
  Q_OBJECT

 public:
  explicit WaitBox(QWidget* owner);

  // Shows the box and paints it at once: the acquisition then blocks the GUI
  // thread, and without this the user would see an empty frame or nothing.
  void ShowPainted();

 protected:
  void reject() override {}
  void closeEvent(QCloseEvent* event) override;
};

}  // namespace tavril
