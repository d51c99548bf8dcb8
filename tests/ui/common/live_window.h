#pragma once

// For tests and tools that drive the program's windows while a run goes on.

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QString>
#include <QThread>

namespace tavril::testing {

// Lets the event loop run for about `milliseconds`, as a user would wait.
inline void RunEventsFor(int milliseconds) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < milliseconds) {
    QApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(5);
  }
}

// The shown push button with this text, in any top-level window.
inline QPushButton* VisibleButton(const QString& text) {
  for (QWidget* top : QApplication::topLevelWidgets()) {
    for (QPushButton* button : top->findChildren<QPushButton*>()) {
      if (button->isVisible() && button->text() == text) return button;
    }
  }
  return nullptr;
}

}  // namespace tavril::testing
