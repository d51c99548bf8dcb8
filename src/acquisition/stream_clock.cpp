#include "acquisition/stream_clock.h"

#include <chrono>
#include <thread>

namespace tavril {
namespace {

using Seconds = std::chrono::duration<double>;

}  // namespace

double SteadyStreamClock::Now() {
  return Seconds(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void SteadyStreamClock::WaitUntil(double seconds) {
  const auto at = std::chrono::steady_clock::time_point(
      std::chrono::ceil<std::chrono::steady_clock::duration>(Seconds(seconds)));
  std::this_thread::sleep_until(at);
}

SteadyStreamClock& SteadyClock() {
  static SteadyStreamClock clock;
  return clock;
}

}  // namespace tavril
