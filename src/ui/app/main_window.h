#pragma once

#include <QMainWindow>
#include <QPointer>
#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "acquisition/board_driver.h"
#include "ui/common/app_state.h"
#include "ui/common/file_dialogs.h"
#include "model/user_interaction.h"

class QAction;
class QCloseEvent;
class QKeyEvent;

namespace tavril {

class AcquisitionPanel;
class DisplayPanel;

class GraphWidget;
class InfoStripWidget;

// The program's window: the menu bar, the graph above the information strip
// and every menu command. It works on the one AppState and reaches the user
// through `ui` (message boxes) and `fileDialogs`, so that tests can script
// both.
class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  // Height of the information strip; the graph takes the rest of the client area.
  static constexpr int kStripHeight = 70;

  MainWindow(AppState& state, BoardDriver& boards, UserInteraction& ui, FileDialogs& fileDialogs,
             QWidget* parent = nullptr);
  // Releases the sample memory of every channel.
  ~MainWindow() override;

  // Runs a menu command to its end, exactly as when it is chosen from the
  // menu, greyed or not. Unknown ids do nothing.
  void RunCommand(int commandId);

  // Lays out the graph and the strip, refits the scale when it is automatic
  // and repaints the graph, the strip and the open panels. Whatever changes
  // what is shown ends with this call.
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

  // What the configuration dialog says serves a device number (the program
  // passes its boards' descriptions).
  void SetDeviceDescriber(std::function<std::string(std::int16_t)> describe) {
    describeDevice_ = std::move(describe);
  }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Open();
  void Save();
  void ExportMatlab();
  bool SaveUntilWritten(const FileDialogRequest& request,
                        SaveOutcome (*write)(UserInteraction&, const std::filesystem::path&,
                                             const ChannelRecord&));
  void Reset();
  void ToggleChannel(int channel);
  void ShowHelp();
  void ShowAbout();

  // The panels and the math operations dialog: their commands and refresh.
  void ToggleAcquisitionPanel();
  void ToggleDisplayPanel();
  void RunMathOperationsDialog();
  void RefreshPanels();

  // Runs a file dialog on `memory`; false when no file was chosen. A cancel is
  // silent, a failure of the dialog is reported.
  bool ChooseFile(bool forSaving, const FileDialogRequest& request, FileDialogState& memory);
  MessageAnswer Tell(const std::string& text, const char* caption, MessageIcon icon,
                     MessageButtons buttons = MessageButtons::kOk);
  void SetAppTitle(std::string title);

  AppState& state_;
  BoardDriver& boards_;
  UserInteraction& ui_;
  std::function<std::string(std::int16_t)> describeDevice_;
  QPointer<AcquisitionPanel> acquisitionPanel_;
  QPointer<DisplayPanel> displayPanel_;
  FileDialogs& fileDialogs_;
  QWidget* client_ = nullptr;
  QWidget* graphFrame_ = nullptr;
  GraphWidget* graph_ = nullptr;
  InfoStripWidget* strip_ = nullptr;
  std::map<int, QAction*> commands_;
};

}  // namespace tavril
