#include <QApplication>
#include <filesystem>
#include <memory>
#include <system_error>

#include "acquisition/board_router.h"
#include "ui/common/app_state.h"
#include "ui/common/app_icon.h"
#include "ui/common/app_look.h"
#include "ui/app/main_window.h"
#include "ui/common/qt_file_dialogs.h"
#include "ui/common/qt_user_interaction.h"
#include "ui/app/startup.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  tavril::ApplyTavrilLook(application);
  QApplication::setWindowIcon(tavril::TavrilIcon());

  // Declared before the window, which works on them until it is destroyed.
  tavril::AppState state;
  const std::unique_ptr<tavril::BoardRouter> boards = tavril::MakeDefaultBoards();
  tavril::QtUserInteraction user;
  tavril::QtFileDialogs fileDialogs;

  tavril::MainWindow window(state, *boards, user, fileDialogs);
  window.SetDeviceDescriber(
      [&boards](std::int16_t device) { return boards->DescribeDevice(device); });
  user.Attach(&window, [&window](int commandId) { window.RunCommand(commandId); });
  fileDialogs.SetOwner(&window);
  window.show();

  std::error_code error;
  const std::filesystem::path startDirectory = std::filesystem::current_path(error);
  tavril::StartUp(window, state, *boards, user, startDirectory);

  // The user may already have confirmed quitting from a box of the start-up.
  if (state.quitRequested != 0) return 0;
  return application.exec();
}
