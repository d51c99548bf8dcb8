#pragma once

#include <QObject>

class QSocketNotifier;

namespace tavril {

// SIGTERM and SIGINT turned into a Qt signal on the GUI thread. The
// handlers only write the signal's number into a pipe (all a handler may
// safely do); a socket notifier reads it in the event loop and emits
// received(). One object per process: it installs the handlers when built
// and puts the defaults back when destroyed.
class TerminationSignals : public QObject {
  Q_OBJECT

 public:
  explicit TerminationSignals(QObject* parent = nullptr);
  ~TerminationSignals() override;
  TerminationSignals(const TerminationSignals&) = delete;
  TerminationSignals& operator=(const TerminationSignals&) = delete;

  // False when the pipe or the handlers could not be set up.
  bool installed() const { return installed_; }

 signals:
  void received(int signalNumber);

 private:
  void ReadPipe();

  QSocketNotifier* notifier_ = nullptr;
  bool installed_ = false;
};

}  // namespace tavril
