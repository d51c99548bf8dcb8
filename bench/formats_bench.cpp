// Files of every channel, 8 channels x 10,000,000 samples, against the data
// files (*.tvr) of the same samples in the same run: saving the eight data
// files against exporting one HDF5, MATLAB or CSV file, and opening the eight
// data files against opening one session. Opens are measured again (into
// records and spare memory already touched, as a second open in the program)
// and first (into fresh pages); BM_FirstTouch shows what fresh pages cost
// here. BM_Raw_Write is the disk's floor: the samples' bytes written and
// synced with nothing else. The Excel export is measured on 1,000,000 rows x
// 8 channels, with its peak resident memory. The ratios are printed at the
// end. About 5 GB of temporary files; several minutes.

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

#include "bench_times.h"
#include "files/channel_file.h"
#include "files/channel_set.h"
#include "files/csv_file.h"
#include "files/file_writer.h"
#include "files/hdf5_file.h"
#include "files/mat_file.h"
#include "files/xlsx_file.h"
#include "first_touch.h"
#include "model/channel_record.h"
#include "session/session_file.h"

namespace {

using tavril::ChannelTable;
using tavril::SlotView;

constexpr std::size_t kSampleCount = 10'000'000;
constexpr std::size_t kXlsxRows = 1'000'000;

std::filesystem::path TvrPath(int channel) {
  return BenchFolder() / ("voie" + std::to_string(channel) + ".tvr");
}

// Eight noisy sines of `count` samples at 100 kHz, like an acquisition.
ChannelTable MakeTable(std::size_t count) {
  ChannelTable table;
  std::mt19937_64 random(1);
  std::normal_distribution<double> noise(0.0, 0.01);
  for (int k = 0; k < tavril::kChannelCount; ++k) {
    tavril::ChannelRecord& r = table[k];
    r.title = "Voie " + std::to_string(k);
    r.device = 1;
    r.chan = static_cast<std::int16_t>(k);
    r.gain = 1;
    r.rate = 100000.0;
    std::vector<double> samples(count);
    for (std::size_t i = 0; i < count; ++i)
      samples[i] = 2.5 * std::sin(static_cast<double>(i) * 0.001 * (k + 1)) + noise(random);
    r.TakeSamples(samples);
  }
  return table;
}

const ChannelTable& Table(std::size_t count) {
  static std::map<std::size_t, ChannelTable> tables;
  auto found = tables.find(count);
  if (found == tables.end()) found = tables.emplace(count, MakeTable(count)).first;
  return found->second;
}

std::vector<SlotView> Views() {
  return tavril::RecordsToExport(Table(kSampleCount));
}

double PeakMegabytes() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// Runs first, so that the peak resident memory it reports is its own and its
// 64 MB of records', not the larger records of the other measures.
void BM_Export_Xlsx_1Mx8(benchmark::State& state) {
  const auto views = tavril::RecordsToExport(Table(kXlsxRows));
  const double before = PeakMegabytes();
  for (auto _ : state) {
    std::string why;
    if (!tavril::WriteXlsxFile(views, BenchFolder() / "voies.xlsx", &why))
      state.SkipWithError(why.c_str());
  }
  state.counters["peak_MB"] = PeakMegabytes();
  state.counters["records_MB"] = before;
  state.counters["file_MB"] =
      static_cast<double>(std::filesystem::file_size(BenchFolder() / "voies.xlsx")) / 1e6;
}

void BM_Save_Tvr(benchmark::State& state) {
  AlwaysReplace user;
  const ChannelTable& table = Table(kSampleCount);
  for (auto _ : state) {
    for (int k = 0; k < tavril::kChannelCount; ++k) {
      if (tavril::SaveChannelFile(user, TvrPath(k), table[k]) != tavril::SaveOutcome::kWritten)
        state.SkipWithError("save failed");
    }
  }
}

template <bool (*Write)(std::span<const SlotView>, const std::filesystem::path&, std::string*)>
void ExportAll(benchmark::State& state, const char* name) {
  const std::vector<SlotView> views = Views();
  for (auto _ : state) {
    std::string why;
    if (!Write(views, BenchFolder() / name, &why)) state.SkipWithError(why.c_str());
  }
}

void BM_Export_Hdf5(benchmark::State& state) {
  ExportAll<&tavril::WriteHdf5File>(state, "voies.h5");
}
void BM_Export_Mat(benchmark::State& state) {
  ExportAll<&tavril::WriteMatFile>(state, "voies.mat");
}
void BM_Export_Csv(benchmark::State& state) {
  ExportAll<&tavril::WriteCsvFile>(state, "voies.csv");
}

// The disk's floor: the samples' bytes alone, whole or nothing like every
// export (which releases its written pages as it goes).
void BM_Raw_Write(benchmark::State& state) {
  const ChannelTable& table = Table(kSampleCount);
  for (auto _ : state) {
    tavril::AtomicFileWriter writer;
    if (!writer.Open(BenchFolder() / "raw.bin")) state.SkipWithError("open failed");
    for (const tavril::ChannelRecord& r : table) {
      writer.Append(std::string_view(reinterpret_cast<const char*>(r.samples().data()),
                                     r.sampleCount() * sizeof(double)));
    }
    if (!writer.Commit()) state.SkipWithError("write failed");
  }
}

// Times `open` into `session` as a second open does, into records and spare
// memory that already hold samples (range 0), or as a first one into records
// that hold none (range 1).
template <typename Open>
void MeasureOpens(benchmark::State& state, tavril::Session& session, Open open) {
  const bool first = state.range(0) == 1;
  // Twice, so that both the records and the spare memory hold samples.
  if (!first) {
    open();
    open();
  }
  for (auto _ : state) {
    if (first) {
      state.PauseTiming();
      session = tavril::Session();
      state.ResumeTiming();
    }
    open();
  }
}

// Opens the eight data files as Ouvrir does.
void BM_Open_Tvr(benchmark::State& state) {
  tavril::Session session;
  MeasureOpens(state, session, [&] {
    for (int k = 0; k < tavril::kChannelCount; ++k) {
      if (tavril::LoadChannelFile(TvrPath(k), session.channels[k], session.spare.samples[k]) != 1)
        state.SkipWithError("open failed");
    }
  });
}

// Opens one session of the same eight records, as Ouvrir une session does.
void BM_Open_Session(benchmark::State& state) {
  const auto path = BenchFolder() / "seance.h5";
  {
    tavril::Session saved;
    saved.channels = Table(kSampleCount);
    std::string why;
    if (!tavril::WriteSessionFile(saved, tavril::ViewState(), path, &why)) {
      state.SkipWithError(why.c_str());
      return;
    }
  }
  tavril::Session session;
  tavril::ViewState view;
  MeasureOpens(state, session, [&] {
    tavril::SessionContents contents;
    std::string why;
    if (!tavril::ReadSessionFile(path, contents, &why, &session)) state.SkipWithError(why.c_str());
    tavril::InstallSession(contents, session, view);
  });
}

void BM_FirstTouch(benchmark::State& state) {
  MeasureFirstTouch(state, kSampleCount * sizeof(double));
}

BENCHMARK(BM_Export_Xlsx_1Mx8)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_Save_Tvr)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_Export_Hdf5)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_Export_Mat)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_Export_Csv)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_Raw_Write)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_Open_Tvr)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_Open_Session)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);
BENCHMARK(BM_FirstTouch)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs)
      times_[run.run_name.function_name + Arg(run)] = run.GetAdjustedRealTime();
  }
  void PrintRatios() const {
    std::printf("\n8 x 10M samples, against the same samples as eight data files:\n");
    Ratio("HDF5 export", "BM_Save_Tvr", "BM_Export_Hdf5");
    Ratio("MATLAB export", "BM_Save_Tvr", "BM_Export_Mat");
    Ratio("CSV export", "BM_Save_Tvr", "BM_Export_Csv");
    Ratio("raw write (the disk's floor)", "BM_Save_Tvr", "BM_Raw_Write");
    Ratio("session open again", "BM_Open_Tvr/0", "BM_Open_Session/0");
    Ratio("session open first", "BM_Open_Tvr/1", "BM_Open_Session/1");
  }

 private:
  static std::string Arg(const Run& run) {
    const std::string& args = run.run_name.args;
    return args.empty() ? std::string() : "/" + args;
  }
  void Ratio(const char* what, const std::string& baseline, const std::string& measured) const {
    const auto base = times_.find(baseline);
    const auto time = times_.find(measured);
    if (base == times_.end() || time == times_.end() || time->second <= 0) return;
    std::printf("  %-30s %6.2fx faster\n", what, base->second / time->second);
  }

  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  return RunBenchmarksWithRatios<RatioReporter>(argc, argv);
}
