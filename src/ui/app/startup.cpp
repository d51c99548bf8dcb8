#include "ui/app/startup.h"

#include "acquisition/acquisition_engine.h"
#include "ui/app/main_window.h"
#include "model/board_config.h"
#include "config/config_file.h"

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
    ShowError(ui,
              "Erreur lors de la lecture du fichier INI\nLe logiciel prend des valeurs par "
              "défaut\n\nVeuillez reconfigurer",
              "ERROR!");
    boardConfig = DefaultBoardConfig();
    if (WriteConfigFile(boardConfig, startDirectory) == 0) {
      ShowError(ui, "Erreur lors de l'ecriture du fichier INI", "ERROR!");
    }
    window.RunConfigurationDialog();
  }

  if (!ConfigureBoard(boards, ui, boardConfig.device, boardConfig.inputMode, boardConfig.polar)) {
    ShowError(ui, "Probleme lors de la configuration de la carte", "ERROR");
  }
}

}  // namespace tavril
