// Exports of every channel: an Excel workbook of 1,000,000 rows x 8 channels,
// and a MATLAB file of 8 x 10,000,000 samples against the data files
// (*.tvr) of the same samples, saved in the same run. The ratio printed at
// the end is the data files' time / the MATLAB file's time.

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "files/channel_file.h"
#include "files/channel_set.h"
#include "files/mat_file.h"
#include "files/xlsx_file.h"
#include "model/channel_record.h"

namespace {

class AlwaysReplace : public tavril::UserInteraction {
 public:
  tavril::MessageAnswer ShowMessage(const tavril::MessageBoxRequest&) override {
    return tavril::MessageAnswer::kYes;
  }
};

const std::filesystem::path& BenchFolder() {
  static const std::filesystem::path folder = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "tavril-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    return std::filesystem::path(pattern);
  }();
  return folder;
}

// Eight noisy sines of `count` samples at 100 kHz, like an acquisition.
tavril::ChannelTable MakeTable(std::size_t count) {
  tavril::ChannelTable table;
  std::mt19937_64 random(1);
  std::normal_distribution<double> noise(0.0, 0.01);
  for (int k = 0; k < tavril::kChannelCount; ++k) {
    tavril::ChannelRecord& r = table[k];
    r.title = "Voie " + std::to_string(k);
    r.device = 1;
    r.chan = static_cast<std::int16_t>(k);
    r.gain = 1;
    r.rate = 100000.0;
    r.count = static_cast<std::uint32_t>(count);
    r.samples.resize(count);
    for (std::size_t i = 0; i < count; ++i)
      r.samples[i] = 2.5 * std::sin(static_cast<double>(i) * 0.001 * (k + 1)) + noise(random);
    tavril::UpdateChannelStatistics(r);
  }
  return table;
}

const tavril::ChannelTable& Table(std::size_t count) {
  static std::map<std::size_t, tavril::ChannelTable> tables;
  auto found = tables.find(count);
  if (found == tables.end()) found = tables.emplace(count, MakeTable(count)).first;
  return found->second;
}

double PeakMegabytes() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// Runs first, so that the peak resident memory it reports is its own and
// the 64 MB of its records, not the larger records of the other measures.
void BM_Xlsx_1Mx8(benchmark::State& state) {
  const auto views = tavril::RecordsToExport(Table(1'000'000));
  const double before = PeakMegabytes();
  for (auto _ : state) {
    std::string why;
    if (!tavril::WriteXlsxFile(views, BenchFolder() / "bench.xlsx", &why))
      state.SkipWithError(why.c_str());
  }
  state.counters["peak_MB"] = PeakMegabytes();
  state.counters["records_MB"] = before;
  state.counters["file_MB"] =
      static_cast<double>(std::filesystem::file_size(BenchFolder() / "bench.xlsx")) / 1e6;
}

void BM_Mat_8x10M(benchmark::State& state) {
  const auto views = tavril::RecordsToExport(Table(10'000'000));
  for (auto _ : state) {
    std::string why;
    if (!tavril::WriteMatFile(views, BenchFolder() / "bench.mat", &why))
      state.SkipWithError(why.c_str());
  }
}

// The floor: the bytes of the MATLAB file's vectors (times and samples of
// each channel), written with stdio and synced, as a disk takes them.
void BM_RawVectors_8x10M(benchmark::State& state) {
  const tavril::ChannelTable& table = Table(10'000'000);
  const auto path = BenchFolder() / "raw.bin";
  for (auto _ : state) {
    FILE* file = std::fopen(path.c_str(), "wb");
    for (const tavril::ChannelRecord& r : table) {
      for (int twice = 0; twice < 2; ++twice)
        std::fwrite(r.samples.data(), sizeof(double), r.samples.size(), file);
    }
    std::fflush(file);
    ::fsync(fileno(file));
    std::fclose(file);
  }
}

// The same samples as eight data files, one per channel.
void BM_Tvr_8x10M(benchmark::State& state) {
  const tavril::ChannelTable& table = Table(10'000'000);
  AlwaysReplace user;
  for (auto _ : state) {
    for (int k = 0; k < tavril::kChannelCount; ++k) {
      const auto path = BenchFolder() / ("bench" + std::to_string(k) + ".tvr");
      if (tavril::SaveChannelFile(user, path, table[k]) != tavril::SaveOutcome::kWritten)
        state.SkipWithError("save failed");
    }
  }
}

BENCHMARK(BM_Xlsx_1Mx8)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_Mat_8x10M)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_RawVectors_8x10M)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_Tvr_8x10M)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) times_[run.benchmark_name()] = run.GetAdjustedRealTime();
  }
  void PrintRatio() const {
    const auto mat = times_.find("BM_Mat_8x10M/iterations:3/real_time");
    const auto tvr = times_.find("BM_Tvr_8x10M/iterations:3/real_time");
    if (mat == times_.end() || tvr == times_.end() || mat->second <= 0) return;
    std::printf("\nMATLAB file against data files of the same samples: %.2fx faster\n",
                tvr->second / mat->second);
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatio();
  std::filesystem::remove_all(BenchFolder());
  benchmark::Shutdown();
  return 0;
}
