#pragma once

#include <QDialog>
#include <QSize>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "acquisition/boards.h"
#include "model/board_config.h"
#include "model/user_interaction.h"
#include "ui/common/session_model.h"

class QAction;
class QButtonGroup;
class QLabel;
class QLineEdit;
class QMenuBar;
class QPushButton;
class QRadioButton;

namespace tavril {

// The configuration dialog's memory, kept between openings by its owner.
struct ConfigDialogMemory {
  // The settings being edited: the live ones at every opening, then what the
  // controls and the menu put there (a refused value included).
  BoardConfig working;
  bool advancedOptionsShown = false;
};

// "Configuration": edits the board settings and the help viewer in
// memory.working and commits them to the session's boardConfig once the
// board has accepted them, then tells the model. Its result: 1 after a
// successful OK, 0 after "Annuler", "Quitter" or the close box.
class ConfigDialog : public QDialog {
  Q_OBJECT

 public:
  // Window sizes in pixels, frame and menu included, without and with the
  // advanced options.
  static constexpr QSize kCompactWindowSize{264, 175};
  static constexpr QSize kFullWindowSize{264, 296};

  // Menu ids of the dialog's own menu.
  static constexpr int kCmdSaveAsDefault = 40002;
  static constexpr int kCmdRestoreDefault = 40027;
  static constexpr int kCmdQuit = 40005;
  static constexpr int kCmdAdvancedOptions = 40028;
  // Applies without closing (what "Sauvegarder comme configuration par défaut" runs first).
  static constexpr int kCmdApplyOnly = 9999;

  // The typed device's board in `boards` is configured on every apply.
  // `startDirectory` holds TAVRIL.INI. `describeDevice` says which board
  // serves a device number (French, UTF-8): the brief text in the strip above
  // the device field, the full one as its tooltip. `browseViewer` runs an Open
  // dialog of its own for the viewer program, starting from the given path,
  // and gives the chosen full path, or nothing when the user cancelled.
  ConfigDialog(SessionModel& model, ConfigDialogMemory& memory, Boards& boards, UserInteraction& ui,
               std::string startDirectory,
               std::function<DeviceDescription(std::int16_t)> describeDevice,
               std::function<std::optional<std::string>(const std::string&)> browseViewer,
               QWidget* parent = nullptr);

  // Runs a button or menu command by its id, as the click does. Unknown ids
  // do nothing.
  void RunCommand(int commandId);

  // Puts memory.working back into the controls.
  void ShowWorkingConfig();

  QAction* MenuAction(int commandId) const;

  // The controls, by their part in the dialog.
  QLineEdit* deviceEdit() const { return device_; }
  QLineEdit* timeOutEdit() const { return timeOut_; }
  QLineEdit* gainAdjustEdit() const { return gainAdjust_; }
  QLineEdit* offsetEdit() const { return offset_; }
  QLineEdit* htmlViewerEdit() const { return htmlViewer_; }
  QRadioButton* inputModeButton(int inputMode) const;
  QRadioButton* polarityButton(int polar) const;
  QPushButton* okButton() const { return ok_; }
  QPushButton* cancelButton() const { return cancel_; }
  QPushButton* browseButton() const { return browse_; }
  QLabel* deviceDescription() const { return deviceDescription_; }

 private:
  // The height of the area under the menu bar, in pixels, for the current size.
  int ContentHeight() const;
  void BuildControls();
  void BuildMenu();
  void ApplySize();
  // Returns true when the board took the configuration and it was committed.
  bool Apply();
  void SaveAsDefault();
  void RestoreDefault();
  void ToggleAdvancedOptions();
  void BrowseViewer();
  void ShowDeviceDescription();
  void ShowError(const std::string& text, const char* caption);

  SessionModel& model_;
  ConfigDialogMemory& memory_;
  Boards& boards_;
  UserInteraction& ui_;
  std::string startDirectory_;
  std::function<DeviceDescription(std::int16_t)> describeDevice_;
  std::function<std::optional<std::string>(const std::string&)> browseViewer_;

  QMenuBar* menuBar_ = nullptr;
  QWidget* content_ = nullptr;
  QAction* saveAsDefault_ = nullptr;
  QAction* restoreDefault_ = nullptr;
  QAction* quit_ = nullptr;
  QAction* advancedOptions_ = nullptr;
  QLabel* deviceDescription_ = nullptr;
  QLineEdit* device_ = nullptr;
  QRadioButton* differential_ = nullptr;
  QRadioButton* referenced_ = nullptr;
  QRadioButton* nonReferenced_ = nullptr;
  QRadioButton* unipolar_ = nullptr;
  QRadioButton* bipolar_ = nullptr;
  QButtonGroup* modeGroup_ = nullptr;
  QButtonGroup* polarityGroup_ = nullptr;
  QPushButton* ok_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QLineEdit* timeOut_ = nullptr;
  QLineEdit* gainAdjust_ = nullptr;
  QLineEdit* offset_ = nullptr;
  QLineEdit* htmlViewer_ = nullptr;
  QPushButton* browse_ = nullptr;
};

}  // namespace tavril
