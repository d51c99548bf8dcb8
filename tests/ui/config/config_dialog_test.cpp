#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "acquisition/board.h"
#include "acquisition/boards.h"
#include "config/config_file.h"
#include "support/scripted_user.h"
#include "support/temp_dir.h"
#include "ui/config/config_dialog.h"

namespace tavril {
namespace {

using testing::ScriptedUser;
using testing::TempDir;

// The configuration calls made to the fake boards, and their answer.
struct ConfigureLog {
  struct Call {
    std::int16_t device;
    InputSettings settings;
  };
  DaqStatus status = kDaqNoError;
  std::vector<Call> calls;
};

// A board that records every configuration in `log` and answers it with the
// log's status; the dialog only configures.
class FakeBoard : public Board {
 public:
  FakeBoard(std::int16_t device, ConfigureLog& log) : device_(device), log_(log) {}

  DaqStatus Configure(const InputSettings& settings) override {
    log_.calls.push_back({device_, settings});
    return log_.status;
  }
  DaqStatus SetTimeout(std::int32_t) override { return kDaqNoError; }
  DaqStatus Start(const AcquisitionRequest&) override { return kDaqNoError; }
  ReadResult Read(std::span<BoardReading>) override { return {}; }
  void Stop() override {}
  DaqStatus ScaleFor(int, std::int16_t, VoltScale&) override { return kDaqNoError; }

 private:
  std::int16_t device_;
  ConfigureLog& log_;
};

BoardConfig LiveConfig() {
  BoardConfig config;
  config.device = 1;
  config.inputMode = 1;
  config.polar = 0;
  config.timeOut = 180;
  config.gainAdjust = 1.0;
  config.offset = 0.0;
  config.htmlViewer = "/usr/bin/firefox";
  return config;
}

class ConfigDialogTest : public ::testing::Test {
 protected:
  ConfigDialogTest() {
    session().boardConfig = LiveConfig();
    startDirectory = dir.path().string();
    // Every device the dialog accepts has a board, so that only `board.status` refuses.
    for (std::int16_t device = 0; device <= 9; ++device) {
      boards.Attach(device, std::make_unique<FakeBoard>(device, board), "");
    }
    QObject::connect(&model, &SessionModel::recordsChanged, [this] { ++refreshes; });
    QObject::connect(&model, &SessionModel::masterChannelChanged, [this] { ++refreshes; });
    QObject::connect(&model, &SessionModel::configurationChanged, [this] { ++refreshes; });
  }

  Session& session() { return model.session(); }

  std::unique_ptr<ConfigDialog> Open() {
    auto dialog = std::make_unique<ConfigDialog>(
        model, memory, boards, user, startDirectory,
        [](std::int16_t device) {
          return device == 1 ? DeviceDescription{"Carte simulée", "simulée"}
                             : DeviceDescription{"Aucune carte : " + std::to_string(device), "-"};
        },
        [this](const std::string& start) {
          browseStarts.push_back(start);
          return browseAnswer;
        });
    dialog->show();
    return dialog;
  }

  static void Type(QLineEdit* edit, const QString& text) {
    edit->clear();
    QTest::keyClicks(edit, text);
  }

  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const MessageBoxRequest& box : user.boxes()) texts.push_back(box.text);
    return texts;
  }

  TempDir dir;
  SessionModel model;
  ConfigDialogMemory memory;
  std::string startDirectory;
  ConfigureLog board;
  Boards boards;
  ScriptedUser user;
  // Signals of the model the main window refreshes on.
  int refreshes = 0;
  std::optional<std::string> browseAnswer;
  std::vector<std::string> browseStarts;
};

const char* const kDeviceMessage = "Numéro de DEVICE impossible\n\n -1< device < 10";
const char* const kTimeOutMessage = "Valeur TIMEOUT impossible\n\n -1 <= timeout <= 232";

TEST_F(ConfigDialogTest, ShowsTheLiveConfigurationInItsControls) {
  session().boardConfig.gainAdjust = 1.25;
  session().boardConfig.offset = -3.5;
  memory.working.device = 7;  // overwritten at every opening
  auto dialog = Open();
  EXPECT_EQ(memory.working, session().boardConfig);
  EXPECT_EQ(dialog->deviceEdit()->text(), "1");
  EXPECT_EQ(dialog->timeOutEdit()->text(), "180");
  EXPECT_EQ(dialog->gainAdjustEdit()->text(), "1.250000");
  EXPECT_EQ(dialog->offsetEdit()->text(), "-3.500000");
  EXPECT_EQ(dialog->htmlViewerEdit()->text(), "/usr/bin/firefox");
  EXPECT_TRUE(dialog->inputModeButton(1)->isChecked());
  EXPECT_TRUE(dialog->polarityButton(0)->isChecked());
  EXPECT_EQ(dialog->windowTitle(), "Configuration");
}

