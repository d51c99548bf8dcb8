// The simulated board's inputs. Every channel carries its own deterministic
// signal, a pure function of (channel, seconds since the start of the
// acquisition), sized so that the default 1000 points at 100 000 samples per
// second (10 ms) show a few periods and the peaks stay within ±5 V (gain 1
// never clips):
//
//   chan  shape                                               peak
//   0  8  sine, 500 Hz / 1 kHz                                4 V / 2 V
//   1  9  square, 50 % duty, 400 Hz / 1 kHz                   3 V / 1.5 V
//   2 10  triangle, 300 Hz / 1 kHz                            4 V / 2 V
//   3 11  rising sawtooth, 500 Hz / 200 Hz                    2.5 V / 4 V
//   4 12  DC level                                            +2.5 V / -1.5 V
//   5 13  sine 200 Hz / 700 Hz plus noise                     3 V + 1 V / 2 V + 0.5 V
//   6 14  bursts every 2.5 ms / 5 ms of a 2 kHz / 1 kHz       4.5 V / 3 V
//         ringing decaying with 0.5 ms / 1 ms time constant
//   7 15  chirp sweeping 400 Hz -> 2 kHz in 5 ms /            4 V / 3 V
//         1 kHz -> 5 kHz in 2 ms, then starting again
//
// Square and sawtooth edges take 1 µs, as a real generator's would, and sit
// 5 µs before a multiple of 10 µs, so samples at 100 000 S/s (alone or
// scanned) never fall on an edge. Bursts and sweeps hold a whole number of
// cycles, so the signal is continuous where they restart. The noise is
// bell-shaped (sum of four uniform bytes), linearly interpolated between the
// points of a 1 MHz lattice whose values hash (channel, lattice index), so it
// does not depend on how a call is split or ordered; its rms is about 0.29 of
// its peak at the lattice points, and the pattern repeats every 2^32 µs
// (about 72 minutes).
//
// SignalVolts is the reference. Acquisitions generate the same values with
// recurrences (rotations for sines, a second-order rotation for the chirp,
// phase ramps for the other shapes), reseeded exactly at the start of every
// block of kBlock samples and of every burst or sweep, so rounding cannot
// accumulate: the readings agree with quantised SignalVolts within one LSB.

#include "acquisition/simulated_board.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <utility>

#include "acquisition/paced_stream.h"
#include "acquisition/rate_refusal.h"
#include "acquisition/scan_timing.h"

