#include "files/channel_file.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <bit>
#include <cmath>
#include <limits>
#include <random>
#include <string>

#include "model/allocation.h"
#include "support/record_checks.h"
#include "support/scoped_environment.h"
#include "support/scripted_user.h"
#include "support/temp_dir.h"
#include "text/number_text.h"
#include "ui/app/command_ids.h"

namespace tavril {
namespace {

using testing::Values;

using testing::SetSamples;

using testing::ExpectSameRecord;

using testing::ReadFileBytes;
using testing::ScriptedUser;
using testing::TempDir;
using testing::WriteFileBytes;

ChannelRecord MakeRecord(std::string title, std::vector<double> samples, double rate = 2500.0) {
  ChannelRecord record;
  record.title = std::move(title);
  record.device = 1;
  record.chan = 3;
  record.gain = 1;
  record.rate = rate;
  SetSamples(record, std::move(samples));
  return record;
}

// A record whose every field differs from what any test file holds.
ChannelRecord SentinelRecord() {
  ChannelRecord record = MakeRecord("ancien", {7.0, 8.0}, 50.0);
  record.device = 9;
  record.chan = 6;
  record.gain = 4;
  return record;
}

std::string Header(const std::string& count, const std::string& title = "Essai") {
  return "Titre = " + title +
         "\xA7\r\nDevice = 1\xA7\r\nChan = 3\xA7\r\nGain = 1\xA7\r\nCount = " + count +
         "\xA7\r\nRate = 2500\xA7\r\nTableau :\r\n";
}

const std::string kWorkedExample =
    Header("3") + "0.500000000000 -0.250000000000 1.000000000000 \xA7";

class ChannelFileTest : public ::testing::Test {
 protected:
  // Saves with a scripted user and returns the file's bytes.
  std::string SaveAndRead(const ChannelRecord& record) {
    const auto path = dir_ / "essai.tvr";
    ScriptedUser user;
    EXPECT_EQ(SaveOutcome::kWritten, SaveChannelFile(user, path, record));
    EXPECT_TRUE(user.boxes().empty());
    return ReadFileBytes(path);
  }

  int LoadBytes(const std::string& bytes, ChannelRecord& record) {
    const auto path = dir_ / "input.tvr";
    WriteFileBytes(path, bytes);
    return LoadChannelFile(path, record);
  }

