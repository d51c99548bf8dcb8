#pragma once

#include <filesystem>

#include "acquisition/boards.h"
#include "model/user_interaction.h"
#include "ui/common/session_model.h"

namespace tavril {

class MainWindow;

// Start-up once the main window is shown: opens the panels, records
// `startDirectory`, reads its TAVRIL.INI (or falls back to the defaults,
// writes them and runs the configuration dialog) and configures the board.
// Every failure is reported to the user and start-up goes on.
void StartUp(MainWindow& window, SessionModel& model, Boards& boards, UserInteraction& ui,
             const std::filesystem::path& startDirectory);

}  // namespace tavril
