#include "acquisition/continuous_trigger.h"

#include <algorithm>
#include <cmath>

namespace tavril {

SweepFinder::SweepFinder(const TriggerSettings& settings, std::uint32_t window,
                         double samplesPerSecond)
    : mode_(settings.mode),
      edge_(settings.edge),
      level_(settings.level),
      window_(std::max<std::uint32_t>(window, 1)) {
  const double percent =
      std::isfinite(settings.prePercent) ? std::clamp(settings.prePercent, 0.0, 100.0) : 0.0;
  // The trigger sample itself stays in the window, even at 100 %.
  pre_ = std::min(static_cast<std::uint32_t>(std::llround(window_ * percent / 100.0)), window_ - 1);
  const double holdoff = settings.holdoffSeconds * samplesPerSecond;
  holdoff_ =
      std::isfinite(holdoff) && holdoff > 0 ? static_cast<std::uint64_t>(std::ceil(holdoff)) : 0;
}

bool SweepFinder::Crosses(double before, double now) const {
  if (edge_ == TriggerEdge::kRising) return before < level_ && now >= level_;
  return before > level_ && now <= level_;
}

std::optional<Sweep> SweepFinder::Feed(std::span<const double> samples) {
  std::optional<Sweep> last;
  if (mode_ == SweepMode::kRoll || done_) {
    seen_ += samples.size();
    return last;
  }
  for (std::size_t k = 0; k < samples.size(); ++k) {
    const double value = samples[k];
    const std::uint64_t index = seen_++;
    const bool crossed = previous_ && Crosses(*previous_, value);
    previous_ = value;
    // A trigger needs the samples before it that its sweep shows.
    if (!pending_ && crossed && index >= pre_ &&
        (!lastTrigger_ || index - *lastTrigger_ >= holdoff_)) {
      pending_ = index;
      lastTrigger_ = index;
    }
    if (pending_) {
      const std::uint64_t first = *pending_ - pre_;
      if (index + 1 == first + window_) {
        last = Sweep{first, pre_};
        lastEnd_ = index + 1;
        lastTriggered_ = true;
        pending_.reset();
        if (mode_ == SweepMode::kSingle) {
          done_ = true;
          seen_ += samples.size() - k - 1;
          return last;
        }
      }
    } else if (mode_ == SweepMode::kAutomatic && index + 1 - lastEnd_ >= window_) {
      last = Sweep{index + 1 - window_, std::nullopt};
      lastEnd_ = index + 1;
      lastTriggered_ = false;
    }
  }
  if (last) {
    forced_ = false;
  } else if (forced_ && !pending_ && seen_ >= window_) {
    forced_ = false;
    last = Sweep{seen_ - window_, std::nullopt};
    lastEnd_ = seen_;
    lastTriggered_ = false;
    done_ = mode_ == SweepMode::kSingle;
  }
  return last;
}

TriggerState SweepFinder::State() const {
  if (pending_) return TriggerState::kTriggered;
  if (lastTriggered_ && (done_ || seen_ - lastEnd_ < window_)) {
    return *lastTriggered_ ? TriggerState::kTriggered : TriggerState::kAutomatic;
  }
  return mode_ == SweepMode::kAutomatic && lastTriggered_ ? TriggerState::kAutomatic
                                                          : TriggerState::kWaiting;
}

}  // namespace tavril
