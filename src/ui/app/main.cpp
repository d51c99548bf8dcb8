#include <QApplication>
#include <QFile>
#include <QSettings>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "acquisition/comedi/default_boards.h"
#include "config/work_folder.h"
#include "ui/app/main_window.h"
#include "ui/app/startup.h"
#include "ui/app/termination_signals.h"
#include "ui/app/window_command_line.h"
#include "ui/common/app_icon.h"
#include "ui/common/app_look.h"
#include "ui/common/qt_file_dialogs.h"
#include "ui/common/qt_user_interaction.h"
#include "ui/display/graph_options_settings.h"

namespace {

// Answers --help and --version, which need no display, before Qt starts;
// -1 when the window program is to run.
int AnswerWithoutWindow(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  switch (tavril::ReadWindowCommandLine(args).command) {
    case tavril::WindowCommand::kHelp:
      std::cout << tavril::WindowUsageText() << std::flush;
      return std::cout ? 0 : 1;
    case tavril::WindowCommand::kVersion:
      std::cout << tavril::WindowVersionText() << std::flush;
      return std::cout ? 0 : 1;
    case tavril::WindowCommand::kRun:
      break;
  }
  return -1;
}

// The start directory, or, started from a desktop menu, the program's own
// folder in the user's data (made at need), so that TAVRIL.INI never lands
// in the home folder. The start directory when that folder cannot be made.
std::filesystem::path ChooseWorkFolder() {
  const tavril::StartPlace place = tavril::CurrentStartPlace();
  const std::filesystem::path folder = tavril::WorkFolder(place);
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  return error ? place.startDirectory : folder;
}

}  // namespace

int main(int argc, char** argv) {
  if (const int status = AnswerWithoutWindow(argc, argv); status >= 0) return status;
  QApplication application(argc, argv);
  // Qt has taken its own options (-platform, -style...) out of the list.
  std::vector<std::string> args;
  for (const QString& arg : QApplication::arguments().mid(1))
    args.push_back(QFile::encodeName(arg).toStdString());
  const tavril::WindowCommandLine commandLine = tavril::ReadWindowCommandLine(args);
  if (!commandLine.error.empty()) {
    std::cerr << "tavril : " << commandLine.error << '\n';
    return 1;
  }
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

  tavril::StartUp(window, model, *boards, user, ChooseWorkFolder());

  // The user may already have confirmed quitting from a box of the start-up.
  if (window.quitRequested()) return 0;
  // `tavril FILE...` opens each file as its kind asks, in turn.
  for (const std::string& file : commandLine.files) {
    window.OpenFromCommandLine(std::filesystem::path(file));
    if (window.quitRequested()) return 0;
  }
  return application.exec();
}
