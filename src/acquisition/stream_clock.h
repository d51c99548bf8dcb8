#pragma once

#include <atomic>

namespace tavril {

// The time a paced stream runs by, in seconds from an origin of the clock's
// own. A board asks where time stands and waits for it; tests and benchmarks
// hand the board a clock of their own.
class StreamClock {
 public:
  virtual ~StreamClock() = default;
  virtual double Now() = 0;
  // Returns once Now() >= seconds.
  virtual void WaitUntil(double seconds) = 0;
};

// The machine's steady clock: waits sleep. It holds no state, so one serves
// every board.
class SteadyStreamClock final : public StreamClock {
 public:
  double Now() override;
  void WaitUntil(double seconds) override;
};
SteadyStreamClock& SteadyClock();

// Time that stands still until it is waited for, then jumps to the time
// waited for: a stream read by it never sleeps and never falls behind, so it
// runs as fast as its reader. One thread waits; any may ask where time stands.
class InstantStreamClock final : public StreamClock {
 public:
  double Now() override { return now_.load(std::memory_order_relaxed); }
  void WaitUntil(double seconds) override {
    if (seconds > Now()) now_.store(seconds, std::memory_order_relaxed);
  }

 private:
  std::atomic<double> now_ = 0.0;
};

}  // namespace tavril
