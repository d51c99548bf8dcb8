#include <QApplication>
#include <QSettings>
#include <filesystem>
#include <memory>
#include <system_error>

#include "acquisition/comedi/default_boards.h"
#include "ui/app/main_window.h"
#include "ui/app/startup.h"
#include "ui/app/termination_signals.h"
#include "ui/common/app_icon.h"
#include "ui/common/app_look.h"
#include "ui/common/qt_file_dialogs.h"
#include "ui/common/qt_user_interaction.h"
#include "ui/display/graph_options_settings.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  tavril::ApplyTavrilLook(application);
  QApplication::setWindowIcon(tavril::TavrilIcon());

  // Declared before the window, which works on them until it is destroyed.
  tavril::SessionModel model;
  tavril::WindowMemory memory;
  const std::unique_ptr<tavril::Boards> boards = tavril::MakeDefaultBoards();
  tavril::QtUserInteraction user;
  tavril::QtFileDialogs fileDialogs;

  // The graph's options live in the user's own settings, beside TAVRIL.INI's
  // fixed layout rather than in it.
  QSettings settings(QStringLiteral("TAVRIL"), QStringLiteral("tavril"));
  model.view().options = tavril::LoadGraphOptions(settings);
  memory.keepGraphOptions = [&settings](const tavril::GraphOptions& options) {
    tavril::SaveGraphOptions(settings, options);
  };

  tavril::MainWindow window(model, memory, *boards, user, fileDialogs);
  user.Attach(&window);
  fileDialogs.SetOwner(&window);
  window.show();
  // SIGTERM and SIGINT quit as Quitter does, without a question.
  tavril::TerminationSignals terminationSignals;
  QObject::connect(&terminationSignals, &tavril::TerminationSignals::received, &window,
                   &tavril::MainWindow::QuitOnSignal);
  QObject::connect(&application, &QCoreApplication::aboutToQuit, &window,
                   &tavril::MainWindow::StopOutputs);

  std::error_code error;
  const std::filesystem::path startDirectory = std::filesystem::current_path(error);
  tavril::StartUp(window, model, *boards, user, startDirectory);

  // The user may already have confirmed quitting from a box of the start-up.
  if (window.quitRequested()) return 0;
  // `tavril FILE` opens the file as its kind asks.
  const QStringList arguments = QApplication::arguments();
  if (arguments.size() > 1) {
    window.OpenFromCommandLine(std::filesystem::path(arguments.at(1).toStdString()));
  }
  if (window.quitRequested()) return 0;
  return application.exec();
}
