#include "ui/acquisition/acquisition_controller.h"

#include <QSignalBlocker>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <system_error>

#include "files/disk_space.h"
#include "files/hdf5_recording.h"
#include "model/messages.h"
#include "text/rate_text.h"
#include "ui/acquisition/acquisition_runner.h"
#include "ui/acquisition/wait_box.h"

namespace tavril {

namespace {

// About 30 pictures a second.
constexpr int kTickMilliseconds = 33;

std::filesystem::path PathOf(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Count(std::uint64_t samples) {
  return std::to_string(samples) + (samples == 1 ? " échantillon" : " échantillons");
}

}  // namespace

AcquisitionController::AcquisitionController(SessionModel& model, Boards& boards,
                                             UserInteraction& ui, QWidget* owner)
    : QObject(owner), model_(model), boards_(boards), ui_(ui), owner_(owner) {
  timer_ = new QTimer(this);
  timer_->setInterval(kTickMilliseconds);
  connect(timer_, &QTimer::timeout, this, &AcquisitionController::Tick);
}

AcquisitionController::~AcquisitionController() {
  if (running()) {
    run_.Stop();
    // The windows that follow the state are going with the main window.
    const QSignalBlocker quiet(model_);
    model_.SetAcquisitionState(AcquisitionState::kIdle);
  }
}

RunTrigger AcquisitionController::TriggerChosen() const {
  if (choices_.triggerChannel < 0) return {};  // rolling, no trigger
  SweepMode mode = SweepMode::kAutomatic;
  if (choices_.mode == ContinuousChoices::Mode::kNormal) mode = SweepMode::kNormal;
  if (choices_.mode == ContinuousChoices::Mode::kSingleShot) mode = SweepMode::kSingle;
  return {mode,
          choices_.triggerChannel,
          choices_.triggerLevel,
          choices_.risingEdge ? TriggerEdge::kRising : TriggerEdge::kFalling,
          static_cast<double>(choices_.preTriggerPercent),
          choices_.holdoffSeconds};
}

bool AcquisitionController::AcceptTrigger(const TriggerProblem& problem, SweepMode mode) {
  if (problem.refusal) {
    ui_.ShowMessage(
        {*problem.refusal, messages::kErreurBang, MessageIcon::kError, MessageButtons::kOk});
    return false;
  }
  if (!problem.unreachable) return true;
  const std::string& why = *problem.unreachable;
  if (mode != SweepMode::kAutomatic) {
    ui_.ShowMessage({why + " Aucun balayage ne serait affiché : changez le niveau ou le mode.",
                     messages::kErreurBang, MessageIcon::kError, MessageButtons::kOk});
    return false;
  }
  return ui_.ShowMessage(
             {why + " Les balayages viendront sans déclenchement. Démarrer quand même ?",
              messages::kAttention, MessageIcon::kQuestion, MessageButtons::kOkCancel}) ==
         MessageAnswer::kOk;
}

bool AcquisitionController::OpenRecording(const AcquisitionPlan& plan, const ChannelTable& planned,
                                          double rate) {
  const std::filesystem::path path = PathOf(choices_.recordPath);
  std::error_code error;
  if (std::filesystem::exists(path, error) &&
      ui_.ShowMessage({"Le fichier « " + choices_.recordPath + " » existe déjà. Le remplacer ?",
                       messages::kAttention, MessageIcon::kQuestion, MessageButtons::kOkCancel}) ==
          MessageAnswer::kCancel) {
    return false;
  }
  std::vector<RecordingChannel> channels;
  for (const int slot : plan.records) {
    const ChannelRecord& record = planned[slot];
    channels.push_back({slot, record.title, record.device, record.chan, record.gain, rate,
                        std::chrono::system_clock::now()});
  }
  std::string why;
  recording_ = Hdf5Recording::Create(path, channels, &why);
  if (recording_) return true;
  ui_.ShowMessage({why, messages::kErreurBang, MessageIcon::kError, MessageButtons::kOk});
  return false;
}

void AcquisitionController::AcquireFinite(const ChannelRequest& request) {
  if (model_.acquisitionState() == AcquisitionState::kFrequencySweep) {
    TellWhyItWaits();
    return;
  }
  auto waitBox = std::make_unique<WaitBox>(owner_);
  // Without a time-out only the user can end a board that stopped answering.
  if (model_.session().boardConfig.timeOut == -1) waitBox->OfferGivingUp();
  waitBox->ShowPainted();
  waitBox_ = waitBox.get();
  Session& session = model_.session();
  PrepareRecords(session.channels, request.selected, request.settings, session.boardConfig.device);
  AcquireAside(model_, boards_, ui_, request.selected, request.settings.scanRate, waitBox.get());
}

void AcquisitionController::TellWhyItWaits() {
  ui_.ShowMessage({WhyItWaitsForTheRun(model_.acquisitionState(), RunNeed::kBoard),
                   messages::kAttention, MessageIcon::kExclamation, MessageButtons::kOk});
}

void AcquisitionController::OfferContinuous(bool offered) {
  if (!offered) Stop();
  if (offered == continuousOffered_) return;
  continuousOffered_ = offered;
  emit continuousOfferedChanged(offered);
}

void AcquisitionController::StartOrStopContinuous() {
  if (running()) {
    Stop();
    return;
  }
  // Another acquisition is filling the records.
  if (!model_.idle()) {
    if (model_.acquisitionState() == AcquisitionState::kFrequencySweep) TellWhyItWaits();
    return;
  }
  ContinuousRequest request;
  emit continuousRequested(request);
  if (!request.channels) return;
  if (!request.choices) {
    if (!request.why.empty()) {
      ui_.ShowMessage(
          {request.why, messages::kErreurBang, MessageIcon::kError, MessageButtons::kOk});
    }
    return;
  }
  StartContinuous(*request.channels, *request.choices);
}

bool AcquisitionController::StartContinuous(const ChannelRequest& channels,
                                            const ContinuousChoices& choices) {
  const ChannelSelection& selected = channels.selected;
  const AcquisitionSettings& settings = channels.settings;
  choices_ = choices;
  const Session& session = model_.session();
  // The selected records as they are to be: all a plan reads.
  ChannelTable planned{};
  PrepareRecords(planned, selected, settings, session.boardConfig.device);
  std::optional<AcquisitionPlan> plan =
      PlanAcquisition(planned, selected, settings.scanRate, session.boardConfig);
  if (!plan) {
    ui_.ShowMessage({messages::kNoChannelSelected, messages::kErreurBang, MessageIcon::kError,
                     MessageButtons::kOk});
    return false;
  }
  const RunTrigger trigger = TriggerChosen();
  const TriggerProblem problem =
      run_.Configure(boards_.For(plan->device), {*plan, plan->readingsPerChannel, trigger});
  if (!AcceptTrigger(problem, trigger.mode)) return false;
  const double rate = run_.RateAsked();
  if (choices_.record && !OpenRecording(*plan, planned, rate)) return false;

  if (!run_.Start(recording_.get())) {
    recording_.reset();
    ui_.ShowMessage({"L'acquisition continue ne peut pas démarrer avec ces réglages.",
                     messages::kErreurBang, MessageIcon::kError, MessageButtons::kOk});
    return false;
  }
  rate_ = rate;
  shownTriggerState_.reset();
  plan_ = std::move(plan);
  channels_ = channels;
  shown_ = false;
  shownSweeps_ = 0;
  shownSamples_ = 0;
  progressShown_ = {};
  if (trigger.mode == SweepMode::kRoll) model_.view().rollWindow = plan_->readingsPerChannel;
  model_.SetAcquisitionState(AcquisitionState::kContinuous);
  timer_->start();
  return true;
}

void AcquisitionController::Stop() {
  if (waitBox_) emit waitBox_->givingUp();
  if (!running()) return;
  run_.Stop();
  Tick();
}

std::optional<std::chrono::system_clock::time_point> AcquisitionController::FirstSampleTime()
    const {
  if (!snapshot_.boardStarted || !(snapshot_.rateUsed > 0.0)) return std::nullopt;
  const std::chrono::duration<double> since(static_cast<double>(snapshot_.first) /
                                            snapshot_.rateUsed);
  return *snapshot_.boardStarted +
         std::chrono::duration_cast<std::chrono::system_clock::duration>(since);
}

void AcquisitionController::ForceSweep() {
  if (running()) run_.ForceSweep();
}

bool AcquisitionController::ShowSnapshot() {
  const bool fresh =
      snapshot_.sweeps != shownSweeps_ ||
      (snapshot_.samplesRead != shownSamples_ && !snapshot_.trigger && snapshot_.sweeps == 0);
  if (!fresh && snapshot_.running) return false;
  shownSweeps_ = snapshot_.sweeps;
  shownSamples_ = snapshot_.samplesRead;
  // Nothing read, or no sweep yet: the records keep what they held.
  if (snapshot_.channels.empty() || snapshot_.channels[0].empty()) return false;
  Session& session = model_.session();
  if (!shown_) {
    PrepareRecords(session.channels, channels_.selected, channels_.settings,
                   session.boardConfig.device);
    for (const int slot : plan_->records) session.channels[slot].rate = rate_;
    shown_ = true;
  }
  for (std::size_t i = 0; i < plan_->records.size() && i < snapshot_.channels.size(); ++i) {
    ChannelRecord& record = session.channels[plan_->records[i]];
    const std::vector<double>& samples = snapshot_.channels[i];
    // Memory goes back and forth between the record and its spare from one
    // picture to the next.
    std::vector<double>& spare = model_.session().spare.samples[plan_->records[i]];
    spare.assign(samples.begin(), samples.end());
    record.TakeSamples(spare);
    record.SetCount(static_cast<std::uint32_t>(samples.size()));  // 0 before the first sweep
    record.acquiredAt = FirstSampleTime();
  }
  model_.view().triggerMark = snapshot_.trigger;
  return true;
}

void AcquisitionController::FollowRateUsed(double used) {
  const double asked = rate_;
  rate_ = used;
  if (shown_) {
    for (const int slot : plan_->records) model_.session().channels[slot].rate = used;
  }
  emit rateChanged(QString::fromStdString("La carte acquiert " + RateText(used) +
                                          " échantillons par seconde et par voie, au lieu des " +
                                          RateText(asked) + " demandés."));
}

void AcquisitionController::Tick() {
  if (!running()) return;
  const std::optional<double> rateUsed = run_.Watch(snapshot_);
  // While the graph looks back through the file, the live picture waits:
  // the records take the newest samples again when it returns.
  const bool fresh = !model_.lookingBack() && ShowSnapshot();
  if (rateUsed) FollowRateUsed(*rateUsed);
  ShowProgress();
  if (fresh) model_.TellRecordsChanged();
  if (!snapshot_.running && snapshot_.outcome) Finish();
}

void AcquisitionController::ShowProgress() {
  // The file and the disk are asked twice a second, not with every picture;
  // the end's progress comes once the file is closed.
  const auto now = std::chrono::steady_clock::now();
  const std::optional<TriggerState> state = snapshot_.triggerState;
  if (!snapshot_.running ||
      (now - progressShown_ < std::chrono::milliseconds(500) && state == shownTriggerState_)) {
    return;
  }
  progressShown_ = now;
  shownTriggerState_ = state;
  ContinuousProgress progress;
  progress.seconds = snapshot_.elapsedSeconds;
  progress.trigger = state;
  if (recording_) {
    // The bytes laid out, not the room reserved ahead on the disk.
    progress.fileBytes = snapshot_.bytesRecorded;
    progress.freeBytes = FreeDiskBytes(PathOf(choices_.recordPath));
    progress.samplesWritten = snapshot_.samplesRecorded;
  }
  emit progressed(progress);
}

void AcquisitionController::Finish() {
  timer_->stop();
  run_.Wait();
  const ContinuousOutcome outcome = *snapshot_.outcome;
  ContinuousProgress progress;
  progress.seconds = snapshot_.elapsedSeconds;
  std::string why;
  bool closed = true;
  if (recording_) {
    const bool inPlace = recording_->InPlace();
    closed = recording_->Close(&why);
    recording_.reset();
    const std::filesystem::path path = PathOf(choices_.recordPath);
    std::error_code error;
    const std::uintmax_t bytes = std::filesystem::file_size(path, error);
    if (inPlace && !error) progress.fileBytes = bytes;
    progress.freeBytes = FreeDiskBytes(path);
    progress.samplesWritten = outcome.samplesRecorded;
  }
  emit progressed(progress);
  plan_.reset();
  model_.view().rollWindow.reset();

  std::string text =
      outcome.end == ContinuousEnd::kStoppedByUser ? "Acquisition arrêtée" : outcome.message;
  text += " — " + Count(outcome.samplesRead) + " par voie lus";
  if (choices_.record) text += ", " + Count(outcome.samplesRecorded) + " enregistrés";
  text += ".";
  if (run_.Triggered() && !shown_ && outcome.samplesRead > 0) {
    text += " Aucun déclenchement : les voies gardent leurs mesures précédentes.";
  }
  if (!closed && outcome.end == ContinuousEnd::kStoppedByUser) text += " " + why;
  model_.TellRecordsChanged();
  model_.SetAcquisitionState(AcquisitionState::kIdle);
  emit ended(QString::fromStdString(text));
  if (outcome.end != ContinuousEnd::kStoppedByUser || !closed) {
    ui_.ShowMessage({text, messages::kErreurBang, MessageIcon::kError, MessageButtons::kOk});
  }
}

}  // namespace tavril
