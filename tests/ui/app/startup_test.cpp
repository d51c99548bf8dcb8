#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "config/config_file.h"
#include "main_window_fixture.h"
#include "model/board_config.h"
#include "ui/app/startup.h"

namespace tavril::testing {
namespace {

const MessageBoxRequest kReadError{
    "Erreur lors de la lecture du fichier INI\nLe logiciel prend des valeurs par "
    "défaut\n\nVeuillez reconfigurer",
    "ERROR!", MessageIcon::kError, MessageButtons::kOk};
const MessageBoxRequest kWriteError{"Erreur lors de l'ecriture du fichier INI", "ERROR!",
                                    MessageIcon::kError, MessageButtons::kOk};
const MessageBoxRequest kBoardError{"Probleme lors de la configuration de la carte", "ERROR",
                                    MessageIcon::kError, MessageButtons::kOk};

void ExpectSameBox(const MessageBoxRequest& actual, const MessageBoxRequest& expected) {
  EXPECT_EQ(actual.text, expected.text);
  EXPECT_EQ(actual.caption, expected.caption);
  EXPECT_EQ(actual.icon, expected.icon);
  EXPECT_EQ(actual.buttons, expected.buttons);
}

BoardConfig ConfigOnDisk(const std::filesystem::path& directory) {
  BoardConfig config;
  EXPECT_EQ(ReadConfigFile(config, directory), 1);
  return config;
}

class StartUpTest : public MainWindowTest {
 protected:
  void RunStartUp(const std::filesystem::path& directory) {
    StartUp(window_, model_, *boards_, user_, directory);
  }
};

TEST_F(StartUpTest, WithoutConfigFileWarnsAndWritesTheDefaults) {
  RunStartUp(dir_.path());
  ASSERT_EQ(user_.boxes().size(), 1u);
  ExpectSameBox(user_.boxes()[0], kReadError);
  EXPECT_EQ(window_.startDirectory(), dir_.path());
  EXPECT_EQ(session_.boardConfig, DefaultBoardConfig());
  EXPECT_EQ(ConfigOnDisk(dir_.path()), DefaultBoardConfig());
  EXPECT_EQ(session_.boardConfig.htmlViewer, "xdg-open");
  EXPECT_EQ(configDialogs_.cancelled(), 1);  // the configuration dialog was offered
}

TEST_F(StartUpTest, MalformedConfigFileIsReplacedByTheDefaults) {
  WriteFileBytes(dir_ / "TAVRIL.INI", "[TAVRIL]\nDevice = 2;\n");
  RunStartUp(dir_.path());
  ASSERT_EQ(user_.boxes().size(), 1u);
  ExpectSameBox(user_.boxes()[0], kReadError);
  EXPECT_EQ(ConfigOnDisk(dir_.path()), DefaultBoardConfig());
}

TEST_F(StartUpTest, ReadsAnExistingConfigFileSilently) {
  BoardConfig config = DefaultBoardConfig();
  config.polar = kPolarityUnipolar;
  config.timeOut = 360;
  config.htmlViewer = "/usr/bin/firefox";
  ASSERT_EQ(WriteConfigFile(config, dir_.path()), 1);
  RunStartUp(dir_.path());
  EXPECT_TRUE(user_.boxes().empty());
  EXPECT_EQ(session_.boardConfig, config);
}

TEST_F(StartUpTest, StartDirectoryThatCannotBeWrittenIsReported) {
  const std::filesystem::path missing = dir_ / "absent";
  RunStartUp(missing);
  ASSERT_EQ(user_.boxes().size(), 2u);
  ExpectSameBox(user_.boxes()[0], kReadError);
  ExpectSameBox(user_.boxes()[1], kWriteError);
  EXPECT_EQ(session_.boardConfig, DefaultBoardConfig());
  EXPECT_EQ(window_.startDirectory(), missing);
}

TEST_F(StartUpTest, BoardTheUserGivesUpOnIsReported) {
  BoardConfig config = DefaultBoardConfig();
  config.device = 5;  // no board answers to it
  ASSERT_EQ(WriteConfigFile(config, dir_.path()), 1);
  user_.Answer(MessageAnswer::kNo);
  RunStartUp(dir_.path());
  ASSERT_EQ(user_.boxes().size(), 2u);  // the board's error question, then ours
  EXPECT_EQ(user_.boxes()[0].buttons, MessageButtons::kYesNo);
  ExpectSameBox(user_.boxes()[1], kBoardError);
}

TEST_F(StartUpTest, BoardErrorTheUserGoesOnFromIsNotReportedAgain) {
  BoardConfig config = DefaultBoardConfig();
  config.device = 5;
  ASSERT_EQ(WriteConfigFile(config, dir_.path()), 1);
  user_.Answer(MessageAnswer::kYes);
  RunStartUp(dir_.path());
  EXPECT_EQ(user_.boxes().size(), 1u);
}

}  // namespace
}  // namespace tavril::testing
