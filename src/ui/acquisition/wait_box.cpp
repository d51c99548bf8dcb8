#include "ui/acquisition/wait_box.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QWindow>

#include "ui/common/dialog_units.h"

namespace tavril {
namespace {

constexpr qint64 kMaxExposeWaitMs = 250;

}  // namespace

WaitBox::WaitBox(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setWindowTitle(QString::fromUtf8("Veuillez patientez..."));
  setFont(DialogFont());
  setModal(false);
  setFixedSize(DialogSize(105, 34));
  auto* text = new QLabel(QString::fromUtf8("Acquisition ..."), this);
  text->setObjectName(QStringLiteral("waitText"));
  text->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  text->setGeometry(DialogRect(7, 7, 91, 20));
}

void WaitBox::OfferGivingUp() {
  setFixedSize(DialogSize(105, 52));
  auto* button = new QPushButton(QStringLiteral("Abandonner"), this);
  button->setObjectName(QStringLiteral("giveUpButton"));
  button->setAutoDefault(false);
  button->setGeometry(DialogRect(28, 30, 50, 15));
  connect(button, &QPushButton::clicked, this, [this, button] {
    button->setEnabled(false);
    emit givingUp();
  });
}

void WaitBox::ShowPainted() {
  // Centred in the work area of the screen that holds the owner.
  const QWidget* owner = parentWidget();
  const QScreen* screen = owner != nullptr ? owner->screen() : QGuiApplication::primaryScreen();
  if (screen != nullptr) move(screen->availableGeometry().center() - rect().center());
  show();
  // Lets the window system map and paint the box, waiting a little for a
  // window manager that maps it late; user input stays queued so that
  // nothing else runs before the acquisition.
  QElapsedTimer waited;
  waited.start();
  do {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
  } while (!(windowHandle() != nullptr && windowHandle()->isExposed()) &&
           waited.elapsed() < kMaxExposeWaitMs);
  repaint();
}

void WaitBox::closeEvent(QCloseEvent* event) {
  event->ignore();
}

}  // namespace tavril
