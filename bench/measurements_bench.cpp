// Every measurement of 8 channels x 10,000,000 samples (the simulated board's
// sine, square, triangle, sawtooth, DC level, noisy sine, bursts and chirp)
// against one plain pass computing the minimum, maximum and mean of the same
// samples, in the same run; and the spectrum of one record. The samples are
// made once, before anything is timed.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "acquisition/simulated_board.h"
#include "processing/spectrum.h"
#include "processing/wave_measurements.h"

namespace {

constexpr std::size_t kSampleCount = 10'000'000;
constexpr double kRate = 100000.0;

const std::vector<std::vector<double>>& Records() {
  static const std::vector<std::vector<double>> records = [] {
    std::vector<std::vector<double>> made;
    std::vector<std::int16_t> readings(kSampleCount);
    for (int chan = 0; chan < 8; ++chan) {
      tavril::SimulatedBoard board;
      board.Start({{chan}, 1, kRate, 0.0, readings.size()});
      board.Read(readings);
      board.Stop();
      std::vector<double>& volts = made.emplace_back(kSampleCount);
      for (std::size_t i = 0; i < kSampleCount; ++i) volts[i] = readings[i] * 5.0 / 2048.0;
    }
    return made;
  }();
  return records;
}

void BM_PlainMinMaxMean(benchmark::State& state) {
  const auto& records = Records();
  for (auto _ : state) {
    for (const std::vector<double>& samples : records) {
      double minimum = samples[0];
      double maximum = samples[0];
      double sum = 0;
      for (const double x : samples) {
        minimum = std::min(minimum, x);
        maximum = std::max(maximum, x);
        sum += x;
      }
      benchmark::DoNotOptimize(minimum);
      benchmark::DoNotOptimize(maximum);
      benchmark::DoNotOptimize(sum / static_cast<double>(samples.size()));
    }
  }
}

void BM_AllMeasurements(benchmark::State& state) {
  const auto& records = Records();
  for (auto _ : state) {
    for (const std::vector<double>& samples : records)
      benchmark::DoNotOptimize(tavril::MeasureWave(samples, kRate));
  }
}

void BM_SpectrumFlatTop8x8192(benchmark::State& state) {
  const auto& sine = Records()[0];
  for (auto _ : state)
    benchmark::DoNotOptimize(
        tavril::ComputeSpectrum(sine, kRate, tavril::SpectrumWindow::kFlatTop, 8192, 8));
}

BENCHMARK(BM_PlainMinMaxMean)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AllMeasurements)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SpectrumFlatTop8x8192)->Unit(benchmark::kMillisecond)->UseRealTime();

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_name.function_name == "BM_PlainMinMaxMean") plain_ = run.GetAdjustedRealTime();
      if (run.run_name.function_name == "BM_AllMeasurements") all_ = run.GetAdjustedRealTime();
    }
  }
  void PrintRatio() const {
    if (plain_ > 0 && all_ > 0)
      std::printf("\nAll measurements cost %.2f plain passes (at most 3 asked)\n", all_ / plain_);
  }

 private:
  double plain_ = 0;
  double all_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatio();
  benchmark::Shutdown();
  return 0;
}
