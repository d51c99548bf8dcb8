#include "files/hdf5_recording.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "files/disk_space.h"
#include "files/hdf5_file.h"
#include "support/python_client.h"
#include "support/temp_dir.h"

namespace tavril {
namespace {

using testing::TempDir;

const RecordingChannel kChannels[] = {{2, "entr\xe9\x65", 0, 0, 1, 1000.0, {}},
                                      {5, "", 0, 0, 10, 1000.0, {}}};

// Exact in binary, so that numpy computes the same values.
double Sample(std::uint64_t i, int slot) {
  return static_cast<double>(i % 1000) * 0.5 - slot;
}

// Appends samples [from, to) of every channel.
bool AppendRange(Hdf5Recording& recording, std::uint64_t from, std::uint64_t to,
                 std::string* why = nullptr) {
  std::vector<double> a, b;
  for (std::uint64_t i = from; i < to; ++i) a.push_back(Sample(i, 2)), b.push_back(Sample(i, 5));
  const std::span<const double> parts[] = {a, b};
  return recording.Append(parts, why);
}

// Reads the file with ReadHdf5File, and h5py once no writer holds it; both
// must find `count` samples per channel (at least `count` when `atLeast`),
// each as written.
void CheckFile(const TempDir& dir, std::uint64_t count, bool atLeast, bool writerGone = true) {
  ChannelSet read;
  std::string why;
  ASSERT_TRUE(ReadHdf5File(dir / "rec.h5", read, &why)) << why;
  ASSERT_EQ(read.size(), 2u);
  const std::uint64_t found = read[0].record.count();
  EXPECT_TRUE(atLeast ? found >= count : found == count) << found << " " << count;
  for (const SlotRecord& entry : read) {
    EXPECT_EQ(entry.record.sampleCount(), found);
    for (std::uint64_t i = 0; i < entry.record.sampleCount(); ++i) {
      if (entry.record.samples()[i] != Sample(i, entry.slot)) {
        ADD_FAILURE() << "sample " << i;
        return;
      }
    }
  }
  EXPECT_EQ(read[1].record.gain, 10);
  EXPECT_EQ(read[0].record.title, kChannels[0].title);
  if (!writerGone || !testing::PythonHas("h5py, numpy")) return;
  EXPECT_EQ(testing::RunPython(dir.path(), R"(
import h5py, numpy
with h5py.File('rec.h5', 'r') as f:
    for name, d in f['channels'].items():
        a = d.attrs
        i = numpy.arange(len(d))
        same = numpy.array_equal(d[...], i % 1000 * 0.5 - a['slot'])
        print(name, a['slot'], a['count'] == len(d), a['rate'], same, a['mean'] == numpy.sum(d[...]) / len(d))
)"),
            "channel_2 2 True 1000.0 True True\nchannel_5 5 True 1000.0 True True\n");
}

TEST(Hdf5Recording, UnevenPiecesAreReadBackAfterEachFlushAndAfterClosing) {
  TempDir dir;
  std::string why;
  auto recording = Hdf5Recording::Create(dir / "rec.h5", kChannels, &why);
  ASSERT_TRUE(recording) << why;
  std::uint64_t at = 0;
  for (const std::uint64_t piece : {1, 7, 131063, 131072, 3, 200000, 5}) {
    ASSERT_TRUE(AppendRange(*recording, at, at + piece));
    at += piece;
    if (piece == 3 || piece == 5) {
      ASSERT_TRUE(recording->Flush(&why)) << why;
      EXPECT_EQ(recording->SamplesPerChannel(), at);
      CheckFile(dir, at, false, false);
    }
  }
  EXPECT_GT(recording->BytesOnDisk(), at * 16);
  ASSERT_TRUE(recording->Close(&why)) << why;
  CheckFile(dir, at, false);
  EXPECT_FALSE(AppendRange(*recording, 0, 1));
  ASSERT_TRUE(FreeDiskBytes(dir / "not_yet.h5").has_value());
  EXPECT_GT(*FreeDiskBytes(dir.path()), 0u);
}

TEST(Hdf5Recording, TheRateTheBoardRunsAtReplacesTheOneAsked) {
  TempDir dir;
  auto recording = Hdf5Recording::Create(dir / "rec.h5", kChannels, nullptr);
  ASSERT_TRUE(recording && AppendRange(*recording, 0, 10) && recording->SetRate(1250.0, nullptr) &&
              recording->Close(nullptr));
  ChannelSet read;
  ASSERT_TRUE(ReadHdf5File(dir / "rec.h5", read, nullptr));
  EXPECT_EQ(read[1].record.rate, 1250.0);
}

TEST(Hdf5Recording, TheFileTakesItsTargetsNameOnlyOnceTheBoardHasStarted) {
  for (const bool started : {false, true}) {
    TempDir dir;
    testing::WriteFileBytes(dir / "rec.h5", "earlier");
    auto recording = Hdf5Recording::Create(dir / "rec.h5", kChannels, nullptr);
    EXPECT_EQ(testing::ReadFileBytes(dir / "rec.h5"), "earlier");
    EXPECT_EQ(dir.Entries().size(), 2u);  // and the recording's hidden name
    EXPECT_TRUE(!started || recording->Started(1250.0, nullptr));
    ASSERT_TRUE(recording->Close(nullptr));
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"rec.h5"});
    ChannelSet read;
    EXPECT_EQ(ReadHdf5File(dir / "rec.h5", read, nullptr), started);
  }
}

