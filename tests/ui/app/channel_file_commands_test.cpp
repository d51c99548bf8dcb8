// The commands on files of every channel, images and sessions, through the
// main window's menu.

#include <gtest/gtest.h>

#include <QAction>
#include <QImage>
#include <string>

#include "main_window_fixture.h"
#include "support/record_checks.h"
#include "ui/app/command_ids.h"
#include "ui/display/graph_widget.h"

namespace tavril::testing {
namespace {

using testing::Values;

using testing::SetSamples;

// Channels 1 and 4 hold samples of different rates and lengths.
class ChannelFileCommand : public MainWindowTest {
 protected:
  ChannelFileCommand() {
    session_.channels[1] = SampleRecord("Voie un", {0.5, -0.25, 1.0}, 2500.0);
    session_.channels[4] = SampleRecord("Voie quatre", {2.0, 3.0}, 1000.0);
    session_.channels[4].chan = 4;
  }

  void ExpectChannelsAsSaved(const ChannelTable& saved) {
    for (const int slot : {1, 4}) {
      SCOPED_TRACE(slot);
      ExpectSameRecordBits(session_.channels[slot], saved[slot]);
    }
  }
};

TEST_F(ChannelFileCommand, EveryChannelGoesOutAndComesBackInEachFormat) {
  const ChannelTable saved = session_.channels;
  const std::pair<int, const char*> formats[] = {
      {kCmdExportCsv, "voies.csv"}, {kCmdExportMat, "voies.mat"}, {kCmdExportHdf5, "voies.h5"}};
  for (const auto& [command, name] : formats) {
    SCOPED_TRACE(name);
    dialogs_.Choose(dir_ / name);
    window_.RunCommand(command);
    ResetChannels(session_.channels, 1);
    session_.masterChannel = 0;
    dialogs_.Choose(dir_ / name);
    window_.RunCommand(kCmdImport);
    EXPECT_TRUE(user_.boxes().empty()) << BoxTexts().front();
    ExpectChannelsAsSaved(saved);
    EXPECT_FALSE(HoldsSamples(session_.channels[0]));
    EXPECT_EQ(session_.masterChannel, 1);  // the first channel imported
    EXPECT_EQ(window_.windowTitle(), QString("TAVRIL v1.02 - ") + name);
  }
  dialogs_.Choose(dir_ / "voies.xlsx");
  window_.RunCommand(kCmdExportExcel);
  EXPECT_EQ(ReadFileBytes(dir_ / "voies.xlsx").substr(0, 2), "PK");
  EXPECT_TRUE(user_.boxes().empty());
}

TEST_F(ChannelFileCommand, ImportAsksBeforeReplacingChannelsThatHoldSamples) {
  dialogs_.Choose(dir_ / "voies.csv");
  window_.RunCommand(kCmdExportCsv);
  SetSamples(session_.channels[4], {9.0});
  const ChannelTable before = session_.channels;
  dialogs_.Choose(dir_ / "voies.csv");
  user_.Answer(MessageAnswer::kCancel);
  window_.RunCommand(kCmdImport);
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{
                            "Les canaux 1, 4 contiennent des échantillons.\nL'importation les "
                            "remplacera.\n\nEtes vous sure de vouloir continuer?"}));
  EXPECT_EQ(Values(session_.channels[4]), Values(before[4]));
  EXPECT_EQ(window_.windowTitle(), "TAVRIL v1.02");
}

TEST_F(ChannelFileCommand, DamagedImportSaysWhyAndChangesNothing) {
  WriteFileBytes(dir_ / "abime.csv", "t,a\r\n0,1\r\n0.1,abc\r\n");
  const ChannelTable before = session_.channels;
  dialogs_.Choose(dir_ / "abime.csv");
  window_.RunCommand(kCmdImport);
  ASSERT_EQ(user_.boxes().size(), 1u);
  EXPECT_EQ(user_.boxes()[0].text,
            "Erreur lors de l'ouverture du fichier : abime.csv\nligne 3 : « abc » n'est pas un "
            "nombre");
  ExpectChannelsAsSaved(before);
}

