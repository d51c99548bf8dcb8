#pragma once

#include <QWidget>

#include <cstdint>
#include <optional>
#include <string>

#include "acquisition/continuous_trigger.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace tavril {

// What the continuous acquisition window lets the user choose, kept between
// its openings.
struct ContinuousChoices {
  // -1: no trigger, the newest samples roll in from the right.
  int triggerChannel = -1;
  double triggerLevel = 0.0;  // V
  bool risingEdge = true;
  int preTriggerPercent = 10;
  double holdoffSeconds = 0.0;
  enum class Mode { kAutomatic, kNormal, kSingleShot };
  Mode mode = Mode::kAutomatic;
  bool record = false;
  std::string recordPath;  // UTF-8
};

// How a run is going, as the window shows it.
struct ContinuousProgress {
  double seconds = 0.0;
  std::uint64_t samplesWritten = 0;  // per channel, to the file
  std::optional<std::uint64_t> fileBytes;
  std::optional<std::uint64_t> freeBytes;
  std::optional<TriggerState> trigger;  // while a triggered run goes
};

// The continuous acquisition window ("Acquisition continue"): the trigger
// (with its state and "Forcer" while a run goes), the recording file,
// "Démarrer"/"Arrêter", and the run's duration, samples written, file size
// and free disk space. A modeless tool window,
// deleted when closed; it emits closed() then. It only shows and edits
// choices: the owner starts and stops the run (startStopClicked) and feeds
// it progress and the end's message.
class ContinuousWindow : public QWidget {
  Q_OBJECT

 public:
  ContinuousWindow(ContinuousChoices& choices, QWidget* owner = nullptr);

  // Reads the fields into the choices; false, with the French reason in
  // `why`, when a number cannot be read.
  bool ReadChoices(std::string* why);

  // The run started or ended: the button and the fields follow.
  void ShowRunning(bool running);
  void ShowProgress(const ContinuousProgress& progress);
  // The end of a run in one French sentence (empty to clear).
  void ShowOutcome(const QString& text);
  void SetRecordPath(const std::string& utf8);

 signals:
  void startStopClicked();
  // "Forcer": one sweep without waiting for the trigger.
  void forceClicked();
  // "..." beside the file: the owner runs the file dialog and calls SetRecordPath.
  void browseClicked();
  void closed();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  ContinuousChoices& choices_;
  QComboBox* source_ = nullptr;
  QLineEdit* level_ = nullptr;
  QComboBox* edge_ = nullptr;
  QSpinBox* preTrigger_ = nullptr;
  QLineEdit* holdoff_ = nullptr;
  QComboBox* mode_ = nullptr;
  QLabel* triggerState_ = nullptr;
  QPushButton* force_ = nullptr;
  QGroupBox* recording_ = nullptr;
  QLineEdit* path_ = nullptr;
  QPushButton* browse_ = nullptr;
  QPushButton* startStop_ = nullptr;
  QLabel* duration_ = nullptr;
  QLabel* written_ = nullptr;
  QLabel* fileSize_ = nullptr;
  QLabel* freeSpace_ = nullptr;
  QLabel* outcome_ = nullptr;
};

}  // namespace tavril