namespace tavril {
namespace {

constexpr double kTwoPi = 6.283185307179586476925286766559;
constexpr double kEdgeSeconds = 1e-6;
constexpr double kEdgeDelaySeconds = 5e-6;
constexpr double kNoiseLatticeHz = 1e6;
// Beyond this time the fast generators' integer phase and lattice arithmetic
// would lose exactness; such acquisitions use SignalVolts sample by sample.
constexpr double kFastPathSeconds = 1e9;
constexpr int kBlock = 512;  // samples per generated block (4 KB of volts)
constexpr int kLanes = 8;    // independent recurrences run side by side

enum class Shape : unsigned char {
  kSine,
  kSquare,
  kTriangle,
  kSawtooth,
  kLevel,
  kNoisySine,
  kDampedBursts,
  kChirp,
};

struct SignalShape {
  Shape shape;
  double peakVolts;          // the level of kLevel
  double hz;                 // ringing frequency of bursts, start frequency of a chirp
  double startCycles = 0;    // phase at t = 0
  double repeatSeconds = 0;  // period of bursts and sweeps
  double decaySeconds = 0;   // bursts: envelope time constant
  double endHz = 0;          // chirp: frequency at the end of a sweep
  double noisePeakVolts = 0;
};

// Square: rising edge centred kEdgeDelaySeconds before t = 0 (phase 0.75 of
// the triangle below). Sawtooth: fall centred kEdgeDelaySeconds before t = 0.
constexpr double SquareStart(double hz) {
  return 0.75 + hz * kEdgeDelaySeconds;
}
constexpr double SawtoothStart(double hz) {
  return hz * (kEdgeDelaySeconds - kEdgeSeconds / 2);
}

constexpr SignalShape kSignals[SimulatedBoard::kChannelCount] = {
    {.shape = Shape::kSine, .peakVolts = 4.0, .hz = 500.0},
    {.shape = Shape::kSquare, .peakVolts = 3.0, .hz = 400.0, .startCycles = SquareStart(400.0)},
    {.shape = Shape::kTriangle, .peakVolts = 4.0, .hz = 300.0, .startCycles = 0.75},
    {.shape = Shape::kSawtooth, .peakVolts = 2.5, .hz = 500.0, .startCycles = SawtoothStart(500.0)},
    {.shape = Shape::kLevel, .peakVolts = 2.5, .hz = 0.0},
    {.shape = Shape::kNoisySine, .peakVolts = 3.0, .hz = 200.0, .noisePeakVolts = 1.0},
    {.shape = Shape::kDampedBursts,
     .peakVolts = 4.5,
     .hz = 2000.0,
     .repeatSeconds = 2.5e-3,
     .decaySeconds = 0.5e-3},
    {.shape = Shape::kChirp, .peakVolts = 4.0, .hz = 400.0, .repeatSeconds = 5e-3, .endHz = 2000.0},
    {.shape = Shape::kSine, .peakVolts = 2.0, .hz = 1000.0},
    {.shape = Shape::kSquare, .peakVolts = 1.5, .hz = 1000.0, .startCycles = SquareStart(1000.0)},
    {.shape = Shape::kTriangle, .peakVolts = 2.0, .hz = 1000.0, .startCycles = 0.75},
    {.shape = Shape::kSawtooth, .peakVolts = 4.0, .hz = 200.0, .startCycles = SawtoothStart(200.0)},
    {.shape = Shape::kLevel, .peakVolts = -1.5, .hz = 0.0},
    {.shape = Shape::kNoisySine, .peakVolts = 2.0, .hz = 700.0, .noisePeakVolts = 0.5},
    {.shape = Shape::kDampedBursts,
     .peakVolts = 3.0,
     .hz = 1000.0,
     .repeatSeconds = 5e-3,
     .decaySeconds = 1e-3},
    {.shape = Shape::kChirp,
     .peakVolts = 3.0,
     .hz = 1000.0,
     .repeatSeconds = 2e-3,
     .endHz = 5000.0},
};

// In [0, 1) for finite x >= 0 (exact there); any value, never UB, otherwise.
inline double Frac(double x) {
  return x - std::floor(x);
}

// ---- Shapes of one period, phase p in [0, 1) ----

// 1 at p = 0, -1 at p = 0.5.
inline double Triangle(double p) {
  return 4.0 * std::abs(p - 0.5) - 1.0;
}

// The triangle scaled and clipped at ±peak: edges of width `edgeCycles`
// centred on p = 0.25 and 0.75.
inline double Square(double p, double edgeCycles, double peak) {
  double x = Triangle(p) * (0.5 * peak / edgeCycles);
  x = x > -peak ? x : -peak;
  return x < peak ? x : peak;
}

// Rises from -1 to 1, then falls back during the last `edgeCycles`.
inline double Sawtooth(double p, double edgeCycles) {
  double rise = -1.0 + 2.0 * p / (1.0 - edgeCycles);
  double fall = -1.0 + 2.0 * (1.0 - p) / edgeCycles;
  return rise < fall ? rise : fall;
}

// ---- Noise ----

// Chris Wellons' "lowbias32" integer hash.
inline std::uint32_t Hash32(std::uint32_t x) {
  x ^= x >> 16;
  x *= 0x7FEB352Du;
  x ^= x >> 15;
  x *= 0x846CA68Bu;
  x ^= x >> 16;
  return x;
}

inline std::uint32_t NoiseSeed(int chan) {
  return Hash32(0x7A5B1C0Du + static_cast<std::uint32_t>(chan));
}

// The value at a lattice point: the sum of four uniform bytes of a hash of
// (channel, index), centred: mean 0, rms 0.58, within ±2.
inline double LatticeNoise(std::uint32_t seed, std::uint32_t index) {
  std::uint32_t h = Hash32(index ^ seed);
  std::uint32_t pairs = (h & 0x00FF00FFu) + ((h >> 8) & 0x00FF00FFu);
  std::uint32_t sum = (pairs & 0xFFFFu) + (pairs >> 16);
  return (static_cast<int>(sum) - 510) * (1.0 / 256.0);
}

inline double InterpolatedNoise(std::uint32_t seed, std::uint32_t index, double frac) {
  double a = LatticeNoise(seed, index);
  double b = LatticeNoise(seed, index + 1);
  return a + frac * (b - a);
}

// Lattice indexes count modulo 2^32 (the pattern repeats every 2^32 µs,
// about 72 minutes).
double NoiseVolts(int chan, double seconds, double peakVolts) {
  double u = seconds * kNoiseLatticeHz;
  double cell = std::floor(u);
  std::uint32_t index = 0;
  if (cell > -9.2e18 && cell < 9.2e18) {
    index = static_cast<std::uint32_t>(static_cast<std::uint64_t>(static_cast<std::int64_t>(cell)));
  }
  return 0.5 * peakVolts * InterpolatedNoise(NoiseSeed(chan), index, u - cell);
}

// ---- Rotations ----

struct Complex {
  double re;
  double im;
};

inline Complex Mul(Complex a, Complex b) {
  return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re};
}

inline Complex Scale(Complex a, double s) {
  return {a.re * s, a.im * s};
}

inline Complex Turn(double cycles) {
  double angle = kTwoPi * Frac(cycles);
  return {std::cos(angle), std::sin(angle)};
}

// out[k] = Im(z0 * w^k) for k < len, where lane[i] = w^i and step = w^kLanes.
void FillRotation(Complex z0, const Complex* lane, Complex step, int len, double* out) {
  double re[kLanes];
  double im[kLanes];
  for (int i = 0; i < kLanes; ++i) {
    Complex z = Mul(z0, lane[i]);
    re[i] = z.re;
    im[i] = z.im;
  }
  int k = 0;
  for (; k + kLanes <= len; k += kLanes) {
    for (int i = 0; i < kLanes; ++i) out[k + i] = im[i];
    for (int i = 0; i < kLanes; ++i) {
      double r = re[i] * step.re - im[i] * step.im;
      double m = re[i] * step.im + im[i] * step.re;
      re[i] = r;
      im[i] = m;
    }
  }
  for (int i = 0; k + i < len; ++i) out[k + i] = im[i];
}

// out[k] = Im(z_k) where each lane advances z by its own rotation r and r by
// the common rotation `bend` at every step (a phase quadratic in k).
void FillChirpRotation(const Complex* z0, const Complex* r0, Complex bend, int len, double* out) {
  double zr[kLanes], zi[kLanes], rr[kLanes], ri[kLanes];
  for (int i = 0; i < kLanes; ++i) {
    zr[i] = z0[i].re;
    zi[i] = z0[i].im;
    rr[i] = r0[i].re;
    ri[i] = r0[i].im;
  }
  int k = 0;
  for (; k + kLanes <= len; k += kLanes) {
    for (int i = 0; i < kLanes; ++i) out[k + i] = zi[i];
    for (int i = 0; i < kLanes; ++i) {
      double a = zr[i] * rr[i] - zi[i] * ri[i];
      double b = zr[i] * ri[i] + zi[i] * rr[i];
      zr[i] = a;
      zi[i] = b;
      double c = rr[i] * bend.re - ri[i] * bend.im;
      double d = rr[i] * bend.im + ri[i] * bend.re;
      rr[i] = c;
      ri[i] = d;
    }
  }
  for (int i = 0; k + i < len; ++i) out[k + i] = zi[i];
}

// ---- Generation along one channel's time grid t0 + k dt ----

class SignalGenerator {
 public:
  SignalGenerator() = default;
  SignalGenerator(int chan, double t0Seconds, double dtSeconds, std::uint64_t count);