TEST_F(ConfigDialogTest, ModeOrPolarityOutsideTheButtonsSelectsNone) {
  session().boardConfig.inputMode = 5;
  session().boardConfig.polar = -1;
  auto dialog = Open();
  for (int mode : {0, 1, 2}) EXPECT_FALSE(dialog->inputModeButton(mode)->isChecked());
  for (int polar : {0, 1}) EXPECT_FALSE(dialog->polarityButton(polar)->isChecked());
}

TEST_F(ConfigDialogTest, RadioClicksWriteTheWorkingCopyAtOnce) {
  auto dialog = Open();
  QTest::mouseClick(dialog->inputModeButton(2), Qt::LeftButton);
  QTest::mouseClick(dialog->polarityButton(1), Qt::LeftButton);
  EXPECT_EQ(memory.working.inputMode, 2);
  EXPECT_EQ(memory.working.polar, 1);
  EXPECT_FALSE(dialog->inputModeButton(1)->isChecked());
  EXPECT_EQ(session().boardConfig, LiveConfig());
  EXPECT_TRUE(board.calls.empty());
}

TEST_F(ConfigDialogTest, ArrowsMoveTheChoiceWithinARadioGroup) {
  auto dialog = Open();
  dialog->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
  dialog->inputModeButton(1)->setFocus();
  QTest::keyClick(dialog->inputModeButton(1), Qt::Key_Down);
  EXPECT_EQ(QApplication::focusWidget(), dialog->inputModeButton(2));
  EXPECT_TRUE(dialog->inputModeButton(2)->isChecked());
  EXPECT_EQ(memory.working.inputMode, 2);
}

TEST_F(ConfigDialogTest, DeviceOutsideZeroToNineIsRefusedAndTheDialogStaysOpen) {
  for (const char* typed : {"10", "65535"}) {
    SCOPED_TRACE(typed);
    user = ScriptedUser();
    auto dialog = Open();
    Type(dialog->deviceEdit(), typed);
    QTest::mouseClick(dialog->okButton(), Qt::LeftButton);
    EXPECT_EQ(Texts(), std::vector<std::string>{kDeviceMessage});
    EXPECT_EQ(user.boxes()[0].caption, "ERROR!");
    EXPECT_EQ(user.boxes()[0].icon, MessageIcon::kError);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(board.calls.empty());
    EXPECT_EQ(session().boardConfig, LiveConfig());
  }
  // The refused value stays in the working copy.
  EXPECT_EQ(memory.working.device, -1);
}

TEST_F(ConfigDialogTest, TimeOutChecksBothEnds) {
  struct Case {
    const char* typed;
    bool accepted;
    std::int32_t timeOut;
  };
  for (const Case& c : {Case{"233", false, 233}, Case{"-2", false, -2}, Case{"-1", true, -1},
                        Case{"232", true, 232}}) {
    SCOPED_TRACE(c.typed);
    user = ScriptedUser();
    session().boardConfig = LiveConfig();
    auto dialog = Open();
    Type(dialog->timeOutEdit(), c.typed);
    QTest::mouseClick(dialog->okButton(), Qt::LeftButton);
    EXPECT_EQ(memory.working.timeOut, c.timeOut);
    if (c.accepted) {
      EXPECT_TRUE(user.boxes().empty());
      EXPECT_FALSE(dialog->isVisible());
      EXPECT_EQ(dialog->result(), 1);
      EXPECT_EQ(session().boardConfig.timeOut, c.timeOut);
    } else {
      EXPECT_EQ(Texts(), std::vector<std::string>{kTimeOutMessage});
      EXPECT_TRUE(dialog->isVisible());
      EXPECT_EQ(session().boardConfig.timeOut, 180);
    }
  }
}

