#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

#include "files/hdf5_file.h"
#include "live_window.h"
#include "main_window_fixture.h"
#include "model/board_config.h"
#include "ui/acquisition/acquisition_controller.h"
#include "ui/acquisition/acquisition_panel.h"  // the field ids
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
  void ReopenWindow() {  // to show the choices in memory
    delete window_.findChild<ContinuousWindow*>();
    window_.RunCommand(kCmdContinuous);
  }
  bool WindowShows(const char* text) {
    const auto labels = window_.findChild<ContinuousWindow*>()->findChildren<QLabel*>();
    return std::any_of(labels.begin(), labels.end(), [text](const QLabel* label) {
      return label->text().contains(QString::fromUtf8(text));
    });
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
  const auto started = std::chrono::system_clock::now();
  Button("Démarrer")->click();
  EXPECT_FALSE(model_.idle());
  EXPECT_EQ(model_.view().rollWindow, 1000u);  // the graph's time scale while it fills
  RunFor(400);
  ASSERT_NE(Button("Arrêter"), nullptr);  // the panel's and the window's
  EXPECT_FALSE(session_.channels[0].samples().empty());
  Button("Arrêter")->click();
  EXPECT_TRUE(model_.idle());
  EXPECT_NE(Button("Démarrer"), nullptr);
  EXPECT_EQ(session_.channels[0].sampleCount(), 1000u);
  EXPECT_GT(session_.channels[0].acquiredAt.value_or(started),
            started + std::chrono::milliseconds(300));
  EXPECT_FALSE(model_.view().rollWindow);
  EXPECT_TRUE(user_.boxes().empty());

  ChannelSet read;
  std::string why;
  ASSERT_TRUE(ReadHdf5File(dir_.path() / "essai.h5", read, &why)) << why;
  ASSERT_EQ(read.size(), 1u);
  EXPECT_EQ(read[0].slot, 0);
  EXPECT_GE(read[0].record.sampleCount(), 1000u);
  EXPECT_EQ(read[0].record.rate, 100000.0);
}

TEST_F(ContinuousCommands, CommandsThatReplaceTheRecordsWaitForTheRunsEnd) {
  Button("Démarrer")->click();
  RunFor(50);
  window_.RunCommand(kCmdReset);
  EXPECT_FALSE(model_.idle());
  ASSERT_EQ(user_.boxes().size(), 1u);
  EXPECT_NE(user_.boxes()[0].text.find("Arrêtez d'abord l'acquisition continue"),
            std::string::npos);
  Button("Arrêter")->click();
}

TEST_F(ContinuousCommands, TheConfigurationWaitsForTheRunsEndAsItWouldChangeTheBoard) {
  Button("Démarrer")->click();
  RunFor(50);
  window_.RunCommand(kCmdConfiguration);
  EXPECT_EQ(configDialogs_.cancelled(), 0);  // never opened
  EXPECT_FALSE(model_.idle());
  ASSERT_EQ(user_.boxes().size(), 1u);
  EXPECT_EQ(user_.boxes()[0].text,
            "Arrêtez d'abord l'acquisition continue : la configuration changerait les réglages de "
            "la carte qu'elle est en train de lire.");
  Button("Arrêter")->click();
}

// While the board works, every command that would change the records or the
// board says why it waits, and runs nothing.
TEST_F(MainWindowTest, CommandsThatChangeWhatARunNeedsWaitForIt) {
  const std::string records =
      "Arrêtez d'abord l'acquisition continue : cette commande "
      "remplacerait les enregistrements qu'elle est en train de montrer.";
  const std::string board =
      "Arrêtez d'abord l'acquisition continue : la configuration "
      "changerait les réglages de la carte qu'elle est en train de lire.";
  const struct {
    AcquisitionState state;
    int commandId;
    std::string box;  // empty: the command runs
  } cases[] = {
      {AcquisitionState::kContinuous, kCmdOpen, records},
      {AcquisitionState::kContinuous, kCmdImport, records},
      {AcquisitionState::kContinuous, kCmdOpenSession, records},
      {AcquisitionState::kContinuous, kCmdReset, records},
      {AcquisitionState::kContinuous, kCmdMathOperations, records},
      {AcquisitionState::kContinuous, kCmdConfiguration, board},
      {AcquisitionState::kContinuous, kCmdZoomFit, ""},
      {AcquisitionState::kFinite, kCmdReset, "Attendez la fin de l'acquisition en cours."},
      {AcquisitionState::kIdle, kCmdZoomFit, ""},
  };
  session_.channels[0] = SampleRecord("gardé", {1.0, 2.0});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.commandId);
    model_.SetAcquisitionState(c.state);
    const std::size_t before = user_.boxes().size();
    window_.RunCommand(c.commandId);
    const std::vector<std::string> texts = BoxTexts();
    EXPECT_EQ(std::vector<std::string>(texts.begin() + before, texts.end()),
              c.box.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.box});
    EXPECT_EQ(session_.channels[0].title, "gardé");
  }
  model_.SetAcquisitionState(AcquisitionState::kIdle);
}

