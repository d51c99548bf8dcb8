#pragma once

class QDialog;
class QWidget;

namespace tavril {

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
