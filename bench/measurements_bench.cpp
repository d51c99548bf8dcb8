// Every measurement of 8 channels x 10,000,000 samples (the simulated board's
// sine, square, triangle, sawtooth, DC level, noisy sine, bursts and chirp)
// against one plain pass computing the minimum, maximum and mean of the same
// samples, in the same run; and the spectrum of one record. The spectrum of
// one block of 2^20 points is set against KISS FFT's bare transform of the
// same block, its plan made once, as a calculator keeps its own. The samples
// are made once, before anything is timed.

#include <benchmark/benchmark.h>
#include <kissfft.hh>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <numbers>
#include <span>
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
    std::vector<tavril::BoardReading> readings(kSampleCount);
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
  // Eight blocks of 8192 end to end: a longer record would take more.
  const std::span<const double> sine(Records()[0].data(), 8 * 8192);
  for (auto _ : state)
    benchmark::DoNotOptimize(
        tavril::ComputeSpectrum(sine, kRate, tavril::SpectrumWindow::kFlatTop, 8192, 8));
}

constexpr std::size_t kLongBlock = std::size_t{1} << 20;

const std::vector<double>& LongSine() {
  static const std::vector<double> sine = [] {
    std::vector<double> made(kLongBlock);
    for (std::size_t i = 0; i < kLongBlock; ++i)
      made[i] = 4 * std::sin(2 * std::numbers::pi * 500.0 * static_cast<double>(i) / kRate);
    return made;
  }();
  return sine;
}

void BM_BareTransform1M(benchmark::State& state) {
  const std::vector<double>& sine = LongSine();
  const kissfft<double> transform(kLongBlock / 2, false);
  std::vector<std::complex<double>> bins(kLongBlock / 2);
  for (auto _ : state) {
    transform.transform_real(sine.data(), bins.data());
    benchmark::DoNotOptimize(bins.data());
    benchmark::ClobberMemory();
  }
}

void BM_SpectrumHann1M(benchmark::State& state) {
  const std::vector<double>& sine = LongSine();
  tavril::SpectrumCalculator calculator;
  tavril::Spectrum spectrum;
  for (auto _ : state) {
    calculator.Compute(sine, kRate, tavril::SpectrumWindow::kHann, kLongBlock, 1, spectrum);
    benchmark::DoNotOptimize(spectrum.peak);
  }
}

BENCHMARK(BM_PlainMinMaxMean)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AllMeasurements)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SpectrumFlatTop8x8192)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BareTransform1M)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SpectrumHann1M)->Unit(benchmark::kMillisecond)->UseRealTime();

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      // With repetitions, the median stands for them all.
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
      if (run.run_name.function_name == "BM_PlainMinMaxMean") plain_ = run.GetAdjustedRealTime();
      if (run.run_name.function_name == "BM_AllMeasurements") all_ = run.GetAdjustedRealTime();
      if (run.run_name.function_name == "BM_BareTransform1M") bare_ = run.GetAdjustedRealTime();
      if (run.run_name.function_name == "BM_SpectrumHann1M") spectrum_ = run.GetAdjustedRealTime();
    }
  }
  void PrintRatio() const {
    if (plain_ > 0 && all_ > 0)
      std::printf("\nAll measurements cost %.2f plain passes (at most 3 asked)\n", all_ / plain_);
    if (bare_ > 0 && spectrum_ > 0)
      std::printf("The spectrum of 2^20 points costs %.2f bare transforms (at most 1.5 asked)\n",
                  spectrum_ / bare_);
  }

 private:
  double plain_ = 0;
  double all_ = 0;
  double bare_ = 0;
  double spectrum_ = 0;
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