TEST_F(ConfigDialogTest, OkConfiguresTheBoardAndCommitsEveryField) {
  auto dialog = Open();
  Type(dialog->deviceEdit(), "");
  Type(dialog->gainAdjustEdit(), "abc");
  Type(dialog->offsetEdit(), " 2.5volts");
  Type(dialog->htmlViewerEdit(), "/opt/viewer");
  QTest::mouseClick(dialog->inputModeButton(0), Qt::LeftButton);
  QTest::mouseClick(dialog->polarityButton(1), Qt::LeftButton);
  QTest::mouseClick(dialog->okButton(), Qt::LeftButton);

  ASSERT_EQ(board.calls.size(), 1u);
  EXPECT_EQ(board.calls[0].device, 0);  // an empty device field is device 0
  EXPECT_EQ(board.calls[0].settings.mode, InputMode::kDifferential);
  EXPECT_EQ(board.calls[0].settings.polarity, Polarity::kUnipolar);
  BoardConfig expected = LiveConfig();
  expected.device = 0;
  expected.inputMode = 0;
  expected.polar = 1;
  expected.gainAdjust = 0.0;  // letters only
  expected.offset = 2.5;
  expected.htmlViewer = "/opt/viewer";
  EXPECT_EQ(session().boardConfig, expected);
  EXPECT_EQ(dialog->result(), 1);
  EXPECT_EQ(refreshes, 1);
  EXPECT_TRUE(user.boxes().empty());
  EXPECT_TRUE(dir.Entries().empty());  // OK writes no file
}

TEST_F(ConfigDialogTest, BoardRefusalKeepsTheDialogOpenAndCommitsNothing) {
  board.status = kBadDeviceError;
  user.Answer(MessageAnswer::kNo);  // the error handler's "stop"
  auto dialog = Open();
  Type(dialog->deviceEdit(), "4");
  Type(dialog->timeOutEdit(), "12");
  QTest::mouseClick(dialog->okButton(), Qt::LeftButton);

  ASSERT_EQ(user.boxes().size(), 2u);
  EXPECT_EQ(user.boxes()[1].text, "Probleme lors de la configuration de la carte");
  EXPECT_EQ(user.boxes()[1].caption, "ERROR");
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_EQ(session().boardConfig, LiveConfig());
  EXPECT_EQ(memory.working, LiveConfig());
  EXPECT_EQ(dialog->deviceEdit()->text(), "4");  // the controls keep what was typed

  QTest::mouseClick(dialog->cancelButton(), Qt::LeftButton);
  EXPECT_EQ(dialog->result(), 0);
  EXPECT_EQ(session().boardConfig, LiveConfig());
}

// A run started from another window while the dialog is open reads the board.
TEST_F(ConfigDialogTest, OkAsksToStopARunFirstAndLeavesTheBoardAlone) {
  auto dialog = Open();
  Type(dialog->timeOutEdit(), "12");
  model.SetAcquisitionState(AcquisitionState::kContinuous);
  QTest::mouseClick(dialog->okButton(), Qt::LeftButton);
  EXPECT_EQ(Texts(), std::vector<std::string>{
                         "Arrêtez d'abord l'acquisition continue : la configuration changerait "
                         "les réglages de la carte qu'elle est en train de lire."});
  EXPECT_TRUE(board.calls.empty());
  EXPECT_EQ(session().boardConfig, LiveConfig());
  EXPECT_TRUE(dialog->isVisible());
}

TEST_F(ConfigDialogTest, CancelAndQuitCloseWithoutApplying) {
  for (bool useMenu : {false, true}) {
    auto dialog = Open();
    Type(dialog->deviceEdit(), "3");
    if (useMenu) {
      dialog->MenuAction(ConfigDialog::kCmdQuit)->trigger();
    } else {
      QTest::mouseClick(dialog->cancelButton(), Qt::LeftButton);
    }
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), 0);
    EXPECT_EQ(session().boardConfig, LiveConfig());
    EXPECT_TRUE(board.calls.empty());
  }
}

TEST_F(ConfigDialogTest, EnterInAFieldAppliesAndCloses) {
  auto dialog = Open();
  dialog->timeOutEdit()->setFocus();
  Type(dialog->timeOutEdit(), "20");
  QTest::keyClick(dialog->timeOutEdit(), Qt::Key_Return);
  EXPECT_EQ(dialog->result(), 1);
  EXPECT_EQ(session().boardConfig.timeOut, 20);
}

TEST_F(ConfigDialogTest, SaveAsDefaultAppliesThenWritesTheFile) {
  auto dialog = Open();
  Type(dialog->deviceEdit(), "2");
  Type(dialog->timeOutEdit(), "-1");
  dialog->MenuAction(ConfigDialog::kCmdSaveAsDefault)->trigger();

  EXPECT_TRUE(dialog->isVisible());  // applies without closing
  EXPECT_EQ(session().boardConfig.device, 2);
  BoardConfig read;
  ASSERT_EQ(ReadConfigFile(read, dir.path()), 1);
  EXPECT_EQ(read, session().boardConfig);
  EXPECT_TRUE(user.boxes().empty());
}

