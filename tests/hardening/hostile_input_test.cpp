// Hostile files: whatever a file claims or holds, loading ends in the failure
// path or a clear refusal, allocates no more than the machine can hold, and
// takes time in proportion to the file's size.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "cli_arguments.h"
#include "config/config_file.h"
#include "files/channel_file.h"
#include "model/allocation.h"
#include "model/board_config.h"
#include "model/channel_record.h"
#include "support/record_checks.h"
#include "support/temp_dir.h"

namespace tavril {
namespace {

using testing::SetSamples;

using testing::TempDir;
using testing::WriteFileBytes;

std::string Header(std::string_view count, std::string_view title = "Essai") {
  const std::string end = "\xA7\r\n";
  return "Titre = " + std::string(title) + end + "Device = 1" + end + "Chan = 0" + end +
         "Gain = 1" + end + "Count = " + std::string(count) + end + "Rate = 1000" + end +
         "Tableau :\r\n";
}

ChannelRecord Untouched() {
  ChannelRecord record;
  record.title = "avant";
  SetSamples(record, {1.0, 2.0});
  record.SetCount(2);
  return record;
}

// Loads `path` into a record that must come out untouched, and returns the
// allocation requests made and the seconds taken.
struct Refusal {
  int requests = 0;
  double seconds = 0.0;
};

Refusal ExpectRefused(const std::filesystem::path& path) {
  ChannelRecord record = Untouched();
  ScopedAllocationFailure counter(INT_MAX);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(0, LoadChannelFile(path, record));
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  testing::ExpectSameRecord(record, Untouched());
  return {counter.requests(), elapsed.count()};
}

// Generous for a sanitizer build on a busy machine; a reader that went over
// its input more than a few times, or quadratically, would take minutes.
constexpr double kSecondsFor16MiB = 20.0;
constexpr std::size_t k16MiB = std::size_t{16} << 20;

// A list shorter than its count leaves zeros, whatever the file's size; a
// count memory cannot hold is refused, asked for once and never granted.
TEST(HostileDataFile, ACountIsBoundedByMemoryNotByTheFilesSize) {
  TempDir dir;
  const ScopedMemoryLimit memory(std::size_t{1} << 20);
  for (const char* count : {"4294967295", "1000000"}) {
    WriteFileBytes(dir / "f.tvr", Header(count) + "1 2 3 \xA7");
    EXPECT_EQ(1, ExpectRefused(dir / "f.tvr").requests) << count;
  }
  WriteFileBytes(dir / "f.tvr", Header("100000") + "1 2 3 \xA7");
  ChannelRecord record;
  ASSERT_EQ(1, LoadChannelFile(dir / "f.tvr", record));
  ASSERT_EQ(100000u, record.sampleCount());
  EXPECT_EQ(3.0, record.samples()[2]);
  EXPECT_EQ(0.0, record.samples().back());
}

TEST(HostileDataFile, AFileLargerThanMemoryIsRefusedWithoutReadingIt) {
  // A sparse file: its size is taken from the file system, its holes cost
  // nothing, and 4294967295 samples need more than this machine's memory.
  const double memory =
      static_cast<double>(::sysconf(_SC_PHYS_PAGES)) * static_cast<double>(::sysconf(_SC_PAGESIZE));
  if (memory >= 4294967295.0 * sizeof(double)) GTEST_SKIP() << "the machine holds the count";
  TempDir dir;
  const auto path = dir / "huge.tvr";
  WriteFileBytes(path, Header("4294967295"));
  const int fd = ::open(path.c_str(), O_WRONLY);
  ASSERT_LE(0, fd);
  const bool sparse = ::ftruncate(fd, off_t{48} << 30) == 0;
  ::close(fd);
  if (!sparse) GTEST_SKIP() << "no sparse files here";
  const Refusal refusal = ExpectRefused(path);
  EXPECT_EQ(1, refusal.requests);  // asked for and refused, never granted
  EXPECT_LT(refusal.seconds, 1.0);
}

TEST(HostileDataFile, LargeDamagedFilesEndInTheFailurePathInProportionalTime) {
  std::mt19937 random(12345);
  std::string garbage(k16MiB, '\0');
  for (char& c : garbage) c = static_cast<char>(random());
  struct Case {
    const char* name;
    std::string bytes;
  };
  const std::string claimAll = Header(std::to_string(k16MiB / 2));
  const Case cases[] = {
      {"binary garbage", garbage},
      {"only terminators", std::string(k16MiB, '\xA7')},
      {"no terminator in the title", "Titre = " + std::string(k16MiB, 'x')},
      {"one value of 16 MiB digits", claimAll + std::string(k16MiB, '7')},
      {"16 MiB of NULs as the list", claimAll + std::string(k16MiB, '\0')},
      {"values but no terminator",
       [&] {
         std::string list = claimAll;
         while (list.size() < k16MiB) list += "1.5 ";
         return list;
       }()},
      {"more values than the count", Header("10") + std::string(k16MiB, ' ')},
  };
  TempDir dir;
  for (const Case& c : cases) {
    WriteFileBytes(dir / "f.tvr", c.bytes);
    const Refusal refusal = ExpectRefused(dir / "f.tvr");
    EXPECT_LE(refusal.requests, 1) << c.name;
    EXPECT_LT(refusal.seconds, kSecondsFor16MiB) << c.name;
  }
}

// The reader takes the file in 1 MiB pieces; a value cut by the end of a
// piece must read as the same number. Shifting the list by one byte at a
// time puts the cut at every position of a value.
TEST(HostileDataFile, ValuesCutByTheReadBufferReadWhole) {
  const std::string values[] = {
      "-123.456789012345", "0.000000000001", "1e-5", "nan", "98765432109876543210", "-0"};
  const double expected[] = {-123.456789012345, 1e-12, 1e-5, 0.0, 98765432109876543210.0, -0.0};
  TempDir dir;
  for (std::size_t shift = 0; shift < 24; ++shift) {
    const std::string header = Header("120000", std::string(shift, 't'));
    std::string list;
    std::vector<double> want;
    for (std::size_t i = 0; want.size() < 120000; ++i) {
      list += values[i % 6] + ' ';
      want.push_back(expected[i % 6]);
    }
    WriteFileBytes(dir / "f.tvr", header + list + "\xA7");
    ChannelRecord record;
    ASSERT_EQ(1, LoadChannelFile(dir / "f.tvr", record)) << shift;
    ASSERT_EQ(want.size(), record.sampleCount());
    for (std::size_t i = 0; i < want.size(); ++i) {
      if (i % 6 == 3) {
        ASSERT_TRUE(std::isnan(record.samples()[i])) << shift << ", " << i;
      } else {
        ASSERT_EQ(want[i], record.samples()[i]) << shift << ", " << i;
        ASSERT_EQ(std::signbit(want[i]), std::signbit(record.samples()[i])) << shift << ", " << i;
      }
    }
  }
}

TEST(HostileConfigFile, LargeDamagedFilesEndInTheFailurePathQuickly) {
  const std::string header = "[Tavril]\r\nInput Mode =";
  std::mt19937 random(54321);
  std::string garbage(k16MiB, '\0');
  for (char& c : garbage) c = static_cast<char>(random());
  const std::string cases[] = {
      garbage,
      std::string(k16MiB, ';'),
      header + std::string(k16MiB, '1'),
      std::string(k16MiB, '\0'),
  };
  TempDir dir;
  BoardConfig config = DefaultBoardConfig();
  config.htmlViewer = "kept";
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    WriteFileBytes(dir / kConfigFileName, cases[i]);
    BoardConfig read = config;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(0, ReadConfigFile(read, dir.path())) << i;
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(config, read) << i;
    EXPECT_LT(elapsed.count(), 1.0) << i;  // at most one value's bytes are read
  }
}

TEST(HostileArguments, LongAndManyArgumentsAreRefusedInProportionalTime) {
  std::vector<std::string> many(200000, "--json");
  many.insert(many.begin(), "info");
  std::vector<std::string> longOnes = {
      "acquire", "--channels", std::string(k16MiB / 4, '7'), "--out",
      "x",       "--title",    std::string(k16MiB / 4, 'T')};
  const auto start = std::chrono::steady_clock::now();
  const cli::ParsedArguments manyParsed = cli::ParseArguments(many);
  const cli::ParsedArguments longParsed = cli::ParseArguments(longOnes);
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_FALSE(manyParsed.ok());  // info without its file
  EXPECT_FALSE(longParsed.ok());  // no such channel
  EXPECT_LT(elapsed.count(), kSecondsFor16MiB);
}

}  // namespace
}  // namespace tavril
