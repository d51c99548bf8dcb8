#pragma once

#include <QPointer>
#include <QWidget>

#include <string>

#include "ui/acquisition/acquisition_controller.h"
#include "ui/acquisition/run_requests.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace tavril {

// The continuous acquisition window ("Acquisition continue"): the trigger
// (with its state and "Forcer" while a run goes), the recording file,
// "Démarrer"/"Arrêter", and the run's duration, samples written, file size
// and free disk space. A modeless tool window,
// deleted when closed; it emits closed() then. While it is open the
// controller offers continuous runs; it gives the controller its choices
// when a run starts, and follows the run's state, progress and end.
class ContinuousWindow : public QWidget {
  Q_OBJECT

 public:
  ContinuousWindow(ContinuousChoices& choices, AcquisitionController& controller,
                   QWidget* owner = nullptr);
  ~ContinuousWindow() override;

  void SetRecordPath(const std::string& utf8);

 signals:
  // "Démarrer"/"Arrêter": connected to the controller by the owner, which
  // first opens the acquisition panel the run takes its channels from.
  void startStopClicked();
  // "..." beside the file: the owner runs the file dialog and calls SetRecordPath.
  void browseClicked();
  void closed();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  // Reads the fields into the choices; false, with the French reason in
  // `why`, when a number cannot be read.
  bool ReadChoices(std::string* why);
  // The run started or ended: the button and the fields follow.
  void ShowRunning(bool running);
  void ShowProgress(const ContinuousProgress& progress);
  // The end of a run in one French sentence (empty to clear).
  void ShowOutcome(const QString& text);

  ContinuousChoices& choices_;
  QPointer<AcquisitionController> controller_;
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
