#include "files/file_writer.h"
#include "files/blocks_in_order.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <climits>
#include <cstdio>
#include <string>

#include "support/scoped_environment.h"
#include "support/temp_dir.h"

namespace tavril {
namespace {

using testing::ReadFileBytes;
using testing::TempDir;
using testing::WriteFileBytes;
namespace fs = std::filesystem;
using Names = std::vector<std::string>;

TEST(AtomicFileWriter, ReplacesTheTargetOnlyOnCommit) {
  TempDir dir;
  const auto target = dir / "f.txt";
  WriteFileBytes(target, "old");
  AtomicFileWriter writer;
  ASSERT_TRUE(writer.Open(target));
  writer.Append("new content");
  EXPECT_EQ("old", ReadFileBytes(target));
  EXPECT_EQ(2u, dir.Entries().size());  // the target and the temporary beside it
  ASSERT_TRUE(writer.Commit());
  EXPECT_EQ("new content", ReadFileBytes(target));
  EXPECT_EQ(std::vector<std::string>{"f.txt"}, dir.Entries());
}

TEST(AtomicFileWriter, LeavesNothingBehindWithoutCommit) {
  TempDir dir;
  {
    AtomicFileWriter writer;
    ASSERT_TRUE(writer.Open(dir / "new.txt"));
    writer.Append("lost");
  }
  EXPECT_TRUE(dir.Entries().empty());
  WriteFileBytes(dir / "kept.txt", "kept");
  AtomicFileWriter writer;
  ASSERT_TRUE(writer.Open(dir / "kept.txt"));
  writer.Append("lost");
  writer.Discard();
  EXPECT_EQ("kept", ReadFileBytes(dir / "kept.txt"));
  EXPECT_EQ(std::vector<std::string>{"kept.txt"}, dir.Entries());
}

TEST(AtomicFileWriter, WritesContentLargerThanItsBuffer) {
  TempDir dir;
  std::string expected;
  AtomicFileWriter writer;
  ASSERT_TRUE(writer.Open(dir / "big"));
  for (int i = 0; i < 300000; ++i) {
    const std::string line = std::to_string(i) + "\r\n";
    char* out = writer.Reserve(line.size());
    std::copy(line.begin(), line.end(), out);
    writer.Advance(out + line.size());
    expected += line;
  }
  // More than the whole buffer at once, and past where written pages are let go.
  for (const char c : {'x', 'y', 'z'}) {
    writer.Append(std::string(30 << 20, c));
    expected += std::string(30 << 20, c);
  }
  ASSERT_TRUE(writer.Commit());
  EXPECT_TRUE(expected == ReadFileBytes(dir / "big"));
}

TEST(AtomicFileWriter, ALibraryWritesTheHandedOverFileWhileItsPagesAreLetGo) {
  TempDir dir;
  AtomicFileWriter writer;
  ASSERT_TRUE(writer.Open(dir / "lib.bin"));
  std::FILE* file = std::fopen(writer.HandOverPath().c_str(), "wb");
  ASSERT_NE(file, nullptr);
  std::string expected;
  for (int part = 0; part < 5; ++part) {
    const std::string block(20 << 20, static_cast<char>('a' + part));
    ASSERT_EQ(std::fwrite(block.data(), 1, block.size(), file), block.size());
    std::fflush(file);
    expected += block;
    EXPECT_TRUE(writer.ReleaseHandedOverPages(part % 2 == 0));
  }
  ASSERT_EQ(std::fclose(file), 0);
  ASSERT_TRUE(writer.Commit());
  EXPECT_TRUE(expected == ReadFileBytes(dir / "lib.bin"));
}

TEST(WriteBlocksInOrder, TwoThreadsWriteEveryBlockOnceAndInOrder) {
  TempDir dir;
  for (const std::size_t blocks : {0u, 1u, 2u, 5000u}) {
    AtomicFileWriter writer;
    ASSERT_TRUE(writer.Open(dir / "blocks"));
    std::string expected;
    for (std::size_t i = 0; i < blocks; ++i) expected += std::to_string(i) + ";";
    WriteBlocksInOrder(
        blocks, 16,
        [](std::size_t index, char* out) {
          const std::string text = std::to_string(index) + ";";
          return std::copy(text.begin(), text.end(), out);
        },
        writer);
    ASSERT_TRUE(writer.Commit());
    EXPECT_EQ(expected, ReadFileBytes(dir / "blocks")) << blocks;
  }
}

TEST(AtomicFileWriter, KeepsTheTargetsPermissions) {
  TempDir dir;
  const auto target = dir / "f.txt";
  WriteFileBytes(target, "old");
  ::chmod(target.c_str(), 0640);
  AtomicFileWriter writer;
  ASSERT_TRUE(writer.Open(target));
  writer.Append("new");
  ASSERT_TRUE(writer.Commit());
  struct stat info {};
  ASSERT_EQ(0, ::stat(target.c_str(), &info));
  EXPECT_EQ(0640u, info.st_mode & 0777);
}

TEST(AtomicFileWriter, RefusesWhatItCannotReplace) {
  TempDir dir;
  AtomicFileWriter writer;
  EXPECT_FALSE(writer.Open(dir / "absent" / "f.txt"));
  EXPECT_FALSE(writer.Open(dir.path()));
  EXPECT_FALSE(writer.Commit());
  EXPECT_TRUE(dir.Entries().empty());
}

TEST(AtomicFileWriter, AFailedWriteKeepsTheOldFile) {
  TempDir dir;
  const auto target = dir / "f.txt";
  WriteFileBytes(target, "old");
  AtomicFileWriter writer;
  ASSERT_TRUE(writer.Open(target));
  writer.Append(std::string(1 << 16, 'x'));
  bool committed = true;
  {
    testing::FileSizeLimit limit(1024);
    if (!limit.active()) GTEST_SKIP() << "the file size limit cannot be lowered here";
    committed = writer.Commit();
  }
  EXPECT_FALSE(committed);
  EXPECT_EQ("old", ReadFileBytes(target));
  EXPECT_EQ(std::vector<std::string>{"f.txt"}, dir.Entries());
}

TEST(AtomicFileWriter, AFixedTemporaryNameReplacesAStaleOne) {
  TempDir dir;
  WriteFileBytes(dir / "stale.$$$", "left by a crash");
  AtomicFileWriter writer;
  ASSERT_TRUE(writer.OpenWithTemporary(dir / "f.ini", "stale.$$$"));
  writer.Append("fresh");
  ASSERT_TRUE(writer.Commit());
  EXPECT_EQ("fresh", ReadFileBytes(dir / "f.ini"));
  EXPECT_EQ(std::vector<std::string>{"f.ini"}, dir.Entries());
}

bool WriteWhole(const fs::path& target, std::string_view text) {
  AtomicFileWriter writer;
  if (!writer.Open(target)) return false;
  writer.Append(text);
  return writer.Commit();
}

// Relative links are read from their own folder; a fixed temporary name goes
// beside the linked file, for the rename to stay on one file system.
TEST(AtomicFileWriter, WritesThroughSymbolicLinksAndKeepsThem) {
  TempDir dir;
  TempDir other;
  WriteFileBytes(other / "real.txt", "old");
  fs::create_symlink("real.txt", other / "hop");
  fs::create_symlink(other / "hop", dir / "link");
  fs::create_symlink(".." / other.path().filename() / "absent.txt", dir / "dangling");
  fs::create_symlink("loop", dir / "loop");
  ASSERT_TRUE(WriteWhole(dir / "dangling", "created"));
  EXPECT_FALSE(WriteWhole(dir / "loop", "nowhere"));
  AtomicFileWriter writer;
  ASSERT_TRUE(writer.OpenWithTemporary(dir / "link", "t.$$$"));
  writer.Append("through two links");
  EXPECT_EQ((Names{"absent.txt", "hop", "real.txt", "t.$$$"}), other.Entries());
  ASSERT_TRUE(writer.Commit());
  EXPECT_EQ("through two links", ReadFileBytes(other / "real.txt"));
  EXPECT_EQ("created", ReadFileBytes(other / "absent.txt"));
  EXPECT_TRUE(fs::is_symlink(dir / "link") && fs::is_symlink(dir / "dangling"));
  EXPECT_EQ((Names{"dangling", "link", "loop"}), dir.Entries());
  EXPECT_EQ((Names{"absent.txt", "hop", "real.txt"}), other.Entries());
}

// Each failing step is reported and takes the temporary away; until the copy
// begins (steps 1 to 5: create, write, fsync, open, reserve) the old content stays.
TEST(AtomicFileWriter, KeepsHardLinksAndReportsEveryFailedStep) {
  TempDir dir;
  WriteFileBytes(dir / "a", "old content");
  fs::create_hard_link(dir / "a", dir / "b");
  for (int nth = 1; nth <= 10; ++nth) {  // the 10th of 9 steps never comes
    ScopedWriteFailure failure(nth);
    EXPECT_EQ(nth == 10, WriteWhole(dir / "a", "new")) << nth;
    EXPECT_TRUE(fs::equivalent(dir / "a", dir / "b")) << nth;
    if (nth <= 5 || nth == 10) {
      EXPECT_EQ(nth == 10 ? "new" : "old content", ReadFileBytes(dir / "b")) << nth;
    }
    EXPECT_EQ((Names{"a", "b"}), dir.Entries()) << nth;
    WriteFileBytes(dir / "a", "old content");
  }
}

// A declined overwrite drops the writer before anything was written: the file
// is left as it was.
TEST(AtomicFileWriter, WritesInPlaceWhereNoFileMayBeCreated) {
  TempDir dir;
  WriteFileBytes(dir / "f.txt", "old and longer");
  ScopedNoNewFiles noNewFiles;
  EXPECT_FALSE(WriteWhole(dir / "new.txt", "no room for it"));
  AtomicFileWriter writer;
  ASSERT_TRUE(writer.Open(dir / "f.txt"));
  writer.Append("dropped");
  writer.Discard();
  EXPECT_EQ("old and longer", ReadFileBytes(dir / "f.txt"));
  ASSERT_TRUE(writer.OpenWithTemporary(dir / "f.txt", "t.$$$"));
  writer.Append("new");
  ASSERT_TRUE(writer.Commit());
  EXPECT_EQ("new", ReadFileBytes(dir / "f.txt"));
  for (int nth = 1; nth <= 7; ++nth) {  // create, open, write, truncate, fsync, close; no 7th
    ScopedWriteFailure failure(nth);
    EXPECT_EQ(nth == 7, WriteWhole(dir / "f.txt", "newer")) << nth;
  }
  EXPECT_EQ(Names{"f.txt"}, dir.Entries());
}

// A library that writes the file by its name works in the temporary; the
// target changes on Commit() only, through a link too.
TEST(AtomicFileWriter, TakesBackWhatALibraryWroteByName) {
  TempDir dir;
  WriteFileBytes(dir / "real.h5", "old");
  std::filesystem::create_symlink("real.h5", dir / "link.h5");
  for (const bool commit : {false, true}) {
    AtomicFileWriter writer;
    ASSERT_TRUE(writer.Open(dir / "link.h5"));
    const std::filesystem::path path = writer.HandOverPath();
    EXPECT_NE(path, dir / "real.h5");
    WriteFileBytes(path, "written by the library");
    EXPECT_EQ(ReadFileBytes(dir / "real.h5"), "old");
    if (commit) {
      EXPECT_TRUE(writer.Commit());
    } else {
      writer.Discard();
    }
  }
  EXPECT_EQ(ReadFileBytes(dir / "real.h5"), "written by the library");
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.h5"));
  EXPECT_EQ(dir.Entries(), (Names{"link.h5", "real.h5"}));
}

}  // namespace
}  // namespace tavril
