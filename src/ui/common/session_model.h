#pragma once

#include <QObject>

#include "display/shown_recording.h"
#include "display/view_state.h"
#include "model/session.h"
#include "ui/common/acquisition_state.h"

namespace tavril {

// The session's data and the view's state, and the signals through which
// the windows follow their changes. Whoever changes the data tells the model
// once the change is complete; every window that shows it listens.
//
// Order: the main window connects first (it is built first), so when it
// hears of a change it lays out, refits an automatic scale and repaints
// before it tells the panels, with viewRefreshed, to show the new values.
class SessionModel : public QObject {
  Q_OBJECT

 public:
  explicit SessionModel(QObject* parent = nullptr) : QObject(parent) {}

  Session& session() { return session_; }
  const Session& session() const { return session_; }
  ViewState& view() { return view_; }
  const ViewState& view() const { return view_; }

  // The records' samples or fields changed (acquisition, open, reset, math):
  // the graph shows them again in place of a recording.
  void TellRecordsChanged() {
    if (view_.recording && !lookingBack_) {
      ShowRecordsInView(view_);
      emit shownRecordingChanged();
    }
    emit recordsChanged();
  }
  void SetMasterChannel(int channel) {
    session_.masterChannel = channel;
    emit masterChannelChanged();
  }
  void TellConfigurationChanged() { emit configurationChanged(); }
  // The scale's settings changed: the graph is laid out and refit again.
  void TellScaleChanged() { emit scaleChanged(); }
  // One step of the display panel's arrows: the graph is repainted only.
  void TellScaleStepped() { emit scaleStepped(); }
  // The main window has laid out, refit and repainted.
  void TellViewRefreshed() { emit viewRefreshed(); }

  // The graph shows `recording` in place of the records, or the records
  // again; the windows hear it as a change of the records shown.
  // A look-back shows the file a continuous run is recording: the run's
  // records keep changing beneath it without taking the graph back.
  void ShowRecording(std::shared_ptr<ShownRecording> recording, bool lookBack = false) {
    ShowRecordingInView(view_, std::move(recording));
    lookingBack_ = lookBack;
    emit shownRecordingChanged();
    emit recordsChanged();
  }
  void ShowRecords() {
    if (!view_.recording) return;
    ShowRecordsInView(view_);
    lookingBack_ = false;
    emit shownRecordingChanged();
    emit recordsChanged();
  }

  bool lookingBack() const { return lookingBack_; }

  // What the board is doing. Only the idle state lets another acquisition
  // start or a command change what a run needs (WhyItWaitsForTheRun).
  AcquisitionState acquisitionState() const { return acquisitionState_; }
  bool idle() const { return acquisitionState_ == AcquisitionState::kIdle; }
  void SetAcquisitionState(AcquisitionState state) {
    if (state == acquisitionState_) return;
    acquisitionState_ = state;
    emit acquisitionStateChanged(state);
  }

 signals:
  void recordsChanged();
  void shownRecordingChanged();
  void masterChannelChanged();
  void configurationChanged();
  void scaleChanged();
  void scaleStepped();
  void viewRefreshed();
  void acquisitionStateChanged(AcquisitionState state);

 private:
  Session session_;
  ViewState view_;
  AcquisitionState acquisitionState_ = AcquisitionState::kIdle;
  bool lookingBack_ = false;
};

}  // namespace tavril
