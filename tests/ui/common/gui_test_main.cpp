#include <gtest/gtest.h>

#include <QApplication>
#include <QString>

#include "ui/common/app_look.h"

namespace {

QtMessageHandler defaultHandler = nullptr;

// The offscreen platform warns each time a dialog lays itself out or is
// brought forward; that says nothing about the program.
void DropOffscreenNoise(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (text == QLatin1String("This plugin does not support propagateSizeHints()")) return;
  if (text == QLatin1String("This plugin does not support raise()")) return;
  if (defaultHandler != nullptr) defaultHandler(type, context, text);
}

}  // namespace

// One QApplication for every GUI test, on the offscreen platform so that the
// tests need no display and show nothing.
int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  defaultHandler = qInstallMessageHandler(DropOffscreenNoise);
  ::testing::InitGoogleTest(&argc, argv);
  QApplication application(argc, argv);
  tavril::ApplyTavrilLook(application);
  return RUN_ALL_TESTS();
}
