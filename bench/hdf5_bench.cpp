// Writing 8 channels of 10 million samples: into one HDF5 file, against saving
// each as a .tvr data file, measured in the same run. The ratio printed at the
// end is .tvr time / HDF5 time.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "files/channel_file.h"
#include "files/channel_set.h"
#include "files/hdf5_file.h"
#include "model/channel_record.h"

namespace {

constexpr std::size_t kSampleCount = 10'000'000;

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

// Eight channels of damped sines in volts, like an acquisition.
const tavril::ChannelTable& BenchTable() {
  static const tavril::ChannelTable table = [] {
    tavril::ChannelTable t;
    for (int k = 0; k < tavril::kChannelCount; ++k) {
      tavril::ChannelRecord& r = t[k];
      r.title = "Voie " + std::to_string(k);
      r.chan = static_cast<std::int16_t>(k);
      r.rate = 100000.0;
      r.count = kSampleCount;
      r.samples.resize(kSampleCount);
      for (std::size_t i = 0; i < kSampleCount; ++i) {
        r.samples[i] = 2.5 * std::sin(static_cast<double>(i) * 0.001 * (k + 1)) *
                       std::exp(-1e-7 * static_cast<double>(i));
      }
      tavril::UpdateChannelStatistics(r);
    }
    return t;
  }();
  return table;
}

void BM_Save_Tvr(benchmark::State& state) {
  AlwaysReplace user;
  BenchTable();
  for (auto _ : state) {
    for (int k = 0; k < tavril::kChannelCount; ++k) {
      const auto path = BenchFolder() / ("voie" + std::to_string(k) + ".tvr");
      if (tavril::SaveChannelFile(user, path, BenchTable()[k]) != tavril::SaveOutcome::kWritten) {
        state.SkipWithError("save failed");
      }
    }
  }
}

void BM_Write_Hdf5(benchmark::State& state) {
  const std::vector<tavril::SlotView> views = tavril::RecordsToExport(BenchTable());
  for (auto _ : state) {
    std::string why;
    if (!tavril::WriteHdf5File(views, BenchFolder() / "voies.h5", &why)) {
      state.SkipWithError(why.c_str());
    }
  }
}

// The floor: the same bytes with one write(2) per channel and an fsync.
void BM_Write_Raw(benchmark::State& state) {
  BenchTable();
  const auto path = BenchFolder() / "raw.bin";
  for (auto _ : state) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    for (const tavril::ChannelRecord& r : BenchTable()) {
      if (::write(fileno(f), r.samples.data(), r.samples.size() * sizeof(double)) < 0) {
        state.SkipWithError("write failed");
      }
    }
    ::fsync(fileno(f));
    std::fclose(f);
  }
}

BENCHMARK(BM_Write_Raw)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_Save_Tvr)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_Write_Hdf5)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) times_[run.benchmark_name()] = run.GetAdjustedRealTime();
  }
  void PrintRatio() const {
    const auto tvr = times_.find("BM_Save_Tvr/iterations:2/real_time");
    const auto hdf5 = times_.find("BM_Write_Hdf5/iterations:5/real_time");
    if (tvr != times_.end() && hdf5 != times_.end() && hdf5->second > 0) {
      std::printf("\n8 x 10M samples, .tvr time / HDF5 time: %.1fx\n", tvr->second / hdf5->second);
    }
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