TEST_F(ChannelFileCommand, ImportSaysHowManyEmptyCellsWereReadAsNaN) {
  WriteFileBytes(dir_ / "trous.csv", "t;a;b\r\n0;1;5\r\n0,1;;6\r\n0,2;;\r\n0,3;4;\r\n");
  ResetChannels(session_.channels, 1);
  dialogs_.Choose(dir_ / "trous.csv");
  window_.RunCommand(kCmdImport);
  ASSERT_EQ(user_.boxes().size(), 1u);
  EXPECT_EQ(user_.boxes()[0].text, "2 cases vides lues comme NaN dans la colonne 2 (« a »)");
  EXPECT_EQ(Values(session_.channels[1]), (std::vector<double>{5.0, 6.0}));
}

TEST_F(ChannelFileCommand, SessionBringsBackRecordsMasterViewAndCheckMarks) {
  const ChannelTable saved = session_.channels;
  session_.masterChannel = 4;
  view_.cursors = {12, 30, true, CursorDrag::kNone};
  window_.RunCommand(kCmdChannel0 + 6);
  dialogs_.Choose(dir_ / "seance.h5");
  window_.RunCommand(kCmdSaveSession);

  ResetChannels(session_.channels, 1);
  session_.masterChannel = 0;
  view_.cursors = {};
  window_.RunCommand(kCmdChannel0 + 6);
  session_.channels[2] = SampleRecord("Autre", {1.0});
  dialogs_.Choose(dir_ / "seance.h5");
  user_.Answer(MessageAnswer::kOk);
  window_.RunCommand(kCmdOpenSession);

  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{
                            "Des canaux contiennent des échantillons.\nL'ouverture d'une session "
                            "les remplacera tous.\n\nEtes vous sure de vouloir continuer?"}));
  ExpectChannelsAsSaved(saved);
  EXPECT_FALSE(HoldsSamples(session_.channels[2]));
  EXPECT_EQ(session_.masterChannel, 4);
  EXPECT_EQ(view_.cursors.cursor1X, 12);
  EXPECT_TRUE(view_.cursors.cursorsShown);
  EXPECT_FALSE(view_.channelShown[6]);
  EXPECT_FALSE(window_.CommandAction(kCmdChannel0 + 6)->isChecked());
  EXPECT_EQ(window_.windowTitle(), "TAVRIL v1.02 - seance.h5");
}

// The graph's options are the user's: a session opened leaves them as they are.
TEST_F(ChannelFileCommand, SessionOpenedKeepsTheGraphsOptions) {
  dialogs_.Choose(dir_ / "seance.h5");
  window_.RunCommand(kCmdSaveSession);
  for (const int command : {kCmdAxes, kCmdGrid, kCmdColours}) window_.RunCommand(command);
  dialogs_.Choose(dir_ / "seance.h5");
  user_.Answer(MessageAnswer::kOk);
  window_.RunCommand(kCmdOpenSession);
  EXPECT_EQ(view_.options, (GraphOptions{true, true, true}));
  for (const int command : {kCmdAxes, kCmdGrid, kCmdColours})
    EXPECT_TRUE(window_.CommandAction(command)->isChecked()) << command;
}

// An image that cannot be written says why, whatever step failed.
TEST_F(ChannelFileCommand, ImageThatCannotBeWrittenSaysWhy) {
  dialogs_.Choose(dir_ / "absent" / "img.svg", 1);
  window_.RunCommand(kCmdExportImage);
  ASSERT_FALSE(user_.boxes().empty());
  EXPECT_EQ(user_.boxes().back().text,
            "Erreur lors de la sauvegarde du fichier : img.svg\nImpossible de créer « img.svg » : "
            "fichier ou dossier introuvable.");
}

// A name without an image extension takes the chosen filter's.
TEST_F(ChannelFileCommand, ImageTakesTheFormatOfTheFilterOrOfItsName) {
  window_.resize(640, 400);
  window_.show();
  QApplication::processEvents();
  dialogs_.Choose(dir_ / "graphe", 2);
  window_.RunCommand(kCmdExportImage);
  dialogs_.Choose(dir_ / "trace.svg", 1);
  window_.RunCommand(kCmdExportImage);
  EXPECT_TRUE(user_.boxes().empty()) << BoxTexts().front();
  const ClientSize area = window_.graph()->DrawingArea();
  EXPECT_EQ(QImage(QString::fromStdString((dir_ / "graphe.png").string())).size(),
            QSize(area.width, area.height));
  EXPECT_EQ(ReadFileBytes(dir_ / "trace.svg").substr(0, 5), "<?xml");
  EXPECT_EQ(memory_.imageFiles.fileTitle, "trace.svg");
}

}  // namespace
}  // namespace tavril::testing
