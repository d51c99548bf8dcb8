// The overview of 10^8 samples, built in the runs a recording receives,
// against one plain pass computing the minimum, the maximum, the sum and the
// sum of squares of the same samples, in the same run. The
// samples are one block of 2^20 made once and handed over again and again,
// as a recording's runs come out of one ring.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <span>
#include <vector>

#include "model/recording_overview.h"

namespace {

constexpr std::size_t kSampleCount = 100'000'000;
constexpr std::size_t kRun = 1 << 16;  // samples handed over at once

const std::vector<double>& Block() {
  static const std::vector<double> block = [] {
    std::vector<double> made;
    std::uint32_t state = 1;
    for (std::size_t i = 0; i < (1 << 20); ++i) {
      state = state * 1664525u + 1013904223u;
      const std::int32_t code = static_cast<std::int32_t>(state >> 20) - 2048;
      made.push_back(code * 5.0 / 2048.0);
    }
    return made;
  }();
  return block;
}

// Calls use(volts) on runs of kRun samples, kSampleCount in all.
template <class Use>
void ForEachRun(Use use) {
  const std::span<const double> volts(Block());
  for (std::size_t done = 0; done < kSampleCount; done += kRun) {
    use(volts.subspan(done % volts.size(), kRun));
  }
}

void BM_PlainMinMaxSums(benchmark::State& state) {
  for (auto _ : state) {
    double minimum = Block()[0];
    double maximum = minimum;
    double sum = 0;
    double sumOfSquares = 0;
    ForEachRun([&](std::span<const double> volts) {
      for (const double volt : volts) {
        minimum = volt < minimum ? volt : minimum;
        maximum = volt > maximum ? volt : maximum;
        sum += volt;
        sumOfSquares += volt * volt;
      }
    });
    benchmark::DoNotOptimize(minimum);
    benchmark::DoNotOptimize(maximum);
    benchmark::DoNotOptimize(sum);
    benchmark::DoNotOptimize(sumOfSquares);
  }
  state.SetItemsProcessed(state.iterations() * kSampleCount);
}

// As a recording's writer does: every run appended, its completed nodes taken.
void BM_BuildOverview(benchmark::State& state) {
  std::vector<tavril::OverviewNode> taken;
  for (auto _ : state) {
    tavril::OverviewBuilder builder;
    ForEachRun([&](std::span<const double> volts) {
      builder.Append(volts);
      for (std::size_t level = 0; level < builder.LevelCount(); ++level) {
        builder.TakeCompleted(level, taken);
        benchmark::DoNotOptimize(taken.data());
      }
    });
    benchmark::DoNotOptimize(builder.SampleCount());
  }
  state.SetItemsProcessed(state.iterations() * kSampleCount);
}

BENCHMARK(BM_PlainMinMaxSums)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BuildOverview)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
