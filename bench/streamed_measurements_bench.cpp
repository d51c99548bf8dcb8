// The measurement of 10^8 samples of a square wave with noise read by range,
// as a recording too long to hold in memory is measured: its timing pass with
// the level statistics given (as a recording's overview gives them) and the
// whole measurement gathering them first, against one plain pass computing
// the minimum, maximum and sum of the same samples through the same reader,
// in the same run. The reader copies from samples made once, before anything
// is timed. Every pass makes its buffers afresh, as every measurement does;
// BM_FirstTouch shows what writing two fresh blocks costs against blocks
// already touched.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <span>
#include <vector>

#include "bench_times.h"
#include "first_touch.h"
#include "processing/streamed_wave_measurements.h"
#include "processing/wave_measurements.h"

namespace {

constexpr std::uint64_t kSampleCount = 100'000'000;
constexpr double kRate = 9'375'000.0;
constexpr std::size_t kPeriod = 9375;  // 1 kHz
constexpr std::size_t kEdge = 40;      // samples from low to high

// Levels of -2 V and 3 V, high a third of the time, with edges of kEdge
// samples and noise of 2 % of the swing.
const std::vector<double>& Samples() {
  static const std::vector<double> samples = [] {
    std::vector<double> made(kSampleCount);
    std::mt19937 random(1);
    std::uniform_real_distribution<double> noise(-0.05, 0.05);
    for (std::size_t i = 0; i < made.size(); ++i) {
      const double p = static_cast<double>(i % kPeriod);
      const double up =
          std::clamp(p / kEdge, 0.0, 1.0) - std::clamp((p - kPeriod / 3.0) / kEdge, 0.0, 1.0);
      made[i] = -2 + 5 * up + noise(random);
    }
    return made;
  }();
  return samples;
}

bool ReadSamples(std::uint64_t first, std::span<double> out) {
  std::memcpy(out.data(), Samples().data() + first, out.size() * sizeof(double));
  return true;
}

const tavril::SampleRangeReader& Reader() {
  static const tavril::SampleRangeReader reader = ReadSamples;
  return reader;
}

const tavril::WaveLevels& Levels() {
  static const tavril::WaveLevels levels = [] {
    const tavril::WaveMeasurements m = tavril::MeasureWave(Samples(), kRate);
    return tavril::WaveLevels{*m.minimum, *m.maximum, *m.mean, *m.rms, *m.acRms, true};
  }();
  return levels;
}

std::size_t BlockSamples(const benchmark::State& state) {
  return static_cast<std::size_t>(state.range(0));
}

// Not inlined, so that the compiler keeps the sums in registers: in the
// caller, which hands them to DoNotOptimize, it keeps them in memory.
[[gnu::noinline]] void AddToPlainPass(std::span<const double> block, double& minimum,
                                      double& maximum, double& sum) {
  double low = minimum, high = maximum, total = sum;
  for (const double x : block) {
    low = x < low ? x : low;
    high = x > high ? x : high;
    total += x;
  }
  minimum = low;
  maximum = high;
  sum = total;
}

void BM_PlainPass(benchmark::State& state) {
  Samples();
  for (auto _ : state) {
    std::vector<double> block(BlockSamples(state));
    double minimum = Samples()[0];
    double maximum = minimum;
    double sum = 0;
    for (std::uint64_t first = 0; first < kSampleCount; first += block.size()) {
      const std::span<double> out(block.data(), static_cast<std::size_t>(std::min<std::uint64_t>(
                                                    block.size(), kSampleCount - first)));
      Reader()(first, out);
      AddToPlainPass(out, minimum, maximum, sum);
    }
    benchmark::DoNotOptimize(minimum);
    benchmark::DoNotOptimize(maximum);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kSampleCount);
}

void BM_TimingPass(benchmark::State& state) {
  Levels();
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        tavril::MeasureWaveStreamed(Reader(), kSampleCount, kRate, &Levels(), BlockSamples(state)));
  }
  state.SetItemsProcessed(state.iterations() * kSampleCount);
}

void BM_WholeMeasurement(benchmark::State& state) {
  Samples();
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        tavril::MeasureWaveStreamed(Reader(), kSampleCount, kRate, nullptr, BlockSamples(state)));
  }
  state.SetItemsProcessed(state.iterations() * kSampleCount);
}

// Writing the two blocks of 2^20 samples a measurement reads into, in fresh
// pages (state.range(0) == 1) or in pages already touched.
void BM_FirstTouch(benchmark::State& state) {
  MeasureFirstTouch(state, 2 * tavril::kStreamedBlockSamples * sizeof(double));
}

#define TAVRIL_STREAMED_BENCHMARK(name)                               \
  BENCHMARK(name)                                                     \
      ->ArgName("block")                                              \
      ->Arg(static_cast<std::int64_t>(tavril::kStreamedBlockSamples)) \
      ->Arg(1 << 16)                                                  \
      ->Unit(benchmark::kMillisecond)                                 \
      ->UseRealTime()

TAVRIL_STREAMED_BENCHMARK(BM_PlainPass);
TAVRIL_STREAMED_BENCHMARK(BM_TimingPass);
TAVRIL_STREAMED_BENCHMARK(BM_WholeMeasurement);
BENCHMARK(BM_FirstTouch)
    ->ArgName("fresh")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

class RatioReporter : public TimesReporter {
 public:
  // With repetitions, the median stands for them all.
  double Time(const char* name, const char* block) const {
    const std::string run = std::string(name) + block;
    const double median = Find(run + "/real_time_median");
    return median > 0 ? median : Find(run);
  }

  void PrintRatios() const {
    std::printf("\nMillions of samples a second, and time against the plain pass:\n");
    for (const char* block : {"/block:1048576", "/block:65536"}) {
      const double plain = Time("BM_PlainPass", block);
      for (const char* name : {"BM_PlainPass", "BM_TimingPass", "BM_WholeMeasurement"}) {
        const double time = Time(name, block);
        if (plain > 0 && time > 0) {
          std::printf("  %-20s %-15s %7.0f M/s  %5.2f plain passes\n", name, block + 1,
                      kSampleCount / time / 1e3, time / plain);
        }
      }
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
