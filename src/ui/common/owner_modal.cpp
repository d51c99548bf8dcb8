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

// Keeps `dialog` on the list of running dialogs for as long as it lives.
class RunningDialog {
 public:
  explicit RunningDialog(QDialog& dialog) { RunningDialogs().push_back(&dialog); }
  ~RunningDialog() { RunningDialogs().pop_back(); }
  RunningDialog(const RunningDialog&) = delete;
  RunningDialog& operator=(const RunningDialog&) = delete;
};

}  // namespace

InputBlocker::InputBlocker(std::vector<QWidget*> windows, QWidget* front) : front_(front) {
  for (QWidget* window : windows) {
    if (window != nullptr) windows_.emplace_back(window);
  }
  if (!windows_.empty()) qApp->installEventFilter(this);
}

InputBlocker::~InputBlocker() {
  if (!windows_.empty()) qApp->removeEventFilter(this);
}

bool InputBlocker::eventFilter(QObject* receiver, QEvent* event) {
  if (!IsUserInput(event->type()) || !AimsAtBlocked(receiver)) return false;
  // An accepted override keeps the window's menu shortcuts and mnemonics
  // from firing; an ignored close keeps the window open.
  if (event->type() == QEvent::ShortcutOverride) {
    event->accept();
  } else {
    event->ignore();
  }
  if (event->type() == QEvent::MouseButtonPress) {
    QWidget* front = front_ != nullptr ? front_.data() : ActiveModalDialog();
    if (front != nullptr) {
      front->raise();
      front->activateWindow();
    }
  }
  return true;
}

bool InputBlocker::AimsAtBlocked(QObject* receiver) const {
  for (const QPointer<QWidget>& window : windows_) {
    if (window == nullptr) continue;
    if (receiver->isWidgetType() && static_cast<QWidget*>(receiver)->window() == window) {
      return true;
    }
    if (receiver->isWindowType() && receiver == window->windowHandle()) return true;
  }
  return false;
}

int RunOwnerModal(QDialog& dialog) {
  dialog.setWindowModality(Qt::NonModal);
  dialog.setResult(0);
  QWidget* owner = dialog.parentWidget() != nullptr ? dialog.parentWidget()->window() : nullptr;
  const RunningDialog running(dialog);
  const InputBlocker blocker({owner}, nullptr);
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
