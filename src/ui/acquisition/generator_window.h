#pragma once

#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "acquisition/boards.h"
#include "acquisition/output_player.h"
#include "model/user_interaction.h"
#include "ui/acquisition/generator_choices.h"
#include "ui/common/session_model.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

namespace tavril {

// The Générateur window: one panel per analog output of the present board
// (shape, frequency, amplitude, offset, phase, duty cycle, sweep, and the
// source of an arbitrary wave), the update rate, and Démarrer and Arrêter,
// alone or with an acquisition. What an output cannot play is refused before
// anything starts, with the reason; what it plays poorly starts with a warning.
//
// The outputs play from an OutputPlayer's thread; this window lives on the
// GUI thread and is never blocked by them. With "Avec l'acquisition" the
// output waits for the acquisition's start (acquisitionWanted: the owner
// starts it as the acquisition panel does) and stops when the acquisition
// ends. A failure of the output arrives here queued and stops the
// acquisition started with it (acquisitionStopWanted). Closing the window
// stops the output, as does destroying it.
//
// A modeless tool window, visible from construction; closing it emits
// closed() and deletes it.
class GeneratorWindow : public QWidget {
  Q_OBJECT

 public:
  // `chooseFile` asks for a file of channels (UTF-8 path), nothing when
  // the user cancels.
  GeneratorWindow(SessionModel& model, GeneratorChoices& choices, Boards& boards,
                  UserInteraction& ui, std::function<std::optional<std::string>()> chooseFile,
                  QWidget* owner = nullptr);
  ~GeneratorWindow() override;

  void Start();
  // Stops the output alone, at 0 V.
  void StopOutput();
  bool Playing() const { return player_ && player_->Running(); }
  QString StatusText() const;

 signals:
  void closed();
  void acquisitionWanted();
  void acquisitionStopWanted();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  struct Panel {
    QCheckBox* active = nullptr;
    QComboBox* shape = nullptr;
    QLineEdit* frequency = nullptr;
    QLineEdit* amplitude = nullptr;
    QLineEdit* offset = nullptr;
    QLineEdit* phase = nullptr;
    QLineEdit* duty = nullptr;
    QComboBox* sweep = nullptr;
    QLineEdit* sweepStart = nullptr;
    QLineEdit* sweepStop = nullptr;
    QLineEdit* sweepSeconds = nullptr;
    QComboBox* source = nullptr;
  };

  Board& PresentBoard() const;
  void BuildPanels();
  QWidget* BuildPanel(int index, const OutputDescription& output);
  void GreyUnusedFields(int index);
  void FillSources(int index);
  void ChooseSource(int index);
  // The panel's fields into its choices; false, after saying which field,
  // when one is not a number.
  bool ReadPanel(int index);
  // The wave of an active output, or why it cannot play it.
  std::optional<WaveSettings> WaveOf(int index, std::string* why);
  void Refuse(const std::string& why);
  void ShowStatus(const QString& text);
  void FollowAcquisition(AcquisitionState state);
  void FollowConfiguration();
  void OnPlayerFailed(DaqStatus status);

  SessionModel& model_;
  GeneratorChoices& choices_;
  Boards& boards_;
  UserInteraction& ui_;
  std::function<std::optional<std::string>()> chooseFile_;
  std::int16_t device_ = 0;
  std::vector<OutputDescription> outputs_;
  std::vector<Panel> panels_;
  QWidget* panelArea_ = nullptr;
  QLineEdit* updateRate_ = nullptr;
  QCheckBox* withAcquisition_ = nullptr;
  QPushButton* start_ = nullptr;
  QPushButton* stop_ = nullptr;
  QLabel* status_ = nullptr;
  std::unique_ptr<OutputPlayer> player_;
  bool followsAcquisition_ = false;  // the output goes with an acquisition
  bool acquisitionStarted_ = false;  // and that acquisition has started
};

}  // namespace tavril
