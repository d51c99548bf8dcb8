#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "acquisition/acquisition_engine.h"
#include "acquisition/acquisition_settings.h"
#include "acquisition/boards.h"
#include "acquisition/recording_run.h"
#include "model/user_interaction.h"
#include "ui/acquisition/run_requests.h"
#include "ui/common/session_model.h"

class QTimer;
class QWidget;

namespace tavril {

class Hdf5Recording;
class WaitBox;

// Starts and stops every acquisition the windows ask for, and keeps the
// session model's acquisition state.
//
// A finite acquisition runs aside behind the wait box (AcquireAside). A
// continuous run starts on the records the acquisition panel prepared,
// shows its newest samples (or last sweep) in those records about 30 times
// a second, records every sample when asked, and when it ends leaves the
// last window in the records, as a finite acquisition would, and says why
// it ended. The run reads the board on a thread of its own; this object
// lives on the GUI thread.
//
// The windows send requests and follow the signals: the panel's button asks
// for a finite acquisition, or while a continuous window is open
// (OfferContinuous) starts and stops its runs as the window's button does.
// A continuous start asks the windows for their parts with
// continuousRequested.
class AcquisitionController : public QObject {
  Q_OBJECT

 public:
  // `owner` owns the wait box.
  AcquisitionController(SessionModel& model, Boards& boards, UserInteraction& ui,
                        QWidget* owner = nullptr);
  ~AcquisitionController() override;

  const SessionModel& model() const { return model_; }
  // A continuous window is open: the panel's button starts and stops runs.
  bool continuousOffered() const { return continuousOffered_; }
  // A continuous run goes that records every sample to a file.
  bool recording() const { return running() && recording_ != nullptr; }
  // That file (UTF-8).
  const std::string& recordPath() const { return choices_.recordPath; }

 public slots:
  // Writes the panel's fields into the selected records and runs the
  // acquisition aside, behind the wait box; returns once it is over.
  void AcquireFinite(const ChannelRequest& request);
  // Stops the continuous run, or starts one with what the windows give.
  // The records take the settings and the samples only once the run shows
  // some: a run the board refuses leaves them as they were.
  void StartOrStopContinuous();
  // Asks the run to end; the records get its last window at once. A finite
  // acquisition is given up, as its wait box's button does.
  void Stop();
  // One sweep of the newest samples without waiting for the trigger.
  void ForceSweep();
  // The continuous window opened or closed: its controls go with it, and
  // so does its run.
  void OfferContinuous(bool offered);

 signals:
  void continuousOfferedChanged(bool offered);
  // A continuous run is about to start: each window puts its part in
  // `request` (direct connections only).
  void continuousRequested(ContinuousRequest& request);
  void progressed(const ContinuousProgress& progress);
  // The run ended: one French sentence on how, with the samples kept.
  void ended(const QString& text);
  // The board runs at another rate than the one asked: one French sentence.
  void rateChanged(const QString& text);

 private:
  bool running() const { return plan_.has_value(); }
  // Says why no acquisition starts while the board is busy with a sweep.
  void TellWhyItWaits();
  bool StartContinuous(const ChannelRequest& channels, const ContinuousChoices& choices);
  // The window's trigger for the run.
  RunTrigger TriggerChosen() const;
  // False, after telling the user, when the run refuses the trigger, or its
  // level lies out of the input's reach and the user does not start all the
  // same (never in the normal and single-shot modes, which would show nothing).
  bool AcceptTrigger(const TriggerProblem& problem, SweepMode mode);
  bool OpenRecording(const AcquisitionPlan& plan, const ChannelTable& planned, double rate);
  void Tick();
  // The run's duration, samples written, file size and free space.
  void ShowProgress();
  // Puts the snapshot's samples into the plan's records; false when nothing new.
  bool ShowSnapshot();
  // When the board gave the first sample shown, once it has started.
  std::optional<std::chrono::system_clock::time_point> FirstSampleTime() const;
  // Gives the records the rate the board really runs at, when it is not
  // the one asked.
  void FollowRateUsed(double used);
  void Finish();

  SessionModel& model_;
  Boards& boards_;
  UserInteraction& ui_;
  QWidget* owner_;
  bool continuousOffered_ = false;
  QTimer* timer_ = nullptr;
  QPointer<WaitBox> waitBox_;  // of the finite acquisition going
  RecordingRun run_;
  ContinuousSnapshot snapshot_;
  std::optional<AcquisitionPlan> plan_;
  ChannelRequest channels_;
  ContinuousChoices choices_;  // of the run going or last gone
  bool shown_ = false;         // the records hold the run's settings and samples
  std::unique_ptr<Hdf5Recording> recording_;
  std::uint64_t shownSweeps_ = 0;
  std::uint64_t shownSamples_ = 0;
  double rate_ = 0.0;  // per channel, as the records say
  std::optional<TriggerState> shownTriggerState_;
  std::chrono::steady_clock::time_point progressShown_{};
};

}  // namespace tavril
