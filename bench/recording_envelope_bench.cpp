// The extents of 1000 pixel columns of every channel of a recording, as the
// graph asks them at each repaint: the whole recording, random pans (a random
// stretch at a random zoom) and zooms (from the whole recording down to 1000
// samples, halving the span around random points), 100 views each, against
// two baselines measured in the same run: the extents asked column by column
// of the overview (OverviewRange, on a few views: it is slow), and one
// contiguous read of 2^20 codes per channel. Each view's time is that of all
// the channels; printed: the median and the worst, and the memory each
// channel's envelope holds.
//
//   recording_envelope_bench [FILE] [benchmark options]
//
// FILE is a recording (e.g. one made by `tavril-cli record --channels 0-7
// --rate 1250000 --duration 6400 --unpaced --out FILE`: 8 x 10^9 samples);
// without it, the benchmark first writes one of 8 x 2^24 samples of its own
// in a temporary folder. Its pages are read from the system's cache once the
// first views have read them: drop the cache before a run for a cold one.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "bench_times.h"
#include "display/recording_envelope.h"
#include "files/hdf5_recording.h"
#include "files/recording_reader.h"

namespace {

constexpr std::size_t kColumns = 1000;
constexpr int kViews = 100;
constexpr int kBaselineViews = 3;
// Enough for the finest level held to be read whole.
constexpr std::size_t kRefiningRepaints = 32;
constexpr std::uint64_t kOwnSamples = std::uint64_t{1} << 24;

std::filesystem::path& FilePath() {
  static std::filesystem::path path;
  return path;
}

// 8 channels of a noisy sine, a sawtooth and a square wave of a 12-bit board.
std::filesystem::path OwnRecording() {
  const std::filesystem::path made = BenchFolder() / "recording.h5";
  std::vector<tavril::RecordingChannel> channels;
  for (int k = 0; k < 8; ++k)
    channels.push_back({k, "", 1, static_cast<std::int16_t>(k), 1, 1e6, {}});
  tavril::ReadingConversion conversion;
  conversion.scale.fullScaleReading = 2048;
  conversion.scale.fullScaleVolts = 10;
  conversion.scale.lowestReading = -2048;
  conversion.scale.highestReading = 2047;
  auto recording = tavril::Hdf5Recording::Create(made, channels, nullptr);
  if (!recording || !recording->Started(1e6, conversion, nullptr)) std::abort();
  constexpr std::size_t kScans = 1 << 16;
  std::vector<tavril::BoardReading> readings(kScans * 8);
  std::vector<double> volts(kScans);
  std::vector<std::span<const double>> columns(8, volts);
  std::mt19937 random(1);
  for (std::uint64_t at = 0; at < kOwnSamples; at += kScans) {
    for (std::size_t i = 0; i < kScans; ++i) {
      const std::uint64_t t = at + i;
      for (std::size_t k = 0; k < 8; ++k) {
        const double phase = static_cast<double>(t) * (k + 1) * 1e-3;
        const int code = k % 3 == 0 ? static_cast<int>(1500 * std::sin(phase)) +
                                          static_cast<int>(random() % 201) - 100
                         : k % 3 == 1 ? static_cast<int>((t * (k + 3)) % 4096) - 2048
                                      : (static_cast<int>(phase) % 2 == 0 ? 1000 : -1000);
        readings[i * 8 + k] = static_cast<tavril::BoardReading>(code);
      }
    }
    if (!recording->Append({columns, readings, &conversion}, nullptr)) std::abort();
  }
  if (!recording->Close(nullptr)) std::abort();
  return made;
}

const std::filesystem::path& Recording() {
  static const std::filesystem::path path = FilePath().empty() ? OwnRecording() : FilePath();
  return path;
}

std::unique_ptr<tavril::RecordingReader> Open() {
  std::string why;
  auto reader = tavril::RecordingReader::Open(Recording(), &why, tavril::CheckPlace::kInProcess);
  if (!reader) {
    std::fprintf(stderr, "%s\n", why.c_str());
    std::abort();
  }
  return reader;
}

std::uint64_t Count(const tavril::RecordingReader& reader) {
  std::uint64_t count = ~std::uint64_t{0};
  for (const tavril::RecordedChannel& channel : reader.Channels())
    count = std::min(count, channel.sampleCount);
  return count;
}

// The bounds of kColumns equal columns over [first, first + span).
std::vector<std::uint64_t> Bounds(std::uint64_t first, std::uint64_t span) {
  std::vector<std::uint64_t> bounds;
  for (std::size_t c = 0; c <= kColumns; ++c)
    bounds.push_back(
        first + static_cast<std::uint64_t>(static_cast<unsigned __int128>(span) * c / kColumns));
  return bounds;
}

enum class Views { kWhole, kPans, kZooms };

std::vector<std::vector<std::uint64_t>> MakeViews(Views kind, std::uint64_t count, int number) {
  std::mt19937_64 random(7);
  int halvings = 0;
  while ((count >> (halvings + 1)) >= kColumns) ++halvings;
  std::vector<std::vector<std::uint64_t>> views;
  while (static_cast<int>(views.size()) < number) {
    if (kind == Views::kWhole) {
      views.push_back(Bounds(0, count));
    } else if (kind == Views::kPans) {
      const std::uint64_t span = count >> (1 + random() % halvings);
      views.push_back(Bounds(random() % (count - span), span));
    } else {
      const std::uint64_t centre = random() % count;
      for (int k = 0; k <= halvings && static_cast<int>(views.size()) < number; ++k) {
        const std::uint64_t span = count >> k;
        const std::uint64_t first = std::min(centre - std::min(centre, span / 2), count - span);
        views.push_back(Bounds(first, span));
      }
    }
  }
  return views;
}

struct Repaints {
  double median = 0.0;
  double worst = 0.0;
};

// Times each view's repaint of every channel through `extents(channel, bounds, out)`.
template <class Extents>
Repaints TimeViews(const std::vector<std::vector<std::uint64_t>>& views, std::size_t channels,
                   Extents extents) {
  std::vector<double> times;
  std::vector<tavril::ValueExtent> out(kColumns);
  for (const std::vector<std::uint64_t>& bounds : views) {
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t k = 0; k < channels; ++k) {
      if (!extents(k, bounds, out)) std::abort();
      benchmark::DoNotOptimize(out.data());
    }
    times.push_back(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(times.begin(), times.end());
  return {times[times.size() / 2], times.back()};
}

void Report(benchmark::State& state, const Repaints& repaints) {
  state.counters["median_ms"] = repaints.median * 1e3;
  state.counters["worst_ms"] = repaints.worst * 1e3;
}

// The first picture: the file opened and the whole recording drawn.
void BM_FirstWholeView(benchmark::State& state) {
  Recording();  // written first when the benchmark makes its own
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const auto reader = Open();
    std::vector<tavril::RecordingEnvelope> envelopes;
    for (std::size_t k = 0; k < reader->Channels().size(); ++k) envelopes.emplace_back(*reader, k);
    std::vector<tavril::ValueExtent> out(kColumns);
    const std::vector<std::uint64_t> bounds = Bounds(0, Count(*reader));
    for (tavril::RecordingEnvelope& envelope : envelopes) {
      if (!envelope.Extents(bounds, out)) std::abort();
    }
    std::size_t held = 0;
    state.SetIterationTime(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    // The repaints after it, while the finer level held is read.
    const Repaints refining = TimeViews(std::vector(kRefiningRepaints, bounds), envelopes.size(),
                                        [&](std::size_t k, const auto& view, auto& columns) {
                                          return envelopes[k].Extents(view, columns);
                                        });
    for (const tavril::RecordingEnvelope& envelope : envelopes)
      held = std::max(held, envelope.HeldBytes());
    state.counters["held_MB_per_channel"] = static_cast<double>(held) / 1e6;
    state.counters["next_median_ms"] = refining.median * 1e3;
    state.counters["next_worst_ms"] = refining.worst * 1e3;
  }
}

void RunEnvelope(benchmark::State& state, Views kind) {
  const auto reader = Open();
  std::vector<tavril::RecordingEnvelope> envelopes;
  for (std::size_t k = 0; k < reader->Channels().size(); ++k) envelopes.emplace_back(*reader, k);
  const auto views = MakeViews(kind, Count(*reader), kViews);
  // The level held read whole, over the first repaints as the window makes them.
  TimeViews(std::vector(kRefiningRepaints, Bounds(0, Count(*reader))), envelopes.size(),
            [&](std::size_t k, const auto& bounds, auto& out) {
              return envelopes[k].Extents(bounds, out);
            });
  const auto extents = [&](std::size_t k, const auto& bounds, auto& out) {
    return envelopes[k].Extents(bounds, out);
  };
  for (auto _ : state) {
    // First with the pages as the system's cache has them, then again with
    // every page these views read in the cache.
    const Repaints first = TimeViews(views, envelopes.size(), extents);
    const Repaints repaints = TimeViews(views, envelopes.size(), extents);
    state.SetIterationTime(repaints.median);
    Report(state, repaints);
    state.counters["first_median_ms"] = first.median * 1e3;
    state.counters["first_worst_ms"] = first.worst * 1e3;
  }
  std::size_t held = 0;
  for (const tavril::RecordingEnvelope& envelope : envelopes)
    held = std::max(held, envelope.HeldBytes());
  state.counters["held_MB_per_channel"] = static_cast<double>(held) / 1e6;
}

void BM_EnvelopeWhole(benchmark::State& state) {
  RunEnvelope(state, Views::kWhole);
}
void BM_EnvelopePans(benchmark::State& state) {
  RunEnvelope(state, Views::kPans);
}
void BM_EnvelopeZooms(benchmark::State& state) {
  RunEnvelope(state, Views::kZooms);
}

// The former way: each column's extent from the overview, one after another.
void BM_ColumnByColumnPans(benchmark::State& state) {
  const auto reader = Open();
  const auto views = MakeViews(Views::kPans, Count(*reader), kBaselineViews);
  for (auto _ : state) {
    const Repaints repaints = TimeViews(
        views, reader->Channels().size(), [&](std::size_t k, const auto& bounds, auto& out) {
          for (std::size_t c = 0; c < kColumns; ++c) {
            tavril::OverviewStatistics statistics;
            if (!tavril::OverviewRange(reader->Source(k), bounds[c], bounds[c + 1], statistics))
              return false;
            out[c] = {statistics.minimum, statistics.maximum};
          }
          return true;
        });
    state.SetIterationTime(repaints.median);
    Report(state, repaints);
  }
}

// One contiguous read of 2^20 codes per channel, at random places.
void BM_ContiguousCodes(benchmark::State& state) {
  const auto reader = Open();
  std::vector<std::int16_t> codes(std::size_t{1} << 20);
  std::mt19937_64 random(3);
  const std::uint64_t count = Count(*reader);
  for (auto _ : state) {
    const std::uint64_t first = random() % (count - codes.size());
    for (std::size_t k = 0; k < reader->Channels().size(); ++k) {
      if (!reader->ReadCodes(k, first, codes, nullptr)) std::abort();
      benchmark::DoNotOptimize(codes.data());
    }
  }
}

BENCHMARK(BM_FirstWholeView)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EnvelopeWhole)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EnvelopePans)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EnvelopeZooms)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ColumnByColumnPans)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ContiguousCodes)->Iterations(20)->UseRealTime()->Unit(benchmark::kMillisecond);

class Ratios : public TimesReporter {
 public:
  void PrintRatios() {
    const double pans = Find("BM_EnvelopePans"), former = Find("BM_ColumnByColumnPans");
    const double contiguous = Find("BM_ContiguousCodes");
    if (pans > 0 && former > 0)
      std::printf("\nMedian pan: 1/%.0f of the time column by column", former / pans);
    if (pans > 0 && contiguous > 0)
      std::printf(", %.2fx that of reading 2^20 codes per channel", pans / contiguous);
    std::printf("\n");
  }
};

}  // namespace

int main(int argc, char** argv) {
  // The recording, if given, before the benchmark's own options.
  if (argc > 1 && argv[1][0] != '-') {
    FilePath() = argv[1];
    for (int i = 1; i + 1 < argc; ++i) argv[i] = argv[i + 1];
    --argc;
  }
  return RunBenchmarksWithRatios<Ratios>(argc, argv);
}
