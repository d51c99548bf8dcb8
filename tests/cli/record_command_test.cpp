#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "cli_arguments.h"
#include "files/hdf5_file.h"
#include "files/isolated_check.h"
#include "support/recorded_signal.h"
#include "support/temp_dir.h"

namespace tavril::cli {
namespace {

using testing::ReadFileBytes;
using testing::TempDir;

// What `record --channels 0-3 --rate 1250000` asks of the simulated board.
const AcquisitionRequest kFullRate{{3, 2, 1, 0}, 1, 1'250'000.0, 0.0, 0};

// Starts the built program's `record` at the full rate into dir/rec.h5, its
// output in dir/out and dir/err; files it writes stop at `fileLimit` bytes.
pid_t StartRecord(const TempDir& dir, rlim_t fileLimit = RLIM_INFINITY) {
  std::vector<std::string> args = {
      TAVRIL_CLI_PATH, "record",  "--channels", "0-3",
      "--rate",        "1250000", "--out",      (dir / "rec.h5").string()};
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const std::string out = (dir / "out").string(), err = (dir / "err").string();
  const pid_t pid = ::fork();
  if (pid == 0) {
    const rlimit limit{fileLimit, fileLimit};
    ::signal(SIGXFSZ, SIG_IGN);
    if (!::freopen(out.c_str(), "w", stdout) || !::freopen(err.c_str(), "w", stderr) ||
        ::setrlimit(RLIMIT_FSIZE, &limit) != 0) {
      ::_exit(126);
    }
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  return pid;
}

TEST(CliRecordArguments, ReadsTheRunAndRefusesWhatCannotBeRecorded) {
  const ParsedArguments parsed =
      ParseArguments({"record", "--channels", "0-3", "--rate", "1e6", "--duration", "2.5",
                      "--trigger", "2:-0.5:falling", "--out", "r.h5", "--force"});
  ASSERT_TRUE(parsed.ok()) << parsed.error;
  EXPECT_EQ(
      parsed.command.record,
      (RecordRequest{0, 3, 1e6, 0, 1, 2.5, RecordTrigger{2, -0.5, TriggerEdge::kFalling}, "r.h5"}));
  for (const std::string bad : {"--duration=0", "--trigger=4:1", "--trigger=1", "--trigger=1:1:up",
                                "--rate=-5", "--count=3"}) {
    EXPECT_FALSE(
        ParseArguments({"record", "--channels", "0-3", "--rate", "1e6", "--out", "r.h5", bad}).ok())
        << bad;
  }
}

TEST(CliRecord, AKilledRecordingKeepsEverySampleUpToItsLastFlush) {
  TempDir dir;
  const pid_t pid = StartRecord(dir);
  ASSERT_GT(pid, 0);
  // Until a flush has left samples: the program's own reader, kept from
  // the writer's lock and in a child of its own, in case it reads half a flush.
  const auto flushed = [&dir](std::string& why) {
    ::setenv("HDF5_USE_FILE_LOCKING", "FALSE", 1);
    ChannelSet seen;
    return ReadHdf5File(dir / "rec.h5", seen, &why) && !seen[0].record.samples.empty();
  };
  bool seen = false;
  for (int tries = 0; tries < 600 && !seen; ++tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    seen = CheckInChildProcess(flushed, std::chrono::seconds(10), "HDF5", nullptr);
  }
  ::kill(pid, SIGKILL);
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFSIGNALED(status)) << ReadFileBytes(dir / "err");
  ASSERT_TRUE(seen);
  EXPECT_GT(testing::ExpectRecordedSignal(dir / "rec.h5", kFullRate), 0u);
}

TEST(CliRecord, AFullDiskStopsTheRecordingWithAReadableFile) {
  TempDir dir;
  const pid_t pid = StartRecord(dir, 24 << 20);
  ASSERT_GT(pid, 0);
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
  const std::uint64_t kept = testing::ExpectRecordedSignal(dir / "rec.h5", kFullRate);
  EXPECT_GT(kept, 0u);
  EXPECT_EQ(ReadFileBytes(dir / "err"),
            "tavril-cli: Le disque est plein : l'enregistrement s'arrête ; le fichier garde les " +
                std::to_string(kept) + " échantillons par voie écrits jusque-là.\n");
}

}  // namespace
}  // namespace tavril::cli