TEST_F(ConfigDialogTest, SaveAsDefaultAfterARefusedDeviceWritesTheCommittedValues) {
  auto dialog = Open();
  Type(dialog->deviceEdit(), "10");
  dialog->MenuAction(ConfigDialog::kCmdSaveAsDefault)->trigger();

  EXPECT_EQ(Texts(), std::vector<std::string>{kDeviceMessage});
  BoardConfig read;
  ASSERT_EQ(ReadConfigFile(read, dir.path()), 1);
  EXPECT_EQ(read, LiveConfig());
}

TEST_F(ConfigDialogTest, SaveAsDefaultReportsAFileThatCannotBeWritten) {
  startDirectory = (dir / "missing-folder").string();
  auto dialog = Open();
  dialog->MenuAction(ConfigDialog::kCmdSaveAsDefault)->trigger();
  EXPECT_EQ(Texts(), std::vector<std::string>{"Erreur lors de l'ecriture du fichier INI"});
  EXPECT_EQ(user.boxes()[0].caption, "ERROR!");
}

TEST_F(ConfigDialogTest, RestoreShowsTheFileValuesWithoutCommittingThem) {
  BoardConfig saved = LiveConfig();
  saved.device = 3;
  saved.inputMode = 2;
  saved.polar = 1;
  saved.timeOut = 50;
  saved.gainAdjust = 0.5;
  saved.htmlViewer = "/usr/bin/lynx";
  ASSERT_EQ(WriteConfigFile(saved, dir.path()), 1);

  auto dialog = Open();
  Type(dialog->deviceEdit(), "8");
  Type(dialog->offsetEdit(), "9");
  dialog->MenuAction(ConfigDialog::kCmdRestoreDefault)->trigger();

  EXPECT_EQ(memory.working, saved);
  EXPECT_EQ(dialog->deviceEdit()->text(), "3");
  EXPECT_EQ(dialog->timeOutEdit()->text(), "50");
  EXPECT_EQ(dialog->gainAdjustEdit()->text(), "0.500000");
  EXPECT_EQ(dialog->offsetEdit()->text(), "0.000000");
  EXPECT_EQ(dialog->htmlViewerEdit()->text(), "/usr/bin/lynx");
  EXPECT_TRUE(dialog->inputModeButton(2)->isChecked());
  EXPECT_TRUE(dialog->polarityButton(1)->isChecked());

  QTest::mouseClick(dialog->cancelButton(), Qt::LeftButton);
  EXPECT_EQ(session().boardConfig, LiveConfig());
}

TEST_F(ConfigDialogTest, RestoreWithoutAFileLeavesTheControls) {
  auto dialog = Open();
  Type(dialog->deviceEdit(), "8");
  dialog->MenuAction(ConfigDialog::kCmdRestoreDefault)->trigger();
  EXPECT_EQ(Texts(), std::vector<std::string>{"Erreur lors de la lecture du fichier INI"});
  EXPECT_EQ(dialog->deviceEdit()->text(), "8");
}

TEST_F(ConfigDialogTest, AdvancedOptionsToggleTheSizeAndOutliveTheDialog) {
  {
    auto dialog = Open();
    QAction* item = dialog->MenuAction(ConfigDialog::kCmdAdvancedOptions);
    EXPECT_FALSE(item->isChecked());
    const int compactHeight = dialog->height();
    // The advanced fields lie below the bottom edge; the radio groups do not.
    EXPECT_GT(dialog->timeOutEdit()->mapTo(dialog.get(), QPoint(0, 0)).y(), compactHeight);
    EXPECT_LT(dialog->inputModeButton(2)->mapTo(dialog.get(), QPoint(0, 20)).y(), compactHeight);

    item->trigger();
    EXPECT_TRUE(memory.advancedOptionsShown);
    EXPECT_TRUE(item->isChecked());
    EXPECT_EQ(dialog->height() - compactHeight,
              ConfigDialog::kFullWindowSize.height() - ConfigDialog::kCompactWindowSize.height());
    const QPoint browseBottom =
        dialog->browseButton()->mapTo(dialog.get(), QPoint(0, dialog->browseButton()->height()));
    EXPECT_LE(browseBottom.y(), dialog->height());
    QTest::mouseClick(dialog->cancelButton(), Qt::LeftButton);
  }
  auto reopened = Open();
  EXPECT_TRUE(reopened->MenuAction(ConfigDialog::kCmdAdvancedOptions)->isChecked());
  reopened->MenuAction(ConfigDialog::kCmdAdvancedOptions)->trigger();
  EXPECT_FALSE(memory.advancedOptionsShown);
}

