#pragma once

#include <signal.h>

namespace tavril::cli {

// While it lives, Ctrl+C (SIGINT) and SIGTERM only note that the user asked
// to stop, so that a long command can end cleanly at its own pace. The
// previous handlers come back afterwards. One at a time.
class StopSignals {
 public:
  StopSignals();
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  bool Caught() const;

 private:
  struct sigaction previousInterrupt_ {};
  struct sigaction previousTerminate_ {};
};

}  // namespace tavril::cli
