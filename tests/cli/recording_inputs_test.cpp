#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "cli_commands.h"
#include "files/hdf5_file.h"
#include "measure_command.h"
#include "processing/measurement_table.h"
#include "processing/spectrum.h"
#include "processing/spectrum_text.h"
#include "support/temp_dir.h"
#include "text/number_text.h"

namespace tavril::cli {
namespace {

using testing::TempDir;

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

Outcome RunTool(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int status = RunCli(args, out, err);
  return {status, out.str(), err.str()};
}

// 11 s of the simulated board's channels 0 to 2 at 100,000 samples per
// second each (more than a block read at once), and the same samples loaded
// whole as the reference.
class RecordingInputs : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(RunTool({"record", "--channels", "0-2", "--rate", "3e5", "--duration", "11",
                       "--unpaced", "--out", recording})
                  .status,
              0);
    ASSERT_TRUE(ReadHdf5File(recording, whole, nullptr));
    ASSERT_EQ(whole.size(), 3u);
  }

  // What `measure` prints of slot `slot` of the whole samples in `stretch`.
  std::string MeasuredWhole(int slot, const MeasuredStretch& stretch) const {
    const ChannelRecord& record = whole[static_cast<std::size_t>(slot)].record;
    return "Fichier: " + recording + "\nCanal: " + std::to_string(slot) + '\n' +
           MeasureText(MeasureChannel(record, 0, false, stretch,
                                      [](std::string_view title) { return std::string(title); }));
  }

  TempDir dir;
  const std::string recording = (dir / "r.h5").string();
  ChannelSet whole;
};

// What info prints of the levels of `samples`.
std::string LevelLines(std::span<const double> samples) {
  double sum = 0;
  double squares = 0;
  for (const double x : samples) {
    sum += x;
    squares += x * x;
  }
  const double n = static_cast<double>(samples.size());
  return "YMax= " + FormatFixed(*std::max_element(samples.begin(), samples.end()), 6) +
         "\nYMin= " + FormatFixed(*std::min_element(samples.begin(), samples.end()), 6) +
         "\nMoy =  " + FormatFixed(sum / n, 6) +
         "\nRMS= " + FormatFixed(std::sqrt(squares / n), 6) + '\n';
}

TEST_F(RecordingInputs, InfoGivesTheCountDurationAndLevelsOfTheChannelsAndTimesAsked) {
  const std::span<const double> slot1 = whole[1].record.samples();
  ASSERT_EQ(slot1.size(), 1100000u);
  const std::string header = "Fichier: " + recording +
                             "\nCanal: 1\nTitre: \nGain= 1\nNb Points= 1100000\n"
                             "Sample rate= 1.0000e+005\nDurée= 11.000000 s\n";
  Outcome run = RunTool({"info", recording, "--channels", "1"});
  EXPECT_EQ(run.out, header + LevelLines(slot1));
  // [ceil(0.100005 s × rate), floor(0.2000049 s × rate)]
  run = RunTool({"info", recording, "--channels", "1", "--between", "0.100005", "0.2000049"});
  EXPECT_EQ(run.out,
            header + "Échantillons= 10001 à 20000\n" + LevelLines(slot1.subspan(10001, 10000)));
  run = RunTool({"info", recording, "--json", "--channels", "0,2", "--between", "12", "13"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 2);
  EXPECT_NE(run.out.find("\"slot\":2,\"title\":\"\",\"device\":1,\"chan\":2,\"gain\":1,"
                         "\"count\":1100000,\"rate\":1e+05,\"duration\":11,\"maxValue\":null,"
                         "\"minValue\":null,\"mean\":null,\"rms\":null}\n"),
            std::string::npos)
      << run.out;
  run = RunTool({"info", recording, "--channels", "1,5-6"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "tavril-cli: Le canal 5 n'est pas dans le fichier (canaux : 0, 1, 2) : " + recording +
                "\ntavril-cli: Le canal 6 n'est pas dans le fichier (canaux : "
                "0, 1, 2) : " +
                recording + '\n');
  EXPECT_EQ(run.out, header + LevelLines(slot1));
}

TEST_F(RecordingInputs, MeasureGivesWhatTheSamplesLoadedWholeGive) {
  for (const int slot : {0, 1, 2}) {
    EXPECT_EQ(RunTool({"measure", recording, "--channels", std::to_string(slot)}).out,
              MeasuredWhole(slot, MeasuredStretch::WholeRecord()));
  }
  const MeasuredStretch stretch = MeasuredStretch::BetweenTimes(0.0123456, 0.3456789);
  EXPECT_EQ(
      RunTool({"measure", recording, "--channels", "0,2", "--between", "0.0123456", "0.3456789"})
          .out,
      MeasuredWhole(0, stretch) + '\n' + MeasuredWhole(2, stretch));
}

TEST_F(RecordingInputs, ConvertExtractsExactlyTheSamplesBetweenTheTwoTimes) {
  const std::string part = (dir / "part.h5").string();
  ASSERT_EQ(RunTool({"convert", recording, part, "--channels", "0,2", "--between", "0.100005",
                     "0.2000049"})
                .err,
            "");
  ChannelSet read;
  ASSERT_TRUE(ReadHdf5File(part, read, nullptr));
  ASSERT_EQ(read.size(), 2u);
  for (const std::size_t i : {0u, 1u}) {
    const SlotRecord& source = whole[2 * i];
    EXPECT_EQ(read[i].slot, source.slot);
    EXPECT_EQ(read[i].record.rate, source.record.rate);
    EXPECT_TRUE(std::ranges::equal(read[i].record.samples(),
                                   source.record.samples().subspan(10001, 10000)));
  }
  const Outcome none =
      RunTool({"convert", recording, (dir / "none.tvr").string(), "--between", "12", "13"});
  EXPECT_EQ(none.status, 1);
  EXPECT_EQ(none.err,
            "tavril-cli: L'intervalle --between ne couvre aucun échantillon du canal 0 de " +
                recording + '\n');
}

TEST_F(RecordingInputs, SpectrumOfARangeIsThatOfTheSameSamplesInMemory) {
  const Spectrum expected = ComputeSpectrum(whole[0].record.samples().subspan(10001, 10000), 1e5,
                                            SpectrumWindow::kHann, 4096, 16);
  const Outcome run = RunTool({"spectrum", recording, "--channel", "0", "--between", "0.100005",
                               "0.2000049", "--block-size", "4096", "--csv"});
  EXPECT_EQ(run.out, SpectrumCsv(expected));
}

// A file of channels has no overview: `overview` builds it beside the file
// once; a recording keeps its own.
TEST_F(RecordingInputs, OverviewIsBuiltOnceBesideAFileOfChannels) {
  const std::string channels = (dir / "c.h5").string();
  ASSERT_EQ(RunTool({"convert", recording, channels, "--between", "0", "2"}).status, 0);
  const Outcome built = RunTool({"overview", channels});
  EXPECT_EQ(built.status, 0) << built.err;
  EXPECT_EQ(built.err, channels + ".overview : aperçu construit\n");
  EXPECT_EQ(RunTool({"overview", channels}).err, channels + " : l'aperçu existe déjà\n");
  EXPECT_EQ(RunTool({"overview", recording}).err, recording + " : l'aperçu existe déjà\n");
  // The side file is no file of channels.
  EXPECT_EQ(RunTool({"info", channels + ".overview"}).status, 1);
  const Outcome missing = RunTool({"overview", (dir / "absent.h5").string()});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("absent.h5 : Impossible de construire l'aperçu : "), std::string::npos)
      << missing.err;
}

}  // namespace
}  // namespace tavril::cli