  // volts[k] = signal at t0 + (first + k) dt for k < len <= kBlock; may
  // write the rest of the block too.
  void Fill(std::uint64_t first, int len, double* volts) const;

 private:
  void FillPhaseShape(double t, double* volts) const;
  void FillSine(double t, int len, double* volts) const;
  void AddNoise(double t, int len, double* volts) const;
  void FillBursts(double t, int len, double* volts) const;
  void FillChirp(double t, int len, double* volts) const;
  // Samples from time t (repeat phase q0) up to the next restart, at most len.
  int SamplesBeforeRestart(double q0, int len) const;

  int chan_ = 0;
  const SignalShape* shape_ = nullptr;
  double t0_ = 0;
  double dt_ = 0;
  bool exact_ = true;
  double edgeCycles_ = 0;
  double phaseStep_ = 0;  // cycles per sample, reduced to [0, 1)
  Complex lane_[kLanes] = {};
  Complex step_ = {};
  Complex chirpLane_[kLanes] = {};  // phase offsets i^2 dt^2 beta / 2 of the lanes
  Complex chirpBendLane_[kLanes] = {};
  Complex bend_ = {};
  double sweepRate_ = 0;  // chirp: Hz per second
};

SignalGenerator::SignalGenerator(int chan, double t0Seconds, double dtSeconds, std::uint64_t count)
    : chan_(chan), shape_(&kSignals[chan]), t0_(t0Seconds), dt_(dtSeconds) {
  // Blocks may run up to kBlock samples past the end.
  double end = t0Seconds + static_cast<double>(count + kBlock) * dtSeconds;
  exact_ = !(t0Seconds >= 0 && dtSeconds > 0 && end <= kFastPathSeconds);
  if (exact_) return;
  const SignalShape& s = *shape_;
  edgeCycles_ = s.hz * kEdgeSeconds;
  phaseStep_ = Frac(s.hz * dt_);
  double cyclesPerSample = s.hz * dt_;
  double decay = s.shape == Shape::kDampedBursts ? dt_ / s.decaySeconds : 0.0;
  for (int i = 0; i < kLanes; ++i) {
    lane_[i] = Scale(Turn(i * cyclesPerSample), std::exp(-i * decay));
  }
  step_ = Scale(Turn(kLanes * cyclesPerSample), std::exp(-kLanes * decay));
  if (s.shape == Shape::kChirp) {
    sweepRate_ = (s.endHz - s.hz) / s.repeatSeconds;
    double bendCycles = sweepRate_ * dt_ * dt_;  // second difference of the phase per sample
    for (int i = 0; i < kLanes; ++i) {
      chirpLane_[i] = Turn(0.5 * bendCycles * i * i);
      chirpBendLane_[i] = Turn(bendCycles * kLanes * (i + 0.5 * kLanes));
    }
    bend_ = Turn(bendCycles * kLanes * kLanes);
  }
}

void SignalGenerator::Fill(std::uint64_t first, int len, double* volts) const {
  double t = t0_ + static_cast<double>(first) * dt_;
  if (exact_) {
    for (int k = 0; k < len; ++k) {
      volts[k] = SimulatedBoard::SignalVolts(chan_, t0_ + static_cast<double>(first + k) * dt_);
    }
    return;
  }
  switch (shape_->shape) {
    case Shape::kSine:
      FillSine(t, len, volts);
      break;
    case Shape::kNoisySine:
      FillSine(t, len, volts);
      AddNoise(t, len, volts);
      break;
    case Shape::kSquare:
    case Shape::kTriangle:
    case Shape::kSawtooth:
      FillPhaseShape(t, volts);
      break;
    case Shape::kLevel:
      std::fill(volts, volts + len, shape_->peakVolts);
      break;
    case Shape::kDampedBursts:
      FillBursts(t, len, volts);
      break;
    case Shape::kChirp:
      FillChirp(t, len, volts);
      break;
  }
}

void SignalGenerator::FillSine(double t, int len, double* volts) const {
  Complex z0 = Scale(Turn(shape_->hz * t + shape_->startCycles), shape_->peakVolts);
  FillRotation(z0, lane_, step_, len, volts);
}

void SignalGenerator::AddNoise(double t, int len, double* volts) const {
  const std::uint32_t seed = NoiseSeed(chan_);
  const double half = 0.5 * shape_->noisePeakVolts;
  const double dt = dt_;
  // t >= 0 and below kFastPathSeconds here: u stays far below 2^53.
  const double base = std::floor(t * kNoiseLatticeHz);
  const std::uint32_t baseIndex = static_cast<std::uint32_t>(static_cast<std::uint64_t>(base));
  if (dt * kNoiseLatticeHz * kBlock < 2e9) {
    // Cells counted from the block's first one fit an int: the whole block,
    // with a fixed trip count, vectorises.
    for (int k = 0; k < kBlock; ++k) {
      double u = (t + k * dt) * kNoiseLatticeHz - base;
      std::int32_t cell = static_cast<std::int32_t>(u);
      std::uint32_t index = baseIndex + static_cast<std::uint32_t>(cell);
      volts[k] += half * InterpolatedNoise(seed, index, u - cell);
    }
    return;
  }
  for (int k = 0; k < len; ++k) {
    double u = (t + k * dt) * kNoiseLatticeHz;
    std::uint64_t cell = static_cast<std::uint64_t>(u);
    volts[k] += half * InterpolatedNoise(seed, static_cast<std::uint32_t>(cell),
                                         u - static_cast<double>(cell));
  }
}

void SignalGenerator::FillPhaseShape(double t, double* volts) const {
  const double p0 = Frac(shape_->hz * t + shape_->startCycles);
  const double step = phaseStep_;
  const double a = shape_->peakVolts;
  const double w = edgeCycles_;
  // Always the whole block (the loops vectorise with a fixed trip count);
  // x < kBlock + 1, so the int conversion is exact and defined.
  switch (shape_->shape) {
    case Shape::kSquare:
      for (int k = 0; k < kBlock; ++k) {
        double x = p0 + k * step;
        volts[k] = Square(x - static_cast<int>(x), w, a);
      }
      break;
    case Shape::kTriangle:
      for (int k = 0; k < kBlock; ++k) {
        double x = p0 + k * step;
        volts[k] = a * Triangle(x - static_cast<int>(x));
      }
      break;
    default:
      for (int k = 0; k < kBlock; ++k) {
        double x = p0 + k * step;
        volts[k] = a * Sawtooth(x - static_cast<int>(x), w);
      }
      break;
  }
}

int SignalGenerator::SamplesBeforeRestart(double q0, int len) const {
  double left = std::ceil((1.0 - q0) * shape_->repeatSeconds / dt_);
  if (!(left >= 1.0)) return 1;
  return left < len ? static_cast<int>(left) : len;
}

void SignalGenerator::FillBursts(double t, int len, double* volts) const {
  const SignalShape& s = *shape_;
  int done = 0;
  while (done < len) {
    double tSegment = t + done * dt_;
    double q0 = Frac(tSegment / s.repeatSeconds);
    int n = SamplesBeforeRestart(q0, len - done);
    double tau = q0 * s.repeatSeconds;
    Complex z0 = Scale(Turn(s.hz * tau), s.peakVolts * std::exp(-tau / s.decaySeconds));
    FillRotation(z0, lane_, step_, n, volts + done);
    done += n;
  }
}

void SignalGenerator::FillChirp(double t, int len, double* volts) const {
  const SignalShape& s = *shape_;
  int done = 0;
  while (done < len) {
    double tSegment = t + done * dt_;
    double q0 = Frac(tSegment / s.repeatSeconds);
    int n = SamplesBeforeRestart(q0, len - done);
    double tau = q0 * s.repeatSeconds;
    // Phase at tau + k dt: c(tau) + k dt (f0 + beta tau) + beta k^2 dt^2 / 2.
    Complex z0 = Scale(Turn(s.hz * tau + 0.5 * sweepRate_ * tau * tau), s.peakVolts);
    Complex g = Turn(dt_ * (s.hz + sweepRate_ * tau));
    Complex gi = {1.0, 0.0};
    Complex z[kLanes];
    Complex r[kLanes];
    for (int i = 0; i < kLanes; ++i) {
      z[i] = Mul(Mul(z0, gi), chirpLane_[i]);
      gi = Mul(gi, g);
    }
    for (int i = 0; i < kLanes; ++i) r[i] = Mul(gi, chirpBendLane_[i]);
    FillChirpRotation(z, r, bend_, n, volts + done);
    done += n;
  }
}

// ---- The converter ----

struct Converter {
  double scale;  // readings per volt
  double lo;
  double hi;
};

Converter MakeConverter(double gainFactor, bool unipolar) {
  // 2048 readings per 5 V bipolar and 4096 per 10 V unipolar: the same scale.
  return {gainFactor * 409.6, unipolar ? 0.0 : -2048.0, unipolar ? 4095.0 : 2047.0};
}

// Quantises volts[0..len) into out[0], out[stride], ...: clamps before
// converting (a NaN ends at the low end), then rounds half away from zero by
// adding ±0.5 and truncating.
void Quantise(const double* volts, int len, const Converter& c, BoardReading* out,
              std::size_t stride) {
  for (int k = 0; k < len; ++k) {
    double x = volts[k] * c.scale;
    x = x > c.lo ? x : c.lo;
    x = x < c.hi ? x : c.hi;
    x += std::copysign(0.5, x);
    out[k * stride] = static_cast<BoardReading>(x);
  }
}

bool ValidChannel(int chan) {
  return chan >= 0 && chan < SimulatedBoard::kChannelCount;
}

}  // namespace

