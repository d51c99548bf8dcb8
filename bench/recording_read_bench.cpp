// Reading a range of 10,000,000 samples of a recording: its codes and its
// volts through RecordingReader, against h5py reading the same codes
// (d[first:end], int16 as the file stores them) in the same run, and the level statistics of the
// whole channel from its overview against a pass over all its samples. The recording (one channel
// of 30,000,000 12-bit codes, 60 MB) is written once and read from the page cache: what first
// touches cost is left out by reading into buffers allocated and touched before the timed loop.
// Printed at the end: each reading's time over h5py's.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "bench_times.h"
#include "files/hdf5_recording.h"
#include "files/recording_reader.h"

namespace {

constexpr std::uint64_t kSamples = 30'000'000;
constexpr std::uint64_t kFirst = 12'345'678;
constexpr std::uint64_t kRange = 10'000'000;
constexpr int kPythonReads = 20;

const std::filesystem::path& Recording() {
  static const std::filesystem::path path = [] {
    const std::filesystem::path made = BenchFolder() / "recording.h5";
    const tavril::RecordingChannel channels[] = {{0, "", 1, 0, 1, 1e6, {}}};
    tavril::ReadingConversion conversion;
    conversion.scale.fullScaleReading = 2048;
    conversion.scale.fullScaleVolts = 10;
    conversion.scale.lowestReading = -2048;
    conversion.scale.highestReading = 2047;
    auto recording = tavril::Hdf5Recording::Create(made, channels, nullptr);
    if (!recording || !recording->Started(1e6, conversion, nullptr)) std::abort();
    std::vector<tavril::BoardReading> readings(1 << 16);
    std::vector<double> volts(readings.size());
    const std::span<const double> columns[] = {volts};
    for (std::uint64_t at = 0; at < kSamples; at += readings.size()) {
      for (std::size_t i = 0; i < readings.size(); ++i)
        readings[i] = static_cast<tavril::BoardReading>(((at + i) * 37) % 4096) - 2048;
      if (!recording->Append({columns, readings, &conversion}, nullptr)) std::abort();
    }
    if (!recording->Close(nullptr)) std::abort();
    return made;
  }();
  return path;
}

std::unique_ptr<tavril::RecordingReader> Open() {
  auto reader = tavril::RecordingReader::Open(Recording(), nullptr);
  if (!reader) std::abort();
  return reader;
}

void BM_ReadCodes(benchmark::State& state) {
  const auto reader = Open();
  std::vector<std::int32_t> codes(kRange, 1);
  for (auto _ : state) {
    if (!reader->ReadCodes(0, kFirst, codes, nullptr)) state.SkipWithError("lecture");
    benchmark::DoNotOptimize(codes.data());
  }
  state.SetItemsProcessed(state.iterations() * kRange);
}

void BM_ReadCodes16(benchmark::State& state) {
  const auto reader = Open();
  std::vector<std::int16_t> codes(kRange, 1);
  for (auto _ : state) {
    if (!reader->ReadCodes(0, kFirst, codes, nullptr)) state.SkipWithError("lecture");
    benchmark::DoNotOptimize(codes.data());
  }
  state.SetItemsProcessed(state.iterations() * kRange);
}

void BM_ReadVolts(benchmark::State& state) {
  const auto reader = Open();
  std::vector<double> volts(kRange, 1.0);
  for (auto _ : state) {
    if (!reader->ReadVolts(0, kFirst, volts, nullptr)) state.SkipWithError("lecture");
    benchmark::DoNotOptimize(volts.data());
  }
  state.SetItemsProcessed(state.iterations() * kRange);
}

// h5py's own timings of kPythonReads reads of the same range, after one
// read that warms it as the loops above warm theirs: d[first:end], which
// makes a new array each time (its first touch included), and
// read_direct into one array made once, as the loops above read.
const std::vector<std::pair<double, double>>& H5pyTimes() {
  static const std::vector<std::pair<double, double>> times = [] {
    const std::string range = std::to_string(kFirst) + ":" + std::to_string(kFirst + kRange);
    const std::string command =
        "/usr/bin/python3 -c \"import h5py, numpy, time\n"
        "d = h5py.File('" +
        Recording().string() +
        "', 'r')['channels/channel_0']\n"
        "a = d[" +
        range +
        "]\n"
        "d.read_direct(a, numpy.s_[" +
        range +
        "])\n"
        "for _ in range(" +
        std::to_string(kPythonReads) +
        "):\n"
        "    t = time.perf_counter(); x = d[" +
        range +
        "]; u = time.perf_counter()\n"
        "    d.read_direct(a, numpy.s_[" +
        range +
        "]); print(u - t, time.perf_counter() - u)\n"
        "\" 2>/dev/null";
    std::vector<std::pair<double, double>> read;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
      double slice = 0, direct = 0;
      while (std::fscanf(pipe, "%lf %lf", &slice, &direct) == 2) read.emplace_back(slice, direct);
      ::pclose(pipe);
    }
    return read;
  }();
  return times;
}

