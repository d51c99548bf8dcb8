// Save, load and MATLAB export of a 10-million-sample record, each against the
// straightforward way of doing the same thing, measured in the same run. The
// ratios printed at the end are baseline time / TAVRIL time.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <string>

#include "bench_times.h"
#include "files/channel_file.h"
#include "files/matlab_export.h"
#include "first_touch.h"
#include "model/channel_record.h"

namespace {

constexpr std::size_t kSampleCount = 10'000'000;

// A noisy sine in volts, like an acquisition.
const tavril::ChannelRecord& BenchRecord() {
  static const tavril::ChannelRecord record = [] {
    tavril::ChannelRecord r;
    r.title = "Banc d'essai";
    r.device = 1;
    r.gain = 1;
    r.rate = 100000.0;
    std::vector<double> samples(kSampleCount);
    std::mt19937_64 random(1);
    std::normal_distribution<double> noise(0.0, 0.01);
    for (std::size_t i = 0; i < kSampleCount; ++i) {
      samples[i] = 2.5 * std::sin(static_cast<double>(i) * 0.001) + noise(random);
    }
    r.TakeSamples(samples);
    return r;
  }();
  return record;
}

// Writes the data file with one fprintf per value, the obvious way.
void SaveBaseline(const tavril::ChannelRecord& r, const char* path) {
  FILE* f = std::fopen(path, "wb");
  std::fprintf(f, "Titre = %s\xA7\r\nDevice = %i\xA7\r\nChan = %i\xA7\r\nGain = %i\xA7\r\n",
               r.title.c_str(), r.device, r.chan, r.gain);
  std::fprintf(f, "Count = %u\xA7\r\nRate = %.0f\xA7\r\nTableau :\r\n", r.count(), r.rate);
  for (const double value : r.samples()) std::fprintf(f, "%.12f ", value);
  std::fputc(0xA7, f);
  std::fflush(f);
  ::fsync(fileno(f));
  std::fclose(f);
}

void ExportBaseline(const tavril::ChannelRecord& r, const char* path) {
  FILE* f = std::fopen(path, "wb");
  std::fprintf(f, "%% Fichier d'export vers MatLab pour TAVRIL\r\n\r\nx%i=[\r\n", r.chan);
  for (std::size_t i = 0; i < r.sampleCount(); ++i) {
    std::fprintf(f, "%.12f\r\n", static_cast<double>(i) / r.rate);
  }
  std::fprintf(f, "];\r\ny%i=[\r\n", r.chan);
  for (const double value : r.samples()) std::fprintf(f, "%.12f\r\n", value);
  std::fprintf(f, "];\r\nplot(x%i,y%i);\r\ngrid;\r\ntitle('%s')\r\n\r\n", r.chan, r.chan,
               r.title.c_str());
  std::fflush(f);
  ::fsync(fileno(f));
  std::fclose(f);
}

// The reader done literally: one byte at a time, strtod for every value.
bool LoadBaseline(const char* path, tavril::ChannelRecord& r) {
  FILE* f = std::fopen(path, "rb");
  if (f == nullptr) return false;
  auto field = [f](std::string& out) {
    out.clear();
    for (int c = std::getc(f); c != EOF && c != 0xA7; c = std::getc(f)) out += static_cast<char>(c);
    std::getc(f);
    std::getc(f);
  };
  auto label = [f](std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) std::getc(f);
  };
  std::string value;
  label(8), field(value), r.title = value;
  label(9), field(value), r.device = static_cast<std::int16_t>(std::atoi(value.c_str()));
  label(7), field(value), r.chan = static_cast<std::int16_t>(std::atoi(value.c_str()));
  label(7), field(value), r.gain = static_cast<std::int16_t>(std::atoi(value.c_str()));
  label(8), field(value);
  const auto count = static_cast<std::uint32_t>(std::strtod(value.c_str(), nullptr));
  label(7), field(value), r.rate = std::strtod(value.c_str(), nullptr);
  label(11);
  std::vector<double> samples(count, 0.0);
  std::size_t index = 0;
  value.clear();
  for (int c = std::getc(f); c != EOF && c != 0xA7; c = std::getc(f)) {
    if (c == ' ') {
      if (index < samples.size()) samples[index++] = std::strtod(value.c_str(), nullptr);
      value.clear();
    } else {
      value += static_cast<char>(c);
    }
  }
  std::fclose(f);
  r.TakeSamples(samples);
  r.SetCount(count);
  return true;
}

