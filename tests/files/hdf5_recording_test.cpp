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

// 12-bit readings at 5/1024 V each: volts exact in binary.
ReadingConversion TwelveBits() {
  ReadingConversion conversion;
  conversion.scale.fullScaleReading = 2048.0;
  conversion.scale.fullScaleVolts = 10.0;
  conversion.scale.lowestReading = -2048;
  conversion.scale.highestReading = 2047;
  return conversion;
}

BoardReading Code(std::uint64_t i, int slot) {
  return static_cast<BoardReading>(i % 1000) - 500 - 10 * slot;
}

double Sample(std::uint64_t i, int slot) {
  return Code(i, slot) * (5.0 / 1024.0);
}

// Appends the readings of scans [from, to), scan after scan, for two channels.
bool AppendCodes(Hdf5Recording& recording, std::span<const BoardReading> readings,
                 std::string* why = nullptr) {
  static const ReadingConversion conversion = TwelveBits();
  const std::vector<double> volts(readings.size() / 2);
  const std::span<const double> columns[] = {volts, volts};
  return recording.Append({columns, readings, &conversion}, why);
}

bool AppendRange(Hdf5Recording& recording, std::uint64_t from, std::uint64_t to,
                 std::string* why = nullptr) {
  std::vector<BoardReading> readings;
  for (std::uint64_t i = from; i < to; ++i)
    readings.push_back(Code(i, 2)), readings.push_back(Code(i, 5));
  return AppendCodes(recording, readings, why);
}

// Reads the file with ReadHdf5File, and h5py once no writer holds it; both
// must find `count` samples per channel (at least `count` when `atLeast`),
// each as written, h5py through the line the README gives.
void CheckFile(const TempDir& dir, std::uint64_t count, bool atLeast, bool writerGone = true) {
  ChannelSet read;
  std::string why;
  ASSERT_TRUE(ReadHdf5File(dir / "rec.h5", read, &why)) << why;
  ASSERT_EQ(read.size(), 2u);
  const std::uint64_t found = read[0].record.sampleCount();
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
        volts = numpy.polynomial.polynomial.polyval(d[:a['count']] - a['code_origin'], a['volts_coefficients'])
        i = numpy.arange(a['count'])
        same = numpy.array_equal(volts, (i % 1000 - 500 - 10 * a['slot']) * (5 / 1024))
        level = f['overview'][name]['level_0'][...]
        blocks = volts[:len(level) * 512].reshape(-1, 512)
        nodes = len(level) == a['count'] // 512 and numpy.array_equal(level[:, 0], blocks.min(1))
        print(name, d.dtype, a['slot'], a['rate'], same, nodes, a['mean'] == numpy.sum(volts) / len(volts))
)"),
            "channel_2 int16 2 1000.0 True True True\nchannel_5 int16 5 1000.0 True True True\n");
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
  EXPECT_GT(recording->BytesOnDisk(), at * 4);
  ASSERT_TRUE(recording->Close(&why)) << why;
  CheckFile(dir, at, false);
  EXPECT_FALSE(AppendRange(*recording, 0, 1));
  ASSERT_TRUE(FreeDiskBytes(dir / "not_yet.h5").has_value());
  EXPECT_GT(*FreeDiskBytes(dir.path()), 0u);
}

TEST(Hdf5Recording, TheRateTheBoardRunsAtReplacesTheOneAsked) {
  TempDir dir;
  auto recording = Hdf5Recording::Create(dir / "rec.h5", kChannels, nullptr);
  ASSERT_TRUE(recording && recording->Started(1250.0, TwelveBits(), nullptr) &&
              AppendRange(*recording, 0, 10) && recording->Close(nullptr));
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
    EXPECT_TRUE(!started || recording->Started(1250.0, TwelveBits(), nullptr));
    ASSERT_TRUE(recording->Close(nullptr));
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"rec.h5"});
    ChannelSet read;
    EXPECT_EQ(ReadHdf5File(dir / "rec.h5", read, nullptr), started);
  }
}

TEST(Hdf5Recording, StatisticsAreThoseOfEverySampleAppended) {
  // Pieces appended one after the other: ties keep their first sample.
  const std::vector<std::vector<BoardReading>> cases[] = {
      {{1, 5, 3, 5, -2}, {7, 7, -2, 0}, {-9, 1}},
      {{0, 0, 0}, {0}},
      {{2, 3}, {1, 4, 0}, {8, -1}},
  };
  for (const auto& pieces : cases) {
    TempDir dir;
    auto recording = Hdf5Recording::Create(dir / "rec.h5", kChannels, nullptr);
    ASSERT_TRUE(recording);
    std::vector<double> all;
    for (const std::vector<BoardReading>& piece : pieces) {
      std::vector<BoardReading> both;
      for (const BoardReading code : piece) both.push_back(code), both.push_back(code);
      ASSERT_TRUE(AppendCodes(*recording, both));
      for (const BoardReading code : piece) all.push_back(code * (5.0 / 1024.0));
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

// In a child: the library leaks when it closes a file stopped on a failure.
TEST(Hdf5Recording, ACodeBeyondTheBoardsRangeStopsItWithWhatCameBeforeKept) {
  TempDir dir;
  int from = -1;
  const pid_t pid = Fork(from, [&dir](int out) {
    auto recording = Hdf5Recording::Create(dir / "rec.h5", kChannels, nullptr);
    const BoardReading beyond[] = {5, 6, 7, 4096};
    std::string why;
    if (!recording || !AppendRange(*recording, 0, 700) || AppendCodes(*recording, beyond, &why))
      return;
    recording->Close(nullptr);
    (void)!::write(out, why.data(), why.size());
  });
  ASSERT_GT(pid, 0);
  std::string why(500, '\0');
  why.resize(static_cast<std::size_t>(std::max<ssize_t>(0, ::read(from, why.data(), 500))));
  ::waitpid(pid, nullptr, 0);
  ::close(from);
  EXPECT_EQ(why,
            "La carte a donné un code hors de son étendue (-2048 à 2047) : l'enregistrement "
            "s'arrête ; le fichier garde les 700 échantillons par voie écrits jusque-là.");
  CheckFile(dir, 700, false);
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
