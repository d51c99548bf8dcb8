#include "config/config_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <clocale>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "files/file_writer.h"
#include "support/scoped_environment.h"
#include "support/temp_dir.h"

namespace tavril {
namespace {

namespace fs = std::filesystem;
using testing::FileSizeLimit;
using testing::ReadFileBytes;
using testing::ScopedLocale;
using testing::TempDir;

using testing::TestDataPath;
using testing::WriteFileBytes;

constexpr char kDefaultFile[] =
    "[Tavril]\r\nInput Mode =1;\r\nPolar =0;\r\nDevice =1;\r\nTimeOut =180;\r\n"
    "GainAdjust =1.000000;\r\nOffset =0.000000;\r\nHtml =xdg-open;";

// A record unlike anything in the test files, to show what a failed read left.
BoardConfig Sentinel() {
  BoardConfig config;
  config.device = 7;
  config.inputMode = kInputModeNonReferencedSingleEnded;
  config.polar = kPolarityUnipolar;
  config.timeOut = 42;
  config.gainAdjust = 3.25;
  config.offset = -0.5;
  config.htmlViewer = "/opt/viewer";
  return config;
}

BoardConfig WithViewer(std::string path) {
  BoardConfig config = DefaultBoardConfig();
  config.htmlViewer = std::move(path);
  return config;
}

std::string PathOfBytes(std::size_t bytes) {
  return "/" + std::string(bytes - 1, 'v');
}

void InstallDataFile(const TempDir& dir, const std::string& name) {
  fs::copy_file(TestDataPath("config/" + name), dir / kConfigFileName);
}

// The default file with the value after `key` replaced.
std::string DefaultFileWith(std::string_view key, std::string_view value) {
  const std::string_view file = kDefaultFile;
  const std::size_t start = file.find(key) + key.size();
  const std::size_t end = file.find(';', start);
  return std::string(file.substr(0, start)) + std::string(value) + std::string(file.substr(end));
}

// --- The file's bytes -------------------------------------------------------

TEST(ConfigFileText, DefaultsGiveTheKnownBytes) {
  EXPECT_EQ(ConfigFileText(DefaultBoardConfig()), kDefaultFile);
}

TEST(ConfigFileText, WindowsViewerGivesTheOriginalDefaultFile) {
  EXPECT_EQ(ConfigFileText(WithViewer("c:\\windows\\explorer.exe")),
            ReadFileBytes(TestDataPath("config/default_windows.ini")));
}

TEST(ConfigFileText, WritesEachValueInItsOwnFormat) {
  struct Case {
    BoardConfig config;
    std::string line;
  };
  std::vector<Case> cases;
  auto add = [&cases](auto change, std::string line) {
    BoardConfig config = DefaultBoardConfig();
    change(config);
    cases.push_back({config, std::move(line)});
  };
  add([](BoardConfig& c) { c.inputMode = -1; }, "\r\nInput Mode =-1;\r\n");
  add([](BoardConfig& c) { c.polar = 32767; }, "\r\nPolar =32767;\r\n");
  add([](BoardConfig& c) { c.device = -32768; }, "\r\nDevice =-32768;\r\n");
  add([](BoardConfig& c) { c.timeOut = std::numeric_limits<std::int32_t>::min(); },
      "\r\nTimeOut =-2147483648;\r\n");
  add([](BoardConfig& c) { c.gainAdjust = -2.5; }, "\r\nGainAdjust =-2.500000;\r\n");
  add([](BoardConfig& c) { c.gainAdjust = 0.0000004; }, "\r\nGainAdjust =0.000000;\r\n");
  add([](BoardConfig& c) { c.gainAdjust = 1.2345675; }, "\r\nGainAdjust =1.234568;\r\n");
  add([](BoardConfig& c) { c.offset = -0.0000004; }, "\r\nOffset =-0.000000;\r\n");
  add([](BoardConfig& c) { c.offset = 1e15; }, "\r\nOffset =1000000000000000.000000;\r\n");
  add([](BoardConfig& c) { c.htmlViewer = ""; }, "\r\nHtml =;");
  for (const Case& c : cases) {
    EXPECT_NE(ConfigFileText(c.config).find(c.line), std::string::npos) << c.line;
  }
}

// --- Writing and reading back -----------------------------------------------

TEST(ConfigFileRoundTrip, ReadsBackWhatWasWritten) {
  std::vector<BoardConfig> configs = {DefaultBoardConfig(), Sentinel()};
  BoardConfig negative = Sentinel();
  negative.device = -3;
  negative.inputMode = -32768;
  negative.polar = -1;
  negative.timeOut = -180;
  negative.gainAdjust = -1.125;
  negative.offset = -0.015625;
  configs.push_back(negative);
  BoardConfig extremes = Sentinel();
  extremes.device = 32767;
  extremes.timeOut = std::numeric_limits<std::int32_t>::max();
  extremes.gainAdjust = 1e300;
  extremes.offset = -std::numeric_limits<double>::max();
  configs.push_back(extremes);
  configs.push_back(WithViewer(PathOfBytes(kMaxHtmlViewerBytes)));
  configs.push_back(WithViewer(""));
  configs.push_back(WithViewer(" /usr/bin/my viewer =x\\y\r\n\xC3\xA9"));

  for (const BoardConfig& config : configs) {
    TempDir dir;
    ASSERT_EQ(WriteConfigFile(config, dir.path()), 1) << config.htmlViewer;
    EXPECT_EQ(ReadFileBytes(dir / kConfigFileName), ConfigFileText(config));
    BoardConfig read = Sentinel();
    EXPECT_EQ(ReadConfigFile(read, dir.path()), 1) << config.htmlViewer;
    EXPECT_EQ(read, config) << config.htmlViewer;
  }
}

TEST(ConfigFileRoundTrip, KeepsSixDecimals) {
  struct Case {
    double written;
    double read;
  };
  const Case cases[] = {
      {0.0000004, 0.0}, {2.0000004, 2.0}, {1.2345674, 1.234567}, {-0.0000004, 0.0}, {0.5, 0.5},
  };
  for (const Case& c : cases) {
    TempDir dir;
    BoardConfig config = DefaultBoardConfig();
    config.gainAdjust = c.written;
    config.offset = c.written;
    ASSERT_EQ(WriteConfigFile(config, dir.path()), 1);
    BoardConfig read;
    ASSERT_EQ(ReadConfigFile(read, dir.path()), 1);
    EXPECT_EQ(read.gainAdjust, c.read) << c.written;
    EXPECT_EQ(read.offset, c.read) << c.written;
  }
}

// --- Writer -----------------------------------------------------------------

TEST(ConfigFileWriter, LeavesOnlyTheConfigFileAfterSuccess) {
  TempDir dir;
  WriteFileBytes(dir / kConfigFileName, "old content");
  ASSERT_EQ(WriteConfigFile(DefaultBoardConfig(), dir.path()), 1);
  EXPECT_EQ(ReadFileBytes(dir / kConfigFileName), kDefaultFile);
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{kConfigFileName});
}

TEST(ConfigFileWriter, CreatesTheFileWhenThereIsNone) {
  TempDir dir;
  ASSERT_EQ(WriteConfigFile(DefaultBoardConfig(), dir.path()), 1);
  EXPECT_EQ(ReadFileBytes(dir / kConfigFileName), kDefaultFile);
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{kConfigFileName});
}

