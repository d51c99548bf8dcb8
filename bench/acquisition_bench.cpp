// Acquisition of 8 channels x 1,000,000 points from the simulated board,
// end to end (readings, demultiplexing and conversion to volts into the
// records, statistics), in samples per second. The baseline computes the same
// readings the obvious way, one call of the exact signal formula (std::sin
// and friends) per reading, and does nothing else. BM_FirstTouch shows, in
// the same run, what the memory of one acquisition costs when its pages are
// fresh (as on a first acquisition) against writing it again once touched.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "acquisition/acquisition_engine.h"
#include "acquisition/boards.h"
#include "acquisition/simulated_board.h"
#include "acquisition/stream_clock.h"
#include "first_touch.h"

namespace {

constexpr int kChannels = 8;
constexpr std::uint32_t kPointsPerChannel = 1'000'000;
constexpr double kConversionRate = 1'000'000.0;

class SilentUser : public tavril::UserInteraction {
 public:
  tavril::MessageAnswer ShowMessage(const tavril::MessageBoxRequest&) override {
    ++boxes;
    return tavril::MessageAnswer::kNo;
  }
  int boxes = 0;
};

void BM_Acquire_Baseline(benchmark::State& state) {
  std::vector<tavril::BoardReading> readings(static_cast<std::size_t>(kChannels) *
                                             kPointsPerChannel);
  for (auto _ : state) {
    std::size_t k = 0;
    for (std::uint32_t scan = 0; scan < kPointsPerChannel; ++scan) {
      for (int position = 0; position < kChannels; ++position) {
        const double seconds = (static_cast<double>(scan) * kChannels + position) / kConversionRate;
        const double volts = tavril::SimulatedBoard::SignalVolts(kChannels - 1 - position, seconds);
        const double clamped = std::fmin(std::fmax(volts * 2048.0 / 5.0, -2048.0), 2047.0);
        readings[k++] = static_cast<tavril::BoardReading>(std::lround(clamped));
      }
    }
    benchmark::DoNotOptimize(readings.data());
  }
  state.SetItemsProcessed(state.iterations() * kChannels * kPointsPerChannel);
}

// state.range(0) == 1: every acquisition starts from records and buffers that
// hold no memory, as the first acquisition of a run does (the machine maps
// every page anew); 0: the records are acquired again, as when the user
// repeats.
void BM_Acquire_Tavril(benchmark::State& state) {
  const bool cold = state.range(0) == 1;
  tavril::ChannelTable table{};
  const tavril::BoardConfig config = tavril::DefaultBoardConfig();
  tavril::Boards boards;
  tavril::AttachSimulatedBoard(boards);
  tavril::SpareSamples buffers;
  SilentUser user;
  tavril::ChannelSelection selected{};
  for (int i = 0; i < kChannels; ++i) {
    tavril::ChannelRecord& record = table[i];
    record.device = tavril::kSimulatedBoardDevice;
    record.chan = static_cast<std::int16_t>(i);
    record.gain = 1;
    record.SetCount(kPointsPerChannel);
    selected[i] = true;
  }
  for (auto _ : state) {
    if (cold) {
      state.PauseTiming();
      tavril::ReleaseAllSamples(table);
      buffers.Release();
      state.ResumeTiming();
    }
    for (int i = 0; i < kChannels; ++i) table[i].rate = kConversionRate;
    if (!tavril::AcquireChannels({boards, user, config, buffers}, table, selected, 0.0)) {
      state.SkipWithError("the acquisition failed");
      break;
    }
    benchmark::DoNotOptimize(table[7].samples().data());
  }
  state.SetItemsProcessed(state.iterations() * kChannels * kPointsPerChannel);
}

// A stream of the same 8 channels from the simulated board, unpaced (its
// clock is always exactly where the reader waits, so it never sleeps and
// never overflows), read 64 Ki readings at a time into one buffer, in
// readings per second: what a continuous acquisition can take at most.
void BM_Stream_Unpaced(benchmark::State& state) {
  tavril::InstantStreamClock clock;
  tavril::SimulatedBoard board(clock);
  tavril::AcquisitionRequest request;
  for (int chan = kChannels - 1; chan >= 0; --chan) request.channels.push_back(chan);
  request.sampleRate = kConversionRate;
  if (board.Start(request) != tavril::kDaqNoError) {
    state.SkipWithError("the stream did not start");
    return;
  }
  std::vector<tavril::BoardReading> readings(std::size_t{1} << 16);
  for (auto _ : state) {
    const tavril::ReadResult read = board.Read(readings);
    if (read.status != tavril::kDaqNoError || read.count != readings.size()) {
      state.SkipWithError("the stream failed");
      break;
    }
    benchmark::DoNotOptimize(readings.data());
  }
  board.Stop();
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(readings.size()));
}

// Writing the memory of one acquisition (the readings and the records'
// samples): state.range(0) == 1 in fresh pages each time, 0 in pages already
// touched.
void BM_FirstTouch(benchmark::State& state) {
  MeasureFirstTouch(state, std::size_t{kChannels} * kPointsPerChannel *
                               (sizeof(double) + sizeof(tavril::BoardReading)));
}

BENCHMARK(BM_Acquire_Baseline)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_Acquire_Tavril)
    ->ArgName("cold")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);
BENCHMARK(BM_Stream_Unpaced)->Unit(benchmark::kMicrosecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_FirstTouch)
    ->ArgName("fresh")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
