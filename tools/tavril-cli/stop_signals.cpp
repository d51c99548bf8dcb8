#include "stop_signals.h"

#include <atomic>

namespace tavril::cli {
namespace {

// Lock-free, so the handler may set it.
std::atomic<bool> caught{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void NoteStop(int) {
  caught.store(true, std::memory_order_relaxed);
}

}  // namespace

StopSignals::StopSignals() {
  caught.store(false, std::memory_order_relaxed);
  struct sigaction action {};
  action.sa_handler = &NoteStop;
  // The run's thread may take the signal in a board's read: the read goes on.
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, &previousInterrupt_);
  ::sigaction(SIGTERM, &action, &previousTerminate_);
}

StopSignals::~StopSignals() {
  ::sigaction(SIGINT, &previousInterrupt_, nullptr);
  ::sigaction(SIGTERM, &previousTerminate_, nullptr);
}

bool StopSignals::Caught() const {
  return caught.load(std::memory_order_relaxed);
}

}  // namespace tavril::cli
