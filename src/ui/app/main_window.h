#pragma once

#include <QMainWindow>
#include <QPointer>
#include <filesystem>
#include <functional>
#include <map>
#include <span>
#include <string>

#include "acquisition/boards.h"
#include "files/channel_set.h"
#include "files/save_prompt.h"
#include "model/program.h"
#include "model/user_interaction.h"
#include "ui/acquisition/acquisition_panel.h"
#include "ui/acquisition/frequency_response_window.h"
#include "ui/acquisition/generator_choices.h"
#include "ui/acquisition/run_requests.h"
#include "ui/common/file_dialogs.h"
#include "ui/common/session_model.h"
#include "ui/config/config_dialog.h"
#include "ui/processing/math_dialog.h"

class QAction;
class QCloseEvent;
class QKeyEvent;
class QTimer;

namespace tavril {

class AcquisitionController;
class ContinuousWindow;
class DisplayPanel;
class FrequencyResponseWindow;
class GeneratorWindow;
class SpectrumPanel;
class GraphWidget;
class InfoStripWidget;
class MeasurementsWindow;

inline constexpr const char* kAppName = kProgramName;

// Writes the records of several channels at a path; false with the reason in
// `why` when it fails.
using RecordsWriter = bool (*)(std::span<const SlotView>, const std::filesystem::path&,
                               std::string* why);
using PathWriter = std::function<bool(const std::filesystem::path&, std::string* why)>;

// What the program remembers between uses of its windows: the data files'
// dialog, and each panel's and dialog's own memory.
struct WindowMemory {
  FileDialogState dataFiles;
  FileDialogState channelFiles;  // exports and imports of several channels
  FileDialogState sessionFiles;
  FileDialogState imageFiles;
  AcquisitionPanelMemory acquisition;
  MathDialogMemory math;
  ConfigDialogMemory configuration;
  ContinuousChoices continuous;
  FileDialogState recordingFiles;
  GeneratorChoices generator;
  FileDialogState generatorFiles;
  FrequencyResponseChoices frequencyResponse;
  // Keeps the graph's options for the next run; none in tests.
  std::function<void(const GraphOptions&)> keepGraphOptions;
};

// The program's window: the menu bar, the graph above the information strip
// and every menu command. It shows the session of `model` and follows its
// changes; it reaches the user through `ui` (message boxes) and
// `fileDialogs`, so that tests can script both.
class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  // Height of the information strip; the graph takes the rest of the client area.
  static constexpr int kStripHeight = 70;

  MainWindow(SessionModel& model, WindowMemory& memory, Boards& boards, UserInteraction& ui,
             FileDialogs& fileDialogs, QWidget* parent = nullptr);
  // Releases the sample memory of every channel.
  ~MainWindow() override;

  // Runs a menu command to its end, exactly as when it is chosen from the
  // menu, greyed or not. Unknown ids do nothing.
  void RunCommand(int commandId);

  // Lays out the graph and the strip, refits the scale when it is automatic,
  // repaints the graph and the strip, then tells the panels. Runs whenever
  // the model says the records, the master channel or the scale changed.
  void RequestRefresh();

  // The menu item of a command, null for an unknown id.
  QAction* CommandAction(int commandId) const;

  GraphWidget* graph() const { return graph_; }
  InfoStripWidget* strip() const { return strip_; }

  // Opens the acquisition panel and the display panel (done once at start-up).
  void CreatePanels();

  // Runs the configuration dialog over the main window alone (start-up runs
  // it after falling back to the default configuration; Help runs it when the
  // viewer fails).
  void RunConfigurationDialog();

  // The folder TAVRIL.INI and the help pages are found in: the current
  // directory when the program started.
  void SetStartDirectory(std::filesystem::path directory) {
    startDirectory_ = std::move(directory);
  }
  const std::filesystem::path& startDirectory() const { return startDirectory_; }

  // Opens a file named on the command line as its kind asks: a .tvr as
  // Ouvrir does, a session as Ouvrir une session, a recording in the graph,
  // any other file of channels as Importer des canaux.
  void OpenFromCommandLine(const std::filesystem::path& path);

  // True once the user confirmed quitting.
  bool quitRequested() const { return quitRequested_; }

  // Stops the frequency response's sweep and the Générateur's output, and
  // puts every output of the present board at 0 V.
  void StopOutputs();

