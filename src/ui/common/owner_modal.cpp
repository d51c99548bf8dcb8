#include "ui/common/owner_modal.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QEventLoop>
#include <QPointer>
#include <QWindow>
#include <algorithm>
#include <vector>

namespace tavril {
namespace {

// The dialogs running under RunOwnerModal, innermost last. Like Qt's own
// list of modal windows it belongs to the one GUI thread.
std::vector<QPointer<QDialog>>& RunningDialogs() {
  static std::vector<QPointer<QDialog>> running;
  return running;
}

bool IsUserInput(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::Close:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
      return true;
    default:
      return false;
  }
}

// Swallows the user's input aimed at the owner's window, for as long as it
// lives, and keeps `dialog` on the list of running dialogs.
class OwnerBlocker : public QObject {
 public:
  OwnerBlocker(QWidget* owner, QDialog& dialog) : owner_(owner) {
    RunningDialogs().push_back(&dialog);
    if (owner_ != nullptr) qApp->installEventFilter(this);
  }
  ~OwnerBlocker() override {
    if (owner_ != nullptr) qApp->removeEventFilter(this);
    RunningDialogs().pop_back();
  }

 protected:
  bool eventFilter(QObject* receiver, QEvent* event) override {
    if (owner_ == nullptr || !IsUserInput(event->type()) || !AimsAtOwner(receiver)) return false;
    // An accepted override keeps the owner's menu shortcuts and mnemonics
    // from firing; an ignored close keeps the window open.
    if (event->type() == QEvent::ShortcutOverride) {
      event->accept();
    } else {
      event->ignore();
    }
    if (event->type() == QEvent::MouseButtonPress) {
      if (QWidget* dialog = ActiveModalDialog()) {
        dialog->raise();
        dialog->activateWindow();
      }
    }
    return true;
  }

 private:
  bool AimsAtOwner(QObject* receiver) const {
    if (receiver->isWidgetType()) return static_cast<QWidget*>(receiver)->window() == owner_;
    return receiver->isWindowType() && receiver == owner_->windowHandle();
  }

  QPointer<QWidget> owner_;
};

}  // namespace

int RunOwnerModal(QDialog& dialog) {
  dialog.setWindowModality(Qt::NonModal);
  dialog.setResult(0);
  QWidget* owner = dialog.parentWidget() != nullptr ? dialog.parentWidget()->window() : nullptr;
  const OwnerBlocker blocker(owner, dialog);
  QEventLoop loop;
  QObject::connect(&dialog, &QDialog::finished, &loop, &QEventLoop::quit);
  dialog.show();
  dialog.raise();
  dialog.activateWindow();
  if (dialog.isVisible()) loop.exec(QEventLoop::DialogExec);
  return dialog.result();
}

QWidget* ActiveModalDialog() {
  const std::vector<QPointer<QDialog>>& running = RunningDialogs();
  const auto innermost = std::find_if(running.rbegin(), running.rend(), [](const auto& dialog) {
    return dialog != nullptr && dialog->isVisible();
  });
  if (innermost != running.rend()) return innermost->data();
  return QApplication::activeModalWidget();
}

QWidget* DialogOwner(QWidget* fallback) {
  const std::vector<QPointer<QDialog>>& running = RunningDialogs();
  QWidget* active = QApplication::activeWindow();
  for (auto it = running.rbegin(); it != running.rend(); ++it) {
    QDialog* dialog = it->data();
    if (dialog == nullptr || !dialog->isVisible()) continue;
    return active == nullptr || active == dialog ? dialog : fallback;
  }
  return fallback;
}

}  // namespace tavril
