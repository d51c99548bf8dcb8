#pragma once

#include <array>
#include <cstdint>
#include <string>

#include <QWidget>

#include "acquisition/acquisition_engine.h"
#include "acquisition/acquisition_settings.h"
#include "ui/acquisition/acquisition_controller.h"
#include "ui/common/session_model.h"

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

// The channels a list selection gives, which are also the items the list must
// show selected: one item alone, nothing, or every channel from 0 to the
// highest selected one (what a scan acquires).
ChannelSelection SelectionFlags(const std::array<bool, kChannelCount>& items);

// What the panel keeps between its openings: the channels selected at the
// last acquisition's start, and the scan rate typed then.
struct AcquisitionPanelMemory {
  ChannelSelection selected{};
  double scanRate = 0.0;
};

// The acquisition panel: a modeless tool window where the user picks channels,
// types the acquisition parameters and starts an acquisition. It is deleted
// when it closes (WA_DeleteOnClose), so the owner keeps it in a QPointer, and
// it says so with closed(). It repaints when the model's view is refreshed.
//
// Its button asks the controller for a finite acquisition with the fields.
// While a continuous window is open the button starts and stops a run
// ("Démarrer", "Arrêter"), whose channels and rates are the fields read as
// for a finite acquisition: the panel gives them when the controller asks.
class AcquisitionPanel : public QWidget {
  Q_OBJECT

 public:
  // `mainWindow` owns the panel's window.
  AcquisitionPanel(SessionModel& model, AcquisitionPanelMemory& memory,
                   AcquisitionController& controller, QWidget* mainWindow = nullptr);

  // What the button and Enter do: asks the controller for an acquisition
  // with the fields, or to start or stop a continuous run.
  void Acquire();

  bool ScanRateGreyed() const { return scanRateGreyed_; }

 signals:
  // The panel is closing (close box or close()): the menu loses its check mark.
  void closed();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildControls();
  void FillFields();
  void OnSelectionChanged();
  void SetScanRateGreyed(bool greyed);
  // "Acquisition", or "Démarrer" and "Arrêter" while a continuous window is open.
  void ShowButtonText();
  // The fields, as the selected records are to take them; the scan rate
  // typed is kept.
  ChannelRequest ReadRequest();

  SessionModel& model_;
  AcquisitionPanelMemory& memory_;
  AcquisitionController& controller_;
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
