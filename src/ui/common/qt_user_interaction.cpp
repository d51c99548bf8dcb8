#include "ui/common/qt_user_interaction.h"

#include <QMessageBox>
#include <QString>
#include <QWidget>
#include <utility>

#include "ui/common/owner_modal.h"

namespace tavril {
namespace {

QMessageBox::Icon BoxIcon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::kError:
      return QMessageBox::Critical;
    case MessageIcon::kQuestion:
      return QMessageBox::Question;
    case MessageIcon::kExclamation:
      return QMessageBox::Warning;
    case MessageIcon::kInformation:
      return QMessageBox::Information;
    case MessageIcon::kNone:
      break;
  }
  return QMessageBox::NoIcon;
}

MessageAnswer Answer(QMessageBox::StandardButton button) {
  switch (button) {
    case QMessageBox::Cancel:
      return MessageAnswer::kCancel;
    case QMessageBox::Yes:
      return MessageAnswer::kYes;
    case QMessageBox::No:
      return MessageAnswer::kNo;
    default:
      return MessageAnswer::kOk;
  }
}

}  // namespace

QString MessageBoxText(const std::string& text) {
  QString shown = QString::fromUtf8(text);
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return shown;
}

void QtUserInteraction::Attach(QWidget* owner) {
  owner_ = owner;
}

MessageAnswer QtUserInteraction::ShowMessage(const MessageBoxRequest& box) {
  QMessageBox::StandardButtons buttons = QMessageBox::Ok;
  QMessageBox::StandardButton first = QMessageBox::Ok;
  switch (box.buttons) {
    case MessageButtons::kOk:
      break;
    case MessageButtons::kOkCancel:
      buttons = QMessageBox::Ok | QMessageBox::Cancel;
      break;
    case MessageButtons::kYesNo:
      buttons = QMessageBox::Yes | QMessageBox::No;
      first = QMessageBox::Yes;
      break;
  }
  QMessageBox message(BoxIcon(box.icon), QString::fromUtf8(box.caption), MessageBoxText(box.text),
                      buttons, DialogOwner(owner_));
  // The first button is the default one, as the user of such boxes expects.
  message.setDefaultButton(first);
  // Only the owner waits for the answer; the tool windows beside it stay usable.
  RunOwnerModal(message);
  return Answer(message.standardButton(message.clickedButton()));
}

}  // namespace tavril