TEST(ConfigFileWriter, RefusesViewerPathsTheReaderCannotReadBack) {
  const std::string paths[] = {
      PathOfBytes(kMaxHtmlViewerBytes + 1),
      "/usr/bin/a;b",
      ";",
      std::string("/usr/bin/a\0b", 12),
  };
  for (const std::string& path : paths) {
    TempDir dir;
    WriteFileBytes(dir / kConfigFileName, "previous");
    EXPECT_EQ(WriteConfigFile(WithViewer(path), dir.path()), 0) << path.size();
    EXPECT_EQ(ReadFileBytes(dir / kConfigFileName), "previous");
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{kConfigFileName});

    TempDir empty;
    EXPECT_EQ(WriteConfigFile(WithViewer(path), empty.path()), 0);
    EXPECT_TRUE(empty.Entries().empty());
  }
}

TEST(ConfigFileWriter, FailsWithoutTheStartDirectory) {
  TempDir dir;
  EXPECT_EQ(WriteConfigFile(DefaultBoardConfig(), dir / "missing"), 0);
  EXPECT_TRUE(dir.Entries().empty());
}

TEST(ConfigFileWriter, FailsWhenTheConfigFileIsAFolder) {
  TempDir dir;
  fs::create_directory(dir / kConfigFileName);
  EXPECT_EQ(WriteConfigFile(DefaultBoardConfig(), dir.path()), 0);
  EXPECT_TRUE(fs::is_directory(dir / kConfigFileName));
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{kConfigFileName});
}

