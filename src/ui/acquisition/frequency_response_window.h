#pragma once

#include <QWidget>

#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/boards.h"
#include "acquisition/frequency_response.h"
#include "acquisition/frequency_sweep_fields.h"
#include "model/user_interaction.h"
#include "ui/common/file_dialogs.h"
#include "ui/common/session_model.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tavril {

class FrequencyResponsePlot;

// What the Réponse en fréquence window keeps while the program runs: its
// fields as typed, the last points measured and its export dialogs' memory.
struct FrequencyResponseChoices {
  SweepFields fields = FieldsOf(SweepSettings{});
  std::vector<FrequencyPoint> points;
  double fromHz = 10.0;  // the sweep those points come from
  double toHz = 10000.0;
  FileDialogState csvFiles;
  FileDialogState imageFiles;
};

// The "Réponse en fréquence" tool window: a stepped-sine sweep's settings,
// Démarrer and Arrêter, the gain and phase plotted as each point comes, a
// marker read on any point, and the points exported as CSV or the plot as
// an image.
//
// The sweep runs on a thread of its own (RunFrequencySweep); each point and
// its end arrive here queued, on the GUI thread, which never waits for the
// board but to stop. Meanwhile the acquisition state is kFrequencySweep: no
// acquisition starts and the board is not configured again. It does not
// start while an acquisition runs or while the Générateur plays
// (`outputsPlaying`). Closing the window, or destroying it, stops the sweep
// and waits for its thread; the outputs are then at 0 V.
//
// A modeless tool window, visible from construction; closing it emits
// closed() and deletes it.
class FrequencyResponseWindow : public QWidget {
  Q_OBJECT

 public:
  FrequencyResponseWindow(SessionModel& model, FrequencyResponseChoices& choices, Boards& boards,
                          UserInteraction& ui, FileDialogs& fileDialogs,
                          std::function<bool()> outputsPlaying, QWidget* owner = nullptr);
  ~FrequencyResponseWindow() override;

  void Start();
  // Asks the sweep to end; its thread reports the end here.
  void Stop();
  // Ends the sweep and waits for its thread: the outputs are at 0 V on return.
  void StopAndWait();
  bool Sweeping() const { return sweeping_; }
  QString StatusText() const;
  QString MarkerText() const;
  FrequencyResponsePlot* plot() const { return plot_; }

  void ExportCsv();
  void ExportImage();

 signals:
  void closed();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  SweepFields ReadFields() const;
  void Refuse(const std::string& why);
  void Tell(const std::string& text, MessageIcon icon);
  void OnPoint(std::uint64_t run, const FrequencyPoint& point, std::size_t done, std::size_t count);
  void OnEnd(std::uint64_t run, const SweepResult& result);
  // Joins the finished thread and gives the board back.
  void EndSweep();
  void ShowRunning();
  void ShowMarker();
  // Asks for a file to save and writes there, whole, what `contentFor` makes
  // of the name chosen (which it may amend), until written, failed or
  // cancelled.
  void SaveBytes(const FileDialogRequest& request, FileDialogState& memory,
                 const std::function<std::string(FileDialogState&)>& contentFor);

  SessionModel& model_;
  FrequencyResponseChoices& choices_;
  Boards& boards_;
  UserInteraction& ui_;
  FileDialogs& fileDialogs_;
  std::function<bool()> outputsPlaying_;
  std::vector<QLineEdit*> edits_;  // in the order of SweepFields' texts
  QComboBox* pointsMode_ = nullptr;
  QComboBox* spacing_ = nullptr;
  QPushButton* start_ = nullptr;
  QPushButton* stop_ = nullptr;
  QLabel* status_ = nullptr;
  QLabel* markerText_ = nullptr;
  FrequencyResponsePlot* plot_ = nullptr;
  std::jthread worker_;
  bool sweeping_ = false;
  std::uint64_t run_ = 0;  // the sweep whose reports are awaited
  std::size_t count_ = 0;  // its points in all
};

}  // namespace tavril
