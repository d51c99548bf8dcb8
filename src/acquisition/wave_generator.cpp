#include "acquisition/wave_generator.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "text/number_text.h"

namespace tavril {

namespace {

// SplitMix64's finaliser: a counter becomes 64 bits that look random.
std::uint64_t Mix(std::uint64_t value) {
  value += 0x9E3779B97F4A7C15u;
  value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9u;
  value = (value ^ (value >> 27)) * 0x94D049BB133111EBu;
  return value ^ (value >> 31);
}

// A uniform double in (0, 1) from 53 bits.
double Unit(std::uint64_t bits) {
  return (static_cast<double>(bits >> 11) + 0.5) * 0x1.0p-53;
}

double Fraction(double cycles) {
  return cycles - std::floor(cycles);
}

// Two independent standard normals for updates 2p and 2p + 1: Box-Muller on
// two uniforms of that pair alone.
struct NormalPair {
  double first;
  double second;
};
NormalPair Normals(std::uint64_t seed, std::uint64_t pair) {
  const std::uint64_t bits = Mix(seed * 0x100000001B3u ^ Mix(pair));
  const double radius = std::sqrt(-2.0 * std::log(Unit(bits)));
  const double angle = 2.0 * std::numbers::pi * Unit(Mix(bits));
  return {radius * std::cos(angle), radius * std::sin(angle)};
}

bool Periodic(WaveShape shape) {
  return shape != WaveShape::kDc && shape != WaveShape::kUniformNoise &&
         shape != WaveShape::kGaussianNoise;
}

}  // namespace

std::string WaveRefusal(const WaveSettings& settings, double lowVolts, double highVolts,
                        double updateRate, std::string* warning) {
  if (warning != nullptr) warning->clear();
  const bool periodic = Periodic(settings.shape);
  const double amplitude = std::abs(settings.amplitude);
  if (!std::isfinite(settings.amplitude) || !std::isfinite(settings.offset))
    return "l'amplitude et le décalage doivent être des nombres";
  if (settings.shape == WaveShape::kArbitrary && settings.arbitrary.empty())
    return "la forme arbitraire ne contient aucun échantillon";
  // The noises and an arbitrary wave are bounded by their own peaks.
  double peak = amplitude;
  if (settings.shape == WaveShape::kDc) peak = 0.0;
  if (settings.shape == WaveShape::kGaussianNoise) peak = 0.0;  // unbounded: clipped by the output
  if (settings.shape == WaveShape::kArbitrary) {
    double largest = 0.0;
    for (const double value : settings.arbitrary) largest = std::max(largest, std::abs(value));
    peak = amplitude * largest;
  }
  if (settings.shape == WaveShape::kGaussianNoise && warning != nullptr &&
      (settings.offset + 3.0 * amplitude > highVolts ||
       settings.offset - 3.0 * amplitude < lowVolts)) {
    *warning = "le bruit gaussien dépassera souvent la plage de la sortie, qui l'écrêtera";
  }
  if (settings.offset + peak > highVolts || settings.offset - peak < lowVolts) {
    return "le signal va de " + ShortestText(settings.offset - peak) + " à " +
           ShortestText(settings.offset + peak) + " V, hors de la plage de la sortie (" +
           ShortestText(lowVolts) + " à " + ShortestText(highVolts) + " V)";
  }
  if (!periodic) return {};
  if (settings.shape == WaveShape::kSquare && !(settings.duty >= 0.0 && settings.duty <= 1.0))
    return "le rapport cyclique doit être compris entre 0 et 1";
  double highest = settings.frequency;
  double lowest = settings.frequency;
  if (settings.sweep) {
    const FrequencySweep& sweep = *settings.sweep;
    if (!(sweep.seconds > 0.0) || !std::isfinite(sweep.seconds))
      return "la durée du balayage doit être positive";
    if (sweep.law == FrequencySweep::Law::kLogarithmic &&
        !(sweep.startHz > 0.0 && sweep.stopHz > 0.0))
      return "un balayage logarithmique va d'une fréquence positive à une autre";
    highest = std::max(sweep.startHz, sweep.stopHz);
    lowest = std::min(sweep.startHz, sweep.stopHz);
  }
  if (!(lowest >= 0.0) || !std::isfinite(highest)) return "la fréquence doit être positive";
  const double nyquist = updateRate / 2.0;
  if (highest >= nyquist) {
    return "la fréquence " + ShortestText(highest) +
           " Hz atteint la moitié de la cadence de mise à jour de la sortie (" +
           ShortestText(nyquist) + " Hz)";
  }
  if (warning != nullptr && highest * 10.0 > updateRate) {
    *warning = "à " + ShortestText(highest) + " Hz, une période ne compte que " +
               ShortestText(std::floor(updateRate / highest)) +
               " mises à jour : la forme sera grossière";
  }
  return {};
}

WaveSettings RecordWave(std::span<const double> volts, double rate) {
  WaveSettings settings;
  settings.shape = WaveShape::kArbitrary;
  settings.arbitrary.assign(volts.begin(), volts.end());
  settings.frequency = volts.empty() ? 0.0 : rate / static_cast<double>(volts.size());
  settings.amplitude = 1.0;
  return settings;
}

WaveGenerator::WaveGenerator(WaveSettings settings, double updateRate)
    : settings_(std::move(settings)), updateRate_(updateRate) {}

double WaveGenerator::Cycles(std::uint64_t k) const {
  const double start = settings_.phaseDegrees / 360.0;
  const double t = static_cast<double>(k) / updateRate_;
  if (!settings_.sweep) {
    // The whole periods are taken out first, so that the fraction keeps its
    // precision however long the run.
    const double perUpdate = settings_.frequency / updateRate_;
    return start + Fraction(static_cast<double>(k) * perUpdate);
  }
  const FrequencySweep& sweep = *settings_.sweep;
  const double span = std::min(t, sweep.seconds);
  double cycles = 0.0;
  if (sweep.law == FrequencySweep::Law::kLinear) {
    cycles =
        sweep.startHz * span + (sweep.stopHz - sweep.startHz) * span * span / (2.0 * sweep.seconds);
  } else {
    const double rate = std::log(sweep.stopHz / sweep.startHz) / sweep.seconds;
    cycles = rate == 0.0 ? sweep.startHz * span : sweep.startHz * std::expm1(rate * span) / rate;
  }
  if (t > sweep.seconds) cycles += sweep.stopHz * (t - sweep.seconds);
  return start + cycles;
}

double WaveGenerator::At(std::uint64_t k) const {
  const WaveSettings& s = settings_;
  double unit = 0.0;  // the shape between -1 and 1 (a standard normal for Gaussian noise)
  switch (s.shape) {
    case WaveShape::kDc:
      return s.offset;
    case WaveShape::kUniformNoise:
      unit = 2.0 * Unit(Mix(s.noiseSeed * 0x100000001B3u ^ Mix(k))) - 1.0;
      break;
    case WaveShape::kGaussianNoise: {
      const NormalPair pair = Normals(s.noiseSeed, k >> 1);
      unit = (k & 1) == 0 ? pair.first : pair.second;
      break;
    }
    default: {
      const double x = Fraction(Cycles(k));
      switch (s.shape) {
        case WaveShape::kSine:
          unit = std::sin(2.0 * std::numbers::pi * x);
          break;
        case WaveShape::kSquare:
          unit = x < s.duty ? 1.0 : -1.0;
          break;
        case WaveShape::kTriangle:
          // Rises from -1 at the start to 1 at half the period, then falls.
          unit = x < 0.5 ? 4.0 * x - 1.0 : 3.0 - 4.0 * x;
          break;
        case WaveShape::kRisingSawtooth:
          unit = 2.0 * x - 1.0;
          break;
        case WaveShape::kFallingSawtooth:
          unit = 1.0 - 2.0 * x;
          break;
        case WaveShape::kArbitrary: {
          const std::vector<double>& wave = s.arbitrary;
          if (wave.empty()) return s.offset;
          const double at = x * static_cast<double>(wave.size());
          const auto i = std::min(static_cast<std::size_t>(at), wave.size() - 1);
          const double next = wave[(i + 1) % wave.size()];
          unit = wave[i] + (next - wave[i]) * (at - static_cast<double>(i));
          break;
        }
        default:
          break;
      }
    }
  }
  return s.offset + s.amplitude * unit;
}

void WaveGenerator::Fill(std::span<double> volts) {
  const WaveSettings& s = settings_;
  std::size_t i = 0;
  // Gaussian noise a pair at a time: one logarithm for two updates.
  while (s.shape == WaveShape::kGaussianNoise && i + 1 < volts.size()) {
    if ((next_ & 1) != 0) {
      volts[i++] = At(next_++);
      continue;
    }
    const NormalPair pair = Normals(s.noiseSeed, next_ >> 1);
    volts[i++] = s.offset + s.amplitude * pair.first;
    volts[i++] = s.offset + s.amplitude * pair.second;
    next_ += 2;
  }
  for (; i < volts.size(); ++i) volts[i] = At(next_++);
}

}  // namespace tavril
