#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "cli_arguments.h"
#include "cli_commands.h"
#include "files/channel_file.h"
#include "files/hdf5_file.h"
#include "support/board_signal.h"
#include "support/record_checks.h"
#include "support/temp_dir.h"

namespace tavril::cli {
namespace {

using testing::Values;

using testing::SetSamples;

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

Outcome RunSpectrumCli(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int status = RunCli(args, out, err);
  return {status, out.str(), err.str()};
}

std::string WriteRecord(const testing::TempDir& dir, const char* name, std::vector<double> samples,
                        double rate) {
  ChannelRecord record;
  record.rate = rate;
  SetSamples(record, std::move(samples));
  testing::WriteFileBytes(dir / name, testing::BytesWrittenBy([&](AtomicFileWriter& out) {
                            WriteChannelFile(out, record);
                          }));
  return (dir / name).string();
}

TEST(CliSpectrum, ReadsItsOptionsAndRefusesBadOnes) {
  const ParsedArguments plain = ParseArguments({"spectrum", "a.tvr"});
  ASSERT_TRUE(plain.ok()) << plain.error;
  EXPECT_EQ(plain.command.spectrum, SpectrumRequest{});
  const ParsedArguments full = ParseArguments(
      {"spectrum", "--window=flattop", "a.tvr", "--blocks", "3", "--block-size", "1024", "--csv"});
  ASSERT_TRUE(full.ok()) << full.error;
  EXPECT_EQ(full.command.spectrum, (SpectrumRequest{SpectrumWindow::kFlatTop, 1024, 3, true}));
  EXPECT_EQ(full.command.input, "a.tvr");

  EXPECT_EQ(ParseArguments({"spectrum", "a.tvr", "--window", "blackman"}).error,
            "Fenêtre inconnue : blackman (rectangulaire, hann, flattop)");
  for (const char* size : {"1000", "8", "2097152", "-16"})
    EXPECT_FALSE(ParseArguments({"spectrum", "a.tvr", "--block-size", size}).ok()) << size;
  EXPECT_FALSE(ParseArguments({"spectrum", "a.tvr", "--blocks", "0"}).ok());
  EXPECT_FALSE(ParseArguments({"spectrum", "a.tvr", "b.tvr"}).ok());
  EXPECT_EQ(ParseArguments({"info", "a.tvr", "--csv"}).error,
            "L'option --csv ne s'applique pas à la commande info");
  EXPECT_EQ(ParseArguments({"acquire", "--channels", "0", "--out", "x", "--window", "hann"}).error,
            "L'option --window ne s'applique pas à la commande acquire");
}

TEST(CliSpectrum, SummarisesTheBoardsSineAndWritesItsBinsAsCsv) {
  const testing::TempDir dir;
  const std::string sine = WriteRecord(dir, "sine.tvr", testing::BoardSignal(0, 100000, 1e5), 1e5);
  Outcome run = RunSpectrumCli({"spectrum", sine, "--window", "flattop"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.substr(0, run.out.find("Pic")),
            "Fenêtre : flattop\nBlocs : 3 de 65536 points, recouvrement 74 %\nRaies : 32769\n"
            "Largeur de raie : 1.52587890625 Hz\n");
  // A flat top reads the 4 V sine's 9.03 dBV though 500 Hz falls between bins.
  EXPECT_EQ(run.out.substr(run.out.find("Pic")), "Pic : 500 Hz, 9.03 dBV\n");

  run = RunSpectrumCli(
      {"spectrum", sine, "--csv", "--block-size", "1024", "--window", "rectangulaire"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.substr(0, 19), "frequence_hz,dbv\n0,");
  EXPECT_NE(run.out.find("\n488.28125,"), std::string::npos);
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1 + 513);

  // 2025 points at 25 kHz: one block, the sine half-way between its bins.
  run = RunSpectrumCli(
      {"spectrum", WriteRecord(dir, "short.tvr", testing::BoardSignal(0, 2025, 25000), 25000)});
  EXPECT_NE(run.out.find("Blocs : 1 de 2025 points complété par des zéros à 2048\n"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("Pic : 500 Hz, 9.03 dBV\n"), std::string::npos) << run.out;
}

// A file of several channels gives the spectrum of the channel named.
TEST(CliSpectrum, TakesOneChannelOfAFileOfSeveralChannels) {
  const testing::TempDir dir;
  ChannelSet set(1);
  set[0].record.rate = 1e5;
  SetSamples(set[0].record, testing::BoardSignal(0, 100000, 1e5));
  set[0].record.SetCount(100000);
  set.push_back({5, set[0].record});
  const std::string both = (dir / "voies.h5").string();
  ASSERT_TRUE(WriteHdf5File(ViewsOf(set), both, nullptr));
  const std::string sine = WriteRecord(dir, "sine.tvr", Values(set[0].record), 1e5);
  const Outcome run = RunSpectrumCli({"spectrum", both, "--channel", "5"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, RunSpectrumCli({"spectrum", sine}).out);
  EXPECT_EQ(RunSpectrumCli({"spectrum", both}).err,
            "tavril-cli: Le fichier contient plusieurs canaux (0, 5) : choisissez-en un avec "
            "--channel N : " +
                both + "\n");
  EXPECT_EQ(RunSpectrumCli({"spectrum", both, "--channel", "3"}).err,
            "tavril-cli: Le canal 3 n'est pas dans le fichier (canaux : 0, 5) : " + both + "\n");
  EXPECT_EQ(ParseArguments({"spectrum", "a.h5", "--channel", "8"}).error,
            "Canal non valide : 8 (de 0 à 7)");
}

TEST(CliSpectrum, RecordsWithoutASpectrumAreOneLineEach) {
  const testing::TempDir dir;
  std::vector<double> holed(1000, 0.5);
  holed[10] = std::numeric_limits<double>::quiet_NaN();
  const std::string noRate = WriteRecord(dir, "r.tvr", std::vector<double>(100, 1.0), 0);
  const std::string short_ = WriteRecord(dir, "s.tvr", std::vector<double>(15, 1.0), 1e3);
  const std::string nan = WriteRecord(dir, "n.tvr", holed, 1e3);
  EXPECT_EQ(RunSpectrumCli({"spectrum", noRate}).err,
            "tavril-cli: L'enregistrement n'a pas de fréquence d'échantillonnage valide : " +
                noRate + "\n");
  EXPECT_EQ(RunSpectrumCli({"spectrum", short_}).err,
            "tavril-cli: Trop peu d'échantillons pour un spectre (au moins 16) : " + short_ + "\n");
  const Outcome run = RunSpectrumCli({"spectrum", nan});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "tavril-cli: L'enregistrement contient des échantillons non finis : " + nan + "\n");
}

}  // namespace
}  // namespace tavril::cli
