#include "processing/wave_timing.h"

#include <algorithm>
#include <cstring>

namespace tavril {
namespace {

// Two samples, compared at once: `inside` is given these as well as single
// samples, and gives a lane of all ones for each sample of a pair inside.
using Pair = double __attribute__((vector_size(16)));

// The first index from `from` whose sample is not `inside`, or the block's
// size. Eight samples are tested at a time in vector registers, then the
// one found is looked for among them.
template <class Inside>
std::size_t FindOutside(std::span<const double> block, std::size_t from, Inside inside) {
  constexpr std::size_t kPairs = 4;
  const double* x = block.data();
  const std::size_t size = block.size();
  std::size_t i = from;
  for (; i + 2 * kPairs <= size; i += 2 * kPairs) {
    Pair pairs[kPairs];
    std::memcpy(pairs, x + i, sizeof pairs);
    auto all = inside(pairs[0]);
    for (std::size_t j = 1; j < kPairs; ++j) all &= inside(pairs[j]);
    if ((all[0] & all[1]) != -1) break;
  }
  while (i < size && inside(x[i])) ++i;
  return i;
}

// The sums of a straight line's fit to samples (x against the index), and
// where that line crosses a level: the middle of the stretch when the fit is
// flat or slopes the wrong way. Indexes count from the stretch's first
// sample, which keeps the sums small and exact.
class LineFit {
 public:
  explicit LineFit(std::uint64_t from) : from_(from) {}

  // The samples from index `first` on.
  void Add(std::uint64_t first, std::span<const double> samples) {
    for (std::size_t j = 0; j < samples.size(); ++j) {
      const double t = static_cast<double>(first + j - from_);
      st_ += t;
      sx_ += samples[j];
      stt_ += t * t;
      stx_ += t * samples[j];
    }
  }

  // Once samples [from, to] are added.
  double Crossing(std::uint64_t to, bool rising, double level) const {
    const double n = static_cast<double>(to - from_ + 1);
    double meanT = st_ / n;
    const double meanX = sx_ / n;
    const double spread = stt_ - st_ * meanT;
    const double slope = spread > 0 ? (stx_ - st_ * meanX) / spread : 0;
    const bool sloped = rising ? slope > 0 : slope < 0;
    meanT += static_cast<double>(from_);
    return sloped ? meanT + (level - meanX) / slope : meanT;
  }

 private:
  std::uint64_t from_;
  double st_ = 0, sx_ = 0, stt_ = 0, stx_ = 0;
};

struct Edge {
  double time;    // samples, where the signal crosses the mean
  double middle;  // samples, where it crosses halfway from minimum to maximum
};

// The mean of what is added.
class Average {
 public:
  void Add(double value) {
    sum_ += value;
    ++count_;
  }
  std::optional<double> Value() const {
    if (count_ == 0) return std::nullopt;
    return sum_ / static_cast<double>(count_);
  }

 private:
  double sum_ = 0;
  std::uint64_t count_ = 0;
};

// The trigger with hysteresis that MeasureWave describes, run forward over
// the source a block at a time. Between edges a tight loop only looks for
// the sample that crosses the other threshold (or, after an edge, the end of
// its 10-90 % transition); where the edge began is then found by looking
// back, in the block or, before it, over earlier samples read again a block
// at a time.
class EdgeTrigger {
 public:
  EdgeTrigger(WaveSampleSource& source, const WaveLevels& levels)
      : source_(source),
        size_(source.size()),
        mean_(levels.mean),
        h_(0.25 * std::min(levels.maximum - levels.mean, levels.mean - levels.minimum)),
        upper_(mean_ + h_),
        lower_(mean_ - h_),
        middle_(0.5 * (levels.minimum + levels.maximum)),
        low10_(levels.minimum + 0.1 * (levels.maximum - levels.minimum)),
        high90_(levels.minimum + 0.9 * (levels.maximum - levels.minimum)) {}

  bool Run();
  void Report(double rate, WaveMeasurements& result) const;

 private:
  void AddTransition(bool rising);
  void AddEdge(bool rising, const Edge& edge);

