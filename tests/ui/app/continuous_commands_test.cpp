#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "files/hdf5_file.h"
#include "live_window.h"
#include "main_window_fixture.h"
#include "model/board_config.h"
#include "ui/acquisition/acquisition_panel.h"
#include "ui/acquisition/continuous_controller.h"
#include "ui/acquisition/continuous_window.h"
#include "ui/app/command_ids.h"

namespace tavril::testing {
namespace {

class ContinuousCommands : public MainWindowTest {
 protected:
  ContinuousCommands() {
    session_.boardConfig = DefaultBoardConfig();
    window_.RunCommand(kCmdAcquisitionPanel);
    window_.RunCommand(kCmdContinuous);
  }

  QPushButton* Button(const char* text) { return testing::VisibleButton(QString::fromUtf8(text)); }
  static void RunFor(int milliseconds) { testing::RunEventsFor(milliseconds); }
  // Opens the window again, so that it shows the choices in memory.
  void ReopenWindow() {
    delete window_.findChild<ContinuousWindow*>();
    window_.RunCommand(kCmdContinuous);
  }
  void SetPanelField(int id, const char* text) {
    window_.findChild<AcquisitionPanel*>()
        ->findChild<QLineEdit*>(QStringLiteral("control%1").arg(id))
        ->setText(QString::fromUtf8(text));
  }
  // Whether a label of the continuous window shows `text` (in part).
  bool WindowShows(const char* text) {
    for (const QLabel* label : window_.findChild<ContinuousWindow*>()->findChildren<QLabel*>()) {
      if (label->text().contains(QString::fromUtf8(text))) return true;
    }
    return false;
  }
  void WaitForTheEnd() {
    for (int waited = 0; model_.acquiring() && waited < 5000; waited += 20) RunFor(20);
  }
};

TEST_F(ContinuousCommands, StartsShowsTheNewestSamplesAndStopsWithTheWindowKept) {
  memory_.continuous.record = true;
  memory_.continuous.recordPath = (dir_.path() / "essai.h5").string();
  auto* continuous = window_.findChild<ContinuousWindow*>();
  ASSERT_NE(continuous, nullptr);
  delete continuous;  // opened again with the choices above
  window_.RunCommand(kCmdContinuous);
  ASSERT_NE(Button("Démarrer"), nullptr);
  Button("Démarrer")->click();
  EXPECT_TRUE(model_.acquiring());
  EXPECT_EQ(model_.view().rollWindow, 1000u);  // the graph's time scale while it fills
  RunFor(400);
  ASSERT_NE(Button("Arrêter"), nullptr);  // the panel's and the window's
  EXPECT_FALSE(session_.channels[0].samples.empty());
  Button("Arrêter")->click();
  EXPECT_FALSE(model_.acquiring());
  EXPECT_NE(Button("Démarrer"), nullptr);
  EXPECT_EQ(session_.channels[0].samples.size(), 1000u);
  EXPECT_FALSE(model_.view().rollWindow);
  EXPECT_TRUE(user_.boxes().empty());

  ChannelSet read;
  std::string why;
  ASSERT_TRUE(ReadHdf5File(dir_.path() / "essai.h5", read, &why)) << why;
  ASSERT_EQ(read.size(), 1u);
  EXPECT_EQ(read[0].slot, 0);
  EXPECT_GE(read[0].record.samples.size(), 1000u);
  EXPECT_EQ(read[0].record.rate, 100000.0);
}

TEST_F(ContinuousCommands, CommandsThatReplaceTheRecordsWaitForTheRunsEnd) {
  Button("Démarrer")->click();
  RunFor(50);
  window_.RunCommand(kCmdReset);
  EXPECT_TRUE(model_.acquiring());
  ASSERT_EQ(user_.boxes().size(), 1u);
  EXPECT_NE(user_.boxes()[0].text.find("Arrêtez d'abord l'acquisition continue"),
            std::string::npos);
  Button("Arrêter")->click();
}

TEST_F(ContinuousCommands, ClosingTheWindowStopsTheRunAndTheButtonAcquiresOnceAgain) {
  Button("Démarrer")->click();
  RunFor(100);
  window_.RunCommand(kCmdContinuous);
  QApplication::processEvents();
  EXPECT_FALSE(model_.acquiring());
  EXPECT_FALSE(window_.CommandAction(kCmdContinuous)->isChecked());
  EXPECT_NE(Button("Acquisition"), nullptr);
}

TEST_F(ContinuousCommands, ARefusedStartLeavesTheFileAndTheRecordsAsTheyWere) {
  session_.channels[0] = SampleRecord("avant", {1.0, 2.0, 3.0});
  WriteFileBytes(dir_ / "keep.h5", "an earlier recording");
  memory_.continuous.record = true;
  memory_.continuous.recordPath = (dir_ / "keep.h5").string();
  ReopenWindow();
  SetPanelField(kSampleRateEditId, "2000000");  // beyond the simulated board
  Button("Démarrer")->click();
  WaitForTheEnd();
  const std::vector<std::string> texts = BoxTexts();
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_NE(texts[0].find("Le remplacer ?"), std::string::npos);  // answered OK
  EXPECT_NE(texts[1].find("ne peut pas être obtenue par la carte"), std::string::npos) << texts[1];
  EXPECT_TRUE(ReadFileBytes(dir_ / "keep.h5") == "an earlier recording");
  EXPECT_EQ(dir_.Entries(), std::vector<std::string>{"keep.h5"});
  const ChannelRecord& record = session_.channels[0];
  EXPECT_EQ(record.samples, (std::vector<double>{1.0, 2.0, 3.0}));
  EXPECT_EQ(record.count, 3u);
  EXPECT_EQ(record.title, "avant");
  EXPECT_EQ(record.rate, 1000.0);
}

TEST_F(ContinuousCommands, ANormalTriggerThatNeverFiresKeepsTheRecordsAndItsSweepCanBeForced) {
  session_.channels[0] = SampleRecord("avant", {1.0, 2.0, 3.0});
  memory_.continuous.triggerChannel = 0;
  memory_.continuous.triggerLevel = 4.5;  // above the sine's 4 V peak
  memory_.continuous.mode = ContinuousChoices::Mode::kNormal;
  ReopenWindow();
  Button("Démarrer")->click();
  RunFor(300);
  EXPECT_TRUE(WindowShows("En attente du déclenchement"));
  Button("Arrêter")->click();
  EXPECT_EQ(session_.channels[0].samples, (std::vector<double>{1.0, 2.0, 3.0}));
  EXPECT_EQ(session_.channels[0].title, "avant");
  EXPECT_TRUE(WindowShows("Aucun déclenchement : les voies gardent leurs mesures précédentes."));

  Button("Démarrer")->click();
  RunFor(100);
  Button("Forcer")->click();
  RunFor(200);
  Button("Arrêter")->click();
  EXPECT_EQ(session_.channels[0].samples.size(), 1000u);
  EXPECT_EQ(session_.channels[0].title, "");  // the panel's
  EXPECT_FALSE(WindowShows("Aucun déclenchement"));
  EXPECT_TRUE(user_.boxes().empty());
}

TEST_F(ContinuousCommands, TheRecordsKeepTheTimeOfTheirFirstSample) {
  const auto before = std::chrono::system_clock::now();
  Button("Démarrer")->click();
  RunFor(300);
  Button("Arrêter")->click();
  const auto after = std::chrono::system_clock::now();
  const std::optional<std::chrono::system_clock::time_point> at = session_.channels[0].acquiredAt;
  ASSERT_TRUE(at.has_value());
  // The window shown last, 10 ms at the end of the run.
  EXPECT_GT(*at, before + std::chrono::milliseconds(100));
  EXPECT_LT(*at, after);
}

TEST_F(ContinuousCommands, TheFileSizeShownIsTheFilesOwnNotTheRoomReservedAhead) {
  memory_.continuous.record = true;
  memory_.continuous.recordPath = (dir_ / "essai.h5").string();
  ReopenWindow();
  std::vector<std::optional<std::uint64_t>> shown;
  QObject::connect(
      window_.findChild<ContinuousController*>(), &ContinuousController::progressed,
      [&shown](const ContinuousProgress& progress) { shown.push_back(progress.fileBytes); });
  Button("Démarrer")->click();
  RunFor(1300);  // past the first flush
  Button("Arrêter")->click();
  const std::uint64_t size = std::filesystem::file_size(dir_ / "essai.h5");
  ASSERT_GE(shown.size(), 3u);
  for (const std::optional<std::uint64_t>& bytes : shown) {
    ASSERT_TRUE(bytes.has_value());
    EXPECT_LE(*bytes, size);
  }
  EXPECT_EQ(shown.back(), size);
}

TEST_F(ContinuousCommands, ATriggerLevelOutOfTheInputsReachIsRefusedOrAskedAbout) {
  memory_.continuous.triggerChannel = 0;
  memory_.continuous.triggerLevel = 10.0;  // on ±5 V
  memory_.continuous.mode = ContinuousChoices::Mode::kNormal;
  ReopenWindow();
  Button("Démarrer")->click();
  EXPECT_FALSE(model_.acquiring());
  memory_.continuous.mode = ContinuousChoices::Mode::kAutomatic;
  ReopenWindow();
  user_.Answer(MessageAnswer::kCancel);
  Button("Démarrer")->click();
  EXPECT_FALSE(model_.acquiring());
  const std::string why =
      "Le niveau de déclenchement de 10 V ne peut jamais être franchi : le canal 0 mesure de "
      "-5.000 V à 4.998 V.";
  EXPECT_EQ(BoxTexts(),
            (std::vector<std::string>{
                why + " Aucun balayage ne serait affiché : changez le niveau ou le mode.",
                why + " Les balayages viendront sans déclenchement. Démarrer quand même ?"}));
}

TEST_F(ContinuousCommands, QuittingDuringARecordedRunSaysTheFileIsKeptAndClosesItWhole) {
  memory_.continuous.record = true;
  memory_.continuous.recordPath = (dir_ / "essai.h5").string();
  ReopenWindow();
  Button("Démarrer")->click();
  RunFor(200);
  user_.Answer(MessageAnswer::kOk);
  EXPECT_TRUE(window_.close());
  EXPECT_FALSE(model_.acquiring());
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Un enregistrement continu est en cours dans « " +
                                                 memory_.continuous.recordPath +
                                                 " ». Il s'arrête en quittant : le fichier garde "
                                                 "tous les échantillons jusqu'à l'arrêt.\n\n"
                                                 "Etes vous sure de vouloir quitter?"});
  ChannelSet read;
  std::string why;
  ASSERT_TRUE(ReadHdf5File(dir_ / "essai.h5", read, &why)) << why;
  EXPECT_GE(read[0].record.samples.size(), 10000u);
}

}  // namespace
}  // namespace tavril::testing