// The acquisition started: one generator per scan position, how far the
// readings have been handed out, and for a stream its pace.
struct SimulatedBoard::Run {
  ScanTiming timing;
  std::vector<SignalGenerator> generators;
  // Inputs wired to an output run, by scan position.
  std::vector<std::optional<LoopbackInput>> loopbacks;
  Converter converter{};
  std::uint64_t scans = 0;  // 0 for a stream
  std::uint64_t readingsDone = 0;
  std::optional<PacedStream> stream;
};

SimulatedBoard::SimulatedBoard(StreamClock& clock) : clock_(clock), outputs_(clock) {}

SimulatedBoard::~SimulatedBoard() = default;

double SimulatedBoard::SignalVolts(int chan, double seconds) {
  if (chan < 0 || chan >= kChannelCount) return 0.0;
  const SignalShape& s = kSignals[chan];
  const double p = Frac(s.hz * seconds + s.startCycles);
  switch (s.shape) {
    case Shape::kSine:
      return s.peakVolts * std::sin(kTwoPi * p);
    case Shape::kSquare:
      return Square(p, s.hz * kEdgeSeconds, s.peakVolts);
    case Shape::kTriangle:
      return s.peakVolts * Triangle(p);
    case Shape::kSawtooth:
      return s.peakVolts * Sawtooth(p, s.hz * kEdgeSeconds);
    case Shape::kLevel:
      return s.peakVolts;
    case Shape::kNoisySine:
      return s.peakVolts * std::sin(kTwoPi * p) + NoiseVolts(chan, seconds, s.noisePeakVolts);
    case Shape::kDampedBursts: {
      double tau = Frac(seconds / s.repeatSeconds) * s.repeatSeconds;
      return s.peakVolts * std::exp(-tau / s.decaySeconds) * std::sin(kTwoPi * Frac(s.hz * tau));
    }
    case Shape::kChirp: {
      double tau = Frac(seconds / s.repeatSeconds) * s.repeatSeconds;
      double sweepRate = (s.endHz - s.hz) / s.repeatSeconds;
      return s.peakVolts * std::sin(kTwoPi * Frac(s.hz * tau + 0.5 * sweepRate * tau * tau));
    }
  }
  return 0.0;
}