  TempDir dir_;
};

TEST_F(ChannelFileTest, WritesTheWorkedExampleByteForByte) {
  EXPECT_EQ(kWorkedExample, SaveAndRead(MakeRecord("Essai", {0.5, -0.25, 1.0})));
}

TEST_F(ChannelFileTest, WritesHeaderFieldsInTheirFormats) {
  ChannelRecord record = MakeRecord("", {-0.0000000000004}, 1234.6);
  record.gain = -1;
  record.device = -32768;
  const std::string bytes = SaveAndRead(record);
  EXPECT_EQ(
      "Titre = \xA7\r\nDevice = -32768\xA7\r\nChan = 3\xA7\r\nGain = -1\xA7\r\nCount = 1\xA7\r\n"
      "Rate = 1235\xA7\r\nTableau :\r\n-0.000000000000 \xA7",
      bytes);
}

TEST_F(ChannelFileTest, WritesAnEmptyRecordWithoutTerminator) {
  EXPECT_EQ(Header("0"), SaveAndRead(MakeRecord("Essai", {})));
}

TEST_F(ChannelFileTest, WritesTheSampleCountARecordWithoutSamplesReallyHolds) {
  ChannelRecord reset = MakeRecord("Essai", {});
  reset.SetCount(1000);  // the reset state describes points that were never acquired
  EXPECT_EQ(Header("0"), SaveAndRead(reset));
}

TEST_F(ChannelFileTest, WritesATerminatorInTheTitleAsAQuestionMark) {
  const ChannelRecord record = MakeRecord(
      "Mesure \xA7"
      "3",
      {1.0});
  const std::string bytes = SaveAndRead(record);
  EXPECT_EQ(0u, bytes.find("Titre = Mesure ?3\xA7\r\n"));
  ChannelRecord loaded;
  ASSERT_EQ(1, LoadChannelFile(dir_ / "essai.tvr", loaded));
  EXPECT_EQ("Mesure ?3", loaded.title);
  EXPECT_EQ(std::vector<double>{1.0}, Values(loaded));
}

TEST_F(ChannelFileTest, IgnoresTheProcessLocale) {
  testing::ScopedLocale french(testing::kFrenchLocale);
  if (!french.active()) GTEST_SKIP() << testing::kNoFrenchLocale;
  EXPECT_EQ(kWorkedExample, SaveAndRead(MakeRecord("Essai", {0.5, -0.25, 1.0})));
  ChannelRecord loaded;
  ASSERT_EQ(1, LoadChannelFile(dir_ / "essai.tvr", loaded));
  EXPECT_EQ((std::vector<double>{0.5, -0.25, 1.0}), Values(loaded));
}

TEST_F(ChannelFileTest, RoundTripsEveryHeaderFieldAndSample) {
  std::mt19937_64 random(5);
  std::uniform_real_distribution<double> volts(-10.0, 10.0);
  std::vector<double> samples(5000);
  for (double& sample : samples) sample = volts(random);
  const double inf = std::numeric_limits<double>::infinity();
  samples.insert(samples.end(), {inf, -inf, std::numeric_limits<double>::quiet_NaN(), -0.0, 1e300});
  ChannelRecord record = MakeRecord("l'entrée\r\nligne 2 \xE9\xE8", samples, 100000.0);
  record.gain = -1;
  record.chan = 15;
  SaveAndRead(record);

  ChannelRecord loaded;
  ASSERT_EQ(1, LoadChannelFile(dir_ / "essai.tvr", loaded));
  EXPECT_EQ(record.title, loaded.title);
  EXPECT_EQ(record.gain, loaded.gain);
  EXPECT_EQ(record.chan, loaded.chan);
  EXPECT_EQ(record.count(), loaded.count());
  EXPECT_EQ(record.rate, loaded.rate);
  ASSERT_EQ(samples.size(), loaded.sampleCount());
  for (std::size_t i = 0; i < samples.size(); ++i) {
    // What comes back is the written text read as a number, bit for bit.
    const double expected = ParseSampleValue(FormatFixed(samples[i], 12)).value;
    if (std::isnan(expected)) {
      EXPECT_TRUE(std::isnan(loaded.samples()[i])) << i;
    } else {
      EXPECT_EQ(std::bit_cast<std::uint64_t>(expected),
                std::bit_cast<std::uint64_t>(loaded.samples()[i]))
          << i;
    }
  }
  EXPECT_TRUE(std::signbit(loaded.samples()[5003]));
}

// A rate beyond the double's range reads as an infinity: written "inf", it
// must read back so, or saving a loaded file would change it.
TEST_F(ChannelFileTest, RoundTripsARateThatIsNotFinite) {
  for (const double rate :
       {std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()}) {
    SaveAndRead(MakeRecord("t", {1.0}, rate));
    ChannelRecord loaded;
    ASSERT_EQ(1, LoadChannelFile(dir_ / "essai.tvr", loaded));
    EXPECT_EQ(loaded.rate, rate);
    std::filesystem::remove(dir_ / "essai.tvr");
  }
}

// "%.0f" while the rate's digits fit a header value, the exponent form beyond.
TEST_F(ChannelFileTest, WritesARateTooLongForFixedDigitsInExponentForm) {
  const std::pair<double, std::string> cases[] = {
      {-1e253, FormatFixed(-1e253, 0)}, {1e268, "1e+268"}, {-1e255, "-1e+255"}};
  for (const auto& [rate, text] : cases) {
    std::filesystem::remove(dir_ / "essai.tvr");
    EXPECT_NE(SaveAndRead(MakeRecord("t", {1.0}, rate)).find("Rate = " + text + "\xA7"),
              std::string::npos);
    ChannelRecord loaded;
    ASSERT_EQ(1, LoadChannelFile(dir_ / "essai.tvr", loaded)) << text;
    EXPECT_EQ(loaded.rate, rate);
  }
}

TEST_F(ChannelFileTest, RoundTripsTheLongestTitle) {
  const ChannelRecord record = MakeRecord(std::string(kMaxTitleBytes, 'x'), {1.0});
  SaveAndRead(record);
  ChannelRecord loaded;
  ASSERT_EQ(1, LoadChannelFile(dir_ / "essai.tvr", loaded));
  EXPECT_EQ(record.title, loaded.title);
}

TEST_F(ChannelFileTest, LoadsTheWorkedExample) {
  ChannelRecord loaded = SentinelRecord();
  ASSERT_EQ(1, LoadBytes(kWorkedExample, loaded));
  ExpectSameRecord(MakeRecord("Essai", {0.5, -0.25, 1.0}), loaded);
}

// How the reader takes the lenient parts of the format.
struct LenientCase {
  const char* name;
  std::string bytes;
  std::uint32_t count;
  double rate;
  std::vector<double> samples;
};

TEST_F(ChannelFileTest, ReadsLenientFilesAsTheFormatDefines) {
  const LenientCase cases[] = {
      {"two spaces store an extra zero", Header("3") + "1  2 \xA7", 3, 2500, {1, 0, 2}},
      {"a value glued to the terminator is lost", Header("3") + "1 2 3\xA7", 3, 2500, {1, 2, 0}},
      {"fewer values than the count leave zeros", Header("2") + "1 \xA7", 2, 2500, {1, 0}},
      {"a count far beyond the values the file holds",
       Header("10") + "1.0 2.0 \xA7",
       10,
       2500,
       {1, 2, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"hexadecimal is not a number", Header("2") + "0x10 1e1 \xA7", 2, 2500, {0, 10}},
      {"a line break before a value is skipped", Header("2") + "1 \r\n2 \xA7", 2, 2500, {1, 2}},
      {"a line break after a value ends its number",
       Header("2") + "1\r\n5 2 \xA7",
       2,
       2500,
       {1, 2}},
      {"a count with decimals is truncated", Header("3.9") + "1 2 3 \xA7", 3, 2500, {1, 2, 3}},
      {"the writer's empty record", Header("0"), 0, 2500, {}},
      {"an empty list with its terminator", Header("0") + "\xA7", 0, 2500, {}},
      {"anything after the terminator is not read", Header("1") + "1 \xA7garbage", 1, 2500, {1}},
      {"non-finite values",
       Header("3") + "inf -inf nan \xA7",
       3,
       2500,
       {std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(), 0.0}},
      {"a hand-edited rate keeps its decimals",
       "Titre = Essai\xA7\r\nDevice = 1\xA7\r\nChan = 3\xA7\r\nGain = 1\xA7\r\nCount = 1\xA7\r\n"
       "Rate = 2500.4\xA7\r\nTableau :\r\n1 \xA7",
       1,
       2500.4,
       {1}},
  };
  for (const LenientCase& c : cases) {
    ChannelRecord loaded = SentinelRecord();
    ASSERT_EQ(1, LoadBytes(c.bytes, loaded)) << c.name;
    EXPECT_EQ(c.count, loaded.count()) << c.name;
    EXPECT_EQ(c.rate, loaded.rate) << c.name;
    ASSERT_EQ(c.samples.size(), loaded.sampleCount()) << c.name;
    for (std::size_t i = 0; i < c.samples.size(); ++i) {
      if (std::string(c.name) == "non-finite values" && i == 2) {
        EXPECT_TRUE(std::isnan(loaded.sample(i)));
      } else {
        EXPECT_EQ(c.samples[i], loaded.sample(i)) << c.name << " at " << i;
      }
    }
  }
}

// Values in every form a hand-edited list may hold read as the general
// decimal conversion reads them, whichever path the reader takes.
TEST_F(ChannelFileTest, ReadsEveryValueFormAsTheDecimalConversionDoes) {
  const std::vector<std::string> texts = {"0.5",
                                          "-0.25",
                                          ".5",
                                          "5.",
                                          "-.5",
                                          "-",
                                          ".",
                                          "1.2.3",
                                          "+1.5",
                                          "1e3",
                                          "0x10",
                                          "9007199254740992",
                                          "9007199254740993",
                                          "18446744073709551616",
                                          "0000000000000000000001.5",
                                          "1.00000000000000000000001",
                                          "123456789.123456789012",
                                          "-0.000000000000",
                                          "\r\n7.25",
                                          "7.25\r\n8"};
  std::string list;
  for (const std::string& text : texts) list += text + " ";
  ChannelRecord loaded;
  ASSERT_EQ(1, LoadBytes(Header(std::to_string(texts.size())) + list + "\xA7", loaded));
  ASSERT_EQ(texts.size(), loaded.sampleCount());
  for (std::size_t i = 0; i < texts.size(); ++i) {
    const double expected = ParseSampleValue(texts[i]).value;
    EXPECT_EQ(std::bit_cast<std::uint64_t>(expected),
              std::bit_cast<std::uint64_t>(loaded.samples()[i]))
        << texts[i];
  }
}

TEST_F(ChannelFileTest, ReadsNegativeZeroAndNegativeGain) {
  ChannelRecord loaded;
  std::string bytes = Header("1") + "-0.000000000000 \xA7";
  bytes.replace(bytes.find("Gain = 1"), 8, "Gain = -1");
  ASSERT_EQ(1, LoadBytes(bytes, loaded));
  EXPECT_EQ(-1, loaded.gain);
  EXPECT_TRUE(std::signbit(loaded.samples()[0]));
}

TEST_F(ChannelFileTest, KeepsLineBreaksAndNulFreeTitles) {
  ChannelRecord loaded;
  ASSERT_EQ(1, LoadBytes(Header("0", "ligne 1\r\nligne 2"), loaded));
  EXPECT_EQ("ligne 1\r\nligne 2", loaded.title);
  ASSERT_EQ(1, LoadBytes(Header("0", std::string("avant\0apres", 11)), loaded));
  EXPECT_EQ("avant", loaded.title);
}

// Files that break the format are refused and leave the record as it was.
TEST_F(ChannelFileTest, RefusesDamagedFilesAndLeavesTheRecordUntouched) {
  std::string wrongGainLabel = kWorkedExample;
  wrongGainLabel.replace(wrongGainLabel.find("Gain"), 4, "gain");
  std::string wrongTableLabel = kWorkedExample;
  wrongTableLabel.replace(wrongTableLabel.find("Tableau"), 7, "Tablaeu");
  const std::pair<const char*, std::string> cases[] = {
      {"empty file", ""},
      {"title label in lower case", "titre = Essai\xA7\r\n" + kWorkedExample.substr(16)},
      {"gain label misspelt", wrongGainLabel},
      {"table label misspelt", wrongTableLabel},
      {"header value without terminator", "Titre = Essai sans fin"},
      {"header value of 256 bytes", Header("1", std::string(256, 'x')) + "1 \xA7"},
      {"file cut inside the header", kWorkedExample.substr(0, 40)},
      {"list without its terminator", Header("3") + "0.5 -0.25 1.0 "},
      {"list cut in the middle of a value", Header("3") + "0.5 -0.2"},
      {"more values than the count", Header("2") + "1 2 3 \xA7"},
      {"a value after a zero count", Header("0") + "1 \xA7"},
      {"count larger than memory can hold", Header("4000000000") + "1 \xA7"},
      {"negative count", Header("-3") + "1 2 3 \xA7"},
      {"count beyond 32 bits", Header("5e9") + "1 \xA7"},
      {"count that is not a number", Header("nan") + "1 \xA7"},
      {"only terminators", std::string(5000, '\xA7')},
      {"LF-only line ends", "Titre = Essai\xA7\nDevice = 1\xA7\nChan = 3\xA7\n"},
      {"binary garbage", std::string("\x00\xff\x13\xA7\x01\x02", 6)},
      {"a value longer than any number", Header("1") + std::string(100000, '7') + " \xA7"},
  };
  for (const auto& [name, bytes] : cases) {
    ChannelRecord record = SentinelRecord();
    EXPECT_EQ(0, LoadBytes(bytes, record)) << name;
    ExpectSameRecord(SentinelRecord(), record);
  }
}

TEST_F(ChannelFileTest, RefusesMissingFilesFoldersAndPipesWithoutWaiting) {
  ASSERT_EQ(0, ::mkfifo((dir_ / "tube.tvr").c_str(), 0600));
  const std::pair<std::filesystem::path, std::string> cases[] = {
      {dir_ / "absent.tvr", "impossible de l'ouvrir (fichier ou dossier introuvable)"},
      {dir_.path(), "impossible de l'ouvrir (c'est un dossier)"},
      {dir_ / "tube.tvr", "impossible de l'ouvrir (ce n'est pas un fichier ordinaire)"},
  };
  for (const auto& [path, why] : cases) {
    ChannelRecord record = SentinelRecord();
    ChannelFileProblem problem;
    EXPECT_EQ(0, LoadChannelFile(path, record, &problem));
    EXPECT_EQ(why, DescribeChannelFileProblem(problem));
    ExpectSameRecord(SentinelRecord(), record);
  }
}

// What the user is told names the fault and, where it helps, the label and
// the byte where reading stopped.
TEST_F(ChannelFileTest, SaysWhyAFileIsRefused) {
  std::string wrongGainLabel = kWorkedExample;
  wrongGainLabel.replace(wrongGainLabel.find("Gain"), 4, "gain");
  const std::pair<std::string, std::string> cases[] = {
      {wrongGainLabel, "« Gain = » attendu à l'octet 40"},
      {"Titre = sans fin",
       "la valeur de « Titre = » n'a pas son terminateur § avant la fin du "
       "fichier"},
      {Header("1", std::string(256, 'x')), "la valeur de « Titre = » dépasse 255 octets (octet 8)"},
      {Header("-3"), "« Count = » ne donne pas un nombre de points : « -3 »"},
      {Header("2") + "1 2 3 \xA7", "plus de valeurs que les 2 points annoncés (octet 92)"},
      {Header("3") + "1 2 ", "le fichier se termine avant le § qui clôt la liste des valeurs"},
      {Header("100"), "la mémoire ne peut pas contenir les 100 points annoncés"},
  };
  for (const auto& [bytes, why] : cases) {
    const auto path = dir_ / "essai.tvr";
    WriteFileBytes(path, bytes);
    ChannelRecord record = SentinelRecord();
    ChannelFileProblem problem;
    {
      ScopedMemoryLimit memory(799);
      EXPECT_EQ(0, LoadChannelFile(path, record, &problem));
    }
    EXPECT_EQ(why, DescribeChannelFileProblem(problem));
    ExpectSameRecord(SentinelRecord(), record);
  }
}

TEST_F(ChannelFileTest, AsksBeforeReplacingAndReplacesOnYes) {
  const auto path = dir_ / "essai.tvr";
  WriteFileBytes(path, "old content");
  ScriptedUser user;
  user.Answer(MessageAnswer::kYes);
  EXPECT_EQ(SaveOutcome::kWritten,
            SaveChannelFile(user, path, MakeRecord("Essai", {0.5, -0.25, 1.0})));
  ASSERT_EQ(1u, user.boxes().size());
  EXPECT_EQ("Ce fichier existe deja.\r\nVoulez-vous l'écraser?", user.boxes()[0].text);
  EXPECT_EQ("Exportation vers MatLab", user.boxes()[0].caption);
  EXPECT_EQ(MessageIcon::kInformation, user.boxes()[0].icon);
  EXPECT_EQ(MessageButtons::kYesNo, user.boxes()[0].buttons);
  EXPECT_EQ(kWorkedExample, ReadFileBytes(path));
  EXPECT_EQ(std::vector<std::string>{"essai.tvr"}, dir_.Entries());
}

TEST_F(ChannelFileTest, DecliningTheOverwriteKeepsTheFile) {
  const auto path = dir_ / "essai.tvr";
  WriteFileBytes(path, "old content");
  ScriptedUser user;
  user.Answer(MessageAnswer::kNo);
  EXPECT_EQ(SaveOutcome::kDeclined, SaveChannelFile(user, path, MakeRecord("Essai", {1.0})));
  EXPECT_EQ("old content", ReadFileBytes(path));
  EXPECT_EQ(std::vector<std::string>{"essai.tvr"}, dir_.Entries());
}

TEST_F(ChannelFileTest, ReportsAFileThatCannotBeCreated) {
  ScriptedUser user;
  EXPECT_EQ(SaveOutcome::kFailed,
            SaveChannelFile(user, dir_ / "absent" / "essai.tvr", MakeRecord("Essai", {1.0})));
  ASSERT_EQ(1u, user.boxes().size());
  EXPECT_EQ("Impossible de créer ou\r\u00AD'ouvrir le fichier", user.boxes()[0].text);
  EXPECT_EQ("Exportation vers MatLab", user.boxes()[0].caption);
  EXPECT_EQ(MessageIcon::kError, user.boxes()[0].icon);
  EXPECT_EQ(MessageButtons::kOk, user.boxes()[0].buttons);
  EXPECT_EQ(SaveOutcome::kFailed, SaveChannelFile(user, dir_.path(), MakeRecord("Essai", {1.0})));
  EXPECT_TRUE(dir_.Entries().empty());
}

TEST_F(ChannelFileTest, AWriteThatFailsPartWayKeepsThePreviousFile) {
  const auto path = dir_ / "essai.tvr";
  WriteFileBytes(path, kWorkedExample);
  ScriptedUser user;
  SaveOutcome result = SaveOutcome::kWritten;
  {
    testing::FileSizeLimit limit(4096);
    if (!limit.active()) GTEST_SKIP() << "the file size limit cannot be lowered here";
    result = SaveChannelFile(user, path, MakeRecord("Essai", std::vector<double>(10000, 1.0)));
  }
  EXPECT_EQ(SaveOutcome::kFailed, result);
  EXPECT_EQ(1u,
            user.boxes().size());  // only the overwrite question: the caller reports the failure
  EXPECT_EQ(kWorkedExample, ReadFileBytes(path));
  EXPECT_EQ(std::vector<std::string>{"essai.tvr"}, dir_.Entries());
}

TEST(ChannelFileField, StopsAtTheTerminatorAndSkipsTheLineEnd) {
  TempDir dir;
  testing::WriteFileBytes(dir / "f", "abc\xA7\r\nnext\xA7XY");
  ByteReader in;
  ASSERT_TRUE(in.Open(dir / "f"));
  std::string value;
  ASSERT_TRUE(ReadChannelField(in, value));
  EXPECT_EQ("abc", value);
  ASSERT_TRUE(ReadChannelField(in, value));
  EXPECT_EQ("next", value);
  EXPECT_EQ(-1, in.Get());
  EXPECT_FALSE(ReadChannelField(in, value));
}

}  // namespace
}  // namespace tavril