TEST(ConfigFileWriter, KeepsThePreviousFileWhenAWriteFailsPartWay) {
  TempDir dir;
  const std::string previous = ConfigFileText(Sentinel());
  WriteFileBytes(dir / kConfigFileName, previous);
  int result = -1;
  {
    FileSizeLimit limit(40);
    if (!limit.active()) GTEST_SKIP() << "the file size limit cannot be lowered here";
    result = WriteConfigFile(DefaultBoardConfig(), dir.path());
  }
  EXPECT_EQ(result, 0);
  EXPECT_EQ(ReadFileBytes(dir / kConfigFileName), previous);
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{kConfigFileName});
}

TEST(ConfigFileWriter, FailsWhenTheTemporaryNameIsAFolder) {
  TempDir dir;
  WriteFileBytes(dir / kConfigFileName, "previous");
  fs::create_directory(dir / kConfigTemporaryName);
  EXPECT_EQ(WriteConfigFile(DefaultBoardConfig(), dir.path()), 0);
  EXPECT_EQ(ReadFileBytes(dir / kConfigFileName), "previous");
  EXPECT_TRUE(fs::is_directory(dir / kConfigTemporaryName));
}

TEST(ConfigFileWriter, ReplacesALeftoverTemporaryFileWithoutFollowingIt) {
  TempDir dir;
  WriteFileBytes(dir / "elsewhere.txt", "not the configuration");
  fs::create_symlink(dir / "elsewhere.txt", dir / kConfigTemporaryName);
  ASSERT_EQ(WriteConfigFile(DefaultBoardConfig(), dir.path()), 1);
  EXPECT_EQ(ReadFileBytes(dir / kConfigFileName), kDefaultFile);
  EXPECT_EQ(ReadFileBytes(dir / "elsewhere.txt"), "not the configuration");
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{kConfigFileName, "elsewhere.txt"}));
}

TEST(ConfigFileWriter, KeepsTheFilesPermissions) {
  TempDir dir;
  WriteFileBytes(dir / kConfigFileName, "previous");
  fs::permissions(dir / kConfigFileName, fs::perms::owner_read | fs::perms::owner_write);
  ASSERT_EQ(WriteConfigFile(DefaultBoardConfig(), dir.path()), 1);
  EXPECT_EQ(fs::status(dir / kConfigFileName).permissions(),
            fs::perms::owner_read | fs::perms::owner_write);
}

// Every disk step failing, as on a file the user may not write (which
// permission bits cannot show to root, who runs the tests in CI).
TEST(ConfigFileWriter, RefusesAConfigFileThatCannotBeWritten) {
  TempDir dir;
  WriteFileBytes(dir / kConfigFileName, "previous");
  {
    const ScopedWriteFailure failure(1, true);
    EXPECT_EQ(WriteConfigFile(DefaultBoardConfig(), dir.path()), 0);
  }
  EXPECT_EQ(ReadFileBytes(dir / kConfigFileName), "previous");
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{kConfigFileName});
}

// --- Reader -----------------------------------------------------------------

TEST(ConfigFileReader, ReadsTheOriginalDefaultFile) {
  TempDir dir;
  InstallDataFile(dir, "default_windows.ini");
  BoardConfig config = Sentinel();
  ASSERT_EQ(ReadConfigFile(config, dir.path()), 1);
  EXPECT_EQ(config, WithViewer("c:\\windows\\explorer.exe"));
}

