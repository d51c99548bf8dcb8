#pragma once

namespace tavril {

// Main menu command identifiers, shared by the menu and by the core operations
// that re-run a command.
enum CommandId : int {
  kCmdOpen = 40001,
  kCmdSave = 40002,
  kCmdExportMatlab = 40003,
  kCmdExportExcel = 40004,
  kCmdQuit = 40005,
  kCmdAcquisitionPanel = 40006,
  kCmdAbout = 40007,
  kCmdDisplayPanel = 40008,
  kCmdExportImage = 40010,
  kCmdServo = 40011,
  kCmdGenerator = 40012,
  kCmdConfiguration = 40013,
  kCmdChannel0 = 40014,  // 40014 to 40021: "Canal &0" to "Canal &7"
  kCmdHelp = 40022,
  kCmdSearch = 40023,
  kCmdReset = 40024,
  kCmdMathOperations = 40025,
};

}  // namespace tavril
