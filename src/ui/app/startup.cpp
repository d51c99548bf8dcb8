#include "ui/app/startup.h"

#include "acquisition/acquisition_engine.h"
#include "config/config_file.h"
#include "model/board_config.h"
#include "model/messages.h"
#include "ui/app/main_window.h"

namespace tavril {
namespace {

void ShowError(UserInteraction& ui, const char* text, const char* caption) {
  ui.ShowMessage({text, caption, MessageIcon::kError, MessageButtons::kOk});
}

}  // namespace

void StartUp(MainWindow& window, SessionModel& model, Boards& boards, UserInteraction& ui,
             const std::filesystem::path& startDirectory) {
  window.CreatePanels();
  window.SetStartDirectory(startDirectory);

  BoardConfig& boardConfig = model.session().boardConfig;
  if (ReadConfigFile(boardConfig, startDirectory) == 0) {
    ShowError(ui, messages::kConfigReadFallback, messages::kErrorBang);
    boardConfig = DefaultBoardConfig();
    if (WriteConfigFile(boardConfig, startDirectory) == 0) {
      ShowError(ui, messages::kConfigWriteError, messages::kErrorBang);
    }
    window.RunConfigurationDialog();
  }

  if (!ConfigureBoard(boards, ui, boardConfig.device, boardConfig.inputMode, boardConfig.polar)) {
    ShowError(ui, messages::kBoardConfigurationError, messages::kError);
  }
  // A board keeps the last value it was given, even from a program killed.
  boards.For(boardConfig.device).ZeroOutputs();
}

}  // namespace tavril
