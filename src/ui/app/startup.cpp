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

void StartUp(MainWindow& window, AppState& state, BoardDriver& boards, UserInteraction& ui,
             const std::filesystem::path& startDirectory) {
  window.CreatePanels();
  state.startDirectory = startDirectory.string();

  if (ReadConfigFile(state.boardConfig, startDirectory) == 0) {
    ShowError(ui,
              "Erreur lors de la lecture du fichier INI\nLe logiciel prend des valeurs par "
              "défaut\n\nVeuillez reconfigurer",
              "ERROR!");
    state.boardConfig = DefaultBoardConfig();
    if (WriteConfigFile(state.boardConfig, startDirectory) == 0) {
      ShowError(ui, "Erreur lors de l'ecriture du fichier INI", "ERROR!");
    }
    window.RunConfigurationDialog();
  }

  const BoardConfig& config = state.boardConfig;
  if (ConfigureBoard(boards, ui, config.device, -1, config.inputMode, config.polar) == 0) {
    ShowError(ui, "Probleme lors de la configuration de la carte", "ERROR");
  }
}

}  // namespace tavril
