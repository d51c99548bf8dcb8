#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <vector>

class QDialog;

namespace tavril {

// For as long as it lives, the user's input aimed at `windows` is swallowed:
// clicks, wheel, keys, shortcuts, context menus and closing. A click on one
// of them brings forward `front`, or when it is null the innermost dialog
// running under RunOwnerModal. Every other window, those opened meanwhile
// included, goes on taking input.
class InputBlocker : public QObject {
 public:
  InputBlocker(std::vector<QWidget*> windows, QWidget* front);
  ~InputBlocker() override;
  InputBlocker(const InputBlocker&) = delete;
  InputBlocker& operator=(const InputBlocker&) = delete;

 protected:
  bool eventFilter(QObject* receiver, QEvent* event) override;

 private:
  bool AimsAtBlocked(QObject* receiver) const;

  std::vector<QPointer<QWidget>> windows_;
  QPointer<QWidget> front_;
};

// Runs `dialog` until it finishes and returns its result, as exec() does,
// but only the window of the dialog's parent (its owner) stops taking input
// meanwhile: clicks, wheel, keys, shortcuts, context menus and closing. A
// click on the owner brings the dialog forward. Every other window stays
// usable, the panels beside the main window included, which Qt's own window
// modality would block too since they are the main window's transient
// children. Runs nest; a dialog without a parent blocks nothing.
int RunOwnerModal(QDialog& dialog);

// The innermost dialog running under RunOwnerModal, or else Qt's active
// modal widget; null when there is none.
QWidget* ActiveModalDialog();

// Who owns a box or a file dialog opened now: the innermost dialog running
// under RunOwnerModal when the user is working in it (it is the active
// window, or no window is), otherwise `fallback`.
QWidget* DialogOwner(QWidget* fallback);

}  // namespace tavril