TEST_F(ConfigDialogTest, HiddenAdvancedFieldsAreStillRead) {
  auto dialog = Open();
  dialog->timeOutEdit()->setText("500");
  QTest::mouseClick(dialog->okButton(), Qt::LeftButton);
  EXPECT_EQ(Texts(), std::vector<std::string>{kTimeOutMessage});
}

TEST_F(ConfigDialogTest, BrowsedViewerFillsTheFieldAndOkCommitsIt) {
  browseAnswer = "/usr/bin/konqueror";
  auto dialog = Open();
  QTest::mouseClick(dialog->browseButton(), Qt::LeftButton);
  EXPECT_EQ(browseStarts, std::vector<std::string>{""});
  EXPECT_EQ(dialog->htmlViewerEdit()->text(), "/usr/bin/konqueror");
  EXPECT_EQ(session().boardConfig.htmlViewer, "/usr/bin/firefox");
  QTest::mouseClick(dialog->okButton(), Qt::LeftButton);
  EXPECT_EQ(session().boardConfig.htmlViewer, "/usr/bin/konqueror");
}

TEST_F(ConfigDialogTest, CancelledBrowseKeepsTheFieldForTheNextApply) {
  auto dialog = Open();
  QTest::mouseClick(dialog->browseButton(), Qt::LeftButton);
  EXPECT_EQ(memory.working.htmlViewer, "");
  EXPECT_EQ(dialog->htmlViewerEdit()->text(), "/usr/bin/firefox");
  QTest::mouseClick(dialog->okButton(), Qt::LeftButton);
  EXPECT_EQ(session().boardConfig.htmlViewer, "/usr/bin/firefox");
}

TEST_F(ConfigDialogTest, BrowsedPathTooLongForTheFileIsRefused) {
  browseAnswer = "/" + std::string(kMaxHtmlViewerBytes, 'v');
  auto dialog = Open();
  QTest::mouseClick(dialog->browseButton(), Qt::LeftButton);
  EXPECT_EQ(Texts(), std::vector<std::string>{"Le code d'erreur est: 12291"});
  EXPECT_EQ(user.boxes()[0].caption, "ERREUR!");
  EXPECT_EQ(memory.working.htmlViewer, "/usr/bin/firefox");
  EXPECT_EQ(dialog->htmlViewerEdit()->text(), "/usr/bin/firefox");
}

TEST_F(ConfigDialogTest, TypedViewerPathIsCutToWhatTheFileCarries) {
  auto dialog = Open();
  // 2-byte characters: the cut must not split one.
  dialog->htmlViewerEdit()->setText("//" + QString(300, QChar(0xE9)));
  QTest::mouseClick(dialog->okButton(), Qt::LeftButton);
  EXPECT_EQ(session().boardConfig.htmlViewer.size(), kMaxHtmlViewerBytes - 1);
  EXPECT_EQ(WriteConfigFile(session().boardConfig, dir.path()), 1);
}

TEST_F(ConfigDialogTest, ShowsWhichBoardServesTheTypedDevice) {
  auto dialog = Open();
  EXPECT_EQ(dialog->deviceDescription()->toolTip(), "Carte simulée");
  EXPECT_EQ(dialog->deviceDescription()->text(), "simulée");
  Type(dialog->deviceEdit(), "4");
  EXPECT_EQ(dialog->deviceDescription()->toolTip(), "Aucune carte : 4");
}

TEST_F(ConfigDialogTest, DeviceFieldTakesDigitsOnly) {
  auto dialog = Open();
  Type(dialog->deviceEdit(), "-3a2");
  EXPECT_EQ(dialog->deviceEdit()->text(), "32");
}

TEST_F(ConfigDialogTest, TabFollowsTheTemplateOrder) {
  auto dialog = Open();
  QWidget* expected[] = {dialog->deviceEdit(),      dialog->inputModeButton(1),
                         dialog->polarityButton(0), dialog->okButton(),
                         dialog->cancelButton(),    dialog->timeOutEdit(),
                         dialog->gainAdjustEdit(),  dialog->offsetEdit(),
                         dialog->htmlViewerEdit(),  dialog->browseButton()};
  dialog->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
  dialog->deviceEdit()->setFocus();
  for (std::size_t i = 1; i < std::size(expected); ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), expected[i])
        << i << " " << QApplication::focusWidget()->metaObject()->className() << " "
        << QApplication::focusWidget()->property("text").toString().toStdString();
  }
}

}  // namespace
}  // namespace tavril
