#pragma once

#include <benchmark/benchmark.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "bench_files.h"

// Prints each run as usual and keeps its time by benchmark name, for the
// ratios a benchmark prints once every run is over.
class TimesReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) times_[run.benchmark_name()] = run.GetAdjustedRealTime();
  }

  // The time of the first benchmark whose name starts with `prefix`; 0 when
  // none ran.
  double Find(const std::string& prefix) const {
    for (const auto& [name, time] : times_) {
      if (name.rfind(prefix, 0) == 0) return time;
    }
    return 0.0;
  }

  const std::map<std::string, double>& times() const { return times_; }

 private:
  std::map<std::string, double> times_;
};

// The main of a benchmark that prints ratios: runs what the command line
// selects through a `Reporter`, prints its ratios, removes the run's files.
template <typename Reporter>
int RunBenchmarksWithRatios(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Reporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  std::filesystem::remove_all(BenchFolder());
  benchmark::Shutdown();
  return 0;
}