std::filesystem::path PathFor(const char* name) {
  return BenchFolder() / name;
}

void BM_Save_Baseline(benchmark::State& state) {
  const auto path = PathFor("baseline.tvr");
  for (auto _ : state) SaveBaseline(BenchRecord(), path.c_str());
}

void BM_Save_Tavril(benchmark::State& state) {
  const auto path = PathFor("tavril.tvr");
  AlwaysReplace user;
  for (auto _ : state) {
    if (tavril::SaveChannelFile(user, path, BenchRecord()) != tavril::SaveOutcome::kWritten) {
      state.SkipWithError("save failed");
    }
  }
}

void BM_Export_Baseline(benchmark::State& state) {
  const auto path = PathFor("baseline.M");
  for (auto _ : state) ExportBaseline(BenchRecord(), path.c_str());
}

void BM_Export_Tavril(benchmark::State& state) {
  const auto path = PathFor("tavril.M");
  AlwaysReplace user;
  for (auto _ : state) {
    if (tavril::ExportMatlabFile(user, path, BenchRecord()) != tavril::SaveOutcome::kWritten)
      state.SkipWithError("export failed");
  }
}

void BM_Load_Baseline(benchmark::State& state) {
  const auto path = PathFor("input.tvr");
  if (!std::filesystem::exists(path)) SaveBaseline(BenchRecord(), path.c_str());
  for (auto _ : state) {
    tavril::ChannelRecord record;
    if (!LoadBaseline(path.c_str(), record)) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(record.samples().data());
  }
}

// As the program loads: into the master record, through the session's spare
// samples, so that loading again reuses memory. state.range(0) == 1 starts
// every load from a record and a spare without memory (a first load).
void BM_Load_Tavril(benchmark::State& state) {
  const bool cold = state.range(0) == 1;
  const auto path = PathFor("input.tvr");
  if (!std::filesystem::exists(path)) SaveBaseline(BenchRecord(), path.c_str());
  tavril::ChannelRecord record;
  std::vector<double> spare;
  for (auto _ : state) {
    if (cold) {
      state.PauseTiming();
      record.ReleaseSamples();
      spare = std::vector<double>();
      state.ResumeTiming();
    }
    if (tavril::LoadChannelFile(path, record, spare) != 1) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(record.samples().data());
  }
}

// Writing the memory of one loaded record in fresh pages (state.range(0) ==
// 1) or in pages already touched: what a load that cannot reuse memory pays.
void BM_FirstTouch(benchmark::State& state) {
  MeasureFirstTouch(state, kSampleCount * sizeof(double));
}

#define TAVRIL_FILE_BENCHMARK(name) \
  BENCHMARK(name)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3)

TAVRIL_FILE_BENCHMARK(BM_Save_Baseline);
TAVRIL_FILE_BENCHMARK(BM_Save_Tavril);
TAVRIL_FILE_BENCHMARK(BM_Export_Baseline);
TAVRIL_FILE_BENCHMARK(BM_Export_Tavril);
TAVRIL_FILE_BENCHMARK(BM_Load_Baseline);
BENCHMARK(BM_Load_Tavril)
    ->ArgName("cold")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);
BENCHMARK(BM_FirstTouch)
    ->ArgName("fresh")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

class RatioReporter : public TimesReporter {
 public:
  void PrintRatios() const {
    std::printf("\nSpeed-up against the baseline (baseline time / TAVRIL time):\n");
    const struct {
      const char* label;
      const char* baseline;
      const char* tavril;
    } rows[] = {
        {"Save", "BM_Save_Baseline", "BM_Save_Tavril"},
        {"Export", "BM_Export_Baseline", "BM_Export_Tavril"},
        {"Load (again)", "BM_Load_Baseline", "BM_Load_Tavril/cold:0"},
        {"Load (first)", "BM_Load_Baseline", "BM_Load_Tavril/cold:1"},
    };
    for (const auto& row : rows) {
      const double baseline = Find(row.baseline);
      const double tavril = Find(row.tavril);
      if (baseline > 0 && tavril > 0) {
        std::printf("  %-13s %6.2fx\n", row.label, baseline / tavril);
      }
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  return RunBenchmarksWithRatios<RatioReporter>(argc, argv);
}
