// The streamed output pipeline: OutputPlayer computing a wave and writing it
// to the simulated board's outputs block by block, unpaced (the board's clock
// moves only when the writer waits for room, so the pipeline runs as fast as
// it can), in updates per second against the board's full rate of 1,000,000
// a second per output. The baseline, in the same run, computes the same
// values alone (WaveGenerator::Fill), written nowhere. OUTPUT_SECONDS=3600
// plays one hour of output (3.6 G updates per output) through the pipeline;
// an underrun would end it with its status. BM_OutputPlayer_FullRate plays
// at the board's own pace and reports the process's CPU time over the wall
// time, as a share of one core.

#include <benchmark/benchmark.h>
#include <time.h>

#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "acquisition/output_player.h"
#include "acquisition/simulated_board.h"
#include "acquisition/stream_clock.h"

namespace {

constexpr double kFullRate = tavril::SimulatedOutputs::kMaxUpdateRate;

double OutputSeconds() {
  const char* text = std::getenv("OUTPUT_SECONDS");
  return text != nullptr ? std::atof(text) : 20.0;
}

std::vector<tavril::PlayedOutput> Outputs(int count) {
  tavril::WaveSettings sine;
  sine.frequency = 1234.5;
  sine.amplitude = 9.0;
  tavril::WaveSettings noise;
  noise.shape = tavril::WaveShape::kGaussianNoise;
  noise.amplitude = 2.0;
  std::vector<tavril::PlayedOutput> outputs = {{0, sine}};
  if (count == 2) outputs.push_back({1, noise});
  return outputs;
}

void BM_OutputPlayer_Baseline(benchmark::State& state) {
  const auto outputs = Outputs(static_cast<int>(state.range(0)));
  std::vector<double> block(tavril::OutputPlayer::kBlockUpdates);
  const auto updates = static_cast<std::uint64_t>(OutputSeconds() * kFullRate);
  for (auto _ : state) {
    for (const tavril::PlayedOutput& output : outputs) {
      tavril::WaveGenerator generator(output.wave, kFullRate);
      for (std::uint64_t done = 0; done < updates; done += block.size()) {
        generator.Fill(block);
        benchmark::DoNotOptimize(block.data());
      }
    }
  }
  state.counters["updates_per_s"] = benchmark::Counter(
      static_cast<double>(updates), benchmark::Counter::kIsIterationInvariantRate);
  state.counters["x_full_rate"] = benchmark::Counter(static_cast<double>(updates) / kFullRate,
                                                     benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_OutputPlayer_Baseline)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void BM_OutputPlayer_Unpaced(benchmark::State& state) {
  const auto outputs = Outputs(static_cast<int>(state.range(0)));
  const auto updates = static_cast<std::uint64_t>(OutputSeconds() * kFullRate);
  for (auto _ : state) {
    tavril::InstantStreamClock clock;
    tavril::SimulatedBoard board(clock);
    tavril::OutputPlayer player(board);
    if (player.Start(outputs, kFullRate, false) != tavril::kDaqNoError) {
      state.SkipWithError("start refused");
      return;
    }
    while (player.Written() < updates && player.Failure() == tavril::kDaqNoError) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (player.Stop() != tavril::kDaqNoError) {
      state.SkipWithError("the output underran or failed");
      return;
    }
  }
  state.counters["updates_per_s"] = benchmark::Counter(
      static_cast<double>(updates), benchmark::Counter::kIsIterationInvariantRate);
  state.counters["x_full_rate"] = benchmark::Counter(static_cast<double>(updates) / kFullRate,
                                                     benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_OutputPlayer_Unpaced)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

double ProcessCpuSeconds() {
  timespec now{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

void BM_OutputPlayer_FullRate(benchmark::State& state) {
  const auto outputs = Outputs(static_cast<int>(state.range(0)));
  double cpu = 0;
  double wall = 0;
  for (auto _ : state) {
    tavril::SimulatedBoard board;
    tavril::OutputPlayer player(board);
    const double cpuBefore = ProcessCpuSeconds();
    const auto wallBefore = std::chrono::steady_clock::now();
    if (player.Start(outputs, kFullRate, false) != tavril::kDaqNoError) {
      state.SkipWithError("start refused");
      return;
    }
    std::this_thread::sleep_for(std::chrono::seconds(5));
    if (player.Stop() != tavril::kDaqNoError) {
      state.SkipWithError("the output underran or failed");
      return;
    }
    cpu += ProcessCpuSeconds() - cpuBefore;
    wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
  }
  state.counters["core_percent"] = 100.0 * cpu / wall;
}
BENCHMARK(BM_OutputPlayer_FullRate)
    ->Arg(1)
    ->Arg(2)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