TEST(Hdf5Recording, StatisticsAreThoseOfEverySampleAppended) {
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  // Pieces appended one after the other: ties keep their first sample, a
  // zero its sign, a NaN takes the minimum as in a record's own statistics.
  const std::vector<std::vector<double>> cases[] = {
      {{1, 5, 3, 5, -2}, {7, 7, -2, 0}, {-9, 1}},
      {{-0.0, 0.0, 0.0}, {-0.0}},
      {{2, 3}, {1, kNaN, 4, 0}, {8, -1}},
      {{kNaN, 1}, {2}},
  };
  for (const auto& pieces : cases) {
    TempDir dir;
    auto recording = Hdf5Recording::Create(dir / "rec.h5", kChannels, nullptr);
    ASSERT_TRUE(recording);
    std::vector<double> all;
    for (const std::vector<double>& piece : pieces) {
      const std::span<const double> parts[] = {piece, piece};
      ASSERT_TRUE(recording->Append(parts, nullptr));
      all.insert(all.end(), piece.begin(), piece.end());
    }
    ASSERT_TRUE(recording->Close(nullptr));
    ChannelSet read;
    ASSERT_TRUE(ReadHdf5File(dir / "rec.h5", read, nullptr));
    const ChannelStatistics expected = ComputeStatistics(all);
    const ChannelRecord& got = read[0].record;
    EXPECT_EQ(got.statistics().maxIndex, expected.maxIndex) << all.size();
    EXPECT_EQ(got.statistics().minIndex, expected.minIndex) << all.size();
    EXPECT_EQ(std::signbit(got.statistics().maxValue), std::signbit(expected.maxValue))
        << all.size();
    EXPECT_EQ(std::isnan(got.statistics().minValue), std::isnan(expected.minValue)) << all.size();
    if (!std::isnan(expected.mean)) {
      EXPECT_DOUBLE_EQ(got.statistics().mean, expected.mean) << all.size();
    }
  }
}

// Runs `child` in a forked process, which tells the parent numbers through a
// pipe (its reading end in `from`) and never returns into the test.
pid_t Fork(int& from, const std::function<void(int)>& child) {
  int fds[2];
  if (::pipe(fds) != 0) return -1;
  const pid_t pid = ::fork();
  if (pid == 0) child(fds[1]), ::_exit(0);
  ::close(fds[1]);
  from = fds[0];
  return pid;
}

void Tell(int fd, std::uint64_t value) {
  (void)!::write(fd, &value, sizeof value);
}

std::uint64_t Heard(int fd) {
  std::uint64_t value = 0;
  return ::read(fd, &value, sizeof value) == sizeof value ? value : 0;
}

TEST(Hdf5Recording, KilledWriterLeavesEverySampleUpToItsLastFlush) {
  TempDir dir;
  int from = -1;
  const pid_t pid = Fork(from, [&dir](int out) {
    auto recording = Hdf5Recording::Create(dir / "rec.h5", kChannels, nullptr);
    if (!recording || !AppendRange(*recording, 0, 300001) || !recording->Flush(nullptr)) return;
    Tell(out, recording->SamplesPerChannel());
    if (!AppendRange(*recording, 300001, 900000)) return;
    Tell(out, 900000);
    ::pause();
  });
  ASSERT_GT(pid, 0);
  const std::uint64_t flushed = Heard(from);
  EXPECT_EQ(Heard(from), 900000u);
  ::kill(pid, SIGKILL);
  int status = 0;
  ::waitpid(pid, &status, 0);
  ::close(from);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
  EXPECT_EQ(flushed, 300001u);
  CheckFile(dir, flushed, true);
}

TEST(Hdf5Recording, FullDiskStopsWithTheFlushedSamplesKept) {
  TempDir dir;
  int from = -1;
  const pid_t pid = Fork(from, [&dir](int out) {
    const rlimit limit{3 << 20, 3 << 20};
    ::signal(SIGXFSZ, SIG_IGN);
    auto recording = Hdf5Recording::Create(dir / "rec.h5", kChannels, nullptr);
    if (!recording || ::setrlimit(RLIMIT_FSIZE, &limit) != 0) return;
    std::string why;
    for (std::uint64_t at = 0;
         AppendRange(*recording, at, at + 50000, &why) && recording->Flush(&why); at += 50000) {
    }
    Tell(out, recording->SamplesPerChannel());
    recording->Close(nullptr);
    (void)!::write(out, why.data(), why.size());
  });
  ASSERT_GT(pid, 0);
  const std::uint64_t flushed = Heard(from);
  std::string why(500, '\0');
  why.resize(static_cast<std::size_t>(std::max<ssize_t>(0, ::read(from, why.data(), 500))));
  ::waitpid(pid, nullptr, 0);
  ::close(from);
  EXPECT_EQ(why, "Le disque est plein : l'enregistrement s'arrête ; le fichier garde les " +
                     std::to_string(flushed) + " échantillons par voie écrits jusque-là.");
  EXPECT_GT(flushed, 0u);
  CheckFile(dir, flushed, false);
}

}  // namespace
}  // namespace tavril
