#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "app/channel_record.h"
#include "config/board_config.h"
#include "display/graph_scale.h"

namespace tavril {

inline constexpr const char* kAppName = "TAVRIL v1.02";

// Choices of the math operations dialog, kept between openings.
struct MathDialogState {
  int operandA = 0;
  int operandB = 1;  // -1 when no channel is selected
  int resultChannel = 2;
  int op = 2;  // operation code, 2 to 7
};

// The common file dialog's memory, shared by Open, Save, Export and the
// viewer browse. Paths are UTF-8 (Qt's side of the edge).
struct FileDialogState {
  std::string filePath;   // full path of the last chosen file
  std::string fileTitle;  // its name without folders
  int filterIndex = 1;
};

// Every process-wide record of the program, owned in one place and passed to
// whoever needs it. A fresh object is the program's state at start-up.
struct AppState {
  ChannelTable channels{};
  int masterChannel = 0;
  BoardConfig boardConfig{};
  BoardConfig workingConfig{};
  GraphScale graphScale{};
  GraphCursors graphCursors{};
  std::array<int, kChannelCount> channelVisible{1, 1, 1, 1, 1, 1, 1, 1};
  std::array<std::int32_t, kChannelCount> selectedChannels{};
  double scanRate = 0.0;
  MathDialogState mathDialog{};
  int advancedOptionsShown = 0;
  std::string startDirectory;
  FileDialogState fileDialog{};
  std::string appTitle = kAppName;
  int quitRequested = 0;

  ChannelRecord& Master() { return channels[masterChannel]; }
  const ChannelRecord& Master() const { return channels[masterChannel]; }
};

}  // namespace tavril