  // Quits as Quitter does, without asking, for a signal that ends the
  // program: the event loops are told to end first, so that no box can hold
  // it; a continuous run stops (its file closed whole), the outputs go to
  // 0 V, and records holding samples are saved as a session in the start
  // directory (the path is written on the standard error).
  void QuitOnSignal(int signalNumber);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Open();
  void OpenDataFile(const std::filesystem::path& path, const std::string& fileTitle);
  void Save();
  void ExportMatlab();
  bool SaveUntilWritten(const FileDialogRequest& request,
                        SaveOutcome (*write)(UserInteraction&, const std::filesystem::path&,
                                             const ChannelRecord&));
  // Files of several channels, images and sessions (main_window_files.cpp);
  // false for any other command.
  bool RunFileCommand(int commandId);
  void ExportChannels(const FileDialogRequest& request, const char* caption, RecordsWriter write);
  void ExportImage();
  void Import();
  void ImportFile(const std::filesystem::path& path, const std::string& fileTitle);
  void OpenSession();
  void OpenSessionFile(const std::filesystem::path& path, const std::string& fileTitle);
  // Recordings in the graph (main_window_recording.cpp).
  void OpenRecording();
  bool OpenRecordingAt(const std::filesystem::path& path, const std::string& fileTitle);
  void CloseRecording();
  void Extract();
  void ShowRecordingMarks();
  void FollowShownRecording();
  // Looks back through the file of the continuous run recording, or returns
  // to the live picture.
  void ToggleLookBack();
  void FollowRecordedFile();
  void SaveSession();
  // Like SaveUntilWritten, for a writer that writes the file by its name; the
  // writer's reason follows the failure message. `afterChoice` may amend the
  // name chosen before it is written.
  bool WriteUntilWritten(const FileDialogRequest& request, FileDialogState& files,
                         const char* caption, const PathWriter& write,
                         const std::function<void(FileDialogState&)>& afterChoice = {});
  void Reset();
  void ToggleChannel(int channel);
  void ShowHelp();
  void ShowAbout();

  void ToggleAcquisitionPanel();
  void ToggleContinuousWindow();
  void ChooseRecordingFile();
  void ToggleDisplayPanel();
  void ToggleGraphOption(int commandId);
  void ShowGraphOptionMarks();
  void ZoomBackOrFit(int commandId);
  void ToggleMeasurementsWindow();
  void ToggleSpectrumWindow();
  void ToggleGeneratorWindow();
  void ToggleFrequencyResponseWindow();
  // What quitting does once decided: the runs end, the outputs go to 0 V.
  void EndRunsBeforeQuitting();
  // Saves the records holding samples before a quit nobody confirmed.
  void SaveRecordsOnSignal();
  void RunMathOperationsDialog();
  // Graph and strip only, as the display panel's arrows ask.
  void RepaintGraph();

  // Runs a file dialog on `memory`; false when no file was chosen. A cancel is
  // silent, a failure of the dialog is reported.
  bool ChooseFile(bool forSaving, const FileDialogRequest& request, FileDialogState& memory);
  MessageAnswer Tell(const std::string& text, const char* caption, MessageIcon icon,
                     MessageButtons buttons = MessageButtons::kOk);
  void SetAppTitle(const std::string& title);
  static std::string TitleWithFile(const std::string& fileTitle);
  static std::filesystem::path ChosenPath(const FileDialogState& memory);

  SessionModel& model_;
  Session& session_;
  ViewState& view_;
  WindowMemory& memory_;
  Boards& boards_;
  UserInteraction& ui_;
  FileDialogs& fileDialogs_;
  std::filesystem::path startDirectory_;
  std::string recordsTitle_;         // the window's title while the records are shown
  std::string recordingTitle_;       // and while the last recording was
  QTimer* lookBackTimer_ = nullptr;  // reads the run's file as it grows
  bool quitRequested_ = false;
  int quitSignal_ = 0;  // the signal being obeyed, 0 for none
  QPointer<AcquisitionPanel> acquisitionPanel_;
  QPointer<DisplayPanel> displayPanel_;
  QPointer<ContinuousWindow> continuousWindow_;
  AcquisitionController* acquisition_ = nullptr;
  QPointer<MeasurementsWindow> measurementsWindow_;
  QPointer<SpectrumPanel> spectrumPanel_;
  QPointer<GeneratorWindow> generatorWindow_;
  QPointer<FrequencyResponseWindow> frequencyResponseWindow_;
  QWidget* client_ = nullptr;
  QWidget* graphFrame_ = nullptr;
  GraphWidget* graph_ = nullptr;
  InfoStripWidget* strip_ = nullptr;
  std::map<int, QAction*> commands_;
};

}  // namespace tavril
