#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>

#include "files/hdf5_file.h"
#include "live_window.h"
#include "main_window_fixture.h"
#include "model/board_config.h"
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

TEST_F(ContinuousCommands, TheConfigurationWaitsForTheRunsEndAsItWouldChangeTheBoard) {
  Button("Démarrer")->click();
  RunFor(50);
  window_.RunCommand(kCmdConfiguration);
  EXPECT_EQ(configDialogs_.cancelled(), 0);  // never opened
  EXPECT_TRUE(model_.acquiring());
  ASSERT_EQ(user_.boxes().size(), 1u);
  EXPECT_EQ(user_.boxes()[0].text,
            "Arrêtez d'abord l'acquisition continue : la configuration changerait les réglages de "
            "la carte qu'elle est en train de lire.");
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

}  // namespace
}  // namespace tavril::testing
