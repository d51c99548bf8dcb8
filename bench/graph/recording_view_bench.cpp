// The graph of a recording too long to hold: the first picture of a file just
// opened, and repaints after pans and zooms, each repaint reading the file,
// against the repaint of 8 records of 1,000,000 samples in memory, measured
// in the same run. Each pan and zoom benchmark reports the median and the
// worst repaint, and the process's resident memory at its end.
//   RECORDING=FILE.h5 recording_view_bench   a file of one's own, e.g. made by
//     tavril-cli record --channels 0-7 --rate 1250000 --duration 6400 --unpaced --out FILE.h5
//     (8 channels x 10^9 samples)
//   recording_view_bench                     writes 8 channels x 2^24 samples first
// COLD=1 drops the file's pages from the system's cache before every
// repaint (posix_fadvise), for the cold figures.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "../bench_files.h"
#include "display/graph_zoom.h"
#include "display/shown_recording.h"
#include "files/hdf5_recording.h"
#include "ui/display/graph_painter.h"

namespace {

const QSize kArea(1000, 500);

std::filesystem::path RecordingPath() {
  if (const char* given = std::getenv("RECORDING")) return given;
  const std::filesystem::path path = BenchFolder() / "long.h5";
  if (std::filesystem::exists(path)) return path;
  std::vector<tavril::RecordingChannel> channels;
  for (int slot = 0; slot < tavril::kChannelCount; ++slot)
    channels.push_back({slot, "", 0, static_cast<std::int16_t>(slot), 1, 156250.0, {}});
  auto recording = tavril::Hdf5Recording::Create(path, channels, nullptr);
  tavril::ReadingConversion conversion;
  conversion.scale.lowestReading = -2048;
  conversion.scale.highestReading = 2047;
  conversion.scale.zeroCode = 2048;
  if (!recording || !recording->Started(156250.0, conversion, nullptr)) std::abort();
  constexpr std::uint64_t kScans = std::uint64_t{1} << 24;
  constexpr std::uint64_t kPiece = std::uint64_t{1} << 16;
  std::vector<tavril::BoardReading> readings(kPiece * tavril::kChannelCount);
  const std::vector<double> volts(kPiece);
  std::vector<std::span<const double>> columns(tavril::kChannelCount, volts);
  for (std::uint64_t at = 0; at < kScans; at += kPiece) {
    for (std::uint64_t i = 0; i < kPiece; ++i) {
      for (int c = 0; c < tavril::kChannelCount; ++c) {
        const double phase = static_cast<double>(at + i) * (c + 1) * 2e-3;
        readings[i * tavril::kChannelCount + static_cast<std::uint64_t>(c)] =
            static_cast<tavril::BoardReading>(1500.0 * std::sin(phase) +
                                              static_cast<double>((at + i) * 2654435761u % 97));
      }
    }
    if (!recording->Append({columns, readings, &conversion}, nullptr)) std::abort();
  }
  if (!recording->Close(nullptr)) std::abort();
  return path;
}

void DropFromCache(const std::filesystem::path& path) {
  if (std::getenv("COLD") == nullptr) return;
  const int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) return;
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
  ::close(fd);
}

double ResidentMiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  }
  return -1.0;
}

struct Shown {
  tavril::Session session;
  tavril::ViewState view;
  tavril::CurveLayer layer;
  tavril::GraphPens pens;

  bool Open(const std::filesystem::path& path) {
    auto recording = tavril::ShownRecording::Open(path, nullptr);
    if (!recording) return false;
    tavril::ShowRecordingInView(view, std::move(recording));
    return tavril::FitShownScale(view.scale, view, session, {kArea.width(), kArea.height()});
  }
  void Repaint() {
    layer.Invalidate();
    benchmark::DoNotOptimize(layer.Render(session, view, pens, kArea).constBits());
  }
  // The time of a repaint after `move` changed the view, in milliseconds.
  template <typename Move>
  double TimedRepaint(const std::filesystem::path& path, Move move) {
    move(view);
    DropFromCache(path);
    QElapsedTimer clock;
    clock.start();
    Repaint();
    return static_cast<double>(clock.nsecsElapsed()) / 1e6;
  }
};

bool OpenOrSkip(benchmark::State& state, Shown& shown, const std::filesystem::path& path) {
  if (shown.Open(path)) return true;
  state.SkipWithError("the recording does not open");
  return false;
}

// The times of each repaint, for the median and the worst.
void ReportTimes(benchmark::State& state, std::vector<double>& milliseconds) {
  std::sort(milliseconds.begin(), milliseconds.end());
  if (milliseconds.empty()) return;
  state.counters["median_ms"] = milliseconds[milliseconds.size() / 2];
  state.counters["worst_ms"] = milliseconds.back();
  state.counters["rss_MiB"] = ResidentMiB();
}

