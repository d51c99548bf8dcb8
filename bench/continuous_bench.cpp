// The continuous acquisition's pipeline, from the board's reads to the sink,
// over 8 channels: demultiplexing, volts, rings, the sink's append, with the
// display's snapshots taken 30 times a second meanwhile. A board hands out
// pre-made readings as fast as they are asked for, so the pipeline alone sets
// the pace. The baseline reads the same board and only writes the raw
// readings to a file, block by block. A third row records into an HDF5 file
// as tavril-cli record does. Printed at the end: samples per second,
// the baseline's time over TAVRIL's, and the rate against 12.5 million
// samples per second (8 channels at 1.5625 MS/s each).

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/continuous_acquisition.h"
#include "bench_times.h"
#include "files/hdf5_recording.h"

namespace {

constexpr std::size_t kChannels = 8;
constexpr std::uint64_t kScansPerRun = 2'000'000;
constexpr double kTargetRate = 12.5e6;  // samples per second, all channels
constexpr std::uint32_t kWindow = 100'000;

// Hands out a pre-made stretch of readings again and again, kScansPerRun
// scans in all; then fails, which ends the run.
class ReplayBoard : public tavril::Board {
 public:
  ReplayBoard() : pattern_(kChannels * 4096) {
    for (std::size_t k = 0; k < pattern_.size(); ++k) {
      pattern_[k] = static_cast<tavril::BoardReading>((k * 37) % 4096 - 2048);
    }
  }
  tavril::DaqStatus Configure(const tavril::InputSettings&) override { return 0; }
  tavril::DaqStatus SetTimeout(std::int32_t) override { return 0; }
  tavril::DaqStatus Start(const tavril::AcquisitionRequest&) override {
    left_ = kScansPerRun * kChannels;
    at_ = 0;
    return 0;
  }
  tavril::ReadResult Read(std::span<tavril::BoardReading> readings) override {
    const std::size_t count = std::min<std::uint64_t>(readings.size(), left_);
    for (std::size_t done = 0; done < count;) {
      const std::size_t piece = std::min(count - done, pattern_.size() - at_);
      std::memcpy(readings.data() + done, pattern_.data() + at_,
                  piece * sizeof(tavril::BoardReading));
      done += piece;
      at_ = (at_ + piece) % pattern_.size();
    }
    left_ -= count;
    return {count < readings.size() ? tavril::kTimeOutError : tavril::kDaqNoError, count};
  }
  void Stop() override {}
  tavril::DaqStatus ScaleFor(int, std::int16_t, tavril::VoltScale& scale) override {
    scale = tavril::VoltScale{};
    scale.lowestReading = -2048;
    scale.highestReading = 2047;
    scale.fullScaleReading = 2048;
    scale.fullScaleVolts = 5;
    return 0;
  }

 private:
  std::vector<tavril::BoardReading> pattern_;
  std::uint64_t left_ = 0;
  std::size_t at_ = 0;
};

// A temporary file emptied before every run.
class ScratchFile {
 public:
  explicit ScratchFile(const char* name)
      : fd_(::open((BenchFolder() / name).c_str(), O_CREAT | O_RDWR | O_TRUNC, 0600)) {}
  ~ScratchFile() { ::close(fd_); }
  bool Rewind() { return fd_ >= 0 && ::ftruncate(fd_, 0) == 0 && ::lseek(fd_, 0, SEEK_SET) == 0; }
  bool Write(const void* data, std::size_t bytes) {
    return ::write(fd_, data, bytes) == static_cast<ssize_t>(bytes);
  }

 private:
  int fd_;
};

// Counts the samples, or writes them to a file as doubles, channel after channel.
class BenchSink : public tavril::SampleSink {
 public:
  explicit BenchSink(ScratchFile* file) : file_(file) {}
  bool Append(const tavril::SampleBlock& block, std::string* why) override {
    if (file_ != nullptr) {
      for (const std::span<const double> column : block.volts) {
        if (!file_->Write(column.data(), column.size_bytes())) {
          *why = "écriture impossible";
          return false;
        }
      }
    }
    samples_ += block.Scans();
    return true;
  }
  bool Flush(std::string*) override { return true; }
  bool Started(double, const tavril::ReadingConversion&, std::string*) override { return true; }
  std::uint64_t SamplesPerChannel() const override { return samples_; }
  std::uint64_t BytesOnDisk() const override { return 0; }
  void Reset() { samples_ = 0; }

