#pragma once

namespace tavril {

// Main menu command identifiers.
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
  kCmdImport = 40026,
  kCmdExportCsv = 40029,
  kCmdExportMat = 40030,
  kCmdExportHdf5 = 40031,
  kCmdOpenSession = 40032,
  kCmdSaveSession = 40033,
  kCmdAxes = 40034,
  kCmdGrid = 40035,
  kCmdColours = 40036,
  kCmdZoomBack = 40037,
  kCmdZoomFit = 40038,
  kCmdMeasurements = 40039,
  kCmdSpectrum = 40040,
  kCmdContinuous = 40041,
  kCmdOpenRecording = 40042,
  kCmdCloseRecording = 40043,
  kCmdExtract = 40044,
  kCmdLookBack = 40045,
  kCmdFrequencyResponse = 40046,
};

}  // namespace tavril
