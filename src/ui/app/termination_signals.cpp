#include "ui/app/termination_signals.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>

namespace tavril {
namespace {

// The pipe's ends: the handler writes, the GUI thread reads.
int pipeEnds[2] = {-1, -1};

void WriteSignalNumber(int signalNumber) {
  const int saved = errno;
  const char byte = static_cast<char>(signalNumber);
  // A full pipe already holds a signal for the GUI thread: the byte may go.
  [[maybe_unused]] const ssize_t written = write(pipeEnds[1], &byte, 1);
  errno = saved;
}

constexpr int kHandled[] = {SIGTERM, SIGINT};

}  // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
  if (pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0) return;
  notifier_ = new QSocketNotifier(pipeEnds[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::ReadPipe);
  struct sigaction action = {};
  action.sa_handler = WriteSignalNumber;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  installed_ = true;
  for (const int number : kHandled) {
    if (sigaction(number, &action, nullptr) != 0) installed_ = false;
  }
}

TerminationSignals::~TerminationSignals() {
  if (notifier_ == nullptr) return;
  for (const int number : kHandled) std::signal(number, SIG_DFL);
  close(pipeEnds[0]);
  close(pipeEnds[1]);
  pipeEnds[0] = pipeEnds[1] = -1;
}

void TerminationSignals::ReadPipe() {
  char byte = 0;
  while (read(pipeEnds[0], &byte, 1) == 1) emit received(static_cast<unsigned char>(byte));
}

}  // namespace tavril