DaqStatus SimulatedBoard::SetTimeout(std::int32_t ticks) {
  if (ticks < -1) return kInvalidValueError;
  timeoutTicks_ = ticks;
  return kDaqNoError;
}

bool SimulatedBoard::TimesOut(double seconds) const {
  return timeoutTicks_ != -1 && seconds > timeoutTicks_ * kSecondsPerTick;
}

DaqStatus SimulatedBoard::Configure(const InputSettings& settings) {
  // The inputs read the same in every mode; the polarity picks the range.
  settings_ = settings;
  return kDaqNoError;
}

DaqStatus SimulatedBoard::Start(const AcquisitionRequest& request) {
  const std::lock_guard lock(mutex_);
  run_.reset();
  refusal_.clear();
  const std::size_t channels = request.channels.size();
  if (channels < 1 || channels > kChannelCount) return kBadChanError;
  for (const int chan : request.channels) {
    if (!ValidChannel(chan)) return kBadChanError;
  }
  double gainFactor = 1.0;
  if (!GainFactor(request.gain, &gainFactor)) return kBadGainError;
  const double sampleRate = request.sampleRate;
  if (!(sampleRate > 0.0 && sampleRate <= kMaxConversionRate)) {
    if (sampleRate > kMaxConversionRate) {
      refusal_ = RateRefusal(ConversionLimit(kMaxConversionRate, channels));
    }
    return kBadIntervalError;
  }
  const double scanRate = request.scanRate;
  if (!(scanRate >= 0.0 && scanRate * static_cast<double>(channels) <= sampleRate)) {
    if (std::isfinite(scanRate) && scanRate > 0.0)
      refusal_ = ScanRateBeyondSampleRate(sampleRate, scanRate, channels);
    return kBadIntervalError;
  }
  const ScanTiming timing = ScanTiming::For(request);
  // A stream (0 s) has no end to time out.
  const double seconds = scanRate > 0.0
                             ? request.scans / scanRate
                             : request.scans * static_cast<double>(channels) / sampleRate;
  if (TimesOut(seconds)) return kTimeOutError;

  auto run = std::make_unique<Run>();
  run->timing = timing;
  run->converter = MakeConverter(gainFactor, settings_.polarity == Polarity::kUnipolar);
  run->scans = request.scans;
  // A stream gives its generators no end: they keep the fast path, which
  // stays exact for years of readings (kFastPathSeconds).
  for (std::size_t j = 0; j < channels; ++j) {
    run->generators.emplace_back(request.channels[j], timing.PositionSeconds(j),
                                 timing.scanInterval, request.scans);
  }
  double outputSeconds = 0;
  const auto outputRun = outputs_.ForInputStart(clock_.Now(), &outputSeconds);
  run->loopbacks.resize(channels);
  for (std::size_t j = 0; j < channels && outputRun != nullptr; ++j) {
    const int chan = request.channels[j];
    if (chan < kFirstLoopbackInput || chan > kLastLoopbackInput) continue;
    run->loopbacks[j].emplace(outputRun, chan == kFirstLoopbackInput ? 0 : 1,
                              chan == kLastLoopbackInput, outputSeconds + timing.PositionSeconds(j),
                              timing.scanInterval);
  }
  if (request.scans == 0) {
    const double perSecond = timing.scansPerSecond * static_cast<double>(channels);
    const auto capacity =
        std::max(kMinStreamBufferReadings, static_cast<std::uint64_t>(std::ceil(perSecond)));
    run->stream.emplace(clock_, timing, capacity);
  }
  run_ = std::move(run);
  return kDaqNoError;
}

