#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include <QWidget>

#include "acquisition/board_driver.h"
#include "ui/common/app_state.h"
#include "model/user_interaction.h"

class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

namespace tavril {

// Control ids of the panel's template, used as the widgets' object names
// ("control1000" and so on) so that the controls can be found by id.
inline constexpr int kAcquisitionButtonId = 1000;
inline constexpr int kCountEditId = 1002;
inline constexpr int kSampleRateEditId = 1003;
inline constexpr int kTitleEditId = 1004;
inline constexpr int kGainEditId = 1005;
inline constexpr int kScanRateEditId = 1006;
inline constexpr int kChannelListId = 1007;

// The channel flags a list selection gives, which are also the items the list
// must show selected: one item alone, nothing, or every channel from 0 to the
// highest selected one (what a scan acquires).
std::array<std::int32_t, kChannelCount> SelectionFlags(
    const std::array<bool, kChannelCount>& items);

// The acquisition panel: a modeless tool window where the user picks channels,
// types the acquisition parameters and starts an acquisition. It is deleted
// when it closes (WA_DeleteOnClose), so the owner keeps it in a QPointer.
// Closing takes the menu check mark away; being destroyed with the main
// window does not call back into it.
class AcquisitionPanel : public QWidget {
  Q_OBJECT

 public:
  // `mainWindow` owns the panel's window and the wait box. `setMenuChecked`
  // keeps the "&Acquisition" check mark in step with the panel's existence;
  // `requestRefresh` asks the main window to lay itself out and repaint.
  AcquisitionPanel(AppState& state, UserInteraction& ui, BoardDriver& board,
                   std::function<void()> requestRefresh, std::function<void(bool)> setMenuChecked,
                   QWidget* mainWindow = nullptr);

  // Writes the fields into the selected records and runs the acquisition,
  // behind the wait box. What the "Acquisition" button and Enter do.
  void Acquire();

  bool ScanRateGreyed() const { return scanRateGreyed_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildControls();
  void FillFields();
  void OnSelectionChanged();
  void SetScanRateGreyed(bool greyed);

  AppState& state_;
  UserInteraction& ui_;
  BoardDriver& board_;
  std::function<void()> requestRefresh_;
  std::function<void(bool)> setMenuChecked_;
  QWidget* mainWindow_;
  bool scanRateGreyed_ = true;

  QPushButton* acquireButton_ = nullptr;
  QListWidget* channelList_ = nullptr;
  QLineEdit* gainEdit_ = nullptr;
  QLineEdit* countEdit_ = nullptr;
  QLineEdit* sampleRateEdit_ = nullptr;
  QLineEdit* scanRateEdit_ = nullptr;
  QPlainTextEdit* titleEdit_ = nullptr;
};

// Title text between the record (Windows-1252, "\r\n" line breaks, at most
// 255 bytes) and the title box (UTF-8, "\n" line breaks).
std::string TitleFromBox(const std::string& utf8);
std::string TitleForBox(const std::string& windows1252);

}  // namespace tavril
