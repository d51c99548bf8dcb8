// Continuous recording end to end, from the simulated board to the HDF5 file,
// at the board's full rate: through the engine, then through the program.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <thread>

#include "acquisition/continuous_acquisition.h"
#include "acquisition/scan_timing.h"
#include "acquisition/simulated_board.h"
#include "cli_arguments.h"
#include "files/hdf5_file.h"
#include "files/hdf5_recording.h"
#include "support/python_client.h"
#include "support/temp_dir.h"

namespace tavril::cli {
namespace {

using testing::TempDir;
using Args = std::vector<std::string>;

// Channels 3 to 0 at 1,250,000 conversions per second, as `record
// --channels 0-3 --rate 1250000` plans them: 312,500 scans per second.
const AcquisitionPlan kPlan = [] {
  ChannelTable table{};
  for (ChannelRecord& record : table) record.rate = 1'250'000.0, record.gain = 1;
  return *PlanAcquisition(table, {true, true, true, true}, 0.0, DefaultBoardConfig());
}();

// Every sample of every channel of `path` is the board's quantised signal at
// its exact time, within one LSB, and the rate is the scan rate; h5py agrees.
// Gives the samples per channel (0 on a failure).
std::uint64_t ExpectBoardSignal(const std::filesystem::path& path) {
  ChannelSet read;
  std::string why;
  EXPECT_TRUE(ReadHdf5File(path, read, &why)) << why;
  if (read.size() != 4) return 0;
  const ScanTiming timing = ScanTiming::For(kPlan.request);
  const std::size_t count = read[0].record.sampleCount();
  for (const SlotRecord& entry : read) {
    EXPECT_EQ(entry.record.rate, 312500.0);
    EXPECT_EQ(entry.record.sampleCount(), count);
    const std::size_t position = static_cast<std::size_t>(3 - entry.slot);  // scanned 3 to 0
    for (std::size_t i = 0; i < entry.record.sampleCount(); ++i) {
      const double x =
          std::clamp(SimulatedBoard::SignalVolts(entry.slot, timing.Seconds(i, position)) * 409.6,
                     -2048.0, 2047.0);
      const double expected = std::trunc(x + std::copysign(0.5, x)) / 409.6;
      if (!(std::abs(entry.record.samples()[i] - expected) <= 1.0001 / 409.6)) {
        ADD_FAILURE() << "channel " << entry.slot << " sample " << i;
        return 0;
      }
    }
  }
  EXPECT_EQ(testing::RunPython(path.parent_path(),
                               "import h5py\nf = h5py.File('rec.h5', 'r')\nprint({(len(d), "
                               "int(d.attrs['count'])) for d in f['channels'].values()})\n"),
            "{(" + std::to_string(count) + ", " + std::to_string(count) + ")}\n");
  return count;
}

std::unique_ptr<Hdf5Recording> CreateRecording(const std::filesystem::path& path) {
  std::vector<RecordingChannel> channels;  // in the scan order the run hands them over
  for (const int c : kPlan.request.channels) channels.push_back({c, "", 1, 0, 1, 312500.0, {}});
  return Hdf5Recording::Create(path, channels, nullptr);
}

TEST(ContinuousRecording, TenSecondsAtTheFullRateKeepEverySampleOnTime) {
  TempDir dir;
  auto recording = CreateRecording(dir / "rec.h5");
  SimulatedBoard board;  // paced by the steady clock
  ContinuousAcquisition run;
  ASSERT_TRUE(recording && run.Start(board, {kPlan, 1000, {}, recording.get()}));
  ContinuousSnapshot snapshot;
  do {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    run.TakeSnapshot(snapshot);
  } while (snapshot.running && snapshot.samplesRead < 3'125'000);
  run.Stop();
  run.TakeSnapshot(snapshot);
  EXPECT_EQ(snapshot.outcome->end, ContinuousEnd::kStoppedByUser) << snapshot.outcome->message;
  ASSERT_TRUE(recording->Close(nullptr));
  EXPECT_GE(snapshot.outcome->samplesRecorded, 3'125'000u);
  EXPECT_EQ(ExpectBoardSignal(dir / "rec.h5"), snapshot.outcome->samplesRecorded);
}

// Time that passes when waited for; the 50th wait (read) comes back two
// seconds late, as to a reader stalled twice as long as the board's buffer lasts.
class StallingClock : public StreamClock {
 public:
  double Now() override { return now_; }
  void WaitUntil(double seconds) override {
    now_ = std::max(now_, seconds) + (++waits_ == 50 ? 2.0 : 0.0);
  }