TEST(ConfigFileReader, RejectsFilesThatBreakTheLayout) {
  const char* files[] = {
      "empty.ini",                   // nothing to read
      "lf_only_lines.ini",           // the header block has no CR
      "lf_only_after_header.ini",    // the skip after a value lands inside the next key
      "keys_reordered.ini",          // device before polarity
      "polar_lower_case.ini",        // keys compare case-sensitively
      "header_upper_case.ini",       //
      "no_space_before_equals.ini",  // "Device=1;"
      "html_key_missing_space.ini",  // the last key too
      "missing_final_semicolon.ini",
      "ends_after_time_out.ini",
  };
  for (const char* file : files) {
    TempDir dir;
    InstallDataFile(dir, file);
    BoardConfig config = Sentinel();
    EXPECT_EQ(ReadConfigFile(config, dir.path()), 0) << file;
    EXPECT_EQ(config, Sentinel()) << file;
  }
}

TEST(ConfigFileReader, RejectsAMissingFile) {
  TempDir dir;
  BoardConfig config = Sentinel();
  EXPECT_EQ(ReadConfigFile(config, dir.path()), 0);
  EXPECT_EQ(ReadConfigFile(config, dir / "missing"), 0);
  EXPECT_EQ(config, Sentinel());
}

TEST(ConfigFileReader, RejectsAFolderInPlaceOfTheFile) {
  TempDir dir;
  fs::create_directory(dir / kConfigFileName);
  BoardConfig config = Sentinel();
  EXPECT_EQ(ReadConfigFile(config, dir.path()), 0);
  EXPECT_EQ(config, Sentinel());
}

TEST(ConfigFileReader, RejectsAValueOverTheLimit) {
  const std::string tooLong(kMaxConfigFieldBytes + 1, ' ');
  std::string longViewer = ConfigFileText(WithViewer(PathOfBytes(kMaxHtmlViewerBytes)));
  longViewer.insert(longViewer.size() - 1, "v");
  const std::string longDevice = DefaultFileWith("Device =", tooLong + "1");
  for (const std::string& text : {longViewer, longDevice}) {
    TempDir dir;
    WriteFileBytes(dir / kConfigFileName, text);
    BoardConfig config = Sentinel();
    EXPECT_EQ(ReadConfigFile(config, dir.path()), 0);
    EXPECT_EQ(config, Sentinel());
  }
}

TEST(ConfigFileReader, FailureAtTheLastKeyStillLeavesTheRecordUntouched) {
  // Every value before the broken end differs from the sentinel's.
  TempDir dir;
  std::string text = ConfigFileText(DefaultBoardConfig());
  text.replace(text.find("Html ="), 6, "HTML =");
  WriteFileBytes(dir / kConfigFileName, text);
  BoardConfig config = Sentinel();
  EXPECT_EQ(ReadConfigFile(config, dir.path()), 0);
  EXPECT_EQ(config.device, Sentinel().device);
  EXPECT_EQ(config.inputMode, Sentinel().inputMode);
  EXPECT_EQ(config.polar, Sentinel().polar);
  EXPECT_EQ(config.timeOut, Sentinel().timeOut);
  EXPECT_EQ(config.gainAdjust, Sentinel().gainAdjust);
  EXPECT_EQ(config.offset, Sentinel().offset);
  EXPECT_EQ(config.htmlViewer, Sentinel().htmlViewer);
}

TEST(ConfigFileReader, AcceptsTheLayoutsOddities) {
  struct Case {
    const char* file;
    BoardConfig expected;
  };
  auto changed = [](auto change) {
    BoardConfig config = DefaultBoardConfig();
    change(config);
    return config;
  };
  BoardConfig allEmpty;  // every number 0, no path
  const Case cases[] = {
      {"device_space_after_equals.ini", changed([](BoardConfig& c) { c.device = 2; })},
      {"html_space_after_equals.ini", changed([](BoardConfig& c) { c.htmlViewer = " xdg-open"; })},
      {"gain_decimal_comma.ini", changed([](BoardConfig& c) { c.gainAdjust = 1.0; })},
      {"device_65537.ini", changed([](BoardConfig& c) { c.device = 1; })},
      {"empty_values.ini", allEmpty},
      {"text_after_final_semicolon.ini", DefaultBoardConfig()},
      {"html_path_with_semicolon.ini",
       changed([](BoardConfig& c) { c.htmlViewer = "/usr/bin/a"; })},
  };
  for (const Case& c : cases) {
    TempDir dir;
    InstallDataFile(dir, c.file);
    BoardConfig config = Sentinel();
    EXPECT_EQ(ReadConfigFile(config, dir.path()), 1) << c.file;
    EXPECT_EQ(config, c.expected) << c.file;
  }
}