void RunH5py(benchmark::State& state, double std::pair<double, double>::*which) {
  const auto& times = H5pyTimes();
  if (times.size() != kPythonReads) {
    state.SkipWithError("h5py manque");
    for (auto _ : state) {
    }
    return;
  }
  std::size_t next = 0;
  for (auto _ : state) state.SetIterationTime(times[next++ % times.size()].*which);
  state.SetItemsProcessed(state.iterations() * kRange);
}

void BM_H5pySlice(benchmark::State& state) {
  RunH5py(state, &std::pair<double, double>::first);
}
void BM_H5pyReadDirect(benchmark::State& state) {
  RunH5py(state, &std::pair<double, double>::second);
}

// The level statistics of the whole channel: from its overview, and from a
// pass over every sample (a file without one).
void BM_LevelsFromOverview(benchmark::State& state) {
  const auto reader = Open();
  for (auto _ : state) {
    tavril::OverviewStatistics statistics;
    if (!tavril::OverviewRange(reader->Source(0), 0, kSamples, statistics))
      state.SkipWithError("lecture");
    benchmark::DoNotOptimize(statistics.sum);
  }
}

void BM_LevelsFromSamples(benchmark::State& state) {
  const auto reader = Open();
  std::vector<double> volts(1 << 20, 1.0);
  for (auto _ : state) {
    double sum = 0;
    for (std::uint64_t at = 0; at < kSamples; at += volts.size()) {
      const std::span<double> piece(volts.data(),
                                    std::min<std::uint64_t>(volts.size(), kSamples - at));
      if (!reader->ReadVolts(0, at, piece, nullptr)) state.SkipWithError("lecture");
      for (const double v : piece) sum += v;
    }
    benchmark::DoNotOptimize(sum);
  }
}

BENCHMARK(BM_H5pySlice)->Iterations(kPythonReads)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_H5pyReadDirect)
    ->Iterations(kPythonReads)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadCodes16)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadCodes)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadVolts)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LevelsFromOverview)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LevelsFromSamples)->UseRealTime()->Unit(benchmark::kMicrosecond);

class Ratios : public TimesReporter {
 public:
  void PrintRatios() {
    std::printf("\nTime over h5py's reading the same 10,000,000 codes (slice, read_direct):\n");
    const double slice = Find("BM_H5pySlice"), direct = Find("BM_H5pyReadDirect");
    for (const char* name : {"BM_ReadCodes16", "BM_ReadCodes/", "BM_ReadVolts"}) {
      if (slice > 0 && direct > 0 && Find(name) > 0)
        std::printf("  %-14s %.2fx %.2fx\n", name, Find(name) / slice, Find(name) / direct);
    }
    const double overview = Find("BM_LevelsFromOverview");
    if (overview > 0 && Find("BM_LevelsFromSamples") > 0)
      std::printf("Level statistics of 30,000,000 samples: the overview takes 1/%.0f of a pass\n",
                  Find("BM_LevelsFromSamples") / overview);
  }
};

}  // namespace

int main(int argc, char** argv) {
  return RunBenchmarksWithRatios<Ratios>(argc, argv);
}