 private:
  ScratchFile* file_;
  std::uint64_t samples_ = 0;
};

tavril::AcquisitionPlan EightChannels() {
  tavril::AcquisitionPlan plan;
  for (int k = kChannels - 1; k >= 0; --k) {
    plan.request.channels.push_back(k);
    plan.records.push_back(k);
  }
  plan.request.sampleRate = kTargetRate;  // sets the block: 10 ms at this rate
  return plan;
}

void BM_Continuous_Baseline(benchmark::State& state) {
  ReplayBoard board;
  ScratchFile file("baseline.raw");
  // The continuous acquisition's block at the same rate.
  std::vector<tavril::BoardReading> block(kChannels * 15625);
  for (auto _ : state) {
    state.PauseTiming();
    if (!file.Rewind()) state.SkipWithError("no scratch file");
    state.ResumeTiming();
    board.Start({});
    tavril::ReadResult read;
    do {
      read = board.Read(block);
      if (!file.Write(block.data(), read.count * sizeof(tavril::BoardReading))) {
        state.SkipWithError("write failed");
      }
    } while (read.status == tavril::kDaqNoError);
  }
  state.SetItemsProcessed(state.iterations() * kScansPerRun * kChannels);
}

// state.range(0) == 1: the sink writes the volts to a file; 0: it counts them.
void BM_Continuous_Tavril(benchmark::State& state) {
  ReplayBoard board;
  ScratchFile file("continuous.raw");
  BenchSink sink(state.range(0) == 1 ? &file : nullptr);
  tavril::ContinuousSettings settings{EightChannels(), kWindow, {}, &sink};
  tavril::ContinuousAcquisition run;
  // The display, on its own thread as the window's would be.
  std::jthread display([&run](std::stop_token stop) {
    tavril::ContinuousSnapshot shown;
    while (!stop.stop_requested()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(33));
      run.TakeSnapshot(shown);
    }
  });
  tavril::ContinuousSnapshot snapshot;
  for (auto _ : state) {
    state.PauseTiming();
    if (!file.Rewind()) state.SkipWithError("no scratch file");
    sink.Reset();
    state.ResumeTiming();
    if (!run.Start(board, settings)) {
      state.SkipWithError("the run did not start");
      break;
    }
    run.Wait();
    run.TakeSnapshot(snapshot);
    if (snapshot.outcome->samplesRecorded != kScansPerRun) state.SkipWithError("samples lost");
  }
  state.SetItemsProcessed(state.iterations() * kScansPerRun * kChannels);
}

// Every sample into an HDF5 recording of the 8 channels, made afresh (and
// closed) in each run as a recording would be.
void BM_Continuous_Hdf5(benchmark::State& state) {
  ReplayBoard board;
  const tavril::AcquisitionPlan plan = EightChannels();
  std::vector<tavril::RecordingChannel> channels;
  for (const int chan : plan.request.channels) {
    channels.push_back(
        {chan, "", 1, static_cast<std::int16_t>(chan), 1, kTargetRate / kChannels, {}});
  }
  tavril::ContinuousAcquisition run;
  tavril::ContinuousSnapshot snapshot;
  for (auto _ : state) {
    state.PauseTiming();
    std::string why;
    auto recording = tavril::Hdf5Recording::Create(BenchFolder() / "recording.h5", channels, &why);
    state.ResumeTiming();
    if (!recording || !run.Start(board, {plan, kWindow, {}, recording.get()})) {
      state.SkipWithError(why.c_str());
      break;
    }
    run.Wait();
    run.TakeSnapshot(snapshot);
    if (!recording->Close(&why) || recording->SamplesPerChannel() != kScansPerRun) {
      state.SkipWithError("samples lost");
    }
  }
  state.SetItemsProcessed(state.iterations() * kScansPerRun * kChannels);
}

BENCHMARK(BM_Continuous_Baseline)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_Continuous_Tavril)
    ->ArgName("file")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);
BENCHMARK(BM_Continuous_Hdf5)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

class RatioReporter : public TimesReporter {
 public:
  void PrintRatios() const {
    const double baseline = Find("BM_Continuous_Baseline");
    std::printf("\nSamples per second; baseline time / TAVRIL time; rate / 12.5 MS/s:\n");
    for (const auto& [name, milliseconds] : times()) {
      const double rate = kScansPerRun * kChannels / (milliseconds / 1000.0);
      std::printf("  %-30s %8.1f MS/s %6.2fx %6.2fx\n", name.substr(0, name.find("/min")).c_str(),
                  rate / 1e6, baseline / milliseconds, rate / kTargetRate);
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  return RunBenchmarksWithRatios<RatioReporter>(argc, argv);
}