TEST(ConfigFileReader, KeepsNumbersToTheirFieldsWidth) {
  struct Case {
    const char* device;
    std::int16_t expected;
  };
  const Case cases[] = {
      {"65537", 1}, {"-65535", 1}, {"32768", -32768}, {"65535", -1}, {"+12x", 12}};
  for (const Case& c : cases) {
    TempDir dir;
    WriteFileBytes(dir / kConfigFileName, DefaultFileWith("Device =", c.device));
    BoardConfig config;
    ASSERT_EQ(ReadConfigFile(config, dir.path()), 1) << c.device;
    EXPECT_EQ(config.device, c.expected) << c.device;
  }
}

TEST(ConfigFileReader, EndsTheViewerPathAtANul) {
  TempDir dir;
  std::string text = kDefaultFile;
  text.insert(text.size() - 1, std::string("\0rest", 5));
  WriteFileBytes(dir / kConfigFileName, text);
  BoardConfig config;
  ASSERT_EQ(ReadConfigFile(config, dir.path()), 1);
  EXPECT_EQ(config.htmlViewer, "xdg-open");
}

// --- One value --------------------------------------------------------------

TEST(ConfigFieldReader, ReadsUpToTheSemicolonAndSkipsTwoBytes) {
  struct Case {
    std::string bytes;
    bool ok;
    std::string value;
    int nextByte;  // -1 for the end of the file
  };
  const Case cases[] = {
      {"abc;\r\nX", true, "abc", 'X'},
      {";\r\nX", true, "", 'X'},
      {"a\nb;\nXY", true, "a\nb", 'Y'},
      {"abc;", true, "abc", -1},
      {"abc;\r", true, "abc", -1},
      {std::string(kMaxConfigFieldBytes, 'v') + ";\r\nX", true,
       std::string(kMaxConfigFieldBytes, 'v'), 'X'},
      {std::string(kMaxConfigFieldBytes + 1, 'v') + ";\r\nX", false, "", 0},
      {"abc", false, "", 0},
      {"", false, "", 0},
  };
  for (const Case& c : cases) {
    TempDir dir;
    WriteFileBytes(dir / "field", c.bytes);
    ByteReader in;
    ASSERT_TRUE(in.Open(dir / "field"));
    std::string value = "stale";
    ASSERT_EQ(ReadConfigField(in, value), c.ok) << c.bytes;
    if (!c.ok) continue;
    EXPECT_EQ(value, c.value) << c.bytes;
    EXPECT_EQ(in.Get(), c.nextByte) << c.bytes;
  }
}

// --- Independence from the process locale -----------------------------------

TEST(ConfigFileLocale, FrenchLocaleKeepsTheDecimalPoint) {
  ScopedLocale french("fr_FR.UTF-8");
  if (!french.active()) GTEST_SKIP() << "the fr_FR.UTF-8 locale is not installed";
  if (std::string_view(std::localeconv()->decimal_point) != ",") {
    GTEST_SKIP() << "the fr_FR.UTF-8 locale here does not use a decimal comma";
  }

  TempDir dir;
  WriteFileBytes(dir / kConfigFileName, DefaultFileWith("GainAdjust =", "1.500000"));
  BoardConfig config;
  ASSERT_EQ(ReadConfigFile(config, dir.path()), 1);
  EXPECT_EQ(config.gainAdjust, 1.5);

  config.offset = -0.25;
  ASSERT_EQ(WriteConfigFile(config, dir.path()), 1);
  const std::string written = ReadFileBytes(dir / kConfigFileName);
  EXPECT_NE(written.find("GainAdjust =1.500000;"), std::string::npos) << written;
  EXPECT_NE(written.find("Offset =-0.250000;"), std::string::npos) << written;
}

}  // namespace
}  // namespace tavril
