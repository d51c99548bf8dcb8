// The simulated board's outputs and what its inputs read of them. The test
// circuit y'' + (w0/Q) y' + w0^2 y = w0^2 u is advanced in closed form: with
// u held constant, e = (y - u, y') follows e(t + h) = e^{Ah} e(t), and for
// the underdamped circuit (Q > 1/2), with s = -w0/(2Q) and wd = w0
// sqrt(1 - 1/(4Q^2)),
//   e^{Ah} = e^{sh} [cos(wd h) I + sin(wd h)/wd (A - s I)],
//   A - s I = [[-s, 1], [-w0^2, s]].

#include "acquisition/simulated_outputs.h"

#include <chrono>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tavril {
namespace {

constexpr double kCodesPerVolt = 2048.0 / SimulatedOutputs::kFullScaleVolts;
// A sample within a millionth of an update of its instant already sees the
// new value, so that scans and updates started together at equal rates
// line up despite rounding.
constexpr double kInstantTolerance = 1e-6;

bool ValidOutputs(const std::vector<int>& channels) {
  if (channels.empty() || channels.size() > SimulatedOutputs::kOutputCount) return false;
  for (std::size_t i = 0; i < channels.size(); ++i) {
    if (channels[i] < 0 || channels[i] >= SimulatedOutputs::kOutputCount) return false;
    if (std::count(channels.begin(), channels.end(), channels[i]) > 1) return false;
  }
  return true;
}

bool AllFinite(std::span<const double> volts) {
  return std::all_of(volts.begin(), volts.end(), [](double v) { return std::isfinite(v); });
}

}  // namespace

std::int16_t SimulatedOutputs::Code(double volts) {
  const double code = std::clamp(std::round(volts * kCodesPerVolt), -2048.0, 2047.0);
  return static_cast<std::int16_t>(code);
}

double SimulatedOutputs::Volts(std::int16_t code) {
  return code / kCodesPerVolt;
}

SimulatedOutputRun::SimulatedOutputRun(const OutputRequest& request,
                                       std::vector<std::int16_t> codes, std::size_t streamCapacity)
    : channels_(request.channels),
      rate_(request.updateRate),
      mode_(request.mode),
      codes_(codes.begin(), codes.end()),
      written_(static_cast<std::int64_t>(codes.size() / request.channels.size())),
      capacity_(streamCapacity) {}

std::int64_t SimulatedOutputRun::UpdateAt(double clockSeconds) const {
  if (!started_) return -1;
  return static_cast<std::int64_t>(std::floor((clockSeconds - startClock_) * rate_));
}

bool SimulatedOutputRun::Underran(double clockSeconds) {
  if (mode_ == OutputMode::kStreamed && stoppedAt_ == INT64_MAX &&
      UpdateAt(clockSeconds) >= written_) {
    stoppedAt_ = written_;
    underran_ = true;
    stops_.fetch_add(1, std::memory_order_release);
  }
  return underran_;
}

std::size_t SimulatedOutputRun::HeldVolts(int output, std::int64_t first, std::size_t count,
                                          double* volts) const {
  std::fill(volts, volts + count, 0.0);
  const std::lock_guard lock(mutex_);
  std::size_t settled = count;
  if (mode_ == OutputMode::kStreamed && stoppedAt_ == INT64_MAX) {
    settled = static_cast<std::size_t>(
        std::clamp<std::int64_t>(written_ - first, 0, static_cast<std::int64_t>(count)));
  }
  const auto at = std::find(channels_.begin(), channels_.end(), output);
  if (at == channels_.end()) return count;
  const std::size_t position = static_cast<std::size_t>(at - channels_.begin());
  const std::size_t perUpdate = channels_.size();
  for (std::size_t i = 0; i < count; ++i) {
    std::int64_t k = first + static_cast<std::int64_t>(i);
    if (k < 0 || k >= stoppedAt_) continue;
    if (mode_ == OutputMode::kRegenerated) {
      k %= written_;
    } else if (k >= written_ || k < firstKept_) {
      continue;
    }
    volts[i] = SimulatedOutputs::Volts(
        codes_[static_cast<std::size_t>(k - firstKept_) * perUpdate + position]);
  }
  return settled;
}

std::vector<OutputDescription> SimulatedOutputs::Describe() const {
  std::vector<OutputDescription> outputs;
  for (int chan = 0; chan < kOutputCount; ++chan) {
    outputs.push_back(
        {chan, kResolutionBits, {{-kFullScaleVolts, kFullScaleVolts}}, kMaxUpdateRate});
  }
  return outputs;
}

