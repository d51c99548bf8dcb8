// A process that dies at any moment of a write (SIGKILL: no handler, no
// clean-up) leaves each target file either its complete old content or its
// complete new content.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <random>
#include <string>
#include <thread>

#include "config/config_file.h"
#include "files/channel_file.h"
#include "model/board_config.h"
#include "model/channel_record.h"
#include "support/scripted_user.h"
#include "support/temp_dir.h"

namespace tavril {
namespace {

using testing::ReadFileBytes;
using testing::ScriptedUser;
using testing::TempDir;

ChannelRecord Version(double phase) {
  ChannelRecord record;
  record.title = "Version " + std::to_string(static_cast<int>(phase));
  record.device = 1;
  record.gain = 1;
  record.rate = 50000.0;
  std::vector<double> samples(150000);  // about 2.3 MB: three write(2) calls per save
  for (std::size_t i = 0; i < samples.size(); ++i) {
    samples[i] = std::cos(phase + static_cast<double>(i) * 1e-4);
  }
  record.TakeSamples(samples);
  return record;
}

BoardConfig ConfigVersion(std::int16_t device) {
  BoardConfig config = DefaultBoardConfig();
  config.device = device;
  config.htmlViewer = std::string(300, static_cast<char>('a' + device));
  return config;
}

// Saves the two versions in turn, forever; only SIGKILL ends it.
[[noreturn]] void WriteForever(const TempDir& dir, const ChannelRecord versions[2],
                               const BoardConfig configs[2]) {
  for (unsigned round = 1;; ++round) {
    ScriptedUser user;  // answers Yes to the overwrite question
    SaveChannelFile(user, dir / "big.tvr", versions[round % 2]);
    WriteConfigFile(configs[round % 2], dir.path());
  }
}

TEST(CrashSafety, AKilledWriterLeavesTheOldOrTheNewFileNeverAMixture) {
  const ChannelRecord versions[2] = {Version(0.0), Version(1.0)};
  const BoardConfig configs[2] = {ConfigVersion(1), ConfigVersion(2)};
  std::string dataBytes[2];
  std::string configBytes[2];
  for (int v = 0; v < 2; ++v) {
    TempDir reference;
    ScriptedUser user;
    ASSERT_EQ(SaveOutcome::kWritten, SaveChannelFile(user, reference / "big.tvr", versions[v]));
    dataBytes[v] = ReadFileBytes(reference / "big.tvr");
    configBytes[v] = ConfigFileText(configs[v]);
  }

  TempDir dir;
  {
    ScriptedUser user;
    ASSERT_EQ(SaveOutcome::kWritten, SaveChannelFile(user, dir / "big.tvr", versions[0]));
    ASSERT_EQ(1, WriteConfigFile(configs[0], dir.path()));
  }

  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  // Up to about two saves of the large record in the plain build: the kill
  // lands anywhere in the write, fsync or rename of either file.
  std::uniform_int_distribution<int> delayMicroseconds(0, 60000);
  int seen[2][2] = {};  // [file][version]
  constexpr int kKills = 40;
  for (int kill = 0; kill < kKills; ++kill) {
    const pid_t child = ::fork();
    ASSERT_NE(-1, child);
    if (child == 0) WriteForever(dir, versions, configs);
    std::this_thread::sleep_for(std::chrono::microseconds(delayMicroseconds(random)));
    ASSERT_EQ(0, ::kill(child, SIGKILL));
    int status = 0;
    ASSERT_EQ(child, ::waitpid(child, &status, 0));
    ASSERT_TRUE(WIFSIGNALED(status));

    const std::string data = ReadFileBytes(dir / "big.tvr");
    const int dataVersion = data == dataBytes[0] ? 0 : data == dataBytes[1] ? 1 : -1;
    ASSERT_NE(-1, dataVersion) << "kill " << kill << ": big.tvr is a mixture of " << data.size()
                               << " bytes";
    const std::string config = ReadFileBytes(dir / kConfigFileName);
    const int configVersion = config == configBytes[0] ? 0 : config == configBytes[1] ? 1 : -1;
    ASSERT_NE(-1, configVersion) << "kill " << kill << ": TAVRIL.INI is a mixture";
    ++seen[0][dataVersion];
    ++seen[1][configVersion];

    ChannelRecord loaded;
    ASSERT_EQ(1, LoadChannelFile(dir / "big.tvr", loaded));
    EXPECT_EQ(loaded.sampleCount(), loaded.count());
    BoardConfig read;
    ASSERT_EQ(1, ReadConfigFile(read, dir.path()));
    EXPECT_EQ(configs[configVersion].device, read.device);
  }
  std::cout << "after " << kKills << " kills: big.tvr old/new " << seen[0][0] << "/" << seen[0][1]
            << ", TAVRIL.INI " << seen[1][0] << "/" << seen[1][1] << "\n";

  // A killed process cannot remove its temporary file; the next write is not
  // hindered by it (TAVRIL.$$$ is replaced, other names are unique per process).
  ScriptedUser user;
  EXPECT_EQ(SaveOutcome::kWritten, SaveChannelFile(user, dir / "big.tvr", versions[1]));
  EXPECT_EQ(dataBytes[1], ReadFileBytes(dir / "big.tvr"));
  EXPECT_EQ(1, WriteConfigFile(configs[1], dir.path()));
  EXPECT_EQ(configBytes[1], ReadFileBytes(dir / kConfigFileName));
  EXPECT_FALSE(std::filesystem::exists(dir / kConfigTemporaryName));
}

}  // namespace
}  // namespace tavril