void FirstPicture(benchmark::State& state) {
  const std::filesystem::path path = RecordingPath();
  std::vector<double> times;
  for (auto _ : state) {
    DropFromCache(path);
    QElapsedTimer clock;
    clock.start();
    Shown shown;
    if (!OpenOrSkip(state, shown, path)) return;
    shown.Repaint();
    times.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
  }
  ReportTimes(state, times);
}

// Random pans at one zoom, the view showing 1/2^range(0) of the recording.
void Pan(benchmark::State& state) {
  const std::filesystem::path path = RecordingPath();
  Shown shown;
  if (!OpenOrSkip(state, shown, path)) return;
  const std::uint64_t count = shown.view.recording->LongestCount();
  shown.view.scale.pixelsPerSample *= std::ldexp(1.0, static_cast<int>(state.range(0)));
  const double shownSamples = kArea.width() / shown.view.scale.pixelsPerSample;
  std::mt19937_64 random(state.range(0));
  std::vector<double> times;
  const std::uint64_t room = std::max<std::uint64_t>(
      1, count - static_cast<std::uint64_t>(std::min(shownSamples, count * 1.0)));
  for (auto _ : state) {
    times.push_back(shown.TimedRepaint(path, [&](tavril::ViewState& view) {
      view.scale.scrollOffset = static_cast<std::int64_t>(random() % room);
    }));
  }
  ReportTimes(state, times);
}

// Wheel zooms in and out by a quarter at random places, from the whole
// recording down to a few samples a column and back.
void Zoom(benchmark::State& state) {
  const std::filesystem::path path = RecordingPath();
  Shown shown;
  if (!OpenOrSkip(state, shown, path)) return;
  std::mt19937_64 random(3);
  const double whole = shown.view.scale.pixelsPerSample;
  bool zoomingIn = true;
  std::vector<double> times;
  for (auto _ : state) {
    times.push_back(shown.TimedRepaint(path, [&](tavril::ViewState& view) {
      if (view.scale.pixelsPerSample > 4.0) zoomingIn = false;
      if (view.scale.pixelsPerSample < whole) zoomingIn = true;
      tavril::ZoomTime(
          view, zoomingIn ? 1.25 : 0.8,
          static_cast<std::int32_t>(random() % static_cast<std::uint64_t>(kArea.width())));
      view.zoomHistory.clear();
    }));
  }
  ReportTimes(state, times);
}

// The baseline: 8 records of 1,000,000 samples in memory, drawn whole.
void RecordsInMemory(benchmark::State& state) {
  tavril::Session session;
  tavril::ViewState view;
  for (int c = 0; c < tavril::kChannelCount; ++c) {
    std::vector<double> samples(1000000);
    for (std::size_t i = 0; i < samples.size(); ++i)
      samples[i] = 3.0 * std::sin(static_cast<double>(i) * (c + 1) * 2e-3);
    session.channels[c].TakeSamples(samples);
  }
  tavril::ComputeAutoScale(view.scale, session.channels[0], {kArea.width(), kArea.height()});
  tavril::CurveLayer layer;
  const tavril::GraphPens pens;
  for (auto _ : state) {
    layer.Invalidate();
    benchmark::DoNotOptimize(layer.Render(session, view, pens, kArea).constBits());
  }
}

}  // namespace

BENCHMARK(RecordsInMemory)->Unit(benchmark::kMillisecond);
BENCHMARK(FirstPicture)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(Pan)->Unit(benchmark::kMillisecond)->Arg(0)->Arg(6)->Arg(12)->Arg(18)->Iterations(100);
BENCHMARK(Zoom)->Unit(benchmark::kMillisecond)->Iterations(200);

namespace {

// Prints, once every run is over, each median and worst repaint of the
// recording over the repaint of the records in memory.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.benchmark_name().rfind("RecordsInMemory", 0) == 0) {
        baseline_ = run.GetAdjustedRealTime();
        continue;
      }
      const auto median = run.counters.find("median_ms");
      const auto worst = run.counters.find("worst_ms");
      if (median != run.counters.end() && worst != run.counters.end())
        lines_.push_back({run.benchmark_name(), median->second.value, worst->second.value});
    }
  }
  void PrintRatios() const {
    if (baseline_ <= 0.0) return;
    for (const Line& line : lines_) {
      std::printf("%-24s median %.2f ms (%.2fx the records in memory), worst %.2f ms (%.2fx)\n",
                  line.name.c_str(), line.median, line.median / baseline_, line.worst,
                  line.worst / baseline_);
    }
  }

 private:
  struct Line {
    std::string name;
    double median;
    double worst;
  };
  double baseline_ = 0.0;  // ms
  std::vector<Line> lines_;
};

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  std::filesystem::remove_all(BenchFolder());
  benchmark::Shutdown();
  return 0;
}
