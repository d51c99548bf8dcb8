#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tavril {

// What an analog output plays.
enum class WaveShape {
  kSine,
  kSquare,  // high for `duty` of each period, first
  kTriangle,
  kRisingSawtooth,
  kFallingSawtooth,
  kDc,             // the offset alone
  kUniformNoise,   // amplitude is the peak
  kGaussianNoise,  // amplitude is the standard deviation
  kArbitrary,      // one period of `arbitrary`, repeated
};

// A frequency that moves from `startHz` to `stopHz` over `seconds`, in
// proportion to the time (linear) or to its logarithm, then holds `stopHz`.
struct FrequencySweep {
  enum class Law { kLinear, kLogarithmic };
  Law law = Law::kLinear;
  double startHz = 0.0;
  double stopHz = 0.0;
  double seconds = 0.0;
};

struct WaveSettings {
  WaveShape shape = WaveShape::kSine;
  double frequency = 1000.0;            // Hz; ignored by DC and the noises
  double amplitude = 1.0;               // V, peak (the noises: see WaveShape)
  double offset = 0.0;                  // V
  double phaseDegrees = 0.0;            // where the first period starts
  double duty = 0.5;                    // of a square, 0 to 1
  std::optional<FrequencySweep> sweep;  // in place of `frequency`
  // kArbitrary: one period of samples in volts, spread evenly over it and
  // read between them in straight lines; amplitude scales them, offset adds.
  std::vector<double> arbitrary;
  std::uint64_t noiseSeed = 1;
};

// A record's samples played at the times they were taken, `rate` a second,
// again and again: an arbitrary wave whose period is the record's length, read
// between its samples at the output's own updates.
WaveSettings RecordWave(std::span<const double> volts, double rate);

// Why `settings` cannot be played by an output of range [lowVolts,
// highVolts] updated `updateRate` times a second, in French; empty when it
// can. `warning` receives what it can play only poorly (a period of fewer
// than 10 updates), empty otherwise.
std::string WaveRefusal(const WaveSettings& settings, double lowVolts, double highVolts,
                        double updateRate, std::string* warning);

// The values of an output updated `updateRate` times a second, update after
// update from the first: update k at time k / updateRate. Each value is a
// function of k alone, so that a run of any length keeps its frequency (the
// phase is computed from k, never accumulated) and the noises never repeat
// (a counter-based generator: update k's value hashes (seed, k)).
class WaveGenerator {
 public:
  WaveGenerator(WaveSettings settings, double updateRate);

  // The value of update k, in volts.
  double At(std::uint64_t k) const;
  // The next updates, from where the last call stopped.
  void Fill(std::span<double> volts);
  std::uint64_t Next() const { return next_; }
  // Periods gone by at update k, the starting phase included (whole periods
  // may be left out).
  double Cycles(std::uint64_t k) const;

 private:
  WaveSettings settings_;
  double updateRate_;
  std::uint64_t next_ = 0;
};

}  // namespace tavril