  // Moves on to the first sample from here that is not `inside`, or to the end.
  template <class Inside>
  bool Scan(Inside inside);
  bool NextBlock();
  double Current() const { return block_[i_ - blockFirst_]; }
  // Sample `k`, at most the current one.
  double Sample(std::uint64_t k);
  // The last index in (floor, top] whose sample is not `inside`; `floor` when none.
  template <class Inside>
  std::uint64_t LookBack(std::uint64_t top, std::uint64_t floor, Inside inside);
  // The edge the line fitted to samples [from, current] gives.
  Edge FitEdge(std::uint64_t from, bool rising);
  // Where the samples cross `level` between index `k` and `k + 1`, in samples.
  double Interpolated(std::uint64_t k, double level);

  WaveSampleSource& source_;
  const std::uint64_t size_;
  const double mean_, h_, upper_, lower_, middle_, low10_, high90_;

  std::span<const double> block_;
  std::uint64_t blockFirst_ = 0;
  double previous_ = 0;  // the sample just before the block
  std::uint64_t i_ = 0;
  bool failed_ = false;

  bool onHigh_ = false;
  bool waitingEnd_ = false;     // the last edge's transition has not reached its end level
  double transitionStart_ = 0;  // and began here, in samples
  std::uint64_t lastEdge_ = 0;  // where the signal last came beyond a threshold

