#pragma once

#include <QDialog>

namespace tavril {

// "Veuillez patientez..." shown while the board works. It has no close box,
// ignores Escape and swallows every command; the acquisition deletes it.
// With OfferGivingUp() it also has a button that asks to give up: a board
// allowed to wait for ever can then be left.
class WaitBox : public QDialog {
  Q_OBJECT

 public:
  explicit WaitBox(QWidget* owner);

  // Adds "Abandonner" below the text, before the box is shown.
  void OfferGivingUp();

  // Shows the box and paints it at once: the acquisition then blocks the GUI
  // thread, and without this the user would see an empty frame or nothing.
  void ShowPainted();

 signals:
  // The user asked to give up the acquisition; the button then greys.
  void givingUp();

 protected:
  void reject() override {}
  void closeEvent(QCloseEvent* event) override;
};

}  // namespace tavril