void SimulatedBoard::FillSignal(Run& run, std::size_t position, std::uint64_t scan, int len,
                                double* volts) {
  if (run.loopbacks[position].has_value()) {
    run.loopbacks[position]->Fill(scan, len, volts);
  } else {
    run.generators[position].Fill(scan, len, volts);
  }
}

ReadResult SimulatedBoard::Read(std::span<BoardReading> readings) {
  const std::lock_guard lock(mutex_);
  if (run_ == nullptr) return {kInvalidValueError, 0};
  Run& run = *run_;
  const std::size_t channels = run.generators.size();
  DaqStatus status = kDaqNoError;
  std::size_t wanted = 0;
  if (run.stream.has_value()) {
    wanted = static_cast<std::size_t>(run.stream->Take(readings.size()));
    if (run.stream->Overflowed()) status = kOverWriteError;
  } else {
    const std::uint64_t total = run.scans * channels;
    wanted = static_cast<std::size_t>(
        std::min<std::uint64_t>(readings.size(), total - run.readingsDone));
  }
  std::size_t done = 0;
  double volts[kBlock];
  while (done < wanted) {
    const std::uint64_t scan = run.readingsDone / channels;
    const std::size_t position = static_cast<std::size_t>(run.readingsDone % channels);
    if (position == 0 && wanted - done >= channels) {
      // Whole scans, block by block, so that every channel's readings of a
      // block land in the same few kilobytes while they are in cache.
      const int len = static_cast<int>(std::min<std::size_t>(kBlock, (wanted - done) / channels));
      for (std::size_t j = 0; j < channels; ++j) {
        FillSignal(run, j, scan, len, volts);
        Quantise(volts, len, run.converter, readings.data() + done + j, channels);
      }
      done += static_cast<std::size_t>(len) * channels;
      run.readingsDone += static_cast<std::uint64_t>(len) * channels;
    } else {
      // A read that starts or ends inside a scan: one reading at a time.
      FillSignal(run, position, scan, 1, volts);
      Quantise(volts, 1, run.converter, readings.data() + done, 1);
      ++done;
      ++run.readingsDone;
    }
  }
  return {status, done};
}