  std::uint64_t rises_ = 0;
  double firstRise_ = 0, lastRise_ = 0;  // samples, where the signal crosses the mean
  double lastRiseMiddle_ = 0;            // samples, where it crosses halfway
  std::optional<double> pendingHigh_;    // the time high of the last fall, counted at the next rise
  double high_ = 0;
  Average riseTime_, fallTime_;
};

bool EdgeTrigger::NextBlock() {
  if (!block_.empty()) previous_ = block_.back();
  blockFirst_ += block_.size();
  const std::size_t count =
      static_cast<std::size_t>(std::min<std::uint64_t>(source_.blockSize(), size_ - blockFirst_));
  const auto read = source_.Read(blockFirst_, count, WaveSampleSource::Purpose::kScan);
  if (!read) return false;
  block_ = *read;
  return true;
}

template <class Inside>
bool EdgeTrigger::Scan(Inside inside) {
  for (;;) {
    if (i_ == blockFirst_ + block_.size()) {
      if (i_ == size_) return true;
      if (!NextBlock()) return false;
    }
    const std::size_t at = FindOutside(block_, static_cast<std::size_t>(i_ - blockFirst_), inside);
    i_ = blockFirst_ + at;
    if (at < block_.size()) return true;
  }
}

double EdgeTrigger::Sample(std::uint64_t k) {
  if (k >= blockFirst_) return block_[k - blockFirst_];
  if (k + 1 == blockFirst_) return previous_;
  const auto read = source_.Read(k, 1, WaveSampleSource::Purpose::kLookBack);
  if (!read) {
    failed_ = true;
    return 0;
  }
  return (*read)[0];
}

template <class Inside>
std::uint64_t EdgeTrigger::LookBack(std::uint64_t top, std::uint64_t floor, Inside inside) {
  std::uint64_t k = top;
  while (k > floor && k >= blockFirst_ && inside(block_[k - blockFirst_])) --k;
  if (k == floor || k >= blockFirst_) return k;
  while (k > floor) {
    const std::size_t count =
        static_cast<std::size_t>(std::min<std::uint64_t>(source_.blockSize(), k - floor));
    const std::uint64_t first = k + 1 - count;
    const auto read = source_.Read(first, count, WaveSampleSource::Purpose::kLookBack);
    if (!read) {
      failed_ = true;
      return floor;
    }
    std::size_t j = count;
    while (j > 0 && inside((*read)[j - 1])) --j;
    if (j > 0) return first + j - 1;
    k = first - 1;
  }
  return floor;
}

Edge EdgeTrigger::FitEdge(std::uint64_t from, bool rising) {
  LineFit line(from);
  std::uint64_t k = from;
  while (k < blockFirst_) {
    const std::size_t count =
        static_cast<std::size_t>(std::min<std::uint64_t>(source_.blockSize(), blockFirst_ - k));
    const auto read = source_.Read(k, count, WaveSampleSource::Purpose::kLookBack);
    if (!read) {
      failed_ = true;
      return {};
    }
    line.Add(k, *read);
    k += count;
  }
  line.Add(k, block_.subspan(k - blockFirst_, i_ + 1 - k));
  return {line.Crossing(i_, rising, mean_), line.Crossing(i_, rising, middle_)};
}

double EdgeTrigger::Interpolated(std::uint64_t k, double level) {
  const double a = Sample(k);
  const double b = Sample(k + 1);
  return static_cast<double>(k) + (a == b ? 0.5 : (level - a) / (b - a));
}

void EdgeTrigger::AddTransition(bool rising) {
  (rising ? riseTime_ : fallTime_)
      .Add(Interpolated(i_ - 1, rising ? high90_ : low10_) - transitionStart_);
  waitingEnd_ = false;
}

void EdgeTrigger::AddEdge(bool rising, const Edge& edge) {
  if (rising) {
    // The fall before this rise ended a whole period.
    if (pendingHigh_) high_ += *pendingHigh_;
    pendingHigh_.reset();
    if (rises_ == 0) firstRise_ = edge.time;
    lastRise_ = edge.time;
    lastRiseMiddle_ = edge.middle;
    ++rises_;
  } else if (rises_ > 0) {
    pendingHigh_ = edge.middle - lastRiseMiddle_;
  }
}

bool EdgeTrigger::Run() {
  if (!(h_ > 0)) return true;
  const double lower = lower_, upper = upper_, low10 = low10_, high90 = high90_;
  if (!Scan([=](auto x) { return (x <= upper) & (x >= lower); })) return false;
  onHigh_ = i_ < size_ && Current() > upper;
  lastEdge_ = i_;
  for (++i_; i_ < size_; ++i_) {
    bool read;
    if (onHigh_ && waitingEnd_) {
      read = Scan([=](auto x) { return (x >= lower) & (x < high90); });
    } else if (onHigh_) {
      read = Scan([=](auto x) { return x >= lower; });
    } else if (waitingEnd_) {
      read = Scan([=](auto x) { return (x <= upper) & (x > low10); });
    } else {
      read = Scan([=](auto x) { return x <= upper; });
    }
    if (!read) return false;
    if (i_ == size_) break;
    const double x = Current();
    if (waitingEnd_ && (onHigh_ ? x >= high90 : x <= low10)) AddTransition(onHigh_);
    if (onHigh_ ? x >= lower : x <= upper) continue;
    // An edge: the stretch it crosses the band in, and where it left the far level.
    const bool rising = !onHigh_;
    const std::uint64_t start =
        rising ? LookBack(i_ - 1, lastEdge_, [=](double s) { return s >= lower; })
               : LookBack(i_ - 1, lastEdge_, [=](double s) { return s <= upper; });
    AddEdge(rising, FitEdge(start, rising));
    const double from = rising ? low10 : high90;
    const std::uint64_t left =
        rising ? LookBack(i_ - 1, lastEdge_, [=](double s) { return s > from; })
               : LookBack(i_ - 1, lastEdge_, [=](double s) { return s < from; });
    const double atLeft = Sample(left);
    waitingEnd_ = rising ? atLeft <= from : atLeft >= from;
    if (waitingEnd_) transitionStart_ = Interpolated(left, from);
    if (waitingEnd_ && (rising ? x >= high90 : x <= low10)) AddTransition(rising);
    onHigh_ = rising;
    lastEdge_ = i_;
    if (failed_) return false;
  }
  return !failed_;
}

void EdgeTrigger::Report(double rate, WaveMeasurements& result) const {
  if (!(rate > 0)) return;
  if (const auto t = riseTime_.Value()) result.riseTime = *t / rate;
  if (const auto t = fallTime_.Value()) result.fallTime = *t / rate;
  if (rises_ < 2) return;
  const double span = lastRise_ - firstRise_;
  if (!(span > 0)) return;
  result.frequency = static_cast<double>(rises_ - 1) * rate / span;
  result.period = 1.0 / *result.frequency;
  result.dutyCycle = high_ / span;
}

}  // namespace

WaveMeasurements LevelMeasurements(const WaveLevels& levels, std::size_t count) {
  WaveMeasurements result;
  result.count = count;
  if (count == 0 || !levels.finite) return result;
  result.minimum = levels.minimum;
  result.maximum = levels.maximum;
  result.peakToPeak = levels.maximum - levels.minimum;
  result.mean = levels.mean;
  result.rms = levels.rms;
  result.acRms = levels.acRms;
  return result;
}

std::optional<WaveMeasurements> MeasureWaveFrom(WaveSampleSource& source, const WaveLevels& levels,
                                                double rate) {
  WaveMeasurements result = LevelMeasurements(levels, source.size());
  if (result.count == 0 || !levels.finite) return result;
  EdgeTrigger trigger(source, levels);
  if (!trigger.Run()) return std::nullopt;
  trigger.Report(rate, result);
  return result;
}

}  // namespace tavril