 private:
  double now_ = 0.0;
  int waits_ = 0;
};

TEST(ContinuousRecording, AStalledReaderEndsOnTheOverrunKeepingWhatItRead) {
  TempDir dir;
  auto recording = CreateRecording(dir / "rec.h5");
  StallingClock clock;
  SimulatedBoard board(clock);
  ContinuousAcquisition run;
  ASSERT_TRUE(recording && run.Start(board, {kPlan, 1000, {}, recording.get()}));
  run.Wait();
  ContinuousSnapshot snapshot;
  run.TakeSnapshot(snapshot);
  EXPECT_EQ(snapshot.outcome->message,
            "Le tampon de la carte a débordé : les mesures n'ont pas été lues à temps.");
  // 50 blocks of 10 ms, then what the first read after the stall gave.
  EXPECT_EQ(snapshot.outcome->samplesRecorded, 51u * 3125u);
  ASSERT_TRUE(recording->Close(nullptr));
  EXPECT_EQ(ExpectBoardSignal(dir / "rec.h5"), snapshot.outcome->samplesRecorded);
}

// Starts the built program's `record` at the full rate into dir/rec.h5, its
// errors in dir/err; files it writes stop at `fileLimit` bytes.
pid_t StartRecord(const TempDir& dir, rlim_t fileLimit = RLIM_INFINITY,
                  Args args = {"--channels", "0-3", "--rate", "1250000"}) {
  args.insert(args.begin(), {TAVRIL_CLI_PATH, "record", "--out", (dir / "rec.h5").string()});
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const std::string err = (dir / "err").string();
  const pid_t pid = ::fork();
  if (pid == 0) {
    const rlimit limit{fileLimit, fileLimit};
    ::signal(SIGXFSZ, SIG_IGN);
    if (::freopen(err.c_str(), "w", stderr) && ::freopen("/dev/null", "w", stdout) &&
        ::setrlimit(RLIMIT_FSIZE, &limit) == 0) {
      ::execv(argv[0], argv.data());
    }
    ::_exit(127);
  }
  return pid;
}

// Until a flush has left samples in dir/rec.h5: the program's reader, on a
// copy (the writer locks its file), which it reads aside first as it may meet
// half a flush. A program slow to start has not made the file yet.
bool WaitForAFlush(const TempDir& dir) {
  const auto flushed = [&dir] {
    std::error_code missing;
    if (!std::filesystem::copy_file(dir / "rec.h5", dir / "copy.h5",
                                    std::filesystem::copy_options::overwrite_existing, missing)) {
      return false;
    }
    ChannelSet seen;
    return ReadHdf5File(dir / "copy.h5", seen, nullptr) && !seen[0].record.samples().empty();
  };
  bool seen = false;
  for (int tries = 0; tries < 600 && !seen; ++tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    seen = flushed();
  }
  return seen;
}

TEST(CliRecord, AKilledRecordingKeepsEverySampleUpToItsLastFlush) {
  TempDir dir;
  const pid_t pid = StartRecord(dir);
  const bool seen = WaitForAFlush(dir);
  int status = 0;
  ::kill(pid, SIGKILL);
  ::waitpid(pid, &status, 0);
  EXPECT_TRUE(seen && WIFSIGNALED(status)) << testing::ReadFileBytes(dir / "err");
  EXPECT_GT(ExpectBoardSignal(dir / "rec.h5"), 0u);
}

TEST(CliRecord, SigtermEndsARecordingWithOutputsThroughItsOwnStop) {
  TempDir dir;
  const pid_t pid = StartRecord(
      dir, RLIM_INFINITY,
      {"--channels", "0-7", "--rate", "800000", "--gain", "-1", "--generate", "1:square:500:5"});
  ASSERT_TRUE(WaitForAFlush(dir));
  ::kill(pid, SIGTERM);
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << testing::ReadFileBytes(dir / "err");
  ChannelSet read;
  ASSERT_TRUE(ReadHdf5File(dir / "rec.h5", read, nullptr));
  ASSERT_EQ(read.size(), 8u);
  const std::span<const double> input6 = read[6].record.samples();  // output 1, directly
  EXPECT_NEAR(*std::max_element(input6.begin(), input6.end()), 5.0, 1e-9);
  EXPECT_NEAR(*std::min_element(input6.begin(), input6.end()), -5.0, 1e-9);
}

TEST(CliRecord, AFullDiskStopsTheRecordingWithAReadableFile) {
  TempDir dir;
  int status = 0;
  ::waitpid(StartRecord(dir, 24 << 20), &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
  const std::uint64_t kept = ExpectBoardSignal(dir / "rec.h5");
  EXPECT_GT(kept, 0u);
  EXPECT_EQ(testing::ReadFileBytes(dir / "err"),
            "tavril-cli: Le disque est plein : l'enregistrement s'arrête ; le fichier garde les " +
                std::to_string(kept) + " échantillons par voie écrits jusque-là.\n");
}

TEST(CliRecordArguments, ReadsTheRunAndRefusesWhatCannotBeRecorded) {
  const Args args = {"record", "--channels", "0-3", "--rate", "1e6", "--out", "r.h5"};
  Args full = args;
  full.insert(full.end(), {"--duration", "2.5", "--trigger", "2:-0.5:falling"});
  EXPECT_EQ(
      ParseArguments(full).command.record,
      (RecordRequest{0, 3, 1e6, 0, 1, 2.5, RecordTrigger{2, -0.5, TriggerEdge::kFalling}, "r.h5"}));
  for (const char* bad : {"--duration=0", "--trigger=4:1", "--trigger=1", "--trigger=1:1:up",
                          "--rate=-5", "--count=3"}) {
    Args refused = args;
    refused.push_back(bad);
    EXPECT_FALSE(ParseArguments(refused).ok()) << bad;
  }
}

}  // namespace
}  // namespace tavril::cli