void SimulatedBoard::Stop() {
  const std::lock_guard lock(mutex_);
  if (run_ != nullptr && run_->stream.has_value()) {
    run_->stream->Stop();
  } else {
    run_.reset();
  }
}

std::string SimulatedBoard::StatusMessage(DaqStatus status) const {
  const std::lock_guard lock(mutex_);
  if (status == kBadIntervalError && !refusal_.empty()) return refusal_;
  return DaqStatusMessage(status);
}

double SimulatedBoard::RateUsed() const {
  return run_ != nullptr ? run_->timing.scansPerSecond : 0.0;
}

DaqStatus SimulatedBoard::ScaleFor(int channel, std::int16_t gain, VoltScale& scale) {
  if (!ValidChannel(channel)) return kBadChanError;
  double g = 1.0;
  if (!GainFactor(gain, &g)) return kBadGainError;
  const bool unipolar = settings_.polarity == Polarity::kUnipolar;
  scale = VoltScale{};
  scale.form = VoltScale::Form::kFullScale;
  scale.fullScaleReading = unipolar ? 4096.0 : 2048.0;
  scale.fullScaleVolts = unipolar ? 10.0 : 5.0;
  scale.gainFactor = g;
  scale.lowestReading = unipolar ? 0 : -2048;
  scale.highestReading = unipolar ? 4095 : 2047;
  return kDaqNoError;
}

std::vector<OutputDescription> SimulatedBoard::Outputs() const {
  return outputs_.Describe();
}

DaqStatus SimulatedBoard::StartOutput(const OutputRequest& request) {
  return outputs_.Start(request);
}

DaqStatus SimulatedBoard::WriteOutput(std::span<const double> volts) {
  return outputs_.Write(volts);
}

DaqStatus SimulatedBoard::StopOutput() {
  return outputs_.Stop();
}

DaqStatus SimulatedBoard::ZeroOutputs() {
  outputs_.Stop();
  return kDaqNoError;
}

}  // namespace tavril