DaqStatus SimulatedOutputs::Start(const OutputRequest& request) {
  Stop();
  if (!ValidOutputs(request.channels)) return kBadChanError;
  if (!(request.updateRate > 0.0 && request.updateRate <= kMaxUpdateRate)) {
    return kBadIntervalError;
  }
  const std::size_t perUpdate = request.channels.size();
  if (request.volts.size() % perUpdate != 0) return kBadCountError;
  if (request.mode != OutputMode::kStreamed && request.volts.empty()) return kBadCountError;
  if (!AllFinite(request.volts)) return kInvalidValueError;
  const std::size_t capacity =
      std::max(kMinStreamBufferUpdates, static_cast<std::size_t>(std::ceil(request.updateRate)));
  if (request.mode == OutputMode::kStreamed && request.volts.size() / perUpdate > capacity) {
    return kMemFullError;
  }
  std::vector<std::int16_t> codes(request.volts.size());
  std::transform(request.volts.begin(), request.volts.end(), codes.begin(), Code);
  auto run = std::make_shared<SimulatedOutputRun>(request, std::move(codes), capacity);
  if (!request.startWithInput) {
    run->started_ = true;
    run->startClock_ = clock_.Now();
  }
  const std::lock_guard lock(mutex_);
  run_ = std::move(run);
  return kDaqNoError;
}

DaqStatus SimulatedOutputs::Write(std::span<const double> volts) {
  std::shared_ptr<SimulatedOutputRun> shared;
  {
    const std::lock_guard lock(mutex_);
    shared = run_;
  }
  if (shared == nullptr || shared->mode_ != OutputMode::kStreamed) return kInvalidValueError;
  SimulatedOutputRun& run = *shared;
  const std::size_t perUpdate = run.channels_.size();
  if (volts.size() % perUpdate != 0) return kBadCountError;
  if (!AllFinite(volts)) return kInvalidValueError;
  std::size_t done = 0;
  while (done < volts.size()) {
    double waitUntil = 0;
    {
      std::unique_lock lock(run.mutex_);
      const double now = clock_.Now();
      if (run.Underran(now)) return kOutputUnderrunError;
      if (run.stoppedAt_ != INT64_MAX) return kInvalidValueError;
      const std::int64_t current = run.UpdateAt(now);
      const std::int64_t ahead = run.written_ - std::max<std::int64_t>(current, 0);
      const std::int64_t room = static_cast<std::int64_t>(run.capacity_) - ahead;
      if (room > 0) {
        const std::size_t count = std::min<std::size_t>(static_cast<std::size_t>(room),
                                                        (volts.size() - done) / perUpdate);
        for (std::size_t i = 0; i < count * perUpdate; ++i) {
          run.codes_.push_back(Code(volts[done + i]));
        }
        run.written_ += static_cast<std::int64_t>(count);
        done += count * perUpdate;
        // Keep one buffer of updates behind the present for the inputs.
        const std::int64_t keepFrom = current - static_cast<std::int64_t>(run.capacity_);
        if (keepFrom - run.firstKept_ > static_cast<std::int64_t>(run.capacity_)) {
          run.codes_.erase(run.codes_.begin(),
                           run.codes_.begin() + (keepFrom - run.firstKept_) *
                                                    static_cast<std::ptrdiff_t>(perUpdate));
          run.firstKept_ = keepFrom;
        }
        continue;
      }
      if (!run.started_) {
        // Full before the input's start: wait for it in the machine's time,
        // the stream's clock not moving meanwhile; briefly, for a stop.
        run.startedOrStopped_.wait_for(lock, std::chrono::milliseconds(10));
        continue;
      }
      // Until room for the rest, or half the buffer, comes (half an update
      // past it, whatever the rounding): a writer woken for every update
      // would spend a core on its wake-ups.
      const auto wanted =
          std::min<std::int64_t>(static_cast<std::int64_t>((volts.size() - done) / perUpdate),
                                 static_cast<std::int64_t>(run.capacity_ / 2));
      waitUntil = run.startClock_ +
                  (static_cast<double>(run.written_ - run.capacity_ + wanted) + 0.5) / run.rate_;
      // Short waits, so that a StopOutput from another thread ends this one soon.
      waitUntil = std::min(waitUntil, now + 0.01);
    }
    clock_.WaitUntil(waitUntil);
  }
  return kDaqNoError;
}

