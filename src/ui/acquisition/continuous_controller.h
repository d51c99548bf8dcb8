#pragma once

#include <QObject>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>

#include "acquisition/acquisition_engine.h"
#include "acquisition/acquisition_settings.h"
#include "acquisition/boards.h"
#include "acquisition/continuous_acquisition.h"
#include "model/user_interaction.h"
#include "ui/acquisition/continuous_window.h"
#include "ui/common/session_model.h"

class QTimer;

namespace tavril {

class Hdf5Recording;

// Runs continuous acquisitions for the windows: starts one on the records
// the acquisition panel prepared, shows its newest samples (or last sweep)
// in those records about 30 times a second, records every sample when asked,
// and when it ends leaves the last window in the records, as a finite
// acquisition would, and says why it ended. The run itself reads the board
// on a thread of its own; this object lives on the GUI thread.
class ContinuousController : public QObject {
  Q_OBJECT

 public:
  ContinuousController(SessionModel& model, Boards& boards, UserInteraction& ui,
                       ContinuousChoices& choices, QObject* parent = nullptr);
  ~ContinuousController() override;

  bool running() const { return plan_.has_value(); }
  // A run goes that records every sample to a file.
  bool recording() const { return running() && recording_ != nullptr; }

  // Starts a run of the selected channels with the panel's settings and the
  // choices read; false, after telling the user why, when it cannot start.
  // The records take the settings and the samples only once the run shows
  // some: a run the board refuses leaves them as they were.
  bool Start(const ChannelSelection& selected, const AcquisitionSettings& settings);
  // Asks the run to end; the records get its last window at once.
  void Stop();
  // One sweep of the newest samples without waiting for the trigger.
  void ForceSweep();

 signals:
  void runningChanged(bool running);
  void progressed(const ContinuousProgress& progress);
  // The run ended: one French sentence on how, with the samples kept.
  void ended(const QString& text);
  // The board runs at another rate than the one asked: one French sentence.
  void rateChanged(const QString& text);

 private:
  std::optional<TriggerSettings> TriggerFor(const AcquisitionPlan& plan);
  // False, after telling the user, when the trigger's level lies out of the
  // input's reach and the user does not start all the same (never in the
  // normal and single-shot modes, which would show nothing).
  bool AcceptTriggerLevel(const AcquisitionPlan& plan, const TriggerSettings& trigger);
  bool OpenRecording(const AcquisitionPlan& plan, const ChannelTable& planned, double rate);
  void Tick();
  // The run's duration, samples written, file size and free space.
  void ShowProgress();
  // Puts the snapshot's samples into the plan's records; false when nothing new.
  bool ShowSnapshot();
  // When the board gave the first sample shown, once it has started.
  std::optional<std::chrono::system_clock::time_point> FirstSampleTime() const;
  // Gives the records the rate the board really runs at, once it is known.
  void FollowRateUsed();
  void Finish();

  SessionModel& model_;
  Boards& boards_;
  UserInteraction& ui_;
  ContinuousChoices& choices_;
  QTimer* timer_ = nullptr;
  ContinuousAcquisition acquisition_;
  ContinuousSnapshot snapshot_;
  std::optional<AcquisitionPlan> plan_;
  ChannelSelection selected_{};
  AcquisitionSettings settings_;
  bool shown_ = false;  // the records hold the run's settings and samples
  std::unique_ptr<Hdf5Recording> recording_;
  std::uint64_t shownSweeps_ = 0;
  std::uint64_t shownSamples_ = 0;
  double rate_ = 0.0;  // per channel, as the records say
  bool singleShot_ = false;
  bool triggered_ = false;
  std::optional<TriggerState> shownTriggerState_;
  std::chrono::steady_clock::time_point progressShown_{};
};

}  // namespace tavril