TEST_F(ContinuousCommands, ClosingTheWindowStopsTheRunAndTheButtonAcquiresOnceAgain) {
  Button("Démarrer")->click();
  RunFor(100);
  window_.RunCommand(kCmdContinuous);
  QApplication::processEvents();
  EXPECT_TRUE(model_.idle());
  EXPECT_FALSE(window_.CommandAction(kCmdContinuous)->isChecked());
  EXPECT_NE(Button("Acquisition"), nullptr);
}

TEST_F(ContinuousCommands, ARefusedStartLeavesTheRecordsAsTheyWere) {
  session_.channels[0] = SampleRecord("avant", {1.0, 2.0, 3.0});
  window_.findChild<QLineEdit*>(QStringLiteral("control%1").arg(kSampleRateEditId))
      ->setText("2000000");  // beyond the simulated board
  Button("Démarrer")->click();
  RunFor(200);
  EXPECT_EQ(user_.boxes().size(), 1u);  // the refusal
  const ChannelRecord& record = session_.channels[0];
  EXPECT_TRUE(record.sampleCount() == 3 && record.title == "avant" && record.rate == 1000.0);
}

TEST_F(ContinuousCommands, ATriggerThatCannotOrDoesNotFireKeepsTheRecordsAndCanBeForced) {
  session_.channels[0] = SampleRecord("avant", {1.0, 2.0, 3.0});
  memory_.continuous = {0,     10.0, true, 10, 0.0, ContinuousChoices::Mode::kNormal,
                        false, ""};  // on ±5 V
  ReopenWindow();
  Button("Démarrer")->click();
  EXPECT_EQ(BoxTexts().at(0).find("Le niveau de déclenchement de 10 V ne peut jamais être franchi "
                                  ": le canal 0 mesure de -5.000 V à 4.998 V. Aucun balayage"),
            0u);
  memory_.continuous.triggerLevel = 4.5;  // above the sine's 4 V peak
  ReopenWindow();
  Button("Démarrer")->click();
  RunFor(300);
  EXPECT_TRUE(WindowShows("En attente du déclenchement"));
  Button("Arrêter")->click();
  EXPECT_EQ(session_.channels[0].title, "avant");
  EXPECT_TRUE(WindowShows("Aucun déclenchement : les voies gardent leurs mesures précédentes."));
  Button("Démarrer")->click();
  Button("Forcer")->click();
  RunFor(200);
  Button("Arrêter")->click();
  EXPECT_EQ(session_.channels[0].sampleCount(), 1000u);
}

// The size shown is the file's own, not the room reserved ahead on the disk.
TEST_F(ContinuousCommands, ARecordedRunShowsItsFilesSizeAndQuittingClosesTheFileWhole) {
  memory_.continuous.record = true;
  memory_.continuous.recordPath = (dir_ / "essai.h5").string();
  ReopenWindow();
  std::vector<std::uint64_t> sizes;
  QObject::connect(window_.findChild<AcquisitionController*>(), &AcquisitionController::progressed,
                   [&sizes](const ContinuousProgress& p) { sizes.push_back(p.fileBytes.value()); });
  Button("Démarrer")->click();
  RunFor(1300);  // past the first flush
  EXPECT_TRUE(window_.close());
  EXPECT_EQ(BoxTexts()[0].find("Un enregistrement continu est en cours"), 0u);
  EXPECT_TRUE(BoxTexts()[0].ends_with("\n\nEtes vous sure de vouloir quitter?"));
  EXPECT_EQ(sizes.back(), std::filesystem::file_size(dir_ / "essai.h5"));
  EXPECT_LE(*std::max_element(sizes.begin(), sizes.end()), sizes.back());
  ChannelSet read;
  EXPECT_TRUE(ReadHdf5File(dir_ / "essai.h5", read, nullptr) && read[0].record.count() >= 100000);
}

}  // namespace
}  // namespace tavril::testing