DaqStatus SimulatedOutputs::Stop() {
  std::shared_ptr<SimulatedOutputRun> run;
  {
    const std::lock_guard lock(mutex_);
    run = std::move(run_);
    run_.reset();
  }
  if (run == nullptr) return kDaqNoError;
  const std::lock_guard lock(run->mutex_);
  if (run->Underran(clock_.Now())) return kOutputUnderrunError;
  const std::int64_t now =
      run->started_ ? std::max<std::int64_t>(run->UpdateAt(clock_.Now()), 0) : 0;
  run->stoppedAt_ = std::min(run->stoppedAt_, now);
  run->stops_.fetch_add(1, std::memory_order_release);
  run->startedOrStopped_.notify_all();
  return kDaqNoError;
}

std::shared_ptr<const SimulatedOutputRun> SimulatedOutputs::ForInputStart(double nowClock,
                                                                          double* outputSeconds) {
  const std::lock_guard lock(mutex_);
  *outputSeconds = 0;
  if (run_ == nullptr) return nullptr;
  const std::lock_guard runLock(run_->mutex_);
  if (!run_->started_) {
    run_->started_ = true;
    run_->startClock_ = nowClock;
    run_->startedOrStopped_.notify_all();
  }
  *outputSeconds = nowClock - run_->startClock_;
  return run_;
}

LoopbackInput::LoopbackInput(std::shared_ptr<const SimulatedOutputRun> run, int output,
                             bool throughCircuit, double firstSeconds, double dtSeconds)
    : run_(std::move(run)),
      output_(output),
      throughCircuit_(throughCircuit),
      first_(firstSeconds),
      dt_(dtSeconds) {
  omega0_ = 2.0 * std::numbers::pi * kCircuitHz;
  sigma_ = -omega0_ / (2.0 * kCircuitQ);
  omegaD_ = omega0_ * std::sqrt(1.0 - 1.0 / (4.0 * kCircuitQ * kCircuitQ));
  const double step = 1.0 / run_->UpdateRate();
  stepC_ = std::exp(sigma_ * step) * std::cos(omegaD_ * step);
  stepS_ = std::exp(sigma_ * step) * std::sin(omegaD_ * step) / omegaD_;
}

std::int64_t LoopbackInput::UpdateAt(double seconds) const {
  return static_cast<std::int64_t>(std::floor(seconds * run_->UpdateRate() + kInstantTolerance));
}

LoopbackInput::State LoopbackInput::Advance(State x, double u, double seconds) const {
  const double decay = std::exp(sigma_ * seconds);
  return Advance(x, u, decay * std::cos(omegaD_ * seconds),
                 decay * std::sin(omegaD_ * seconds) / omegaD_);
}

// c = e^{sh} cos(wd h), s = e^{sh} sin(wd h) / wd.
LoopbackInput::State LoopbackInput::Advance(State x, double u, double c, double s) const {
  const double e0 = x.y - u;
  const double e1 = x.dy;
  return {u + c * e0 + s * (-sigma_ * e0 + e1),
          c * e1 + s * (-omega0_ * omega0_ * e0 + sigma_ * e1)};
}

double LoopbackInput::Held(std::int64_t update) {
  const std::int64_t size = static_cast<std::int64_t>(held_.size());
  const std::uint64_t stops = run_->Stops();
  if (update < heldFrom_ || update >= heldFrom_ + size || stops != heldStops_) {
    heldStops_ = stops;
    held_.resize(kHeldChunk);
    heldFrom_ = update;
    held_.resize(run_->HeldVolts(output_, update, held_.size(), held_.data()));
    if (held_.empty()) return 0.0;  // not written yet: 0 V for now, asked again next time
  }
  return held_[static_cast<std::size_t>(update - heldFrom_)];
}

void LoopbackInput::Fill(std::uint64_t first, int len, double* volts) {
  const double step = 1.0 / run_->UpdateRate();
  for (int i = 0; i < len; ++i) {
    const double t = first_ + static_cast<double>(first + i) * dt_;
    const std::int64_t k = UpdateAt(t);
    if (k < 0) {
      volts[i] = 0.0;  // before the output's start, the circuit at rest
    } else if (!throughCircuit_) {
      volts[i] = Held(k);
    } else {
      while (stateUpdate_ < k) {
        state_ = Advance(state_, Held(stateUpdate_), stepC_, stepS_);
        ++stateUpdate_;
      }
      const double since = std::max(t - static_cast<double>(stateUpdate_) * step, 0.0);
      volts[i] = Advance(state_, Held(stateUpdate_), since).y;
    }
  }
}

}  // namespace tavril
